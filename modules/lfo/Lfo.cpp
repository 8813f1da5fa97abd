// QZ_LFO: a gated low-frequency oscillator with delay, fade-in and fade-out.
#include "about.h"
#include "module_base.h"
#include "plugin_entry.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace {

// ---- pins --------------------------------------------------------------

enum Pins : int32_t { kGateIn, kWave, kSpeed, kDelay, kOutputLevel, kLfoOut, kPinCount };

struct PinRow {
    const char *label;
    int32_t direction;
    int32_t dataType;
    const char *defaultText;
    const char *rangeText;
};

constexpr const char *kControlRange = "99,0,99,0";

constexpr std::array<PinRow, kPinCount> kPins{{
    {"Gate In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Wave", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "Sine,Ramp,Saw,Triangle,Square"},
    {"Speed", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"Delay", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"Output Level", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"LFO Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr},
}};
static_assert(kPins.size() == kPinCount);

constexpr qz::ModuleIdentity kIdentity{"QZ_LFO", "QZ_LFO", QZ_DEVELOPER_ABOUT, false};

// ---- wave tables -------------------------------------------------------------

constexpr int32_t kWaveCount = 5;
constexpr int32_t kTableSize = 720; // one entry per half degree

using WaveTables = std::array<std::array<float, kTableSize>, kWaveCount>;

// The ramp and saw step 0.002777 and the triangle step 0.0055 fall short of
// exactly +-1 at the far end of the cycle; patches are tuned to that.
WaveTables buildTables() {
    WaveTables t{};
    float triangle = -1.0f;
    for (int32_t i = 0; i < kTableSize; ++i) {
        const auto index = static_cast<float>(i);
        const double degrees = static_cast<double>(i) * 0.5;
        t[0][static_cast<size_t>(i)] = static_cast<float>(std::sin(degrees * 0.017453292));
        t[1][static_cast<size_t>(i)] = index * 0.002777f - 1.0f;
        t[2][static_cast<size_t>(i)] = 1.0f - index * 0.002777f;
        t[3][static_cast<size_t>(i)] = triangle;
        triangle = i <= 359 ? triangle + 0.0055f : triangle - 0.0055f;
        t[4][static_cast<size_t>(i)] = i <= 359 ? 1.0f : -1.0f;
    }
    return t;
}

// Built once per library, on the first open; every instance reads the same
// values, so no open rewrites a table another instance is playing from.
const WaveTables &waveTables() {
    static const WaveTables tables = buildTables();
    return tables;
}

// ---- helpers ---------------------------------------------------------------

constexpr float kControlTop = 9.9f;
constexpr float kFadeInStep = 0.005f;   // 200 samples
constexpr float kFadeOutStep = 0.00005f; // 20000 samples

// Degrees per sample for `speed`; a rate or frequency that leaves no finite,
// non-zero period stops the phase rather than dividing by zero.
float phaseIncrement(float speed, float sampleRate) {
    const float frequency = 0.25f * std::pow(2.0f, speed);
    if (!(frequency > 0.0f) || !std::isfinite(frequency)) return 0.0f;
    const float period = sampleRate / frequency;
    if (period == 0.0f || !std::isfinite(period)) return 0.0f;
    // Speeds far beyond the range step more than a cycle per sample; only
    // the step within one cycle matters, and it keeps one wrap per sample
    // enough.
    const float increment = 360.0f / period;
    return std::fabs(increment) < 360.0f ? increment : std::fmod(increment, 360.0f);
}

// Samples of silence after a retrigger: 5 x trunc(10^(-t / 0.25) x rate),
// t = 1 - s / 10; none at s = 0. Clamped so that the factor 5 cannot wrap.
uint32_t delaySamples(float s, float sampleRate) {
    const float t = 1.0f - s / 10.0f;
    if (t == 1.0f) return 0;
    const double samples = std::pow(10.0, -static_cast<double>(t) / 0.25) * static_cast<double>(sampleRate);
    if (!(samples >= 1.0)) return 0;
    constexpr double kLongest = static_cast<double>(UINT32_MAX / 5u);
    if (samples >= kLongest) return UINT32_MAX / 5u * 5u;
    return 5u * static_cast<uint32_t>(samples);
}

// Brings a phase that one wrap could not fold (the rounding of a sum just
// below 0, or a non-finite value) back into [0, 360).
float wrapFar(float phase) {
    if (!std::isfinite(phase)) return 0.0f;
    float p = std::fmod(phase, 360.0f);
    if (p < 0.0f) p += 360.0f;
    return p < 360.0f ? p : 0.0f;
}

// ---- the module ------------------------------------------------------------

class LfoModule : public qz::ModuleBase {
public:
    using ModuleBase::ModuleBase;

    bool getPinProperties(int32_t index, QzPinDescription &d) override {
        if (index < 0 || index >= kPinCount) return false;
        const PinRow &row = kPins[static_cast<size_t>(index)];
        d.name = row.label;
        d.direction = row.direction;
        d.dataType = row.dataType;
        d.defaultValue = row.defaultText;
        d.datatypeExtra = row.rangeText;
        d.variable = variableOf(index);
        return true;
    }

    void open() override {
        ModuleBase::open();
        setMainSubProcess(subProcessOf<&LfoModule::process>(), kLfoOut);
        sampleRate_ = getSampleRate();
        tables_ = &waveTables();
        retrigger_ = false;
        release_ = false;
        gate_ = 0;
        previousGate_ = 0;
        fade_ = 0.0f;
        active_ = 0;
        phase_ = 0.0f;
        // Level and delay are read here as well as the speed, so that a
        // patch whose host reports nothing still plays as it is set.
        readControl(kSpeed, speedIn_, speed_);
        updateSpeed();
        readDelay();
        readLevel();
        setOutputState(QZ_STATUS_STREAMING);
    }

    void onPinStatusChanged(qz::Pin &pin) override {
        switch (pin.getIndex()) {
        case kGateIn: onGate(pin); break;
        case kSpeed:
            readControl(kSpeed, speedIn_, speed_);
            if (speed_ != lastSpeed_) updateSpeed();
            break;
        case kDelay: readDelay(); break;
        case kOutputLevel: readLevel(); break;
        default: break;
        }
        setOutputState(QZ_STATUS_STREAMING);
    }

private:
    void *variableOf(int32_t index) {
        switch (index) {
        case kGateIn: return &gateIn_;
        case kWave: return &wave_;
        case kSpeed: return &speedIn_;
        case kDelay: return &delayIn_;
        case kOutputLevel: return &levelIn_;
        case kLfoOut: return &lfoOut_;
        default: return nullptr;
        }
    }

    // The control's value at the current clock, if the pin exists, has a
    // buffer and holds a finite number; otherwise `value` keeps the last
    // reading (or the default 0).
    void readControl(int32_t index, const float *buffer, float &value) {
        const qz::Pin *pin = getPin(index);
        if (pin == nullptr || buffer == nullptr) return;
        const float v = pin->getValue();
        if (std::isfinite(v)) value = v;
    }

    void updateSpeed() {
        increment_ = phaseIncrement(speed_, sampleRate_);
        lastSpeed_ = speed_;
    }

    void readDelay() {
        readControl(kDelay, delayIn_, delayValue_);
        delayLength_ = delaySamples(delayValue_, sampleRate_);
    }

    void readLevel() {
        readControl(kOutputLevel, levelIn_, levelValue_);
        level_ = levelValue_ / kControlTop;
    }

    void onGate(const qz::Pin &pin) {
        const float v = gateIn_ != nullptr ? pin.getValue() : 0.0f;
        gate_ = v > 0.0f ? 1 : 0;
        if (gate_ == previousGate_) return;
        if (gate_ == 1) {
            if (level_ > 0.0f) {
                retrigger_ = true;
                // A fall and a rise before the next sample: the gate is on,
                // so the older release must not silence the new note.
                release_ = false;
            }
        } else {
            release_ = true;
        }
        previousGate_ = gate_;
    }

    void process(int32_t offset, int32_t count) {
        if (offset < 0 || count < 0) count = 0;
        const int32_t room = getBlockSize() - offset;
        if (count > room) count = room > 0 ? room : 0;
        float *out = lfoOut_ != nullptr ? lfoOut_ + offset : nullptr;
        const float *table = (wave_ >= 0 && wave_ < kWaveCount && tables_ != nullptr)
                                 ? (*tables_)[static_cast<size_t>(wave_)].data()
                                 : nullptr;
        float phase = phase_;
        float fade = fade_;
        float sample = waveSample_;
        for (int32_t i = 0; i < count; ++i) {
            if (retrigger_) {
                fade = 0.0f;
                active_ = 1;
                delayCounter_ = 0;
                retrigger_ = false;
            }
            if (speed_ != lastSpeed_) updateSpeed();
            if (table != nullptr) sample = table[static_cast<int32_t>(phase * 2.0f)];
            phase += increment_;
            if (phase >= 360.0f) {
                phase -= 360.0f;
            } else if (phase < 0.0f) {
                phase += 360.0f;
            }
            if (!(phase >= 0.0f && phase < 360.0f)) phase = wrapFar(phase);
            if (active_ != 0 && delayCounter_ < delayLength_) ++delayCounter_;
            if (active_ != 0 && fade <= 1.0f && delayCounter_ >= delayLength_) fade += kFadeInStep;
            if (release_) {
                active_ = 0;
                release_ = false;
            }
            if (active_ == 0 && fade > 0.0f) fade -= kFadeOutStep;
            if (fade < 0.0f) fade = 0.0f;
            if (fade > 1.0f) fade = 1.0f;
            if (out != nullptr) out[i] = sample * fade * level_;
        }
        phase_ = phase;
        fade_ = fade;
        waveSample_ = sample;
    }

    // Pin variables, written by the host.
    float *gateIn_ = nullptr;
    float *speedIn_ = nullptr;
    float *delayIn_ = nullptr;
    float *levelIn_ = nullptr;
    float *lfoOut_ = nullptr;
    int16_t wave_ = 0;

    const WaveTables *tables_ = nullptr;
    float sampleRate_ = 44100.0f;
    float speed_ = 0.0f;
    float lastSpeed_ = -1.0f;
    float increment_ = 0.0f; // degrees per sample
    float phase_ = 0.0f;     // degrees, [0, 360)
    float waveSample_ = 0.0f;
    float fade_ = 0.0f; // 0 .. 1
    float level_ = 0.0f;
    float levelValue_ = 0.0f;
    float delayValue_ = 0.0f;
    uint32_t delayLength_ = 0;  // samples
    uint32_t delayCounter_ = 0; // samples since the last retrigger
    int32_t active_ = 0;
    bool retrigger_ = false;
    bool release_ = false;
    int32_t gate_ = 0;
    int32_t previousGate_ = 0;
};

} // namespace

QZ_DEFINE_MODULE(LfoModule, kIdentity)
