// A whole six-operator voice: six frequency controllers and six operator
// envelope generators feed the six-operator oscillator through the test
// host, their buffers passed along as a patch wires them. A note starts,
// sustains and releases, and the voice goes to sleep.
#include "test_host.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using qz::test::Plugin;
using qz::test::TestHost;

constexpr float kRate = 44100.0f;
constexpr int32_t kBlock = 1024;

// Controller pins.
constexpr int32_t kPitchIn = 0, kCourseRatio = 2, kDetune = 5, kPitchOut = 8;
// Envelope generator pins.
constexpr int32_t kOnOff = 0, kMidiIn = 1, kGateIn = 2, kRate1 = 3, kLevel1 = 8, kLevel4 = 11, kEgLevel = 12,
                  kEgOut = 23;
// Oscillator pins.
constexpr int32_t kAlgorithm = 0, kOscOutputLevel = 14, kAudioOut = 15;
constexpr int32_t oscPitch(size_t op) { return 1 + 2 * static_cast<int32_t>(op); }
constexpr int32_t oscEg(size_t op) { return 2 + 2 * static_cast<int32_t>(op); }

// One instance in a host that honours Sleep: once asleep it is not called
// until an event reaches it, while the sample clock runs on.
struct Node {
    TestHost host;
    bool asleep = false;
    size_t reported = 0; // statuses already passed on

    explicit Node(const Plugin &plugin) : host(plugin, kRate, kBlock) {}

    void runBlock() {
        if (asleep) {
            host.clock += kBlock;
            host.newBlock();
            return;
        }
        const int32_t before = host.sleepCount;
        host.runBlock();
        asleep = host.sleepCount > before;
    }
    void setStream(int32_t pin, float v) { host.setStream(pin, v), asleep = false; }
    void setEnum(int32_t pin, int16_t v) { host.setEnum(pin, v), asleep = false; }
    void sendStatus(int32_t pin, int32_t status) { host.sendStatus(pin, status), asleep = false; }
};

bool built(const std::string &name) { return access(qz::test::pluginPath(name).c_str(), R_OK) == 0; }

class Voice : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *name : {"QZ_OSC6_v1", "QZ_OpEG_v1", "QZ_FreqController_v1"}) {
            if (!built(name)) GTEST_SKIP() << name << " is not part of this build";
        }
        oscPlugin_ = std::make_unique<Plugin>("QZ_OSC6_v1");
        egPlugin_ = std::make_unique<Plugin>("QZ_OpEG_v1");
        fcPlugin_ = std::make_unique<Plugin>("QZ_FreqController_v1");
        osc_ = std::make_unique<Node>(*oscPlugin_);
        played_.assign(kBlock, 0.5f); // 440 Hz
        for (size_t op = 0; op < 6; ++op) {
            fc_[op] = std::make_unique<Node>(*fcPlugin_);
            eg_[op] = std::make_unique<Node>(*egPlugin_);
            fc_[op]->host.useBuffer(kPitchIn, played_.data());
            osc_->host.useBuffer(oscPitch(op), fc_[op]->host.buffer(kPitchOut));
            osc_->host.useBuffer(oscEg(op), eg_[op]->host.buffer(kEgOut));
        }
        osc_->host.writeEnum(kAlgorithm, 5); // three pairs: 2 on 1, 4 on 3, 6 on 5
        osc_->host.fill(kOscOutputLevel, 9.9f);
        osc_->host.open();

        const int16_t ratios[6] = {1, 2, 1, 3, 2, 1};
        for (size_t op = 0; op < 6; ++op) {
            Node &fc = *fc_[op];
            fc.host.open();
            fc.setEnum(kCourseRatio, ratios[op]);
            fc.setEnum(kDetune, static_cast<int16_t>(6 + op % 3));

            Node &eg = *eg_[op];
            eg.host.open();
            eg.setEnum(kOnOff, 1);
            const bool carrier = op % 2 == 0;
            eg.setStream(kEgLevel, carrier ? 9.9f : 6.0f);
            const float levels[4] = {9.9f, 8.0f, 7.0f, 0.0f};
            const float rates[4] = {9.0f, 8.0f, 8.0f, 7.0f}; // 810, 1620, 1620 and 3241 samples
            for (int32_t k = 0; k < 4; ++k) {
                eg.setStream(kLevel1 + k, levels[k]);
                eg.setStream(kRate1 + k, rates[k]);
            }
            eg.host.sendMidi(kMidiIn, 0x90 | 60 << 8 | 100 << 16);
        }
        passStatuses();
    }

    // What a host does with the statuses the envelopes report: it delivers
    // them to the oscillator pins they are wired to.
    void passStatuses() {
        for (size_t op = 0; op < 6; ++op) {
            auto &log = eg_[op]->host.statusLog;
            for (; eg_[op]->reported < log.size(); ++eg_[op]->reported) {
                const auto &s = log[eg_[op]->reported];
                if (s.pin == kEgOut) osc_->sendStatus(oscEg(op), s.status);
            }
        }
    }

    void gate(float v) {
        for (auto &eg : eg_) eg->setStream(kGateIn, v);
        passStatuses();
    }

    // One block for every module, the sources first; returns the audio.
    std::vector<float> block() {
        for (auto &fc : fc_) fc->runBlock();
        for (auto &eg : eg_) eg->runBlock();
        passStatuses();
        osc_->runBlock();
        const float *audio = osc_->host.buffer(kAudioOut);
        return {audio, audio + kBlock};
    }

    static double rms(const std::vector<float> &v) {
        double sum = 0;
        for (float x : v) sum += static_cast<double>(x) * static_cast<double>(x);
        return std::sqrt(sum / static_cast<double>(v.size()));
    }

    std::unique_ptr<Plugin> oscPlugin_, egPlugin_, fcPlugin_;
    std::unique_ptr<Node> osc_;
    std::array<std::unique_ptr<Node>, 6> fc_, eg_;
    std::vector<float> played_;
};

TEST_F(Voice, NoteStartsSustainsAndReleasesIntoSleep) {
    // Before the note: silence, and the envelopes and the oscillator sleep.
    for (int i = 0; i < 3; ++i) {
        for (float x : block()) ASSERT_EQ(x, 0.0f);
    }
    EXPECT_TRUE(osc_->asleep);
    for (auto &eg : eg_) EXPECT_TRUE(eg->asleep);

    // The note: the gate wakes every envelope, whose Streaming report
    // wakes the oscillator.
    gate(1.0f);
    EXPECT_FALSE(osc_->asleep);
    std::vector<double> levels;
    for (int i = 0; i < 8; ++i) {
        const std::vector<float> audio = block();
        for (float x : audio) {
            ASSERT_TRUE(std::isfinite(x));
            ASSERT_LE(std::fabs(x), 1.5f) << "three carriers at 0.1, times 5 and the output level";
        }
        levels.push_back(rms(audio));
    }
    EXPECT_GT(levels[0], 0.01) << "the attack sounds in its first block";
    EXPECT_FALSE(osc_->asleep);

    // Sustain: each envelope holds level 3 times its output level, and the
    // voice keeps its loudness from block to block.
    for (size_t op = 0; op < 6; ++op) {
        const float held = (7.0f / 9.9f + 0.0f) * ((op % 2 == 0 ? 9.9f : 6.0f) / 9.9f);
        const float *env = eg_[op]->host.buffer(kEgOut);
        EXPECT_EQ(env[0], held) << "operator " << op + 1;
        EXPECT_EQ(env[kBlock - 1], held) << "operator " << op + 1;
    }
    EXPECT_NEAR(levels[7], levels[6], 0.15 * levels[6]);
    EXPECT_GT(levels[7], 0.05);
    for (auto &fc : fc_) EXPECT_FALSE(fc->asleep);

    // Release: 3241 samples to silence, then a block more before each
    // module asks to sleep.
    gate(0.0f);
    std::vector<double> release;
    for (int i = 0; i < 7; ++i) release.push_back(rms(block()));
    EXPECT_GT(release[0], 0.0);
    EXPECT_LT(release[2], release[0]) << "the release fades";
    EXPECT_EQ(release[5], 0.0);
    EXPECT_EQ(release[6], 0.0);
    for (auto &eg : eg_) EXPECT_TRUE(eg->asleep);
    EXPECT_TRUE(osc_->asleep);
    for (auto &fc : fc_) {
        EXPECT_FALSE(fc->asleep) << "the controllers always stream";
        EXPECT_EQ(fc->host.sleepCount, 0);
    }

    // A second note wakes the voice again.
    gate(1.0f);
    EXPECT_GT(rms(block()), 0.01);
}

} // namespace
