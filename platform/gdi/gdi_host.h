// gdi_host.h: what a host (the development host, a test) needs of the
// drawing layer: device contexts over pixel buffers, the pixels painted into
// them, and a record of every drawing call made.
//
//   qz::gdi::Canvas canvas(75, 15);
//   QzWindowInfo window{75, 15};
//   gui->dispatcher(gui, QZ_GUI_PAINT, canvas.paintIndex(), 0, &window, 0.0f);
//   canvas.savePng("panel.png");
#pragma once

#include "qz_gdi.h"

#include <cstdint>
#include <string>
#include <vector>

#if defined(QZ_GDI_BUILDING)
#define QZ_GDI_HOST_API __attribute__((visibility("default")))
#else
#define QZ_GDI_HOST_API
#endif

namespace qz::gdi {

// One drawing call as it was made. Handles appear as their integer values;
// a RECT as its four fields; the face name or the drawn bytes in `text`.
struct Call {
    std::string function;
    std::vector<int64_t> args;
    std::string text;
    int64_t result = 0;

    bool operator==(const Call &) const = default;
};

// Readable form for failure messages: CreateSolidBrush(0) -> 3.
QZ_GDI_HOST_API std::string describe(const Call &call);

// Recording is off until a host starts it; starting clears the record.
QZ_GDI_HOST_API void startRecording();
QZ_GDI_HOST_API void stopRecording();
QZ_GDI_HOST_API std::vector<Call> recordedCalls();

// The font family a face name is drawn with ("Courier" and the other fixed
// pitch names resolve to an installed monospace face).
QZ_GDI_HOST_API std::string resolveFace(const std::string &faceName);

// A device context over its own pixel buffer, black at start. Pixels are
// 0x00RRGGBB. A size below 1 or above 16384 on either side gives no device
// context: handle() is NULL and every call on it fails.
class QZ_GDI_HOST_API Canvas {
public:
    Canvas(int32_t width, int32_t height);
    ~Canvas();
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;

    HDC handle() const { return dc_; }
    // The handle as the paint request carries it (opcode 2's index).
    int32_t paintIndex() const;
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    // 0 outside the buffer.
    uint32_t pixel(int32_t x, int32_t y) const;
    std::vector<uint32_t> pixels() const;
    // Writes the painted area as a PNG file; false when it cannot.
    bool savePng(const std::string &path) const;

private:
    HDC dc_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

} // namespace qz::gdi
