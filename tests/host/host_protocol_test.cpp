// The host side of the protocol, against the probe plug-in: slicing at event
// times, status and MIDI along wires, sleep with held outputs, queued events,
// the panel link and the first report of every input.
#ifdef QZ_NO_HOST
#include <gtest/gtest.h>
TEST(HostProtocol, NeedsTheHostLibrary) { GTEST_SKIP() << "built without the development host"; }
#else
#include "probe_support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace qz::host;
using namespace qz::probe;

namespace {

constexpr int32_t kBlock = 64;

std::vector<Event> eventsOn(const Instance &inst, int32_t pin, size_t from = 0) {
    std::vector<Event> out;
    const auto &all = logOf(inst).events;
    for (size_t i = from; i < all.size(); ++i)
        if (all[i].pin == pin) out.push_back(all[i]);
    return out;
}

uint32_t bitsOf(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

struct SliceCase {
    const char *name;
    std::vector<int32_t> changes;       // offsets of source changes in the block
    std::vector<std::pair<int32_t, int32_t>> slices; // (offset, count) expected
};

TEST(HostProtocol, SplitsTheBlockAtEveryEventTime) {
    const std::vector<SliceCase> cases = {
        {"no event", {}, {{0, 64}}},
        {"one inside", {10}, {{0, 10}, {10, 54}}},
        {"two inside", {10, 40}, {{0, 10}, {10, 30}, {40, 24}}},
        {"at the start", {0}, {{0, 64}}},
        {"at the last sample", {63}, {{0, 63}, {63, 1}}},
        {"two at one time", {20, 20}, {{0, 20}, {20, 44}}},
    };
    for (const auto &c : cases) {
        Graph g({44100.0f, kBlock, 0});
        Instance &a = g.add("a", probeLibrary());
        Source &src = g.addSource("gate", false);
        g.connectSource(src, a, kSignalIn);
        g.open();
        g.beginBlock();
        g.processBlock();
        const size_t callsBefore = logOf(a).calls.size();
        const size_t eventsBefore = logOf(a).events.size();
        g.beginBlock();
        float v = 0.0f;
        for (int32_t offset : c.changes) src.set(offset, v += 0.25f);
        g.processBlock();
        const auto &calls = logOf(a).calls;
        ASSERT_EQ(calls.size() - callsBefore, c.slices.size()) << c.name;
        for (size_t i = 0; i < c.slices.size(); ++i) {
            const Call &call = calls[callsBefore + i];
            EXPECT_EQ(call.offset, c.slices[i].first) << c.name << " slice " << i;
            EXPECT_EQ(call.count, c.slices[i].second) << c.name << " slice " << i;
            EXPECT_EQ(call.clock, static_cast<uint32_t>(kBlock + call.offset)) << c.name << " slice " << i;
        }
        const auto events = eventsOn(a, kSignalIn, eventsBefore);
        ASSERT_EQ(events.size(), c.changes.size()) << c.name;
        for (size_t i = 0; i < events.size(); ++i) {
            const auto at = static_cast<uint32_t>(kBlock + c.changes[i]);
            EXPECT_EQ(events[i].timeStamp, at) << c.name;
            EXPECT_EQ(events[i].clock, at) << c.name;
            EXPECT_EQ(events[i].status, QZ_STATUS_CHANGED) << c.name;
            // Two changes at one time: both read the later value there.
            const size_t last = (i + 1 < events.size() && c.changes[i + 1] == c.changes[i]) ? i + 1 : i;
            EXPECT_FLOAT_EQ(events[i].value, 0.25f * static_cast<float>(last + 1)) << c.name;
        }
    }
}

TEST(HostProtocol, ReportsEveryInputOnceAtTheFirstBlock) {
    Graph g({44100.0f, kBlock, 1000});
    Instance &up = g.add("up", probeLibrary());
    Instance &a = g.add("a", probeLibrary());
    g.setInput(a, kFlagIn, 1);
    g.setInput(a, kMode, kPass);
    g.connect(up, kSignalOut, a, kSignalIn);
    g.open();
    g.beginBlock();
    g.processBlock();
    const auto &events = logOf(a).events;
    // Signal In, Mode and Flag In (no MIDI), then the Changed that up sends
    // on its output when its own first report arrives.
    ASSERT_EQ(events.size(), 4u);
    for (const Event &e : events) EXPECT_EQ(e.timeStamp, 1000u);
    // Wired: the status the producer reported while opening, and its value.
    EXPECT_EQ(events[0].pin, kSignalIn);
    EXPECT_EQ(events[0].status, QZ_STATUS_STREAMING);
    EXPECT_FLOAT_EQ(events[0].value, 1.0f) << "up has run first: its output is 0 + 1";
    EXPECT_EQ(events[1].pin, kMode);
    EXPECT_EQ(events[1].status, QZ_STATUS_CHANGED);
    EXPECT_EQ(events[2].pin, kFlagIn);
    EXPECT_FLOAT_EQ(events[2].value, 1.0f) << "the set value is in place before the event";
    EXPECT_EQ(events[3].pin, kSignalIn);
    EXPECT_EQ(events[3].status, QZ_STATUS_CHANGED);
    g.beginBlock();
    g.processBlock();
    EXPECT_EQ(logOf(a).events.size(), 4u) << "reported once only";
}

TEST(HostProtocol, CarriesStatusAndMidiAlongWiresAtTheirClock) {
    Graph g({44100.0f, kBlock, 0});
    // Added consumer first: the host must still run the producer first.
    Instance &b = g.add("b", probeLibrary());
    Instance &a = g.add("a", probeLibrary());
    Source &src = g.addSource("gate", false);
    Source &midi = g.addSource("midi", true);
    g.connectSource(src, a, kSignalIn);
    g.connectSource(midi, a, kMidiIn);
    g.connect(a, kSignalOut, b, kSignalIn);
    g.connect(a, kMidiOut, b, kMidiIn);
    g.open();
    ASSERT_EQ(g.order().front(), &a);
    g.beginBlock();
    g.processBlock();
    const size_t before = logOf(b).events.size();
    g.beginBlock();
    src.set(20, 0.5f);
    midi.sendMidi(33, 0x00403C90);
    g.processBlock();
    const auto status = eventsOn(b, kSignalIn, before);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].timeStamp, 84u);
    EXPECT_EQ(status[0].status, QZ_STATUS_CHANGED);
    EXPECT_FLOAT_EQ(status[0].value, 1.5f) << "a's output at the change: 0.5 + 1";
    const auto notes = eventsOn(b, kMidiIn, before);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].kind, QZ_EVENT_MIDI);
    EXPECT_EQ(notes[0].timeStamp, 97u);
    EXPECT_EQ(notes[0].message, 0x00403C90);
    // b is split at both times.
    const auto &calls = logOf(b).calls;
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[calls.size() - 3].count, 20);
    EXPECT_EQ(calls[calls.size() - 2].count, 13);
    EXPECT_EQ(calls[calls.size() - 1].count, 31);
}

TEST(HostProtocol, SleepingInstanceIsNotCalledAndHoldsItsLastValueUntilAnEvent) {
    Graph g({44100.0f, kBlock, 0});
    Instance &a = g.add("a", probeLibrary());
    Source &src = g.addSource("gate", false);
    g.connectSource(src, a, kSignalIn);
    g.setInput(a, kMode, kSleep);
    g.open();
    g.beginBlock();
    src.set(32, 0.5f); // wakes it for the second half
    g.processBlock();
    ASSERT_EQ(logOf(a).calls.size(), 2u);
    EXPECT_TRUE(a.sleeping());
    const float *out = a.buffer(kSignalOut);
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[40], 1.5f);

    g.beginBlock();
    g.processBlock();
    EXPECT_EQ(logOf(a).calls.size(), 2u) << "asleep: not called";
    for (int32_t i = 0; i < kBlock; ++i) ASSERT_FLOAT_EQ(out[i], 1.5f) << "held at sample " << i;

    g.beginBlock();
    src.set(8, 0.25f);
    g.processBlock();
    ASSERT_EQ(logOf(a).calls.size(), 3u) << "the event wakes it";
    EXPECT_EQ(logOf(a).calls.back().offset, 8);
    EXPECT_FLOAT_EQ(out[7], 1.5f);
    EXPECT_FLOAT_EQ(out[8], 1.25f);
    EXPECT_EQ(a.sleepRequests(), 3);
}

TEST(HostProtocol, QueuedEventIsDeliveredAtItsTimeStamp) {
    Graph g({44100.0f, kBlock, 0});
    Instance &a = g.add("a", probeLibrary());
    g.setInput(a, kMode, kEvent);
    g.open();
    g.beginBlock();
    g.processBlock(); // queues an event at 0 + 64 + 7
    g.beginBlock();
    g.processBlock();
    const auto &events = logOf(a).events;
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, 50);
    EXPECT_EQ(events.back().message, 1234);
    EXPECT_EQ(events.back().timeStamp, 71u);
    EXPECT_EQ(events.back().clock, 71u);
    const auto &calls = logOf(a).calls;
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].count, 7);
    EXPECT_EQ(calls[2].offset, 7);
}

TEST(HostProtocol, PanelLinkCarriesTheValueAndPanelOutputsAreWiredOn) {
    Graph g({44100.0f, kBlock, 0});
    Instance &a = g.add("a", probeLibrary());
    Instance &b = g.add("b", probeLibrary());
    ASSERT_NE(a.panel(), nullptr);
    Source &src = g.addSource("gate", false);
    g.connectSource(src, a, kSignalIn);
    g.connectPanel(a, kFlagOut, b, kFlagIn);
    g.open();
    g.beginBlock();
    g.processBlock();
    g.beginBlock();
    src.set(5, 0.75f);
    g.processBlock();
    EXPECT_EQ(a.panelValueBits(kValFromDsp), bitsOf(1.5f)) << "\"Val from DSP\" reads gui_com_pin";
    ASSERT_FALSE(panelLogOf(a).panelValues.empty()) << "opcode 7 reached the panel";
    EXPECT_FLOAT_EQ(panelLogOf(a).panelValues.back(), 1.5f);
    const size_t before = logOf(b).events.size();
    g.beginBlock();
    g.processBlock();
    const auto flags = eventsOn(b, kFlagIn, before);
    ASSERT_EQ(flags.size(), 1u);
    EXPECT_EQ(flags[0].status, QZ_STATUS_CHANGED);
    EXPECT_FLOAT_EQ(flags[0].value, 1.0f) << "the panel's value is written before the event";
    EXPECT_EQ(flags[0].timeStamp, 128u);
}

TEST(HostProtocol, RefusesWiresBetweenIncompatiblePins) {
    struct Case {
        const char *name;
        int32_t from, to;
        const char *message;
    };
    const Case cases[] = {
        {"from an input", kSignalIn, kSignalIn, "Signal In is an input"},
        {"to an output", kSignalOut, kSignalOut, "Signal Out is an output"},
        {"midi to stream", kMidiOut, kSignalIn, "a midi output does not fit a stream input"},
        {"stream to bool", kSignalOut, kFlagIn, "a stream output does not fit a bool input"},
    };
    for (const Case &c : cases) {
        Graph g;
        Instance &a = g.add("a", probeLibrary());
        Instance &b = g.add("b", probeLibrary());
        try {
            g.connect(a, c.from, b, c.to);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const HostError &e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
        }
    }
    Graph g;
    Instance &a = g.add("a", probeLibrary());
    Instance &b = g.add("b", probeLibrary());
    g.connect(a, kSignalOut, b, kSignalIn);
    EXPECT_THROW(g.connect(a, kSignalOut, b, kSignalIn), HostError) << "an input takes one wire";
}

TEST(HostProtocol, ReadsDescriptionsAndSplitsPanelPins) {
    const auto lib = probeLibrary();
    EXPECT_EQ(lib->uniqueId(), "QZ_FakeProbe");
    EXPECT_EQ(lib->processingPins().size(), 7u);
    ASSERT_EQ(lib->panelPins().size(), 2u);
    EXPECT_EQ(lib->panelPins()[0].label, "Val from DSP");
    EXPECT_TRUE(lib->makesPanel());
    const PinInfo &signal = lib->descriptions()[kSignalIn];
    EXPECT_TRUE(signal.hasControl);
    EXPECT_EQ(signal.controlMax, 99.0);
    const PinInfo &mode = lib->descriptions()[kMode];
    EXPECT_EQ(mode.labels, (std::vector<std::string>{"Pass", "Sleep", "Event"}));
    EXPECT_THROW(PluginLibrary::load("/nonexistent/QZ_Nothing.so"), HostError);
}

} // namespace
#endif
