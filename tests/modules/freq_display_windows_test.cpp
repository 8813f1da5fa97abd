// The frequency display's panel painting through the platform's own drawing
// calls: a memory device context over a bitmap, painted by the real paint
// request, and the pixels read back where the text must be.
#include "test_host.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

namespace {

constexpr int kWidth = 75, kHeight = 15;
constexpr int32_t kValFromDsp = 4;

float gValue = 100.0f;

QzResult QZ_CALL panelHost(QzGuiRecord *, int32_t opcode, int32_t index, int32_t, void *ptr, float) {
    if (opcode == QZ_GUIHOST_GET_PIN_VALUE && index == kValFromDsp && ptr != nullptr) {
        *static_cast<float *>(ptr) = gValue;
    }
    return 0;
}

struct Bitmap {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    uint32_t *bits = nullptr; // top-down rows of 0x00RRGGBB

    Bitmap() {
        dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void *pixels = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
        bits = static_cast<uint32_t *>(pixels);
        previous = SelectObject(dc, bitmap);
        for (int i = 0; i < kWidth * kHeight; ++i) bits[i] = 0x00FFFFFFu; // white, to see the fill
    }
    ~Bitmap() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    uint32_t at(int x, int y) const { return bits[y * kWidth + x]; }
};

bool isYellow(uint32_t p) {
    const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return r > 100 && g > 100 && b < 60 && (r > g ? r - g : g - r) < 40;
}

TEST(FreqDisplayWindows, PaintsYellowTextOnBlackIntoAMemoryBitmap) {
    qz::test::Plugin plugin("QZ_FreqDisplay_v1");
    auto *gui = static_cast<QzGuiRecord *>(
        plugin.makeModule(0, QZ_PROFILE_PANEL, reinterpret_cast<QzHostCallback>(&panelHost), nullptr));
    ASSERT_NE(gui, nullptr);
    gui->dispatcher(gui, QZ_GUI_PIN_VALUE_CHANGED, kValFromDsp, 0, nullptr, 0.0f);

    Bitmap target;
    ASSERT_NE(target.bits, nullptr);
    QzWindowInfo window{kWidth, kHeight};
    // A device context handle fits the paint request's 32-bit index.
    const auto handle = static_cast<int32_t>(reinterpret_cast<intptr_t>(target.dc));
    gui->dispatcher(gui, QZ_GUI_PAINT, handle, 0, &window, 0.0f);
    GdiFlush();

    // "  100 Hz" from x = 1: the leading blanks stay black, the digits follow
    // them in yellow, and nothing but black and yellow is left. The face the
    // platform substitutes for "Courier" decides the exact cell width.
    int yellow = 0, notBlackInBlanks = 0, otherColours = 0, yellowLeftHalf = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t p = target.at(x, y) & 0x00FFFFFFu;
            if (p != 0 && !isYellow(p)) ++otherColours;
            if (x < 6 && p != 0) ++notBlackInBlanks;
            if (isYellow(p)) {
                ++yellow;
                if (x < kWidth / 2) ++yellowLeftHalf;
            }
        }
    }
    EXPECT_EQ(otherColours, 0) << "the area is filled black and the text is yellow";
    EXPECT_EQ(notBlackInBlanks, 0) << "the leading blanks stay black";
    EXPECT_GT(yellow, 40) << "the text is drawn";
    EXPECT_GT(yellowLeftHalf, 20) << "the digits come first";
    EXPECT_EQ(gui->dispatcher(gui, QZ_GUI_CLOSE, 0, 0, nullptr, 0.0f), 1);
}

} // namespace
