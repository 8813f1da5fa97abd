// The frequency display's two instances through the built plug-in: the value
// the processing side computes and sends, and the panel side's requests.
#include "panel_host.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using qz::test::GuiRequest;
using qz::test::PanelHost;
using qz::test::Plugin;
using qz::test::TestHost;

constexpr int32_t kCourseFixed = 0, kFineAdj = 1, kDetune = 2, kGuiCom = 3, kValFromDsp = 4;

Plugin &plugin() {
    static Plugin p("QZ_FreqDisplay_v1");
    return p;
}

float sentValue(TestHost &host) { return *static_cast<float *>(host.pins[kGuiCom].variable); }

// The display value from its definition: pitch = decade pitch + s/10 * log2(10)/10
// + (d - 7)/70, frequency = 440 * 2^(10 * pitch - 5) in double precision,
// stored as float, then the integer part of frequency + 0.5.
float displayFromFormula(int16_t course, float s, int16_t d) {
    const float decade[] = {-0.37813598f, -0.045943160f, 0.28624964f, 0.61844248f};
    const float pitch = decade[course] + s / 10.0f * 0.3321928f + static_cast<float>(d - 7) / 70.0f;
    const auto frequency = static_cast<float>(440.0 * std::pow(2.0, 10.0 * static_cast<double>(pitch) - 5.0));
    return static_cast<float>(std::floor(static_cast<double>(frequency) + 0.5));
}

TEST(FreqDisplay, IdentityAndProfiles) {
    const QzModuleProperties p = plugin().properties();
    EXPECT_STREQ(p.name, "QZ_FreqDisplay_v1");
    EXPECT_STREQ(p.uniqueId, "QZ_FreqDisplay_v1");
    EXPECT_STREQ(p.about, "by Orwin Malvaen");
    EXPECT_EQ(p.flags, 66);
    EXPECT_EQ(p.guiFlags, 384);
    for (int32_t profile : {0, 3, 100}) {
        EXPECT_EQ(plugin().makeModule(0, profile, nullptr, nullptr), nullptr) << "profile " << profile;
    }
}

TEST(FreqDisplay, PinTableAsTheHostShowsIt) {
    struct Expected {
        const char *name;
        int32_t direction, dataType;
        const char *defaultText, *range;
        int32_t flags;
    };
    const Expected expected[] = {
        {"Course Fixed", QZ_DIR_IN, QZ_DT_ENUMERATION, "2", " 1 Hz, 10 Hz, 100 Hz, 1 KHz", 0},
        {"Fine Adj In", QZ_DIR_IN, QZ_DT_STREAM, "0", "99,0,99,0", 0},
        {"Detune", QZ_DIR_IN, QZ_DT_ENUMERATION, "7", "-7,-6,-5,-4,-3,-2,-1,0,+1,+2,+3,+4,+5,+6,+7", 0},
        {"gui_com_pin", QZ_DIR_OUT, QZ_DT_FLOAT, nullptr, nullptr, 65792},
        {"Val from DSP", QZ_DIR_IN, QZ_DT_FLOAT, nullptr, nullptr, 66816},
    };
    TestHost host(plugin());
    for (int32_t i = 0; i < 5; ++i) {
        QzPinDescription d{};
        ASSERT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, i, 0, &d), 1) << i;
        const Expected &e = expected[i];
        SCOPED_TRACE(e.name);
        EXPECT_STREQ(d.name, e.name);
        EXPECT_EQ(d.direction, e.direction);
        EXPECT_EQ(d.dataType, e.dataType);
        EXPECT_EQ(d.flags, e.flags);
        if (e.defaultText != nullptr) {
            EXPECT_STREQ(d.defaultValue, e.defaultText);
            EXPECT_STREQ(d.datatypeExtra, e.range);
        } else {
            EXPECT_EQ(d.defaultValue, nullptr);
        }
        EXPECT_EQ(d.variable != nullptr, i < 4);
    }
    QzPinDescription d{};
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, 5, 0, &d), 0);
    EXPECT_EQ(host.dispatch(QZ_OP_GET_PIN_PROPERTIES, -1, 0, &d), 0);
    EXPECT_EQ(host.pins.size(), 4u);
}

struct ValueCase {
    const char *name;
    int16_t course;
    float fine;
    int16_t detune;
    float shown; // 0: only the formula is known
};

class DisplayValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(DisplayValue, ComputedAndSentChanged) {
    const ValueCase &c = GetParam();
    TestHost host(plugin());
    host.open();
    host.clearLogs();
    host.setEnum(kCourseFixed, c.course);
    host.setEnum(kDetune, c.detune);
    host.clock += 5; // a clock inside the block: getValue reads position 5
    host.setStream(kFineAdj, c.fine);
    const float expected = displayFromFormula(c.course, c.fine, c.detune);
    if (c.shown != 0.0f) {
        EXPECT_EQ(expected, c.shown) << "the formula itself";
    }
    EXPECT_EQ(sentValue(host), expected);
    ASSERT_EQ(host.statusLog.size(), 3u) << "one Changed per pin change";
    for (const auto &s : host.statusLog) {
        EXPECT_EQ(s.pin, kGuiCom);
        EXPECT_EQ(s.status, QZ_STATUS_CHANGED);
    }
    EXPECT_EQ(host.statusLog.back().clock, host.clock);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, DisplayValue,
    ::testing::Values(ValueCase{"defaults", 2, 0.0f, 7, 100.0f}, ValueCase{"decade_1kHz", 3, 0.0f, 7, 1000.0f},
                      ValueCase{"decade_10Hz", 1, 0.0f, 7, 10.0f}, ValueCase{"decade_1Hz", 0, 0.0f, 7, 1.0f},
                      ValueCase{"detune_down_halves", 3, 0.0f, 0, 500.0f},
                      ValueCase{"detune_up_doubles", 3, 0.0f, 14, 2000.0f},
                      ValueCase{"fine_top_of_100Hz", 2, 9.9f, 7, 977.0f},
                      ValueCase{"fine_5_shows_316", 2, 5.0f, 7, 316.0f},
                      ValueCase{"highest_in_range", 3, 9.9f, 14, 0.0f},
                      ValueCase{"fine_not_quantised", 2, 0.05f, 7, 0.0f}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FreqDisplay, HighestValueHasFiveDigits) {
    TestHost host(plugin());
    host.open();
    host.setEnum(kCourseFixed, 3);
    host.setEnum(kDetune, 14);
    host.setStream(kFineAdj, 9.9f);
    EXPECT_GE(sentValue(host), 19000.0f);
    EXPECT_LT(sentValue(host), 20000.0f);
}

TEST(FreqDisplay, OpenSendsTheDefaultAndProcessingDoesNothing) {
    TestHost host(plugin(), 44100.0f, 64);
    host.open();
    EXPECT_EQ(sentValue(host), 100.0f);
    ASSERT_EQ(host.statusLog.size(), 1u);
    EXPECT_EQ(host.statusLog[0].pin, kGuiCom);
    host.clearLogs();
    for (int32_t slice : {0, 1, 63}) host.run(slice);
    host.runBlock();
    EXPECT_EQ(host.sleepCount, 0) << "the display never asks to sleep";
    EXPECT_TRUE(host.statusLog.empty());
}

TEST(FreqDisplay, OtherCourseIndexKeepsTheFixedBase) {
    TestHost host(plugin());
    host.open();
    host.setEnum(kCourseFixed, 1);
    for (int16_t course : {4, -1, 32767}) {
        host.setEnum(kCourseFixed, course);
        EXPECT_EQ(sentValue(host), 10.0f) << "course " << course;
    }
}

TEST(FreqDisplay, HostileFineValuesGiveNoIntegerOverflow) {
    struct Case {
        float fine;
        bool finite;
    };
    const Case cases[] = {{1e30f, false}, {INFINITY, false}, {NAN, false}, {-1e30f, true}, {-INFINITY, true}};
    TestHost host(plugin());
    host.open();
    for (const Case &c : cases) {
        host.setStream(kFineAdj, c.fine);
        const float v = sentValue(host);
        if (c.finite) {
            EXPECT_EQ(v, 0.0f) << "fine " << c.fine;
        } else {
            EXPECT_FALSE(std::isfinite(v)) << "fine " << c.fine;
        }
    }
}

TEST(FreqDisplay, MissingFinePinOrBufferReadsAsZero) {
    TestHost fewer(plugin(), 44100.0f, 64, 1); // only "Course Fixed"
    fewer.open();
    EXPECT_TRUE(fewer.statusLog.empty()) << "no gui_com_pin to report on";

    TestHost noBuffer(plugin(), 44100.0f, 64);
    noBuffer.useBuffer(kFineAdj, nullptr);
    noBuffer.open();
    noBuffer.sendStatus(kFineAdj, QZ_STATUS_CHANGED);
    EXPECT_EQ(sentValue(noBuffer), 100.0f);
}

std::vector<std::string> requestsOf(const PanelHost &panel) {
    std::vector<std::string> out;
    for (const GuiRequest &r : panel.requests) {
        out.push_back(std::to_string(r.opcode) + " " + std::to_string(r.index) + " " + std::to_string(r.value));
    }
    return out;
}

TEST(FreqDisplayPanel, ConstructionSizesTheAreaThenReadsItsPin) {
    PanelHost panel(plugin().makeModule);
    const std::vector<std::string> expected = {"3 75 15", "11 0 0", "14 4 0"};
    EXPECT_EQ(requestsOf(panel), expected);
}

TEST(FreqDisplayPanel, EveryChangeReadsThePinAndAsksForARedraw) {
    PanelHost panel(plugin().makeModule);
    for (int32_t pin : {4, 0, 7}) {
        panel.requests.clear();
        panel.pinChanged(pin);
        const std::vector<std::string> expected = {"14 4 0", "0 0 0"};
        EXPECT_EQ(requestsOf(panel), expected) << "change of pin " << pin;
    }
}

} // namespace
