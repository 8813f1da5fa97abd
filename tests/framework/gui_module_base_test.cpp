// The panel side of the framework, through the record's dispatcher and the
// panel host requests, with a fixture panel class that logs what reaches it.
#include "gui_module_base.h"
#include "panel_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using qz::test::PanelHost;

std::vector<std::string> gSeen;
bool gHook10Answer = false;
int32_t gDestroyed = 0;

std::string windowText(const QzWindowInfo *w) {
    return w == nullptr ? "null" : std::to_string(w->width) + "x" + std::to_string(w->height);
}

class FixturePanel : public qz::GuiModuleBase {
public:
    using GuiModuleBase::GuiModuleBase;
    ~FixturePanel() override { ++gDestroyed; }

    void initialise(bool flag) override { gSeen.push_back(std::string("initialise ") + (flag ? "true" : "false")); }
    void close() override { gSeen.push_back("close"); }
    void paint(intptr_t dc, QzWindowInfo *w) override {
        gSeen.push_back("paint " + std::to_string(dc) + " " + windowText(w));
    }
    void pointHook3(QzWindowInfo *w, uint32_t word, qz::GuiPoint p) override { point("pointHook3", w, word, p); }
    void pointHook4(QzWindowInfo *w, uint32_t word, qz::GuiPoint p) override { point("pointHook4", w, word, p); }
    void pointHook5(QzWindowInfo *w, uint32_t word, qz::GuiPoint p) override { point("pointHook5", w, word, p); }
    void guiHook8(QzWindowInfo *w) override { gSeen.push_back("guiHook8 " + windowText(w)); }
    void guiHook9(QzWindowInfo *w) override { gSeen.push_back("guiHook9 " + windowText(w)); }
    bool guiHook10() override {
        gSeen.push_back("guiHook10");
        return gHook10Answer;
    }
    void guiHook11(int32_t index) override { gSeen.push_back("guiHook11 " + std::to_string(index)); }
    void guiHook12(int32_t index) override { gSeen.push_back("guiHook12 " + std::to_string(index)); }
    void guiHook6(int32_t value, int32_t index, void *ptr) override {
        gSeen.push_back("guiHook6 " + std::to_string(value) + " " + std::to_string(index) + " " +
                        windowText(static_cast<QzWindowInfo *>(ptr)));
    }
    void onGuiPinValueChanged(qz::GuiPin &pin) override {
        gSeen.push_back("pin " + std::to_string(pin.getIndex()));
        lastPin = &pin;
        lastPinValue = pin.getValueInt(); // reaches the host as this instance
    }

    qz::GuiPin *lastPin = nullptr;
    int32_t lastPinValue = 0;

private:
    static void point(const char *name, QzWindowInfo *w, uint32_t word, qz::GuiPoint p) {
        gSeen.push_back(std::string(name) + " " + windowText(w) + " " + std::to_string(word) + " (" +
                        std::to_string(p.x) + "," + std::to_string(p.y) + ")");
    }
};

// A base instance that overrides nothing.
class PlainPanel : public qz::GuiModuleBase {
public:
    using GuiModuleBase::GuiModuleBase;
};

extern "C" void *QZ_CALL makeFixture(int32_t index, int32_t profile, QzHostCallback host, void *data) {
    if (index != 0 || profile != QZ_PROFILE_PANEL) return nullptr;
    return (new FixturePanel(reinterpret_cast<QzGuiHostCallback>(host), data))->guiRecord();
}
extern "C" void *QZ_CALL makePlain(int32_t index, int32_t profile, QzHostCallback host, void *data) {
    if (index != 0 || profile != QZ_PROFILE_PANEL) return nullptr;
    return (new PlainPanel(reinterpret_cast<QzGuiHostCallback>(host), data))->guiRecord();
}

FixturePanel *objectOf(const PanelHost &host) {
    return static_cast<FixturePanel *>(static_cast<qz::GuiModuleBase *>(host.record->object));
}

float floatOf(uint32_t bits) {
    float f = 0.0f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

class GuiFramework : public ::testing::Test {
protected:
    void SetUp() override {
        gSeen.clear();
        gHook10Answer = false;
        gDestroyed = 0;
    }
};

TEST_F(GuiFramework, RecordAtConstruction) {
    int hostData = 0;
    auto *record = static_cast<QzGuiRecord *>(makePlain(0, QZ_PROFILE_PANEL, nullptr, &hostData));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->magic, 0x5345504Du);
    EXPECT_EQ(record->version, 1);
    EXPECT_EQ(record->hostData, &hostData);
    EXPECT_NE(record->object, nullptr);
    EXPECT_NE(record->dispatcher, nullptr);
    for (uint8_t b : record->spare) EXPECT_EQ(b, 0);
    EXPECT_EQ(record->dispatcher(record, QZ_GUI_CLOSE, 0, 0, nullptr, 0.0f), 1);
}

TEST_F(GuiFramework, EachOpcodeReachesItsOperation) {
    QzWindowInfo window{75, 15};
    const float opt = floatOf(0xDEADBEEFu); // passed on as its 32 bits
    struct Case {
        int32_t opcode, index, value;
        void *ptr;
        float opt;
        std::string reached;
    };
    const std::vector<Case> cases = {
        {0, 1, 0, nullptr, 0.0f, "initialise true"},
        {0, 0, 0, nullptr, 0.0f, "initialise false"},
        {0, 2, 0, nullptr, 0.0f, "initialise false"},
        {0, -1, 0, nullptr, 0.0f, "initialise false"},
        {2, 1234, 0, &window, 0.0f, "paint 1234 75x15"},
        {2, -5, 0, nullptr, 0.0f, "paint -5 null"},
        {3, 10, 20, &window, opt, "pointHook3 75x15 3735928559 (10,20)"},
        {4, -3, 7, &window, opt, "pointHook4 75x15 3735928559 (-3,7)"},
        {5, 0, 1, nullptr, 0.0f, "pointHook5 null 0 (0,1)"},
        {6, 11, 22, &window, 0.0f, "guiHook6 22 11 75x15"},
        {7, 4, 0, nullptr, 0.0f, "pin 4"},
        {8, 0, 0, &window, 0.0f, "guiHook8 75x15"},
        {9, 0, 0, &window, 0.0f, "guiHook9 75x15"},
        {10, 0, 0, nullptr, 0.0f, "guiHook10"},
        {11, 9, 0, nullptr, 0.0f, "guiHook11 9"},
        {12, -9, 0, nullptr, 0.0f, "guiHook12 -9"},
    };
    PanelHost host(&makeFixture);
    for (const Case &c : cases) {
        gSeen.clear();
        EXPECT_EQ(host.dispatch(c.opcode, c.index, c.value, c.ptr, c.opt), 0) << c.reached;
        EXPECT_EQ(gSeen, std::vector<std::string>{c.reached}) << "opcode " << c.opcode;
    }
}

TEST_F(GuiFramework, OpcodesOutsideTheTableChangeNothing) {
    PanelHost host(&makeFixture);
    for (int32_t opcode : {13, 14, 100, -1, INT32_MIN}) {
        EXPECT_EQ(host.dispatch(opcode, 1, 2, nullptr, 3.0f), 0) << opcode;
    }
    EXPECT_TRUE(gSeen.empty());
    EXPECT_TRUE(host.requests.empty());
}

TEST_F(GuiFramework, Hook10AnswersItsTruthValue) {
    PanelHost plain(&makePlain);
    EXPECT_EQ(plain.dispatch(QZ_GUI_HOOK10), 0);
    PanelHost fixture(&makeFixture);
    gHook10Answer = true;
    EXPECT_EQ(fixture.dispatch(QZ_GUI_HOOK10), 1);
}

TEST_F(GuiFramework, CloseRunsCloseThenDestroysTheInstance) {
    PanelHost host(&makeFixture);
    EXPECT_EQ(host.dispatch(QZ_GUI_CLOSE), 1);
    host.record = nullptr;
    EXPECT_EQ(gSeen, std::vector<std::string>{"close"});
    EXPECT_EQ(gDestroyed, 1);
}

TEST_F(GuiFramework, PinChangeGivesAnAccessorOfThisInstance) {
    PanelHost first(&makeFixture);
    PanelHost second(&makeFixture);
    first.setInt(4, 41);
    second.setInt(4, 42);
    second.pinChanged(4);
    EXPECT_EQ(objectOf(second)->lastPinValue, 42) << "the accessor asked its own instance's host";
    first.pinChanged(4);
    EXPECT_EQ(objectOf(first)->lastPinValue, 41);
    EXPECT_EQ(objectOf(first)->lastPin->getIndex(), 4);
}

TEST_F(GuiFramework, SharedAccessorIsReused) {
    PanelHost host(&makeFixture);
    qz::GuiModuleBase *panel = objectOf(host);
    qz::GuiPin &three = panel->getGuiPin(3);
    EXPECT_EQ(three.getIndex(), 3);
    qz::GuiPin &four = panel->getGuiPin(4);
    EXPECT_EQ(&three, &four);
    EXPECT_EQ(three.getIndex(), 4);
}

TEST_F(GuiFramework, AccessorOfAClosedInstanceCallsNothing) {
    auto *host = new PanelHost(&makeFixture);
    host->setInt(2, 5);
    qz::GuiPin &pin = objectOf(*host)->getGuiPin(2);
    host->close();
    delete host; // the host is gone as well: a call through the pin would reach freed memory
    EXPECT_EQ(pin.getValueInt(), 0);
    pin.setValueInt(1);
    EXPECT_EQ(pin.getText(), "");
    EXPECT_EQ(pin.getWideText(), u"");
}

TEST_F(GuiFramework, PinOperationsBuildTheirRequests) {
    PanelHost host(&makeFixture);
    qz::GuiModuleBase *panel = objectOf(host);
    host.setInt(3, -77);
    host.setFloat(5, 2.5f);
    EXPECT_EQ(panel->getGuiPin(3).getValueInt(), -77);
    EXPECT_EQ(panel->getGuiPin(5).getValueFloat(), 2.5f);
    // No value held by the host: both start from 0.
    EXPECT_EQ(panel->getGuiPin(9).getValueInt(), 0);
    EXPECT_EQ(panel->getGuiPin(9).getValueFloat(), 0.0f);
    host.requests.clear();
    panel->getGuiPin(6).setValueInt(123);
    panel->getGuiPin(7).setValueFloat(0.25f);
    panel->getGuiPin(8).setText("Hello");
    ASSERT_EQ(host.requests.size(), 3u);
    EXPECT_EQ(host.requests[0].opcode, QZ_GUIHOST_SET_PIN_VALUE);
    EXPECT_EQ(host.requests[0].index, 6);
    EXPECT_EQ(host.requests[0].value, 123);
    EXPECT_EQ(host.requests[1].opcode, QZ_GUIHOST_SET_PIN_VALUE);
    EXPECT_EQ(host.requests[1].index, 7);
    EXPECT_EQ(host.requests[1].value, 0);
    EXPECT_EQ(host.requests[1].opt, 0.25f);
    EXPECT_EQ(host.requests[2].opcode, QZ_GUIHOST_SET_PIN_TEXT);
    EXPECT_EQ(host.requests[2].index, 8);
    EXPECT_EQ(host.requests[2].text, "Hello");
}

TEST_F(GuiFramework, NoHostFunctionAnswersZeroEverywhere) {
    PanelHost host(&makeFixture, false);
    qz::GuiModuleBase *panel = objectOf(host);
    EXPECT_EQ(panel->callGuiHost(QZ_GUIHOST_REDRAW), 0);
    EXPECT_EQ(panel->getGuiPin(2).getValueInt(), 0);
    EXPECT_EQ(panel->getGuiPin(2).getValueFloat(), 0.0f);
    EXPECT_EQ(panel->getGuiPin(2).getText(), "");
    EXPECT_EQ(panel->getGuiPin(2).getWideText(), u"");
    EXPECT_FALSE(panel->windowQuery20(nullptr));
    EXPECT_TRUE(host.requests.empty());
}

// ---- texts: a host with its own answers for GetPinText and GetPinWideText ----

struct TextHost {
    std::u16string wide;      // what the host writes
    int32_t announced = 0;    // the length it answers to the first call
    bool terminate = true;    // whether it writes the terminating zero
    const char *text = nullptr;
    std::vector<std::pair<int32_t, bool>> wideCalls; // length argument, buffer given

    static QzResult QZ_CALL callback(QzGuiRecord *r, int32_t opcode, int32_t, int32_t value, void *ptr, float) {
        auto *self = static_cast<TextHost *>(r->hostData);
        if (opcode == QZ_GUIHOST_GET_PIN_TEXT) return reinterpret_cast<QzResult>(self->text);
        if (opcode != QZ_GUIHOST_GET_PIN_WIDE_TEXT) return 0;
        self->wideCalls.emplace_back(value, ptr != nullptr);
        if (ptr == nullptr) return self->announced;
        auto *buffer = static_cast<char16_t *>(ptr);
        // Writes as much as fits the length it was given, the zero only if asked.
        const auto room = static_cast<size_t>(value);
        size_t i = 0;
        for (; i < self->wide.size() && i < room; ++i) buffer[i] = self->wide[i];
        if (self->terminate && i < room) buffer[i] = 0;
        return 0;
    }
};

std::u16string wideTextVia(TextHost &texts) {
    qz::GuiModuleBase *panel = new PlainPanel(&TextHost::callback, &texts);
    std::u16string result = panel->getGuiPin(1).getWideText();
    panel->guiDispatch(QZ_GUI_CLOSE, 0, 0, nullptr, 0.0f);
    return result;
}

TEST(GuiPinText, WideTextAsksForTheLengthThenTheText) {
    TextHost texts;
    texts.wide = u"Alg \u00e9";
    texts.announced = 6;
    EXPECT_EQ(wideTextVia(texts), u"Alg \u00e9");
    const std::vector<std::pair<int32_t, bool>> expected = {{0, false}, {6, true}};
    EXPECT_EQ(texts.wideCalls, expected);
}

TEST(GuiPinText, WideTextFromHostileHosts) {
    struct Case {
        const char *name;
        std::u16string wide;
        int32_t announced;
        bool terminate;
        std::u16string expected;
    };
    const Case cases[] = {
        // No terminator: the last unit of the buffer is taken as the end.
        {"no terminator", u"abcdefgh", 5, false, u"abcd"},
        {"no terminator, exact length", u"abcd", 4, false, u"abc"},
        {"length 1 is only the terminator", u"abc", 1, false, u""},
        {"length 0", u"abc", 0, true, u""},
        {"negative length", u"abc", -4, true, u""},
        {"shorter text than announced", u"ab", 10, true, u"ab"},
    };
    for (const Case &c : cases) {
        TextHost texts;
        texts.wide = c.wide;
        texts.announced = c.announced;
        texts.terminate = c.terminate;
        EXPECT_EQ(wideTextVia(texts), c.expected) << c.name;
        if (c.announced <= 0) {
            EXPECT_EQ(texts.wideCalls.size(), 1u) << c.name << ": no second call";
        }
    }
}

TEST(GuiPinText, TextIsCopiedAndNullIsEmpty) {
    TextHost texts;
    char owned[] = "Val from DSP";
    texts.text = owned;
    qz::GuiModuleBase *panel = new PlainPanel(&TextHost::callback, &texts);
    const std::string copy = panel->getGuiPin(2).getText();
    owned[0] = 'X';
    EXPECT_EQ(copy, "Val from DSP");
    texts.text = nullptr;
    EXPECT_EQ(panel->getGuiPin(2).getText(), "");
    panel->guiDispatch(QZ_GUI_CLOSE, 0, 0, nullptr, 0.0f);
}

} // namespace
