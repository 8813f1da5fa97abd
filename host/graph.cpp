#include "graph.h"

#include <algorithm>
#include <cstring>

namespace qz::host {

namespace {
// Events one instance may hold at once; more in one block is a runaway.
constexpr size_t kEventCapacity = 1024;
// Panel link values passed on after one block.
constexpr size_t kLinkCapacity = 4096;

uint32_t floatBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}
uint32_t clockOf(void *ptr) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ptr)); }
std::string pinName(const Instance &inst, const PinInfo &pin) { return inst.name() + "." + pin.label; }
// "a stream input", "an enum output".
std::string pinKind(const PinInfo &pin) {
    const std::string type = dataTypeName(pin.dataType);
    const bool vowel = type.find_first_of("aeiou") == 0;
    return (vowel ? "an " : "a ") + type + (pin.isInput() ? " input" : " output");
}
} // namespace

// ---- Source --------------------------------------------------------------

Source::Source(Graph &graph, std::string name, bool midi)
    : graph_(graph), name_(std::move(name)), midi_(midi),
      buffer_(static_cast<size_t>(graph.blockSize()), 0.0f) {}

void Source::set(int32_t offset, float value) {
    if (midi_) return;
    offset = std::clamp(offset, 0, graph_.blockSize() - 1);
    std::fill(buffer_.begin() + offset, buffer_.end(), value);
    value_ = value;
    dirty_ = true;
    QzModuleEvent e{};
    e.timeStamp = graph_.blockStart() + static_cast<uint32_t>(offset);
    e.kind = QZ_EVENT_PIN_STATUS_CHANGE;
    e.intParam1 = QZ_STATUS_CHANGED;
    for (const PinRef &t : targets_) {
        e.ptrParam = t.pin;
        t.instance->queue(e);
    }
}

void Source::sendMidi(int32_t offset, int32_t message) {
    if (!midi_) return;
    offset = std::clamp(offset, 0, graph_.blockSize() - 1);
    QzModuleEvent e{};
    e.timeStamp = graph_.blockStart() + static_cast<uint32_t>(offset);
    e.kind = QZ_EVENT_MIDI;
    e.intParam1 = message;
    for (const PinRef &t : targets_) {
        e.intParam2 = t.pin;
        t.instance->queue(e);
    }
}

// ---- Instance ------------------------------------------------------------

Instance::Instance(Graph &graph, std::string name, std::shared_ptr<PluginLibrary> library)
    : graph_(graph), name_(std::move(name)), library_(std::move(library)) {
    const auto &kept = library_->processingPins();
    pins_.resize(kept.size());
    for (size_t p = 0; p < kept.size(); ++p) {
        Pin &pin = pins_[p];
        pin.info = &kept[p];
        if (pin.info->dataType == QZ_DT_STREAM) {
            pin.ownBuffer.assign(static_cast<size_t>(graph.blockSize()), 0.0f);
            pin.buffer = pin.ownBuffer.data();
        }
        if (pin.info->guiLink() && !pin.info->isInput()) linkOut_ = static_cast<int32_t>(p);
    }
    panelPins_.resize(library_->descriptions().size());
    for (const auto &d : library_->panelPins())
        if (d.guiLink() && d.isInput()) linkIn_ = d.descriptionIndex;
    events_.reserve(kEventCapacity);
}

int32_t Instance::findPin(const std::string &label) const {
    for (size_t p = 0; p < pins_.size(); ++p)
        if (pins_[p].info->label == label) return static_cast<int32_t>(p);
    return -1;
}

int32_t Instance::findPanelPin(const std::string &label) const {
    for (const auto &d : library_->panelPins())
        if (d.label == label) return d.descriptionIndex;
    return -1;
}

uint32_t Instance::panelValueBits(int32_t d) const {
    if (d < 0 || static_cast<size_t>(d) >= panelPins_.size()) return 0;
    return panelPins_[static_cast<size_t>(d)].bits;
}

const std::string &Instance::panelText(int32_t d) const {
    static const std::string none;
    if (d < 0 || static_cast<size_t>(d) >= panelPins_.size()) return none;
    return panelPins_[static_cast<size_t>(d)].text;
}

void Instance::queue(const QzModuleEvent &event, bool hasValue, uint32_t valueBits) {
    if (events_.size() == events_.capacity()) {
        if (head_ == 0) {
            ++droppedEvents_;
            return;
        }
        events_.erase(events_.begin(), events_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    Queued q;
    q.event = event;
    q.event.next = nullptr;
    q.hasValue = hasValue;
    q.valueBits = valueBits;
    // Keep time order; events of equal time stay in the order they came.
    const uint32_t base = graph_.blockStart();
    const auto rel = [base](uint32_t t) { return static_cast<int32_t>(t - base); };
    auto pos = events_.end();
    while (pos != events_.begin() + static_cast<std::ptrdiff_t>(head_) &&
           rel((pos - 1)->event.timeStamp) > rel(event.timeStamp))
        --pos;
    events_.insert(pos, q);
}

void Instance::writeValue(int32_t p, uint32_t bits) {
    if (p < 0 || static_cast<size_t>(p) >= pins_.size()) return;
    Pin &pin = pins_[static_cast<size_t>(p)];
    if (pin.variable == nullptr) return;
    switch (pin.info->dataType) {
    case QZ_DT_ENUMERATION: {
        const auto v = static_cast<int16_t>(static_cast<int32_t>(bits));
        std::memcpy(pin.variable, &v, sizeof v);
        break;
    }
    case QZ_DT_BOOLEAN: {
        const uint8_t v = bits != 0 ? 1 : 0;
        std::memcpy(pin.variable, &v, sizeof v);
        break;
    }
    case QZ_DT_FLOAT:
    case QZ_DT_INTEGER: std::memcpy(pin.variable, &bits, sizeof bits); break;
    default: break;
    }
}

uint32_t Instance::readValue(int32_t p) const {
    if (p < 0 || static_cast<size_t>(p) >= pins_.size()) return 0;
    const Pin &pin = pins_[static_cast<size_t>(p)];
    if (pin.variable == nullptr) return 0;
    switch (pin.info->dataType) {
    case QZ_DT_ENUMERATION: {
        int16_t v;
        std::memcpy(&v, pin.variable, sizeof v);
        return static_cast<uint32_t>(static_cast<int32_t>(v));
    }
    case QZ_DT_BOOLEAN: {
        uint8_t v;
        std::memcpy(&v, pin.variable, sizeof v);
        return v != 0 ? 1u : 0u;
    }
    case QZ_DT_FLOAT:
    case QZ_DT_INTEGER: {
        uint32_t v;
        std::memcpy(&v, pin.variable, sizeof v);
        return v;
    }
    default: return 0;
    }
}

// ---- Graph: building -----------------------------------------------------

Graph::Graph(GraphOptions options) : options_(options) {
    if (!(options_.sampleRate >= 1.0f && options_.sampleRate <= 1.0e6f))
        throw HostError("sample rate " + std::to_string(options_.sampleRate) + " is outside 1 to 1000000 Hz");
    if (options_.blockSize < 1 || options_.blockSize > 65536)
        throw HostError("block size " + std::to_string(options_.blockSize) + " is outside 1 to 65536 samples");
    blockStart_ = clock_ = options_.startClock;
    pendingLinks_.reserve(kLinkCapacity);
}

Graph::~Graph() {
    for (auto &inst : instances_) {
        if (inst->panel_ != nullptr) inst->panel_->dispatcher(inst->panel_, QZ_GUI_CLOSE, 0, 0, nullptr, 0.0f);
        if (inst->record_ != nullptr) inst->record_->dispatcher(inst->record_, QZ_OP_CLOSE, 0, 0, nullptr, 0.0f);
        inst->panel_ = nullptr;
        inst->record_ = nullptr;
    }
}

Instance *Graph::find(const std::string &name) const {
    for (const auto &inst : instances_)
        if (inst->name() == name) return inst.get();
    return nullptr;
}

Instance &Graph::add(const std::string &name, std::shared_ptr<PluginLibrary> library) {
    if (opened_) throw HostError("cannot add " + name + " after the graph was opened");
    if (find(name) != nullptr) throw HostError("module name " + name + " is used twice");
    std::unique_ptr<Instance> inst(new Instance(*this, name, std::move(library)));
    Instance &i = *inst;
    i.order_ = static_cast<int32_t>(instances_.size());
    instances_.push_back(std::move(inst));

    i.record_ = static_cast<QzModuleRecord *>(
        i.library_->makeModule()(0, QZ_PROFILE_PROCESSING, &Graph::hostCallback, &i));
    if (i.record_ == nullptr) throw HostError(i.library_->uniqueId() + " made no processing instance for " + name);
    // The variables of this very instance: the library's descriptions came
    // from another one.
    for (Instance::Pin &pin : i.pins_) {
        QzPinDescription d{};
        if (i.record_->dispatcher(i.record_, QZ_OP_GET_PIN_PROPERTIES, pin.info->descriptionIndex, 0, &d, 0.0f) != 0)
            pin.variable = d.variable;
    }
    i.record_->dispatcher(i.record_, QZ_OP_SET_SAMPLE_RATE, 0, 0, nullptr, options_.sampleRate);
    i.record_->dispatcher(i.record_, QZ_OP_SET_BLOCK_SIZE, 0, options_.blockSize, nullptr, 0.0f);
    for (int32_t p = 0; p < i.pinCount(); ++p)
        if (i.pinInfo(p).isInput()) setInput(i, p, defaultInputValue(i.pinInfo(p)));
    if (i.library_->makesPanel()) {
        i.panel_ = static_cast<QzGuiRecord *>(i.library_->makeModule()(
            0, QZ_PROFILE_PANEL, reinterpret_cast<QzHostCallback>(&Graph::panelCallback), &i));
    }
    return i;
}

Source &Graph::addSource(const std::string &name, bool midi) {
    if (opened_) throw HostError("cannot add source " + name + " after the graph was opened");
    sources_.push_back(std::unique_ptr<Source>(new Source(*this, name, midi)));
    return *sources_.back();
}

void Graph::checkWire(const PinInfo &from, const PinInfo &to, Instance &toInst, int32_t toPin,
                      const std::string &what) {
    if (opened_) throw HostError("cannot wire " + what + " after the graph was opened");
    if (from.isInput()) throw HostError("cannot wire " + what + ": " + from.label + " is an input");
    if (!to.isInput()) throw HostError("cannot wire " + what + ": " + to.label + " is an output");
    if (from.dataType != to.dataType)
        throw HostError("cannot wire " + what + ": " + pinKind(from) + " does not fit " + pinKind(to));
    if (toInst.pins_[static_cast<size_t>(toPin)].wired)
        throw HostError("cannot wire " + what + ": " + pinName(toInst, to) + " is already wired");
}

void Graph::connect(Instance &from, int32_t fromPin, Instance &to, int32_t toPin) {
    if (fromPin < 0 || fromPin >= from.pinCount() || toPin < 0 || toPin >= to.pinCount())
        throw HostError("cannot wire " + from.name() + " to " + to.name() + ": no such pin");
    const PinInfo &a = from.pinInfo(fromPin);
    const PinInfo &b = to.pinInfo(toPin);
    checkWire(a, b, to, toPin, pinName(from, a) + " to " + pinName(to, b));
    Instance::Pin &out = from.pins_[static_cast<size_t>(fromPin)];
    Instance::Pin &in = to.pins_[static_cast<size_t>(toPin)];
    out.to.push_back({&to, toPin});
    in.wired = true;
    in.from = {&from, fromPin};
    if (a.dataType == QZ_DT_STREAM) in.buffer = out.buffer;
}

void Graph::connectPanel(Instance &from, int32_t d, Instance &to, int32_t toPin) {
    const auto &descs = from.library_->descriptions();
    if (d < 0 || static_cast<size_t>(d) >= descs.size() || !descs[static_cast<size_t>(d)].guiSide() ||
        toPin < 0 || toPin >= to.pinCount())
        throw HostError("cannot wire " + from.name() + " to " + to.name() + ": no such pin");
    const PinInfo &a = descs[static_cast<size_t>(d)];
    const PinInfo &b = to.pinInfo(toPin);
    checkWire(a, b, to, toPin, pinName(from, a) + " to " + pinName(to, b));
    if (a.dataType == QZ_DT_STREAM || a.dataType == QZ_DT_MIDI)
        throw HostError("cannot wire " + pinName(from, a) + ": panel pins carry single values only");
    if (from.panel_ == nullptr) throw HostError("cannot wire " + pinName(from, a) + ": " + from.name() + " has no panel");
    from.panelPins_[static_cast<size_t>(d)].to.push_back({&to, toPin});
    to.pins_[static_cast<size_t>(toPin)].wired = true;
    to.pins_[static_cast<size_t>(toPin)].fromSource = true; // reported Changed at the start
}

void Graph::connectSource(Source &source, Instance &to, int32_t toPin) {
    if (opened_) throw HostError("cannot wire " + source.name() + " after the graph was opened");
    if (toPin < 0 || toPin >= to.pinCount()) throw HostError("cannot wire " + source.name() + ": no such pin");
    const PinInfo &b = to.pinInfo(toPin);
    const int32_t want = source.isMidi() ? QZ_DT_MIDI : QZ_DT_STREAM;
    if (!b.isInput() || b.dataType != want)
        throw HostError("cannot wire the voice's " + source.name() + " to " + pinName(to, b) + ": it needs a " +
                        dataTypeName(want) + " input, not " + pinKind(b));
    Instance::Pin &in = to.pins_[static_cast<size_t>(toPin)];
    if (in.wired) throw HostError("cannot wire the voice's " + source.name() + ": " + pinName(to, b) + " is already wired");
    in.wired = true;
    in.fromSource = true;
    if (!source.isMidi()) in.buffer = source.buffer_.data();
    source.targets_.push_back({&to, toPin});
}

void Graph::setInput(Instance &inst, int32_t p, double value) {
    if (p < 0 || p >= inst.pinCount()) return;
    Instance::Pin &pin = inst.pins_[static_cast<size_t>(p)];
    switch (pin.info->dataType) {
    case QZ_DT_STREAM:
        std::fill(pin.ownBuffer.begin(), pin.ownBuffer.end(), static_cast<float>(value));
        pin.lastValue = static_cast<float>(value);
        break;
    case QZ_DT_FLOAT: inst.writeValue(p, floatBits(static_cast<float>(value))); break;
    case QZ_DT_ENUMERATION:
    case QZ_DT_BOOLEAN:
    case QZ_DT_INTEGER: inst.writeValue(p, static_cast<uint32_t>(static_cast<int32_t>(value))); break;
    default: break;
    }
}

void Graph::computeOrder() {
    // Producers first; among the ready ones, the order they were added. A
    // loop of wires is broken at the earliest added instance.
    const size_t n = instances_.size();
    std::vector<int32_t> waiting(n, 0);
    for (const auto &inst : instances_)
        for (const auto &pin : inst->pins_)
            if (pin.wired && pin.from.instance != nullptr && pin.from.instance != inst.get()) ++waiting[static_cast<size_t>(inst->order_)];
    std::vector<bool> done(n, false);
    order_.clear();
    while (order_.size() < n) {
        size_t pick = n;
        for (size_t k = 0; k < n && pick == n; ++k)
            if (!done[k] && waiting[k] <= 0) pick = k;
        for (size_t k = 0; k < n && pick == n; ++k)
            if (!done[k]) pick = k;
        done[pick] = true;
        Instance *inst = instances_[pick].get();
        order_.push_back(inst);
        for (const auto &pin : inst->pins_)
            for (const PinRef &t : pin.to)
                if (t.instance != inst) --waiting[static_cast<size_t>(t.instance->order_)];
    }
}

void Graph::open() {
    if (opened_) return;
    computeOrder();
    opening_ = true;
    for (Instance *inst : order_) {
        for (Instance::Pin &pin : inst->pins_)
            if (pin.info->dataType == QZ_DT_STREAM && pin.variable != nullptr)
                *static_cast<float **>(pin.variable) = pin.buffer;
        clock_ = blockStart_;
        inst->record_->dispatcher(inst->record_, QZ_OP_OPEN, 0, 0, nullptr, 0.0f);
        if (inst->sleepAsked_) inst->sleeping_ = true;
    }
    opening_ = false;
    opened_ = true;
    // Every input learns its state once, at the first block.
    for (Instance *inst : order_) {
        for (int32_t p = 0; p < inst->pinCount(); ++p) {
            const Instance::Pin &pin = inst->pins_[static_cast<size_t>(p)];
            if (!pin.info->isInput() || pin.info->dataType == QZ_DT_MIDI) continue;
            QzModuleEvent e{};
            e.timeStamp = blockStart_;
            e.kind = QZ_EVENT_PIN_STATUS_CHANGE;
            e.ptrParam = p;
            e.intParam1 = QZ_STATUS_CHANGED;
            if (pin.from.instance != nullptr) {
                const Instance &src = *pin.from.instance;
                e.intParam1 = src.pins_[static_cast<size_t>(pin.from.pin)].status;
                const bool single = pin.info->dataType != QZ_DT_STREAM;
                inst->queue(e, single, single ? src.readValue(pin.from.pin) : 0);
            } else {
                inst->queue(e);
            }
        }
    }
    flushPanelLinks();
}

// ---- Graph: running ------------------------------------------------------

void Graph::beginBlock() {
    for (auto &s : sources_) {
        if (!s->dirty_) continue;
        std::fill(s->buffer_.begin(), s->buffer_.end(), s->value_);
        s->dirty_ = false;
    }
}

void Graph::processBlock() {
    if (!opened_) open();
    for (Instance *inst : order_) processInstance(*inst);
    blockStart_ += static_cast<uint32_t>(options_.blockSize);
    clock_ = blockStart_;
    flushPanelLinks();
}

void Graph::deliver(Instance &inst, Instance::Queued &q, uint32_t clock) {
    QzModuleEvent &e = q.event;
    e.timeStamp = clock; // a late event is delivered now, and says so
    if (e.kind == QZ_EVENT_PIN_STATUS_CHANGE && q.hasValue)
        inst.writeValue(static_cast<int32_t>(e.ptrParam), q.valueBits);
    clock_ = clock;
    inst.sleeping_ = false;
    inst.sleepAsked_ = false;
    inst.record_->eventHandler(inst.record_->object, &e);
    if (inst.sleepAsked_) inst.sleeping_ = true;
}

void Graph::processInstance(Instance &inst) {
    const int32_t size = options_.blockSize;
    const uint32_t start = blockStart_;
    const auto rel = [start](uint32_t t) { return static_cast<int32_t>(t - start); };
    int32_t pos = 0;
    while (pos < size) {
        while (inst.head_ < inst.events_.size()) {
            // A copy: the handler may queue more and move the queue.
            Instance::Queued q = inst.events_[inst.head_];
            if (rel(q.event.timeStamp) > pos) break;
            ++inst.head_;
            deliver(inst, q, start + static_cast<uint32_t>(pos));
        }
        int32_t next = size;
        if (inst.head_ < inst.events_.size()) next = std::min(next, rel(inst.events_[inst.head_].event.timeStamp));
        const int32_t count = next - pos;
        if (inst.sleeping_) {
            for (Instance::Pin &pin : inst.pins_)
                if (!pin.info->isInput() && pin.info->dataType == QZ_DT_STREAM)
                    std::fill(pin.buffer + pos, pin.buffer + next, pin.lastValue);
        } else {
            clock_ = start + static_cast<uint32_t>(pos);
            inst.sleepAsked_ = false;
            ++inst.subProcessCalls_;
            inst.record_->subProcess(inst.record_->object, pos, count);
            for (Instance::Pin &pin : inst.pins_)
                if (!pin.info->isInput() && pin.info->dataType == QZ_DT_STREAM) pin.lastValue = pin.buffer[next - 1];
            if (inst.sleepAsked_) inst.sleeping_ = true;
        }
        pos = next;
    }
    if (inst.head_ == inst.events_.size()) {
        inst.events_.clear();
        inst.head_ = 0;
    }
}

void Graph::flushPanelLinks() {
    for (const auto &[inst, bits] : pendingLinks_) {
        if (inst->panel_ == nullptr || inst->linkIn_ < 0) continue;
        inst->panelPins_[static_cast<size_t>(inst->linkIn_)].bits = bits;
        inst->panel_->dispatcher(inst->panel_, QZ_GUI_PIN_VALUE_CHANGED, inst->linkIn_, 0, nullptr, 0.0f);
    }
    pendingLinks_.clear();
}

void Graph::sendStatus(Instance &inst, int32_t p, int32_t status, uint32_t clock) {
    if (p < 0 || p >= inst.pinCount()) return;
    Instance::Pin &pin = inst.pins_[static_cast<size_t>(p)];
    if (pin.info->isInput()) return;
    pin.status = status;
    const bool single = pin.info->dataType != QZ_DT_STREAM && pin.info->dataType != QZ_DT_MIDI;
    const uint32_t bits = single ? inst.readValue(p) : 0;
    if (p == inst.linkOut_ && inst.panel_ != nullptr && status != QZ_STATUS_STOPPED &&
        pendingLinks_.size() < pendingLinks_.capacity())
        pendingLinks_.emplace_back(&inst, bits);
    if (opening_) return; // reported to the inputs once, at the first block
    QzModuleEvent e{};
    e.timeStamp = clock;
    e.kind = QZ_EVENT_PIN_STATUS_CHANGE;
    e.intParam1 = status;
    for (const PinRef &t : pin.to) {
        e.ptrParam = t.pin;
        t.instance->queue(e, single, bits);
    }
}

void Graph::sendMidi(Instance &inst, int32_t p, int32_t message, uint32_t clock) {
    if (p < 0 || p >= inst.pinCount()) return;
    QzModuleEvent e{};
    e.timeStamp = clock;
    e.kind = QZ_EVENT_MIDI;
    e.intParam1 = message;
    for (const PinRef &t : inst.pins_[static_cast<size_t>(p)].to) {
        e.intParam2 = t.pin;
        t.instance->queue(e);
    }
}

QzResult QZ_CALL Graph::hostCallback(QzModuleRecord *record, int32_t opcode, int32_t index, int32_t value,
                                     void *ptr, float) {
    if (record == nullptr || record->hostData == nullptr) return 0;
    auto *inst = static_cast<Instance *>(record->hostData);
    return inst->graph_.answer(*inst, opcode, index, value, ptr);
}

QzResult Graph::answer(Instance &inst, int32_t opcode, int32_t index, int32_t value, void *ptr) {
    const bool validPin = index >= 0 && index < inst.pinCount();
    switch (opcode) {
    case QZ_HOST_SEND_PIN_STATUS: sendStatus(inst, index, value, clockOf(ptr)); return 0;
    case QZ_HOST_QUERY_PIN:
        if (!validPin) return 0;
        return (inst.pins_[static_cast<size_t>(index)].wired || !inst.pins_[static_cast<size_t>(index)].to.empty()) ? 1 : 0;
    case QZ_HOST_GET_SAMPLE_CLOCK: return static_cast<QzResult>(clock_);
    case QZ_HOST_SEND_MIDI: sendMidi(inst, index, value, clockOf(ptr)); return 0;
    case QZ_HOST_GET_PIN_BUFFER:
        if (!validPin) return 0;
        return reinterpret_cast<QzResult>(inst.pins_[static_cast<size_t>(index)].buffer);
    case QZ_HOST_GET_BUFFER_START_CLOCK: return static_cast<QzResult>(blockStart_);
    case QZ_HOST_SLEEP:
        inst.sleepAsked_ = true;
        ++inst.sleepRequests_;
        if (onSleep != nullptr) onSleep(inst, onSleepContext);
        return 0;
    case QZ_HOST_GET_PIN_COUNT: return inst.pinCount();
    case QZ_HOST_ADD_EVENT:
        if (ptr != nullptr) inst.queue(*static_cast<const QzModuleEvent *>(ptr));
        return 0;
    case QZ_HOST_SUB_PROCESS_CHANGED: ++inst.subProcessChanges_; return 0;
    default: return 0;
    }
}

QzResult QZ_CALL Graph::panelCallback(QzGuiRecord *record, int32_t opcode, int32_t index, int32_t value, void *ptr,
                                      float opt) {
    if (record == nullptr || record->hostData == nullptr) return 0;
    auto *inst = static_cast<Instance *>(record->hostData);
    return inst->graph_.answerPanel(*inst, opcode, index, value, ptr, opt);
}

QzResult Graph::answerPanel(Instance &inst, int32_t opcode, int32_t index, int32_t value, void *ptr, float opt) {
    const bool valid = index >= 0 && static_cast<size_t>(index) < inst.panelPins_.size();
    Instance::PanelPin *pin = valid ? &inst.panelPins_[static_cast<size_t>(index)] : nullptr;
    switch (opcode) {
    case QZ_GUIHOST_REDRAW: ++inst.redraws_; return 0;
    case QZ_GUIHOST_SET_PIN_TEXT:
        if (pin != nullptr) pin->text = ptr != nullptr ? static_cast<const char *>(ptr) : "";
        return 0;
    case QZ_GUIHOST_GET_PIN_TEXT: return pin != nullptr ? reinterpret_cast<QzResult>(pin->text.c_str()) : 0;
    case QZ_GUIHOST_GET_PIN_VALUE:
        if (pin != nullptr && ptr != nullptr) std::memcpy(ptr, &pin->bits, sizeof pin->bits);
        return 0;
    case QZ_GUIHOST_SET_PIN_VALUE: {
        if (pin == nullptr) return 0;
        const int32_t type = inst.library_->descriptions()[static_cast<size_t>(index)].dataType;
        pin->bits = type == QZ_DT_FLOAT ? floatBits(opt) : static_cast<uint32_t>(value);
        if (type == QZ_DT_BOOLEAN) pin->bits = pin->bits != 0 ? 1u : 0u;
        QzModuleEvent e{};
        e.timeStamp = opened_ ? blockStart_ : options_.startClock;
        e.kind = QZ_EVENT_PIN_STATUS_CHANGE;
        e.intParam1 = QZ_STATUS_CHANGED;
        for (const PinRef &t : pin->to) {
            e.ptrParam = t.pin;
            if (opened_) {
                t.instance->queue(e, true, pin->bits);
            } else {
                t.instance->writeValue(t.pin, pin->bits); // the first report announces it
            }
        }
        return 0;
    }
    case QZ_GUIHOST_GET_PIN_WIDE_TEXT: {
        if (pin == nullptr) return 0;
        pin->wide.assign(pin->text.begin(), pin->text.end());
        pin->wide.push_back(0);
        const auto needed = static_cast<QzResult>(pin->wide.size());
        if (ptr == nullptr) return needed;
        if (value <= 0) return 0;
        const size_t n = std::min(pin->wide.size(), static_cast<size_t>(value));
        std::memcpy(ptr, pin->wide.data(), n * sizeof(uint16_t));
        static_cast<uint16_t *>(ptr)[n - 1] = 0;
        return needed;
    }
    default: return 0;
    }
}

} // namespace qz::host
