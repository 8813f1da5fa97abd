#include "module_base.h"

#include <cstring>
#include <new>

namespace qz {

QzSubProcessInfo ModuleBase::subProcessInfo_{};

// ---- Pin ------------------------------------------------------------

void Pin::setUp(ModuleBase *owner, int32_t index, int32_t dataType, void *moduleVariable) {
    owner_ = owner;
    index_ = index;
    dataType_ = dataType;
    status_ = QZ_STATUS_STOPPED;
    storage_ = Storage{};
    variable_ = nullptr;
    if (moduleVariable != nullptr) {
        // The host fills the module's field; the framework never writes it.
        variable_ = moduleVariable;
        return;
    }
    switch (dataType) {
    case QZ_DT_ENUMERATION:
    case QZ_DT_BOOLEAN:
    case QZ_DT_FLOAT:
    case QZ_DT_INTEGER:
        variable_ = &storage_;
        break;
    case QZ_DT_STREAM:
        storage_.buffer = reinterpret_cast<float *>(owner->callHost(QZ_HOST_GET_PIN_BUFFER, index));
        variable_ = &storage_;
        break;
    default:
        break;
    }
}

float Pin::getValue() const {
    if (owner_ == nullptr || variable_ == nullptr || dataType_ != QZ_DT_STREAM) return 0.0f;
    const auto start = static_cast<uint32_t>(owner_->callHost(QZ_HOST_GET_BUFFER_START_CLOCK, index_));
    const uint32_t now = owner_->getSampleClock();
    const float *buffer = *static_cast<float *const *>(variable_);
    // The difference of two wrapping 32-bit clocks, as a signed position.
    const auto position = static_cast<int32_t>(now - start);
    if (buffer == nullptr || position < 0 || position >= owner_->getBlockSize()) return 0.0f;
    return buffer[position];
}

void Pin::sendStatus(uint32_t clock, int32_t status) const {
    if (owner_ != nullptr) owner_->callHost(QZ_HOST_SEND_PIN_STATUS, index_, status, clockToPtr(clock));
}

void Pin::sendMidi(uint32_t clock, int32_t message) const {
    if (owner_ != nullptr) owner_->callHost(QZ_HOST_SEND_MIDI, index_, message, clockToPtr(clock));
}

bool Pin::query() const { return owner_ != nullptr && owner_->callHost(QZ_HOST_QUERY_PIN, index_) != 0; }

void Pin::setStatus(int32_t status) {
    status_ = status;
    owner_->onPinStatusChanged(*this);
    if (status == QZ_STATUS_CHANGED) status_ = QZ_STATUS_STOPPED;
}

// ---- ModuleBase: construction and the three entries -------------------

ModuleBase::ModuleBase(QzHostCallback host, void *hostData) : host_(host) {
    std::memset(&record_, 0, sizeof record_);
    record_.magic = QZ_MODULE_MAGIC;
    record_.version = 1;
    record_.hostData = hostData;
    record_.object = static_cast<void *>(this);
    record_.dispatcher = &dispatcherEntry;
    record_.subProcess = &idleSubProcess;
    record_.eventHandler = &eventEntry;
    descriptor_.function = &idleSubProcess;
}

ModuleBase::~ModuleBase() { delete[] pins_; }

QzResult QZ_CALL ModuleBase::dispatcherEntry(QzModuleRecord *record, int32_t opcode, int32_t index, int32_t value,
                                            void *ptr, float opt) {
    if (record == nullptr || record->object == nullptr) return 0;
    return static_cast<ModuleBase *>(record->object)->dispatch(opcode, index, value, ptr, opt);
}

void QZ_CALL ModuleBase::eventEntry(void *object, QzModuleEvent *event) {
    if (object == nullptr || event == nullptr) return;
    static_cast<ModuleBase *>(object)->handleEvent(*event);
}

void QZ_CALL ModuleBase::idleSubProcess(void *, int32_t, int32_t) {}

// ---- host requests ----------------------------------------------------

QzResult ModuleBase::dispatch(int32_t opcode, int32_t index, int32_t value, void *ptr, float opt) {
    switch (opcode) {
    case QZ_OP_OPEN:
        open();
        return 0;
    case QZ_OP_CLOSE:
        close();
        delete this; // the record dies with the instance
        return 1;
    case QZ_OP_SET_SAMPLE_RATE:
        setSampleRate(opt);
        return 0;
    case QZ_OP_SET_BLOCK_SIZE:
        setBlockSize(value);
        return 0;
    case QZ_OP_GET_PIN_PROPERTIES:
        if (ptr == nullptr) return 0;
        return getPinProperties(index, *static_cast<QzPinDescription *>(ptr)) ? 1 : 0;
    case QZ_OP_HOST_NOTIFY8:
        hostNotify8();
        if (index > 0) hostNotify8Index(index);
        return 0;
    case QZ_OP_HOST_NOTIFY12:
        hostNotify12(value, index, ptr);
        return 0;
    case QZ_OP_GET_SUB_PROCESS_INFO:
        subProcessInfo_.one = 1;
        subProcessInfo_.descriptorBytes = 16;
        subProcessInfo_.descriptor = &descriptor_;
        subProcessInfo_.reserved = 0;
        return reinterpret_cast<QzResult>(&subProcessInfo_);
    default:
        return 0;
    }
}

QzResult ModuleBase::callHost(int32_t opcode, int32_t index, int32_t value, void *ptr, float opt) {
    if (host_ == nullptr) return 0;
    return host_(&record_, opcode, index, value, ptr, opt);
}

uint32_t ModuleBase::getSampleClock() { return static_cast<uint32_t>(callHost(QZ_HOST_GET_SAMPLE_CLOCK)); }

void ModuleBase::sleep() { callHost(QZ_HOST_SLEEP); }

void ModuleBase::addEvent(uint32_t time, int32_t kind, int32_t intParam1, int32_t intParam2, intptr_t ptrParam) {
    QzModuleEvent event{};
    event.timeStamp = time;
    event.kind = kind;
    event.intParam1 = intParam1;
    event.intParam2 = intParam2;
    event.ptrParam = ptrParam;
    event.next = nullptr;
    callHost(QZ_HOST_ADD_EVENT, 0, 0, &event);
}

void ModuleBase::setSubProcess(QzSubProcess function) {
    if (function == nullptr || function == descriptor_.function) return;
    descriptor_.function = function;
    record_.subProcess = function;
    callHost(QZ_HOST_SUB_PROCESS_CHANGED);
}

// ---- default virtual operations -----------------------------------------

void ModuleBase::onPinStatusChanged(Pin &) {}
void ModuleBase::close() {}
void ModuleBase::setSampleRate(float rate) { sampleRate_ = rate; }
void ModuleBase::setBlockSize(int32_t size) { blockSize_ = size; }
float ModuleBase::getSampleRate() const { return sampleRate_; }
int32_t ModuleBase::getBlockSize() const { return blockSize_; }
bool ModuleBase::getPinProperties(int32_t, QzPinDescription &) { return false; }
void ModuleBase::hostNotify8() {}
void ModuleBase::hostNotify8Index(int32_t) {}
void ModuleBase::onMidiData(uint32_t, int32_t, int16_t) {}
void ModuleBase::hostNotify12(int32_t, int32_t, void *) {}

// ---- pin table ----------------------------------------------------------

bool ModuleBase::keepsDescription(const QzPinDescription &description) const {
    const bool guiSide = (description.flags & QZ_PIN_GUI_SIDE) != 0;
    const bool bothSides = (description.flags & QZ_PIN_BOTH_SIDES) != 0;
    return !guiSide || bothSides;
}

void ModuleBase::open() {
    if (pins_ != nullptr) return; // a second Open keeps the table the first one built
    const auto count = static_cast<int32_t>(callHost(QZ_HOST_GET_PIN_COUNT));
    if (count <= 0) return;
    pins_ = new (std::nothrow) Pin[static_cast<size_t>(count)];
    if (pins_ == nullptr) return;
    pinCount_ = count;

    int32_t d = 0;
    int32_t p = 0;
    QzPinDescription description;
    while (p < count) {
        std::memset(&description, 0, sizeof description);
        if (!getPinProperties(d, description)) break;
        if (keepsDescription(description)) {
            pins_[p].setUp(this, p, description.dataType, description.variable);
            ++p;
        }
        ++d;
    }

    if (d == 0) return;
    std::memset(&description, 0, sizeof description);
    if (getPinProperties(d - 1, description) && keepsDescription(description) &&
        (description.flags & QZ_PIN_AUTO_DUPLICATE) != 0) {
        for (; p < count; ++p) pins_[p].setUp(this, p, description.dataType, nullptr);
    }
}

Pin *ModuleBase::getPin(int32_t index) {
    if (index < 0 || index >= pinCount_ || !pins_[index].isSetUp()) return nullptr;
    return &pins_[index];
}

// ---- events -------------------------------------------------------------

void ModuleBase::handleEvent(const QzModuleEvent &event) {
    switch (event.kind) {
    case QZ_EVENT_PIN_STATUS_CHANGE: {
        const intptr_t index = event.ptrParam;
        if (index < 0 || index >= pinCount_) return;
        Pin *pin = getPin(static_cast<int32_t>(index));
        if (pin != nullptr) pin->setStatus(event.intParam1);
        return;
    }
    case QZ_EVENT_MIDI:
        onMidiData(event.timeStamp, event.intParam1, static_cast<int16_t>(event.intParam2 & 0xFFFF));
        return;
    case QZ_EVENT_DEFERRED_CALL:
        if (event.ptrParam != 0) reinterpret_cast<QzDeferredCall>(event.ptrParam)(record_.object);
        return;
    default:
        return;
    }
}

// ---- output state and sleep ------------------------------------------------

void ModuleBase::setMainSubProcess(QzSubProcess main, int32_t outputPin) {
    mainSubProcess_ = main;
    outputPin_ = outputPin;
    setSubProcess(main);
}

void ModuleBase::setOutputState(int32_t status) {
    if (const Pin *pin = getPin(outputPin_)) pin->sendStatus(getSampleClock(), status);
    if (status < QZ_STATUS_STREAMING) {
        sleepCountdown_ = getBlockSize();
        setSubProcess(&countingSubProcess);
    } else {
        setSubProcess(mainSubProcess_);
    }
}

void QZ_CALL ModuleBase::countingSubProcess(void *object, int32_t offset, int32_t count) {
    auto *self = static_cast<ModuleBase *>(object);
    if (self->mainSubProcess_ != nullptr) self->mainSubProcess_(object, offset, count);
    self->sleepCountdown_ -= count;
    if (self->sleepCountdown_ <= 0) self->sleep();
}

} // namespace qz
