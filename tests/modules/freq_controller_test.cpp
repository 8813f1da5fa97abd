// QZ_FreqController_v1 through its built library.
#include "test_host.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

using qz::test::Plugin;
using qz::test::TestHost;

enum Pin : int32_t {
    kPitchIn,
    kRatioFixed,
    kCourseRatio,
    kCourseFixed,
    kFine,
    kDetune,
    kPModIn,
    kPmSensitivity,
    kPitchOut,
    kPinTotal
};

const Plugin &plugin() {
    static Plugin p("QZ_FreqController_v1");
    return p;
}

struct Settings {
    int16_t mode = 0, ratio = 1, fixed = 2, detune = 7, pm = 0;
    float fine = 0.0f;
};

// The pitch the formulas give for one sample.
float expectedPitch(const Settings &s, float pitchIn, float pmodIn) {
    const double x = std::trunc(static_cast<double>(s.fine) * 10.0) / 10.0 / 100.0;
    const float detune = static_cast<float>(s.detune - 7) / 70.0f;
    if (s.mode == 1) {
        const float bases[4] = {-0.37813598f, -0.045943160f, 0.28624964f, 0.61844248f};
        return bases[s.fixed] + detune + static_cast<float>(x * 0.3321928);
    }
    const float ratio = s.ratio == 0 ? -0.1f : static_cast<float>(s.ratio - 1) * 0.1f;
    const float depth = static_cast<float>(s.pm) / 7.0f;
    return pitchIn + ratio + detune + static_cast<float>(x / 10.0) + pmodIn * depth / 10.0f;
}

struct Controller {
    TestHost host;
    explicit Controller(int32_t blockSize = 64, int32_t pinCount = -1) : host(plugin(), 44100.0f, blockSize, pinCount) {}

    void apply(const Settings &s) {
        host.setEnum(kRatioFixed, s.mode);
        host.setEnum(kCourseRatio, s.ratio);
        host.setEnum(kCourseFixed, s.fixed);
        host.setEnum(kDetune, s.detune);
        host.setEnum(kPmSensitivity, s.pm);
        host.setStream(kFine, s.fine);
    }

    float first() {
        host.runBlock();
        return host.buffer(kPitchOut)[0];
    }
};

TEST(FreqController, IdentityAndPins) {
    QzModuleProperties p{};
    ASSERT_EQ(plugin().getModuleProperties(0, &p), 1);
    EXPECT_STREQ(p.name, "QZ_FreqController_v1");
    EXPECT_STREQ(p.uniqueId, "QZ_FreqController_v1");
    EXPECT_EQ(std::string(p.about).rfind("This module developed by Orwin Malvane\n\n", 0), 0u);
    EXPECT_EQ(plugin().makeModule(0, QZ_PROFILE_PANEL, nullptr, nullptr), nullptr);

    struct Expected {
        const char *name;
        int32_t direction, dataType;
        const char *defaultText, *extra;
    };
    const Expected expected[kPinTotal] = {
        {"Pitch In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
        {"Ratio/Fixed", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", " Ratio, Fixed"},
        {"Course Ratio", QZ_DIR_IN, QZ_DT_ENUMERATION, "1", "x0.5,x1,x2,x3,x4,x5,x6"},
        {"Course Fixed", QZ_DIR_IN, QZ_DT_ENUMERATION, "2", " 1 Hz, 10 Hz, 100 Hz, 1 KHz"},
        {"Fine", QZ_DIR_IN, QZ_DT_STREAM, "0", "99,0,99,0"},
        {"Detune", QZ_DIR_IN, QZ_DT_ENUMERATION, "7", "-7,-6,-5,-4,-3,-2,-1,0,+1,+2,+3,+4,+5,+6,+7"},
        {"PMod In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
        {"PM Sensitivity", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "0,1,2,3,4,5,6,7"},
        {"Pitch Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr},
    };
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
        EXPECT_NE(d.variable, nullptr);
        EXPECT_EQ(d.defaultValue == nullptr, e.defaultText == nullptr);
        if (e.defaultText != nullptr && d.defaultValue != nullptr) {
            EXPECT_STREQ(d.defaultValue, e.defaultText);
        }
        EXPECT_EQ(d.datatypeExtra == nullptr, e.extra == nullptr);
        if (e.extra != nullptr && d.datatypeExtra != nullptr) {
            EXPECT_STREQ(d.datatypeExtra, e.extra);
        }
    }
    QzPinDescription none{};
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, kPinTotal, 0, &none), 0);
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, -1, 0, &none), 0);
}

struct PitchCase {
    std::string name;
    Settings settings;
    float pitchIn, pmodIn;
    float figure; // a hand-worked pitch, or NaN where there is none
};
void PrintTo(const PitchCase &c, std::ostream *os) { *os << c.name; }

class FreqControllerPitch : public ::testing::TestWithParam<PitchCase> {};

TEST_P(FreqControllerPitch, FollowsTheFormula) {
    const PitchCase &c = GetParam();
    Controller fc;
    fc.host.open();
    fc.apply(c.settings);
    fc.host.fill(kPitchIn, c.pitchIn);
    fc.host.fill(kPModIn, c.pmodIn);
    fc.host.runBlock();
    const float want = expectedPitch(c.settings, c.pitchIn, c.pmodIn);
    for (int32_t i = 0; i < fc.host.blockSize; ++i) ASSERT_EQ(fc.host.buffer(kPitchOut)[i], want) << "sample " << i;
    if (!std::isnan(c.figure)) {
        EXPECT_NEAR(want, c.figure, 2e-7f);
    }
}

Settings make(int16_t mode, int16_t ratio, int16_t fixed, float fine, int16_t detune, int16_t pm) {
    Settings s;
    s.mode = mode, s.ratio = ratio, s.fixed = fixed, s.fine = fine, s.detune = detune, s.pm = pm;
    return s;
}

constexpr float kNoFigure = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, FreqControllerPitch,
    ::testing::Values(PitchCase{"Fixed1kHzIgnoresInputs", make(1, 1, 3, 0, 7, 7), 0.3f, 0.9f, 0.61844248f},
                      PitchCase{"Fixed1Hz", make(1, 1, 0, 0, 7, 0), 0.5f, 0, -0.37813598f},
                      PitchCase{"Fixed10HzDetunedDown", make(1, 1, 1, 0, 0, 0), 0, 0, -0.045943160f - 0.1f},
                      PitchCase{"Fixed100HzFine", make(1, 1, 2, 5.0f, 9, 0), 0, 0, kNoFigure},
                      PitchCase{"RatioHalf", make(0, 0, 2, 0, 7, 0), 0.5f, 0, 0.4f},
                      PitchCase{"RatioOne", make(0, 1, 2, 0, 7, 0), 0.5f, 0, 0.5f},
                      PitchCase{"RatioX3IsFour", make(0, 3, 2, 0, 7, 0), 0.5f, 0, 0.7f},
                      PitchCase{"RatioX6IsThirtyTwo", make(0, 6, 2, 0, 7, 0), 0.5f, 0, 1.0f},
                      PitchCase{"DetuneUpAnOctave", make(0, 1, 2, 0, 14, 0), 0.5f, 0, 0.6f},
                      PitchCase{"PmFullOctave", make(0, 1, 2, 0, 7, 7), 0.5f, 1.0f, 0.6f},
                      PitchCase{"PmOffIgnoresModulation", make(0, 1, 2, 0, 7, 0), 0.5f, 1.0f, 0.5f},
                      PitchCase{"PmPartial", make(0, 2, 2, 3.3f, 4, 3), 0.37f, -0.6f, kNoFigure},
                      PitchCase{"FineHalfwayRatio", make(0, 1, 2, 5.0f, 7, 0), 0.5f, 0, 0.505f},
                      PitchCase{"Defaults", Settings{}, 0, 0, 0.0f}),
    [](const auto &info) { return info.param.name; });

// "Fine" counts in whole tenths, truncated toward zero from its 32-bit
// value: each pair gives the same pitch.
TEST(FreqController, FineQuantisation) {
    struct Case {
        const char *name;
        float fine, actsAs;
    };
    const Case cases[] = {{"PointThreeNine", 0.39f, 0.3f}, {"MinusPointThreeNine", -0.39f, -0.3f},
                          {"PointSeven", 0.7f, 0.6f},      {"TopOfRange", 9.9f, 9.8f},
                          {"Five", 5.0f, 5.0f},            {"PointNineFallsShortToo", 0.9f, 0.8f}};
    for (int16_t mode : {0, 1}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + (mode == 1 ? " fixed" : " ratio"));
            Controller a, b;
            a.host.open();
            b.host.open();
            Settings s;
            s.mode = mode;
            s.fine = c.fine;
            a.apply(s);
            s.fine = c.actsAs;
            b.apply(s);
            EXPECT_EQ(a.first(), b.first());
            EXPECT_EQ(a.first(), expectedPitch(s, 0, 0));
        }
    }
    // 9.9 counts as 9.8: x = 0.098, a factor of 1.253 on a fixed frequency.
    Controller fc;
    fc.host.open();
    Settings s;
    s.mode = 1;
    fc.apply(s);
    const float plain = fc.first();
    fc.host.setStream(kFine, 9.9f);
    const double factor = std::pow(2.0, 10.0 * static_cast<double>(fc.first() - plain));
    EXPECT_NEAR(factor, 1.253, 5e-4);
}

TEST(FreqController, PitchAndModulationAreReadOnEverySample) {
    Controller fc;
    fc.host.open();
    Settings s = make(0, 2, 2, 1.2f, 10, 5);
    fc.apply(s);
    float *pitch = fc.host.buffer(kPitchIn);
    float *pmod = fc.host.buffer(kPModIn);
    for (int32_t i = 0; i < 64; ++i) {
        pitch[i] = 0.2f + static_cast<float>(i) * 0.01f;
        pmod[i] = std::sin(static_cast<float>(i));
    }
    fc.host.newBlock();
    fc.host.run(10);
    fc.host.run(54);
    for (int32_t i = 0; i < 64; ++i) {
        EXPECT_EQ(fc.host.buffer(kPitchOut)[i], expectedPitch(s, pitch[i], pmod[i])) << "sample " << i;
    }
}

// With nothing else in the sum the modulation term shows to the last bit:
// it is divided by 10, not multiplied by 0.1.
TEST(FreqController, ModulationTermAlone) {
    Controller fc;
    fc.host.open();
    const Settings s = make(0, 1, 2, 0, 7, 3);
    fc.apply(s);
    float *pmod = fc.host.buffer(kPModIn);
    for (int32_t i = 0; i < 64; ++i) pmod[i] = -1.0f + static_cast<float>(i) / 31.5f;
    fc.host.runBlock();
    for (int32_t i = 0; i < 64; ++i) {
        EXPECT_EQ(fc.host.buffer(kPitchOut)[i], pmod[i] * (3.0f / 7.0f) / 10.0f) << "sample " << i;
    }
}

TEST(FreqController, ModeSwitchRescalesFineAndComputesTheOtherBase) {
    Controller fc;
    fc.host.open();
    Settings s;
    s.fine = 4.4f;
    fc.apply(s);
    fc.host.setEnum(kCourseFixed, 3); // ratio mode: not yet taken up
    s.fixed = 3;
    EXPECT_EQ(fc.first(), expectedPitch(s, 0, 0));
    fc.host.setEnum(kRatioFixed, 1);
    s.mode = 1;
    EXPECT_EQ(fc.first(), expectedPitch(s, 0, 0));
    fc.host.setEnum(kCourseRatio, 5); // fixed mode: not yet taken up
    fc.host.setEnum(kRatioFixed, 0);
    s.mode = 0;
    s.ratio = 5;
    EXPECT_EQ(fc.first(), expectedPitch(s, 0, 0));
}

TEST(FreqController, ControlsChangeOnlyWithAStatusReport) {
    Controller fc;
    fc.host.open();
    Settings s;
    s.fine = 2.0f;
    fc.apply(s);
    fc.host.fill(kFine, 7.0f);
    EXPECT_EQ(fc.first(), expectedPitch(s, 0, 0));
    fc.host.setEnum(kRatioFixed, 1); // the rescale uses the reported Fine, not the new sample
    s.mode = 1;
    EXPECT_EQ(fc.first(), expectedPitch(s, 0, 0));
}

TEST(FreqController, UnknownChoicesKeepTheirBase) {
    Controller fc;
    fc.host.open();
    Settings s = make(1, 1, 1, 0, 7, 0);
    fc.apply(s);
    const float tenHz = fc.first();
    for (int16_t bad : {4, -1, 32767}) {
        fc.host.setEnum(kCourseFixed, bad);
        EXPECT_EQ(fc.first(), tenHz) << bad;
    }
    fc.host.setEnum(kRatioFixed, 0);
    fc.host.setEnum(kCourseRatio, 0);
    const float half = fc.first();
    fc.host.setEnum(kCourseRatio, -3);
    EXPECT_EQ(fc.first(), half);
}

TEST(FreqController, AlwaysStreamingNeverSleeps) {
    Controller fc(1024);
    fc.host.open();
    ASSERT_EQ(fc.host.statusLog.size(), 1u);
    EXPECT_EQ(fc.host.statusLog[0].pin, kPitchOut);
    EXPECT_EQ(fc.host.statusLog[0].status, QZ_STATUS_STREAMING);
    struct Change {
        const char *name;
        int32_t pin;
        size_t reports;
    };
    const Change changes[] = {{"Mode", kRatioFixed, 1},  {"CourseFixedInFixedMode", kCourseFixed, 1},
                              {"Fine", kFine, 1},        {"Detune", kDetune, 1},
                              {"PmSensitivity", kPmSensitivity, 0}, {"CourseRatioInFixedMode", kCourseRatio, 0}};
    fc.host.writeEnum(kRatioFixed, 1);
    for (const Change &c : changes) {
        fc.host.clearLogs();
        fc.host.clock += 17;
        fc.host.sendStatus(c.pin, QZ_STATUS_CHANGED);
        ASSERT_EQ(fc.host.statusLog.size(), c.reports) << c.name;
        if (c.reports == 1) {
            EXPECT_EQ(fc.host.statusLog[0].status, QZ_STATUS_STREAMING) << c.name;
            EXPECT_EQ(fc.host.statusLog[0].clock, fc.host.clock) << c.name;
        }
    }
    fc.host.clearLogs();
    for (int i = 0; i < 5; ++i) fc.host.runBlock();
    EXPECT_EQ(fc.host.sleepCount, 0);
    EXPECT_TRUE(fc.host.statusLog.empty());
}

TEST(FreqController, BadInputStaysSafe) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    for (float fine : {kNaN, kInf, -kInf, FLT_MAX, -FLT_MAX, 1e30f}) {
        SCOPED_TRACE(std::to_string(fine));
        for (int16_t mode : {0, 1}) {
            Controller fc;
            fc.host.open();
            fc.host.setEnum(kRatioFixed, mode);
            fc.host.setStream(kFine, fine);
            const float got = fc.first();
            EXPECT_TRUE(std::isfinite(got)) << got;
            if (std::isnan(fine)) {
                EXPECT_EQ(got, expectedPitch(make(mode, 1, 2, 0, 7, 0), 0, 0));
            }
            fc.host.setStream(kFine, 0.0f);
            EXPECT_EQ(fc.first(), expectedPitch(make(mode, 1, 2, 0, 7, 0), 0, 0));
        }
    }
    // Non-finite played pitches pass through sample by sample and poison nothing.
    Controller fc;
    fc.host.open();
    float *pitch = fc.host.buffer(kPitchIn);
    pitch[0] = kNaN, pitch[1] = kInf, pitch[2] = -kInf, pitch[3] = 0.5f;
    fc.host.runBlock();
    EXPECT_TRUE(std::isnan(fc.host.buffer(kPitchOut)[0]));
    EXPECT_EQ(fc.host.buffer(kPitchOut)[3], 0.5f);

    // Slices outside the block and of no samples write nothing.
    std::vector<float> guard(80, -7.0f);
    fc.host.useBuffer(kPitchOut, guard.data());
    fc.host.record->subProcess(fc.host.record->object, 40, 40);
    fc.host.record->subProcess(fc.host.record->object, -3, 10);
    fc.host.record->subProcess(fc.host.record->object, 64, 5);
    fc.host.record->subProcess(fc.host.record->object, 10, 0);
    for (size_t i = 0; i < guard.size(); ++i) EXPECT_EQ(guard[i] == -7.0f, i < 40 || i >= 64) << i;

    // No output buffer, no inputs.
    fc.host.useBuffer(kPitchOut, nullptr);
    fc.host.runBlock();
    Controller unwired;
    unwired.host.useBuffer(kPitchIn, nullptr);
    unwired.host.useBuffer(kPModIn, nullptr);
    unwired.host.open();
    unwired.apply(make(0, 3, 2, 0, 7, 7));
    EXPECT_EQ(unwired.first(), expectedPitch(make(0, 3, 2, 0, 7, 7), 0, 0));
}

TEST(FreqController, FewerPinsThanDescribed) {
    for (int32_t count : {0, 1, 4, 5, 8}) {
        SCOPED_TRACE(count);
        Controller fc(64, count);
        fc.host.open();
        for (int32_t pin = 0; pin < count; ++pin) {
            if (fc.host.pins[static_cast<size_t>(pin)].dataType == QZ_DT_STREAM) {
                fc.host.setStream(pin, 1.0f);
            } else {
                fc.host.setEnum(pin, 1);
            }
        }
        fc.host.sendStatus(kPitchOut, QZ_STATUS_CHANGED);
        fc.host.runBlock();
        fc.host.run(0);
        EXPECT_TRUE(fc.host.statusLog.empty());
    }
}

} // namespace
