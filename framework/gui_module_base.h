// gui_module_base.h: the panel side of the two modules that have one.
//
// A panel instance paints into the host's panel area and reads and writes
// its panel-side pins through the shared GuiPin accessor. It shares no
// memory with the processing instance; the host links the two through the
// pins "gui_com_pin" and "Val from DSP".
#pragma once

#include "qz_abi.h"

#include <cstdint>
#include <string>

namespace qz {

class GuiModuleBase;

// Accessor of one panel-side pin (by description index). One object is
// shared by the whole library: use it at once, before the next getGuiPin.
class GuiPin {
public:
    int32_t getIndex() const { return index_; }
    int32_t getValueInt() const;
    float getValueFloat() const;
    void setValueInt(int32_t value) const;
    void setValueFloat(float value) const;
    void setText(const char *text) const;
    std::string getText() const;
    std::u16string getWideText() const;

private:
    friend class GuiModuleBase;
    int32_t index_ = QZ_INVALID_PIN;
    GuiModuleBase *owner_ = nullptr;
};

struct GuiPoint {
    int32_t x;
    int32_t y;
};

class GuiModuleBase {
public:
    GuiModuleBase(QzGuiHostCallback host, void *hostData);
    virtual ~GuiModuleBase();

    GuiModuleBase(const GuiModuleBase &) = delete;
    GuiModuleBase &operator=(const GuiModuleBase &) = delete;

    // ---- virtual operations, in slot order --------------------------
    virtual QzResult guiDispatch(int32_t opcode, int32_t index, int32_t value, void *ptr, float opt);
    virtual void initialise(bool flag);
    virtual void close();
    virtual void paint(intptr_t deviceContext, QzWindowInfo *window);
    virtual void pointHook3(QzWindowInfo *window, uint32_t word, GuiPoint point);
    virtual void pointHook4(QzWindowInfo *window, uint32_t word, GuiPoint point);
    virtual void pointHook5(QzWindowInfo *window, uint32_t word, GuiPoint point);
    virtual void guiHook8(QzWindowInfo *window);
    virtual void guiHook9(QzWindowInfo *window);
    virtual bool guiHook10();
    virtual void guiHook11(int32_t index);
    virtual void guiHook12(int32_t index);
    virtual void guiHook6(int32_t value, int32_t index, void *ptr);
    virtual void onGuiPinValueChanged(GuiPin &pin);

    // ---- operations for panel classes -------------------------------
    QzGuiRecord *guiRecord() { return &record_; }
    QzResult callGuiHost(int32_t opcode, int32_t index = 0, int32_t value = 0, void *ptr = nullptr,
                         float opt = 0.0f);
    // Fills the library's one accessor with `index` and this instance.
    GuiPin &getGuiPin(int32_t index);

    // Base operations that no module of this system calls.
    void notifyHost8(int32_t index, int32_t value, void *ptr) { callGuiHost(QZ_GUIHOST_NOTIFY8, index, value, ptr); }
    void windowCall18(void *ptr) { callGuiHost(QZ_GUIHOST_WINDOW_CALL18, 0, 0, ptr); }
    void windowCall19(void *ptr) { callGuiHost(QZ_GUIHOST_WINDOW_CALL19, 0, 0, ptr); }
    bool windowQuery20(void *ptr) { return static_cast<int32_t>(callGuiHost(QZ_GUIHOST_WINDOW_QUERY20, 0, 0, ptr)) != 0; }

private:
    static QzResult QZ_CALL dispatcherEntry(QzGuiRecord *record, int32_t opcode, int32_t index, int32_t value,
                                            void *ptr, float opt);

    QzGuiRecord record_;
    QzGuiHostCallback host_;
    static GuiPin sharedPin_;
};

} // namespace qz
