// QZ_OSC4_v1: four operators of five wave shapes in one of 8 algorithms, with
// operator 4 feeding itself back.
#include "../osc_common/fm_core.h"
#include "about.h"
#include "module_base.h"
#include "plugin_entry.h"

#include <array>
#include <cstdint>

namespace {

using qz::fm::ops;
using Route4 = qz::fm::Route<4>;

// ---- pins --------------------------------------------------------------

enum Pins : int32_t {
    kAlgorithm,
    kWave1, kPitch1, kEg1,
    kWave2, kPitch2, kEg2,
    kWave3, kPitch3, kEg3,
    kWave4, kPitch4, kEg4,
    kFeedbackLevel,
    kOutputLevel,
    kAudioOut,
    kPinCount
};

constexpr size_t kOperators = 4;
constexpr int32_t kPinsPerOperator = 3; // wave, pitch, EG

struct PinSpec {
    const char *label;
    int32_t direction;
    int32_t dataType;
    const char *defaultText;
    const char *extraText;
};

#define QZ_OSC4_WAVES "Sine,Ramp,Saw,Triangle,Square"

constexpr std::array<PinSpec, kPinCount> kPins{{
    {"Algorithm", QZ_DIR_IN, QZ_DT_ENUMERATION, "1", "range 1,8"},
    {"Wave 1", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", QZ_OSC4_WAVES},
    {"Pitch 1 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"EG 1 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Wave 2", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", QZ_OSC4_WAVES},
    {"Pitch 2 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"EG 2 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Wave 3", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", QZ_OSC4_WAVES},
    {"Pitch 3 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"EG 3 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Wave 4", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", QZ_OSC4_WAVES},
    {"Pitch 4 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"EG 4 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Feedback Level", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "range 0,7"},
    {"Output Level", QZ_DIR_IN, QZ_DT_STREAM, "0", "99,0,99,0"},
    {"Audio Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr},
}};

#undef QZ_OSC4_WAVES

constexpr qz::ModuleIdentity kIdentity{"QZ_OSC4_v1", "QZ_OSC4_v1", QZ_DEVELOPER_ABOUT, false};

// ---- algorithms --------------------------------------------------------
// Per row: the modulators of operators 1 to 4 and the carriers; operator 4
// feeds itself back in every row, also when the number is out of range.

constexpr std::array<Route4, 8> kRoutes{{
    /* 1 */ {{ops(2), ops(3), ops(4), 0}, ops(1), 4, 4},
    /* 2 */ {{ops(2), ops(3, 4), 0, 0}, ops(1), 4, 4},
    /* 3 */ {{ops(2), ops(3), 0, 0}, ops(1, 4), 4, 4},
    /* 4 */ {{ops(2, 3), 0, ops(4), 0}, ops(1), 4, 4},
    /* 5 */ {{ops(2), 0, ops(4), 0}, ops(1, 3), 4, 4},
    /* 6 */ {{ops(4), ops(4), ops(4), 0}, ops(1, 2, 3), 4, 4},
    /* 7 */ {{0, 0, ops(4), 0}, ops(1, 2, 3), 4, 4},
    /* 8 */ {{0, 0, 0, 0}, ops(1, 2, 3, 4), 4, 4},
}};

constexpr Route4 kSilentRoute{{0, 0, 0, 0}, 0, 4, 4};

constexpr auto kRenderers = qz::fm::makeRenderers<kOperators, kRoutes.size(), kRoutes>();

using WaveTables = std::array<qz::fm::WaveTable, qz::fm::kWaveCount>;

const WaveTables &waveTables() {
    static const WaveTables tables = [] {
        WaveTables t{};
        qz::fm::buildWaveTables(t);
        return t;
    }();
    return tables;
}

// ---- the module ------------------------------------------------------------

class Osc4Module : public qz::ModuleBase {
public:
    using ModuleBase::ModuleBase;

    bool getPinProperties(int32_t index, QzPinDescription &d) override {
        if (index < 0 || index >= kPinCount) return false;
        const PinSpec &spec = kPins[static_cast<size_t>(index)];
        d.name = spec.label;
        d.direction = spec.direction;
        d.dataType = spec.dataType;
        d.variable = variableOf(index);
        if (spec.defaultText != nullptr) d.defaultValue = spec.defaultText;
        if (spec.extraText != nullptr) d.datatypeExtra = spec.extraText;
        return true;
    }

    void open() override {
        ModuleBase::open();
        setMainSubProcess(subProcessOf<&Osc4Module::process>(), kAudioOut);
        levels_.sampleRate = getSampleRate();
        tables_ = &waveTables();
        operators_.reset();
        applyAlgorithm();
        readFeedbackLevel();
        readOutputLevel();
        setOutputState(QZ_STATUS_STREAMING);
    }

    void onPinStatusChanged(qz::Pin &pin) override {
        switch (pin.getIndex()) {
        case kEg1: case kEg2: case kEg3: case kEg4:
            setOutputState(QZ_STATUS_STREAMING);
            break;
        case kFeedbackLevel:
            readFeedbackLevel();
            break;
        case kOutputLevel:
            readOutputLevel();
            if (levels_.outputFactor > 0.0f) setOutputState(QZ_STATUS_STREAMING);
            break;
        default:
            break; // algorithm, waves and pitches are taken as they come
        }
    }

private:
    void *variableOf(int32_t index) {
        if (index == kAlgorithm) return &algorithm_;
        if (index >= kWave1 && index <= kEg4) {
            const auto op = static_cast<size_t>((index - kWave1) / kPinsPerOperator);
            switch ((index - kWave1) % kPinsPerOperator) {
            case 0: return &wave_[op];
            case 1: return &pitchIn_[op];
            default: return &envelopeIn_[op];
            }
        }
        if (index == kFeedbackLevel) return &feedbackLevel_;
        if (index == kOutputLevel) return &outputLevelIn_;
        return &audioOut_;
    }

    void readFeedbackLevel() { levels_.feedbackFactor = static_cast<float>(feedbackLevel_) / 7.0f; }

    void readOutputLevel() {
        const qz::Pin *pin = getPin(kOutputLevel);
        levels_.outputFactor = (pin != nullptr ? qz::fm::finiteOrZero(pin->getValue()) : 0.0f) / 10.0f;
    }

    // Takes the routing of the current algorithm number and clears the
    // modulation sums it no longer assigns.
    void applyAlgorithm() {
        const int16_t a = algorithm_;
        const bool known = a >= 1 && a <= static_cast<int16_t>(kRoutes.size());
        const Route4 &route = known ? kRoutes[static_cast<size_t>(a - 1)] : kSilentRoute;
        render_ = known ? kRenderers[static_cast<size_t>(a - 1)] : &qz::fm::render<kOperators, kSilentRoute>;
        operators_.clearUnassigned(route);
        appliedAlgorithm_ = a;
    }

    void process(int32_t offset, int32_t count) {
        if (count <= 0 || offset < 0) return; // no last sample to judge silence by
        if (algorithm_ != appliedAlgorithm_) applyAlgorithm();
        const auto at = [offset](float *buffer) -> float * { return buffer != nullptr ? buffer + offset : nullptr; };
        qz::fm::Slice<kOperators> io;
        for (size_t i = 0; i < kOperators; ++i) {
            io.pitch[i] = at(pitchIn_[i]);
            io.envelope[i] = at(envelopeIn_[i]);
            // An unknown shape holds the operator's last output.
            const int16_t w = wave_[i];
            io.table[i] = w >= 0 && w < qz::fm::kWaveCount ? (*tables_)[static_cast<size_t>(w)].data() : nullptr;
        }
        io.out = at(audioOut_);
        io.count = count;
        const bool silent = render_(operators_, io, levels_);
        if (silent || !(levels_.outputFactor > 0.0f)) setOutputState(QZ_STATUS_CHANGED);
    }

    int16_t algorithm_ = 1;        // "Algorithm", written by the host
    int16_t appliedAlgorithm_ = 1; // the number the routing below was taken for
    int16_t feedbackLevel_ = 0;    // "Feedback Level" 0..7, written by the host
    std::array<int16_t, kOperators> wave_{};
    std::array<float *, kOperators> pitchIn_{};
    std::array<float *, kOperators> envelopeIn_{};
    float *outputLevelIn_ = nullptr;
    float *audioOut_ = nullptr;
    const WaveTables *tables_ = nullptr;
    qz::fm::RenderFn<kOperators> render_ = &qz::fm::render<kOperators, kSilentRoute>;
    qz::fm::Levels levels_;
    qz::fm::Operators<kOperators> operators_;
};

} // namespace

QZ_DEFINE_MODULE(Osc4Module, kIdentity)
