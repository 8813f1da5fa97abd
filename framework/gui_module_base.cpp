#include "gui_module_base.h"

#include <cstring>
#include <memory>
#include <new>

namespace qz {

GuiPin GuiModuleBase::sharedPin_{};

// ---- GuiPin ---------------------------------------------------------------

int32_t GuiPin::getValueInt() const {
    int32_t value = 0; // stays 0 when the host writes nothing
    if (owner_ != nullptr) owner_->callGuiHost(QZ_GUIHOST_GET_PIN_VALUE, index_, 0, &value);
    return value;
}

float GuiPin::getValueFloat() const {
    float value = 0.0f;
    if (owner_ != nullptr) owner_->callGuiHost(QZ_GUIHOST_GET_PIN_VALUE, index_, 0, &value);
    return value;
}

void GuiPin::setValueInt(int32_t value) const {
    if (owner_ != nullptr) owner_->callGuiHost(QZ_GUIHOST_SET_PIN_VALUE, index_, value);
}

void GuiPin::setValueFloat(float value) const {
    if (owner_ != nullptr) owner_->callGuiHost(QZ_GUIHOST_SET_PIN_VALUE, index_, 0, nullptr, value);
}

void GuiPin::setText(const char *text) const {
    if (owner_ != nullptr) owner_->callGuiHost(QZ_GUIHOST_SET_PIN_TEXT, index_, 0, const_cast<char *>(text));
}

std::string GuiPin::getText() const {
    if (owner_ == nullptr) return {};
    const auto *text = reinterpret_cast<const char *>(owner_->callGuiHost(QZ_GUIHOST_GET_PIN_TEXT, index_));
    return text != nullptr ? std::string(text) : std::string();
}

std::u16string GuiPin::getWideText() const {
    if (owner_ == nullptr) return {};
    // First ask for the length (in 16-bit units, the terminating zero
    // included), then for the text itself.
    const auto length = static_cast<int32_t>(owner_->callGuiHost(QZ_GUIHOST_GET_PIN_WIDE_TEXT, index_, 0, nullptr));
    if (length <= 0) return {};
    std::unique_ptr<char16_t[]> buffer(new (std::nothrow) char16_t[static_cast<size_t>(length)]());
    if (!buffer) return {};
    owner_->callGuiHost(QZ_GUIHOST_GET_PIN_WIDE_TEXT, index_, length, buffer.get());
    buffer[static_cast<size_t>(length) - 1] = 0; // never read past the buffer, whatever the host wrote
    return std::u16string(buffer.get());
}

// ---- GuiModuleBase -----------------------------------------------------------

GuiModuleBase::GuiModuleBase(QzGuiHostCallback host, void *hostData) : host_(host) {
    std::memset(&record_, 0, sizeof record_);
    record_.magic = QZ_GUI_MAGIC;
    record_.version = 1;
    record_.dispatcher = &dispatcherEntry;
    record_.hostData = hostData;
    record_.object = static_cast<void *>(this);
}

GuiModuleBase::~GuiModuleBase() {
    if (sharedPin_.owner_ == this) sharedPin_.owner_ = nullptr;
}

QzResult QZ_CALL GuiModuleBase::dispatcherEntry(QzGuiRecord *record, int32_t opcode, int32_t index, int32_t value,
                                                void *ptr, float opt) {
    if (record == nullptr || record->object == nullptr) return 0;
    return static_cast<GuiModuleBase *>(record->object)->guiDispatch(opcode, index, value, ptr, opt);
}

QzResult GuiModuleBase::guiDispatch(int32_t opcode, int32_t index, int32_t value, void *ptr, float opt) {
    auto *window = static_cast<QzWindowInfo *>(ptr);
    uint32_t word = 0;
    std::memcpy(&word, &opt, sizeof word); // passed on unchanged as 32 bits
    switch (opcode) {
    case QZ_GUI_INITIALISE:
        initialise(index == 1);
        return 0;
    case QZ_GUI_CLOSE:
        close();
        delete this;
        return 1;
    case QZ_GUI_PAINT:
        paint(static_cast<intptr_t>(index), window);
        return 0;
    case QZ_GUI_POINT_HOOK3:
        pointHook3(window, word, GuiPoint{index, value});
        return 0;
    case QZ_GUI_POINT_HOOK4:
        pointHook4(window, word, GuiPoint{index, value});
        return 0;
    case QZ_GUI_POINT_HOOK5:
        pointHook5(window, word, GuiPoint{index, value});
        return 0;
    case QZ_GUI_HOOK6:
        guiHook6(value, index, ptr);
        return 0;
    case QZ_GUI_PIN_VALUE_CHANGED:
        onGuiPinValueChanged(getGuiPin(index));
        return 0;
    case QZ_GUI_HOOK8:
        guiHook8(window);
        return 0;
    case QZ_GUI_HOOK9:
        guiHook9(window);
        return 0;
    case QZ_GUI_HOOK10:
        return guiHook10() ? 1 : 0;
    case QZ_GUI_HOOK11:
        guiHook11(index);
        return 0;
    case QZ_GUI_HOOK12:
        guiHook12(index);
        return 0;
    default:
        return 0;
    }
}

QzResult GuiModuleBase::callGuiHost(int32_t opcode, int32_t index, int32_t value, void *ptr, float opt) {
    if (host_ == nullptr) return 0;
    return host_(&record_, opcode, index, value, ptr, opt);
}

GuiPin &GuiModuleBase::getGuiPin(int32_t index) {
    sharedPin_.index_ = index;
    sharedPin_.owner_ = this;
    return sharedPin_;
}

void GuiModuleBase::initialise(bool) {}
void GuiModuleBase::close() {}
void GuiModuleBase::paint(intptr_t, QzWindowInfo *) {}
void GuiModuleBase::pointHook3(QzWindowInfo *, uint32_t, GuiPoint) {}
void GuiModuleBase::pointHook4(QzWindowInfo *, uint32_t, GuiPoint) {}
void GuiModuleBase::pointHook5(QzWindowInfo *, uint32_t, GuiPoint) {}
void GuiModuleBase::guiHook8(QzWindowInfo *) {}
void GuiModuleBase::guiHook9(QzWindowInfo *) {}
bool GuiModuleBase::guiHook10() { return false; }
void GuiModuleBase::guiHook11(int32_t) {}
void GuiModuleBase::guiHook12(int32_t) {}
void GuiModuleBase::guiHook6(int32_t, int32_t, void *) {}
void GuiModuleBase::onGuiPinValueChanged(GuiPin &) {}

} // namespace qz
