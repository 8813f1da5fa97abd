// The drawing layer's pixels: fills, text placement and colour, and the PNG
// a host saves.
#include "gdi_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using qz::gdi::Canvas;

struct Ink {
    int32_t left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1; // right/bottom inclusive
    int32_t count = 0;
};

Ink inkOf(const Canvas &canvas, uint32_t background = 0) {
    Ink ink;
    for (int32_t y = 0; y < canvas.height(); ++y)
        for (int32_t x = 0; x < canvas.width(); ++x) {
            if (canvas.pixel(x, y) == background) continue;
            ++ink.count;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
        }
    return ink;
}

void drawWith(Canvas &canvas, HFONT font, int x, int y, const std::string &text, COLORREF colour = 0xFFFFFFu) {
    HGDIOBJ previous = SelectObject(canvas.handle(), font);
    SetTextColor(canvas.handle(), colour);
    SetBkMode(canvas.handle(), TRANSPARENT);
    TextOutA(canvas.handle(), x, y, text.data(), static_cast<int>(text.size()));
    SelectObject(canvas.handle(), previous);
}

HFONT courier(DWORD quality = 0) {
    return CreateFontA(12, 5, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, quality, 0, "Courier");
}

TEST(GdiDrawing, FillCoversLeftTopInclusiveRightBottomExclusive) {
    struct Case {
        const char *name;
        RECT rect;
        int32_t x0, y0, x1, y1; // the filled pixels [x0, x1) x [y0, y1)
    };
    const Case cases[] = {
        {"inside", {2, 3, 5, 7}, 2, 3, 5, 7},
        {"clipped on every side", {-100, -100, 1000000000, 2}, 0, 0, 8, 2},
        {"one pixel beyond the corner", {0, 0, 9, 9}, 0, 0, 8, 8},
        {"inverted", {5, 5, 2, 2}, 0, 0, 0, 0},
        {"outside", {20, 20, 30, 30}, 0, 0, 0, 0},
        {"extreme", {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 0, 0, 8, 8},
    };
    for (const Case &c : cases) {
        Canvas canvas(8, 8);
        HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
        EXPECT_NE(FillRect(canvas.handle(), &c.rect, brush), 0) << c.name;
        DeleteObject(brush);
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x) {
                const bool inside = x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
                ASSERT_EQ(canvas.pixel(x, y), inside ? 0x0A141Eu : 0u) << c.name << " at " << x << "," << y;
            }
    }
}

TEST(GdiDrawing, CourierIsMonospaced) {
    EXPECT_FALSE(qz::gdi::resolveFace("Courier").empty());
    EXPECT_EQ(qz::gdi::resolveFace("Courier"), qz::gdi::resolveFace("COURIER"));
    // With an average width of 5 every character takes five pixels: narrow
    // and wide letters end in the same cell.
    for (const std::string text : {"iiii", "MMMM", "1111", "WWWW"}) {
        Canvas canvas(40, 15);
        HFONT font = courier();
        drawWith(canvas, font, 1, 0, text);
        DeleteObject(font);
        const Ink ink = inkOf(canvas);
        EXPECT_GE(ink.right, 1 + 15) << text;
        EXPECT_LT(ink.right, 1 + 21) << text;
        EXPECT_GE(ink.left, 0) << text;
        EXPECT_LT(ink.left, 1 + 5) << text;
        EXPECT_LT(ink.bottom, 12) << text << ": within the 12-pixel cell";
    }
}

TEST(GdiDrawing, AlignmentMovesTheText) {
    struct Case {
        const char *name;
        UINT align;
        int x, y;
        int32_t minLeft, maxRight, minTop, maxBottom;
    };
    // "HH" is ten pixels wide and twelve high in its cells.
    const Case cases[] = {
        {"left top", TA_LEFT | TA_TOP, 10, 2, 10, 19, 2, 13},
        {"right", TA_RIGHT | TA_TOP, 30, 2, 20, 29, 2, 13},
        {"centre", TA_CENTER | TA_TOP, 25, 2, 20, 29, 2, 13},
        {"bottom", TA_LEFT | TA_BOTTOM, 10, 20, 10, 19, 8, 19},
        {"baseline", TA_LEFT | TA_BASELINE, 10, 20, 10, 19, 10, 19},
    };
    for (const Case &c : cases) {
        Canvas canvas(40, 30);
        HFONT font = courier();
        SetTextAlign(canvas.handle(), c.align);
        drawWith(canvas, font, c.x, c.y, "HH");
        DeleteObject(font);
        const Ink ink = inkOf(canvas);
        ASSERT_GT(ink.count, 0) << c.name;
        EXPECT_GE(ink.left, c.minLeft) << c.name;
        EXPECT_LE(ink.right, c.maxRight) << c.name;
        EXPECT_GE(ink.top, c.minTop) << c.name;
        EXPECT_LE(ink.bottom, c.maxBottom) << c.name;
    }
}

TEST(GdiDrawing, OpaqueBackgroundAndSmoothQuality) {
    Canvas opaque(30, 15);
    HFONT font = courier();
    SelectObject(opaque.handle(), font);
    SetTextColor(opaque.handle(), RGB(255, 0, 0));
    TextOutA(opaque.handle(), 0, 0, "  ", 2); // spaces: only the white background
    const Ink box = inkOf(opaque);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 9);
    EXPECT_EQ(opaque.pixel(3, 3), 0xFFFFFFu);
    EXPECT_EQ(opaque.pixel(12, 3), 0u);

    // Smoothed glyphs blend the text colour into the black: shades of yellow,
    // red equal to green and no blue.
    Canvas smooth(30, 15);
    HFONT soft = courier(ANTIALIASED_QUALITY);
    drawWith(smooth, soft, 0, 0, "8@", 0x00D4D4u);
    bool blended = false;
    for (uint32_t p : smooth.pixels()) {
        const uint32_t r = p >> 16, g = (p >> 8) & 0xFFu, b = p & 0xFFu;
        EXPECT_EQ(b, 0u);
        EXPECT_LE(r, 212u);
        EXPECT_NEAR(static_cast<int>(r), static_cast<int>(g), 1);
        blended = blended || (r > 0 && r < 212);
    }
    EXPECT_TRUE(blended);
    SelectObject(opaque.handle(), soft); // releases `font`
    EXPECT_EQ(DeleteObject(font), TRUE);
}

TEST(GdiDrawing, OddBytesDrawAndLeaveTheDeviceUsable) {
    Canvas canvas(60, 15);
    HFONT font = courier();
    const char odd[] = {'\xff', '\0', 'A', '\x80', '\xe9'};
    SelectObject(canvas.handle(), font);
    EXPECT_EQ(TextOutA(canvas.handle(), 0, 0, odd, 5), TRUE);
    HBRUSH black = CreateSolidBrush(0);
    const RECT all{0, 0, 60, 15};
    FillRect(canvas.handle(), &all, black);
    DeleteObject(black);
    SetBkMode(canvas.handle(), TRANSPARENT);
    SetTextColor(canvas.handle(), 0xFFFFFFu);
    EXPECT_EQ(TextOutA(canvas.handle(), 0, 0, "OK", 2), TRUE);
    EXPECT_GT(inkOf(canvas).count, 0) << "text still draws after odd bytes";
}

TEST(GdiDrawing, SavedPngHasThePanelsSize) {
    Canvas canvas(75, 15);
    const std::string path = ::testing::TempDir() + "gdi_drawing_test.png";
    ASSERT_TRUE(canvas.savePng(path));
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(bytes.size(), 24u);
    const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(std::equal(std::begin(signature), std::end(signature), bytes.begin()));
    const auto be32 = [&](size_t at) {
        return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) | (uint32_t{bytes[at + 2]} << 8) |
               uint32_t{bytes[at + 3]};
    };
    EXPECT_EQ(be32(16), 75u);
    EXPECT_EQ(be32(20), 15u);
    std::remove(path.c_str());
    EXPECT_FALSE(canvas.savePng("/nonexistent-folder/x.png"));
}

} // namespace
