// The LFO through its built library. At a sample rate of 720 a "Speed" of 2
// (1 Hz) moves the phase by exactly half a degree, one table entry, per
// sample, and "Output Level" 9.9 is a factor of exactly 1, so the output
// shows the table entries and the fade directly.
#include "test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using qz::test::Plugin;
using qz::test::TestHost;

const Plugin &plugin() {
    static const Plugin p("QZ_LFO");
    return p;
}

enum : int32_t { kGateIn, kWave, kSpeed, kDelay, kOutputLevel, kLfoOut, kPins };
enum : int16_t { kSine, kRamp, kSaw, kTriangle, kSquare };

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Table entry i of each wave, from the table definitions.
float tableEntry(int32_t wave, int32_t i) {
    const auto x = static_cast<float>(i);
    switch (wave) {
    case kSine: return static_cast<float>(std::sin(static_cast<double>(i) * 0.5 * 0.017453292));
    case kRamp: return x * 0.002777f - 1.0f;
    case kSaw: return 1.0f - x * 0.002777f;
    case kTriangle: {
        float t = -1.0f;
        for (int32_t k = 0; k < i; ++k) t = k <= 359 ? t + 0.0055f : t - 0.0055f;
        return t;
    }
    default: return i <= 359 ? 1.0f : -1.0f;
    }
}

// Delay length: 5 x trunc(10^(-t / 0.25) x rate), t = 1 - s / 10; 0 at t = 1.
uint32_t delayLength(float s, float rate) {
    const float t = 1.0f - s / 10.0f;
    if (t == 1.0f) return 0;
    return 5u * static_cast<uint32_t>(std::pow(10.0, -static_cast<double>(t) / 0.25) * static_cast<double>(rate));
}

// The amplitude envelope as the fade rules state it, one sample at a time.
struct Fade {
    float fade = 0.0f;
    bool active = false, retrigger = false, release = false;
    uint32_t counter = 0, length = 0;
    float next() {
        if (retrigger) fade = 0.0f, active = true, counter = 0, retrigger = false;
        if (active && counter < length) ++counter;
        if (active && fade <= 1.0f && counter >= length) fade += 0.005f;
        if (release) active = false, release = false;
        if (!active && fade > 0.0f) fade -= 0.00005f;
        fade = std::clamp(fade, 0.0f, 1.0f);
        return fade;
    }
};

struct Settings {
    int16_t wave = kSquare;
    float speed = 2.0f;
    float delay = 0.0f;
    float level = 9.9f;
    float sampleRate = 720.0f;
    int32_t blockSize = 64;
};

// One instance with its controls set as a host sets them before open; no
// control is reported, so open alone has to read them.
struct Lfo {
    explicit Lfo(const Settings &s = {}, int32_t pins = -1) : host(plugin(), s.sampleRate, s.blockSize, pins) {
        if (pins < 0) {
            host.writeEnum(kWave, s.wave);
            host.fill(kSpeed, s.speed);
            host.fill(kDelay, s.delay);
            host.fill(kOutputLevel, s.level);
        }
        host.open();
    }
    void gate(float v) { host.setStream(kGateIn, v); }
    void run(int32_t n, int32_t slice = 1 << 30) {
        while (n > 0) {
            const int32_t count = std::min({n, slice, host.blockSize - host.offset});
            const int32_t start = host.offset;
            host.run(count);
            for (int32_t i = start; i < start + count; ++i) out.push_back(host.buffer(kLfoOut)[i]);
            n -= count;
        }
    }
    size_t now() const { return out.size(); }
    TestHost host;
    std::vector<float> out;
};

// ---- description ---------------------------------------------------------

TEST(LfoDescription, PinTableAndIdentity) {
    struct Row {
        const char *name;
        int32_t direction, dataType;
        const char *defaultValue, *extra;
    };
    const Row rows[kPins] = {
        {"Gate In", QZ_DIR_IN, QZ_DT_STREAM, "0", nullptr},
        {"Wave", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "Sine,Ramp,Saw,Triangle,Square"},
        {"Speed", QZ_DIR_IN, QZ_DT_STREAM, "0", "99,0,99,0"},
        {"Delay", QZ_DIR_IN, QZ_DT_STREAM, "0", "99,0,99,0"},
        {"Output Level", QZ_DIR_IN, QZ_DT_STREAM, "0", "99,0,99,0"},
        {"LFO Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr},
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
    }
    QzPinDescription beyond{};
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, kPins, 0, &beyond), 0);
    const QzModuleProperties props = plugin().properties();
    EXPECT_STREQ(props.name, "QZ_LFO");
    EXPECT_STREQ(props.uniqueId, "QZ_LFO");
    EXPECT_EQ(std::string(props.about).rfind("This module developed by Orwin Malvane\n\n", 0), 0u);
    EXPECT_EQ(plugin().makeModule(0, QZ_PROFILE_PANEL, nullptr, nullptr), nullptr);
}

// ---- wave tables ---------------------------------------------------------

class LfoWave : public testing::TestWithParam<int16_t> {};

std::string waveName(int16_t wave) {
    static const char *const names[] = {"Sine", "Ramp", "Saw", "Triangle", "Square"};
    return names[wave];
}

// Sample n (counted from open) reads entry n mod 720: the whole table, in order.
TEST_P(LfoWave, OutputWalksTheTable) {
    const int16_t wave = GetParam();
    Settings s;
    s.wave = wave;
    Lfo lfo(s);
    lfo.gate(1.0f);
    lfo.run(1000 + 720, 50);
    for (int32_t n = 1000; n < 1720; ++n)
        ASSERT_EQ(lfo.out[static_cast<size_t>(n)], tableEntry(wave, n % 720)) << "wave " << wave << " sample " << n;
}

INSTANTIATE_TEST_SUITE_P(Waves, LfoWave, testing::Values(kSine, kRamp, kSaw, kTriangle, kSquare),
                         [](const auto &info) { return waveName(info.param); });

TEST(LfoWave, FiguresOfTheTables) {
    EXPECT_EQ(tableEntry(kSine, 180), 1.0f);
    EXPECT_NEAR(tableEntry(kRamp, 719), 0.99666f, 1e-5f);
    EXPECT_NEAR(tableEntry(kSaw, 719), -0.99666f, 1e-5f);
    EXPECT_EQ(tableEntry(kTriangle, 0), -1.0f);
    EXPECT_NEAR(tableEntry(kTriangle, 359), 0.9745f, 1e-5f);
    EXPECT_NEAR(tableEntry(kTriangle, 360), 0.98f, 1e-5f);
    EXPECT_NEAR(tableEntry(kTriangle, 719), -0.9945f, 1e-5f);
}

// A "Wave" change reads the new table at the same phase; an index outside
// the list holds the last sample.
TEST(LfoWave, ChangesAtTheNextSampleWithoutAPhaseJump) {
    Lfo lfo;
    lfo.gate(1.0f);
    lfo.run(300);
    lfo.host.setEnum(kWave, kSaw);
    lfo.run(100);
    for (int32_t n = 300; n < 400; ++n)
        ASSERT_EQ(lfo.out[static_cast<size_t>(n)], tableEntry(kSaw, n)) << "sample " << n;
    for (const int16_t bad : {int16_t{5}, int16_t{-1}, int16_t{32767}}) {
        lfo.host.setEnum(kWave, bad);
        const float held = lfo.out.back();
        lfo.run(50);
        for (size_t n = lfo.now() - 50; n < lfo.now(); ++n) ASSERT_EQ(lfo.out[n], held) << "index " << bad;
        lfo.host.setEnum(kWave, kSaw);
        lfo.run(1);
    }
}

// ---- speed -------------------------------------------------------------------

// The square wave is positive for the first half of every cycle.
TEST(LfoSpeed, CycleLengthFollowsTwoToTheSpeed) {
    struct Case {
        float speed;
        int32_t cycle; // samples at 720 Hz: 720 / (0.25 x 2^speed)
    };
    for (const Case c : {Case{0.0f, 2880}, Case{1.0f, 1440}, Case{2.0f, 720}, Case{3.0f, 360}, Case{4.0f, 180}}) {
        Settings s;
        s.speed = c.speed;
        Lfo lfo(s);
        lfo.gate(1.0f);
        lfo.run(2 * c.cycle + 400);
        for (int32_t n = 400; n < 2 * c.cycle + 400; ++n) {
            const bool firstHalf = n % c.cycle < c.cycle / 2;
            ASSERT_EQ(lfo.out[static_cast<size_t>(n)], firstHalf ? 1.0f : -1.0f) << "speed " << c.speed << " sample " << n;
        }
    }
}

// At 44100 Hz the phase steps are not exact; the figures hold to rounding.
TEST(LfoSpeed, FiguresAtTheHostRate) {
    struct Case {
        float speed;
        double hz;
    };
    for (const Case c : {Case{0.0f, 0.25}, Case{9.9f, 238.86}}) {
        Settings s;
        s.speed = c.speed;
        s.sampleRate = 44100.0f;
        s.blockSize = 1024;
        Lfo lfo(s);
        lfo.gate(1.0f);
        const int32_t length = static_cast<int32_t>(2.2 * 44100.0 / c.hz);
        lfo.run(length);
        std::vector<size_t> rises; // -1 to +1: the phase wrapped
        for (size_t n = 1; n < lfo.out.size(); ++n)
            if (lfo.out[n - 1] < 0.0f && lfo.out[n] > 0.0f) rises.push_back(n);
        ASSERT_GE(rises.size(), 2u) << "speed " << c.speed;
        const double cycles = static_cast<double>(rises.size() - 1);
        const double seconds = static_cast<double>(rises.back() - rises.front()) / 44100.0 / cycles;
        EXPECT_NEAR(seconds, 1.0 / c.hz, 0.01 / c.hz) << "speed " << c.speed;
    }
}

// ---- delay and fades --------------------------------------------------------

// With a delay of L samples the fade first rises on the L-th sample counted
// from the retrigger sample (on the retrigger sample itself for L = 0).
TEST(LfoDelay, FirstRiseAfterTheDelay) {
    struct Case {
        const char *name;
        float delay, sampleRate;
        bool reported; // set by a pin change after open, not only before it
    };
    const std::vector<Case> cases = {
        {"none", 0.0f, 720.0f, false},          {"small", 0.1f, 44100.0f, false},
        {"middle", 5.0f, 44100.0f, false},      {"middle_reported", 5.0f, 44100.0f, true},
        {"slow_rate", 5.0f, 720.0f, true},      {"top", 9.9f, 44100.0f, false},
        {"beyond_top", 10.5f, 720.0f, true},    {"below_bottom", -3.0f, 44100.0f, true},
    };
    for (const Case &c : cases) {
        Settings s;
        s.sampleRate = c.sampleRate;
        s.delay = c.reported ? 0.0f : c.delay;
        s.blockSize = 1024;
        Lfo lfo(s);
        if (c.reported) lfo.host.setStream(kDelay, c.delay);
        lfo.run(100);
        lfo.gate(1.0f);
        const uint32_t length = delayLength(c.delay, c.sampleRate);
        const size_t first = static_cast<size_t>(std::max(length, 1u) - 1);
        const size_t r = lfo.now();
        lfo.run(static_cast<int32_t>(first) + 2);
        for (size_t k = 0; k < first; ++k) ASSERT_EQ(lfo.out[r + k], 0.0f) << c.name << " sample " << k;
        EXPECT_EQ(std::fabs(lfo.out[r + first]), 0.005f) << c.name << ": delay " << length;
    }
    EXPECT_EQ(delayLength(5.0f, 44100.0f), 2205u) << "0.05 s";
    EXPECT_NEAR(delayLength(9.9f, 44100.0f) / 44100.0, 4.56, 0.005);
    EXPECT_EQ(delayLength(0.0f, 44100.0f), 0u);
}

// The envelope through a whole note, checked against the fade rules sample
// by sample: square wave, so |output| is the fade.
TEST(LfoFade, RiseHoldAndFall) {
    Lfo lfo;
    Fade model;
    const auto expectRun = [&](int32_t n, const char *what) {
        const size_t from = lfo.now();
        lfo.run(n, 100);
        for (int32_t k = 0; k < n; ++k)
            ASSERT_EQ(std::fabs(lfo.out[from + static_cast<size_t>(k)]), model.next()) << what << " sample " << k;
    };
    lfo.gate(1.0f);
    model.retrigger = true;
    expectRun(400, "fade-in");
    const auto full = std::find(lfo.out.begin(), lfo.out.end(), 1.0f) - lfo.out.begin();
    EXPECT_NEAR(static_cast<double>(full), 199.0, 1.0) << "about 200 samples to full level";
    lfo.gate(0.0f);
    model.release = true;
    expectRun(20100, "fade-out");
    size_t audible = 0;
    for (size_t n = 400; n < lfo.now(); ++n) audible += lfo.out[n] != 0.0f ? 1u : 0u;
    EXPECT_NEAR(static_cast<double>(audible), 20000.0, 3.0) << "a fade-out of 20000 samples";
    // A rise while fading out drops the fade to 0 and starts again.
    lfo.gate(1.0f);
    model.retrigger = true;
    expectRun(100, "fade-out interrupted");
    lfo.run(1000);
    lfo.gate(0.0f);
    lfo.run(500);
    lfo.gate(1.0f);
    model = Fade{};
    model.fade = std::fabs(lfo.out.back());
    model.retrigger = true;
    expectRun(300, "retrigger in the middle of a fade-out");
}

TEST(LfoFade, GateEdgeCases) {
    struct Step {
        int32_t pin;
        float value;
    };
    struct Case {
        const char *name;
        std::vector<Step> before; // delivered at the same clock, no sample between
        bool sounds;             // fading in after them
    };
    const std::vector<Case> cases = {
        {"positive_gate", {{kGateIn, 1.0f}}, true},
        {"tiny_positive_gate", {{kGateIn, 1e-30f}}, true},
        {"negative_gate", {{kGateIn, -1.0f}}, false},
        {"nan_gate", {{kGateIn, kNaN}}, false},
        {"rise_without_level", {{kOutputLevel, 0.0f}, {kGateIn, 1.0f}, {kOutputLevel, 9.9f}}, false},
        {"level_then_new_rise", {{kOutputLevel, 0.0f}, {kGateIn, 1.0f}, {kOutputLevel, 9.9f}, {kGateIn, 0.0f}, {kGateIn, 1.0f}}, true},
        {"rise_then_fall", {{kGateIn, 1.0f}, {kGateIn, 0.0f}}, false},
        // The gate is on after both edges, so the note plays.
        {"fall_then_rise", {{kGateIn, 1.0f}, {kGateIn, 0.0f}, {kGateIn, 1.0f}}, true},
    };
    for (const Case &c : cases) {
        Settings s;
        s.delay = 0.0f;
        Lfo lfo(s);
        for (const Step &st : c.before) lfo.host.setStream(st.pin, st.value);
        lfo.run(300);
        EXPECT_EQ(std::fabs(lfo.out.back()), c.sounds ? 1.0f : 0.0f) << c.name;
    }
    // fall_then_rise after a note has played: the running note restarts.
    Lfo lfo;
    lfo.gate(1.0f);
    lfo.run(300);
    lfo.gate(0.0f);
    lfo.gate(1.0f);
    lfo.run(300);
    EXPECT_EQ(std::fabs(lfo.out[300]), 0.005f) << "restarted from 0";
    EXPECT_EQ(std::fabs(lfo.out.back()), 1.0f) << "and plays on";
}

// The gate never resets the phase: after a second note, sample n still reads
// entry n mod 720.
TEST(LfoFade, PhaseRunsFreely) {
    Settings s;
    s.wave = kRamp;
    Lfo lfo(s);
    lfo.run(123);
    lfo.gate(1.0f);
    lfo.run(1000);
    lfo.gate(0.0f);
    lfo.run(777);
    lfo.gate(1.0f);
    lfo.run(600);
    for (size_t n = lfo.now() - 200; n < lfo.now(); ++n)
        ASSERT_EQ(lfo.out[n], tableEntry(kRamp, static_cast<int32_t>(n % 720))) << "sample " << n;
}

// ---- output state ----------------------------------------------------------

TEST(LfoState, AlwaysStreamingNeverSleeps) {
    Lfo lfo;
    ASSERT_EQ(lfo.host.statusLog.size(), 1u);
    EXPECT_EQ(lfo.host.statusLog[0].pin, kLfoOut);
    EXPECT_EQ(lfo.host.statusLog[0].status, QZ_STATUS_STREAMING);
    lfo.host.clearLogs();
    const int32_t pins[] = {kGateIn, kWave, kSpeed, kDelay, kOutputLevel, kGateIn};
    for (const int32_t p : pins) {
        lfo.host.sendStatus(p, QZ_STATUS_CHANGED);
        lfo.run(64 * 3);
    }
    lfo.host.sendStatus(kLfoOut, QZ_STATUS_CHANGED);
    lfo.run(64 * 200, 16); // silent for most of it
    ASSERT_EQ(lfo.host.statusLog.size(), std::size(pins) + 1);
    for (const auto &st : lfo.host.statusLog) {
        EXPECT_EQ(st.pin, kLfoOut);
        EXPECT_EQ(st.status, QZ_STATUS_STREAMING);
    }
    EXPECT_EQ(lfo.host.sleepCount, 0);
}

// ---- hostile input --------------------------------------------------------

// A non-finite control reading is dropped: the output is the one the
// settings before it give.
TEST(LfoRobustness, NonFiniteControlsKeepTheLastReading) {
    struct Case {
        const char *name;
        int32_t pin;
        float value;
    };
    for (const Case c : {Case{"speed_nan", kSpeed, kNaN}, Case{"speed_inf", kSpeed, kInf},
                         Case{"speed_minus_inf", kSpeed, -kInf}, Case{"delay_nan", kDelay, kNaN},
                         Case{"delay_inf", kDelay, kInf}, Case{"level_nan", kOutputLevel, kNaN},
                         Case{"level_inf", kOutputLevel, kInf}}) {
        Settings s;
        s.wave = kSine;
        Lfo lfo(s);
        lfo.host.setStream(c.pin, c.value);
        lfo.gate(1.0f);
        lfo.run(1000);
        for (int32_t n = 300; n < 1000; ++n)
            ASSERT_EQ(lfo.out[static_cast<size_t>(n)], tableEntry(kSine, n % 720)) << c.name << " sample " << n;
    }
}

// Speeds and rates far outside the range keep the phase inside the table:
// every output is a table entry times the level, and a sane speed later
// plays normally again.
TEST(LfoRobustness, ExtremeSettingsStayInsideTheTable) {
    struct Case {
        const char *name;
        float speed, delay, level, sampleRate;
    };
    const std::vector<Case> cases = {
        {"speed_beyond_top", 40.0f, 0, 9.9f, 44100.0f},   {"speed_huge", 120.0f, 0, 9.9f, 44100.0f},
        {"speed_overflows", 1e6f, 0, 9.9f, 44100.0f},     {"speed_very_negative", -1e6f, 0, 9.9f, 44100.0f},
        {"delay_huge", 2, 1e6f, 9.9f, 720.0f},           {"delay_very_negative", 2, -1e6f, 9.9f, 720.0f},
        {"level_huge", 2, 0, 3e38f, 720.0f},             {"level_negative", 2, 0, -9.9f, 720.0f},
        {"zero_rate", 2, 5, 9.9f, 0.0f},                 {"nan_rate", 2, 5, 9.9f, kNaN},
        {"negative_rate", 9.9f, 5, 9.9f, -44100.0f},
    };
    for (const Case &c : cases) {
        Settings s;
        s.wave = kTriangle;
        s.speed = c.speed;
        s.delay = c.delay;
        s.level = c.level;
        s.sampleRate = c.sampleRate;
        Lfo lfo(s);
        lfo.gate(1.0f);
        lfo.run(2000, 37);
        lfo.host.setStream(kSpeed, -c.speed);
        lfo.run(500, 37);
        lfo.host.setStream(kSpeed, 2.0f);
        lfo.run(500, 37);
        const float bound = std::fabs(c.level / 9.9f);
        for (size_t n = 0; n < lfo.out.size(); ++n) {
            ASSERT_TRUE(std::isfinite(lfo.out[n])) << c.name << " sample " << n;
            ASSERT_LE(std::fabs(lfo.out[n]), bound) << c.name << " sample " << n;
        }
    }
}

TEST(LfoRobustness, FewerPinsAndMissingBuffers) {
    for (const int32_t pins : {0, 1, 2, 4, 5}) {
        TestHost host(plugin(), 720.0f, 64, pins);
        host.open();
        if (pins > kGateIn) host.setStream(kGateIn, 1.0f);
        if (pins > kWave) host.setEnum(kWave, 2);
        host.run(0);
        host.runBlock();
        host.runBlock();
        for (const auto &st : host.statusLog) EXPECT_LT(st.pin, pins) << pins << " pins";
        EXPECT_EQ(host.sleepCount, 0) << pins << " pins";
    }
    Lfo lfo;
    lfo.host.useBuffer(kGateIn, nullptr);
    lfo.gate(1.0f); // no buffer, no reading: the gate stays off
    lfo.host.useBuffer(kLfoOut, nullptr);
    lfo.host.runBlock();
    float out[64] = {};
    lfo.host.useBuffer(kLfoOut, out);
    lfo.host.runBlock();
    EXPECT_EQ(out[63], 0.0f) << "never triggered";
}

} // namespace
