// The frequency display's painting: the drawing calls in their order, the
// text, the pixels, and the value travelling from the processing side to
// the painted panel.
#include "gdi_host.h"
#include "panel_host.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using qz::gdi::Call;
using qz::gdi::Canvas;
using qz::test::PanelHost;
using qz::test::Plugin;
using qz::test::TestHost;

constexpr int32_t kCourseFixed = 0, kDetune = 2, kGuiCom = 3, kValFromDsp = 4;
constexpr uint32_t kBlack = 0x000000u;
constexpr uint32_t kYellow = 0xD4D400u; // red 212, green 212, blue 0

Plugin &plugin() {
    static Plugin p("QZ_FreqDisplay_v1");
    return p;
}

std::string listing(const std::vector<Call> &calls) {
    std::string out;
    for (const Call &c : calls) out += qz::gdi::describe(c) + "\n";
    return out;
}

// Paints `value` into a fresh 75 x 15 canvas and returns the calls made.
std::vector<Call> paintValue(float value, Canvas &canvas, QzWindowInfo window = {75, 15}) {
    PanelHost panel(plugin().makeModule);
    panel.setFloat(kValFromDsp, value);
    panel.pinChanged(kValFromDsp);
    qz::gdi::startRecording();
    panel.dispatch(QZ_GUI_PAINT, canvas.paintIndex(), 0, &window);
    qz::gdi::stopRecording();
    return qz::gdi::recordedCalls();
}

std::string paintedText(float value) {
    Canvas canvas(75, 15);
    for (const Call &c : paintValue(value, canvas)) {
        if (c.function == "TextOutA") return c.text;
    }
    return "(no text drawn)";
}

TEST(FreqDisplayPaint, CallsInTheirOrder) {
    Canvas canvas(75, 15);
    const std::vector<Call> calls = paintValue(100.0f, canvas);
    ASSERT_EQ(calls.size(), 11u) << listing(calls);
    const int64_t dc = canvas.paintIndex();
    const int64_t font = calls[0].result;
    const int64_t brush = calls[1].result;
    const int64_t previous = calls[4].result;
    ASSERT_NE(font, 0);
    ASSERT_NE(brush, 0);
    ASSERT_NE(previous, 0) << "a fresh device context holds a font";
    const std::vector<Call> expected = {
        {"CreateFontA", {12, 5, 0, 0, 700, 0, 0, 0, 1, 0, 0, 0, 0}, "Courier", font},
        {"CreateSolidBrush", {0}, "", brush},
        {"FillRect", {dc, 0, 0, 76, 16, brush}, "", 1},
        {"DeleteObject", {brush}, "", 1},
        {"SelectObject", {dc, font}, "", previous},
        {"SetTextColor", {dc, 0x00D4D4}, "", 0},
        {"SetBkMode", {dc, 1}, "", 2},
        {"SetTextAlign", {dc, 0}, "", 0},
        {"TextOutA", {dc, 1, 0, 8}, "  100 Hz", 1},
        {"SelectObject", {dc, previous}, "", font},
        {"DeleteObject", {font}, "", 1},
    };
    EXPECT_EQ(calls, expected) << listing(calls);
}

TEST(FreqDisplayPaint, TextOfEachValue) {
    struct Case {
        const char *name;
        float value;
        const char *text;
    };
    const Case cases[] = {
        {"hundred", 100.0f, "  100 Hz"},
        {"one", 1.0f, "    1 Hz"},
        {"zero", 0.0f, "    0 Hz"},
        {"five digits", 19541.0f, "19541 Hz"},
        {"six digits", 123456.0f, "123456 Hz"},
        {"negative", -5.0f, "   -5 Hz"},
        // The buffer holds 19 characters: 16 digits and " Hz" still fit.
        {"largest that fits", 9007199254740992.0f, "9007199254740992 Hz"},
        {"negative that fits", -562949953421312.0f, "-562949953421312 Hz"},
        {"17 digits", 18014398509481984.0f, "----- Hz"},
        {"negative, 17 characters", -9007199254740992.0f, "----- Hz"},
        {"largest float", 3.4028235e38f, "----- Hz"},
        {"infinity", INFINITY, "----- Hz"},
        {"minus infinity", -INFINITY, "----- Hz"},
        {"not a number", NAN, "----- Hz"},
    };
    for (const Case &c : cases) EXPECT_EQ(paintedText(c.value), c.text) << c.name;
}

// Text cells: x = 1 + 5 * n, five pixels wide, twelve rows from the top.
TEST(FreqDisplayPaint, YellowTextOnBlack) {
    Canvas canvas(75, 15);
    paintValue(100.0f, canvas);
    const std::string text = "  100 Hz";
    int32_t yellow = 0;
    for (int32_t y = 0; y < 15; ++y) {
        for (int32_t x = 0; x < 75; ++x) {
            const uint32_t p = canvas.pixel(x, y);
            ASSERT_TRUE(p == kBlack || p == kYellow) << "pixel " << x << "," << y << " is " << std::hex << p;
            const bool insideText = x >= 1 && x < 1 + 5 * static_cast<int32_t>(text.size()) && y < 12;
            if (!insideText) {
                EXPECT_EQ(p, kBlack) << "outside the text at " << x << "," << y;
            }
            if (p == kYellow) ++yellow;
        }
    }
    for (size_t n = 0; n < text.size(); ++n) {
        int32_t inked = 0;
        for (int32_t y = 0; y < 12; ++y)
            for (int32_t x = 1 + 5 * static_cast<int32_t>(n); x < 6 + 5 * static_cast<int32_t>(n); ++x)
                inked += canvas.pixel(x, y) == kYellow ? 1 : 0;
        if (text[n] == ' ') {
            EXPECT_EQ(inked, 0) << "cell " << n << " holds a space";
        } else {
            EXPECT_GT(inked, 3) << "cell " << n << " holds '" << text[n] << "'";
        }
    }
    EXPECT_GT(yellow, 40);
    if (const char *dir = std::getenv("QZ_PANEL_PNG_DIR")) canvas.savePng(std::string(dir) + "/freq_display.png");
}

TEST(FreqDisplayPaint, UnusualAreasAndDeviceContexts) {
    struct Case {
        const char *name;
        QzWindowInfo window;
        bool validDc;
    };
    const Case cases[] = {
        {"largest area", {INT_MAX, INT_MAX}, true},
        {"negative area", {-5, -5}, true},
        {"empty area", {0, 0}, true},
        {"no such device context", {75, 15}, false},
    };
    for (const Case &c : cases) {
        Canvas canvas(75, 15);
        PanelHost panel(plugin().makeModule);
        qz::gdi::startRecording();
        panel.dispatch(QZ_GUI_PAINT, c.validDc ? canvas.paintIndex() : 0x7FFFFFFE, 0,
                       const_cast<QzWindowInfo *>(&c.window));
        qz::gdi::stopRecording();
        const std::vector<Call> calls = qz::gdi::recordedCalls();
        ASSERT_FALSE(calls.empty()) << c.name;
        // Whatever the device did, the brush and the font are freed again.
        ASSERT_GE(calls.size(), 2u);
        int32_t freed = 0;
        for (const Call &call : calls) {
            if (call.function == "DeleteObject" && call.result == 1) ++freed;
        }
        EXPECT_EQ(freed, 2) << c.name << "\n" << listing(calls);
    }
    // No area at all: nothing is drawn.
    PanelHost panel(plugin().makeModule);
    qz::gdi::startRecording();
    panel.dispatch(QZ_GUI_PAINT, 1, 0, nullptr);
    qz::gdi::stopRecording();
    EXPECT_TRUE(qz::gdi::recordedCalls().empty());
}

// The host's part, played by the test: the value reported Changed on
// "gui_com_pin" is made readable on "Val from DSP", then opcode 7; the
// redraw request it answers with leads to a paint.
TEST(FreqDisplayPaint, ProcessingChangeReachesThePaintedPanel) {
    TestHost host(plugin());
    host.open();
    PanelHost panel(plugin().makeModule);
    struct Step {
        int16_t course, detune;
        const char *text;
    };
    const Step steps[] = {{2, 7, "  100 Hz"}, {3, 0, "  500 Hz"}, {3, 14, " 2000 Hz"}, {0, 7, "    1 Hz"}};
    for (const Step &s : steps) {
        host.clearLogs();
        host.setEnum(kCourseFixed, s.course);
        host.setEnum(kDetune, s.detune);
        ASSERT_FALSE(host.statusLog.empty());
        ASSERT_EQ(host.statusLog.back().pin, kGuiCom);
        ASSERT_EQ(host.statusLog.back().status, QZ_STATUS_CHANGED);
        panel.setFloat(kValFromDsp, *static_cast<float *>(host.pins[kGuiCom].variable));
        panel.requests.clear();
        panel.pinChanged(kValFromDsp);
        ASSERT_EQ(panel.requests.back().opcode, QZ_GUIHOST_REDRAW);

        Canvas canvas(75, 15);
        QzWindowInfo window{75, 15};
        qz::gdi::startRecording();
        panel.dispatch(QZ_GUI_PAINT, canvas.paintIndex(), 0, &window);
        qz::gdi::stopRecording();
        std::string drawn;
        for (const Call &c : qz::gdi::recordedCalls()) {
            if (c.function == "TextOutA") drawn = c.text;
        }
        EXPECT_EQ(drawn, s.text);
        EXPECT_EQ(canvas.pixel(0, 14), kBlack);
    }
}

} // namespace
