// The processing-side framework, observed through the record and the host
// requests, with a fixture module whose pin descriptions each test chooses.
#include "module_base.h"
#include "plugin_entry.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qz::test::TestHost;

struct Described {
    const char *name;
    int32_t dataType;
    int32_t flags;
    bool withVariable;
};

// Descriptions of the next fixture instance, and what it observed.
std::vector<Described> gDescriptions;
struct Observed {
    std::vector<std::pair<int32_t, int32_t>> statusChanges; // pin, status seen inside the handler
    std::vector<std::pair<uint32_t, int32_t>> midi;         // clock, message
    std::vector<int16_t> midiPins;
    int32_t notify8 = 0;
    std::vector<int32_t> notify8Index;
    int32_t deferred = 0;
    int32_t mainCalls = 0;
    bool destroyed = false;
} gSeen;

class Fixture : public qz::ModuleBase {
public:
    Fixture(QzHostCallback host, void *data) : ModuleBase(host, data) {}
    ~Fixture() override { gSeen.destroyed = true; }

    bool getPinProperties(int32_t index, QzPinDescription &d) override {
        if (index < 0 || static_cast<size_t>(index) >= gDescriptions.size()) return false;
        const Described &x = gDescriptions[static_cast<size_t>(index)];
        d.name = x.name;
        d.dataType = x.dataType;
        d.flags = x.flags;
        d.direction = QZ_DIR_IN;
        if (x.withVariable) d.variable = &variables_[index];
        return true;
    }
    void onPinStatusChanged(qz::Pin &pin) override { gSeen.statusChanges.emplace_back(pin.getIndex(), pin.getStatus()); }
    void onMidiData(uint32_t clock, int32_t message, int16_t pin) override {
        gSeen.midi.emplace_back(clock, message);
        gSeen.midiPins.push_back(pin);
    }
    void hostNotify8() override { ++gSeen.notify8; }
    void hostNotify8Index(int32_t index) override { gSeen.notify8Index.push_back(index); }

    // Operations the tests reach through the module's own interface.
    void useCounting(bool reportEachCall) {
        reportEachCall_ = reportEachCall;
        setMainSubProcess(subProcessOf<&Fixture::process>(), 0);
    }
    void report(int32_t status) { setOutputState(status); }
    void choose(QzSubProcess f) { setSubProcess(f); }
    void deferOne(uint32_t time) { queueCall<&Fixture::deferredWork>(time); }
    void deferredWork() { ++gSeen.deferred; }
    void process(int32_t, int32_t) {
        ++gSeen.mainCalls;
        if (reportEachCall_) setOutputState(QZ_STATUS_CHANGED);
    }

    void *variables_[16] = {};

private:
    bool reportEachCall_ = false;
};

Fixture *objectOf(TestHost &host) { return static_cast<Fixture *>(static_cast<qz::ModuleBase *>(host.record->object)); }

void *QZ_CALL makeFixture(int32_t index, int32_t profile, QzHostCallback host, void *data) {
    return qz::makeInstance<Fixture, void>(index, profile, host, data);
}

class ModuleBaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        gSeen = Observed{};
        gDescriptions = {{"A", QZ_DT_STREAM, 0, true}, {"B", QZ_DT_ENUMERATION, 0, true}, {"C", QZ_DT_FLOAT, 0, false}};
    }
};

// ---- the record and the dispatcher ------------------------------------------

TEST_F(ModuleBaseTest, FreshRecordHasItsConstructionValues) {
    TestHost host(&makeFixture);
    const QzModuleRecord &r = *host.record;
    EXPECT_EQ(r.magic, 0x5345504Cu);
    EXPECT_EQ(r.version, 1);
    EXPECT_EQ(r.hostData, &host);
    EXPECT_EQ(r.object, static_cast<void *>(static_cast<qz::ModuleBase *>(objectOf(host))));
    EXPECT_EQ(r.reserved, 0);
    for (uint8_t b : r.spare) EXPECT_EQ(b, 0);
    ASSERT_NE(r.subProcess, nullptr);
    r.subProcess(r.object, 0, 16); // before Open: does nothing
    EXPECT_EQ(host.sleepCount + host.subProcessChanges + static_cast<int>(host.statusLog.size()), 0);
    EXPECT_EQ(objectOf(host)->getSampleRate(), 44100.0f);
    EXPECT_EQ(objectOf(host)->getBlockSize(), 1024);
}

TEST_F(ModuleBaseTest, UnknownOpcodesAnswerZeroAndChangeNothing) {
    TestHost host(&makeFixture, 48000.0f, 512);
    host.open();
    host.clearLogs();
    const QzSubProcess before = host.record->subProcess;
    for (int32_t opcode : {4, 5, 7, 9, 10, 11, 14, 100, -1}) {
        EXPECT_EQ(host.dispatch(opcode, 1, 2, nullptr, 3.0f), 0) << "opcode " << opcode;
    }
    EXPECT_EQ(host.record->subProcess, before);
    EXPECT_EQ(objectOf(host)->getSampleRate(), 48000.0f);
    EXPECT_EQ(objectOf(host)->getBlockSize(), 512);
    EXPECT_TRUE(host.otherRequests.empty());
    EXPECT_EQ(host.subProcessChanges, 0);
}

TEST_F(ModuleBaseTest, CloseAnswersOneAndFreesTheInstance) {
    TestHost host(&makeFixture);
    host.open();
    EXPECT_EQ(host.dispatch(QZ_OP_CLOSE), 1);
    EXPECT_TRUE(gSeen.destroyed);
    host.record = nullptr;
}

TEST_F(ModuleBaseTest, SampleRateAndBlockSizeAreStored) {
    TestHost host(&makeFixture, 96000.0f, 64);
    host.open();
    EXPECT_EQ(objectOf(host)->getSampleRate(), 96000.0f);
    host.dispatch(QZ_OP_SET_SAMPLE_RATE, 0, 0, nullptr, 22050.0f);
    host.dispatch(QZ_OP_SET_BLOCK_SIZE, 0, 128);
    EXPECT_EQ(objectOf(host)->getSampleRate(), 22050.0f);
    EXPECT_EQ(objectOf(host)->getBlockSize(), 128);
}

TEST_F(ModuleBaseTest, GetPinPropertiesAnswersByIndexAndLeavesUnknownRecordsAlone) {
    TestHost host(&makeFixture);
    QzPinDescription d{};
    d.spare = 77;
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, 1, 0, &d), 1);
    EXPECT_STREQ(d.name, "B");
    QzPinDescription untouched{};
    untouched.flags = 0x1234;
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, 3, 0, &untouched), 0);
    EXPECT_EQ(untouched.flags, 0x1234);
    EXPECT_EQ(untouched.name, nullptr);
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, 0, 0, nullptr), 0) << "no record to fill";
}

TEST_F(ModuleBaseTest, HostNotify8RunsTheSecondHookOnlyForPositiveIndexes) {
    TestHost host(&makeFixture);
    host.dispatch(QZ_OP_HOST_NOTIFY8, 0);
    EXPECT_EQ(gSeen.notify8, 1);
    EXPECT_TRUE(gSeen.notify8Index.empty());
    host.dispatch(QZ_OP_HOST_NOTIFY8, 3);
    EXPECT_EQ(gSeen.notify8, 2);
    EXPECT_EQ(gSeen.notify8Index, std::vector<int32_t>{3});
    EXPECT_EQ(host.dispatch(QZ_OP_HOST_NOTIFY12, 1, 2, nullptr), 0);
}

TEST_F(ModuleBaseTest, SubProcessInfoPointsAtTheCurrentDescriptor) {
    TestHost host(&makeFixture);
    host.open();
    objectOf(host)->useCounting(false);
    const auto *info = reinterpret_cast<const QzSubProcessInfo *>(host.dispatch(QZ_OP_GET_SUB_PROCESS_INFO));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->one, 1);
    EXPECT_EQ(info->descriptorBytes, 16);
    EXPECT_EQ(info->reserved, 0);
    ASSERT_NE(info->descriptor, nullptr);
    EXPECT_EQ(info->descriptor->function, host.record->subProcess);
    for (void *word : info->descriptor->reserved) EXPECT_EQ(word, nullptr);
}

TEST_F(ModuleBaseTest, SetSubProcessWithTheCurrentFunctionSendsNothing) {
    TestHost host(&makeFixture);
    host.open();
    host.clearLogs();
    const QzSubProcess f = qz::ModuleBase::subProcessOf<&Fixture::process>();
    objectOf(host)->choose(f);
    objectOf(host)->choose(f);
    EXPECT_EQ(host.subProcessChanges, 1);
    EXPECT_EQ(host.record->subProcess, f);
}

// ---- the pin table ------------------------------------------------------------

struct WalkCase {
    std::string name;
    std::vector<Described> descriptions;
    int32_t pinCount;
    std::vector<std::string> expectedPins; // names, or "dup" for an AutoDuplicate pin, "" for not set up
    std::vector<int32_t> bufferRequests;   // GetPinBuffer indexes expected
};

class PinWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(PinWalk, BuildsTheTableTheHostExpects) {
    const WalkCase &c = GetParam();
    gSeen = Observed{};
    gDescriptions = c.descriptions;
    TestHost host(&makeFixture, 44100.0f, 64, c.pinCount);
    host.pinCount = c.pinCount; // also a negative count, which the constructor reads as "as described"
    host.open();
    qz::ModuleBase &m = *objectOf(host);
    EXPECT_EQ(m.getPinCount(), c.pinCount > 0 ? c.pinCount : 0);
    for (size_t p = 0; p < c.expectedPins.size(); ++p) {
        const qz::Pin *pin = m.getPin(static_cast<int32_t>(p));
        if (c.expectedPins[p].empty()) {
            EXPECT_EQ(pin, nullptr) << "pin " << p << " should not be set up";
            continue;
        }
        ASSERT_NE(pin, nullptr) << "pin " << p;
        EXPECT_EQ(pin->getIndex(), static_cast<int32_t>(p));
        EXPECT_EQ(pin->getStatus(), QZ_STATUS_STOPPED);
        if (c.expectedPins[p] == "dup") {
            EXPECT_EQ(pin->getDataType(), c.descriptions.back().dataType);
        } else {
            size_t d = 0;
            while (c.descriptions[d].name != c.expectedPins[p]) ++d;
            EXPECT_EQ(pin->getDataType(), c.descriptions[d].dataType) << "pin " << p;
            if (c.descriptions[d].withVariable) {
                EXPECT_EQ(pin->getVariable(), &static_cast<Fixture &>(m).variables_[d]);
            }
        }
    }
    EXPECT_EQ(m.getPin(-1), nullptr);
    EXPECT_EQ(m.getPin(c.pinCount), nullptr);
    EXPECT_EQ(host.bufferRequests, static_cast<int32_t>(c.bufferRequests.size()));
    // A Stream pin without a variable reads the buffer GetPinBuffer gave.
    for (int32_t index : c.bufferRequests) {
        const qz::Pin *pin = m.getPin(index);
        ASSERT_NE(pin, nullptr);
        EXPECT_EQ(*static_cast<float *const *>(pin->getVariable()), host.buffer(index)) << "pin " << index;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PinWalk,
    ::testing::Values(
        WalkCase{"PanelPinSkipped",
                 {{"A", QZ_DT_FLOAT, 0, true}, {"B", QZ_DT_FLOAT, QZ_PIN_GUI_SIDE, true}, {"C", QZ_DT_FLOAT, 0, true}},
                 2, {"A", "C"}, {}},
        WalkCase{"BothSidesKept",
                 {{"A", QZ_DT_FLOAT, 0, true},
                  {"B", QZ_DT_INTEGER, QZ_PIN_GUI_SIDE | QZ_PIN_BOTH_SIDES, true},
                  {"C", QZ_DT_FLOAT, 0, true}},
                 3, {"A", "B", "C"}, {}},
        WalkCase{"AutoDuplicateFillsUpWithBuffers",
                 {{"A", QZ_DT_ENUMERATION, 0, true}, {"B", QZ_DT_FLOAT, 0, true}, {"C", QZ_DT_STREAM, QZ_PIN_AUTO_DUPLICATE, true}},
                 5, {"A", "B", "C", "dup", "dup"}, {3, 4}},
        WalkCase{"AutoDuplicateOnAPanelPinIsNotKept",
                 {{"A", QZ_DT_FLOAT, 0, true}, {"B", QZ_DT_STREAM, QZ_PIN_AUTO_DUPLICATE | QZ_PIN_GUI_SIDE, true}},
                 3, {"A", "", ""}, {}},
        WalkCase{"MorePinsWithoutDuplicateStayEmpty",
                 {{"A", QZ_DT_FLOAT, 0, true}, {"B", QZ_DT_STREAM, 0, false}},
                 4, {"A", "B", "", ""}, {1}},
        WalkCase{"FewerPinsStopTheWalk",
                 {{"A", QZ_DT_FLOAT, 0, true}, {"B", QZ_DT_STREAM, 0, false}, {"C", QZ_DT_STREAM, 0, false}},
                 2, {"A", "B"}, {1}},
        WalkCase{"NoPins", {{"A", QZ_DT_FLOAT, 0, true}}, 0, {}, {}},
        WalkCase{"NegativePinCount", {{"A", QZ_DT_FLOAT, 0, true}}, -3, {}, {}}),
    [](const auto &info) { return info.param.name; });

TEST_F(ModuleBaseTest, PinsWithoutVariableUseTheirOwnClearedStorage) {
    gDescriptions = {{"E", QZ_DT_ENUMERATION, 0, false}, {"B", QZ_DT_BOOLEAN, 0, false},
                     {"F", QZ_DT_FLOAT, 0, false},       {"I", QZ_DT_INTEGER, 0, false},
                     {"M", QZ_DT_MIDI, 0, false},        {"X", 7, 0, false}};
    TestHost host(&makeFixture);
    host.open();
    qz::ModuleBase &m = *objectOf(host);
    for (int32_t p = 0; p < 4; ++p) {
        ASSERT_NE(m.getPin(p), nullptr);
        ASSERT_NE(m.getPin(p)->getVariable(), nullptr) << "pin " << p;
        EXPECT_EQ(*static_cast<const int32_t *>(m.getPin(p)->getVariable()), 0) << "pin " << p;
    }
    EXPECT_EQ(m.getPin(4)->getVariable(), nullptr) << "MIDI keeps no value";
    EXPECT_EQ(m.getPin(5)->getVariable(), nullptr) << "codes without storage";
}

TEST_F(ModuleBaseTest, NullPinBufferLeavesAStreamPinWithoutBuffer) {
    gDescriptions = {{"S", QZ_DT_STREAM, 0, false}};
    TestHost host(&makeFixture);
    host.answerPinBuffer = false;
    host.open();
    const qz::Pin *pin = objectOf(host)->getPin(0);
    ASSERT_NE(pin, nullptr);
    EXPECT_EQ(*static_cast<float *const *>(pin->getVariable()), nullptr);
    EXPECT_EQ(pin->getValue(), 0.0f) << "no buffer to read";
}

// ---- events ---------------------------------------------------------------------

TEST_F(ModuleBaseTest, ChangedFallsBackToStoppedAfterTheHandler) {
    TestHost host(&makeFixture);
    host.open();
    host.sendStatus(1, QZ_STATUS_CHANGED);
    ASSERT_EQ(gSeen.statusChanges.size(), 1u);
    EXPECT_EQ(gSeen.statusChanges[0], std::make_pair(1, static_cast<int32_t>(QZ_STATUS_CHANGED)));
    EXPECT_EQ(objectOf(host)->getPin(1)->getStatus(), QZ_STATUS_STOPPED);
    host.sendStatus(0, QZ_STATUS_STREAMING);
    EXPECT_EQ(gSeen.statusChanges.back(), std::make_pair(0, static_cast<int32_t>(QZ_STATUS_STREAMING)));
    EXPECT_EQ(objectOf(host)->getPin(0)->getStatus(), QZ_STATUS_STREAMING);
}

TEST_F(ModuleBaseTest, EventsForMissingPinsAndUnknownKindsAreIgnored) {
    gDescriptions = {{"A", QZ_DT_FLOAT, 0, true}};
    TestHost host(&makeFixture, 44100.0f, 64, 3); // pins 1 and 2 never set up
    host.open();
    for (intptr_t pin : {intptr_t{-1}, intptr_t{1}, intptr_t{2}, intptr_t{3}, INTPTR_MAX, INTPTR_MIN}) {
        QzModuleEvent e{};
        e.kind = QZ_EVENT_PIN_STATUS_CHANGE;
        e.intParam1 = QZ_STATUS_CHANGED;
        e.ptrParam = pin;
        host.deliver(e);
    }
    QzModuleEvent other{};
    other.kind = 7;
    other.ptrParam = 0;
    host.deliver(other);
    QzModuleEvent nullCall{};
    nullCall.kind = QZ_EVENT_DEFERRED_CALL;
    host.deliver(nullCall);
    EXPECT_TRUE(gSeen.statusChanges.empty());
    EXPECT_TRUE(gSeen.midi.empty());
    host.record->eventHandler(host.record->object, nullptr);
}

TEST_F(ModuleBaseTest, MidiEventCarriesClockMessageAndLowHalfOfThePinWord) {
    TestHost host(&makeFixture);
    host.open();
    QzModuleEvent e{};
    e.timeStamp = 4321;
    e.kind = QZ_EVENT_MIDI;
    e.intParam1 = 0x643C90;
    e.intParam2 = (1 << 16) | 5;
    host.deliver(e);
    e.intParam2 = 0xFFFF;
    host.deliver(e);
    ASSERT_EQ(gSeen.midi.size(), 2u);
    EXPECT_EQ(gSeen.midi[0], std::make_pair(4321u, 0x643C90));
    EXPECT_EQ(gSeen.midiPins, (std::vector<int16_t>{5, -1}));
}

TEST_F(ModuleBaseTest, QueuedCallTravelsAsOneWordAndRunsWhenItComesBack) {
    TestHost host(&makeFixture);
    host.open();
    objectOf(host)->deferOne(5000);
    ASSERT_EQ(host.eventLog.size(), 1u);
    const QzModuleEvent sent = host.eventLog[0];
    EXPECT_EQ(sent.timeStamp, 5000u);
    EXPECT_EQ(sent.kind, QZ_EVENT_DEFERRED_CALL);
    EXPECT_EQ(sent.intParam1, 0);
    EXPECT_EQ(sent.intParam2, 0);
    EXPECT_EQ(sent.next, nullptr);
    EXPECT_EQ(gSeen.deferred, 0);
    host.deliver(sent);
    EXPECT_EQ(gSeen.deferred, 1);
}

TEST_F(ModuleBaseTest, GetValueReadsThePositionOfTheCurrentClock) {
    TestHost host(&makeFixture);
    host.open();
    float *b = host.buffer(0);
    for (int i = 0; i < 8; ++i) b[i] = static_cast<float>(i) + 0.5f;
    host.bufferStart = 1000;
    host.clock = 1003;
    EXPECT_EQ(objectOf(host)->getPin(0)->getValue(), 3.5f);
    // A clock outside the block reads nothing rather than past the buffer.
    host.clock = 999;
    EXPECT_EQ(objectOf(host)->getPin(0)->getValue(), 0.0f);
    host.clock = 1000 + 1024;
    EXPECT_EQ(objectOf(host)->getPin(0)->getValue(), 0.0f);
    // Clocks wrap at 32 bits.
    host.bufferStart = 0xFFFFFFFEu;
    host.clock = 1;
    EXPECT_EQ(objectOf(host)->getPin(0)->getValue(), 3.5f);
}

// ---- output state and sleep ---------------------------------------------------------

struct SleepCase {
    std::string name;
    int32_t slice;
    bool reportEachCall;
    std::vector<int32_t> sleepsAfterCall; // cumulative Sleep count after each call
};

class SleepCountdown : public ::testing::TestWithParam<SleepCase> {};

TEST_P(SleepCountdown, SleepsOneBlockAfterGoingQuiet) {
    const SleepCase &c = GetParam();
    gSeen = Observed{};
    gDescriptions = {{"Out", QZ_DT_STREAM, 0, true}};
    TestHost host(&makeFixture, 44100.0f, 1024);
    host.open();
    Fixture &m = *objectOf(host);
    m.useCounting(c.reportEachCall);
    host.clearLogs();
    m.report(QZ_STATUS_CHANGED);
    ASSERT_EQ(host.statusLog.size(), 1u);
    EXPECT_EQ(host.statusLog[0].pin, 0);
    EXPECT_EQ(host.statusLog[0].status, QZ_STATUS_CHANGED);
    EXPECT_EQ(host.statusLog[0].clock, host.clock);
    EXPECT_EQ(m.getSleepCountdown(), 1024);
    const QzSubProcess counting = host.record->subProcess;
    for (size_t i = 0; i < c.sleepsAfterCall.size(); ++i) {
        host.run(c.slice);
        EXPECT_EQ(host.sleepCount, c.sleepsAfterCall[i]) << "after call " << i + 1;
    }
    EXPECT_EQ(gSeen.mainCalls, static_cast<int32_t>(c.sleepsAfterCall.size())) << "the main loop runs every call";
    // Streaming puts the main loop back.
    m.report(QZ_STATUS_STREAMING);
    EXPECT_NE(host.record->subProcess, counting);
    EXPECT_EQ(host.record->subProcess, qz::ModuleBase::subProcessOf<&Fixture::process>());
}

INSTANTIATE_TEST_SUITE_P(Cases, SleepCountdown,
                         ::testing::Values(SleepCase{"QuarterBlocks", 256, false, {0, 0, 0, 1, 2, 3}},
                                           SleepCase{"WholeBlocks", 1024, false, {1, 2, 3}},
                                           SleepCase{"ReloadedEveryCall", 256, true, {0, 0, 0, 0, 0, 0, 0, 0}},
                                           SleepCase{"ZeroSamplesCountNothing", 0, false, {0, 0}}),
                         [](const auto &info) { return info.param.name; });

TEST_F(ModuleBaseTest, StoppedAlsoCountsDownFromTheBlockSizeReadAtThatMoment) {
    gDescriptions = {{"Out", QZ_DT_STREAM, 0, true}};
    TestHost host(&makeFixture, 44100.0f, 1024);
    host.open();
    Fixture &m = *objectOf(host);
    m.useCounting(false);
    host.dispatch(QZ_OP_SET_BLOCK_SIZE, 0, 300);
    m.report(QZ_STATUS_STOPPED);
    EXPECT_EQ(m.getSleepCountdown(), 300);
    host.run(299);
    EXPECT_EQ(host.sleepCount, 0);
    host.run(1);
    EXPECT_EQ(host.sleepCount, 1);
}

// ---- without a host function --------------------------------------------------------

TEST(ModuleBaseNoHost, EveryRequestAnswersZero) {
    gSeen = Observed{};
    gDescriptions = {{"A", QZ_DT_STREAM, 0, false}};
    auto *record = static_cast<QzModuleRecord *>(makeFixture(0, QZ_PROFILE_PROCESSING, nullptr, nullptr));
    ASSERT_NE(record, nullptr);
    record->dispatcher(record, QZ_OP_OPEN, 0, 0, nullptr, 0.0f);
    auto *m = static_cast<Fixture *>(static_cast<qz::ModuleBase *>(record->object));
    EXPECT_EQ(m->getPinCount(), 0);
    EXPECT_EQ(m->getPin(0), nullptr);
    EXPECT_EQ(m->getSampleClock(), 0u);
    EXPECT_EQ(m->callHost(QZ_HOST_GET_PIN_BUFFER, 0), 0);
    m->useCounting(false);
    m->report(QZ_STATUS_CHANGED);
    record->subProcess(record->object, 0, 2048);
    EXPECT_EQ(record->dispatcher(record, QZ_OP_CLOSE, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(gSeen.destroyed);
}

TEST(ModuleBaseEntry, IndexAndProfileChooseWhatIsMade) {
    EXPECT_EQ(makeFixture(1, QZ_PROFILE_PROCESSING, nullptr, nullptr), nullptr);
    EXPECT_EQ(makeFixture(0, QZ_PROFILE_PANEL, nullptr, nullptr), nullptr);
    EXPECT_EQ(makeFixture(0, 3, nullptr, nullptr), nullptr);
    EXPECT_EQ(makeFixture(0, 0, nullptr, nullptr), nullptr);
}

} // namespace
