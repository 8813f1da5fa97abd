// Polyphony with the probe as the voice: the gate follows note-on, note-off
// and the sustain pedal at the messages' sample offsets.
#if defined(QZ_NO_HOST)
#include <gtest/gtest.h>
TEST(VoiceEngine, NeedsTheHostLibrary) { GTEST_SKIP() << "built without the development host"; }
#else
#include "voice_engine.h"

#include <gtest/gtest.h>

using namespace qz::host;

namespace {

constexpr int32_t kBlock = 64;

// One probe a voice: its output is the voice's gate + 1.
const char *kPatch = R"({"modules": {"p": {"plugin": "QZ_FakeProbe"}},
  "inputs": {"midi": "p.MIDI In", "gate": "p.Signal In"}, "output": "p.Signal Out"})";

struct Step {
    const char *name;
    std::vector<TimedMidi> messages;
    int32_t at;         // a sample of the block
    float before, from; // output before `at` and from `at` on
};

TEST(VoiceEngine, GateFollowsNotesAndTheSustainPedal) {
    PluginCatalog catalog({QZ_FAKE_DIR});
    const Patch patch = Patch::parse(kPatch, "probe voice");
    VoiceEngine engine(patch, catalog, {44100.0f, kBlock, 2});
    const std::vector<Step> steps = {
        {"note on", {{10, 0x90, 60, 100}}, 10, 1.0f, 2.0f},
        {"pedal down, note off held", {{0, 0xB0, 64, 127}, {20, 0x80, 60, 0}}, 20, 2.0f, 2.0f},
        {"pedal up releases", {{30, 0xB0, 64, 0}}, 30, 2.0f, 1.0f},
        {"note on again", {{5, 0x90, 62, 90}}, 5, 1.0f, 2.0f},
        {"velocity 0 is a note off", {{40, 0x90, 62, 0}}, 40, 2.0f, 1.0f},
        {"other channel's pedal holds nothing", {{0, 0xB1, 64, 127}, {8, 0x90, 64, 90}, {16, 0x80, 64, 0}}, 16, 2.0f, 1.0f},
    };
    std::vector<float> out(kBlock);
    for (const Step &s : steps) {
        engine.renderBlock(s.messages.data(), s.messages.size(), out.data());
        // The probe voices never sleep: every voice used stays in the mix at
        // gate 0 + 1, so count from the busy voices other than this one.
        const float others = static_cast<float>(engine.busyVoices() - 1);
        EXPECT_FLOAT_EQ(out[static_cast<size_t>(s.at) - (s.at > 0 ? 1 : 0)] - others, s.at > 0 ? s.before : s.from)
            << s.name;
        EXPECT_FLOAT_EQ(out[static_cast<size_t>(s.at)] - others, s.from) << s.name;
        EXPECT_FLOAT_EQ(out[kBlock - 1] - others, s.from) << s.name;
    }
    EXPECT_EQ(engine.stats().notesPlayed, 3);
    EXPECT_EQ(engine.stats().notesStolen, 1) << "the third note with two busy voices";
}

} // namespace
#endif
