// QZ_OpEG_v1 through its built library: identity, pins, stage lengths,
// keyboard level scaling, velocity and AM.
#include "op_eg_fixture.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace op_eg;

TEST(OpEg, Identity) {
    QzModuleProperties p{};
    p.flags = 5;
    ASSERT_EQ(plugin().getModuleProperties(0, &p), 1);
    EXPECT_STREQ(p.name, "QZ_OpEG_v1");
    EXPECT_STREQ(p.uniqueId, "QZ_OpEG_v1");
    EXPECT_EQ(std::string(p.about).rfind("This module developed by Orwin Malvane\n\n", 0), 0u) << p.about;
    EXPECT_GT(std::string(p.about).size(), std::string("This module developed by Orwin Malvane\n\n").size());
    EXPECT_EQ(p.flags, 5) << "not written";
    EXPECT_EQ(plugin().makeModule(0, QZ_PROFILE_PANEL, nullptr, nullptr), nullptr);
}

std::string keyNames() {
    const char *notes[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    std::string text;
    for (int k = 0; k < 128; ++k) {
        if (k > 0) text += ",";
        text += std::string(notes[k % 12]) + std::to_string(k / 12 - 1);
    }
    return text;
}

TEST(OpEg, PinTable) {
    struct Expected {
        const char *name;
        int32_t direction, dataType;
        const char *defaultText, *extra;
    };
    const std::string keys = keyNames();
    const char *range = "99,0,99,0", *curves = "-LIN,-EXP,+LIN,+EXP", *sens = "0,1,2,3,4,5,6,7";
    const Expected expected[kPinTotal] = {
        {"OFF/ON", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "Off,On"},
        {"MIDI In", QZ_DIR_IN, QZ_DT_MIDI, nullptr, nullptr},
        {"Gate In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
        {"Rate 1", QZ_DIR_IN, QZ_DT_STREAM, "0", range},
        {"Rate 2", QZ_DIR_IN, QZ_DT_STREAM, "0", range},
        {"Rate 3", QZ_DIR_IN, QZ_DT_STREAM, "0", range},
        {"Rate 4", QZ_DIR_IN, QZ_DT_STREAM, "0", range},
        {"EG Rate Scale", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "0,1,2,3,4,5,6,7,8,9,10"},
        {"Level 1", QZ_DIR_IN, QZ_DT_STREAM, "0", range},
        {"Level 2", QZ_DIR_IN, QZ_DT_STREAM, "0", range},
        {"Level 3", QZ_DIR_IN, QZ_DT_STREAM, "0", range},
        {"Level 4", QZ_DIR_IN, QZ_DT_STREAM, "0", range},
        {"Output Level", QZ_DIR_IN, QZ_DT_STREAM, "0", range},
        {"Break Point", QZ_DIR_IN, QZ_DT_ENUMERATION, "60", keys.c_str()},
        {"KBD Rate Scale", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", sens},
        {"Left Curve", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", curves},
        {"Left Depth", QZ_DIR_IN, QZ_DT_STREAM, "0", range},
        {"Right Curve", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", curves},
        {"Right Depth", QZ_DIR_IN, QZ_DT_STREAM, "0", range},
        {"Velocity In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
        {"Velocity Sensitivity", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", sens},
        {"AM In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
        {"AM Sensitivity", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", sens},
        {"EG Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr},
    };
    EXPECT_EQ(keys.substr(0, 12), "C-1,C#-1,D-1");
    EXPECT_EQ(keys.substr(keys.size() - 6), "F#9,G9");

    TestHost host(plugin());
    ASSERT_EQ(host.pins.size(), static_cast<size_t>(kPinTotal));
    for (int32_t i = 0; i < kPinTotal; ++i) {
        const QzPinDescription &d = host.pins[static_cast<size_t>(i)];
        const Expected &e = expected[i];
        SCOPED_TRACE(e.name);
        EXPECT_STREQ(d.name, e.name);
        EXPECT_EQ(d.direction, e.direction);
        EXPECT_EQ(d.dataType, e.dataType);
        EXPECT_EQ(d.flags, 0);
        EXPECT_EQ(d.defaultValue == nullptr, e.defaultText == nullptr);
        if (e.defaultText != nullptr && d.defaultValue != nullptr) {
            EXPECT_STREQ(d.defaultValue, e.defaultText);
        }
        EXPECT_EQ(d.datatypeExtra == nullptr, e.extra == nullptr);
        if (e.extra != nullptr && d.datatypeExtra != nullptr) {
            EXPECT_STREQ(d.datatypeExtra, e.extra);
        }
        EXPECT_EQ(d.variable == nullptr, i == kMidiIn) << "every pin but MIDI In has a module variable";
    }
    for (int32_t index : {-1, static_cast<int32_t>(kPinTotal), 1000}) {
        QzPinDescription none{};
        EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, index, 0, &none), 0) << index;
        EXPECT_EQ(none.name, nullptr);
    }
}

// ---- stage lengths ---------------------------------------------------------

struct CountCase {
    std::string name;
    float rate;
    int16_t rateScale;
    float sampleRate;
    double seconds; // the known length in seconds, 0 where none is checked
};
void PrintTo(const CountCase &c, std::ostream *os) { *os << c.name; }


class OpEgStageCount : public ::testing::TestWithParam<CountCase> {};

// With level 1 at the top and the base at 0, the first attack sample is
// 1 / N1 and the sample on which the attack ends is the first of stage 2,
// which here (level 2 = level 1) holds 1.0.
TEST_P(OpEgStageCount, AttackLastsItsCount) {
    const CountCase &c = GetParam();
    Eg eg(c.sampleRate, 1024);
    eg.openPlain();
    eg.host.setEnum(kEgRateScale, c.rateScale);
    eg.host.setStream(kRate1, c.rate);
    const uint32_t n = stageCount(c.rate, static_cast<float>(c.rateScale + 1), c.sampleRate);
    if (c.seconds > 0) {
        EXPECT_NEAR(n / static_cast<double>(c.sampleRate), c.seconds, c.seconds * 1e-3 + 1.0 / c.sampleRate);
    }
    eg.host.setStream(kGateIn, 1.0f);
    // Long ramps drift by float rounding and may meet the target before
    // the count runs out, so only short ones are followed to their end.
    const bool followToEnd = n < 1000;
    const std::vector<float> out = eg.render(followToEnd ? static_cast<int32_t>(n) + 2 : 1);
    EXPECT_EQ(out[0], 1.0f / static_cast<float>(n));
    if (followToEnd) {
        EXPECT_LT(out[n - 2], 1.0f);
        EXPECT_EQ(out[n - 1], 1.0f) << "the attack ends on sample " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rates, OpEgStageCount,
    ::testing::Values(CountCase{"Top", 9.9f, 0, 44100.0f, 0.00984}, CountCase{"Middle", 5.0f, 0, 44100.0f, 0.2939},
                      CountCase{"Bottom", 0.0f, 0, 44100.0f, 9.404}, CountCase{"BottomTimesEleven", 0.0f, 10, 44100.0f, 103.4},
                      CountCase{"TenthSlower", 9.8f, 0, 48000.0f, 0.00984 * std::pow(2.0, 0.1)},
                      CountCase{"ScaleThree", 7.3f, 2, 1000.0f, 0}),
    [](const auto &info) { return info.param.name; });

TEST(OpEg, TopRateIs434SamplesAt44100) { EXPECT_EQ(stageCount(9.9f, 1.0f, 44100.0f), 434u); }

TEST(OpEg, RateScaleStretchesEveryStage) {
    Eg eg(1000.0f, 256);
    eg.openPlain();
    eg.host.setStream(kLevel2, 0.0f); // stage 2 then ends the envelope
    eg.host.setEnum(kEgRateScale, 3);
    const uint32_t n1 = stageCount(9.9f, 4.0f, 1000.0f), n2 = n1;
    eg.host.setStream(kGateIn, 1.0f);
    const std::vector<float> out = eg.render(static_cast<int32_t>(n1 + n2) + 4);
    EXPECT_EQ(out[0], 1.0f / static_cast<float>(n1));
    // Stage 2 takes its first step on the last attack sample.
    EXPECT_GT(out[n1 + n2 - 3], 0.0f);
    EXPECT_EQ(out[n1 + n2 - 2], 0.0f) << "stage 2 of " << n2 << " samples ends the envelope";
}

// ---- keyboard level scaling ------------------------------------------------

// The table entry of key i, from the position, shape, multiplier and depth.
float expectedKeyLevel(int p, int16_t kbd, int16_t leftCurve, float leftV, int16_t rightCurve, float rightV, int i) {
    const float m = static_cast<float>(kbd + 1);
    const bool left = i < p;
    const int16_t curve = left ? leftCurve : rightCurve;
    const float depth = (left ? leftV : rightV) / 99.0f;
    const float x = left ? 1.0f - static_cast<float>(i) / static_cast<float>(p)
                         : 1.0f - static_cast<float>(2 * p - i) / static_cast<float>(p);
    const bool exp = curve == 1 || curve == 3;
    const double shaped = exp ? std::pow(2.0, static_cast<double>(x)) - 1.0 : static_cast<double>(x);
    const auto y = static_cast<float>(shaped * static_cast<double>(m));
    const float f = 1.0f + y * depth;
    return curve >= 2 ? f : 1.0f / f;
}

struct KeyCase {
    std::string name;
    int16_t breakPoint, kbd, leftCurve;
    float leftDepth;
    int16_t rightCurve;
    float rightDepth;
    int key;
    float figure; // a hand-worked factor where there is one, else 0
};
void PrintTo(const KeyCase &c, std::ostream *os) { *os << c.name; }


class OpEgKeyLevel : public ::testing::TestWithParam<KeyCase> {};

TEST_P(OpEgKeyLevel, NoteOnPicksTheTableEntry) {
    const KeyCase &c = GetParam();
    Eg eg;
    eg.openPlain();
    eg.host.setEnum(kBreakPoint, c.breakPoint);
    eg.host.setEnum(kKbdRateScale, c.kbd);
    eg.host.setEnum(kLeftCurve, c.leftCurve);
    eg.host.setStream(kLeftDepth, c.leftDepth);
    eg.host.setEnum(kRightCurve, c.rightCurve);
    eg.host.setStream(kRightDepth, c.rightDepth);
    eg.host.sendMidi(kMidiIn, midi(0x90, static_cast<uint32_t>(c.key), 100));
    const float expected =
        expectedKeyLevel(c.breakPoint, c.kbd, c.leftCurve, c.leftDepth, c.rightCurve, c.rightDepth, c.key);
    const float got = eg.sustained();
    EXPECT_EQ(got, expected);
    if (c.figure != 0.0f) {
        EXPECT_NEAR(got, c.figure, 1e-6f);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Curves, OpEgKeyLevel,
    ::testing::Values(KeyCase{"PlusLinKey0", 60, 7, 2, 9.9f, 0, 0.0f, 0, 1.8f},
                      KeyCase{"PlusLinKey30", 60, 7, 2, 9.9f, 0, 0.0f, 30, 1.4f},
                      KeyCase{"MinusLinKey0", 60, 7, 0, 9.9f, 0, 0.0f, 0, 1.0f / 1.8f},
                      KeyCase{"BreakPointItself", 60, 7, 2, 9.9f, 3, 9.9f, 60, 1.0f},
                      KeyCase{"RightOfBreakWithoutDepth", 60, 7, 2, 9.9f, 3, 0.0f, 100, 1.0f},
                      KeyCase{"PlusExpLeft", 48, 3, 3, 6.5f, 0, 0.0f, 11, 0},
                      KeyCase{"MinusExpLeft", 48, 0, 1, 9.9f, 0, 0.0f, 1, 0},
                      KeyCase{"MinusLinRight", 40, 5, 2, 0.0f, 0, 7.7f, 127, 0},
                      KeyCase{"PlusExpRightPastTwiceTheBreak", 40, 7, 0, 0.0f, 3, 9.9f, 90, 0},
                      KeyCase{"MinusExpRight", 72, 2, 0, 0.0f, 1, 4.4f, 100, 0},
                      KeyCase{"TopBreakPointAllLeft", 127, 7, 2, 9.9f, 2, 9.9f, 126, 0}),
    [](const auto &info) { return info.param.name; });

// A break point at key 1 puts key 127 126 positions out; the exponential
// curve overflows a float there and must not turn into NaN or infinity.
TEST(OpEg, ExtremeBreakPointsGiveFiniteLevels) {
    struct Case {
        const char *name;
        int16_t breakPoint, curve;
        float depth;
        int key;
        float expected; // NAN: only finite and positive
    };
    const Case cases[] = {
        {"Key1PlusExpNoDepth", 1, 3, 0.0f, 127, 1.0f},      {"Key1MinusExpNoDepth", 1, 1, 0.0f, 126, 1.0f},
        {"Key1PlusExpFullDepth", 1, 3, 9.9f, 127, NAN},     {"Key1MinusExpFullDepth", 1, 1, 9.9f, 127, NAN},
        {"Key0PlusLin", 0, 2, 9.9f, 127, NAN},              {"Key0MinusExp", 0, 1, 9.9f, 127, NAN},
        {"Key0AtBreak", 0, 3, 9.9f, 0, 1.0f},               {"Key0PlusExpNoDepth", 0, 3, 0.0f, 127, 1.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Eg eg;
        eg.openPlain();
        eg.host.setEnum(kKbdRateScale, 7);
        eg.host.setEnum(kBreakPoint, c.breakPoint);
        eg.host.setEnum(kRightCurve, c.curve);
        eg.host.setStream(kRightDepth, c.depth);
        eg.host.sendMidi(kMidiIn, midi(0x90, static_cast<uint32_t>(c.key), 1));
        const float got = eg.sustained();
        EXPECT_TRUE(std::isfinite(got)) << got;
        EXPECT_GE(got, 0.0f);
        if (!std::isnan(c.expected)) {
            EXPECT_EQ(got, c.expected);
        }
    }
    // Every key of a break point at 0 is right of it: the level grows with
    // the distance and stays finite.
    Eg eg;
    eg.openPlain();
    eg.host.setEnum(kKbdRateScale, 7);
    eg.host.setEnum(kBreakPoint, 0);
    eg.host.setEnum(kRightCurve, 2);
    eg.host.setStream(kRightDepth, 9.9f);
    float previous = 0.0f;
    for (uint32_t key : {0u, 1u, 12u, 64u, 127u}) {
        eg.host.sendMidi(kMidiIn, midi(0x90, key, 1));
        const float got = eg.sustained();
        EXPECT_TRUE(std::isfinite(got)) << key;
        EXPECT_GT(got, previous) << key;
        previous = got;
    }
}

TEST(OpEg, OnlyNoteOnsMoveTheKeyboardLevel) {
    struct Step {
        const char *name;
        int32_t message;
        float expected;
    };
    const float key0 = expectedKeyLevel(60, 7, 2, 9.9f, 0, 0.0f, 0);
    const float key30 = expectedKeyLevel(60, 7, 2, 9.9f, 0, 0.0f, 30);
    // Applied in order, each on top of the one before.
    const Step steps[] = {
        {"BeforeAnyNote", 0, 1.0f},
        {"NoteOnKey0", midi(0x90, 0, 100), key0},
        {"NoteOffKey30", midi(0x80, 30, 0), key0},
        {"ControlChange", midi(0xB0, 30, 1), key0},
        {"PitchBend", midi(0xE0, 30, 1), key0},
        {"SystemMessage", midi(0xF0, 30, 1), key0},
        {"SystemWithNoteOnBits", midi(0xF9, 30, 1), key0},
        {"NoteOnVelocityZeroOtherChannel", midi(0x9C, 30, 0), key30},
        {"KeyAbove127", midi(0x90, 200, 5), 1.0f},
        {"NoteOnKey60", midi(0x95, 60, 5), 1.0f},
    };
    Eg eg;
    eg.openPlain();
    eg.host.setEnum(kKbdRateScale, 7);
    eg.host.setEnum(kLeftCurve, 2);
    eg.host.setStream(kLeftDepth, 9.9f);
    for (const Step &s : steps) {
        if (s.message != 0) eg.host.sendMidi(kMidiIn, s.message);
        EXPECT_EQ(eg.sustained(), s.expected) << s.name;
    }
}

TEST(OpEg, NewTableWaitsForTheNextNoteOn) {
    Eg eg;
    eg.openPlain();
    eg.host.setEnum(kKbdRateScale, 7);
    eg.host.setEnum(kLeftCurve, 2);
    eg.host.setStream(kLeftDepth, 9.9f);
    eg.host.sendMidi(kMidiIn, midi(0x90, 0, 100));
    eg.host.setStream(kLeftDepth, 4.0f);
    EXPECT_EQ(eg.sustained(), expectedKeyLevel(60, 7, 2, 9.9f, 0, 0.0f, 0));
    eg.host.sendMidi(kMidiIn, midi(0x90, 0, 100));
    EXPECT_EQ(eg.sustained(), expectedKeyLevel(60, 7, 2, 4.0f, 0, 0.0f, 0));
    // Depth samples that change without a status report are not taken up,
    // not even when another keyboard pin rebuilds the table.
    eg.host.fill(kLeftDepth, 9.9f);
    eg.host.setEnum(kLeftCurve, 2);
    eg.host.sendMidi(kMidiIn, midi(0x90, 0, 100));
    EXPECT_EQ(eg.sustained(), expectedKeyLevel(60, 7, 2, 4.0f, 0, 0.0f, 0));
}

// ---- velocity, AM and output level -----------------------------------------------

struct FactorCase {
    std::string name;
    int16_t velocitySensitivity;
    float velocity;
    int16_t amSensitivity;
    float am;
    float outputLevel;
};
void PrintTo(const FactorCase &c, std::ostream *os) { *os << c.name; }


class OpEgFactors : public ::testing::TestWithParam<FactorCase> {};

TEST_P(OpEgFactors, MultiplyTheSustainedEnvelope) {
    const FactorCase &c = GetParam();
    Eg eg;
    eg.openPlain();
    eg.host.setEnum(kVelocitySensitivity, c.velocitySensitivity);
    eg.host.setEnum(kAmSensitivity, c.amSensitivity);
    eg.host.setStream(kOutputLevel, c.outputLevel);
    eg.host.fill(kVelocityIn, c.velocity);
    eg.host.fill(kAmIn, c.am);
    const float vd = static_cast<float>(c.velocitySensitivity) / 7.0f;
    const float ad = static_cast<float>(c.amSensitivity) / 7.0f;
    const float velocityFactor = c.velocity * vd + (1.0f - vd);
    const float expected = velocityFactor * 1.0f * 1.0f * (c.outputLevel / 9.9f) * (ad * c.am + 1.0f);
    EXPECT_EQ(eg.sustained(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpEgFactors,
    ::testing::Values(FactorCase{"Neutral", 0, 0.0f, 0, 0.0f, 9.9f},
                      FactorCase{"VelocityIgnoredAtZero", 0, 0.3f, 0, 0.0f, 9.9f},
                      FactorCase{"FullSensitivityNoVelocityIsSilent", 7, 0.0f, 0, 0.0f, 9.9f},
                      FactorCase{"FullSensitivityProportional", 7, 0.62f, 0, 0.0f, 9.9f},
                      FactorCase{"HalfSensitivity", 3, 0.25f, 0, 0.0f, 9.9f},
                      FactorCase{"AmDownSilences", 0, 0.0f, 7, -1.0f, 9.9f},
                      FactorCase{"AmUpDoubles", 0, 0.0f, 7, 1.0f, 9.9f},
                      FactorCase{"AmPartial", 0, 0.0f, 4, 0.5f, 9.9f},
                      FactorCase{"AllTogether", 5, 0.8f, 2, -0.4f, 6.1f}),
    [](const auto &info) { return info.param.name; });

TEST(OpEg, VelocityAndAmAreReadOnEverySample) {
    Eg eg;
    eg.openPlain();
    eg.host.setEnum(kVelocitySensitivity, 7);
    eg.host.setEnum(kAmSensitivity, 7);
    eg.host.setStream(kGateIn, 1.0f);
    eg.render(40); // into sustain, the block now at 40
    float *velocity = eg.host.buffer(kVelocityIn);
    float *am = eg.host.buffer(kAmIn);
    for (int32_t i = 40; i < 64; ++i) {
        velocity[i] = static_cast<float>(i) / 64.0f;
        am[i] = -0.5f + static_cast<float>(i % 5) * 0.25f;
    }
    const std::vector<float> out = eg.render(24);
    for (int32_t i = 40; i < 64; ++i) {
        const float expected = (velocity[i] * 1.0f + (1.0f - 1.0f)) * 1.0f * 1.0f * 1.0f * (1.0f * am[i] + 1.0f);
        EXPECT_EQ(out[static_cast<size_t>(i - 40)], expected) << "sample " << i;
    }
}

TEST(OpEg, OutputLevelIsReadAtOpen) {
    Eg eg;
    eg.host.fill(kOutputLevel, 4.95f);
    for (int32_t k = 0; k < 3; ++k) eg.host.fill(kLevel1 + k, 9.9f);
    for (int32_t k = 0; k < 4; ++k) eg.host.fill(kRate1 + k, 9.9f);
    eg.host.writeEnum(kOnOff, 1);
    eg.host.open();
    EXPECT_EQ(eg.sustained(), 4.95f / 9.9f);
}

} // namespace
