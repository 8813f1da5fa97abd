// The drawing layer's handles: every call on a handle that was never made,
// was deleted, or is of the wrong kind answers its failure result.
#include "gdi_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qz::gdi::Canvas;

HFONT makeFont() { return CreateFontA(12, 5, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Courier"); }

// Each call made with one bad handle in the place of the device context or
// of the object, with its expected failure result.
struct Answers {
    int fill;
    HGDIOBJ select;
    COLORREF color;
    int mode;
    UINT align;
    BOOL text;
};

Answers callsOnDevice(HDC dc, HBRUSH brush) {
    const RECT r{0, 0, 4, 4};
    return {FillRect(dc, &r, brush), SelectObject(dc, brush), SetTextColor(dc, 0x123456u),
            SetBkMode(dc, TRANSPARENT), SetTextAlign(dc, TA_RIGHT), TextOutA(dc, 0, 0, "ab", 2)};
}

TEST(GdiHandles, BadDeviceContextsFail) {
    Canvas canvas(8, 8);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HFONT font = makeFont();
    Canvas *gone = new Canvas(8, 8);
    HDC goneDc = gone->handle();
    delete gone;
    struct Case {
        const char *name;
        HDC dc;
    };
    const Case cases[] = {
        {"null", nullptr},
        {"never created", reinterpret_cast<HDC>(static_cast<uintptr_t>(0x7FFFFF00))},
        {"a brush", reinterpret_cast<HDC>(brush)},
        {"a font", reinterpret_cast<HDC>(font)},
        {"destroyed canvas", goneDc},
    };
    for (const Case &c : cases) {
        const Answers a = callsOnDevice(c.dc, brush);
        EXPECT_EQ(a.fill, 0) << c.name;
        EXPECT_EQ(a.select, nullptr) << c.name;
        EXPECT_EQ(a.color, CLR_INVALID) << c.name;
        EXPECT_EQ(a.mode, 0) << c.name;
        EXPECT_EQ(a.align, GDI_ERROR) << c.name;
        EXPECT_EQ(a.text, FALSE) << c.name;
    }
    EXPECT_EQ(DeleteObject(canvas.handle()), FALSE) << "a device context is no drawing object";
    EXPECT_EQ(DeleteObject(goneDc), FALSE);
    EXPECT_EQ(DeleteObject(brush), TRUE);
    EXPECT_EQ(DeleteObject(font), TRUE);
}

TEST(GdiHandles, BadObjectsFail) {
    Canvas canvas(8, 8);
    HBRUSH deleted = CreateSolidBrush(0);
    ASSERT_EQ(DeleteObject(deleted), TRUE);
    const RECT r{0, 0, 4, 4};
    struct Case {
        const char *name;
        HGDIOBJ object;
    };
    const Case cases[] = {
        {"null", nullptr},
        {"never created", reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(0x7FFFFF00))},
        {"deleted", deleted},
        {"a device context", canvas.handle()},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(FillRect(canvas.handle(), &r, static_cast<HBRUSH>(c.object)), 0) << c.name;
        EXPECT_EQ(SelectObject(canvas.handle(), c.object), nullptr) << c.name;
        EXPECT_EQ(DeleteObject(c.object), FALSE) << c.name;
    }
    HFONT font = makeFont();
    EXPECT_EQ(FillRect(canvas.handle(), &r, reinterpret_cast<HBRUSH>(font)), 0) << "a font is no brush";
    HBRUSH brush = CreateSolidBrush(0);
    EXPECT_EQ(FillRect(canvas.handle(), nullptr, brush), 0) << "no rectangle";
    EXPECT_EQ(DeleteObject(brush), TRUE);
    EXPECT_EQ(DeleteObject(font), TRUE);
    EXPECT_EQ(DeleteObject(font), FALSE) << "deleted twice";
}

TEST(GdiHandles, SelectedObjectsStayUntilDeselected) {
    Canvas canvas(8, 8);
    HFONT font = makeFont();
    HGDIOBJ stock = SelectObject(canvas.handle(), font);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(DeleteObject(font), FALSE) << "still selected";
    EXPECT_EQ(TextOutA(canvas.handle(), 0, 0, "x", 1), TRUE) << "and still usable";
    EXPECT_EQ(SelectObject(canvas.handle(), stock), font);
    EXPECT_EQ(DeleteObject(font), TRUE);
    // The device context's own font is a stock object: deleting it changes nothing.
    EXPECT_EQ(DeleteObject(stock), TRUE);
    EXPECT_EQ(TextOutA(canvas.handle(), 0, 0, "x", 1), TRUE);
}

TEST(GdiHandles, DestroyingACanvasReleasesItsSelection) {
    HFONT font = makeFont();
    {
        Canvas canvas(8, 8);
        SelectObject(canvas.handle(), font);
        EXPECT_EQ(DeleteObject(font), FALSE);
    }
    EXPECT_EQ(DeleteObject(font), TRUE);
}

TEST(GdiHandles, CanvasSizes) {
    struct Case {
        int32_t width, height;
        bool made;
    };
    const Case cases[] = {{1, 1, true}, {75, 15, true}, {0, 15, false}, {75, 0, false},
                          {-1, -1, false}, {16384, 1, true}, {16385, 1, false}, {1, INT32_MAX, false}};
    for (const Case &c : cases) {
        Canvas canvas(c.width, c.height);
        EXPECT_EQ(canvas.handle() != nullptr, c.made) << c.width << "x" << c.height;
        if (c.made) {
            // The handle travels whole in the paint request's 32-bit index.
            EXPECT_EQ(static_cast<uintptr_t>(canvas.paintIndex()), reinterpret_cast<uintptr_t>(canvas.handle()));
            EXPECT_GT(canvas.paintIndex(), 0);
        } else {
            EXPECT_EQ(SetBkMode(canvas.handle(), OPAQUE), 0);
            EXPECT_TRUE(canvas.pixels().empty());
            EXPECT_FALSE(canvas.savePng("/tmp/never-written.png"));
        }
    }
}

TEST(GdiHandles, SettersAnswerThePreviousValueAndRejectBadModes) {
    Canvas canvas(4, 4);
    HDC dc = canvas.handle();
    EXPECT_EQ(SetTextColor(dc, 0x00D4D4u), 0u);
    EXPECT_EQ(SetTextColor(dc, 0x00FF00u), 0x00D4D4u);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, 0), 0) << "no such mode";
    EXPECT_EQ(SetBkMode(dc, 3), 0) << "no such mode";
    EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT) << "the bad modes changed nothing";
    EXPECT_EQ(SetTextAlign(dc, TA_RIGHT | TA_BOTTOM), static_cast<UINT>(TA_LEFT | TA_TOP));
    EXPECT_EQ(SetTextAlign(dc, TA_LEFT), static_cast<UINT>(TA_RIGHT | TA_BOTTOM));
}

TEST(GdiHandles, TextArgumentsAreChecked) {
    Canvas canvas(16, 16);
    EXPECT_EQ(TextOutA(canvas.handle(), 0, 0, nullptr, 3), FALSE);
    EXPECT_EQ(TextOutA(canvas.handle(), 0, 0, "abc", -1), FALSE);
    EXPECT_EQ(TextOutA(canvas.handle(), 0, 0, nullptr, 0), TRUE) << "nothing to draw";
    // A face name without a terminator within its 32 bytes is cut at 31.
    char face[40];
    for (char &c : face) c = 'A';
    qz::gdi::startRecording();
    HFONT font = CreateFontA(12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, face);
    qz::gdi::stopRecording();
    ASSERT_NE(font, nullptr);
    const auto calls = qz::gdi::recordedCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, std::string(31, 'A'));
    EXPECT_EQ(DeleteObject(font), TRUE);
}

} // namespace
