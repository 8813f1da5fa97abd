// QZ_Transposer_v1 through its built library.
#include "test_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using qz::test::Plugin;
using qz::test::TestHost;

constexpr int32_t kMidiIn = 0, kTranspose = 1, kMidiOut = 2;

int32_t msg(uint32_t status, uint32_t d1, uint32_t d2) { return static_cast<int32_t>(status | d1 << 8 | d2 << 16); }

const Plugin &plugin() {
    static Plugin p("QZ_Transposer_v1");
    return p;
}

TEST(Transposer, Properties) {
    QzModuleProperties p{};
    p.flags = 11;
    p.guiFlags = 22;
    ASSERT_EQ(plugin().getModuleProperties(0, &p), 1);
    EXPECT_STREQ(p.name, "QZ_Transposer");
    EXPECT_STREQ(p.uniqueId, "QZ_Transposer_v1");
    EXPECT_STREQ(p.about, "by Tobin R\n\nModified to match Veltro by Orwin Malvane.\n\nTranspose +- 2 octaves.");
    EXPECT_EQ(p.flags, 11) << "not written";
    EXPECT_EQ(p.guiFlags, 22) << "not written";
    EXPECT_EQ(p.frameworkVersion, 2230);

    QzModuleProperties other{};
    other.name = "untouched";
    EXPECT_EQ(plugin().getModuleProperties(1, &other), 0);
    EXPECT_STREQ(other.name, "untouched");
    EXPECT_EQ(other.frameworkVersion, 2230);
    EXPECT_EQ(plugin().getModuleProperties(0, nullptr), 0);
}

TEST(Transposer, MakesOnlyProcessingInstances) {
    EXPECT_EQ(plugin().makeModule(0, QZ_PROFILE_PANEL, nullptr, nullptr), nullptr);
    EXPECT_EQ(plugin().makeModule(1, QZ_PROFILE_PROCESSING, nullptr, nullptr), nullptr);
    EXPECT_EQ(plugin().makeModule(0, 7, nullptr, nullptr), nullptr);
}

TEST(Transposer, PinTable) {
    struct Expected {
        const char *name;
        int32_t direction, dataType;
        const char *defaultText, *range;
        bool variable;
    };
    const Expected expected[] = {{"MIDI In", QZ_DIR_IN, QZ_DT_MIDI, nullptr, nullptr, false},
                                 {"Transpose", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "range -24,24", true},
                                 {"MIDI Out", QZ_DIR_OUT, QZ_DT_MIDI, nullptr, nullptr, false}};
    TestHost host(plugin());
    ASSERT_EQ(host.pins.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const QzPinDescription &d = host.pins[i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_STREQ(d.name, expected[i].name);
        EXPECT_EQ(d.direction, expected[i].direction);
        EXPECT_EQ(d.dataType, expected[i].dataType);
        EXPECT_EQ(d.defaultValue == nullptr, expected[i].defaultText == nullptr);
        if (expected[i].defaultText != nullptr) {
            EXPECT_STREQ(d.defaultValue, expected[i].defaultText);
        }
        EXPECT_EQ(d.datatypeExtra == nullptr, expected[i].range == nullptr);
        if (expected[i].range != nullptr) {
            EXPECT_STREQ(d.datatypeExtra, expected[i].range);
        }
        EXPECT_EQ(d.variable != nullptr, expected[i].variable);
        EXPECT_EQ(d.flags, 0);
    }
    QzPinDescription none{};
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, 3, 0, &none), 0);
    EXPECT_EQ(none.name, nullptr);
}

struct MidiCase {
    std::string name;
    int16_t transpose;
    int32_t in;
    int32_t out;
};

class TransposerMidi : public ::testing::TestWithParam<MidiCase> {};

TEST_P(TransposerMidi, OneMessageOutForEachInAtTheSameClock) {
    const MidiCase &c = GetParam();
    TestHost host(plugin());
    host.open();
    host.setEnum(kTranspose, c.transpose);
    host.clearLogs();
    host.sendMidiAt(kMidiIn, c.in, 77777);
    ASSERT_EQ(host.midiLog.size(), 1u);
    EXPECT_EQ(host.midiLog[0].pin, kMidiOut);
    EXPECT_EQ(host.midiLog[0].clock, 77777u);
    EXPECT_EQ(static_cast<uint32_t>(host.midiLog[0].message), static_cast<uint32_t>(c.out))
        << std::hex << "in 0x" << c.in;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransposerMidi,
    ::testing::Values(MidiCase{"OctaveUp", 12, msg(0x90, 60, 100), msg(0x90, 72, 100)},
                      MidiCase{"ClampedAtTop", 12, msg(0x90, 120, 100), msg(0x90, 127, 100)},
                      MidiCase{"NoteOffClampedAtBottom", -24, msg(0x83, 5, 64), msg(0x83, 0, 64)},
                      MidiCase{"DownToZeroExactly", -24, msg(0x90, 24, 1), msg(0x90, 0, 1)},
                      MidiCase{"DownBelowZero", -24, msg(0x90, 23, 1), msg(0x90, 0, 1)},
                      MidiCase{"NoteOnVelocityZero", 5, msg(0x9F, 60, 0), msg(0x9F, 65, 0)},
                      MidiCase{"ChannelKept", -1, msg(0x8A, 0, 0), msg(0x8A, 0, 0)},
                      MidiCase{"KeyAbove127ComesInAsIs", 0, msg(0x90, 200, 3), msg(0x90, 127, 3)},
                      MidiCase{"ControlChangeUntouched", 7, msg(0xB0, 1, 64), msg(0xB0, 1, 64)},
                      MidiCase{"PolyPressureUntouched", 7, msg(0xA0, 60, 10), msg(0xA0, 60, 10)},
                      MidiCase{"PitchBendUntouched", 24, msg(0xE3, 0, 64), msg(0xE3, 0, 64)},
                      MidiCase{"ClockUntouched", 24, 0xF8, 0xF8},
                      MidiCase{"SysexStartUntouched", -24, msg(0xF0, 0x43, 0x10), msg(0xF0, 0x43, 0x10)},
                      MidiCase{"HighBitsClearedOnNotes", 0, static_cast<int32_t>(0xAB000000u) | msg(0x90, 60, 100),
                               msg(0x90, 60, 100)},
                      MidiCase{"HighBitsKeptOnOthers", 0, static_cast<int32_t>(0xAB000000u) | msg(0xB0, 1, 2),
                               static_cast<int32_t>(0xAB000000u) | msg(0xB0, 1, 2)}),
    [](const auto &info) { return info.param.name; });

TEST(Transposer, NoteOffUsesTheTransposeOfItsOwnMoment) {
    TestHost host(plugin());
    host.open();
    host.setEnum(kTranspose, 3);
    host.sendMidi(kMidiIn, msg(0x90, 60, 90));
    host.setEnum(kTranspose, -3);
    host.sendMidi(kMidiIn, msg(0x80, 60, 0));
    ASSERT_EQ(host.midiLog.size(), 2u);
    EXPECT_EQ(host.midiLog[0].message, msg(0x90, 63, 90));
    EXPECT_EQ(host.midiLog[1].message, msg(0x80, 57, 0));
}

TEST(Transposer, SleepsAndKeepsHandlingMidi) {
    TestHost host(plugin());
    host.open();
    EXPECT_EQ(host.subProcessChanges, 1);
    host.runBlock();
    host.run(0);
    EXPECT_EQ(host.sleepCount, 2);
    EXPECT_TRUE(host.statusLog.empty());
    host.sendMidi(kMidiIn, msg(0x90, 1, 1));
    EXPECT_EQ(host.midiLog.size(), 1u);
}

TEST(Transposer, WithoutAnOutputPinItSendsNothing) {
    TestHost host(plugin(), 44100.0f, 64, 2);
    host.open();
    host.sendMidi(kMidiIn, msg(0x90, 60, 100));
    EXPECT_TRUE(host.midiLog.empty());
}

} // namespace
