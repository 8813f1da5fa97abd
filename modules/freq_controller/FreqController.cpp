// QZ_FreqController_v1: the pitch of one FM operator, following the
// keyboard by octaves or fixed.
#include "about.h"
#include "module_base.h"
#include "plugin_entry.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

// ---- pins --------------------------------------------------------------

enum Pins : int32_t {
    kPitchIn,
    kRatioFixed,
    kCourseRatio,
    kCourseFixed,
    kFine,
    kDetune,
    kPModIn,
    kPmSensitivity,
    kPitchOut,
    kPinCount
};

struct PinInfo {
    const char *label;
    int32_t direction;
    int32_t dataType;
    const char *defaultText;
    const char *rangeText;
};

constexpr std::array<PinInfo, kPinCount> kPins{{
    {"Pitch In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Ratio/Fixed", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", " Ratio, Fixed"},
    {"Course Ratio", QZ_DIR_IN, QZ_DT_ENUMERATION, "1", "x0.5,x1,x2,x3,x4,x5,x6"},
    {"Course Fixed", QZ_DIR_IN, QZ_DT_ENUMERATION, "2", " 1 Hz, 10 Hz, 100 Hz, 1 KHz"},
    {"Fine", QZ_DIR_IN, QZ_DT_STREAM, "0", "99,0,99,0"},
    {"Detune", QZ_DIR_IN, QZ_DT_ENUMERATION, "7", "-7,-6,-5,-4,-3,-2,-1,0,+1,+2,+3,+4,+5,+6,+7"},
    {"PMod In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"PM Sensitivity", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "0,1,2,3,4,5,6,7"},
    {"Pitch Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr},
}};
static_assert(kPins.size() == kPinCount);

constexpr qz::ModuleIdentity kIdentity{"QZ_FreqController_v1", "QZ_FreqController_v1", QZ_DEVELOPER_ABOUT, false};

// Pitches of 1 Hz, 10 Hz, 100 Hz and 1 kHz: (log2(f / 440) + 5) / 10.
constexpr float kFixedPitches[4] = {-0.37813598f, -0.045943160f, 0.28624964f, 0.61844248f};

// log2(10) / 10: a fine step of x multiplies a fixed frequency by 10^x.
constexpr double kDecadeOnPitchScale = 0.3321928;

// ---- the module ------------------------------------------------------------

class FreqControllerModule : public qz::ModuleBase {
public:
    using ModuleBase::ModuleBase;

    bool getPinProperties(int32_t index, QzPinDescription &d) override {
        if (index < 0 || index >= kPinCount) return false;
        const PinInfo &info = kPins[static_cast<std::size_t>(index)];
        d.name = info.label;
        d.direction = info.direction;
        d.dataType = info.dataType;
        if (info.defaultText != nullptr) d.defaultValue = info.defaultText;
        if (info.rangeText != nullptr) d.datatypeExtra = info.rangeText;
        d.variable = variableOf(index);
        return true;
    }

    void open() override {
        ModuleBase::open();
        setMainSubProcess(subProcessOf<&FreqControllerModule::process>(), kPitchOut);
        updateDetune();
        readFine();
        updateBase();
        updatePmDepth();
    }

    void onPinStatusChanged(qz::Pin &pin) override {
        switch (pin.getIndex()) {
        case kRatioFixed:
            updateFine();
            updateBase();
            break;
        case kCourseRatio:
            if (!fixedMode()) updateBase();
            break;
        case kCourseFixed:
            if (fixedMode()) updateBase();
            break;
        case kFine:
            readFine();
            updateBase();
            break;
        case kDetune:
            updateDetune();
            updateBase();
            break;
        case kPmSensitivity:
            updatePmDepth();
            break;
        default:
            break; // the streams are read sample by sample
        }
    }

private:
    void *variableOf(int32_t index) {
        switch (index) {
        case kPitchIn: return &pitchIn_;
        case kRatioFixed: return &ratioFixed_;
        case kCourseRatio: return &courseRatio_;
        case kCourseFixed: return &courseFixed_;
        case kFine: return &fineIn_;
        case kDetune: return &detune_;
        case kPModIn: return &pmodIn_;
        case kPmSensitivity: return &pmSensitivity_;
        case kPitchOut: return &pitchOut_;
        default: return nullptr;
        }
    }

    bool fixedMode() const { return ratioFixed_ != 0; }

    // ---- derived values ----------------------------------------------------

    // "Fine" counts in tenths, truncated toward zero from the 32-bit sample
    // (so 0.7, held as 0.69999999, counts as 0.6); x = tenths / 1000. A
    // control that is not a number counts as 0.
    void readFine() {
        const qz::Pin *pin = getPin(kFine);
        const float s = pin != nullptr ? pin->getValue() : 0.0f;
        const double tenths = std::isnan(s) ? 0.0 : std::trunc(static_cast<double>(s) * 10.0);
        fineSteps_ = tenths / 10.0 / 100.0;
        updateFine();
    }

    // Fixed mode multiplies the frequency by 10^x, ratio mode shifts it by
    // x octaves.
    void updateFine() {
        const double offset = fixedMode() ? fineSteps_ * kDecadeOnPitchScale : fineSteps_ / 10.0;
        fineOffset_ = finitePitch(offset);
    }

    // One detune step is 1/7 octave; the middle entry, index 7, is 0.
    void updateDetune() { detuneOffset_ = static_cast<float>(detune_ - 7) / 70.0f; }

    void updatePmDepth() { pmDepth_ = static_cast<float>(pmSensitivity_) / 7.0f; }

    // The base of the mode in use, then "Pitch Out" announced as Streaming.
    // A ratio index below 0 and a fixed index outside the list keep the
    // base they had.
    void updateBase() {
        if (fixedMode()) {
            if (courseFixed_ >= 0 && courseFixed_ < 4) fixedBase_ = kFixedPitches[courseFixed_];
        } else if (courseRatio_ == 0) {
            ratioOffset_ = -0.1f;
        } else if (courseRatio_ > 0) {
            ratioOffset_ = static_cast<float>(courseRatio_ - 1) * 0.1f; // one octave per entry
        }
        setOutputState(QZ_STATUS_STREAMING);
    }

    static float finitePitch(double v) {
        constexpr double kLargest = static_cast<double>(std::numeric_limits<float>::max());
        if (v > kLargest) return std::numeric_limits<float>::max();
        if (v < -kLargest) return -std::numeric_limits<float>::max();
        return static_cast<float>(v);
    }

    // ---- per-sample loop ---------------------------------------------------------

    void process(int32_t offset, int32_t count) {
        if (offset < 0 || count <= 0 || pitchOut_ == nullptr) return;
        const int32_t room = getBlockSize() - offset;
        if (room <= 0) return;
        if (count > room) count = room;
        float *out = pitchOut_ + offset;

        if (fixedMode()) {
            const float pitch = fixedBase_ + detuneOffset_ + fineOffset_;
            for (int32_t i = 0; i < count; ++i) out[i] = pitch;
            return;
        }
        const float ratio = ratioOffset_, detune = detuneOffset_, fine = fineOffset_, depth = pmDepth_;
        const float *pitch = pitchIn_ != nullptr ? pitchIn_ + offset : nullptr;
        const float *pmod = pmodIn_ != nullptr ? pmodIn_ + offset : nullptr;
        for (int32_t i = 0; i < count; ++i) {
            const float played = pitch != nullptr ? pitch[i] : 0.0f;
            const float modulation = pmod != nullptr ? pmod[i] : 0.0f;
            out[i] = played + ratio + detune + fine + modulation * depth / 10.0f;
        }
    }

    // ---- state -------------------------------------------------------------------

    float *pitchIn_ = nullptr;
    float *fineIn_ = nullptr;
    float *pmodIn_ = nullptr;
    float *pitchOut_ = nullptr;
    int16_t ratioFixed_ = 0, courseRatio_ = 1, courseFixed_ = 2, detune_ = 7, pmSensitivity_ = 0;

    float ratioOffset_ = 0.0f;
    float fixedBase_ = kFixedPitches[2];
    float fineOffset_ = 0.0f;
    float detuneOffset_ = 0.0f;
    float pmDepth_ = 0.0f;
    double fineSteps_ = 0.0; // x of the last reported "Fine"
};

} // namespace

QZ_DEFINE_MODULE(FreqControllerModule, kIdentity)
