// graph.h: a set of wired module instances driven block by block, and the
// host side of every request the instances make.
//
// Ordering: instances run in wiring order (producers before consumers), each
// over the whole block, split into slices at the time stamps of its own due
// events. An event is delivered between two slices at its time; one that
// arrives late (from a consumer wired back to a producer) is delivered at the
// start of the next slice. Nothing here allocates once open() has returned.
#pragma once

#include "host_error.h"
#include "plugin_library.h"
#include "qz_abi.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qz::host {

class Graph;
class Instance;

struct GraphOptions {
    float sampleRate = 44100.0f;
    int32_t blockSize = 1024;
    uint32_t startClock = 0;
};

// Where a pin's value goes: one input of one instance.
struct PinRef {
    Instance *instance = nullptr;
    int32_t pin = 0; // processing pin index
};

// A value the host itself puts into the graph (a voice's gate, velocity or
// pitch, or its MIDI), fanned out to every input wired to it.
class Source {
public:
    const std::string &name() const { return name_; }
    bool isMidi() const { return midi_; }
    float value() const { return value_; }
    // From `offset` in the current block on, the source holds `value`; every
    // input wired to it gets a Changed event at that time.
    void set(int32_t offset, float value);
    // Delivers a MIDI message to every wired input at `offset`.
    void sendMidi(int32_t offset, int32_t message);
    const std::vector<PinRef> &targets() const { return targets_; }

private:
    friend class Graph;
    Source(Graph &graph, std::string name, bool midi);
    Graph &graph_;
    std::string name_;
    bool midi_;
    float value_ = 0.0f;
    bool dirty_ = false; // changed inside the last block: refill at the next
    std::vector<float> buffer_;
    std::vector<PinRef> targets_;
};

class Instance {
public:
    const std::string &name() const { return name_; }
    const PluginLibrary &library() const { return *library_; }
    QzModuleRecord *record() const { return record_; }
    QzGuiRecord *panel() const { return panel_; }
    int32_t pinCount() const { return static_cast<int32_t>(pins_.size()); }
    const PinInfo &pinInfo(int32_t pin) const { return *pins_.at(static_cast<size_t>(pin)).info; }
    // Processing pin index of a label, or -1.
    int32_t findPin(const std::string &label) const;
    // Description index of a panel-side label, or -1.
    int32_t findPanelPin(const std::string &label) const;

    // The pin's current sample buffer (Stream pins), blockSize samples.
    const float *buffer(int32_t pin) const { return pins_.at(static_cast<size_t>(pin)).buffer; }
    // The last status the instance reported for an output pin.
    int32_t outputStatus(int32_t pin) const { return pins_.at(static_cast<size_t>(pin)).status; }
    // The current value of a panel pin (by description index) as 4 bytes.
    uint32_t panelValueBits(int32_t descriptionIndex) const;
    const std::string &panelText(int32_t descriptionIndex) const;

    bool sleeping() const { return sleeping_; }
    int64_t sleepRequests() const { return sleepRequests_; }
    int64_t subProcessCalls() const { return subProcessCalls_; }
    int64_t subProcessChanges() const { return subProcessChanges_; }
    int64_t droppedEvents() const { return droppedEvents_; }
    int64_t redraws() const { return redraws_; }
    // A hook the voice engine uses to learn that an instance asked to sleep.
    void *userData = nullptr;

private:
    friend class Graph;
    friend class Source;
    struct Pin {
        const PinInfo *info = nullptr;
        void *variable = nullptr;     // the module field, when the description gives one
        std::vector<float> ownBuffer; // Stream pins
        float *buffer = nullptr;      // ownBuffer, or the buffer of the output wired in
        int32_t status = QZ_STATUS_STOPPED;
        float lastValue = 0.0f;       // the last sample written, held while asleep
        bool wired = false;           // an input with something wired to it
        PinRef from{};                // for an input wired from another instance
        bool fromSource = false;
        std::vector<PinRef> to;       // for an output: the inputs wired to it
    };
    struct PanelPin {
        uint32_t bits = 0;
        std::string text;
        std::vector<uint16_t> wide;
        std::vector<PinRef> to;
    };
    struct Queued {
        QzModuleEvent event{};
        uint32_t valueBits = 0;
        bool hasValue = false;
    };

    Instance(Graph &graph, std::string name, std::shared_ptr<PluginLibrary> library);
    void queue(const QzModuleEvent &event, bool hasValue = false, uint32_t valueBits = 0);
    void writeValue(int32_t pin, uint32_t bits);
    uint32_t readValue(int32_t pin) const;

    Graph &graph_;
    std::string name_;
    std::shared_ptr<PluginLibrary> library_;
    QzModuleRecord *record_ = nullptr;
    QzGuiRecord *panel_ = nullptr;
    std::vector<Pin> pins_;
    std::vector<PanelPin> panelPins_; // by description index
    int32_t linkOut_ = -1;           // processing pin "gui_com_pin"
    int32_t linkIn_ = -1;            // panel description index "Val from DSP"
    std::vector<Queued> events_;     // sorted by time from head_ on
    size_t head_ = 0;
    bool sleeping_ = false;
    bool sleepAsked_ = false;
    int64_t sleepRequests_ = 0, subProcessCalls_ = 0, subProcessChanges_ = 0, droppedEvents_ = 0, redraws_ = 0;
    int32_t order_ = 0;
};

class Graph {
public:
    explicit Graph(GraphOptions options = {});
    ~Graph(); // closes every instance
    Graph(const Graph &) = delete;
    Graph &operator=(const Graph &) = delete;

    // Makes the processing instance (and the panel instance of a library that
    // has one) and sets sample rate and block size. Before open() only.
    Instance &add(const std::string &name, std::shared_ptr<PluginLibrary> library);
    Source &addSource(const std::string &name, bool midi);

    // Wires an output to an input; throws HostError for a wire between pins
    // of different types, from an input, to an output, or to an input that
    // is already wired.
    void connect(Instance &from, int32_t fromPin, Instance &to, int32_t toPin);
    // Wires a panel-side output (by description index) to an input.
    void connectPanel(Instance &from, int32_t fromDescription, Instance &to, int32_t toPin);
    void connectSource(Source &source, Instance &to, int32_t toPin);

    // Sets an unwired input's value: Stream pins hold it on every sample,
    // the others get it written into their variable.
    void setInput(Instance &instance, int32_t pin, double value);

    // Sends Open to every instance in wiring order and queues the first
    // report of every input's status.
    void open();
    bool isOpen() const { return opened_; }

    // Refills the sources changed in the last block; call before putting
    // this block's source changes and MIDI in.
    void beginBlock();
    // Runs every instance over one block, then passes on the panel links.
    void processBlock();

    float sampleRate() const { return options_.sampleRate; }
    int32_t blockSize() const { return options_.blockSize; }
    uint32_t blockStart() const { return blockStart_; }
    const std::vector<std::unique_ptr<Instance>> &instances() const { return instances_; }
    // The instances in the order they run.
    const std::vector<Instance *> &order() const { return order_; }
    Instance *find(const std::string &name) const;

    // Called after an instance asked to sleep (from inside its call).
    void (*onSleep)(Instance &instance, void *context) = nullptr;
    void *onSleepContext = nullptr;

private:
    friend class Source;
    friend class Instance;
    static QzResult QZ_CALL hostCallback(QzModuleRecord *record, int32_t opcode, int32_t index, int32_t value,
                                         void *ptr, float opt);
    static QzResult QZ_CALL panelCallback(QzGuiRecord *record, int32_t opcode, int32_t index, int32_t value,
                                          void *ptr, float opt);
    QzResult answer(Instance &inst, int32_t opcode, int32_t index, int32_t value, void *ptr);
    QzResult answerPanel(Instance &inst, int32_t opcode, int32_t index, int32_t value, void *ptr, float opt);
    void sendStatus(Instance &inst, int32_t pin, int32_t status, uint32_t clock);
    void sendMidi(Instance &inst, int32_t pin, int32_t message, uint32_t clock);
    void processInstance(Instance &inst);
    void deliver(Instance &inst, Instance::Queued &queued, uint32_t clock);
    void flushPanelLinks();
    void computeOrder();
    void checkWire(const PinInfo &from, const PinInfo &to, Instance &toInst, int32_t toPin, const std::string &what);

    GraphOptions options_;
    std::vector<std::unique_ptr<Instance>> instances_;
    std::vector<std::unique_ptr<Source>> sources_;
    std::vector<Instance *> order_;
    std::vector<std::pair<Instance *, uint32_t>> pendingLinks_; // panel link values to pass on
    uint32_t blockStart_ = 0;
    uint32_t clock_ = 0; // answer to GetSampleClock
    bool opened_ = false;
    bool opening_ = false;
};

} // namespace qz::host
