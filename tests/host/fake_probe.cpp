// A probe plug-in written straight on the C ABI: it records every call the
// host makes and answers with simple, checkable behaviour. The output is the
// input plus one; Mode "Sleep" asks to sleep after every slice, "Event"
// queues one event for 7 samples after the end of its slice; a change on "Signal In"
// publishes twice the value on "gui_com_pin" and reports "Signal Out"
// Changed. The panel side mirrors "Val from DSP" > 1 onto "Flag".
#include "fake_probe.h"
#include "qz_abi.h"

#include <cstring>
#include <new>

using namespace qz::probe;

namespace {

struct PinDef {
    const char *label;
    int32_t direction, dataType;
    const char *defaultText, *extra;
    int32_t flags;
};
const PinDef kPins[] = {
    {"Signal In", QZ_DIR_IN, QZ_DT_STREAM, "0", "99,0,99,0", 0},
    {"Mode", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "Pass,Sleep,Event", 0},
    {"Flag In", QZ_DIR_IN, QZ_DT_BOOLEAN, "0", nullptr, 0},
    {"MIDI In", QZ_DIR_IN, QZ_DT_MIDI, nullptr, nullptr, 0},
    {"MIDI Out", QZ_DIR_OUT, QZ_DT_MIDI, nullptr, nullptr, 0},
    {"Signal Out", QZ_DIR_OUT, QZ_DT_STREAM, nullptr, nullptr, 0},
    {"gui_com_pin", QZ_DIR_OUT, QZ_DT_FLOAT, nullptr, nullptr, QZ_PIN_GUI_LINK},
    {"Val from DSP", QZ_DIR_IN, QZ_DT_FLOAT, nullptr, nullptr, QZ_PIN_GUI_LINK | QZ_PIN_GUI_SIDE},
    {"Flag", QZ_DIR_OUT, QZ_DT_BOOLEAN, nullptr, nullptr, QZ_PIN_GUI_SIDE},
};
constexpr int32_t kCount = static_cast<int32_t>(sizeof kPins / sizeof kPins[0]);

struct Probe {
    QzModuleRecord record{};
    QzHostCallback host = nullptr;
    float *signalIn = nullptr;
    int16_t mode = 0;
    uint8_t flagIn = 0;
    float link = 0.0f;
    float *signalOut = nullptr;
    bool eventSent = false;
    Log log;

    QzResult call(int32_t op, int32_t index = 0, int32_t value = 0, void *ptr = nullptr) {
        return host != nullptr ? host(&record, op, index, value, ptr, 0.0f) : 0;
    }
    uint32_t clock() { return static_cast<uint32_t>(call(QZ_HOST_GET_SAMPLE_CLOCK)); }
    float sample(int32_t pin, const float *buffer) {
        if (buffer == nullptr) return 0.0f;
        const auto start = static_cast<uint32_t>(call(QZ_HOST_GET_BUFFER_START_CLOCK, pin));
        return buffer[clock() - start];
    }
};

void QZ_CALL process(void *object, int32_t offset, int32_t count) {
    auto *p = static_cast<Probe *>(object);
    const uint32_t now = p->clock();
    p->log.calls.push_back({offset, count, now});
    if (p->signalOut != nullptr)
        for (int32_t i = offset; i < offset + count; ++i) p->signalOut[i] = (p->signalIn ? p->signalIn[i] : 0.0f) + 1.0f;
    if (p->mode == kSleep) p->call(QZ_HOST_SLEEP);
    if (p->mode == kEvent && !p->eventSent) {
        p->eventSent = true;
        QzModuleEvent e{};
        e.timeStamp = now + static_cast<uint32_t>(count) + 7;
        e.kind = 50;
        e.intParam1 = 1234;
        p->call(QZ_HOST_ADD_EVENT, 0, 0, &e);
    }
}

void QZ_CALL handle(void *object, QzModuleEvent *e) {
    auto *p = static_cast<Probe *>(object);
    Event rec{e->kind, e->timeStamp, p->clock(), -1, 0, 0.0f, 0};
    if (e->kind == QZ_EVENT_PIN_STATUS_CHANGE) {
        rec.pin = static_cast<int32_t>(e->ptrParam);
        rec.status = e->intParam1;
        if (rec.pin == kSignalIn) {
            rec.value = p->sample(kSignalIn, p->signalIn);
            p->link = rec.value * 2.0f;
            p->call(QZ_HOST_SEND_PIN_STATUS, kLink, QZ_STATUS_CHANGED,
                    reinterpret_cast<void *>(static_cast<uintptr_t>(e->timeStamp)));
            p->call(QZ_HOST_SEND_PIN_STATUS, kSignalOut, QZ_STATUS_CHANGED,
                    reinterpret_cast<void *>(static_cast<uintptr_t>(e->timeStamp)));
        } else if (rec.pin == kMode) {
            rec.value = p->mode;
            p->eventSent = false;
        } else if (rec.pin == kFlagIn) {
            rec.value = p->flagIn;
        }
    } else if (e->kind == QZ_EVENT_MIDI) {
        rec.pin = e->intParam2 & 0xFFFF;
        rec.message = e->intParam1;
        p->call(QZ_HOST_SEND_MIDI, kMidiOut, e->intParam1, reinterpret_cast<void *>(static_cast<uintptr_t>(e->timeStamp)));
    } else {
        rec.message = e->intParam1;
    }
    p->log.events.push_back(rec);
}

QzResult QZ_CALL dispatch(QzModuleRecord *record, int32_t op, int32_t index, int32_t, void *ptr, float) {
    auto *p = static_cast<Probe *>(record->object);
    switch (op) {
    case QZ_OP_OPEN: {
        p->call(QZ_HOST_GET_PIN_COUNT);
        p->signalOut = reinterpret_cast<float *>(p->call(QZ_HOST_GET_PIN_BUFFER, kSignalOut));
        p->record.subProcess = &process;
        p->call(QZ_HOST_SUB_PROCESS_CHANGED);
        p->call(QZ_HOST_SEND_PIN_STATUS, kSignalOut, QZ_STATUS_STREAMING, nullptr);
        return 0;
    }
    case QZ_OP_CLOSE: delete p; return 1;
    case QZ_OP_GET_PIN_PROPERTIES: {
        if (index < 0 || index >= kCount || ptr == nullptr) return 0;
        auto *d = static_cast<QzPinDescription *>(ptr);
        const PinDef &def = kPins[index];
        d->name = def.label;
        d->direction = def.direction;
        d->dataType = def.dataType;
        d->defaultValue = def.defaultText;
        d->datatypeExtra = def.extra;
        d->flags = def.flags;
        void *vars[] = {&p->signalIn, &p->mode, &p->flagIn, nullptr, nullptr, nullptr, &p->link, nullptr, nullptr};
        d->variable = vars[index];
        return 1;
    }
    default: return 0;
    }
}

void QZ_CALL idle(void *, int32_t, int32_t) {}

struct Panel {
    QzGuiRecord record{};
    QzGuiHostCallback host = nullptr;
    Log log;
};

QzResult QZ_CALL panelDispatch(QzGuiRecord *record, int32_t op, int32_t index, int32_t, void *, float) {
    auto *p = static_cast<Panel *>(record->object);
    if (op == QZ_GUI_CLOSE) {
        delete p;
        return 1;
    }
    if (op == QZ_GUI_PIN_VALUE_CHANGED && index == kValFromDsp && p->host != nullptr) {
        float v = 0.0f;
        p->host(record, QZ_GUIHOST_GET_PIN_VALUE, kValFromDsp, 0, &v, 0.0f);
        p->log.panelValues.push_back(v);
        p->host(record, QZ_GUIHOST_SET_PIN_VALUE, kFlagOut, v > 1.0f ? 1 : 0, nullptr, 0.0f);
    }
    return 0;
}

} // namespace

extern "C" {
QZ_EXPORT int32_t QZ_CALL getModuleProperties(int32_t index, QzModuleProperties *props) {
    props->frameworkVersion = QZ_FRAMEWORK_VERSION;
    if (index != 0) return 0;
    props->name = "QZ_FakeProbe";
    props->uniqueId = "QZ_FakeProbe";
    props->about = "a probe for host tests";
    return 1;
}

QZ_EXPORT void *QZ_CALL makeModule(int32_t index, int32_t profile, QzHostCallback host, void *hostData) {
    if (index != 0) return nullptr;
    if (profile == QZ_PROFILE_PROCESSING) {
        auto *p = new (std::nothrow) Probe();
        if (p == nullptr) return nullptr;
        p->record.magic = QZ_MODULE_MAGIC;
        p->record.version = 1;
        p->record.hostData = hostData;
        p->record.object = p;
        p->record.dispatcher = &dispatch;
        p->record.subProcess = &idle;
        p->record.eventHandler = &handle;
        p->host = host;
        return &p->record;
    }
    if (profile == QZ_PROFILE_PANEL) {
        auto *p = new (std::nothrow) Panel();
        if (p == nullptr) return nullptr;
        p->record.magic = QZ_GUI_MAGIC;
        p->record.version = 1;
        p->record.dispatcher = &panelDispatch;
        p->record.hostData = hostData;
        p->record.object = p;
        p->host = reinterpret_cast<QzGuiHostCallback>(host);
        return &p->record;
    }
    return nullptr;
}

// For the tests: the log of one instance.
QZ_EXPORT const Log *qzProbeLog(QzModuleRecord *record) { return &static_cast<Probe *>(record->object)->log; }
QZ_EXPORT const Log *qzProbePanelLog(QzGuiRecord *record) { return &static_cast<Panel *>(record->object)->log; }
}
