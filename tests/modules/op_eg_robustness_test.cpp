// QZ_OpEG_v1 with bad input: non-finite and huge controls, odd choices,
// broken sample rates, missing pins and buffers, controls that change
// without a status report.
#include "op_eg_fixture.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace op_eg;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

bool allFinite(const std::vector<float> &v) {
    for (float x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

// Every control stream, one at a time, with every kind of bad value: the
// output stays finite, and once the control is sane again a new note
// sounds exactly as it should.
TEST(OpEgRobustness, NonFiniteAndHugeControlsKeepTheOutputFinite) {
    const int32_t controls[] = {kGateIn,  kRate1,  kRate2,  kRate3,       kRate4,    kLevel1,    kLevel2,
                                kLevel3,  kLevel4, kOutputLevel, kLeftDepth, kRightDepth};
    const float values[] = {kNaN, kInf, -kInf, FLT_MAX, -FLT_MAX, 1e30f, -1e30f, -50.0f};
    for (int32_t pin : controls) {
        for (float v : values) {
            SCOPED_TRACE("pin " + std::to_string(pin) + " value " + std::to_string(v));
            Eg eg;
            eg.openPlain();
            eg.host.setEnum(kKbdRateScale, 7);
            eg.host.setEnum(kRightCurve, 3);
            eg.host.setStream(pin, v);
            eg.host.sendMidi(kMidiIn, midi(0x90, 127, 1));
            eg.host.setStream(kGateIn, 1.0f);
            EXPECT_TRUE(allFinite(eg.render(200)));
            eg.host.setStream(kGateIn, 0.0f);
            EXPECT_TRUE(allFinite(eg.render(200)));
            eg.host.setEnum(kRightCurve, 0);
            eg.host.setStream(pin, pin == kGateIn ? 0.0f : (pin == kLeftDepth || pin == kRightDepth ? 0.0f : 9.9f));
            if (pin == kLevel4) eg.host.setStream(kLevel4, 0.0f);
            eg.host.sendMidi(kMidiIn, midi(0x90, 127, 1));
            EXPECT_EQ(eg.sustained(), 1.0f) << "a sane control again gives a sane note";
        }
    }
}

TEST(OpEgRobustness, OddChoicesKeepTheOutputFinite) {
    struct Case {
        const char *name;
        int32_t pin;
        int16_t value;
    };
    const Case cases[] = {
        {"BreakPointNegative", kBreakPoint, -5},        {"BreakPointPastTheKeys", kBreakPoint, 300},
        {"BreakPointLowest", kBreakPoint, -32768},      {"BreakPointHighest", kBreakPoint, 32767},
        {"KbdScaleMinusOne", kKbdRateScale, -1},        {"KbdScaleHuge", kKbdRateScale, 32767},
        {"LeftCurveUnknown", kLeftCurve, 9},            {"RightCurveNegative", kRightCurve, -1},
        {"RateScaleMinusOne", kEgRateScale, -1},        {"RateScaleHuge", kEgRateScale, 32767},
        {"VelocitySensitivityHuge", kVelocitySensitivity, 32767},
        {"AmSensitivityNegative", kAmSensitivity, -32768},
        {"OnOffOther", kOnOff, 7},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Eg eg;
        eg.openPlain();
        eg.host.setStream(kLeftDepth, 9.9f);
        eg.host.setStream(kRightDepth, 9.9f);
        eg.host.setEnum(kLeftCurve, 3);
        eg.host.setEnum(kRightCurve, 1);
        eg.host.setEnum(c.pin, c.value);
        eg.host.fill(kVelocityIn, 0.5f);
        eg.host.fill(kAmIn, 0.5f);
        for (uint32_t key : {0u, 1u, 60u, 127u}) {
            eg.host.sendMidi(kMidiIn, midi(0x90, key, 1));
            eg.host.setStream(kGateIn, 1.0f);
            EXPECT_TRUE(allFinite(eg.render(100))) << key;
            eg.host.setStream(kGateIn, 0.0f);
            EXPECT_TRUE(allFinite(eg.render(100))) << key;
        }
    }
}

// An unknown curve leaves its side unscaled.
TEST(OpEgRobustness, UnknownCurveLeavesItsSideAlone) {
    Eg eg;
    eg.openPlain();
    eg.host.setEnum(kKbdRateScale, 7);
    eg.host.setEnum(kLeftCurve, 4);
    eg.host.setStream(kLeftDepth, 9.9f);
    eg.host.sendMidi(kMidiIn, midi(0x90, 0, 1));
    EXPECT_EQ(eg.sustained(), 1.0f);
}

TEST(OpEgRobustness, BrokenSampleRates) {
    for (float rate : {0.0f, -44100.0f, kNaN, kInf, 1e30f}) {
        SCOPED_TRACE(std::to_string(rate));
        Eg eg(rate, 64);
        eg.openPlain();
        eg.host.setStream(kGateIn, 1.0f);
        EXPECT_TRUE(allFinite(eg.render(130)));
        eg.host.setStream(kGateIn, 0.0f);
        EXPECT_TRUE(allFinite(eg.render(130)));
    }
}

// Fewer pins than described: the module must touch neither the missing
// pins nor their variables, and events for them are dropped.
TEST(OpEgRobustness, FewerPinsThanDescribed) {
    for (int32_t count : {0, 1, 2, 3, 9, 12, 13, 19, 22, 23}) {
        SCOPED_TRACE("pin count " + std::to_string(count));
        Eg eg(44100.0f, 64, count);
        eg.host.open();
        if (count > kOnOff) eg.host.setEnum(kOnOff, 1);
        if (count > kGateIn) eg.host.setStream(kGateIn, 1.0f);
        for (int32_t pin = kRate1; pin < count; ++pin) {
            if (eg.host.pins[static_cast<size_t>(pin)].dataType == QZ_DT_STREAM && pin != kGateIn) {
                eg.host.setStream(pin, 9.9f);
            }
        }
        eg.host.sendMidi(kMidiIn, midi(0x90, 10, 1));
        eg.host.sendStatus(kEgOut, QZ_STATUS_CHANGED); // beyond the table for all these counts
        for (int i = 0; i < 3; ++i) eg.host.runBlock();
        if (count > kGateIn) eg.host.setStream(kGateIn, 0.0f);
        eg.host.runBlock();
        EXPECT_EQ(eg.host.statusLog.size(), 0u) << "no EG Out pin to report on";
    }
}

TEST(OpEgRobustness, MissingBuffers) {
    Eg eg;
    eg.openPlain();
    eg.host.useBuffer(kVelocityIn, nullptr);
    eg.host.useBuffer(kAmIn, nullptr);
    EXPECT_EQ(eg.sustained(), 1.0f) << "missing velocity and AM read as 0";
    eg.host.setEnum(kVelocitySensitivity, 7);
    EXPECT_EQ(eg.sustained(), 0.0f);

    // Without an output buffer the envelope still runs its course.
    Eg silent(44100.0f, 1024);
    silent.openPlain();
    silent.host.useBuffer(kEgOut, nullptr);
    silent.host.setStream(kGateIn, 1.0f);
    silent.host.runBlock();
    silent.host.setStream(kGateIn, 0.0f);
    silent.host.clearLogs();
    for (int i = 0; i < 4; ++i) silent.host.runBlock();
    EXPECT_GE(silent.host.sleepCount, 1) << "the release ended and the module went to sleep";
}

TEST(OpEgRobustness, SlicesPastTheBlockAreCut) {
    Eg eg(1000.0f, 64);
    eg.openPlain();
    eg.host.setStream(kGateIn, 1.0f);
    std::vector<float> guard(80, -7.0f);
    std::copy(eg.host.buffer(kEgOut), eg.host.buffer(kEgOut) + 64, guard.begin());
    eg.host.useBuffer(kEgOut, guard.data());
    eg.host.record->subProcess(eg.host.record->object, 32, 48); // 16 samples too many
    eg.host.record->subProcess(eg.host.record->object, -5, 10);
    eg.host.record->subProcess(eg.host.record->object, 64, 10);
    for (size_t i = 64; i < guard.size(); ++i) EXPECT_EQ(guard[i], -7.0f) << i;
    EXPECT_NE(guard[63], -7.0f);
}

TEST(OpEgRobustness, ControlsChangeOnlyWithAStatusReport) {
    struct Case {
        const char *name;
        int32_t pin;
        float unreported;
    };
    const Case cases[] = {{"Level1", kLevel1, 2.0f},         {"Level4", kLevel4, 5.0f}, {"Rate1", kRate1, 0.0f},
                          {"Rate4", kRate4, 9.0f},           {"OutputLevel", kOutputLevel, 3.0f},
                          {"LeftDepth", kLeftDepth, 9.9f}};
    const auto note = [](Eg &eg, const Case *c) {
        eg.openPlain();
        eg.host.setEnum(kLeftCurve, 2);
        eg.host.setEnum(kKbdRateScale, 7);
        if (c != nullptr) eg.host.fill(c->pin, c->unreported);
        // Reports of other pins (the rate scale re-counts every stage, the
        // break point rebuilds the table) must not pick the sample up.
        eg.host.setEnum(kEgRateScale, 0);
        eg.host.setEnum(kBreakPoint, 60);
        eg.host.sendMidi(kMidiIn, midi(0x90, 0, 1));
        eg.host.setStream(kGateIn, 1.0f);
        std::vector<float> out = eg.render(64);
        eg.host.setStream(kGateIn, 0.0f);
        const std::vector<float> tail = eg.render(64);
        out.insert(out.end(), tail.begin(), tail.end());
        return out;
    };
    Eg plain;
    const std::vector<float> expected = note(plain, nullptr);
    for (const Case &c : cases) {
        Eg eg;
        EXPECT_EQ(note(eg, &c), expected) << c.name;
    }
    Eg gate;
    gate.openPlain();
    gate.host.fill(kGateIn, 1.0f);
    EXPECT_EQ(gate.render(64).back(), 0.0f) << "a gate sample without a report starts nothing";
}

} // namespace
