// The pitch envelope generator through its built library: pin table, level
// factors and their dead zone, stage traces, gate rules, sleep, and hostile
// input. At a sample rate of 850 a rate of 9.9 gives stages of 8 samples, so
// the level steps of 0.125 move by exact powers of two per sample.
#include "test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using qz::test::Plugin;
using qz::test::TestHost;

const Plugin &plugin() {
    static const Plugin p("QZ_PitchEG");
    return p;
}

enum : int32_t {
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
    kPins
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Level factor: v / 9.9 - 0.5, with |factor| < 0.018 counting as 0.
float levelFactor(float v) {
    const float f = v / 9.9f - 0.5f;
    return (f > -0.018f && f < 0.018f) ? 0.0f : f;
}

// Stage length: multiplier x rate x 2^((9.9 - v) - 6.66666), truncated.
uint32_t stageCount(float v, float multiplier, float sampleRate) {
    const float r = 9.9f - v;
    const auto c = static_cast<float>(std::pow(2.0, static_cast<double>(r) - 6.66666));
    return static_cast<uint32_t>(multiplier * sampleRate * c);
}

// One instance with its controls set as a host sets them before open.
struct Eg {
    explicit Eg(std::array<float, 4> levels = {5, 5, 5, 5}, std::array<float, 4> rates = {9.9f, 9.9f, 9.9f, 9.9f},
                float sampleRate = 850.0f, int32_t blockSize = 64, int16_t rateScale = 0)
        : host(plugin(), sampleRate, blockSize) {
        for (int32_t k = 0; k < 4; ++k) {
            host.fill(kLevel1 + k, levels[static_cast<size_t>(k)]);
            host.fill(kRate1 + k, rates[static_cast<size_t>(k)]);
        }
        host.writeEnum(kRateScale, rateScale);
        float *in = host.buffer(kPitchIn);
        for (int32_t i = 0; i < blockSize; ++i) in[i] = 0.3f + 0.001f * static_cast<float>(i);
        host.open();
    }

    void gate(float v) { host.setStream(kGateIn, v); }

    // Runs `n` samples in slices of at most `slice`, keeping every output
    // sample and the "Pitch In" sample it was made from.
    void run(int32_t n, int32_t slice = 1 << 30) {
        while (n > 0) {
            const int32_t count = std::min({n, slice, host.blockSize - host.offset});
            const int32_t start = host.offset;
            host.run(count);
            for (int32_t i = start; i < start + count; ++i) {
                out.push_back(host.buffer(kPitchOut)[i]);
                in.push_back(host.buffer(kPitchIn)[i]);
            }
            n -= count;
        }
    }

    // Checks out[from + k] == in[from + k] + offset(k) exactly, k < n.
    void expectOffsets(size_t from, int32_t n, const std::function<float(int32_t)> &offset, const std::string &what) {
        ASSERT_GE(out.size(), from + static_cast<size_t>(n)) << what;
        for (int32_t k = 0; k < n; ++k) {
            const size_t i = from + static_cast<size_t>(k);
            const float expected = in[i] + offset(k);
            ASSERT_EQ(out[i], expected) << what << ": sample " << k << " expected offset " << offset(k);
        }
    }

    TestHost host;
    std::vector<float> out, in;
};

// ---- description ---------------------------------------------------------

TEST(PitchEgDescription, PinTableAndIdentity) {
    struct Row {
        const char *name;
        int32_t direction, dataType;
        const char *defaultValue, *extra;
    };
    const Row rows[kPins] = {
        {"Gate In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
        {"Pitch In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
        {"Rate 1", QZ_DIR_IN, QZ_DT_STREAM, "99", "99,0,99,0"},
        {"Rate 2", QZ_DIR_IN, QZ_DT_STREAM, "99", "99,0,99,0"},
        {"Rate 3", QZ_DIR_IN, QZ_DT_STREAM, "99", "99,0,99,0"},
        {"Rate 4", QZ_DIR_IN, QZ_DT_STREAM, "99", "99,0,99,0"},
        {"Level 1", QZ_DIR_IN, QZ_DT_STREAM, "50", "99,0,99,0"},
        {"Level 2", QZ_DIR_IN, QZ_DT_STREAM, "50", "99,0,99,0"},
        {"Level 3", QZ_DIR_IN, QZ_DT_STREAM, "50", "99,0,99,0"},
        {"Level 4", QZ_DIR_IN, QZ_DT_STREAM, "50", "99,0,99,0"},
        {"Rate Scale", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "0,1,2,3,4,5,6,7,8,9,10"},
        {"Pitch Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr},
    };
    TestHost host(plugin());
    ASSERT_EQ(host.pins.size(), static_cast<size_t>(kPins));
    const auto text = [](const char *s) { return std::string(s == nullptr ? "(none)" : s); };
    for (int32_t p = 0; p < kPins; ++p) {
        const QzPinDescription &d = host.pins[static_cast<size_t>(p)];
        const Row &r = rows[p];
        EXPECT_EQ(text(d.name), r.name) << "pin " << p;
        EXPECT_EQ(d.direction, r.direction) << r.name;
        EXPECT_EQ(d.dataType, r.dataType) << r.name;
        EXPECT_EQ(text(d.defaultValue), text(r.defaultValue)) << r.name;
        EXPECT_EQ(text(d.datatypeExtra), text(r.extra)) << r.name;
        EXPECT_EQ(d.flags, 0) << r.name;
        EXPECT_NE(d.variable, nullptr) << r.name;
    }
    QzPinDescription beyond{};
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, kPins, 0, &beyond), 0);

    const QzModuleProperties props = plugin().properties();
    EXPECT_STREQ(props.name, "QZ_PitchEG");
    EXPECT_STREQ(props.uniqueId, "QZ_PitchEG");
    EXPECT_EQ(std::string(props.about).rfind("This module developed by Orwin Malvane\n\n", 0), 0u);
    EXPECT_EQ(plugin().makeModule(0, QZ_PROFILE_PANEL, nullptr, nullptr), nullptr);
}

// ---- level factors -----------------------------------------------------------

struct LevelCase {
    const char *name;
    float level4;
    bool zero; // inside the dead zone
};

class PitchEgLevel : public testing::TestWithParam<LevelCase> {};

// "Level 4" alone moves the whole sweep: while the gate is high the offset
// is the base, and the release (D4 = 0) drops it back to 0 at once.
TEST_P(PitchEgLevel, BaseOffsetWhileGateHigh) {
    const LevelCase &c = GetParam();
    Eg eg({5, 5, 5, c.level4});
    const float factor = levelFactor(c.level4);
    EXPECT_EQ(factor == 0.0f, c.zero) << c.name << ": factor " << factor;
    eg.gate(0.0f);
    eg.gate(1.0f);
    eg.run(40);
    eg.expectOffsets(0, 40, [&](int32_t) { return factor; }, c.name);
    eg.gate(0.0f);
    eg.run(8);
    eg.expectOffsets(40, 8, [](int32_t) { return 0.0f; }, std::string(c.name) + " release");
}

INSTANTIATE_TEST_SUITE_P(Cases, PitchEgLevel,
                         testing::Values(LevelCase{"bottom", 0.0f, false}, LevelCase{"top", 9.9f, false},
                                         LevelCase{"middle", 5.0f, true}, LevelCase{"below_zone", 4.76f, false},
                                         LevelCase{"zone_low_edge", 4.775f, true},
                                         LevelCase{"zone_high_edge", 5.125f, true},
                                         LevelCase{"above_zone", 5.135f, false}, LevelCase{"just_low", 4.7f, false},
                                         LevelCase{"just_high", 5.2f, false},
                                         LevelCase{"beyond_range", 12.0f, false}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(PitchEgLevel, FiguresOfTheLevelScale) {
    EXPECT_EQ(levelFactor(0.0f), -0.5f);
    EXPECT_EQ(levelFactor(9.9f), 0.5f);
    EXPECT_NEAR(levelFactor(4.7f), -0.0253f, 5e-5f);
    EXPECT_NEAR(levelFactor(5.2f), 0.0253f, 5e-5f);
}

// ---- stage traces ----------------------------------------------------------

struct SweepCase {
    const char *name;
    std::array<float, 4> levels;
    int16_t rateScale;
    std::function<float(int32_t)> held;    // offset k samples after the rise
    std::function<float(int32_t)> release; // offset j samples after the fall
};

class PitchEgSweep : public testing::TestWithParam<SweepCase> {};

TEST_P(PitchEgSweep, TraceFromRiseToIdle) {
    const SweepCase &c = GetParam();
    ASSERT_EQ(stageCount(9.9f, 1.0f, 850.0f), 8u) << "fixture premise";
    ASSERT_EQ(stageCount(9.9f, 2.0f, 850.0f), 16u) << "fixture premise";
    Eg eg(c.levels, {9.9f, 9.9f, 9.9f, 9.9f}, 850.0f, 64, c.rateScale);
    eg.gate(0.0f);
    eg.run(5);
    eg.expectOffsets(0, 5, [](int32_t) { return 0.0f; }, std::string(c.name) + " before the gate");
    eg.gate(1.0f);
    eg.run(60, 7); // slices that cut across stage ends
    eg.expectOffsets(5, 60, c.held, std::string(c.name) + " gate high");
    eg.gate(0.0f);
    eg.run(20);
    eg.expectOffsets(65, 20, c.release, std::string(c.name) + " release");
}

constexpr float kStep = 1.0f / 64.0f;
INSTANTIATE_TEST_SUITE_P(
    Cases, PitchEgSweep,
    testing::Values(
        // T1 = 0.125: up in 8 steps, the sample on which stage 1 ends already
        // carries the first step of stage 2, down to T2 = 0 and held there.
        SweepCase{"level1_top",
                  {9.9f, 5, 5, 5},
                  0,
                  [](int32_t k) {
                      if (k < 7) return static_cast<float>(k + 1) * kStep;
                      if (k <= 14) return static_cast<float>(14 - k) * kStep;
                      return 0.0f;
                  },
                  [](int32_t) { return 0.0f; }},
        // Stage 2 falls to T2 = -0.125 and ends there from above; stage 3
        // climbs back to T3 = 0.
        SweepCase{"level2_below_level1",
                  {9.9f, 0, 5, 5},
                  0,
                  [](int32_t k) {
                      if (k < 7) return static_cast<float>(k + 1) * kStep;
                      if (k < 14) return 0.125f - static_cast<float>(k - 6) * 2.0f * kStep;
                      if (k < 21) return -0.125f + static_cast<float>(k - 13) * kStep;
                      return 0.0f;
                  },
                  [](int32_t) { return 0.0f; }},
        // Stage 2 rises from T1 = -0.125 to T2 = 0.125 and ends there from below;
        // stage 3 falls to T3 = 0.
        SweepCase{"level2_above_level1",
                  {0, 9.9f, 5, 5},
                  0,
                  [](int32_t k) {
                      if (k < 7) return -static_cast<float>(k + 1) * kStep;
                      if (k < 14) return -0.125f + static_cast<float>(k - 6) * 2.0f * kStep;
                      if (k < 21) return 0.125f - static_cast<float>(k - 13) * kStep;
                      return 0.0f;
                  },
                  [](int32_t) { return 0.0f; }},
        // Base five octaves down; the sweep climbs to -0.375, holds, and the
        // release returns to the base in 8 steps, then the offset is 0.
        SweepCase{"base_down_sustain_up",
                  {9.9f, 9.9f, 9.9f, 0},
                  0,
                  [](int32_t k) { return k < 7 ? -0.5f + static_cast<float>(k + 1) * kStep : -0.375f; },
                  [](int32_t j) { return j < 7 ? -0.375f - static_cast<float>(j + 1) * kStep : 0.0f; }},
        // Sustain below the base: the release rises to it.
        SweepCase{"sustain_below_base",
                  {5, 5, 0, 9.9f},
                  0,
                  [](int32_t k) {
                      if (k < 21) return k < 14 ? 0.5f : 0.5f - static_cast<float>(k - 13) * kStep;
                      return 0.375f;
                  },
                  [](int32_t j) { return j < 7 ? 0.375f + static_cast<float>(j + 1) * kStep : 0.0f; }},
        // "Rate Scale" 1 doubles every stage: 16 steps of 1/128.
        SweepCase{"rate_scale_doubles",
                  {9.9f, 5, 5, 5},
                  1,
                  [](int32_t k) {
                      if (k < 15) return static_cast<float>(k + 1) * kStep / 2.0f;
                      if (k <= 30) return static_cast<float>(30 - k) * kStep / 2.0f;
                      return 0.0f;
                  },
                  [](int32_t) { return 0.0f; }}),
    [](const auto &info) { return std::string(info.param.name); });

// Stage 1 with T1 = B runs by its counter alone; the first sample of stage 2
// (Level 2 at the top) is the first offset above 0, N1 - 1 samples after the rise.
TEST(PitchEgStageLength, CounterEndsAFlatStage) {
    struct Case {
        float rate;
        double seconds;
    };
    for (const Case c : {Case{9.9f, 0.00984}, Case{5.0f, 0.2939}, Case{0.0f, 9.404}}) {
        const uint32_t n = stageCount(c.rate, 1.0f, 44100.0f);
        EXPECT_NEAR(n / 44100.0, c.seconds, c.seconds * 1e-3) << "rate " << c.rate;
        Eg eg({5, 9.9f, 5, 5}, {c.rate, 9.9f, 9.9f, 9.9f}, 44100.0f, 1024);
        eg.gate(0.0f);
        eg.gate(1.0f);
        eg.run(static_cast<int32_t>(n) + 2);
        for (uint32_t k = 0; k + 1 < n; ++k)
            ASSERT_EQ(eg.out[k], eg.in[k]) << "rate " << c.rate << ": offset before stage 2 at " << k;
        EXPECT_GT(eg.out[n - 1], eg.in[n - 1]) << "rate " << c.rate << ": stage 2 begins on sample " << n - 1;
    }
    EXPECT_EQ(stageCount(9.9f, 1.0f, 44100.0f), 434u);
}

// ---- gate rules --------------------------------------------------------------

TEST(PitchEgGate, ThresholdAndEdges) {
    struct Case {
        const char *name;
        float value;
        bool starts;
    };
    for (const Case c : {Case{"negative", -1.0f, false}, Case{"zero", 0.0f, false}, Case{"tiny", 1e-30f, true},
                         Case{"one", 1.0f, true}, Case{"nan", kNaN, false}, Case{"infinite", kInf, true}}) {
        Eg eg({9.9f, 5, 5, 5});
        eg.gate(0.0f);
        eg.gate(c.value);
        eg.run(1);
        EXPECT_EQ(eg.out[0], eg.in[0] + (c.starts ? kStep : 0.0f)) << c.name;
    }
}

TEST(PitchEgGate, AlreadyHighAtOpenStartsNothing) {
    Eg eg({9.9f, 5, 5, 5});
    eg.host.fill(kGateIn, 1.0f); // as the host saw it at open
    eg.gate(1.0f);
    eg.run(20);
    eg.expectOffsets(0, 20, [](int32_t) { return 0.0f; }, "high at open");
    eg.gate(0.0f);
    eg.gate(1.0f);
    eg.run(1);
    eg.expectOffsets(20, 1, [](int32_t) { return kStep; }, "after falling and rising");
}

TEST(PitchEgGate, UnreportedGateSamplesHaveNoEffect) {
    Eg eg({9.9f, 5, 5, 5});
    eg.host.fill(kGateIn, 1.0f);
    eg.run(64);
    eg.expectOffsets(0, 64, [](int32_t) { return 0.0f; }, "gate never reported");
    eg.host.fill(kLevel1, 0.0f); // unreported level change: the sweep still goes up
    eg.gate(0.0f);
    eg.gate(1.0f);
    eg.run(1);
    eg.expectOffsets(64, 1, [](int32_t) { return kStep; }, "level read only on its report");
}

TEST(PitchEgGate, FallDuringStageOneReleasesEarly) {
    Eg eg({9.9f, 5, 5, 5});
    eg.gate(0.0f);
    eg.gate(1.0f);
    eg.run(4); // value 4/64
    eg.gate(0.0f);
    eg.run(12);
    // E = (0 - 4/64) / 8 = -1/128: back at the base after 8 samples.
    eg.expectOffsets(4, 12, [](int32_t j) { return j < 7 ? static_cast<float>(7 - j) / 128.0f : 0.0f; },
                     "early release");
}

TEST(PitchEgGate, RiseDuringReleaseRestartsAtBase) {
    for (const bool early : {false, true}) {
        Eg eg({9.9f, 9.9f, 9.9f, 0});
        eg.gate(0.0f);
        eg.gate(1.0f);
        eg.run(early ? 3 : 40);
        eg.gate(0.0f);
        eg.run(3);
        eg.gate(1.0f);
        eg.run(2);
        const size_t at = eg.out.size() - 2;
        eg.expectOffsets(at, 2, [](int32_t k) { return -0.5f + static_cast<float>(k + 1) * kStep; },
                         early ? "restart from early release" : "restart from release");
    }
}

// ---- output state and sleep ----------------------------------------------

TEST(PitchEgSleep, IdleSlicesReportChangedAndSleepAfterAFullBlock) {
    struct Case {
        const char *name;
        std::vector<int32_t> slices;
        int32_t sleeps;
    };
    const std::vector<Case> cases = {
        {"quarter_slices_never", {16, 16, 16, 16, 16, 16, 16, 16}, 0},
        {"first_full_block_selects_counting", {64}, 0},
        {"second_full_block", {64, 64}, 1},
        {"every_further_block", {64, 64, 64, 64}, 3},
        {"short_then_full", {16, 48, 64}, 1},
        {"empty_slices", {0, 0, 0}, 0},
    };
    for (const Case &c : cases) {
        Eg eg;
        eg.host.clearLogs();
        for (const int32_t s : c.slices) {
            if (s == 0) eg.host.run(0);
            else eg.run(s);
        }
        EXPECT_EQ(eg.host.sleepCount, c.sleeps) << c.name;
        int32_t changed = 0;
        for (const auto &s : eg.host.statusLog) {
            EXPECT_EQ(s.pin, kPitchOut) << c.name;
            EXPECT_EQ(s.status, QZ_STATUS_CHANGED) << c.name;
            ++changed;
        }
        EXPECT_EQ(changed, static_cast<int32_t>(c.slices.size())) << c.name << ": one report per slice";
    }
}

TEST(PitchEgSleep, StreamsWhileTheEnvelopeRuns) {
    Eg eg({9.9f, 9.9f, 9.9f, 0});
    ASSERT_FALSE(eg.host.statusLog.empty());
    EXPECT_EQ(eg.host.statusLog.front().pin, kPitchOut);
    EXPECT_EQ(eg.host.statusLog.front().status, QZ_STATUS_STREAMING) << "open reports Streaming";
    eg.run(128); // idle: counting
    eg.host.clearLogs();
    eg.gate(0.0f);
    eg.gate(1.0f);
    ASSERT_EQ(eg.host.statusLog.size(), 1u);
    EXPECT_EQ(eg.host.statusLog[0].status, QZ_STATUS_STREAMING) << "a rising gate";
    eg.run(64 * 4);
    EXPECT_EQ(eg.host.sleepCount, 0) << "sustain never sleeps";
    EXPECT_EQ(eg.host.statusLog.size(), 1u) << "no Changed while the envelope runs";
    eg.gate(0.0f);
    eg.run(16); // the release ends after 8 samples
    ASSERT_EQ(eg.host.statusLog.size(), 2u);
    EXPECT_EQ(eg.host.statusLog[1].status, QZ_STATUS_CHANGED) << "the slice in which the release ended";
}

// ---- hostile input --------------------------------------------------------

// A non-finite control reading is dropped: the sweep runs as with the
// settings before it.
TEST(PitchEgRobustness, NonFiniteControlsKeepTheLastReading) {
    struct Case {
        const char *name;
        int32_t pin;
        float value;
    };
    for (const Case c : {Case{"rate_nan", kRate1, kNaN}, Case{"rate_inf", kRate2, kInf},
                         Case{"rate_minus_inf", kRate3, -kInf}, Case{"level_nan", kLevel1, kNaN},
                         Case{"level_inf", kLevel2, kInf}, Case{"level_minus_inf", kLevel4, -kInf}}) {
        Eg eg({9.9f, 5, 5, 5});
        eg.host.setStream(c.pin, c.value);
        eg.gate(0.0f);
        eg.gate(1.0f);
        eg.run(30);
        eg.expectOffsets(0, 30,
                         [](int32_t k) {
                             if (k < 7) return static_cast<float>(k + 1) * kStep;
                             if (k <= 14) return static_cast<float>(14 - k) * kStep;
                             return 0.0f;
                         },
                         c.name);
    }
}

TEST(PitchEgRobustness, ExtremeSettingsStayFinite) {
    struct Case {
        const char *name;
        std::array<float, 4> levels, rates;
        float sampleRate;
        int16_t rateScale;
    };
    const std::vector<Case> cases = {
        {"rates_far_above_top", {9.9f, 0, 9.9f, 5}, {1e30f, 1e30f, 1e30f, 1e30f}, 850.0f, 0},
        {"rates_far_below_bottom", {9.9f, 0, 9.9f, 5}, {-1e30f, -40, -1e6f, -100}, 850.0f, 0},
        {"huge_levels", {3e38f, -3e38f, 3e38f, -3e38f}, {9.9f, 9.9f, 9.9f, 9.9f}, 850.0f, 0},
        {"negative_rate_scale", {9.9f, 0, 9.9f, 5}, {5, 5, 5, 5}, 850.0f, -32768},
        {"top_rate_scale", {9.9f, 0, 9.9f, 5}, {0, 0, 0, 0}, 850.0f, 32767},
        {"zero_sample_rate", {9.9f, 0, 9.9f, 5}, {5, 5, 5, 5}, 0.0f, 0},
        {"nan_sample_rate", {9.9f, 0, 9.9f, 5}, {5, 5, 5, 5}, kNaN, 0},
        {"negative_sample_rate", {9.9f, 0, 9.9f, 5}, {5, 5, 5, 5}, -44100.0f, 0},
    };
    for (const Case &c : cases) {
        Eg eg(c.levels, c.rates, c.sampleRate, 64, c.rateScale);
        for (int32_t round = 0; round < 3; ++round) {
            eg.gate(1.0f);
            eg.run(100, 13);
            eg.gate(0.0f);
            eg.run(100, 13);
        }
        for (size_t i = 0; i < eg.out.size(); ++i) ASSERT_TRUE(std::isfinite(eg.out[i])) << c.name << " sample " << i;
    }
}

// With every stage 0 samples long the first sample of the gate is already
// at the sustain level, and the release lands back at the base at once.
TEST(PitchEgRobustness, ZeroLengthStagesLandOnTheirTargets) {
    Eg eg({0, 0, 9.9f, 5}, {1e30f, 1e30f, 1e30f, 1e30f});
    eg.gate(0.0f);
    eg.gate(1.0f);
    eg.run(3);
    eg.gate(0.0f);
    eg.run(3);
    eg.expectOffsets(0, 6, [](int32_t k) { return k < 3 ? 0.125f : 0.0f; }, "stages of no samples");
}

// A release step too small to move the value (base far from 0, a 100 s
// stage) would never reach the base; the stage ends instead of hanging.
TEST(PitchEgRobustness, ReleaseTooSlowToMoveStillEnds) {
    Eg eg({9.9f, 9.9f, 9.9f, 9.9f}, {9.9f, 9.9f, 9.9f, 0}, 44100.0f, 1024, 10);
    const float d4 = -0.125f / static_cast<float>(stageCount(0.0f, 11.0f, 44100.0f));
    ASSERT_EQ(0.625f + d4, 0.625f) << "fixture premise: the step is below half a unit in the last place";
    eg.gate(0.0f);
    eg.gate(1.0f);
    eg.run(64);
    eg.gate(0.0f);
    eg.run(4);
    EXPECT_EQ(eg.out.back(), eg.in.back()) << "the release ended";
}

TEST(PitchEgRobustness, FewerPinsAndMissingBuffers) {
    for (const int32_t pins : {0, 1, 2, 10, 11}) {
        TestHost host(plugin(), 850.0f, 64, pins);
        host.open();
        if (pins > kGateIn) host.setStream(kGateIn, 1.0f);
        if (pins > kRateScale) host.setEnum(kRateScale, 3);
        host.run(0);
        host.runBlock();
        host.runBlock();
        for (const auto &s : host.statusLog) EXPECT_LT(s.pin, pins) << pins << " pins";
    }
    Eg eg({9.9f, 5, 5, 5});
    eg.host.useBuffer(kPitchIn, nullptr);
    eg.host.useBuffer(kGateIn, nullptr);
    eg.gate(1.0f); // no buffer: no reading, the gate stays low
    eg.host.runBlock();
    EXPECT_EQ(eg.host.buffer(kPitchOut)[0], 0.0f) << "missing Pitch In reads as 0";
    eg.host.useBuffer(kPitchOut, nullptr);
    eg.host.runBlock();
}

} // namespace
