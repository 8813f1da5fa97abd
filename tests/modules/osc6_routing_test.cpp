// QZ_OSC6_v1 routing: every algorithm against the plain model, which of the
// operators sound, and what a change of algorithm leaves behind.
#include "fm_reference.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using qz::test::Plugin;
using qz::test::TestHost;

constexpr int32_t kAlgorithm = 0, kFeedback = 13, kOutputLevel = 14, kAudioOut = 15;
constexpr int32_t pitchPin(int op) { return 2 * op - 1; }
constexpr int32_t egPin(int op) { return 2 * op; }

const Plugin &plugin() {
    static Plugin p("QZ_OSC6_v1");
    return p;
}

struct Algorithm {
    int number;
    const char *modulation, *carriers, *feedback;
};

// The 32 rows: "m<x+y" = operator m is modulated by x and y.
const Algorithm kAlgorithms[] = {
    {1, "1<2;3<4;4<5;5<6", "1+3", "6>6"},       {2, "1<2;3<4;4<5;5<6", "1+3", "2>2"},
    {3, "1<2;2<3;4<5;5<6", "1+4", "6>6"},       {4, "1<2;2<3;4<5;5<6", "1+4", "4>6"},
    {5, "1<2;3<4;5<6", "1+3+5", "6>6"},         {6, "1<2;3<4;5<6", "1+3+5", "5>6"},
    {7, "1<2;3<4+5;5<6", "1+3", "6>6"},         {8, "1<2;3<4+5;5<6", "1+3", "4>4"},
    {9, "1<2;3<4+5;5<6", "1+3", "2>2"},         {10, "1<2;2<3;4<5+6", "1+4", "3>3"},
    {11, "1<2;2<3;4<5+6", "1+4", "6>6"},        {12, "1<2;3<4+5+6", "1+3", "2>2"},
    {13, "1<2;3<4+5+6", "1+3", "6>6"},          {14, "1<2;3<4;4<5+6", "1+3", "6>6"},
    {15, "1<2;3<4;4<5+6", "1+3", "2>2"},        {16, "1<2+3+5;3<4;5<6", "1", "6>6"},
    {17, "1<2+3+5;3<4;5<6", "1", "2>2"},        {18, "1<2+3+4;4<5;5<6", "1", "3>3"},
    {19, "1<2;4<6;5<6", "1+4+5", "6>6"},        {20, "1<3;2<3;4<5+6", "1+2+4", "3>3"},
    {21, "1<3;2<3;4<6;5<6", "1+2+4+5", "3>3"},  {22, "1<2;3<6;4<6;5<6", "1+3+4+5", "6>6"},
    {23, "2<3;4<6;5<6", "1+2+4+5", "6>6"},      {24, "3<6;4<6;5<6", "1+2+3+4+5", "6>6"},
    {25, "4<6;5<6", "1+2+3+4+5", "6>6"},        {26, "2<3;4<5+6", "1+2+4", "6>6"},
    {27, "2<3;4<5+6", "1+2+4", "3>3"},          {28, "1<2;3<4;4<5", "1+3+6", "5>5"},
    {29, "3<4;5<6", "1+2+3+5", "6>6"},          {30, "3<4;4<5", "1+2+3+6", "5>5"},
    {31, "5<6", "1+2+3+4+5", "6>6"},            {32, "", "1+2+3+4+5+6", "6>6"},
};

// Pitches that differ per operator and drift on some samples, envelopes
// that vary, so every route and the one-sample delay show in the output.
float pitchAt(int op, int sample) { return 0.3f + 0.03f * static_cast<float>(op) + 0.0001f * static_cast<float>(sample % 17); }
float envAt(int op, int sample) { return 1.0f - 0.1f * static_cast<float>(op) + 0.0002f * static_cast<float>(sample % 5); }

fmref::Model modelFor(const fmref::Row &row, const std::vector<float> &table, float feedbackLevel, float outputLevel) {
    fmref::Model m(6, 44100.0f);
    m.row = row;
    for (auto &t : m.tables) t = table.data();
    m.feedbackFactor = feedbackLevel / 0.8f;
    m.outputFactor = outputLevel / 10.0f;
    return m;
}

class Osc6Routing : public ::testing::TestWithParam<Algorithm> {};

TEST_P(Osc6Routing, MatchesTheModelSampleForSample) {
    const Algorithm &a = GetParam();
    const std::vector<float> table = fmref::sineTable();
    TestHost host(plugin(), 44100.0f, 512);
    host.writeEnum(kAlgorithm, static_cast<int16_t>(a.number));
    host.fill(kFeedback, 2.0f);
    host.fill(kOutputLevel, 7.5f);
    host.open();
    fmref::Model model = modelFor(fmref::parseRow(6, a.modulation, a.carriers, a.feedback), table, 2.0f, 7.5f);
    std::vector<float> pitches(6), envs(6);
    int sample = 0;
    for (int block = 0; block < 3; ++block) {
        for (int op = 1; op <= 6; ++op)
            for (int n = 0; n < host.blockSize; ++n) {
                host.buffer(pitchPin(op))[n] = pitchAt(op, sample + n);
                host.buffer(egPin(op))[n] = envAt(op, sample + n);
            }
        host.newBlock();
        for (int32_t slice : {100, 0, 1, 411}) host.run(slice);
        for (int n = 0; n < host.blockSize; ++n, ++sample) {
            for (size_t op = 0; op < 6; ++op) {
                pitches[op] = pitchAt(static_cast<int>(op) + 1, sample);
                envs[op] = envAt(static_cast<int>(op) + 1, sample);
            }
            ASSERT_EQ(host.buffer(kAudioOut)[n], model.step(pitches, envs)) << "sample " << sample;
        }
    }
}

// With only operator k's envelope up, the output sounds exactly when k is a
// carrier (operator 3 of algorithm 19 sounds nowhere).
TEST_P(Osc6Routing, OnlyCarriersSound) {
    const Algorithm &a = GetParam();
    const std::vector<int> carriers = fmref::numbers(a.carriers);
    for (int op = 1; op <= 6; ++op) {
        TestHost host(plugin(), 44100.0f, 256);
        host.writeEnum(kAlgorithm, static_cast<int16_t>(a.number));
        for (int o = 1; o <= 6; ++o) host.fill(pitchPin(o), 0.5f);
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

INSTANTIATE_TEST_SUITE_P(All, Osc6Routing, ::testing::ValuesIn(kAlgorithms),
                         [](const auto &info) { return "Algorithm" + std::to_string(info.param.number); });

// A modulator reaches its carrier one sample late. Operator 2 (algorithm 1)
// outputs 0 at sample 0 (phase 0) and a large value at sample 1; operator 1
// takes it into its pitch at sample 2, so its phase, and the output, part
// from the unmodulated carrier at sample 3.
TEST(Osc6RoutingDelay, ModulationArrivesOneSampleLate) {
    TestHost plain(plugin()), modulated(plugin());
    for (TestHost *h : {&plain, &modulated}) {
        h->writeEnum(kAlgorithm, 1);
        h->fill(pitchPin(1), 0.5f);
        h->fill(pitchPin(2), 0.5f);
        h->fill(egPin(1), 1.0f);
        h->fill(kOutputLevel, 9.9f);
    }
    modulated.fill(egPin(2), 100.0f);
    plain.open();
    modulated.open();
    plain.runBlock();
    modulated.runBlock();
    const float *p = plain.buffer(kAudioOut), *m = modulated.buffer(kAudioOut);
    int first = -1;
    for (int n = 0; n < plain.blockSize && first < 0; ++n)
        if (p[n] != m[n]) first = n;
    EXPECT_EQ(first, 3);
}

// After a change of algorithm, the sums the new row neither assigns nor
// feeds back are cleared, so a formerly modulated operator plays at its own
// pitch again; the row itself applies from the next sample.
TEST(Osc6RoutingChange, StaleModulationIsCleared) {
    const std::vector<float> table = fmref::sineTable();
    TestHost host(plugin(), 44100.0f, 256);
    host.writeEnum(kAlgorithm, 1);
    for (int op = 1; op <= 6; ++op) {
        host.fill(pitchPin(op), 0.4f + 0.02f * static_cast<float>(op));
        host.fill(egPin(op), 1.0f);
    }
    host.fill(kFeedback, 3.0f);
    host.fill(kOutputLevel, 9.9f);
    host.open();

    fmref::Model cleared = modelFor(fmref::parseRow(6, "1<2;3<4;4<5;5<6", "1+3", "6>6"), table, 3.0f, 9.9f);
    std::vector<float> pitches(6), envs(6, 1.0f);
    for (size_t op = 0; op < 6; ++op) pitches[op] = 0.4f + 0.02f * static_cast<float>(op + 1);
    host.runBlock();
    for (int n = 0; n < host.blockSize; ++n) cleared.step(pitches, envs);

    host.setEnum(kAlgorithm, 32);
    fmref::Model stale = cleared;
    stale.row = cleared.row = fmref::parseRow(6, "", "1+2+3+4+5+6", "6>6");
    for (size_t op = 0; op < 5; ++op) cleared.mod[op] = 0.0f; // 6 stays: it is fed back
    bool staleDiffers = false;
    for (int block = 0; block < 2; ++block) {
        host.runBlock();
        for (int n = 0; n < host.blockSize; ++n) {
            const float out = host.buffer(kAudioOut)[n];
            ASSERT_EQ(out, cleared.step(pitches, envs)) << "block " << block << " sample " << n;
            if (out != stale.step(pitches, envs)) staleDiffers = true;
        }
    }
    EXPECT_TRUE(staleDiffers) << "the case must tell cleared from stale sums";
}

// Outside 1..32 nothing sounds, nothing is routed or fed back, and a valid
// number brings the routing back.
TEST(Osc6RoutingChange, UnknownAlgorithmIsSilentAndRecovers) {
    for (int16_t number : {0, -1, 33, 32767}) {
        SCOPED_TRACE("algorithm " + std::to_string(number));
        TestHost host(plugin(), 44100.0f, 256);
        host.writeEnum(kAlgorithm, number);
        for (int op = 1; op <= 6; ++op) {
            host.fill(pitchPin(op), 0.5f);
            host.fill(egPin(op), 1.0f);
        }
        host.fill(kFeedback, 7.0f);
        host.fill(kOutputLevel, 9.9f);
        host.open();
        host.runBlock();
        for (int n = 0; n < host.blockSize; ++n) ASSERT_EQ(host.buffer(kAudioOut)[n], 0.0f);
        host.setEnum(kAlgorithm, 32);
        host.runBlock();
        EXPECT_NE(host.buffer(kAudioOut)[10], 0.0f);
    }
}

} // namespace
