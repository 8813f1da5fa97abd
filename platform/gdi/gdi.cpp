// The drawing layer: a table of handles, device contexts over pixel buffers,
// fills written straight into the pixels and text drawn by cairo with faces
// that fontconfig finds.
#include "gdi_host.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <unordered_map>

namespace {

using qz::gdi::Call;

constexpr int32_t kMaxSide = 16384;
constexpr size_t kFaceNameBytes = 31; // longer face names are cut, as the platform does
constexpr COLORREF kWhite = 0x00FFFFFFu;

enum class Kind { DeviceContext, Font, Brush };

struct Font {
    int height = 0;
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = 0;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    DWORD quality = 0;
    std::string family; // resolved by fontconfig
};

struct Device {
    int32_t width = 0;
    int32_t height = 0;
    int32_t rowPixels = 0; // cairo's stride in pixels
    std::vector<uint32_t> pixels;
    cairo_surface_t *surface = nullptr;
    uintptr_t font = 0;
    uintptr_t brush = 0;
    COLORREF textColor = 0;
    COLORREF backgroundColor = kWhite;
    int backgroundMode = OPAQUE;
    UINT align = TA_LEFT | TA_TOP;
};

struct Object {
    Kind kind = Kind::Font;
    bool stock = false;
    int32_t selections = 0; // device contexts that hold it selected
    Font font;
    COLORREF color = 0;
    std::unique_ptr<Device> device;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<uintptr_t, Object> objects;
    uintptr_t next = 0x10;
    uintptr_t stockFont = 0;
    uintptr_t stockBrush = 0;
    bool recording = false;
    std::vector<Call> calls;
    std::map<std::string, std::string> faces;
};

Registry &registry() {
    static Registry r;
    return r;
}

// cairo and fontconfig keep font caches for the life of the process; they
// are handed back at exit, when no device context is left to use them.
int32_t gLiveDevices = 0; // changed under the registry's lock
struct LibraryCaches {
    LibraryCaches() = default;
    LibraryCaches(const LibraryCaches &) = delete;
    LibraryCaches &operator=(const LibraryCaches &) = delete;
    ~LibraryCaches() {
        if (gLiveDevices != 0) return;
        cairo_debug_reset_static_data();
        FcFini();
    }
} gLibraryCaches;

uintptr_t key(const void *handle) { return reinterpret_cast<uintptr_t>(handle); }
int64_t value(const void *handle) { return static_cast<int64_t>(key(handle)); }

// Handles stay below 2^31 so that they travel in 32-bit words; after that
// many objects no more are made.
uintptr_t addObject(Registry &r, Object object) {
    if (r.next >= 0x7FFFFFF0u) return 0;
    const uintptr_t handle = r.next++;
    r.objects.emplace(handle, std::move(object));
    return handle;
}

Object *find(Registry &r, uintptr_t handle, Kind kind) {
    auto it = r.objects.find(handle);
    if (it == r.objects.end() || it->second.kind != kind) return nullptr;
    return &it->second;
}

Device *findDevice(Registry &r, const void *handle) {
    Object *o = find(r, key(handle), Kind::DeviceContext);
    return o != nullptr ? o->device.get() : nullptr;
}

void record(Registry &r, std::string function, std::vector<int64_t> args, std::string text, int64_t result) {
    if (r.recording) r.calls.push_back(Call{std::move(function), std::move(args), std::move(text), result});
}

std::string lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isFixedPitchName(const std::string &name) {
    static const char *const kNames[] = {"courier", "courier new", "fixedsys", "terminal", "lucida console",
                                         "consolas", "monospace"};
    const std::string l = lower(name);
    for (const char *n : kNames)
        if (l == n) return true;
    return false;
}

std::string matchFace(const std::string &name) {
    const bool fixed = isFixedPitchName(name);
    FcPattern *pattern = FcPatternCreate();
    if (pattern == nullptr) return fixed ? "monospace" : "sans-serif";
    if (fixed) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>("monospace"));
        FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    } else if (!name.empty()) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(name.c_str()));
    }
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    std::string family = fixed ? "monospace" : "sans-serif";
    FcChar8 *found = nullptr;
    if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &found) == FcResultMatch && found != nullptr)
        family = reinterpret_cast<const char *>(found);
    if (match != nullptr) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return family;
}

std::string resolveLocked(Registry &r, const std::string &name) {
    const std::string k = lower(name);
    auto it = r.faces.find(k);
    if (it != r.faces.end()) return it->second;
    std::string family = matchFace(name);
    r.faces.emplace(k, family);
    return family;
}

uintptr_t stockFont(Registry &r) {
    if (r.stockFont == 0) {
        Object o;
        o.kind = Kind::Font;
        o.stock = true;
        o.font.height = 16;
        o.font.weight = FW_BOLD;
        o.font.family = resolveLocked(r, "System");
        r.stockFont = addObject(r, std::move(o));
    }
    return r.stockFont;
}

uintptr_t stockBrush(Registry &r) {
    if (r.stockBrush == 0) {
        Object o;
        o.kind = Kind::Brush;
        o.stock = true;
        o.color = kWhite;
        r.stockBrush = addObject(r, std::move(o));
    }
    return r.stockBrush;
}

uint32_t toPixel(COLORREF c) {
    const uint32_t red = c & 0xFFu;
    const uint32_t green = (c >> 8) & 0xFFu;
    const uint32_t blue = (c >> 16) & 0xFFu;
    return (red << 16) | (green << 8) | blue;
}

// Fills [left, right) x [top, bottom), clipped to the device.
void fillPixels(Device &d, int64_t left, int64_t top, int64_t right, int64_t bottom, COLORREF color) {
    const int64_t x0 = std::max<int64_t>(left, 0);
    const int64_t y0 = std::max<int64_t>(top, 0);
    const int64_t x1 = std::min<int64_t>(right, d.width);
    const int64_t y1 = std::min<int64_t>(bottom, d.height);
    if (x0 >= x1 || y0 >= y1) return;
    cairo_surface_flush(d.surface);
    const uint32_t pixel = toPixel(color);
    for (int64_t y = y0; y < y1; ++y) {
        uint32_t *row = d.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(d.rowPixels);
        std::fill(row + x0, row + x1, pixel);
    }
    cairo_surface_mark_dirty(d.surface);
}

// The drawn bytes as UTF-8 (each byte one Latin-1 character; a zero byte
// draws as a space).
std::string toUtf8(const char *text, int count) {
    std::string out;
    out.reserve(static_cast<size_t>(count) * 2);
    for (int i = 0; i < count; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == 0) {
            out.push_back(' ');
        } else if (b < 0x80) {
            out.push_back(static_cast<char>(b));
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

void drawText(Device &d, const Font &font, int x, int y, const std::string &utf8) {
    cairo_t *cr = cairo_create(d.surface);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr);
        return;
    }
    cairo_select_font_face(cr, font.family.c_str(), font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           font.weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    const bool smooth = font.quality == ANTIALIASED_QUALITY || font.quality == CLEARTYPE_QUALITY;
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, smooth ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);

    // Measure the face at a large size, then scale it so that its cell and
    // its average character width come out as the font asked.
    constexpr double kProbe = 100.0;
    cairo_set_font_size(cr, kProbe);
    cairo_font_extents_t fe{};
    cairo_font_extents(cr, &fe);
    cairo_text_extents_t xe{};
    cairo_text_extents(cr, "x", &xe);
    const double cell = (fe.ascent + fe.descent) / kProbe;
    const double advance = xe.x_advance / kProbe;
    if (!(cell > 0.0) || !(advance > 0.0)) {
        cairo_destroy(cr);
        return;
    }
    const double emY = font.height > 0 ? font.height / cell : font.height < 0 ? -static_cast<double>(font.height) : 12.0 / cell;
    const double emX = font.width > 0 ? font.width / advance : emY;
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, emX, emY);
    cairo_set_font_matrix(cr, &matrix);
    const double ascent = fe.ascent / kProbe * emY;
    const double descent = fe.descent / kProbe * emY;

    cairo_text_extents_t te{};
    cairo_text_extents(cr, utf8.c_str(), &te);
    double left = x;
    const UINT horizontal = d.align & TA_CENTER;
    if (horizontal == TA_RIGHT) left = x - te.x_advance;
    if (horizontal == TA_CENTER) left = x - te.x_advance / 2.0;
    double baseline = y + ascent;
    const UINT vertical = d.align & TA_BASELINE;
    if (vertical == TA_BOTTOM) baseline = y - descent;
    if (vertical == TA_BASELINE) baseline = y;
    left = std::round(left);
    baseline = std::round(baseline);

    if (d.backgroundMode == OPAQUE) {
        fillPixels(d, static_cast<int64_t>(left), static_cast<int64_t>(std::round(baseline - ascent)),
                   static_cast<int64_t>(std::round(left + te.x_advance)),
                   static_cast<int64_t>(std::round(baseline + descent)), d.backgroundColor);
    }
    const COLORREF c = d.textColor;
    cairo_set_source_rgb(cr, (c & 0xFFu) / 255.0, ((c >> 8) & 0xFFu) / 255.0, ((c >> 16) & 0xFFu) / 255.0);
    cairo_move_to(cr, left, baseline);
    cairo_show_text(cr, utf8.c_str());
    cairo_destroy(cr);
    cairo_surface_flush(d.surface);
}

void releaseDevice(Registry &r, Device &d) {
    for (uintptr_t selected : {d.font, d.brush}) {
        auto it = r.objects.find(selected);
        if (it != r.objects.end()) --it->second.selections;
    }
    if (d.surface != nullptr) cairo_surface_destroy(d.surface);
    d.surface = nullptr;
}

} // namespace

// ---- the drawing calls -------------------------------------------------------

extern "C" {

HFONT CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight, DWORD bItalic,
                  DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision, DWORD iClipPrecision,
                  DWORD iQuality, DWORD iPitchAndFamily, LPCSTR pszFaceName) {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    const std::string face = pszFaceName != nullptr ? std::string(pszFaceName, strnlen(pszFaceName, kFaceNameBytes)) : "";
    Object o;
    o.kind = Kind::Font;
    o.font.height = cHeight;
    o.font.width = cWidth;
    o.font.escapement = cEscapement;
    o.font.orientation = cOrientation;
    o.font.weight = cWeight;
    o.font.italic = bItalic != 0;
    o.font.underline = bUnderline != 0;
    o.font.strikeOut = bStrikeOut != 0;
    o.font.quality = iQuality;
    o.font.family = resolveLocked(r, face);
    const uintptr_t handle = addObject(r, std::move(o));
    record(r, "CreateFontA",
           {cHeight, cWidth, cEscapement, cOrientation, cWeight, bItalic, bUnderline, bStrikeOut, iCharSet,
            iOutPrecision, iClipPrecision, iQuality, iPitchAndFamily},
           face, static_cast<int64_t>(handle));
    return reinterpret_cast<HFONT>(handle);
}

HBRUSH CreateSolidBrush(COLORREF color) {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    Object o;
    o.kind = Kind::Brush;
    o.color = color;
    const uintptr_t handle = addObject(r, std::move(o));
    record(r, "CreateSolidBrush", {color}, "", static_cast<int64_t>(handle));
    return reinterpret_cast<HBRUSH>(handle);
}

int FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    Device *d = findDevice(r, hDC);
    const Object *brush = find(r, key(hbr), Kind::Brush);
    int result = 0;
    if (d != nullptr && brush != nullptr && lprc != nullptr) {
        fillPixels(*d, lprc->left, lprc->top, lprc->right, lprc->bottom, brush->color);
        result = 1;
    }
    if (lprc != nullptr)
        record(r, "FillRect", {value(hDC), lprc->left, lprc->top, lprc->right, lprc->bottom, value(hbr)}, "", result);
    else
        record(r, "FillRect", {value(hDC), value(hbr)}, "", result);
    return result;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    Device *d = findDevice(r, hdc);
    auto it = r.objects.find(key(h));
    uintptr_t previous = 0;
    if (d != nullptr && it != r.objects.end() && it->second.kind != Kind::DeviceContext) {
        uintptr_t &slot = it->second.kind == Kind::Font ? d->font : d->brush;
        previous = slot;
        auto old = r.objects.find(previous);
        if (old != r.objects.end()) --old->second.selections;
        ++it->second.selections;
        slot = key(h);
    }
    record(r, "SelectObject", {value(hdc), value(h)}, "", static_cast<int64_t>(previous));
    return reinterpret_cast<HGDIOBJ>(previous);
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    Device *d = findDevice(r, hdc);
    COLORREF previous = CLR_INVALID;
    if (d != nullptr) {
        previous = d->textColor;
        d->textColor = color;
    }
    record(r, "SetTextColor", {value(hdc), color}, "", previous);
    return previous;
}

int SetBkMode(HDC hdc, int mode) {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    Device *d = findDevice(r, hdc);
    int previous = 0;
    if (d != nullptr && (mode == TRANSPARENT || mode == OPAQUE)) {
        previous = d->backgroundMode;
        d->backgroundMode = mode;
    }
    record(r, "SetBkMode", {value(hdc), mode}, "", previous);
    return previous;
}

UINT SetTextAlign(HDC hdc, UINT align) {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    Device *d = findDevice(r, hdc);
    UINT previous = GDI_ERROR;
    if (d != nullptr) {
        previous = d->align;
        d->align = align;
    }
    record(r, "SetTextAlign", {value(hdc), align}, "", previous);
    return previous;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    Device *d = findDevice(r, hdc);
    const bool textValid = c == 0 || (c > 0 && lpString != nullptr);
    const std::string bytes = (c > 0 && lpString != nullptr) ? std::string(lpString, static_cast<size_t>(c)) : "";
    BOOL result = FALSE;
    if (d != nullptr && textValid) {
        const Object *font = find(r, d->font, Kind::Font);
        if (font != nullptr && c > 0) drawText(*d, font->font, x, y, toUtf8(lpString, c));
        result = TRUE;
    }
    record(r, "TextOutA", {value(hdc), x, y, c}, bytes, result);
    return result;
}

BOOL DeleteObject(HGDIOBJ ho) {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.objects.find(key(ho));
    BOOL result = FALSE;
    if (it != r.objects.end() && it->second.kind != Kind::DeviceContext) {
        if (it->second.stock) {
            result = TRUE;
        } else if (it->second.selections == 0) {
            r.objects.erase(it);
            result = TRUE;
        }
    }
    record(r, "DeleteObject", {value(ho)}, "", result);
    return result;
}

} // extern "C"

// ---- the host's side -----------------------------------------------------------

namespace qz::gdi {

std::string describe(const Call &call) {
    std::ostringstream out;
    out << call.function << '(';
    for (size_t i = 0; i < call.args.size(); ++i) out << (i > 0 ? ", " : "") << call.args[i];
    if (!call.text.empty() || call.function == "CreateFontA" || call.function == "TextOutA")
        out << (call.args.empty() ? "" : ", ") << '"' << call.text << '"';
    out << ") -> " << call.result;
    return out.str();
}

void startRecording() {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    r.calls.clear();
    r.recording = true;
}

void stopRecording() {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    r.recording = false;
}

std::vector<Call> recordedCalls() {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    return r.calls;
}

std::string resolveFace(const std::string &faceName) {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    return resolveLocked(r, faceName);
}

Canvas::Canvas(int32_t width, int32_t height) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return;
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
    if (stride <= 0 || stride % 4 != 0) return;
    auto device = std::make_unique<Device>();
    device->width = width;
    device->height = height;
    device->rowPixels = stride / 4;
    device->pixels.assign(static_cast<size_t>(device->rowPixels) * static_cast<size_t>(height), 0u);
    device->surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char *>(device->pixels.data()),
                                                          CAIRO_FORMAT_RGB24, width, height, stride);
    if (cairo_surface_status(device->surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(device->surface);
        return;
    }
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    device->font = stockFont(r);
    device->brush = stockBrush(r);
    Object o;
    o.kind = Kind::DeviceContext;
    o.device = std::move(device);
    Device *raw = o.device.get();
    const uintptr_t handle = addObject(r, std::move(o));
    if (handle == 0) {
        cairo_surface_destroy(raw->surface);
        return;
    }
    ++gLiveDevices;
    ++r.objects.at(raw->font).selections;
    ++r.objects.at(raw->brush).selections;
    dc_ = reinterpret_cast<HDC>(handle);
    width_ = width;
    height_ = height;
}

Canvas::~Canvas() {
    if (dc_ == nullptr) return;
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.objects.find(key(dc_));
    if (it == r.objects.end()) return;
    releaseDevice(r, *it->second.device);
    r.objects.erase(it);
    --gLiveDevices;
}

int32_t Canvas::paintIndex() const { return static_cast<int32_t>(key(dc_)); }

uint32_t Canvas::pixel(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    const Device *d = findDevice(r, dc_);
    if (d == nullptr) return 0;
    return d->pixels[static_cast<size_t>(y) * static_cast<size_t>(d->rowPixels) + static_cast<size_t>(x)] & 0xFFFFFFu;
}

std::vector<uint32_t> Canvas::pixels() const {
    std::vector<uint32_t> out;
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    const Device *d = findDevice(r, dc_);
    if (d == nullptr) return out;
    out.reserve(static_cast<size_t>(width_) * static_cast<size_t>(height_));
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x)
            out.push_back(d->pixels[static_cast<size_t>(y) * static_cast<size_t>(d->rowPixels) + static_cast<size_t>(x)] &
                          0xFFFFFFu);
    return out;
}

bool Canvas::savePng(const std::string &path) const {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    const Device *d = findDevice(r, dc_);
    if (d == nullptr) return false;
    return cairo_surface_write_to_png(d->surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

} // namespace qz::gdi
