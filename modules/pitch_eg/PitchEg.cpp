// QZ_PitchEG: bends a pitch stream by a gated four-rate, four-level envelope.
//
// Levels are signed offsets on the pitch scale (0.1 per octave), 0 at the
// middle setting; "Level 4" sets the base where the sweep starts and ends,
// the other three add up to a quarter of their level to it.
#include "about.h"
#include "module_base.h"
#include "plugin_entry.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace {

// ---- pins --------------------------------------------------------------

enum Pins : int32_t {
    kGateIn,
    kPitchIn,
    kRate1,
    kRate2,
    kRate3,
    kRate4,
    kLevel1,
    kLevel2,
    kLevel3,
    kLevel4,
    kRateScale,
    kPitchOut,
    kPinCount
};

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
    {"Pitch In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Rate 1", QZ_DIR_IN, QZ_DT_STREAM, "99", kControlRange},
    {"Rate 2", QZ_DIR_IN, QZ_DT_STREAM, "99", kControlRange},
    {"Rate 3", QZ_DIR_IN, QZ_DT_STREAM, "99", kControlRange},
    {"Rate 4", QZ_DIR_IN, QZ_DT_STREAM, "99", kControlRange},
    {"Level 1", QZ_DIR_IN, QZ_DT_STREAM, "50", kControlRange},
    {"Level 2", QZ_DIR_IN, QZ_DT_STREAM, "50", kControlRange},
    {"Level 3", QZ_DIR_IN, QZ_DT_STREAM, "50", kControlRange},
    {"Level 4", QZ_DIR_IN, QZ_DT_STREAM, "50", kControlRange},
    {"Rate Scale", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "0,1,2,3,4,5,6,7,8,9,10"},
    {"Pitch Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr},
}};
static_assert(kPins.size() == kPinCount);

constexpr qz::ModuleIdentity kIdentity{"QZ_PitchEG", "QZ_PitchEG", QZ_DEVELOPER_ABOUT, false};

// Control values a host shows as 0..99 arrive as 0..9.9.
constexpr float kControlTop = 9.9f;
constexpr float kDefaultRate = 9.9f;  // "99"
constexpr float kDefaultLevel = 5.0f; // "50"

// Level factors this close to 0 count as 0, so a level near the middle of
// its range leaves the pitch exactly alone.
constexpr float kDeadZone = 0.018f;

enum Stage : int32_t { kIdle, kAttack, kDecay1, kDecay2, kSustain, kRelease, kEarlyRelease };

// A float sample count, truncated toward zero into 32 bits; NaN and
// negative counts become 0, counts beyond 32 bits the longest stage.
uint32_t toSampleCount(float samples) {
    if (!(samples > 0.0f)) return 0;
    if (samples >= 4294967296.0f) return UINT32_MAX;
    return static_cast<uint32_t>(samples);
}

// A stage of 0 samples takes one step to its target.
float perSample(float distance, uint32_t samples) {
    return distance / static_cast<float>(samples > 0 ? samples : 1u);
}

bool reached(float value, float target, float increment) {
    return (increment > 0.0f && value >= target) || (increment < 0.0f && value <= target);
}

// ---- the module ------------------------------------------------------------

class PitchEgModule : public qz::ModuleBase {
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
        setMainSubProcess(subProcessOf<&PitchEgModule::process>(), kPitchOut);
        sampleRate_ = getSampleRate();
        entry_ = false;
        stage_ = kIdle;
        gate_ = 0;
        // A gate that is already high when the module opens starts nothing:
        // it has to fall and rise again.
        previousGate_ = 1;
        readRateScale();
        for (int32_t k = 0; k < 4; ++k) {
            readLevel(k);
            readRate(k);
        }
        updateSweep();
        setOutputState(QZ_STATUS_STREAMING);
    }

    void onPinStatusChanged(qz::Pin &pin) override {
        const int32_t index = pin.getIndex();
        if (index == kGateIn) {
            onGate(pin);
        } else if (index >= kRate1 && index <= kRate4) {
            readRate(index - kRate1);
            updateSweep();
        } else if (index >= kLevel1 && index <= kLevel4) {
            readLevel(index - kLevel1);
            updateSweep();
        } else if (index == kRateScale) {
            readRateScale();
            for (int32_t k = 0; k < 4; ++k) {
                readLevel(k);
                readRate(k);
            }
            updateSweep();
        }
    }

private:
    void *variableOf(int32_t index) {
        switch (index) {
        case kGateIn: return &gateIn_;
        case kPitchIn: return &pitchIn_;
        case kPitchOut: return &pitchOut_;
        case kRateScale: return &rateScale_;
        default: break;
        }
        if (index >= kRate1 && index <= kRate4) return &rateIn_[index - kRate1];
        if (index >= kLevel1 && index <= kLevel4) return &levelIn_[index - kLevel1];
        return nullptr;
    }

    // The control's value at the current clock, if the pin exists, has a
    // buffer and holds a finite number; otherwise `value` keeps the last
    // reading (or the default), so a stray NaN cannot wreck the sweep.
    void readControl(int32_t index, const float *buffer, float &value) {
        const qz::Pin *pin = getPin(index);
        if (pin == nullptr || buffer == nullptr) return;
        const float v = pin->getValue();
        if (std::isfinite(v)) value = v;
    }

    void readLevel(int32_t k) {
        readControl(kLevel1 + k, levelIn_[k], levelValue_[k]);
        float factor = levelValue_[k] / kControlTop - 0.5f;
        if (factor > -kDeadZone && factor < kDeadZone) factor = 0.0f;
        level_[k] = factor;
    }

    void readRate(int32_t k) {
        readControl(kRate1 + k, rateIn_[k], rateValue_[k]);
        const float r = kControlTop - rateValue_[k];
        const auto c = static_cast<float>(std::pow(2.0, static_cast<double>(r) - 6.66666));
        rateFactor_[k] = c;
        stageSamples_[k] = toSampleCount(rateMultiplier_ * sampleRate_ * c);
    }

    void readRateScale() { rateMultiplier_ = static_cast<float>(rateScale_) + 1.0f; }

    void updateSweep() {
        base_ = level_[3];
        for (int32_t k = 0; k < 3; ++k) target_[k] = level_[k] / 4.0f + level_[3];
        increment_[0] = perSample(target_[0] - base_, stageSamples_[0]);
        increment_[1] = perSample(target_[1] - target_[0], stageSamples_[1]);
        increment_[2] = perSample(target_[2] - target_[1], stageSamples_[2]);
        increment_[3] = perSample(base_ - target_[2], stageSamples_[3]);
    }

    void onGate(const qz::Pin &pin) {
        float v = 0.0f;
        if (gateIn_ != nullptr) v = pin.getValue();
        gate_ = v > 0.0f ? 1 : 0;
        if (gate_ == previousGate_) return;
        if (gate_ == 1) {
            stage_ = kAttack;
            entry_ = true;
            setOutputState(QZ_STATUS_STREAMING);
        }
        if (stage_ != kIdle && gate_ == 0) {
            stage_ = stage_ == kSustain ? kRelease : kEarlyRelease;
            entry_ = true;
        }
        previousGate_ = gate_;
    }

    // One step of a moving stage (attack, decay 1, decay 2); true when it
    // has ended at, or passed, its target.
    bool moveTowards(int32_t k, float start, float &value) {
        if (entry_) {
            counter_ = 0;
            value = start;
            entry_ = false;
        }
        value += increment_[k];
        ++counter_;
        return counter_ >= stageSamples_[k] || reached(value, target_[k], increment_[k]);
    }

    // One step towards the base with `increment`; true once there. A step
    // too small to move the value any further ends the stage too, since
    // the value would otherwise never get there.
    bool returnToBase(float increment, float &value) {
        if (increment == 0.0f) return true;
        const float before = value;
        value += increment;
        return reached(value, base_, increment) || value == before;
    }

    void process(int32_t offset, int32_t count) {
        if (offset < 0 || count < 0) count = 0;
        const int32_t room = getBlockSize() - offset;
        if (count > room) count = room > 0 ? room : 0;
        const float *in = pitchIn_ != nullptr ? pitchIn_ + offset : nullptr;
        float *out = pitchOut_ != nullptr ? pitchOut_ + offset : nullptr;
        float value = value_;
        for (int32_t i = 0; i < count; ++i) {
            // The attack hands over without landing on T1; decay 1 starts there.
            if (stage_ == kAttack && moveTowards(0, base_, value)) {
                stage_ = kDecay1;
                entry_ = true;
            }
            if (stage_ == kDecay1 && moveTowards(1, target_[0], value)) {
                value = target_[1];
                stage_ = kDecay2;
                entry_ = true;
            }
            if (stage_ == kDecay2 && moveTowards(2, target_[1], value)) {
                value = target_[2];
                stage_ = kSustain;
                entry_ = true;
            }
            if (stage_ == kSustain && entry_) {
                entry_ = false;
                value = target_[2];
            }
            if (stage_ == kRelease && returnToBase(increment_[3], value)) stage_ = kIdle;
            if (stage_ == kEarlyRelease) {
                if (entry_) {
                    entry_ = false;
                    earlyIncrement_ = perSample(base_ - value, stageSamples_[3]);
                }
                if (returnToBase(earlyIncrement_, value)) stage_ = kIdle;
            }
            if (stage_ == kIdle) value = 0.0f;
            if (out != nullptr) out[i] = (in != nullptr ? in[i] : 0.0f) + value;
        }
        value_ = value;
        if (stage_ == kIdle) setOutputState(QZ_STATUS_CHANGED);
    }

    // Pin variables, written by the host.
    float *pitchIn_ = nullptr;
    float *pitchOut_ = nullptr;
    float *gateIn_ = nullptr;
    float *rateIn_[4] = {};
    float *levelIn_[4] = {};
    int16_t rateScale_ = 0;

    // Last finite control readings; the defaults until a pin reports.
    float rateValue_[4] = {kDefaultRate, kDefaultRate, kDefaultRate, kDefaultRate};
    float levelValue_[4] = {kDefaultLevel, kDefaultLevel, kDefaultLevel, kDefaultLevel};

    float rateFactor_[4] = {};
    float level_[4] = {};     // signed level factors, -0.5 .. 0.5
    float target_[3] = {};    // T1..T3
    float base_ = 0.0f;       // B
    float increment_[4] = {}; // D1..D4, per sample
    float earlyIncrement_ = 0.0f;
    float value_ = 0.0f; // the offset added to "Pitch In"
    bool entry_ = false; // a stage was entered from outside its own step
    int32_t stage_ = kIdle;
    int32_t gate_ = 0;
    int32_t previousGate_ = 1;
    float sampleRate_ = 44100.0f;
    float rateMultiplier_ = 1.0f;
    uint32_t stageSamples_[4] = {}; // N1..N4
    uint32_t counter_ = 0;          // samples taken in the current moving stage
};

} // namespace

QZ_DEFINE_MODULE(PitchEgModule, kIdentity)
