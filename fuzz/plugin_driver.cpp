// plugin_driver.cpp: a libFuzzer target that plays a correct host to one
// plug-in and lets the fuzz input decide everything a host may decide.
//
// The plug-in is loaded with dlopen and reached only through its two
// exports and the records they hand out. The input is a header followed by
// a stream of operations; every byte sequence decodes to a valid host
// session, so whatever goes wrong is the module's fault:
//
//   header   initial clock (u32), pin count offset (u8), null-buffer mask
//            (u32), whether a sleeping instance is still called (u8)
//   ops      dispatcher requests before and after Open (rates, block sizes,
//            pin descriptions, unknown opcodes, out-of-range indexes),
//            values of every data type written into the pin variables,
//            status changes inside and outside the pin table, MIDI words,
//            unknown event kinds, slices of any length within the block,
//            clock jumps, queued events sent back, and the panel instance's
//            requests with texts of any length.
//
// The host keeps its promises: Open once, buffers of the block size it
// announced (never more than kMaxBlock), slices inside the block, events
// copied, deferred calls only as the module queued them. It checks the
// module's requests (pin indexes, statuses) and that no slice writes
// outside its samples.
#include "qz_abi.h"

#if defined(QZ_FUZZ_GDI)
#include "gdi_host.h"
#endif

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#ifndef QZ_FUZZ_PLUGIN
#error "QZ_FUZZ_PLUGIN must name the plug-in file"
#endif

namespace {

constexpr int32_t kMaxBlock = 2048;       // the host's buffers never hold more
constexpr int32_t kMaxDescriptions = 256; // descriptions asked for before Open
constexpr int32_t kGuard = 4;             // sentinel samples checked around a slice
constexpr size_t kMaxQueued = 64;         // events the host keeps for later delivery

[[noreturn]] void fault(const char *what, long long a = 0, long long b = 0) {
    std::fprintf(stderr, "fuzz host: module fault: %s (%lld, %lld)\n", what, a, b);
    std::abort();
}

// ---- the plug-in -------------------------------------------------------------

QzGetModulePropertiesFn getProperties = nullptr;
QzMakeModuleFn makeModule = nullptr;

void loadPlugin() {
    const char *path = std::getenv("QZ_FUZZ_PLUGIN");
    if (path == nullptr || *path == 0) path = QZ_FUZZ_PLUGIN;
    // Never unloaded: the coverage counters live in the library.
    void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "fuzz host: cannot load %s: %s\n", path, dlerror());
        std::exit(2);
    }
    getProperties = reinterpret_cast<QzGetModulePropertiesFn>(dlsym(handle, "getModuleProperties"));
    makeModule = reinterpret_cast<QzMakeModuleFn>(dlsym(handle, "makeModule"));
    if (getProperties == nullptr || makeModule == nullptr) {
        std::fprintf(stderr, "fuzz host: %s lacks an entry point\n", path);
        std::exit(2);
    }
}

// ---- reading the input -----------------------------------------------------------

class Input {
public:
    Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
    uint32_t u32() { return static_cast<uint32_t>(u16()) | (static_cast<uint32_t>(u16()) << 16); }
    // Up to `max` raw bytes, length first.
    std::string text(size_t max) {
        size_t n = u16() % (max + 1);
        std::string s;
        while (n-- > 0 && !empty()) s.push_back(static_cast<char>(u8()));
        return s;
    }

    // A float: one of the values that break arithmetic, any bit pattern, a
    // control value 0..10 or a small signed value.
    float real() {
        static const float kSpecial[] = {0.0f,    -0.0f,     1.0f,          -1.0f,     0.5f,     0.1f,
                                         9.9f,    99.0f,     7.0f,          0.05f,     1e-45f,   1e-40f,
                                         FLT_MIN, FLT_MAX,   -FLT_MAX,      INFINITY,  -INFINITY, NAN,
                                         -NAN,    1e30f,     -1e30f,        1e-7f,     127.0f,   440.0f,
                                         2.1e9f,  4.3e9f,    -2.1e9f,       0.999999f, 1.000001f, 3.0f};
        const uint8_t mode = u8();
        switch (mode & 3u) {
        case 0:
            return kSpecial[(mode >> 2) % (sizeof kSpecial / sizeof kSpecial[0])];
        case 1: {
            const uint32_t bits = u32();
            float f;
            std::memcpy(&f, &bits, sizeof f);
            return f;
        }
        case 2:
            return static_cast<float>(u16()) / 6553.5f;
        default:
            return static_cast<float>(static_cast<int8_t>(u8())) / 10.0f;
        }
    }

    int32_t integer() {
        static const int32_t kSpecial[] = {0,  1,   -1,  2,   3,    7,         8,         31,       32,
                                           33, 99,  100, 127, 128,  255,       256,       -24,      24,
                                           25, -25, 1024, 65535, 65536, INT16_MAX, INT16_MIN, INT32_MAX, INT32_MIN};
        const uint8_t mode = u8();
        if ((mode & 1u) == 0) return kSpecial[(mode >> 1) % (sizeof kSpecial / sizeof kSpecial[0])];
        return static_cast<int32_t>(u32());
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// ---- the host ------------------------------------------------------------------------

struct Host {
    QzModuleRecord *record = nullptr;
    std::vector<QzPinDescription> pins; // processing-side descriptions, pin index order
    std::vector<int32_t> guiPins;       // description indexes of panel-side pins
    int32_t pinCount = 0;
    int32_t announcedBlock = 1024;
    int32_t block = 1024; // samples in the host's current block
    int32_t offset = 0;
    uint32_t clock = 0;
    uint32_t bufferStart = 0;
    uint32_t nullMask = 0; // pins whose buffer the host answers with null
    bool opened = false;
    bool sleeping = false;
    bool callWhileSleeping = false;
    bool inSubProcess = false;
    std::vector<std::array<float, kMaxBlock>> buffers;
    std::vector<QzModuleEvent> queued;

    // Panel side.
    QzGuiRecord *gui = nullptr;
    std::string pinText;
    std::u16string wideText;
    uint32_t pinValue = 0;
    std::string lastText;

    bool hasBuffer(int32_t pin) const {
        return pin >= 0 && pin < pinCount && ((nullMask >> (static_cast<uint32_t>(pin) % 32u)) & 1u) == 0;
    }
    int32_t keptPins() const { return std::min(pinCount, static_cast<int32_t>(pins.size())); }
};

Host *current = nullptr;

QzResult QZ_CALL hostCallback(QzModuleRecord *record, int32_t opcode, int32_t index, int32_t value, void *ptr,
                              float) {
    Host &h = *current;
    // A constructor may already call, before makeModule has returned the record.
    if (h.record != nullptr && record != h.record) fault("host request with a foreign record");
    switch (opcode) {
    case QZ_HOST_SEND_PIN_STATUS:
        if (index < 0 || index >= h.pinCount) fault("status sent for a pin outside the table", index, h.pinCount);
        if (value < QZ_STATUS_STOPPED || value > QZ_STATUS_STREAMING) fault("unknown status sent", value);
        return 0;
    case QZ_HOST_QUERY_PIN:
        return index >= 0 && index < h.pinCount ? 1 : 0;
    case QZ_HOST_GET_SAMPLE_CLOCK:
        return static_cast<QzResult>(h.clock);
    case QZ_HOST_SEND_MIDI:
        if (index < 0 || index >= h.pinCount) fault("MIDI sent on a pin outside the table", index, h.pinCount);
        return 0;
    case QZ_HOST_GET_PIN_BUFFER:
        if (!h.hasBuffer(index) || static_cast<size_t>(index) >= h.buffers.size()) return 0;
        return reinterpret_cast<QzResult>(h.buffers[static_cast<size_t>(index)].data());
    case QZ_HOST_GET_BUFFER_START_CLOCK:
        return static_cast<QzResult>(h.bufferStart);
    case QZ_HOST_SLEEP:
        h.sleeping = true;
        return 0;
    case QZ_HOST_GET_PIN_COUNT:
        return h.pinCount;
    case QZ_HOST_ADD_EVENT:
        if (ptr == nullptr) fault("AddEvent without an event");
        if (h.queued.size() < kMaxQueued) h.queued.push_back(*static_cast<const QzModuleEvent *>(ptr));
        return 0;
    case QZ_HOST_SUB_PROCESS_CHANGED:
        if (h.record->subProcess == nullptr) fault("sub-process changed to null");
        return 0;
    default:
        return 0;
    }
}

QzResult QZ_CALL guiHostCallback(QzGuiRecord *record, int32_t opcode, int32_t index, int32_t value, void *ptr,
                                 float) {
    Host &h = *current;
    if (h.gui != nullptr && record != h.gui) fault("panel request with a foreign record");
    switch (opcode) {
    case QZ_GUIHOST_SET_PIN_TEXT:
        // Reading it whole proves it is terminated inside its storage.
        h.lastText = ptr != nullptr ? std::string(static_cast<const char *>(ptr)) : std::string();
        return 0;
    case QZ_GUIHOST_GET_PIN_TEXT:
        return reinterpret_cast<QzResult>(h.pinText.c_str());
    case QZ_GUIHOST_GET_PIN_VALUE:
        if (ptr != nullptr) std::memcpy(ptr, &h.pinValue, sizeof h.pinValue);
        return 0;
    case QZ_GUIHOST_GET_PIN_WIDE_TEXT: {
        const auto needed = static_cast<int32_t>(h.wideText.size() + 1);
        if (ptr == nullptr) return needed;
        if (value <= 0) return 0;
        const size_t units = static_cast<size_t>(std::min(value, needed));
        auto *out = static_cast<char16_t *>(ptr);
        for (size_t i = 0; i + 1 < units; ++i) out[i] = h.wideText[i];
        out[units - 1] = 0;
        return needed;
    }
    default:
        return 0;
    }
}

// ---- driving the processing instance ---------------------------------------------------

QzResult dispatch(Host &h, int32_t opcode, int32_t index = 0, int32_t value = 0, void *ptr = nullptr,
                  float opt = 0.0f) {
    return h.record->dispatcher(h.record, opcode, index, value, ptr, opt);
}

void readDescriptions(Host &h) {
    for (int32_t d = 0; d < kMaxDescriptions; ++d) {
        QzPinDescription description{};
        if (dispatch(h, QZ_OP_GET_PIN_PROPERTIES, d, 0, &description) == 0) break;
        const bool guiSide = (description.flags & QZ_PIN_GUI_SIDE) != 0;
        const bool both = (description.flags & QZ_PIN_BOTH_SIDES) != 0;
        if (guiSide) h.guiPins.push_back(d);
        if (guiSide && !both) continue;
        h.pins.push_back(description);
    }
}

void setBlock(Host &h, int32_t announced) {
    h.announcedBlock = announced;
    // The host's real block: what it announced, within its buffers.
    h.block = announced < 0 ? 0 : std::min(announced, kMaxBlock);
    if (h.offset > h.block) h.offset = h.block;
}

void open(Host &h) {
    if (h.opened) return;
    h.opened = true;
    dispatch(h, QZ_OP_OPEN);
}

void newBlock(Host &h) {
    h.offset = 0;
    h.bufferStart = h.clock;
}

void deliver(Host &h, QzModuleEvent event) {
    open(h);
    h.sleeping = false; // an event may wake the instance
    event.next = nullptr;
    h.record->eventHandler(h.record->object, &event);
}

void setStatus(Host &h, intptr_t pin, int32_t status) {
    QzModuleEvent e{};
    e.timeStamp = h.clock;
    e.kind = QZ_EVENT_PIN_STATUS_CHANGE;
    e.intParam1 = status;
    e.ptrParam = pin;
    deliver(h, e);
}

int32_t pickStatus(Input &in) {
    const uint8_t s = in.u8();
    if (s < 240) return s % 3;
    return in.integer(); // statuses no host should send
}

// Stream inputs get a value for the whole block, a ramp or raw samples.
void writeStream(Host &h, Input &in, int32_t pin) {
    if (!h.hasBuffer(pin)) return;
    auto &b = h.buffers[static_cast<size_t>(pin)];
    const uint8_t shape = in.u8() % 3;
    const float v = in.real();
    if (shape == 0) {
        b.fill(v);
    } else if (shape == 1) {
        const float step = in.real();
        for (int32_t i = 0; i < kMaxBlock; ++i) b[static_cast<size_t>(i)] = v + step * static_cast<float>(i);
    } else {
        for (int32_t i = 0; i < kMaxBlock && !in.empty(); i += 1 + (in.u8() % 64)) b[static_cast<size_t>(i)] = in.real();
    }
}

void writePin(Host &h, Input &in) {
    const int32_t kept = h.keptPins();
    if (kept <= 0) return;
    const int32_t pin = static_cast<int32_t>(in.u8()) % kept;
    const QzPinDescription &d = h.pins[static_cast<size_t>(pin)];
    if (d.direction == QZ_DIR_IN) {
        switch (d.dataType) {
        case QZ_DT_STREAM:
            writeStream(h, in, pin);
            break;
        case QZ_DT_ENUMERATION:
            if (d.variable != nullptr) {
                const auto v = static_cast<int16_t>(in.integer());
                std::memcpy(d.variable, &v, sizeof v);
            }
            break;
        case QZ_DT_BOOLEAN:
            if (d.variable != nullptr) {
                const uint8_t v = in.u8();
                std::memcpy(d.variable, &v, sizeof v);
            }
            break;
        case QZ_DT_FLOAT:
            if (d.variable != nullptr) {
                const float v = in.real();
                std::memcpy(d.variable, &v, sizeof v);
            }
            break;
        case QZ_DT_INTEGER:
            if (d.variable != nullptr) {
                const int32_t v = in.integer();
                std::memcpy(d.variable, &v, sizeof v);
            }
            break;
        default:
            break;
        }
    }
    if (h.opened || in.u8() & 1u) setStatus(h, pin, pickStatus(in));
}

// Marks the samples just outside [from, to) of every output buffer, runs the
// slice and checks that the marks survived.
constexpr uint32_t kSentinel = 0x7FC0DEADu;

void markOutputs(Host &h, int32_t from, int32_t to) {
    for (int32_t p = 0; p < h.keptPins(); ++p) {
        const QzPinDescription &d = h.pins[static_cast<size_t>(p)];
        if (d.dataType != QZ_DT_STREAM || d.direction != QZ_DIR_OUT || !h.hasBuffer(p)) continue;
        auto &b = h.buffers[static_cast<size_t>(p)];
        for (int32_t i = std::max(0, from - kGuard); i < from; ++i) std::memcpy(&b[static_cast<size_t>(i)], &kSentinel, 4);
        for (int32_t i = to; i < std::min(kMaxBlock, to + kGuard); ++i) std::memcpy(&b[static_cast<size_t>(i)], &kSentinel, 4);
    }
}

void checkOutputs(Host &h, int32_t from, int32_t to) {
    for (int32_t p = 0; p < h.keptPins(); ++p) {
        const QzPinDescription &d = h.pins[static_cast<size_t>(p)];
        if (d.dataType != QZ_DT_STREAM || d.direction != QZ_DIR_OUT || !h.hasBuffer(p)) continue;
        const auto &b = h.buffers[static_cast<size_t>(p)];
        const auto intact = [&](int32_t i) { return std::memcmp(&b[static_cast<size_t>(i)], &kSentinel, 4) == 0; };
        for (int32_t i = std::max(0, from - kGuard); i < from; ++i)
            if (!intact(i)) fault("slice wrote before its offset", p, i);
        for (int32_t i = to; i < std::min(kMaxBlock, to + kGuard); ++i)
            if (!intact(i)) fault("slice wrote past its count", p, i);
    }
}

void runSlice(Host &h, int32_t count) {
    open(h);
    if (h.offset >= h.block) newBlock(h);
    count = std::min(count, h.block - h.offset);
    if (count < 0) count = 0;
    if (!h.sleeping || h.callWhileSleeping) {
        QzSubProcess process = h.record->subProcess;
        if (process == nullptr) fault("null sub-process");
        markOutputs(h, h.offset, h.offset + count);
        h.inSubProcess = true;
        process(h.record->object, h.offset, count);
        h.inSubProcess = false;
        checkOutputs(h, h.offset, h.offset + count);
    }
    h.offset += count;
    h.clock += static_cast<uint32_t>(count);
    if (h.offset >= h.block && h.block > 0) newBlock(h);
}

void checkDescription(const QzPinDescription &d) {
    // Reading the texts whole proves they are terminated.
    for (const char *text : {d.name, d.defaultValue, d.datatypeExtra}) {
        if (text != nullptr) (void)std::strlen(text);
    }
}

// ---- the panel instance ------------------------------------------------------------------

void panelOp(Host &h, Input &in) {
    if (h.gui == nullptr) return;
    const uint8_t op = in.u8();
    QzWindowInfo window{in.integer(), in.integer()};
    switch (op % 10) {
    case 0:
        h.gui->dispatcher(h.gui, QZ_GUI_INITIALISE, in.integer(), 0, nullptr, 0.0f);
        break;
    case 1: {
        // A canvas of any size up to 300 pixels a side (0: no device context)
        // under a window record of any size.
#if defined(QZ_FUZZ_GDI)
        qz::gdi::Canvas canvas(static_cast<int32_t>(in.u16() % 301), static_cast<int32_t>(in.u16() % 301));
        const int32_t dc = canvas.paintIndex();
#else
        const int32_t dc = 0;
#endif
        h.gui->dispatcher(h.gui, QZ_GUI_PAINT, dc, 0, &window, 0.0f);
        break;
    }
    case 2: {
        const int32_t opcode = QZ_GUI_POINT_HOOK3 + in.u8() % 3;
        h.gui->dispatcher(h.gui, opcode, in.integer(), in.integer(), &window, in.real());
        break;
    }
    case 3:
        h.gui->dispatcher(h.gui, QZ_GUI_HOOK6, in.integer(), in.integer(), nullptr, 0.0f);
        break;
    case 4:
    case 5: {
        // A new value and texts for the pin, then its change: a panel pin by
        // its description index, or any index at all.
        h.pinValue = in.u32();
        if (in.u8() & 1u) h.pinValue = std::bit_cast<uint32_t>(in.real());
        h.pinText = in.text(4096);
        h.wideText.clear();
        for (size_t n = in.u16() % 600; n > 0 && !in.empty(); --n) h.wideText.push_back(static_cast<char16_t>(in.u16() | 1u));
        int32_t index = in.integer();
        if ((op % 10) == 4 && !h.guiPins.empty()) index = h.guiPins[in.u8() % h.guiPins.size()];
        h.gui->dispatcher(h.gui, QZ_GUI_PIN_VALUE_CHANGED, index, 0, nullptr, 0.0f);
        break;
    }
    case 6:
        h.gui->dispatcher(h.gui, QZ_GUI_HOOK8 + in.u8() % 2, 0, 0, &window, 0.0f);
        break;
    case 7:
        h.gui->dispatcher(h.gui, QZ_GUI_HOOK10, 0, 0, nullptr, 0.0f);
        break;
    case 8:
        h.gui->dispatcher(h.gui, QZ_GUI_HOOK11 + in.u8() % 2, in.integer(), 0, nullptr, 0.0f);
        break;
    default: {
        int32_t opcode = in.integer();
        if (opcode == QZ_GUI_CLOSE) opcode = 13;
        h.gui->dispatcher(h.gui, opcode, in.integer(), in.integer(), nullptr, in.real());
        break;
    }
    }
}

// ---- one session ------------------------------------------------------------------------

void dispatcherOp(Host &h, Input &in) {
    const uint8_t op = in.u8();
    switch (op % 6) {
    case 0:
        dispatch(h, QZ_OP_SET_SAMPLE_RATE, 0, 0, nullptr, in.real());
        break;
    case 1:
        setBlock(h, in.integer() % (in.u8() & 1u ? 1 << 30 : kMaxBlock + 1));
        dispatch(h, QZ_OP_SET_BLOCK_SIZE, 0, h.announcedBlock);
        break;
    case 2: {
        // Descriptions may be asked for at any time, by any index.
        QzPinDescription d{};
        const int32_t index = in.integer();
        if (dispatch(h, QZ_OP_GET_PIN_PROPERTIES, index, 0, &d) != 0) checkDescription(d);
        dispatch(h, QZ_OP_GET_PIN_PROPERTIES, index, 0, nullptr);
        break;
    }
    case 3: {
        const auto *info = reinterpret_cast<const QzSubProcessInfo *>(dispatch(h, QZ_OP_GET_SUB_PROCESS_INFO));
        if (info == nullptr || info->descriptor == nullptr) fault("no sub-process information");
        if (info->descriptor->function != h.record->subProcess) fault("descriptor and record disagree");
        break;
    }
    case 4: {
        uint8_t scratch[64] = {};
        dispatch(h, QZ_OP_HOST_NOTIFY8, in.integer());
        dispatch(h, QZ_OP_HOST_NOTIFY12, in.integer(), in.integer(), scratch);
        break;
    }
    default: {
        // Unknown and unused opcodes; Open and Close have their own place.
        int32_t opcode = in.integer();
        // The block size has its own place too: the host's buffers follow it.
        if (opcode == QZ_OP_OPEN || opcode == QZ_OP_CLOSE || opcode == QZ_OP_GET_PIN_PROPERTIES ||
            opcode == QZ_OP_SET_BLOCK_SIZE)
            opcode = 4;
        dispatch(h, opcode, in.integer(), in.integer(), nullptr, in.real());
        break;
    }
    }
}

void midiOp(Host &h, Input &in) {
    static const uint8_t kStatus[] = {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, 0xF8, 0xFF};
    const uint8_t kind = in.u8();
    uint32_t word;
    if (kind < 200) {
        const uint32_t status = static_cast<uint32_t>(kStatus[kind % 10] | (in.u8() & 0x0Fu));
        word = status | (static_cast<uint32_t>(in.u8() & 0x7Fu) << 8) | (static_cast<uint32_t>(in.u8() & 0x7Fu) << 16);
    } else {
        word = in.u32(); // data bytes above 127, running status, high byte set
    }
    QzModuleEvent e{};
    e.timeStamp = h.clock;
    e.kind = QZ_EVENT_MIDI;
    e.intParam1 = static_cast<int32_t>(word);
    e.intParam2 = (in.u8() & 1u) ? 0 : in.integer();
    deliver(h, e);
}

void session(Input &in) {
    Host h;
    current = &h;
    h.clock = in.u32();
    h.bufferStart = h.clock;
    const int32_t pinOffset = static_cast<int32_t>(in.u8() % 11) - 5;
    h.nullMask = in.u32();
    if ((in.u8() & 3u) != 0) h.nullMask = 0; // most sessions give every pin its buffer
    h.callWhileSleeping = (in.u8() & 1u) != 0;

    h.record = static_cast<QzModuleRecord *>(makeModule(0, QZ_PROFILE_PROCESSING, &hostCallback, &h));
    if (h.record == nullptr) fault("no processing instance");
    if (h.record->magic != QZ_MODULE_MAGIC) fault("bad record magic", h.record->magic);
    readDescriptions(h);
    h.pinCount = static_cast<int32_t>(h.pins.size()) + pinOffset;
    h.buffers.assign(static_cast<size_t>(std::max(h.pinCount, 0)), {});
    // Stream pins with a module variable get their buffer (or null) as a host
    // fills them before Open; pins the host did not make stay untouched.
    for (int32_t p = 0; p < h.keptPins(); ++p) {
        const QzPinDescription &d = h.pins[static_cast<size_t>(p)];
        if (d.dataType == QZ_DT_STREAM && d.variable != nullptr) {
            float *b = h.hasBuffer(p) ? h.buffers[static_cast<size_t>(p)].data() : nullptr;
            std::memcpy(d.variable, &b, sizeof b);
        }
    }
    dispatch(h, QZ_OP_SET_SAMPLE_RATE, 0, 0, nullptr, 44100.0f);
    setBlock(h, 1024);
    dispatch(h, QZ_OP_SET_BLOCK_SIZE, 0, 1024);

    h.gui = static_cast<QzGuiRecord *>(makeModule(0, QZ_PROFILE_PANEL, reinterpret_cast<QzHostCallback>(&guiHostCallback), &h));
    if (h.gui != nullptr && h.gui->magic != QZ_GUI_MAGIC) fault("bad panel record magic", h.gui->magic);

    int32_t steps = 0;
    while (!in.empty() && ++steps < 4096) {
        const uint8_t op = in.u8();
        switch (op % 12) {
        case 0:
            dispatcherOp(h, in);
            break;
        case 1:
            open(h);
            break;
        case 2:
        case 3:
            writePin(h, in);
            break;
        case 4: {
            // A status change for any index: inside the table, just outside, far away.
            const uint8_t which = in.u8();
            intptr_t index = which < 128 ? which % (std::max(h.pinCount, 0) + 3) - 1 : static_cast<intptr_t>(in.integer());
            if (which == 255) index = static_cast<intptr_t>(INTPTR_MAX - in.u8());
            setStatus(h, index, pickStatus(in));
            break;
        }
        case 5:
            midiOp(h, in);
            break;
        case 6: {
            QzModuleEvent e{};
            e.timeStamp = h.clock;
            e.kind = in.integer();
            if (e.kind == QZ_EVENT_DEFERRED_CALL) e.kind = 22; // only the module's own calls come back
            e.intParam1 = in.integer();
            e.intParam2 = in.integer();
            e.ptrParam = in.integer();
            deliver(h, e);
            break;
        }
        case 7:
            runSlice(h, static_cast<int32_t>(in.u16()) % (kMaxBlock + 1));
            break;
        case 8:
            for (int32_t n = 1 + in.u8() % 8; n > 0; --n) runSlice(h, h.block - h.offset);
            break;
        case 9: {
            // Queued events come back unchanged, deferred calls included.
            std::vector<QzModuleEvent> due;
            due.swap(h.queued);
            for (const QzModuleEvent &e : due) deliver(h, e);
            break;
        }
        case 10:
            // The clock jumps at a block boundary (a host that paused, or wraps).
            h.clock += in.u32();
            newBlock(h);
            break;
        default:
            panelOp(h, in);
            break;
        }
    }
    if (h.gui != nullptr && h.gui->dispatcher(h.gui, QZ_GUI_CLOSE, 0, 0, nullptr, 0.0f) != 1) fault("panel close did not answer 1");
    if (dispatch(h, QZ_OP_CLOSE) != 1) fault("close did not answer 1");
    current = nullptr;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    loadPlugin();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in(data, size);
    session(in);
    return 0;
}
