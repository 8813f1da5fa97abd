// test_host.h: a small host for tests. It loads a built plug-in with dlopen,
// answers the processing-side host requests, logs what the instance sends,
// writes pin values and delivers events as a host does, and drives the
// current sub-process slice by slice.
#pragma once

#include "qz_abi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qz::test {

#if defined(_WIN32)
inline constexpr const char *kPluginExtension = ".dll";
#else
inline constexpr const char *kPluginExtension = ".so";
#endif

// Full path of a built plug-in, e.g. pluginPath("QZ_OSC6_v1").
std::string pluginPath(const std::string &name);

// A loaded plug-in library. Aborts the test binary with a message when the
// library or one of its exports is missing.
class Plugin {
public:
    explicit Plugin(const std::string &name);
    ~Plugin();
    Plugin(const Plugin &) = delete;
    Plugin &operator=(const Plugin &) = delete;

    QzGetModulePropertiesFn getModuleProperties = nullptr;
    QzMakeModuleFn makeModule = nullptr;
    QzModuleProperties properties() const; // index 0, from a cleared record

private:
    void *handle_ = nullptr;
};

struct StatusSent {
    int32_t pin;
    int32_t status;
    uint32_t clock;
};
struct MidiSent {
    int32_t pin;
    int32_t message;
    uint32_t clock;
};

class TestHost {
public:
    // Makes a processing instance, reads its descriptions and sets rate and
    // block size. `pinCount` < 0 means: as many pins as the instance keeps.
    explicit TestHost(const Plugin &plugin, float sampleRate = 44100.0f, int32_t blockSize = 1024,
                      int32_t pinCount = -1)
        : TestHost(plugin.makeModule, sampleRate, blockSize, pinCount) {}
    // The same with any makeModule, such as a fixture module linked into a test.
    explicit TestHost(QzMakeModuleFn makeModule, float sampleRate = 44100.0f, int32_t blockSize = 1024,
                      int32_t pinCount = -1);
    ~TestHost(); // sends Close if the instance still exists
    TestHost(const TestHost &) = delete;
    TestHost &operator=(const TestHost &) = delete;

    QzModuleRecord *record = nullptr;
    int32_t blockSize;
    int32_t pinCount;

    // Processing-side descriptions in pin index order (GuiSide skipped
    // unless BothSides), and the description index of each.
    std::vector<QzPinDescription> pins;
    std::vector<int32_t> descriptionIndex;

    // Sends Open (the Stream buffers are in place before it).
    void open();
    // Sends Close; the record is gone afterwards.
    void close();
    QzResult dispatch(int32_t opcode, int32_t index = 0, int32_t value = 0, void *ptr = nullptr, float opt = 0.0f);

    // The pin's Stream buffer (blockSize samples, zero at start).
    float *buffer(int32_t pin);
    // Points the pin's Stream variable at another buffer (wiring two
    // instances); the buffer must hold blockSize samples.
    void useBuffer(int32_t pin, float *external);
    // Fills a Stream input with one value for the whole block.
    void fill(int32_t pin, float value);

    // Writes a value into the pin's variable (Enumeration int16, Boolean
    // uint8, Float, Integer) as a host does before announcing it.
    void writeEnum(int32_t pin, int16_t value);
    void writeFloat(int32_t pin, float value);
    void writeInt(int32_t pin, int32_t value);
    void writeBool(int32_t pin, uint8_t value);

    // Delivers a status-change event for a pin at the current clock.
    void sendStatus(int32_t pin, int32_t status);
    // fill + Changed; writeEnum + Changed.
    void setStream(int32_t pin, float value);
    void setEnum(int32_t pin, int16_t value);
    // Delivers a MIDI event at the current clock (or `clock`).
    void sendMidi(int32_t pin, int32_t message);
    void sendMidiAt(int32_t pin, int32_t message, uint32_t clock);
    void deliver(QzModuleEvent event);

    // Runs the current sub-process for `count` samples from the current
    // offset in the block; the block starts again at offset 0 when full.
    void run(int32_t count);
    // Starts a new block: offset 0, buffer start clock = current clock.
    void newBlock();
    // One whole block from offset 0.
    void runBlock() {
        newBlock();
        run(blockSize);
    }

    uint32_t clock = 1000;       // current sample clock
    uint32_t bufferStart = 1000; // clock of buffer position 0
    int32_t offset = 0;          // position in the block of the next sample

    // What the instance sent.
    std::vector<StatusSent> statusLog;
    std::vector<MidiSent> midiLog;
    std::vector<QzModuleEvent> eventLog;
    int32_t sleepCount = 0;
    int32_t subProcessChanges = 0;
    int32_t bufferRequests = 0;
    std::vector<int32_t> otherRequests;
    bool answerPinBuffer = true; // false: GetPinBuffer answers null

    void clearLogs();

private:
    static QzResult QZ_CALL callback(QzModuleRecord *record, int32_t opcode, int32_t index, int32_t value,
                                     void *ptr, float opt);
    QzResult answer(int32_t opcode, int32_t index, int32_t value, void *ptr);
    void *variable(int32_t pin);

    std::vector<std::vector<float>> buffers_;
};

} // namespace qz::test
