// module_base.h: the processing side of every qzfm module.
//
// A module derives from ModuleBase, describes its pins in getPinProperties,
// chooses its processing function in open and reacts to pin status changes
// and MIDI. The base answers the host's dispatcher, builds the pin table and
// turns the host's events into calls on the module.
#pragma once

#include "qz_abi.h"

#include <cstdint>

namespace qz {

class ModuleBase;

// One pin of a processing instance. The host writes the value into the pin's
// variable (a module field or the pin's own storage) before it announces a
// new status.
class Pin {
public:
    virtual ~Pin() = default;

    int32_t getIndex() const { return index_; }
    int32_t getStatus() const { return status_; }
    int32_t getDataType() const { return dataType_; }
    void *getVariable() const { return variable_; }
    bool isSetUp() const { return owner_ != nullptr; }

    // The sample of the pin's current buffer at the current sample clock.
    // Costs two host calls: read controls only when they change. Answers 0
    // for a pin without a buffer or a clock outside the current block.
    float getValue() const;

    void sendStatus(uint32_t clock, int32_t status) const;
    void sendMidi(uint32_t clock, int32_t message) const;
    bool query() const;

    // Framework-internal: stores the status, tells the owner, and lets a
    // Changed fall back to Stopped once the owner has handled it.
    void setStatus(int32_t status);

    // Framework-internal: `moduleVariable` is the description's variable.
    void setUp(ModuleBase *owner, int32_t index, int32_t dataType, void *moduleVariable);

private:
    union Storage {
        int16_t enumeration;
        uint8_t boolean;
        float real;
        int32_t integer;
        float *buffer;
    };

    void *variable_ = nullptr;
    ModuleBase *owner_ = nullptr; // null until set up
    int32_t index_ = QZ_INVALID_PIN;
    int32_t status_ = QZ_STATUS_STOPPED;
    int32_t dataType_ = -1;
    Storage storage_{};
};

class ModuleBase {
public:
    ModuleBase(QzHostCallback host, void *hostData);
    virtual ~ModuleBase();

    ModuleBase(const ModuleBase &) = delete;
    ModuleBase &operator=(const ModuleBase &) = delete;

    // ---- virtual operations, in slot order --------------------------
    virtual void onPinStatusChanged(Pin &pin);
    virtual void handleEvent(const QzModuleEvent &event);
    virtual QzResult dispatch(int32_t opcode, int32_t index, int32_t value, void *ptr, float opt);
    virtual void open();
    virtual void close();
    virtual void setSampleRate(float rate);
    virtual void setBlockSize(int32_t size);
    virtual float getSampleRate() const;
    virtual int32_t getBlockSize() const;
    virtual bool getPinProperties(int32_t index, QzPinDescription &description);
    virtual void hostNotify8();
    virtual void hostNotify8Index(int32_t index);
    virtual void onMidiData(uint32_t clock, int32_t message, int16_t pinIndex);
    virtual void hostNotify12(int32_t value, int32_t index, void *ptr);

    // ---- operations for modules -------------------------------------
    QzModuleRecord *record() { return &record_; }

    // The pin table entry, or null for an index outside the table or an
    // entry that was never set up.
    Pin *getPin(int32_t index);
    int32_t getPinCount() const { return pinCount_; }

    // The host's answer; integer answers are its low 32 bits.
    QzResult callHost(int32_t opcode, int32_t index = 0, int32_t value = 0, void *ptr = nullptr, float opt = 0.0f);
    uint32_t getSampleClock();
    void setSubProcess(QzSubProcess function);
    QzSubProcess getSubProcess() const { return descriptor_.function; }
    void sleep();
    void addEvent(uint32_t time, int32_t kind, int32_t intParam1, int32_t intParam2, intptr_t ptrParam);

    // Queues a call of `Method` (a member operation without arguments) for
    // clock `time`; it travels as a plain function, see QzDeferredCall.
    template <auto Method> void queueCall(uint32_t time) {
        addEvent(time, QZ_EVENT_DEFERRED_CALL, 0, 0, reinterpret_cast<intptr_t>(&deferredTrampoline<Method>));
    }

    // The plain SubProcess function that runs `Method` (offset, count) on
    // the instance the host passes in.
    template <auto Method> static QzSubProcess subProcessOf() { return &subProcessTrampoline<Method>; }

    // ---- output state and sleep, for the six signal modules ----------
    // Makes `main` the module's per-sample loop and `outputPin` the pin whose
    // state setOutputState reports; selects `main` as the sub-process.
    void setMainSubProcess(QzSubProcess main, int32_t outputPin);

    // Reports `status` on the output pin. Below Streaming, the module keeps
    // computing for one block size of samples, then asks to sleep.
    void setOutputState(int32_t status);
    int32_t getSleepCountdown() const { return sleepCountdown_; }

    // The library-wide answer to GetSubProcessInfo.
    static QzSubProcessInfo subProcessInfo_;

private:
    template <class T> struct MemberOf;
    template <class C, class R, class... A> struct MemberOf<R (C::*)(A...)> {
        using Class = C;
    };

    template <auto Method> static void QZ_CALL subProcessTrampoline(void *object, int32_t offset, int32_t count) {
        using C = typename MemberOf<decltype(Method)>::Class;
        (static_cast<C *>(static_cast<ModuleBase *>(object))->*Method)(offset, count);
    }
    template <auto Method> static void QZ_CALL deferredTrampoline(void *object) {
        using C = typename MemberOf<decltype(Method)>::Class;
        (static_cast<C *>(static_cast<ModuleBase *>(object))->*Method)();
    }

    static QzResult QZ_CALL dispatcherEntry(QzModuleRecord *record, int32_t opcode, int32_t index, int32_t value,
                                           void *ptr, float opt);
    static void QZ_CALL eventEntry(void *object, QzModuleEvent *event);
    static void QZ_CALL countingSubProcess(void *object, int32_t offset, int32_t count);
    static void QZ_CALL idleSubProcess(void *object, int32_t offset, int32_t count);

    bool keepsDescription(const QzPinDescription &description) const;

    QzModuleRecord record_;
    QzHostCallback host_;
    float sampleRate_ = 44100.0f;
    int32_t blockSize_ = 1024;
    Pin *pins_ = nullptr;
    int32_t pinCount_ = 0;
    QzSubProcessDescriptor descriptor_{};

    int32_t sleepCountdown_ = 0;
    QzSubProcess mainSubProcess_ = nullptr;
    int32_t outputPin_ = QZ_INVALID_PIN;
};

// Widens a 32-bit sample clock into the pointer argument of a host request,
// and back.
inline void *clockToPtr(uint32_t clock) { return reinterpret_cast<void *>(static_cast<uintptr_t>(clock)); }
inline uint32_t ptrToClock(const void *ptr) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ptr)); }

} // namespace qz
