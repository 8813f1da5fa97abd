// QZ_FreqDisplay_v1: a fixed operator frequency shown in whole hertz on the
// host's panel.
#include "gui_module_base.h"
#include "module_base.h"
#include "plugin_entry.h"
#include "qz_gdi.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

// ---- pins --------------------------------------------------------------

enum Pins : int32_t { kCourseFixed, kFineAdj, kDetune, kGuiCom, kValFromDsp, kPinCount };

struct PinSpec {
    const char *label;
    int32_t direction;
    int32_t dataType;
    const char *defaultText;
    const char *rangeText;
    int32_t flags;
};

constexpr std::array<PinSpec, kPinCount> kPins{{
    {"Course Fixed", QZ_DIR_IN, QZ_DT_ENUMERATION, "2", " 1 Hz, 10 Hz, 100 Hz, 1 KHz", 0},
    {"Fine Adj In", QZ_DIR_IN, QZ_DT_STREAM, "0", "99,0,99,0", 0},
    {"Detune", QZ_DIR_IN, QZ_DT_ENUMERATION, "7", "-7,-6,-5,-4,-3,-2,-1,0,+1,+2,+3,+4,+5,+6,+7", 0},
    {"gui_com_pin", QZ_DIR_OUT, QZ_DT_FLOAT, nullptr, nullptr, QZ_PIN_GUI_LINK},
    {"Val from DSP", QZ_DIR_IN, QZ_DT_FLOAT, nullptr, nullptr, QZ_PIN_GUI_LINK | QZ_PIN_GUI_SIDE},
}};

constexpr qz::ModuleIdentity kIdentity{"QZ_FreqDisplay_v1", "QZ_FreqDisplay_v1", "by Orwin Malvaen", true};

// Pitches of 1, 10, 100 and 1000 Hz on the pitch scale (0.5 = 440 Hz,
// 0.1 = one octave).
constexpr std::array<float, 4> kDecadePitch{-0.37813598f, -0.045943160f, 0.28624964f, 0.61844248f};

// log2(10) / 10: a fine value s multiplies the frequency by 10^(s/10).
constexpr float kFineScale = 0.3321928f;

// ---- processing side -----------------------------------------------------------

class FreqDisplayModule : public qz::ModuleBase {
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
        switch (index) {
        case kCourseFixed: d.variable = &courseFixed_; break;
        case kFineAdj: d.variable = &fineAdj_; break;
        case kDetune: d.variable = &detune_; break;
        case kGuiCom: d.variable = &displayValue_; break;
        default: break; // "Val from DSP" lives on the panel side
        }
        return true;
    }

    void open() override {
        ModuleBase::open();
        // All the work happens on pin changes; nothing to do per block.
        setSubProcess(subProcessOf<&FreqDisplayModule::process>());
        sendDisplayValue();
    }

    void onPinStatusChanged(qz::Pin &) override { sendDisplayValue(); }

private:
    void process(int32_t, int32_t) {}

    void sendDisplayValue() {
        if (courseFixed_ >= 0 && courseFixed_ < static_cast<int16_t>(kDecadePitch.size()))
            fixedBase_ = kDecadePitch[static_cast<size_t>(courseFixed_)];
        const qz::Pin *fine = getPin(kFineAdj);
        const float s = fine != nullptr ? fine->getValue() : 0.0f;
        fineTerm_ = s / 10.0f * kFineScale;
        detuneTerm_ = static_cast<float>(detune_ - 7) / 70.0f;
        pitch_ = fixedBase_ + fineTerm_ + detuneTerm_;
        const auto frequency = static_cast<float>(440.0 * std::pow(2.0, 10.0 * static_cast<double>(pitch_) - 5.0));
        // trunc rather than an integer cast: a hostile fine value may make the
        // frequency infinite or NaN, which an integer cannot hold.
        displayValue_ = static_cast<float>(std::trunc(static_cast<double>(frequency) + 0.5));
        if (const qz::Pin *out = getPin(kGuiCom)) out->sendStatus(getSampleClock(), QZ_STATUS_CHANGED);
    }

    int16_t courseFixed_ = 2; // decade index, written by the host
    float *fineAdj_ = nullptr; // Stream buffer, kept by the host
    int16_t detune_ = 7;       // 0..14, 7 = none
    float fixedBase_ = 0.0f;
    float fineTerm_ = 0.0f;
    float detuneTerm_ = 0.0f;
    float pitch_ = 0.0f;
    float displayValue_ = 0.0f; // whole hertz, the value of "gui_com_pin"
};

// ---- panel side -------------------------------------------------------------------

constexpr int32_t kPanelWidth = 75;
constexpr int32_t kPanelHeight = 15;
constexpr COLORREF kTextColour = 0x00D4D4u; // red 212, green 212, blue 0
// Shown when the number does not fit the text buffer or is not a number:
// dashes cannot be read as a frequency.
constexpr char kUnshowable[] = "----- Hz";

class FreqDisplayGui : public qz::GuiModuleBase {
public:
    FreqDisplayGui(QzGuiHostCallback host, void *hostData) : GuiModuleBase(host, hostData) {
        callGuiHost(QZ_GUIHOST_SET_SIZE, kPanelWidth, kPanelHeight);
        callGuiHost(QZ_GUIHOST_OPCODE11);
        value_ = getGuiPin(kValFromDsp).getValueFloat();
    }

    void onGuiPinValueChanged(qz::GuiPin &) override {
        value_ = getGuiPin(kValFromDsp).getValueFloat();
        callGuiHost(QZ_GUIHOST_REDRAW);
    }

    void paint(intptr_t deviceContext, QzWindowInfo *window) override {
        if (window == nullptr) return; // no area to paint into
        const auto dc = reinterpret_cast<HDC>(deviceContext);
        HFONT font = CreateFontA(12, 5, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "Courier");

        HBRUSH black = CreateSolidBrush(0);
        const RECT area{0, 0, oneMore(window->width), oneMore(window->height)};
        FillRect(dc, &area, black);
        DeleteObject(black);

        HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
        SetTextColor(dc, kTextColour);
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_LEFT | TA_TOP);
        formatValue();
        TextOutA(dc, 1, 0, text_, static_cast<int>(std::strlen(text_)));

        if (previous != nullptr) SelectObject(dc, previous);
        if (font != nullptr) DeleteObject(font);
    }

private:
    static LONG oneMore(int32_t side) {
        return side < std::numeric_limits<int32_t>::max() ? side + 1 : side;
    }

    void formatValue() {
        const int written = std::snprintf(text_, sizeof text_, "%5.0f Hz", static_cast<double>(value_));
        if (!std::isfinite(value_) || written < 0 || static_cast<size_t>(written) >= sizeof text_)
            std::memcpy(text_, kUnshowable, sizeof kUnshowable);
    }

    float value_ = 0.0f; // last value read from "Val from DSP"
    char text_[20] = {};
};

} // namespace

QZ_DEFINE_MODULE_WITH_PANEL(FreqDisplayModule, FreqDisplayGui, kIdentity)
