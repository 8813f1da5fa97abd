// QZ_OpEG_v1: the seven-stage machine, sample for sample, and the output
// state and sleep rules.
#include "op_eg_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace op_eg;

struct Settings {
    float rate[4] = {9.0f, 8.0f, 8.5f, 8.0f};
    float level[4] = {9.9f, 7.0f, 5.0f, 0.0f};
    float outputLevel = 9.9f;
    int16_t rateScale = 0;
    int16_t on = 1;
};

struct Event {
    int32_t at;  // sample index at which it arrives
    int32_t pin; // kGateIn, kOnOff, kOutputLevel, a rate or a level
    float value;
};

// The envelope as the stage rules describe it, for the cases below (every
// stage count above 0). Velocity, keyboard and AM factors are 1.
class Expected {
public:
    Expected(const Settings &s, float sampleRate) : s_(s), sampleRate_(sampleRate) { derive(); }

    void apply(const Event &e) {
        if (e.pin == kGateIn) {
            gate(e.value > 0.0f ? 1 : 0);
        } else if (e.pin == kOnOff) {
            s_.on = static_cast<int16_t>(e.value);
        } else if (e.pin == kOutputLevel) {
            s_.outputLevel = e.value;
        } else if (e.pin >= kRate1 && e.pin <= kRate4) {
            s_.rate[e.pin - kRate1] = e.value;
        } else if (e.pin >= kLevel1 && e.pin <= kLevel4) {
            s_.level[e.pin - kLevel1] = e.value;
        }
        derive();
    }

    float next() {
        if (stage_ == 1) {
            if (flag_) value_ = b_, flag_ = false, counter_ = 0;
            value_ += d_[0];
            ++counter_;
            if (counter_ >= n_[0] || value_ >= t_[0]) stage_ = 2, flag_ = true;
        }
        for (int k = 1; k <= 2; ++k) { // stages 2 and 3
            if (stage_ != k + 1) continue;
            if (flag_) counter_ = 0, value_ = t_[k - 1], flag_ = false;
            value_ += d_[k];
            ++counter_;
            if (counter_ >= n_[k] || (d_[k] > 0 && value_ >= t_[k]) || (d_[k] < 0 && value_ <= t_[k])) {
                value_ = t_[k];
                if (t_[k] > b_) {
                    stage_ = k + 2, flag_ = true;
                } else {
                    value_ = b_, stage_ = 0;
                }
            }
        }
        if (stage_ == 4) {
            if (flag_) flag_ = false, value_ = t_[2];
            if (!(t_[2] > b_)) stage_ = 0, value_ = b_;
        }
        if (stage_ == 5) {
            value_ += d_[3];
            if (!(d_[3] < 0) || value_ <= b_) stage_ = 0, value_ = 0;
        }
        if (stage_ == 6) {
            if (flag_) flag_ = false, e_ = (b_ - value_) / static_cast<float>(static_cast<int32_t>(n_[3]));
            value_ += e_;
            if (!(e_ < 0) || value_ <= b_) stage_ = 0, value_ = 0;
        }
        if (stage_ == 0 || s_.on == 0) value_ = 0;
        return 1.0f * 1.0f * value_ * out_ * (0.0f * 0.0f + 1.0f);
    }

private:
    void derive() {
        const auto mult = static_cast<float>(s_.rateScale + 1);
        float l[4];
        for (int k = 0; k < 4; ++k) {
            l[k] = s_.level[k] / 9.9f;
            n_[k] = stageCount(s_.rate[k], mult, sampleRate_);
        }
        b_ = l[3];
        for (int k = 0; k < 3; ++k) t_[k] = l[k] + l[3];
        const float from[4] = {b_, t_[0], t_[1], t_[2]}, to[4] = {t_[0], t_[1], t_[2], b_};
        for (int k = 0; k < 4; ++k) d_[k] = (to[k] - from[k]) / static_cast<float>(static_cast<int32_t>(n_[k]));
        out_ = s_.outputLevel / 9.9f;
    }

    void gate(int32_t g) {
        if (g == previousGate_) return;
        if (s_.on != 0 && out_ > 0 && g == 1 && t_[0] > b_) stage_ = 1, flag_ = true;
        if (stage_ != 0 && g == 0) stage_ = stage_ == 4 ? 5 : 6, flag_ = true;
        previousGate_ = g;
    }

    Settings s_;
    float sampleRate_;
    uint32_t n_[4] = {};
    float b_ = 0, t_[3] = {}, d_[4] = {}, out_ = 0, value_ = 0, e_ = 0;
    int32_t stage_ = 0, previousGate_ = 0;
    bool flag_ = false;
    uint32_t counter_ = 0;
};

struct StageCase {
    std::string name;
    Settings settings;
    std::vector<Event> events;
    int32_t length;
};
void PrintTo(const StageCase &c, std::ostream *os) { *os << c.name; }


Settings with(Settings s, std::initializer_list<float> levels) {
    int k = 0;
    for (float v : levels) s.level[k++] = v;
    return s;
}

const Settings kDefault{};

class OpEgStages : public ::testing::TestWithParam<StageCase> {};

// Rates 9, 8, 8.5 and 8 at 1 kHz make stages of 18, 36, 25 and 36 samples;
// slices of the 64-sample blocks end at every event.
TEST_P(OpEgStages, FollowTheStageRules) {
    const StageCase &c = GetParam();
    constexpr float kRate = 1000.0f;
    Eg eg(kRate, 64);
    eg.host.open();
    eg.host.setEnum(kEgRateScale, c.settings.rateScale);
    eg.host.setEnum(kOnOff, c.settings.on);
    eg.host.setStream(kOutputLevel, c.settings.outputLevel);
    for (int32_t k = 0; k < 4; ++k) {
        eg.host.setStream(kRate1 + k, c.settings.rate[k]);
        eg.host.setStream(kLevel1 + k, c.settings.level[k]);
    }
    Expected expected(c.settings, kRate);

    int32_t at = 0;
    size_t next = 0;
    while (at < c.length) {
        while (next < c.events.size() && c.events[next].at == at) {
            const Event &e = c.events[next++];
            if (e.pin == kOnOff) {
                eg.host.setEnum(kOnOff, static_cast<int16_t>(e.value));
            } else {
                eg.host.setStream(e.pin, e.value);
            }
            expected.apply(e);
        }
        const int32_t until = next < c.events.size() ? c.events[next].at : c.length;
        const std::vector<float> out = eg.render(until - at);
        for (float got : out) {
            const float want = expected.next();
            ASSERT_EQ(got, want) << "sample " << at;
            ++at;
        }
    }
}

const StageCase kStageCases[] = {
    {"SustainThenRelease", kDefault, {{0, kGateIn, 1}, {150, kGateIn, 0}}, 220},
    {"FallInAttack", kDefault, {{0, kGateIn, 1}, {10, kGateIn, 0}}, 80},
    {"FallInFirstDecay", kDefault, {{0, kGateIn, 1}, {30, kGateIn, 0}}, 100},
    {"FallInSecondDecay", kDefault, {{0, kGateIn, 1}, {65, kGateIn, 0}}, 140},
    {"RiseInRelease", kDefault, {{0, kGateIn, 1}, {150, kGateIn, 0}, {165, kGateIn, 1}, {300, kGateIn, 0}}, 380},
    {"RiseInEarlyRelease", kDefault, {{0, kGateIn, 1}, {10, kGateIn, 0}, {20, kGateIn, 1}, {150, kGateIn, 0}}, 220},
    {"SameGateTwiceIsNoChange", kDefault, {{0, kGateIn, 1}, {5, kGateIn, 0.5f}, {150, kGateIn, 0}, {160, kGateIn, -1}}, 220},
    {"Level2AtZeroEndsAfterStage2", with(kDefault, {9.9f, 0.0f, 5.0f}), {{0, kGateIn, 1}}, 120},
    {"Level3AtZeroHasNoSustain", with(kDefault, {9.9f, 7.0f, 0.0f}), {{0, kGateIn, 1}}, 120},
    {"BaseLiftsTheEnvelope", with(kDefault, {9.9f, 9.9f, 9.9f, 4.95f}), {{0, kGateIn, 1}, {120, kGateIn, 0}}, 200},
    {"FallingDecaysEndAtTheirTargets", with(kDefault, {9.9f, 2.0f, 1.0f, 0.5f}), {{0, kGateIn, 1}, {140, kGateIn, 0}}, 200},
    {"RisingDecays", with(kDefault, {2.0f, 6.0f, 9.0f, 0.0f}), {{0, kGateIn, 1}, {140, kGateIn, 0}}, 200},
    {"Level1AtZeroStartsNothing", with(kDefault, {0.0f, 7.0f, 5.0f}), {{0, kGateIn, 1}, {40, kGateIn, 0}}, 60},
    {"OutputLevelZeroStartsNothing", [] { Settings s; s.outputLevel = 0; return s; }(), {{0, kGateIn, 1}}, 60},
    {"GateWhileOff", [] { Settings s; s.on = 0; return s; }(), {{0, kGateIn, 1}, {50, kGateIn, 0}}, 100},
    {"OffMidNoteZeroesWhileStagesGoOn", kDefault, {{0, kGateIn, 1}, {40, kOnOff, 0}, {60, kOnOff, 1}, {150, kGateIn, 0}}, 220},
    {"FallAfterARiseThatStartedNothing", kDefault,
     {{0, kGateIn, 1}, {150, kGateIn, 0}, {155, kOutputLevel, 0}, {156, kGateIn, 1}, {158, kOutputLevel, 9.9f}, {160, kGateIn, 0}},
     240},
    {"RateScaleTwo", [] { Settings s; s.rateScale = 2; return s; }(), {{0, kGateIn, 1}, {400, kGateIn, 0}}, 560},
    {"SustainIgnoresANewLevel3UntilRelease", kDefault, {{0, kGateIn, 1}, {120, kLevel3, 9.0f}, {150, kGateIn, 0}}, 220},
    {"SustainEndsWhenLevel3Drops", kDefault, {{0, kGateIn, 1}, {120, kLevel3, 0.0f}}, 160},
    {"RateChangeDuringDecay", kDefault, {{0, kGateIn, 1}, {25, kRate2, 9.5f}, {150, kGateIn, 0}}, 220},
};

INSTANTIATE_TEST_SUITE_P(Cases, OpEgStages, ::testing::ValuesIn(kStageCases),
                         [](const auto &info) { return info.param.name; });

// Landmarks of a note, worked out from the formulas alone.
TEST(OpEgLandmarks, AttackEndCarriesTheFirstDecayStep) {
    Eg eg(1000.0f, 64);
    eg.openPlain();
    eg.host.setStream(kRate1, 9.0f);
    eg.host.setStream(kRate2, 8.0f);
    eg.host.setStream(kLevel2, 7.0f);
    const uint32_t n1 = stageCount(9.0f, 1, 1000), n2 = stageCount(8.0f, 1, 1000);
    const float t1 = 9.9f / 9.9f, t2 = 7.0f / 9.9f;
    eg.host.setStream(kGateIn, 1.0f);
    const std::vector<float> out = eg.render(40);
    EXPECT_EQ(out[n1 - 1], t1 + (t2 - t1) / static_cast<float>(n2));
}

TEST(OpEgLandmarks, LiftedBaseStartsHoldsAndDrops) {
    Eg eg(44100.0f, 1024);
    eg.openPlain();
    eg.host.setStream(kLevel4, 4.95f);
    eg.host.setStream(kGateIn, 1.0f);
    const std::vector<float> on = eg.render(1400);
    EXPECT_NEAR(on.front(), 0.5f, 0.01f) << "the first sample starts from the base";
    EXPECT_NEAR(on.back(), 1.5f, 1e-6f);
    eg.host.setStream(kGateIn, 0.0f);
    const std::vector<float> off = eg.render(500);
    size_t end = 0;
    while (end < off.size() && off[end] != 0.0f) ++end;
    ASSERT_GT(end, 0u);
    ASSERT_LT(end, off.size());
    EXPECT_NEAR(off[end - 1], 0.5f, 0.01f) << "the release ends from about the base straight to 0";
}

TEST(OpEgLandmarks, EarlyReleaseTakesN4FromWhereverItStarts) {
    for (int32_t fallAt : {3, 8, 14}) {
        Eg eg(1000.0f, 64);
        eg.openPlain();
        eg.host.setStream(kRate1, 8.0f);  // 36-sample attack
        eg.host.setStream(kRate4, 7.0f);  // release of N4 samples
        eg.host.setStream(kLevel4, 1.0f); // base above 0, so the fall to 0 shows
        const int32_t n4 = static_cast<int32_t>(stageCount(7.0f, 1, 1000));
        eg.host.setStream(kGateIn, 1.0f);
        eg.render(fallAt);
        eg.host.setStream(kGateIn, 0.0f);
        const std::vector<float> out = eg.render(n4 + 4);
        size_t end = 0;
        while (end < out.size() && out[end] != 0.0f) ++end;
        EXPECT_NEAR(static_cast<double>(end), n4 - 1, 1.0) << "gate fell at " << fallAt;
    }
}

// A rate far above the top makes a stage of 0 samples: it ends on its
// first sample and lands on its target.
TEST(OpEgLandmarks, ZeroSampleStagesEndOnTheirFirstSample) {
    Eg eg(1000.0f, 64);
    eg.openPlain();
    eg.host.setStream(kLevel2, 7.0f);
    eg.host.setStream(kLevel3, 5.0f);
    for (int32_t k = 0; k < 4; ++k) eg.host.setStream(kRate1 + k, 50.0f);
    eg.host.setStream(kGateIn, 1.0f);
    EXPECT_EQ(eg.render(1)[0], 5.0f / 9.9f) << "every stage passed in one sample, sustain reached";
    eg.host.setStream(kGateIn, 0.0f);
    EXPECT_EQ(eg.render(1)[0], 0.0f) << "the release ends at once";


    Eg single(1000.0f, 64);
    single.openPlain();
    single.host.setStream(kLevel2, 7.0f);
    single.host.setStream(kRate1, 50.0f);
    single.host.setStream(kRate2, 9.0f);
    single.host.setStream(kGateIn, 1.0f);
    const float t1 = 1.0f, t2 = 7.0f / 9.9f;
    EXPECT_EQ(single.render(1)[0], t1 + (t2 - t1) / static_cast<float>(stageCount(9.0f, 1, 1000)))
        << "only the attack was of 0 samples";
}

// ---- output state and sleep ----------------------------------------------------

size_t countStatus(const TestHost &host, int32_t status) {
    size_t n = 0;
    for (const auto &s : host.statusLog) n += (s.pin == kEgOut && s.status == status) ? 1 : 0;
    return n;
}

TEST(OpEgSleep, IdleSlicesReportChangedAndSleepAfterAFullBlock) {
    struct Case {
        const char *name;
        int32_t slice;
        int32_t slices;
        int32_t sleeps;
    };
    // Block size 1024: every idle slice reloads the countdown, so only a
    // slice of a whole block sends Sleep, from the slice after the first
    // Changed report on (the one open's Streaming report ran).
    const Case cases[] = {{"QuarterBlocks", 256, 8, 0}, {"WholeBlocks", 1024, 3, 2}, {"OneSample", 1, 50, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Eg eg(44100.0f, 1024);
        eg.host.open();
        ASSERT_EQ(eg.host.statusLog.size(), 1u);
        EXPECT_EQ(eg.host.statusLog[0].pin, kEgOut);
        EXPECT_EQ(eg.host.statusLog[0].status, QZ_STATUS_STREAMING);
        eg.host.clearLogs();
        for (int32_t i = 0; i < c.slices; ++i) eg.host.run(c.slice);
        EXPECT_EQ(countStatus(eg.host, QZ_STATUS_CHANGED), static_cast<size_t>(c.slices));
        EXPECT_EQ(eg.host.sleepCount, c.sleeps);
    }
}

TEST(OpEgSleep, ANoteStreamsUntilItsReleaseEnds) {
    Eg eg(44100.0f, 1024);
    eg.openPlain();
    eg.host.runBlock();
    eg.host.clearLogs();
    eg.host.setStream(kGateIn, 1.0f);
    ASSERT_EQ(eg.host.statusLog.size(), 1u);
    EXPECT_EQ(eg.host.statusLog[0].status, QZ_STATUS_STREAMING);
    EXPECT_EQ(eg.host.statusLog[0].clock, eg.host.clock);
    for (int i = 0; i < 4; ++i) eg.host.runBlock();
    EXPECT_EQ(countStatus(eg.host, QZ_STATUS_CHANGED), 0u);
    EXPECT_EQ(eg.host.sleepCount, 0);
    EXPECT_NE(eg.host.buffer(kEgOut)[1023], 0.0f);

    eg.host.setStream(kGateIn, 0.0f);
    eg.host.runBlock(); // the 434-sample release ends inside this block
    EXPECT_EQ(countStatus(eg.host, QZ_STATUS_CHANGED), 1u);
    EXPECT_EQ(eg.host.sleepCount, 0) << "one further block is computed first";
    EXPECT_EQ(eg.host.buffer(kEgOut)[1023], 0.0f);
    eg.host.runBlock();
    EXPECT_EQ(countStatus(eg.host, QZ_STATUS_CHANGED), 2u);
    EXPECT_EQ(eg.host.sleepCount, 1);
}

TEST(OpEgSleep, OffReportsChangedEvenWhileStagesRun) {
    Eg eg(44100.0f, 1024);
    eg.openPlain();
    eg.host.setStream(kGateIn, 1.0f);
    eg.host.runBlock();
    eg.host.clearLogs();
    eg.host.setEnum(kOnOff, 0);
    eg.host.run(512);
    EXPECT_EQ(countStatus(eg.host, QZ_STATUS_CHANGED), 1u);
    eg.host.run(512);
    EXPECT_EQ(eg.host.sleepCount, 0) << "slices of half a block never reach the countdown's end";
    eg.host.runBlock();
    EXPECT_EQ(eg.host.sleepCount, 1);
}

TEST(OpEgSleep, ZeroSampleSliceChangesNothing) {
    Eg eg(1000.0f, 64);
    eg.openPlain();
    eg.host.setStream(kGateIn, 1.0f);
    eg.host.clearLogs();
    eg.host.run(0);
    EXPECT_TRUE(eg.host.statusLog.empty());
    EXPECT_EQ(eg.host.sleepCount, 0);
    const std::vector<float> out = eg.render(1);
    EXPECT_EQ(out[0], 1.0f / static_cast<float>(stageCount(9.9f, 1, 1000)));
}

} // namespace
