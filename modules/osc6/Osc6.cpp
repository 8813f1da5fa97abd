// QZ_OSC6_v1: six sine operators in one of 32 algorithms, with one fed-back
// operator per algorithm and an output level.
#include "../osc_common/fm_core.h"
#include "about.h"
#include "module_base.h"
#include "plugin_entry.h"

#include <array>
#include <cstdint>

namespace {

using qz::fm::ops;
using Route6 = qz::fm::Route<6>;

// ---- pins --------------------------------------------------------------

enum Pins : int32_t {
    kAlgorithm,
    kPitch1, kEg1, kPitch2, kEg2, kPitch3, kEg3, kPitch4, kEg4, kPitch5, kEg5, kPitch6, kEg6,
    kFeedbackLevel,
    kOutputLevel,
    kAudioOut,
    kPinCount
};

constexpr size_t kOperators = 6;

struct PinSpec {
    const char *label;
    int32_t direction;
    int32_t dataType;
    const char *defaultText;
    const char *rangeText;
};

constexpr std::array<PinSpec, kPinCount> kPins{{
    {"Algorithm", QZ_DIR_IN, QZ_DT_ENUMERATION, "1", "range 1,32"},
    {"Pitch 1 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"EG 1 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Pitch 2 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"EG 2 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Pitch 3 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"EG 3 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Pitch 4 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"EG 4 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Pitch 5 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"EG 5 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Pitch 6 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"EG 6 In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
    {"Feedback Level", QZ_DIR_IN, QZ_DT_STREAM, "0", "7,0,7,0"},
    {"Output Level", QZ_DIR_IN, QZ_DT_STREAM, "0", "99,0,99,0"},
    {"Audio Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr},
}};

constexpr qz::ModuleIdentity kIdentity{"QZ_OSC6_v1", "QZ_OSC6_v1", QZ_DEVELOPER_ABOUT, false};

// ---- algorithms --------------------------------------------------------
// Per row: the modulators of operators 1 to 6, the carriers, then the fed-back
// operator and the operator whose modulation it becomes.

constexpr std::array<Route6, 32> kRoutes{{
    /*  1 */ {{ops(2), 0, ops(4), ops(5), ops(6), 0}, ops(1, 3), 6, 6},
    /*  2 */ {{ops(2), 0, ops(4), ops(5), ops(6), 0}, ops(1, 3), 2, 2},
    /*  3 */ {{ops(2), ops(3), 0, ops(5), ops(6), 0}, ops(1, 4), 6, 6},
    /*  4 */ {{ops(2), ops(3), 0, ops(5), ops(6), 0}, ops(1, 4), 4, 6},
    /*  5 */ {{ops(2), 0, ops(4), 0, ops(6), 0}, ops(1, 3, 5), 6, 6},
    /*  6 */ {{ops(2), 0, ops(4), 0, ops(6), 0}, ops(1, 3, 5), 5, 6},
    /*  7 */ {{ops(2), 0, ops(4, 5), 0, ops(6), 0}, ops(1, 3), 6, 6},
    /*  8 */ {{ops(2), 0, ops(4, 5), 0, ops(6), 0}, ops(1, 3), 4, 4},
    /*  9 */ {{ops(2), 0, ops(4, 5), 0, ops(6), 0}, ops(1, 3), 2, 2},
    /* 10 */ {{ops(2), ops(3), 0, ops(5, 6), 0, 0}, ops(1, 4), 3, 3},
    /* 11 */ {{ops(2), ops(3), 0, ops(5, 6), 0, 0}, ops(1, 4), 6, 6},
    /* 12 */ {{ops(2), 0, ops(4, 5, 6), 0, 0, 0}, ops(1, 3), 2, 2},
    /* 13 */ {{ops(2), 0, ops(4, 5, 6), 0, 0, 0}, ops(1, 3), 6, 6},
    /* 14 */ {{ops(2), 0, ops(4), ops(5, 6), 0, 0}, ops(1, 3), 6, 6},
    /* 15 */ {{ops(2), 0, ops(4), ops(5, 6), 0, 0}, ops(1, 3), 2, 2},
    /* 16 */ {{ops(2, 3, 5), 0, ops(4), 0, ops(6), 0}, ops(1), 6, 6},
    /* 17 */ {{ops(2, 3, 5), 0, ops(4), 0, ops(6), 0}, ops(1), 2, 2},
    /* 18 */ {{ops(2, 3, 4), 0, 0, ops(5), ops(6), 0}, ops(1), 3, 3},
    /* 19 */ {{ops(2), 0, 0, ops(6), ops(6), 0}, ops(1, 4, 5), 6, 6}, // operator 3 sounds nowhere
    /* 20 */ {{ops(3), ops(3), 0, ops(5, 6), 0, 0}, ops(1, 2, 4), 3, 3},
    /* 21 */ {{ops(3), ops(3), 0, ops(6), ops(6), 0}, ops(1, 2, 4, 5), 3, 3},
    /* 22 */ {{ops(2), 0, ops(6), ops(6), ops(6), 0}, ops(1, 3, 4, 5), 6, 6},
    /* 23 */ {{0, ops(3), 0, ops(6), ops(6), 0}, ops(1, 2, 4, 5), 6, 6},
    /* 24 */ {{0, 0, ops(6), ops(6), ops(6), 0}, ops(1, 2, 3, 4, 5), 6, 6},
    /* 25 */ {{0, 0, 0, ops(6), ops(6), 0}, ops(1, 2, 3, 4, 5), 6, 6},
    /* 26 */ {{0, ops(3), 0, ops(5, 6), 0, 0}, ops(1, 2, 4), 6, 6},
    /* 27 */ {{0, ops(3), 0, ops(5, 6), 0, 0}, ops(1, 2, 4), 3, 3},
    /* 28 */ {{ops(2), 0, ops(4), ops(5), 0, 0}, ops(1, 3, 6), 5, 5},
    /* 29 */ {{0, 0, ops(4), 0, ops(6), 0}, ops(1, 2, 3, 5), 6, 6},
    /* 30 */ {{0, 0, ops(4), ops(5), 0, 0}, ops(1, 2, 3, 6), 5, 5},
    /* 31 */ {{0, 0, 0, 0, ops(6), 0}, ops(1, 2, 3, 4, 5), 6, 6},
    /* 32 */ {{0, 0, 0, 0, 0, 0}, ops(1, 2, 3, 4, 5, 6), 6, 6},
}};

// An algorithm number outside 1..32 routes nothing and feeds nothing back.
constexpr Route6 kSilentRoute{};

constexpr auto kRenderers = qz::fm::makeRenderers<kOperators, kRoutes.size(), kRoutes>();

const qz::fm::WaveTable &sineTable() {
    static const qz::fm::WaveTable table = [] {
        qz::fm::WaveTable t{};
        qz::fm::buildSineTable(t);
        return t;
    }();
    return table;
}

// ---- the module ------------------------------------------------------------

class Osc6Module : public qz::ModuleBase {
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
        if (spec.rangeText != nullptr) d.datatypeExtra = spec.rangeText;
        return true;
    }

    void open() override {
        ModuleBase::open();
        setMainSubProcess(subProcessOf<&Osc6Module::process>(), kAudioOut);
        levels_.sampleRate = getSampleRate();
        table_ = &sineTable();
        operators_.reset();
        applyAlgorithm();
        readFeedbackLevel();
        readOutputLevel();
        setOutputState(QZ_STATUS_STREAMING);
    }

    void onPinStatusChanged(qz::Pin &pin) override {
        const int32_t index = pin.getIndex();
        switch (index) {
        case kAlgorithm:
            applyAlgorithm();
            break;
        case kEg1: case kEg2: case kEg3: case kEg4: case kEg5: case kEg6:
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
            break; // pitches are read sample by sample
        }
    }

private:
    void *variableOf(int32_t index) {
        if (index == kAlgorithm) return &algorithm_;
        if (index >= kPitch1 && index <= kEg6) return &inputs_[static_cast<size_t>(index - kPitch1)];
        if (index == kFeedbackLevel) return &feedbackLevelIn_;
        if (index == kOutputLevel) return &outputLevelIn_;
        return &audioOut_;
    }

    float controlValue(int32_t index) {
        const qz::Pin *pin = getPin(index);
        return pin != nullptr ? qz::fm::finiteOrZero(pin->getValue()) : 0.0f;
    }

    void readFeedbackLevel() { levels_.feedbackFactor = controlValue(kFeedbackLevel) / 0.8f; }
    void readOutputLevel() { levels_.outputFactor = controlValue(kOutputLevel) / 10.0f; }

    // Takes the routing and feedback route of the current algorithm number
    // and clears the modulation sums it no longer assigns.
    void applyAlgorithm() {
        const int16_t a = algorithm_;
        const bool known = a >= 1 && a <= static_cast<int16_t>(kRoutes.size());
        const Route6 &route = known ? kRoutes[static_cast<size_t>(a - 1)] : kSilentRoute;
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
            io.pitch[i] = at(inputs_[2 * i]);
            io.envelope[i] = at(inputs_[2 * i + 1]);
            io.table[i] = table_->data();
        }
        io.out = at(audioOut_);
        io.count = count;
        const bool silent = render_(operators_, io, levels_);
        if (silent || !(levels_.outputFactor > 0.0f)) setOutputState(QZ_STATUS_CHANGED);
    }

    int16_t algorithm_ = 1;         // "Algorithm", written by the host
    int16_t appliedAlgorithm_ = 1;  // the number the routing below was taken for
    std::array<float *, 12> inputs_{}; // pitch 1, EG 1, ..., pitch 6, EG 6 buffers
    float *feedbackLevelIn_ = nullptr;
    float *outputLevelIn_ = nullptr;
    float *audioOut_ = nullptr;
    const qz::fm::WaveTable *table_ = nullptr;
    qz::fm::RenderFn<kOperators> render_ = &qz::fm::render<kOperators, kSilentRoute>;
    qz::fm::Levels levels_;
    qz::fm::Operators<kOperators> operators_;
};

} // namespace

QZ_DEFINE_MODULE(Osc6Module, kIdentity)
