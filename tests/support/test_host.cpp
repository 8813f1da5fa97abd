#include "test_host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#ifndef QZ_PLUGIN_DIR
#error "QZ_PLUGIN_DIR must name the folder of the built plug-ins"
#endif

namespace qz::test {

namespace {
[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "test host: %s\n", what.c_str());
    std::abort();
}
} // namespace

std::string pluginPath(const std::string &name) {
    return std::string(QZ_PLUGIN_DIR) + "/" + name + kPluginExtension;
}

#if defined(_WIN32)
Plugin::Plugin(const std::string &name) {
    const std::string path = pluginPath(name);
    handle_ = reinterpret_cast<void *>(LoadLibraryA(path.c_str()));
    if (handle_ == nullptr) fail("cannot load " + path);
    auto *module = static_cast<HMODULE>(handle_);
    getModuleProperties =
        reinterpret_cast<QzGetModulePropertiesFn>(reinterpret_cast<void *>(GetProcAddress(module, "getModuleProperties")));
    makeModule = reinterpret_cast<QzMakeModuleFn>(reinterpret_cast<void *>(GetProcAddress(module, "makeModule")));
    if (getModuleProperties == nullptr || makeModule == nullptr) fail(path + " lacks an entry point");
}

Plugin::~Plugin() {
    if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}
#else
Plugin::Plugin(const std::string &name) {
    const std::string path = pluginPath(name);
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) fail("cannot load " + path + ": " + dlerror());
    getModuleProperties = reinterpret_cast<QzGetModulePropertiesFn>(dlsym(handle_, "getModuleProperties"));
    makeModule = reinterpret_cast<QzMakeModuleFn>(dlsym(handle_, "makeModule"));
    if (getModuleProperties == nullptr || makeModule == nullptr) fail(path + " lacks an entry point");
}

Plugin::~Plugin() {
    if (handle_ != nullptr) dlclose(handle_);
}
#endif

QzModuleProperties Plugin::properties() const {
    QzModuleProperties p{};
    getModuleProperties(0, &p);
    return p;
}

TestHost::TestHost(QzMakeModuleFn makeModule, float sampleRate, int32_t blockSize_, int32_t pinCount_)
    : blockSize(blockSize_) {
    record = static_cast<QzModuleRecord *>(makeModule(0, QZ_PROFILE_PROCESSING, &callback, this));
    if (record == nullptr) fail("makeModule returned null");
    for (int32_t d = 0; d < 256; ++d) {
        QzPinDescription description{};
        if (dispatch(QZ_OP_GET_PIN_PROPERTIES, d, 0, &description) == 0) break;
        const bool gui = (description.flags & QZ_PIN_GUI_SIDE) != 0;
        const bool both = (description.flags & QZ_PIN_BOTH_SIDES) != 0;
        if (gui && !both) continue;
        pins.push_back(description);
        descriptionIndex.push_back(d);
    }
    pinCount = pinCount_ < 0 ? static_cast<int32_t>(pins.size()) : pinCount_;
    buffers_.assign(static_cast<size_t>(pinCount > 0 ? pinCount : 0), std::vector<float>(static_cast<size_t>(blockSize), 0.0f));
    // Stream pins with a module variable get their buffer before Open, as a
    // host does, so that open may already read them.
    for (size_t p = 0; p < pins.size() && p < buffers_.size(); ++p) {
        if (pins[p].dataType == QZ_DT_STREAM && pins[p].variable != nullptr) {
            *static_cast<float **>(pins[p].variable) = buffers_[p].data();
        }
    }
    dispatch(QZ_OP_SET_SAMPLE_RATE, 0, 0, nullptr, sampleRate);
    dispatch(QZ_OP_SET_BLOCK_SIZE, 0, blockSize);
}

TestHost::~TestHost() {
    if (record != nullptr) close();
}

void TestHost::open() { dispatch(QZ_OP_OPEN); }

void TestHost::close() {
    dispatch(QZ_OP_CLOSE);
    record = nullptr;
}

QzResult TestHost::dispatch(int32_t opcode, int32_t index, int32_t value, void *ptr, float opt) {
    if (record == nullptr) fail("dispatch on a closed instance");
    return record->dispatcher(record, opcode, index, value, ptr, opt);
}

float *TestHost::buffer(int32_t pin) {
    if (pin < 0 || static_cast<size_t>(pin) >= buffers_.size()) fail("no buffer for pin " + std::to_string(pin));
    return buffers_[static_cast<size_t>(pin)].data();
}

void *TestHost::variable(int32_t pin) {
    if (pin < 0 || static_cast<size_t>(pin) >= pins.size() || pins[static_cast<size_t>(pin)].variable == nullptr)
        fail("pin " + std::to_string(pin) + " has no module variable");
    return pins[static_cast<size_t>(pin)].variable;
}

void TestHost::useBuffer(int32_t pin, float *external) { *static_cast<float **>(variable(pin)) = external; }

void TestHost::fill(int32_t pin, float value) {
    float *b = buffer(pin);
    for (int32_t i = 0; i < blockSize; ++i) b[i] = value;
}

void TestHost::writeEnum(int32_t pin, int16_t value) { std::memcpy(variable(pin), &value, sizeof value); }
void TestHost::writeFloat(int32_t pin, float value) { std::memcpy(variable(pin), &value, sizeof value); }
void TestHost::writeInt(int32_t pin, int32_t value) { std::memcpy(variable(pin), &value, sizeof value); }
void TestHost::writeBool(int32_t pin, uint8_t value) { std::memcpy(variable(pin), &value, sizeof value); }

void TestHost::deliver(QzModuleEvent event) { record->eventHandler(record->object, &event); }

void TestHost::sendStatus(int32_t pin, int32_t status) {
    QzModuleEvent e{};
    e.timeStamp = clock;
    e.kind = QZ_EVENT_PIN_STATUS_CHANGE;
    e.intParam1 = status;
    e.ptrParam = pin;
    deliver(e);
}

void TestHost::setStream(int32_t pin, float value) {
    fill(pin, value);
    sendStatus(pin, QZ_STATUS_CHANGED);
}

void TestHost::setEnum(int32_t pin, int16_t value) {
    writeEnum(pin, value);
    sendStatus(pin, QZ_STATUS_CHANGED);
}

void TestHost::sendMidi(int32_t pin, int32_t message) { sendMidiAt(pin, message, clock); }

void TestHost::sendMidiAt(int32_t pin, int32_t message, uint32_t at) {
    QzModuleEvent e{};
    e.timeStamp = at;
    e.kind = QZ_EVENT_MIDI;
    e.intParam1 = message;
    e.intParam2 = pin;
    deliver(e);
}

void TestHost::newBlock() {
    offset = 0;
    bufferStart = clock;
}

void TestHost::run(int32_t count) {
    if (offset + count > blockSize) fail("slice runs past the block");
    record->subProcess(record->object, offset, count);
    offset += count;
    clock += static_cast<uint32_t>(count);
    if (offset == blockSize) newBlock();
}

void TestHost::clearLogs() {
    statusLog.clear();
    midiLog.clear();
    eventLog.clear();
    otherRequests.clear();
    sleepCount = 0;
    subProcessChanges = 0;
    bufferRequests = 0;
}

QzResult QZ_CALL TestHost::callback(QzModuleRecord *record, int32_t opcode, int32_t index, int32_t value, void *ptr,
                                    float) {
    auto *host = static_cast<TestHost *>(record->hostData);
    return host->answer(opcode, index, value, ptr);
}

QzResult TestHost::answer(int32_t opcode, int32_t index, int32_t value, void *ptr) {
    const auto clockOf = [](void *p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); };
    switch (opcode) {
    case QZ_HOST_SEND_PIN_STATUS:
        statusLog.push_back({index, value, clockOf(ptr)});
        return 0;
    case QZ_HOST_GET_SAMPLE_CLOCK:
        return static_cast<QzResult>(clock);
    case QZ_HOST_SEND_MIDI:
        midiLog.push_back({index, value, clockOf(ptr)});
        return 0;
    case QZ_HOST_GET_PIN_BUFFER:
        ++bufferRequests;
        if (!answerPinBuffer || index < 0 || static_cast<size_t>(index) >= buffers_.size()) return 0;
        return reinterpret_cast<QzResult>(buffers_[static_cast<size_t>(index)].data());
    case QZ_HOST_GET_BUFFER_START_CLOCK:
        return static_cast<QzResult>(bufferStart);
    case QZ_HOST_SLEEP:
        ++sleepCount;
        return 0;
    case QZ_HOST_GET_PIN_COUNT:
        return pinCount;
    case QZ_HOST_ADD_EVENT:
        if (ptr != nullptr) eventLog.push_back(*static_cast<QzModuleEvent *>(ptr));
        return 0;
    case QZ_HOST_SUB_PROCESS_CHANGED:
        ++subProcessChanges;
        return 0;
    default:
        otherRequests.push_back(opcode);
        return 0;
    }
}

} // namespace qz::test
