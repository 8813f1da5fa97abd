// The list-to-boolean selector through the built plug-in: the processing
// side passing choice - 1 on, the panel side's update sequence, and the two
// linked the way a host links them.
#include "panel_host.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using qz::test::GuiRequest;
using qz::test::PanelHost;
using qz::test::Plugin;
using qz::test::TestHost;

constexpr int32_t kChoice = 0, kGuiCom = 1, kValFromDsp = 2, kFirstOutput = 3;

Plugin &plugin() {
    static Plugin p("QZ_ListToBool_v1");
    return p;
}

int32_t sentValue(TestHost &host) { return *static_cast<int32_t *>(host.pins[kGuiCom].variable); }

// What one update must send, built from the rule: read pin 2, then for each
// output 0, and 1 after it for the chosen one.
std::vector<std::string> expectedUpdate(int32_t received) {
    std::vector<std::string> out{"get 2"};
    for (int32_t n = 0; n < 8; ++n) {
        out.push_back("set " + std::to_string(kFirstOutput + n) + " = 0");
        if (n == received) out.push_back("set " + std::to_string(kFirstOutput + n) + " = 1");
    }
    return out;
}

std::vector<std::string> requestsOf(const PanelHost &panel) {
    std::vector<std::string> out;
    for (const GuiRequest &r : panel.requests) {
        if (r.opcode == QZ_GUIHOST_GET_PIN_VALUE)
            out.push_back("get " + std::to_string(r.index));
        else if (r.opcode == QZ_GUIHOST_SET_PIN_VALUE)
            out.push_back("set " + std::to_string(r.index) + " = " + std::to_string(r.value));
        else
            out.push_back("opcode " + std::to_string(r.opcode));
    }
    return out;
}

TEST(ListToBool, IdentityAndProfiles) {
    const QzModuleProperties p = plugin().properties();
    EXPECT_STREQ(p.name, "QZ_ListToBool_v1");
    EXPECT_STREQ(p.about, "by Orwin Malvaen");
    EXPECT_EQ(p.flags, 66);
    EXPECT_EQ(p.guiFlags, 384);
    for (int32_t profile : {0, 3, -1}) {
        EXPECT_EQ(plugin().makeModule(0, profile, nullptr, nullptr), nullptr) << "profile " << profile;
    }
    EXPECT_EQ(plugin().makeModule(1, QZ_PROFILE_PANEL, nullptr, nullptr), nullptr);
}

TEST(ListToBool, PinTableAsTheHostShowsIt) {
    struct Expected {
        const char *name;
        int32_t direction, dataType;
        const char *defaultText, *range;
        int32_t flags;
    };
    std::vector<Expected> expected = {
        {"Algorithm Choice", QZ_DIR_IN, QZ_DT_ENUMERATION, "1", "range 1,8", 0},
        {"gui_com_pin", QZ_DIR_OUT, QZ_DT_INTEGER, nullptr, nullptr, 65792},
        {"Val from DSP", QZ_DIR_IN, QZ_DT_INTEGER, nullptr, nullptr, 66816},
    };
    const std::vector<std::string> outputs = {"Alg 1", "Alg 2", "Alg 3", "Alg 4", "Alg 5", "Alg 6", "Alg 7", "Alg 8"};
    for (const std::string &name : outputs) expected.push_back({name.c_str(), QZ_DIR_OUT, QZ_DT_BOOLEAN, nullptr, nullptr, 1024});

    TestHost host(plugin());
    for (size_t i = 0; i < expected.size(); ++i) {
        QzPinDescription d{};
        ASSERT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, static_cast<int32_t>(i), 0, &d), 1) << i;
        const Expected &e = expected[i];
        SCOPED_TRACE(e.name);
        EXPECT_STREQ(d.name, e.name);
        EXPECT_EQ(d.direction, e.direction);
        EXPECT_EQ(d.dataType, e.dataType);
        EXPECT_EQ(d.flags, e.flags);
        if (e.defaultText != nullptr) {
            EXPECT_STREQ(d.defaultValue, e.defaultText);
        }
        if (e.range != nullptr) {
            EXPECT_STREQ(d.datatypeExtra, e.range);
        }
        // Only the processing side's own pins carry a variable.
        EXPECT_EQ(d.variable != nullptr, i < 2u);
    }
    QzPinDescription d{};
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, 11, 0, &d), 0);
    // The processing instance keeps only the two pins without GuiSide.
    EXPECT_EQ(host.pins.size(), 2u);
}

TEST(ListToBool, ProcessingSideSendsChoiceMinusOne) {
    TestHost host(plugin());
    host.open();
    ASSERT_FALSE(host.statusLog.empty()) << "open sends the choice";
    EXPECT_EQ(sentValue(host), 0) << "the default choice 1 before the host writes one";
    struct Case {
        int16_t choice;
        int32_t sent;
    };
    // Values outside 1..8 pass through unchanged; the panel side turns them
    // into all-off.
    const Case cases[] = {{1, 0}, {8, 7}, {3, 2}, {0, -1}, {9, 8}, {-32768, -32769}, {32767, 32766}};
    for (const Case &c : cases) {
        host.clearLogs();
        host.clock += 7;
        host.setEnum(kChoice, c.choice);
        EXPECT_EQ(sentValue(host), c.sent) << "choice " << c.choice;
        ASSERT_EQ(host.statusLog.size(), 1u) << "choice " << c.choice;
        EXPECT_EQ(host.statusLog[0].pin, kGuiCom);
        EXPECT_EQ(host.statusLog[0].status, QZ_STATUS_CHANGED);
        EXPECT_EQ(host.statusLog[0].clock, host.clock);
    }
}

TEST(ListToBool, ProcessingSideSleepsWheneverItRuns) {
    TestHost host(plugin(), 44100.0f, 64);
    host.open();
    host.clearLogs();
    host.run(0);
    host.run(64);
    host.runBlock();
    EXPECT_EQ(host.sleepCount, 3);
}

TEST(ListToBool, ProcessingSideWithoutItsOutputPin) {
    TestHost host(plugin(), 44100.0f, 64, 1); // the host made only the choice pin
    host.open();
    host.setEnum(kChoice, 5);
    EXPECT_TRUE(host.statusLog.empty());
}

class PanelUpdate : public ::testing::TestWithParam<int32_t> {};

TEST_P(PanelUpdate, WritesZeroToEveryOutputThenOneToTheChosen) {
    const int32_t received = GetParam();
    PanelHost panel(plugin().makeModule);
    panel.requests.clear();
    panel.setInt(kValFromDsp, received);
    panel.pinChanged(kValFromDsp);
    EXPECT_EQ(requestsOf(panel), expectedUpdate(received));
    for (int32_t n = 0; n < 8; ++n) {
        EXPECT_EQ(panel.values[kFirstOutput + n], n == received ? 1u : 0u) << "Alg " << n + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Values, PanelUpdate, ::testing::Values(0, 7, 3, -1, 8, INT_MIN, INT_MAX),
                         [](const auto &info) {
                             const int32_t v = info.param;
                             return v < 0 ? "minus" + std::to_string(-static_cast<int64_t>(v)) : std::to_string(v);
                         });

TEST(ListToBool, PanelSetsItsOutputsAtConstruction) {
    PanelHost withValue(plugin().makeModule, {{kValFromDsp, 4u}});
    EXPECT_EQ(requestsOf(withValue), expectedUpdate(4));
    // A host that has no value yet: the read gives 0, so "Alg 1" is on.
    PanelHost fresh(plugin().makeModule);
    EXPECT_EQ(requestsOf(fresh), expectedUpdate(0));
}

TEST(ListToBool, PanelIgnoresChangesOfOtherPins) {
    PanelHost panel(plugin().makeModule);
    panel.setInt(kValFromDsp, 5);
    panel.requests.clear();
    for (int32_t pin : {0, 1, 3, 10, 11, -1}) panel.pinChanged(pin);
    EXPECT_TRUE(panel.requests.empty());
}

// The host's part, played by the test: the value reported Changed on
// "gui_com_pin" becomes the value of "Val from DSP", then opcode 7.
TEST(ListToBool, ChoiceReachesThePanelThroughTheLinkedPins) {
    TestHost host(plugin());
    host.open();
    PanelHost panel(plugin().makeModule);
    for (int16_t choice = 1; choice <= 8; ++choice) {
        host.clearLogs();
        host.setEnum(kChoice, choice);
        ASSERT_EQ(host.statusLog.size(), 1u);
        ASSERT_EQ(host.statusLog[0].pin, kGuiCom);
        panel.setInt(kValFromDsp, sentValue(host));
        panel.pinChanged(kValFromDsp);
        for (int32_t n = 1; n <= 8; ++n) {
            EXPECT_EQ(panel.values[kFirstOutput + n - 1], n == choice ? 1u : 0u)
                << "choice " << choice << ", Alg " << n;
        }
    }
}

} // namespace
