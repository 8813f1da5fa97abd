// QZ_OpEG_v1: the amplitude envelope of one FM operator.
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
    kOnOff,
    kMidiIn,
    kGateIn,
    kRate1,
    kRate2,
    kRate3,
    kRate4,
    kEgRateScale,
    kLevel1,
    kLevel2,
    kLevel3,
    kLevel4,
    kOutputLevel,
    kBreakPoint,
    kKbdRateScale,
    kLeftCurve,
    kLeftDepth,
    kRightCurve,
    kRightDepth,
    kVelocityIn,
    kVelocitySensitivity,
    kAmIn,
    kAmSensitivity,
    kEgOut,
    kPinCount
};

// "C-1,C#-1,...,F#9,G9": one name per MIDI key, the index is the key number.
constexpr auto kKeyNames = [] {
    constexpr const char *notes[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    std::array<char, 1024> text{};
    std::size_t at = 0;
    for (int key = 0; key < 128; ++key) {
        if (key > 0) text[at++] = ',';
        for (const char *c = notes[key % 12]; *c != '\0'; ++c) text[at++] = *c;
        const int octave = key / 12 - 1;
        if (octave < 0) {
            text[at++] = '-';
            text[at++] = '1';
        } else {
            text[at++] = static_cast<char>('0' + octave);
        }
    }
    return text;
}();

struct PinInfo {
    const char *label;
    int32_t direction;
    int32_t dataType;
    const char *defaultText;
    const char *rangeText;
};

constexpr const char *kControlRange = "99,0,99,0";
constexpr const char *kCurves = "-LIN,-EXP,+LIN,+EXP";
constexpr const char *kSensitivities = "0,1,2,3,4,5,6,7";

constexpr std::array<PinInfo, kPinCount> kPins{{
    {"OFF/ON", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "Off,On"},
    {"MIDI In", QZ_DIR_IN, QZ_DT_MIDI, nullptr, nullptr},
    {"Gate In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Rate 1", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"Rate 2", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"Rate 3", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"Rate 4", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"EG Rate Scale", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "0,1,2,3,4,5,6,7,8,9,10"},
    {"Level 1", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"Level 2", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"Level 3", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"Level 4", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"Output Level", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"Break Point", QZ_DIR_IN, QZ_DT_ENUMERATION, "60", kKeyNames.data()},
    {"KBD Rate Scale", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", kSensitivities},
    {"Left Curve", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", kCurves},
    {"Left Depth", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"Right Curve", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", kCurves},
    {"Right Depth", QZ_DIR_IN, QZ_DT_STREAM, "0", kControlRange},
    {"Velocity In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Velocity Sensitivity", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", kSensitivities},
    {"AM In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"AM Sensitivity", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", kSensitivities},
    {"EG Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr},
}};
static_assert(kPins.size() == kPinCount);

constexpr qz::ModuleIdentity kIdentity{"QZ_OpEG_v1", "QZ_OpEG_v1", QZ_DEVELOPER_ABOUT, false};

enum Stage : int32_t { kIdle, kAttack, kDecay1, kDecay2, kSustain, kRelease, kEarlyRelease };
enum Curve : int16_t { kMinusLin, kMinusExp, kPlusLin, kPlusExp };

constexpr float kLargest = std::numeric_limits<float>::max();

// A control sample as the derived values use it: NaN reads as 0 and an
// infinity as the largest float of its sign, so every target, increment and
// table entry made from it stays finite.
float finiteControl(float v) {
    if (std::isnan(v)) return 0.0f;
    if (std::isinf(v)) return v > 0.0f ? kLargest : -kLargest;
    return v;
}

// Overflow saturates at the largest float instead of turning into infinity
// (and later into NaN when multiplied by a zero depth).
float saturate(double v) {
    if (v > static_cast<double>(kLargest)) return kLargest;
    if (v < -static_cast<double>(kLargest)) return -kLargest;
    return static_cast<float>(v);
}

// Samples as a stage count. The count stays at or below the largest signed
// 32-bit value so that it keeps its sign where it divides; anything below
// one sample (also NaN from a broken sample rate) is a stage of 0 samples.
uint32_t stageSamples(float samples) {
    if (!(samples >= 1.0f)) return 0;
    if (samples >= 2147483647.0f) return 2147483647u;
    return static_cast<uint32_t>(samples);
}

// The increment that covers `span` in `count` samples. A stage of 0 samples
// ends on its first sample: its step is then the largest float towards the
// target, which passes any end test at once.
float stepOver(float span, uint32_t count) {
    if (count == 0) return span > 0.0f ? kLargest : (span < 0.0f ? -kLargest : 0.0f);
    return span / static_cast<float>(static_cast<int32_t>(count));
}

// ---- the module ------------------------------------------------------------

class OpEgModule : public qz::ModuleBase {
public:
    using ModuleBase::ModuleBase;

    void onPinStatusChanged(qz::Pin &pin) override {
        switch (pin.getIndex()) {
        case kGateIn:
            onGate(control(kGateIn) > 0.0f ? 1 : 0);
            break;
        case kRate1:
        case kRate2:
        case kRate3:
        case kRate4:
            readRate(pin.getIndex() - kRate1);
            updateStages();
            break;
        case kEgRateScale:
            rateMultiplier_ = static_cast<float>(egRateScale_ + 1);
            for (int k = 0; k < 4; ++k) countStage(k);
            updateStages();
            break;
        case kLevel1:
        case kLevel2:
        case kLevel3:
        case kLevel4:
            readLevel(pin.getIndex() - kLevel1);
            updateStages();
            break;
        case kOutputLevel:
            readOutputLevel();
            break;
        case kLeftDepth:
            leftDepth_ = control(kLeftDepth) / 99.0f;
            buildKeyTable();
            break;
        case kRightDepth:
            rightDepth_ = control(kRightDepth) / 99.0f;
            buildKeyTable();
            break;
        case kBreakPoint:
        case kKbdRateScale:
        case kLeftCurve:
        case kRightCurve:
            buildKeyTable();
            break;
        case kVelocitySensitivity:
            velocityDepth_ = static_cast<float>(velocitySensitivity_) / 7.0f;
            break;
        case kAmSensitivity:
            amDepth_ = static_cast<float>(amSensitivity_) / 7.0f;
            break;
        default:
            break; // "OFF/ON" is read where it is used; the streams sample by sample
        }
    }

    void open() override {
        ModuleBase::open();
        setMainSubProcess(subProcessOf<&OpEgModule::process>(), kEgOut);
        sampleRate_ = getSampleRate();
        entry_ = false;
        stage_ = kIdle;
        rateMultiplier_ = static_cast<float>(egRateScale_ + 1);
        for (int k = 0; k < 4; ++k) {
            readLevel(k);
            readRate(k);
        }
        updateStages();
        readOutputLevel();
        leftDepth_ = control(kLeftDepth) / 99.0f;
        rightDepth_ = control(kRightDepth) / 99.0f;
        buildKeyTable();
        velocityDepth_ = static_cast<float>(velocitySensitivity_) / 7.0f;
        amDepth_ = static_cast<float>(amSensitivity_) / 7.0f;
        gate_ = 0;
        previousGate_ = 0;
        value_ = 0.0f;
        setOutputState(QZ_STATUS_STREAMING);
    }

    bool getPinProperties(int32_t index, QzPinDescription &d) override {
        if (index < 0 || index >= kPinCount) return false;
        const PinInfo &info = kPins[static_cast<std::size_t>(index)];
        d.name = info.label;
        d.direction = info.direction;
        d.dataType = info.dataType;
        if (info.defaultText != nullptr) d.defaultValue = info.defaultText;
        if (info.rangeText != nullptr) d.datatypeExtra = info.rangeText;
        if (void *variable = variableOf(index)) d.variable = variable;
        return true;
    }

    // Only the key of a note-on matters here; velocity arrives on its own pin.
    void onMidiData(uint32_t, int32_t message, int16_t) override {
        const auto word = static_cast<uint32_t>(message);
        const uint32_t status = word & 0xFFu;
        if ((status & 0xF0u) != 0x90u) return; // system messages and other channel messages
        const uint32_t key = (word >> 8) & 0xFFu;
        keyLevelFactor_ = key < 128u ? keyTable_[key] : 1.0f;
    }

private:
    void *variableOf(int32_t index) {
        switch (index) {
        case kOnOff: return &onOff_;
        case kGateIn: return &gateIn_;
        case kRate1: return &rate1In_;
        case kRate2: return &rate2In_;
        case kRate3: return &rate3In_;
        case kRate4: return &rate4In_;
        case kEgRateScale: return &egRateScale_;
        case kLevel1: return &level1In_;
        case kLevel2: return &level2In_;
        case kLevel3: return &level3In_;
        case kLevel4: return &level4In_;
        case kOutputLevel: return &outputLevelIn_;
        case kBreakPoint: return &breakPoint_;
        case kKbdRateScale: return &kbdRateScale_;
        case kLeftCurve: return &leftCurve_;
        case kLeftDepth: return &leftDepthIn_;
        case kRightCurve: return &rightCurve_;
        case kRightDepth: return &rightDepthIn_;
        case kVelocityIn: return &velocityIn_;
        case kVelocitySensitivity: return &velocitySensitivity_;
        case kAmIn: return &amIn_;
        case kAmSensitivity: return &amSensitivity_;
        case kEgOut: return &egOut_;
        default: return nullptr;
        }
    }

    // A Stream control at the current clock; 0 when the host made no such pin.
    float control(int32_t index) {
        const qz::Pin *pin = getPin(index);
        return pin != nullptr ? finiteControl(pin->getValue()) : 0.0f;
    }

    // ---- derived values ----------------------------------------------------

    void readLevel(int k) { levelFactor_[k] = control(kLevel1 + k) / 9.9f; }

    // c = 2^(9.9 - v - 6.66666): 9.404 s at v = 0, 9.84 ms at v = 9.9.
    void readRate(int k) {
        const float r = 9.9f - control(kRate1 + k);
        rateFactor_[k] = saturate(std::pow(2.0, static_cast<double>(r) - 6.66666));
        countStage(k);
    }

    void countStage(int k) { stageSamples_[k] = stageSamples(rateMultiplier_ * sampleRate_ * rateFactor_[k]); }

    void readOutputLevel() { outputLevelFactor_ = control(kOutputLevel) / 9.9f; }

    // The targets sit above the base, so "Level 4" lifts the whole envelope.
    void updateStages() {
        base_ = levelFactor_[3];
        target1_ = levelFactor_[0] + base_;
        target2_ = levelFactor_[1] + base_;
        target3_ = levelFactor_[2] + base_;
        step1_ = stepOver(target1_ - base_, stageSamples_[0]);
        step2_ = stepOver(target2_ - target1_, stageSamples_[1]);
        step3_ = stepOver(target3_ - target2_, stageSamples_[2]);
        step4_ = stepOver(base_ - target3_, stageSamples_[3]);
    }

    // The level of key i for one side of the break point at position x.
    float keyLevel(float x, int16_t curve, float depth) const {
        double shaped = 0.0;
        switch (curve) {
        case kMinusLin:
        case kPlusLin: shaped = static_cast<double>(x); break;
        case kMinusExp:
        case kPlusExp: shaped = std::pow(2.0, static_cast<double>(x)) - 1.0; break;
        default: return 1.0f; // no such curve: the side stays unscaled
        }
        const float y = saturate(shaped * static_cast<double>(depthMultiplier_));
        const float f = saturate(static_cast<double>(1.0f + y * depth));
        if (curve == kPlusLin || curve == kPlusExp) return f;
        if (f == 0.0f) return kLargest;
        return saturate(static_cast<double>(1.0f / f));
    }

    // Position 0 at the break point, 1 at key 0, growing by 1/P per key on
    // the right. A break point at key 0 has no left side to measure by; its
    // right side then grows by one per key, as if the break point were key 1.
    void buildKeyTable() {
        depthMultiplier_ = static_cast<float>(kbdRateScale_ + 1);
        const int32_t p = breakPoint_;
        for (int32_t i = 0; i < 128; ++i) {
            float x;
            if (i < p) {
                x = 1.0f - static_cast<float>(i) / static_cast<float>(p);
                keyTable_[static_cast<std::size_t>(i)] = keyLevel(x, leftCurve_, leftDepth_);
            } else {
                x = p != 0 ? 1.0f - static_cast<float>(2 * p - i) / static_cast<float>(p) : static_cast<float>(i);
                keyTable_[static_cast<std::size_t>(i)] = keyLevel(x, rightCurve_, rightDepth_);
            }
        }
    }

    // ---- gate ----------------------------------------------------------------

    void onGate(int32_t gate) {
        gate_ = gate;
        if (gate_ == previousGate_) return;
        if (onOff_ != 0 && outputLevelFactor_ > 0.0f && gate_ == 1 && target1_ > base_) {
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

    // ---- per-sample loop -------------------------------------------------------

    // One stage of a moving segment from `from` towards `to`; true when it ends.
    static bool moveTowards(float &value, uint32_t &counter, bool &entry, float from, float step, float to,
                            uint32_t samples) {
        if (entry) {
            counter = 0;
            value = from;
            entry = false;
        }
        value += step;
        ++counter;
        return counter >= samples || (step > 0.0f && value >= to) || (step < 0.0f && value <= to);
    }

    void process(int32_t offset, int32_t count) {
        if (offset < 0 || count <= 0) return;
        const int32_t room = getBlockSize() - offset;
        if (room <= 0) return;
        if (count > room) count = room;

        const bool on = onOff_ != 0;
        const float b = base_, t1 = target1_, t2 = target2_, t3 = target3_;
        const float d1 = step1_, d2 = step2_, d3 = step3_, d4 = step4_;
        const uint32_t n1 = stageSamples_[0], n2 = stageSamples_[1], n3 = stageSamples_[2],
                       n4 = stageSamples_[3];
        const float keyLevel = keyLevelFactor_, outputLevel = outputLevelFactor_;
        const float velocityDepth = velocityDepth_, velocityRest = 1.0f - velocityDepth_;
        const float amDepth = amDepth_;
        const float *velocity = velocityIn_ != nullptr ? velocityIn_ + offset : nullptr;
        const float *am = amIn_ != nullptr ? amIn_ + offset : nullptr;
        float *out = egOut_ != nullptr ? egOut_ + offset : nullptr;

        float value = value_;
        float early = earlyStep_;
        int32_t stage = stage_;
        bool entry = entry_;
        uint32_t counter = counter_;

        for (int32_t i = 0; i < count; ++i) {
            if (stage == kAttack) {
                if (entry) {
                    value = b;
                    entry = false;
                    counter = 0;
                }
                value += d1;
                ++counter;
                if (counter >= n1 || value >= t1) {
                    stage = kDecay1;
                    entry = true;
                }
            }
            if (stage == kDecay1 && moveTowards(value, counter, entry, t1, d2, t2, n2)) {
                value = t2;
                if (t2 > b) {
                    stage = kDecay2;
                    entry = true;
                } else {
                    value = b;
                    stage = kIdle;
                }
            }
            if (stage == kDecay2 && moveTowards(value, counter, entry, t2, d3, t3, n3)) {
                value = t3;
                if (t3 > b) {
                    stage = kSustain;
                    entry = true;
                } else {
                    value = b;
                    stage = kIdle;
                }
            }
            if (stage == kSustain) {
                if (entry) {
                    entry = false;
                    value = t3;
                }
                if (!(t3 > b)) {
                    stage = kIdle;
                    value = b;
                }
            }
            if (stage == kRelease) {
                value += d4;
                if (!(d4 < 0.0f) || value <= b) {
                    stage = kIdle;
                    value = 0.0f;
                }
            }
            if (stage == kEarlyRelease) {
                if (entry) {
                    entry = false;
                    early = stepOver(b - value, n4);
                }
                value += early;
                if (!(early < 0.0f) || value <= b) {
                    stage = kIdle;
                    value = 0.0f;
                }
            }
            if (stage == kIdle || !on) value = 0.0f;

            if (out != nullptr) {
                const float vel = velocity != nullptr ? velocity[i] : 0.0f;
                const float mod = am != nullptr ? am[i] : 0.0f;
                const float velocityFactor = vel * velocityDepth + velocityRest;
                out[i] = velocityFactor * keyLevel * value * outputLevel * (amDepth * mod + 1.0f);
            }
        }

        value_ = value;
        earlyStep_ = early;
        stage_ = stage;
        entry_ = entry;
        counter_ = counter;
        if (stage_ == kIdle || !on) setOutputState(QZ_STATUS_CHANGED);
    }

    // ---- state, in the order the envelope reads it ------------------------------

    float *egOut_ = nullptr;
    float *gateIn_ = nullptr;
    float outputLevelFactor_ = 0.0f;
    float *outputLevelIn_ = nullptr;
    float rateFactor_[4] = {};
    float *rate1In_ = nullptr, *rate2In_ = nullptr, *rate3In_ = nullptr, *rate4In_ = nullptr;
    float levelFactor_[4] = {};
    float *level1In_ = nullptr, *level2In_ = nullptr, *level3In_ = nullptr, *level4In_ = nullptr;
    float target1_ = 0.0f, target2_ = 0.0f, target3_ = 0.0f, base_ = 0.0f;
    float step1_ = 0.0f, step2_ = 0.0f, step3_ = 0.0f, step4_ = 0.0f;
    float earlyStep_ = 0.0f;
    float value_ = 0.0f;
    float keyLevelFactor_ = 1.0f; // no note-on yet: the keyboard leaves the level alone
    bool entry_ = false;          // set when a stage is entered from outside its own step
    int32_t stage_ = kIdle;
    int32_t gate_ = 0, previousGate_ = 0;
    float sampleRate_ = 44100.0f;
    uint32_t stageSamples_[4] = {};
    uint32_t counter_ = 0;
    int16_t breakPoint_ = 60, leftCurve_ = kMinusLin, rightCurve_ = kMinusLin;
    float depthMultiplier_ = 1.0f;
    float rateMultiplier_ = 1.0f;
    float *leftDepthIn_ = nullptr, *rightDepthIn_ = nullptr;
    float leftDepth_ = 0.0f, rightDepth_ = 0.0f; // depth control / 99
    float velocityDepth_ = 0.0f;
    float *velocityIn_ = nullptr;
    float *amIn_ = nullptr;
    float amDepth_ = 0.0f;
    int16_t velocitySensitivity_ = 0, amSensitivity_ = 0, onOff_ = 0, kbdRateScale_ = 0, egRateScale_ = 0;
    std::array<float, 128> keyTable_{};
};

} // namespace

QZ_DEFINE_MODULE(OpEgModule, kIdentity)
