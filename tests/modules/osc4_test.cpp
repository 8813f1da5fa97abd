// QZ_OSC4_v1 through its built library: identity, pins, the five shapes,
// routing against the plain model, sleep and bad input.
#include "fm_reference.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using qz::test::Plugin;
using qz::test::TestHost;

constexpr int32_t kAlgorithm = 0, kFeedback = 13, kOutputLevel = 14, kAudioOut = 15;
constexpr int32_t wavePin(int op) { return 3 * op - 2; } // operator 1..4
constexpr int32_t pitchPin(int op) { return 3 * op - 1; }
constexpr int32_t egPin(int op) { return 3 * op; }
constexpr int16_t kSine = 0, kRamp = 1, kSaw = 2, kTriangle = 3, kSquare = 4;

const Plugin &plugin() {
    static Plugin p("QZ_OSC4_v1");
    return p;
}

TEST(Osc4, Identity) {
    const QzModuleProperties p = plugin().properties();
    EXPECT_STREQ(p.name, "QZ_OSC4_v1");
    EXPECT_STREQ(p.uniqueId, "QZ_OSC4_v1");
    EXPECT_STREQ(p.about, "This module developed by Orwin Malvane\n\norwin.malvane@qzfm.dev");
    EXPECT_EQ(plugin().makeModule(0, QZ_PROFILE_PANEL, nullptr, nullptr), nullptr);
}

TEST(Osc4, PinTable) {
    struct Expected {
        std::string name;
        int32_t direction, dataType;
        const char *defaultText, *extra;
    };
    const char *waves = "Sine,Ramp,Saw,Triangle,Square";
    std::vector<Expected> expected{{"Algorithm", QZ_DIR_IN, QZ_DT_ENUMERATION, "1", "range 1,8"}};
    for (int op = 1; op <= 4; ++op) {
        const std::string n = std::to_string(op);
        expected.push_back({"Wave " + n, QZ_DIR_IN, QZ_DT_ENUMERATION, "0", waves});
        expected.push_back({"Pitch " + n + " In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr});
        expected.push_back({"EG " + n + " In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr});
    }
    expected.push_back({"Feedback Level", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "range 0,7"});
    expected.push_back({"Output Level", QZ_DIR_IN, QZ_DT_STREAM, "0", "99,0,99,0"});
    expected.push_back({"Audio Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr});

    TestHost host(plugin());
    ASSERT_EQ(host.pins.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const QzPinDescription &d = host.pins[i];
        const Expected &e = expected[i];
        SCOPED_TRACE("pin " + std::to_string(i) + " " + e.name);
        EXPECT_STREQ(d.name, e.name.c_str());
        EXPECT_EQ(d.direction, e.direction);
        EXPECT_EQ(d.dataType, e.dataType);
        if (e.defaultText == nullptr) EXPECT_EQ(d.defaultValue, nullptr);
        else EXPECT_STREQ(d.defaultValue, e.defaultText);
        if (e.extra == nullptr) EXPECT_EQ(d.datatypeExtra, nullptr);
        else EXPECT_STREQ(d.datatypeExtra, e.extra);
        EXPECT_EQ(d.flags, 0);
        EXPECT_NE(d.variable, nullptr);
    }
    QzPinDescription none{};
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, 16, 0, &none), 0);
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, -1, 0, &none), 0);
}

TEST(Osc4, TableFigures) {
    const auto w = fmref::waveTables();
    struct Figure {
        const char *what;
        float actual, expected;
    };
    const Figure figures[] = {{"ramp start", w[kRamp][0], -0.1f},     {"ramp end", w[kRamp][719], 0.09966630f},
                              {"saw start", w[kSaw][0], 0.1f},        {"saw end", w[kSaw][719], -0.09966630f},
                              {"triangle 0", w[kTriangle][0], -0.1f}, {"triangle 359", w[kTriangle][359], 0.0974502f},
                              {"triangle peak", w[kTriangle][360], 0.0980003f},
                              {"triangle 361", w[kTriangle][361], 0.0974502f},
                              {"triangle end", w[kTriangle][719], -0.0994500f}};
    for (const Figure &f : figures) EXPECT_NEAR(f.actual, f.expected, 1e-7f) << f.what;
    EXPECT_EQ(*std::max_element(w[kTriangle].begin(), w[kTriangle].end()), w[kTriangle][360]);
}

// One carrier of each shape at 440 Hz against the table arithmetic done
// here: the square is +0.495 for the first half of each cycle, the ramp and
// the saw mirror each other.
TEST(Osc4, EachShapeAsACarrier) {
    const auto w = fmref::waveTables();
    const float hz = static_cast<float>(std::pow(2.0, 10.0 * 0.5 - 5.0) * 440.0);
    const float increment = 360.0f / (44100.0f / hz);
    std::vector<std::vector<float>> outputs;
    for (int16_t wave : {kSine, kRamp, kSaw, kTriangle, kSquare}) {
        SCOPED_TRACE("wave " + std::to_string(wave));
        TestHost host(plugin());
        host.writeEnum(kAlgorithm, 8);
        host.writeEnum(wavePin(1), wave);
        host.fill(pitchPin(1), 0.5f);
        host.fill(egPin(1), 1.0f);
        host.fill(kOutputLevel, 9.9f);
        host.open();
        host.runBlock();
        float phase = 0.0f;
        for (int n = 0; n < host.blockSize; ++n) {
            const float expected =
                5.0f * (w[static_cast<size_t>(wave)][static_cast<size_t>(2.0f * phase)] * 1.0f) * (9.9f / 10.0f);
            ASSERT_EQ(host.buffer(kAudioOut)[n], expected) << "sample " << n;
            if (wave == kSquare) {
                ASSERT_NEAR(host.buffer(kAudioOut)[n], phase < 180.0f ? 0.495f : -0.495f, 1e-6f) << n;
            }
            phase += increment;
            if (phase >= 360.0f) phase -= 360.0f;
        }
        outputs.emplace_back(host.buffer(kAudioOut), host.buffer(kAudioOut) + host.blockSize);
    }
    for (int n = 0; n < 1024; ++n) ASSERT_EQ(outputs[kRamp][static_cast<size_t>(n)], -outputs[kSaw][static_cast<size_t>(n)]) << n;
}

// ---- routing against the model ---------------------------------------------

struct Algorithm {
    int number;
    const char *modulation, *carriers;
    int16_t feedbackLevel;
};

const Algorithm kAlgorithms[] = {
    {1, "1<2;2<3;3<4", "1", 7},   {2, "1<2;2<3+4", "1", 1},   {3, "1<2;2<3", "1+4", 7},
    {4, "1<2+3;3<4", "1", 3},     {5, "1<2;3<4", "1+3", 0},   {6, "1<4;2<4;3<4", "1+2+3", 5},
    {7, "3<4", "1+2+3", 2},       {8, "", "1+2+3+4", 7},
};

float pitchAt(int op, int sample) { return 0.3f + 0.04f * static_cast<float>(op) + 0.0001f * static_cast<float>(sample % 13); }
float envAt(int op, int sample) { return 1.0f - 0.15f * static_cast<float>(op) + 0.0003f * static_cast<float>(sample % 7); }

class Osc4Routing : public ::testing::TestWithParam<Algorithm> {};

// Shapes differ per operator and change mid-run (the phase goes on), the
// self-feedback on operator 4 is at the case's level.
TEST_P(Osc4Routing, MatchesTheModelSampleForSample) {
    const Algorithm &a = GetParam();
    const auto w = fmref::waveTables();
    TestHost host(plugin(), 44100.0f, 512);
    host.writeEnum(kAlgorithm, static_cast<int16_t>(a.number));
    host.writeEnum(kFeedback, a.feedbackLevel);
    host.fill(kOutputLevel, 8.0f);
    int16_t waves[4] = {kTriangle, kSine, kSquare, kSaw};
    for (int op = 1; op <= 4; ++op) host.writeEnum(wavePin(op), waves[op - 1]);
    host.open();

    fmref::Model model(4, 44100.0f);
    model.row = fmref::parseRow(4, a.modulation, a.carriers, "4>4");
    model.feedbackFactor = static_cast<float>(a.feedbackLevel) / 7.0f;
    model.outputFactor = 8.0f / 10.0f;
    std::vector<float> pitches(4), envs(4);
    int sample = 0;
    for (int block = 0; block < 3; ++block) {
        if (block == 2) {
            waves[0] = kRamp;
            waves[3] = kSine;
            host.setEnum(wavePin(1), kRamp);
            host.writeEnum(wavePin(4), kSine); // taken without any event as well
        }
        for (size_t op = 0; op < 4; ++op) model.tables[op] = w[static_cast<size_t>(waves[op])].data();
        for (int op = 1; op <= 4; ++op)
            for (int n = 0; n < host.blockSize; ++n) {
                host.buffer(pitchPin(op))[n] = pitchAt(op, sample + n);
                host.buffer(egPin(op))[n] = envAt(op, sample + n);
            }
        host.newBlock();
        for (int32_t slice : {200, 0, 1, 311}) host.run(slice);
        for (int n = 0; n < host.blockSize; ++n, ++sample) {
            for (size_t op = 0; op < 4; ++op) {
                pitches[op] = pitchAt(static_cast<int>(op) + 1, sample);
                envs[op] = envAt(static_cast<int>(op) + 1, sample);
            }
            ASSERT_EQ(host.buffer(kAudioOut)[n], model.step(pitches, envs)) << "sample " << sample;
        }
    }
}

TEST_P(Osc4Routing, OnlyCarriersSound) {
    const Algorithm &a = GetParam();
    const std::vector<int> carriers = fmref::numbers(a.carriers);
    for (int op = 1; op <= 4; ++op) {
        TestHost host(plugin(), 44100.0f, 256);
        host.writeEnum(kAlgorithm, static_cast<int16_t>(a.number));
        for (int o = 1; o <= 4; ++o) host.fill(pitchPin(o), 0.5f);
        host.fill(egPin(op), 1.0f);
        host.fill(kOutputLevel, 9.9f);
        host.open();
        host.runBlock();
        float peak = 0.0f;
        for (int n = 0; n < host.blockSize; ++n) peak = std::max(peak, std::fabs(host.buffer(kAudioOut)[n]));
        const bool carrier = std::find(carriers.begin(), carriers.end(), op - 1) != carriers.end();
        EXPECT_EQ(peak > 0.0f, carrier) << "algorithm " << a.number << " operator " << op;
    }
}

INSTANTIATE_TEST_SUITE_P(All, Osc4Routing, ::testing::ValuesIn(kAlgorithms),
                         [](const auto &info) { return "Algorithm" + std::to_string(info.param.number); });

// A change of algorithm clears the sums the new row leaves unassigned
// (operator 4's is fed back and stays); an unknown number is silent.
TEST(Osc4RoutingChange, StaleModulationIsClearedAndUnknownIsSilent) {
    const auto w = fmref::waveTables();
    TestHost host(plugin(), 44100.0f, 256);
    host.writeEnum(kAlgorithm, 1);
    host.writeEnum(kFeedback, 4);
    host.fill(kOutputLevel, 9.9f);
    std::vector<float> pitches{0.42f, 0.44f, 0.46f, 0.48f}, envs(4, 1.0f);
    for (int op = 1; op <= 4; ++op) {
        host.fill(pitchPin(op), pitches[static_cast<size_t>(op - 1)]);
        host.fill(egPin(op), 1.0f);
    }
    host.open();
    fmref::Model model(4, 44100.0f);
    model.row = fmref::parseRow(4, "1<2;2<3;3<4", "1", "4>4");
    for (auto &t : model.tables) t = w[kSine].data();
    model.feedbackFactor = 4.0f / 7.0f;
    model.outputFactor = 9.9f / 10.0f;
    host.runBlock();
    for (int n = 0; n < host.blockSize; ++n) model.step(pitches, envs);

    host.setEnum(kAlgorithm, 8);
    model.row = fmref::parseRow(4, "", "1+2+3+4", "4>4");
    for (size_t op = 0; op < 3; ++op) model.mod[op] = 0.0f;
    host.runBlock();
    for (int n = 0; n < host.blockSize; ++n) ASSERT_EQ(host.buffer(kAudioOut)[n], model.step(pitches, envs)) << n;

    for (int16_t unknown : {0, 9, -3}) {
        host.setEnum(kAlgorithm, unknown);
        host.runBlock();
        for (int n = 0; n < host.blockSize; ++n) ASSERT_EQ(host.buffer(kAudioOut)[n], 0.0f) << unknown;
    }
}

// A shape number outside 0..4 holds the operator's last output while its
// phase goes on.
TEST(Osc4, UnknownWaveHoldsTheLastOutput) {
    const auto w = fmref::waveTables();
    for (int16_t wave : {5, -1, 300}) {
        TestHost host(plugin(), 44100.0f, 256);
        host.writeEnum(kAlgorithm, 8);
        host.fill(pitchPin(1), 0.5f);
        host.fill(egPin(1), 1.0f);
        host.fill(kOutputLevel, 9.9f);
        host.open();
        host.run(37);
        const float last = host.buffer(kAudioOut)[36];
        host.writeEnum(wavePin(1), wave);
        host.run(100);
        for (int n = 37; n < 137; ++n) ASSERT_EQ(host.buffer(kAudioOut)[n], last) << "wave " << wave;
        host.writeEnum(wavePin(1), kSine);
        host.run(1);
        // 137 samples of phase have passed.
        fmref::Model model(4, 44100.0f);
        model.row = fmref::parseRow(4, "", "1+2+3+4", "4>4");
        for (auto &t : model.tables) t = w[kSine].data();
        model.outputFactor = 9.9f / 10.0f;
        std::vector<float> pitches{0.5f, 0, 0, 0}, envs{1.0f, 0, 0, 0};
        float expected = 0.0f;
        for (int n = 0; n < 138; ++n) expected = model.step(pitches, envs);
        EXPECT_EQ(host.buffer(kAudioOut)[137], expected) << "wave " << wave;
    }
}

// ---- sleep, bad input ------------------------------------------------------

TEST(Osc4Sleep, GoesQuietSleepsAndWakes) {
    TestHost host(plugin());
    host.writeEnum(kAlgorithm, 8);
    host.fill(pitchPin(4), 0.5f);
    host.fill(kOutputLevel, 9.9f);
    host.open();
    host.clearLogs();
    host.runBlock();
    host.runBlock();
    ASSERT_EQ(host.statusLog.size(), 2u);
    EXPECT_EQ(host.statusLog[0].status, QZ_STATUS_CHANGED);
    EXPECT_EQ(host.sleepCount, 1);

    host.clearLogs();
    for (int32_t quiet : {pitchPin(4), wavePin(4), kAlgorithm, kFeedback}) host.sendStatus(quiet, QZ_STATUS_CHANGED);
    host.run(0);
    EXPECT_TRUE(host.statusLog.empty()) << "neither a pitch, a shape nor a zero slice wakes it";
    host.fill(egPin(4), 1.0f);
    host.sendStatus(egPin(4), QZ_STATUS_STREAMING);
    ASSERT_EQ(host.statusLog.size(), 1u);
    EXPECT_EQ(host.statusLog[0].status, QZ_STATUS_STREAMING);
    host.runBlock();
    EXPECT_EQ(host.statusLog.size(), 1u);
    host.clearLogs();
    host.setStream(kOutputLevel, 0.0f);
    host.runBlock();
    host.runBlock();
    EXPECT_EQ(host.sleepCount, 1) << "output level 0 sleeps while the envelope is up";
}

TEST(Osc4BadInput, NonFiniteAndHugeInputsRecover) {
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), 1e30f, -1e30f, 3.0f};
    for (float value : bad) {
        for (bool onEnvelopes : {false, true}) {
            SCOPED_TRACE(std::to_string(value) + (onEnvelopes ? " on envelopes" : " on pitches"));
            TestHost host(plugin(), 44100.0f, 256);
            host.writeEnum(kAlgorithm, 1);
            host.writeEnum(kFeedback, 7);
            host.fill(kOutputLevel, 9.9f);
            for (int op = 1; op <= 4; ++op) host.writeEnum(wavePin(op), static_cast<int16_t>(op));
            auto sound = [&] {
                for (int op = 1; op <= 4; ++op) {
                    host.fill(pitchPin(op), 0.4f + 0.02f * static_cast<float>(op));
                    host.fill(egPin(op), 1.0f);
                }
            };
            sound();
            host.open();
            host.runBlock();
            for (int op = 1; op <= 4; ++op) host.fill(onEnvelopes ? egPin(op) : pitchPin(op), value);
            host.runBlock();
            sound();
            host.runBlock();
            host.runBlock();
            float peak = 0.0f;
            for (int n = 0; n < host.blockSize; ++n) {
                ASSERT_TRUE(std::isfinite(host.buffer(kAudioOut)[n])) << n;
                peak = std::max(peak, std::fabs(host.buffer(kAudioOut)[n]));
            }
            EXPECT_GT(peak, 0.1f);
        }
    }
}

TEST(Osc4BadInput, PinCountsOtherThanTheTable) {
    for (int32_t count : {0, 2, 4, 13, 15, 16, 19}) {
        SCOPED_TRACE("pins " + std::to_string(count));
        TestHost host(plugin(), 44100.0f, 128, count);
        if (count > egPin(1)) {
            host.fill(pitchPin(1), 0.5f);
            host.fill(egPin(1), 1.0f);
        }
        host.open();
        for (int32_t slice : {128, 0, 1, 127}) host.run(slice);
        for (int32_t pin = -1; pin < 21; ++pin) host.sendStatus(pin, QZ_STATUS_CHANGED);
        host.runBlock();
        for (const auto &s : host.statusLog) EXPECT_EQ(s.pin, kAudioOut);
        EXPECT_EQ(host.statusLog.empty(), count <= kAudioOut);
    }
}

} // namespace
