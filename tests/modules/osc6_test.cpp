// QZ_OSC6_v1 through its built library: identity, pins, the sine, levels,
// going quiet and waking, and bad input.
#include "fm_reference.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using qz::test::Plugin;
using qz::test::TestHost;

constexpr int32_t kAlgorithm = 0, kFeedback = 13, kOutputLevel = 14, kAudioOut = 15;
constexpr int32_t pitchPin(int op) { return 2 * op - 1; } // operator 1..6
constexpr int32_t egPin(int op) { return 2 * op; }

const Plugin &plugin() {
    static Plugin p("QZ_OSC6_v1");
    return p;
}

// Algorithm 32 with operator 1 alone: a plain carrier.
void singleCarrier(TestHost &host, float pitch, float outputLevel = 9.9f) {
    host.writeEnum(kAlgorithm, 32);
    host.fill(pitchPin(1), pitch);
    host.fill(egPin(1), 1.0f);
    host.fill(kOutputLevel, outputLevel);
}

TEST(Osc6, Identity) {
    const QzModuleProperties p = plugin().properties();
    EXPECT_STREQ(p.name, "QZ_OSC6_v1");
    EXPECT_STREQ(p.uniqueId, "QZ_OSC6_v1");
    EXPECT_STREQ(p.about, "This module developed by Orwin Malvane\n\norwin.malvane@qzfm.dev");
    EXPECT_EQ(plugin().makeModule(0, QZ_PROFILE_PANEL, nullptr, nullptr), nullptr);
}

TEST(Osc6, PinTable) {
    struct Expected {
        const char *name;
        int32_t direction, dataType;
        const char *defaultText, *extra;
    };
    std::vector<Expected> expected{{"Algorithm", QZ_DIR_IN, QZ_DT_ENUMERATION, "1", "range 1,32"}};
    static const char *const names[] = {"Pitch 1 In", "EG 1 In", "Pitch 2 In", "EG 2 In", "Pitch 3 In", "EG 3 In",
                                        "Pitch 4 In", "EG 4 In", "Pitch 5 In", "EG 5 In", "Pitch 6 In", "EG 6 In"};
    for (const char *n : names) expected.push_back({n, QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr});
    expected.push_back({"Feedback Level", QZ_DIR_IN, QZ_DT_STREAM, "0", "7,0,7,0"});
    expected.push_back({"Output Level", QZ_DIR_IN, QZ_DT_STREAM, "0", "99,0,99,0"});
    expected.push_back({"Audio Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr});

    TestHost host(plugin());
    ASSERT_EQ(host.pins.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const QzPinDescription &d = host.pins[i];
        const Expected &e = expected[i];
        SCOPED_TRACE("pin " + std::to_string(i) + " " + e.name);
        EXPECT_STREQ(d.name, e.name);
        EXPECT_EQ(d.direction, e.direction);
        EXPECT_EQ(d.dataType, e.dataType);
        if (e.defaultText == nullptr) EXPECT_EQ(d.defaultValue, nullptr);
        else EXPECT_STREQ(d.defaultValue, e.defaultText);
        if (e.extra == nullptr) EXPECT_EQ(d.datatypeExtra, nullptr);
        else EXPECT_STREQ(d.datatypeExtra, e.extra);
        EXPECT_EQ(d.flags, 0);
        EXPECT_NE(d.variable, nullptr);
    }
    for (int32_t index : {-1, 16, 1000}) {
        QzPinDescription none{};
        EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, index, 0, &none), 0) << index;
        EXPECT_EQ(none.name, nullptr);
    }
}

TEST(Osc6, TableFigures) {
    const std::vector<float> t = fmref::sineTable();
    EXPECT_EQ(t[0], 0.0f);
    EXPECT_EQ(t[180], 0.1f);
    EXPECT_EQ(t[540], -0.1f);
    EXPECT_NEAR(fmref::increment(0.5f, 44100.0f), 3.5918367f, 1e-6f);
}

// The 440 Hz sine of peak 5 x 0.1 x 0.99, sample for sample against the
// phase arithmetic done here.
TEST(Osc6, SineAt440HzMatchesTheTableArithmetic) {
    TestHost host(plugin());
    singleCarrier(host, 0.5f);
    host.open();
    const std::vector<float> table = fmref::sineTable();
    const float hz = static_cast<float>(std::pow(2.0, 10.0 * 0.5 - 5.0) * 440.0);
    const float increment = 360.0f / (44100.0f / hz);
    const float outputFactor = 9.9f / 10.0f;
    float phase = 0.0f;
    float peak = 0.0f;
    for (int block = 0; block < 3; ++block) {
        host.runBlock();
        const float *out = host.buffer(kAudioOut);
        for (int n = 0; n < host.blockSize; ++n) {
            const float expected = 5.0f * (table[static_cast<size_t>(2.0f * phase)] * 1.0f) * outputFactor;
            ASSERT_EQ(out[n], expected) << "block " << block << " sample " << n;
            peak = std::max(peak, std::fabs(out[n]));
            phase += increment;
            if (phase >= 360.0f) phase -= 360.0f;
        }
    }
    EXPECT_NEAR(peak, 0.495f, 1e-4f);
}

// Above the sample rate the increment is taken modulo 360, which samples the
// same phases; at exactly 0 the operator keeps the increment 0 open gave it.
TEST(Osc6, PitchesAtAndAboveTheSampleRate) {
    const std::vector<float> table = fmref::sineTable();
    for (float pitch : {0.0f, 0.9f, 1.1647f, 1.2f, 1.5f, 2.0f, 4.0f}) {
        SCOPED_TRACE("pitch " + std::to_string(pitch));
        TestHost host(plugin());
        singleCarrier(host, pitch);
        host.open();
        fmref::Model model(6, 44100.0f);
        model.row = fmref::parseRow(6, "", "1+2+3+4+5+6", "6>6");
        for (auto &t : model.tables) t = table.data();
        model.outputFactor = 9.9f / 10.0f;
        std::vector<float> pitches(6, 0.0f), envs(6, 0.0f);
        pitches[0] = pitch;
        envs[0] = 1.0f;
        host.runBlock();
        for (int n = 0; n < host.blockSize; ++n)
            ASSERT_EQ(host.buffer(kAudioOut)[n], model.step(pitches, envs)) << "sample " << n;
    }
}

TEST(Osc6, LevelsAreReadOnlyAtPinChanges) {
    // Feedback 0.4 gives the factor 0.5: with operator 1 feeding itself
    // (algorithm 32 feeds 6 back to 6, so use algorithm 2: 2 -> 2).
    TestHost host(plugin());
    host.writeEnum(kAlgorithm, 2);
    host.fill(pitchPin(1), 0.5f);
    host.fill(pitchPin(2), 0.45f);
    host.fill(egPin(1), 1.0f);
    host.fill(egPin(2), 1.0f);
    host.fill(kOutputLevel, 5.0f);
    host.open();
    host.setStream(kFeedback, 0.4f);
    host.fill(kOutputLevel, 9.0f); // not reported: no effect

    const std::vector<float> table = fmref::sineTable();
    fmref::Model model(6, 44100.0f);
    model.row = fmref::parseRow(6, "1<2;3<4;4<5;5<6", "1+3", "2>2");
    for (auto &t : model.tables) t = table.data();
    model.feedbackFactor = 0.4f / 0.8f;
    EXPECT_EQ(model.feedbackFactor, 0.5f);
    model.outputFactor = 5.0f / 10.0f;
    std::vector<float> pitches{0.5f, 0.45f, 0, 0, 0, 0}, envs{1, 1, 0, 0, 0, 0};
    for (int block = 0; block < 2; ++block) {
        host.runBlock();
        for (int n = 0; n < host.blockSize; ++n)
            ASSERT_EQ(host.buffer(kAudioOut)[n], model.step(pitches, envs)) << "block " << block << " sample " << n;
        host.fill(kFeedback, 7.0f); // not reported either
    }
}

// ---- going quiet, sleeping, waking --------------------------------------

struct StatusCount {
    int streaming = 0, changed = 0;
};
StatusCount outputReports(const TestHost &host) {
    StatusCount c;
    for (const auto &s : host.statusLog) {
        EXPECT_EQ(s.pin, kAudioOut);
        if (s.status == QZ_STATUS_STREAMING) ++c.streaming;
        if (s.status == QZ_STATUS_CHANGED) ++c.changed;
    }
    return c;
}

TEST(Osc6Sleep, SilentEnvelopesReportChangedThenSleepAfterOneBlock) {
    TestHost host(plugin());
    singleCarrier(host, 0.5f);
    host.fill(egPin(1), 0.0f);
    host.open();
    ASSERT_EQ(host.statusLog.size(), 1u);
    EXPECT_EQ(host.statusLog[0].status, QZ_STATUS_STREAMING);
    EXPECT_EQ(host.statusLog[0].clock, 1000u);
    host.clearLogs();

    host.runBlock(); // the loop finds it silent
    ASSERT_EQ(host.statusLog.size(), 1u);
    EXPECT_EQ(host.statusLog[0].status, QZ_STATUS_CHANGED);
    EXPECT_EQ(host.sleepCount, 0);
    host.runBlock(); // the counting variant: reload, then count the whole block
    EXPECT_EQ(outputReports(host).changed, 2);
    EXPECT_EQ(host.sleepCount, 1);

    // A pitch change does not wake it; an envelope change does.
    host.clearLogs();
    host.setStream(pitchPin(1), 0.6f);
    EXPECT_TRUE(host.statusLog.empty());
    host.fill(egPin(1), 1.0f);
    host.sendStatus(egPin(1), QZ_STATUS_STOPPED);
    ASSERT_EQ(host.statusLog.size(), 1u);
    EXPECT_EQ(host.statusLog[0].status, QZ_STATUS_STREAMING);
    host.runBlock();
    EXPECT_EQ(host.statusLog.size(), 1u) << "sounding: nothing more to report";
    EXPECT_EQ(host.sleepCount, 0);
}

TEST(Osc6Sleep, SlicesShorterThanTheBlockNeverSleep) {
    TestHost host(plugin());
    host.open(); // all envelopes 0
    host.clearLogs();
    for (int i = 0; i < 12; ++i) host.run(256);
    EXPECT_EQ(outputReports(host).changed, 12);
    EXPECT_EQ(host.sleepCount, 0);
}

TEST(Osc6Sleep, NegativeEnvelopeSoundsButCountsAsSilent) {
    TestHost host(plugin());
    singleCarrier(host, 0.5f);
    host.fill(egPin(1), -1.0f);
    host.open();
    host.clearLogs();
    host.runBlock();
    float peak = 0.0f;
    for (int n = 0; n < host.blockSize; ++n) peak = std::max(peak, std::fabs(host.buffer(kAudioOut)[n]));
    EXPECT_NEAR(peak, 0.495f, 1e-4f);
    EXPECT_EQ(outputReports(host).changed, 1);
}

TEST(Osc6Sleep, OutputLevelZeroSleepsAndRaisingItWakes) {
    TestHost host(plugin());
    singleCarrier(host, 0.5f, 0.0f);
    host.open();
    host.clearLogs();
    host.runBlock();
    host.runBlock();
    EXPECT_EQ(outputReports(host).changed, 2);
    EXPECT_EQ(host.sleepCount, 1);
    for (int n = 0; n < host.blockSize; ++n) ASSERT_EQ(host.buffer(kAudioOut)[n], 0.0f);

    host.clearLogs();
    host.setStream(kOutputLevel, 0.0f); // still 0: stays asleep
    EXPECT_TRUE(host.statusLog.empty());
    host.setStream(kOutputLevel, 9.9f);
    ASSERT_EQ(host.statusLog.size(), 1u);
    EXPECT_EQ(host.statusLog[0].status, QZ_STATUS_STREAMING);
    host.runBlock();
    EXPECT_EQ(host.sleepCount, 0);
    EXPECT_NE(host.buffer(kAudioOut)[100], 0.0f);
}

// A slice of no samples has no last sample: it changes nothing and reports
// nothing, in either sub-process.
TEST(Osc6Sleep, ZeroSampleSlicesChangeNothing) {
    TestHost a(plugin()), b(plugin());
    for (TestHost *h : {&a, &b}) {
        singleCarrier(*h, 0.43f);
        h->open();
        h->run(100);
        h->clearLogs();
    }
    a.run(0);
    EXPECT_TRUE(a.statusLog.empty());
    EXPECT_EQ(a.subProcessChanges, 0);
    a.run(300);
    b.run(300);
    for (int n = 100; n < 400; ++n) ASSERT_EQ(a.buffer(kAudioOut)[n], b.buffer(kAudioOut)[n]) << n;

    a.fill(egPin(1), 0.0f);
    a.run(10); // silent: Changed, countdown reloaded
    a.clearLogs();
    a.run(0);
    EXPECT_TRUE(a.statusLog.empty());
    EXPECT_EQ(a.sleepCount, 0);
}

// ---- bad input -------------------------------------------------------------

struct BadInput {
    std::string name;
    float value;
    bool onEnvelopes; // else on every pitch input
};

class Osc6BadInput : public ::testing::TestWithParam<BadInput> {};

// Every operator modulated or fed back (algorithm 1, feedback 7): a bad block
// must not read outside the table, and once the inputs are sound again the
// voice sounds again with finite samples.
TEST_P(Osc6BadInput, RecoversOnceInputsAreFinite) {
    const BadInput &c = GetParam();
    TestHost host(plugin());
    host.writeEnum(kAlgorithm, 1);
    for (int op = 1; op <= 6; ++op) {
        host.fill(pitchPin(op), 0.4f + 0.01f * static_cast<float>(op));
        host.fill(egPin(op), 1.0f);
    }
    host.fill(kFeedback, 7.0f);
    host.fill(kOutputLevel, 9.9f);
    host.open();
    host.runBlock();
    for (int op = 1; op <= 6; ++op) host.fill(c.onEnvelopes ? egPin(op) : pitchPin(op), c.value);
    host.runBlock();
    host.run(0);
    host.run(1);
    for (int op = 1; op <= 6; ++op) {
        host.fill(pitchPin(op), 0.4f + 0.01f * static_cast<float>(op));
        host.fill(egPin(op), 1.0f);
    }
    host.runBlock();
    host.runBlock();
    float peak = 0.0f;
    for (int n = 0; n < host.blockSize; ++n) {
        const float v = host.buffer(kAudioOut)[n];
        ASSERT_TRUE(std::isfinite(v)) << "sample " << n << " = " << v;
        peak = std::max(peak, std::fabs(v));
    }
    EXPECT_GT(peak, 0.1f) << "the voice sounds again";
}

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(Cases, Osc6BadInput,
                         ::testing::Values(BadInput{"NaNPitch", kNaN, false}, BadInput{"InfPitch", kInf, false},
                                           BadInput{"MinusInfPitch", -kInf, false},
                                           BadInput{"HugePitch", 1e30f, false},
                                           BadInput{"MaxPitch", FLT_MAX, false},
                                           BadInput{"HugeNegativePitch", -1e30f, false},
                                           BadInput{"DenormalPitch", 1e-40f, false},
                                           BadInput{"NaNEnvelope", kNaN, true}, BadInput{"InfEnvelope", kInf, true},
                                           BadInput{"HugeEnvelope", 1e30f, true}),
                         [](const auto &info) { return info.param.name; });

TEST(Osc6BadInput, NonFiniteLevelsCountAsZero) {
    TestHost host(plugin());
    singleCarrier(host, 0.5f, kNaN);
    host.fill(kFeedback, kInf);
    host.open();
    host.runBlock();
    for (int n = 0; n < host.blockSize; ++n) ASSERT_EQ(host.buffer(kAudioOut)[n], 0.0f) << n;
}

TEST(Osc6BadInput, OddSampleRates) {
    for (float rate : {0.0f, -44100.0f, kNaN, kInf, 1e-30f, 1.0f}) {
        SCOPED_TRACE("rate " + std::to_string(rate));
        TestHost host(plugin(), rate, 64);
        singleCarrier(host, 0.5f);
        host.open();
        host.runBlock();
        for (int n = 0; n < host.blockSize; ++n) ASSERT_TRUE(std::isfinite(host.buffer(kAudioOut)[n]));
    }
}

// A host may make fewer pins than described (or more): the missing inputs
// read as 0, a missing output is neither written nor reported.
TEST(Osc6BadInput, PinCountsOtherThanTheTable) {
    for (int32_t count : {0, 1, 3, 12, 14, 15, 16, 20}) {
        SCOPED_TRACE("pins " + std::to_string(count));
        TestHost host(plugin(), 44100.0f, 128, count);
        if (count > egPin(1)) {
            host.fill(pitchPin(1), 0.5f);
            host.fill(egPin(1), 1.0f);
        }
        host.open();
        for (int32_t slice : {128, 0, 1, 127}) host.run(slice);
        for (int32_t pin = -1; pin < 22; ++pin) host.sendStatus(pin, QZ_STATUS_CHANGED);
        host.runBlock();
        for (const auto &s : host.statusLog) EXPECT_EQ(s.pin, kAudioOut);
        EXPECT_EQ(host.statusLog.empty(), count <= kAudioOut);
    }
}

} // namespace
