// panel_host.h: a small panel-side host for tests. It makes a panel instance
// (profile 2), holds the values of the panel-side pins, answers the panel
// host requests and logs every request the instance sends.
#pragma once

#include "qz_abi.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace qz::test {

struct GuiRequest {
    int32_t opcode;
    int32_t index;
    int32_t value;
    float opt;
    std::string text; // SetPinText's text
};

class PanelHost {
public:
    explicit PanelHost(QzMakeModuleFn makeModule, bool withHostFunction = true) {
        // Values the instance may read while it is being constructed.
        record = static_cast<QzGuiRecord *>(
            makeModule(0, QZ_PROFILE_PANEL, withHostFunction ? reinterpret_cast<QzHostCallback>(&callback) : nullptr,
                       this));
        if (record == nullptr) {
            std::fprintf(stderr, "panel host: makeModule(0, 2) returned null\n");
            std::abort();
        }
    }
    // Makes the instance only after `values` holds what it reads at
    // construction.
    PanelHost(QzMakeModuleFn makeModule, std::map<int32_t, uint32_t> initialValues) : values(std::move(initialValues)) {
        record = static_cast<QzGuiRecord *>(
            makeModule(0, QZ_PROFILE_PANEL, reinterpret_cast<QzHostCallback>(&callback), this));
        if (record == nullptr) {
            std::fprintf(stderr, "panel host: makeModule(0, 2) returned null\n");
            std::abort();
        }
    }
    ~PanelHost() {
        if (record != nullptr) close();
    }
    PanelHost(const PanelHost &) = delete;
    PanelHost &operator=(const PanelHost &) = delete;

    QzGuiRecord *record = nullptr;

    // Pin values by description index, as 32-bit patterns.
    std::map<int32_t, uint32_t> values;
    std::vector<GuiRequest> requests;

    static uint32_t bitsOf(float f) {
        uint32_t u = 0;
        std::memcpy(&u, &f, sizeof u);
        return u;
    }
    static uint32_t bitsOf(int32_t i) { return static_cast<uint32_t>(i); }

    void setInt(int32_t pin, int32_t v) { values[pin] = bitsOf(v); }
    void setFloat(int32_t pin, float f) { values[pin] = bitsOf(f); }

    QzResult dispatch(int32_t opcode, int32_t index = 0, int32_t value = 0, void *ptr = nullptr, float opt = 0.0f) {
        return record->dispatcher(record, opcode, index, value, ptr, opt);
    }
    // Tells the instance that a pin's value changed (opcode 7).
    void pinChanged(int32_t pin) { dispatch(QZ_GUI_PIN_VALUE_CHANGED, pin); }
    void close() {
        dispatch(QZ_GUI_CLOSE);
        record = nullptr;
    }

private:
    static QzResult QZ_CALL callback(QzGuiRecord *r, int32_t opcode, int32_t index, int32_t value, void *ptr,
                                     float opt) {
        return static_cast<PanelHost *>(r->hostData)->answer(opcode, index, value, ptr, opt);
    }

    QzResult answer(int32_t opcode, int32_t index, int32_t value, void *ptr, float opt) {
        GuiRequest request{opcode, index, value, opt, {}};
        if (opcode == QZ_GUIHOST_SET_PIN_TEXT && ptr != nullptr) request.text = static_cast<const char *>(ptr);
        requests.push_back(request);
        switch (opcode) {
        case QZ_GUIHOST_GET_PIN_VALUE: {
            auto it = values.find(index);
            if (it != values.end() && ptr != nullptr) std::memcpy(ptr, &it->second, sizeof it->second);
            return 0;
        }
        case QZ_GUIHOST_SET_PIN_VALUE:
            values[index] = static_cast<uint32_t>(value);
            return 0;
        default:
            return 0;
        }
    }
};

} // namespace qz::test
