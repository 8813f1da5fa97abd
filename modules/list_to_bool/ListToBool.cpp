// QZ_ListToBool_v1: an algorithm number becomes eight on/off panel outputs.
#include "gui_module_base.h"
#include "module_base.h"
#include "plugin_entry.h"

#include <array>
#include <cstdint>

namespace {

// ---- pins --------------------------------------------------------------

enum Pins : int32_t { kAlgorithmChoice, kGuiCom, kValFromDsp, kFirstOutput, kPinCount = kFirstOutput + 8 };

struct PinSpec {
    const char *label;
    int32_t direction;
    int32_t dataType;
    const char *defaultText;
    const char *rangeText;
    int32_t flags;
};

constexpr std::array<PinSpec, kPinCount> kPins{{
    {"Algorithm Choice", QZ_DIR_IN, QZ_DT_ENUMERATION, "1", "range 1,8", 0},
    {"gui_com_pin", QZ_DIR_OUT, QZ_DT_INTEGER, nullptr, nullptr, QZ_PIN_GUI_LINK},
    {"Val from DSP", QZ_DIR_IN, QZ_DT_INTEGER, nullptr, nullptr, QZ_PIN_GUI_LINK | QZ_PIN_GUI_SIDE},
    {"Alg 1", QZ_DIR_OUT, QZ_DT_BOOLEAN, nullptr, nullptr, QZ_PIN_GUI_SIDE},
    {"Alg 2", QZ_DIR_OUT, QZ_DT_BOOLEAN, nullptr, nullptr, QZ_PIN_GUI_SIDE},
    {"Alg 3", QZ_DIR_OUT, QZ_DT_BOOLEAN, nullptr, nullptr, QZ_PIN_GUI_SIDE},
    {"Alg 4", QZ_DIR_OUT, QZ_DT_BOOLEAN, nullptr, nullptr, QZ_PIN_GUI_SIDE},
    {"Alg 5", QZ_DIR_OUT, QZ_DT_BOOLEAN, nullptr, nullptr, QZ_PIN_GUI_SIDE},
    {"Alg 6", QZ_DIR_OUT, QZ_DT_BOOLEAN, nullptr, nullptr, QZ_PIN_GUI_SIDE},
    {"Alg 7", QZ_DIR_OUT, QZ_DT_BOOLEAN, nullptr, nullptr, QZ_PIN_GUI_SIDE},
    {"Alg 8", QZ_DIR_OUT, QZ_DT_BOOLEAN, nullptr, nullptr, QZ_PIN_GUI_SIDE},
}};

constexpr qz::ModuleIdentity kIdentity{"QZ_ListToBool_v1", "QZ_ListToBool_v1", "by Orwin Malvaen", true};

// ---- processing side -----------------------------------------------------------

class ListToBoolModule : public qz::ModuleBase {
public:
    using ModuleBase::ModuleBase;

    bool getPinProperties(int32_t index, QzPinDescription &d) override {
        if (index < 0 || index >= kPinCount) return false;
        const PinSpec &spec = kPins[static_cast<size_t>(index)];
        d.name = spec.label;
        d.direction = spec.direction;
        d.dataType = spec.dataType;
        d.flags = spec.flags;
        if (spec.defaultText != nullptr) d.defaultValue = spec.defaultText;
        if (spec.rangeText != nullptr) d.datatypeExtra = spec.rangeText;
        if (index == kAlgorithmChoice) d.variable = &choice_;
        if (index == kGuiCom) d.variable = &sentValue_;
        return true;
    }

    void open() override {
        ModuleBase::open();
        // Nothing to compute per block: the choice travels on pin changes.
        setSubProcess(subProcessOf<&ListToBoolModule::process>());
        sendChoice();
    }

    void onPinStatusChanged(qz::Pin &) override { sendChoice(); }

private:
    void process(int32_t, int32_t) { sleep(); }

    void sendChoice() {
        sentValue_ = static_cast<int32_t>(choice_) - 1;
        if (const qz::Pin *out = getPin(kGuiCom)) out->sendStatus(getSampleClock(), QZ_STATUS_CHANGED);
    }

    int16_t choice_ = 1;    // algorithm 1..8, written by the host
    int32_t sentValue_ = 0; // choice - 1, the value of "gui_com_pin"
};

// ---- panel side -------------------------------------------------------------------

class ListToBoolGui : public qz::GuiModuleBase {
public:
    ListToBoolGui(QzGuiHostCallback host, void *hostData) : GuiModuleBase(host, hostData) { update(); }

    void onGuiPinValueChanged(qz::GuiPin &pin) override {
        if (pin.getIndex() == kValFromDsp) update();
    }

private:
    // Every output hears 0 first, so the chosen one sees 0 then 1 within the
    // same update; a value outside 0..7 leaves all eight off.
    void update() {
        received_ = getGuiPin(kValFromDsp).getValueInt();
        for (int32_t i = kFirstOutput; i < kPinCount; ++i) {
            getGuiPin(i).setValueInt(0);
            if (i - kFirstOutput == received_) getGuiPin(i).setValueInt(1);
        }
    }

    int32_t received_ = 0; // last value read from "Val from DSP"
};

} // namespace

QZ_DEFINE_MODULE_WITH_PANEL(ListToBoolModule, ListToBoolGui, kIdentity)
