#include "voice_engine.h"

#include <algorithm>

namespace qz::host {

VoiceEngine::VoiceEngine(const Patch &patch, PluginCatalog &catalog, EngineOptions options) : options_(options) {
    if (options_.voices < 1 || options_.voices > 256)
        throw HostError("voice count " + std::to_string(options_.voices) + " is outside 1 to 256");
    GraphOptions g;
    g.sampleRate = options_.sampleRate;
    g.blockSize = options_.blockSize;
    voices_.resize(static_cast<size_t>(options_.voices));
    for (Voice &v : voices_) v.graph = patch.build(catalog, g);
}

int32_t VoiceEngine::busyVoices() const {
    return static_cast<int32_t>(std::count_if(voices_.begin(), voices_.end(), [](const Voice &v) { return v.busy; }));
}

const EngineStats &VoiceEngine::stats() const {
    int64_t dropped = 0;
    for (const Voice &v : voices_)
        for (const auto &inst : v.graph.graph->instances()) dropped += inst->droppedEvents();
    stats_.droppedEvents = dropped;
    return stats_;
}

void VoiceEngine::start(Voice &v, int32_t offset, int32_t channel, int32_t key, int32_t velocity) {
    v.busy = true;
    v.keyDown = true;
    v.sustained = false;
    v.channel = channel;
    v.key = key;
    v.started = ++sequence_;
    // The key first (envelopes learn it from MIDI), then pitch and velocity,
    // then the gate that starts the note.
    v.graph.midi->sendMidi(offset, pack(static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key),
                                        static_cast<uint8_t>(velocity)));
    v.graph.pitch->set(offset, keyPitch(key));
    v.graph.velocity->set(offset, static_cast<float>(velocity) / 127.0f);
    v.graph.gate->set(offset, 1.0f);
    ++stats_.notesPlayed;
    stats_.voicesUsed = std::max(stats_.voicesUsed, busyVoices());
}

void VoiceEngine::release(Voice &v, int32_t offset) {
    v.keyDown = false;
    v.sustained = false;
    v.graph.midi->sendMidi(offset, pack(static_cast<uint8_t>(0x80 | v.channel), static_cast<uint8_t>(v.key), 0));
    v.graph.gate->set(offset, 0.0f);
}

void VoiceEngine::noteOn(int32_t offset, int32_t channel, int32_t key, int32_t velocity) {
    Voice *pick = nullptr;
    for (Voice &v : voices_)
        if (!v.busy) {
            pick = &v;
            break;
        }
    if (pick != nullptr) {
        start(*pick, offset, channel, key, velocity);
        return;
    }
    for (Voice &v : voices_)
        if (pick == nullptr || v.started < pick->started) pick = &v;
    ++stats_.notesStolen;
    // The old note ends here and the new one starts a sample later, so that
    // the envelopes see the gate fall and rise again.
    if (pick->keyDown || pick->sustained) release(*pick, offset);
    if (offset + 1 < options_.blockSize) {
        start(*pick, offset + 1, channel, key, velocity);
    } else {
        pick->busy = true;
        pick->deferred = true;
        pick->started = ++sequence_;
        pick->channel = channel;
        pick->key = key;
        pick->keyDown = false;
        pick->deferredNote = {0, static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key),
                              static_cast<uint8_t>(velocity)};
    }
}

void VoiceEngine::noteOff(int32_t offset, int32_t channel, int32_t key) {
    Voice *pick = nullptr;
    for (Voice &v : voices_)
        if (v.busy && v.keyDown && v.channel == channel && v.key == key && (pick == nullptr || v.started < pick->started))
            pick = &v;
    if (pick == nullptr) {
        // A note still waiting for its stolen voice ends before it sounds.
        for (Voice &v : voices_)
            if (v.deferred && v.channel == channel && v.key == key) {
                v.deferred = false;
                v.busy = false;
                return;
            }
        return;
    }
    if (sustain_[channel]) {
        pick->keyDown = false;
        pick->sustained = true;
    } else {
        release(*pick, offset);
    }
}

void VoiceEngine::renderBlock(const TimedMidi *events, size_t count, float *out) {
    const int32_t size = options_.blockSize;
    for (Voice &v : voices_) v.graph.graph->beginBlock();
    for (Voice &v : voices_) {
        if (!v.deferred) continue;
        v.deferred = false;
        start(v, 0, v.deferredNote.status & 0x0F, v.deferredNote.data1, v.deferredNote.data2);
        --stats_.notesPlayed; // counted when it was asked for
    }
    for (size_t i = 0; i < count && events != nullptr; ++i) {
        const TimedMidi &m = events[i];
        const int32_t offset = std::clamp(m.offset, 0, size - 1);
        const int32_t type = m.status & 0xF0;
        const int32_t channel = m.status & 0x0F;
        if (type == 0x90 && m.data2 > 0) {
            noteOn(offset, channel, m.data1 & 0x7F, m.data2 & 0x7F);
        } else if (type == 0x80 || type == 0x90) {
            noteOff(offset, channel, m.data1 & 0x7F);
        } else if (type == 0xA0) {
            for (Voice &v : voices_)
                if (v.busy && v.channel == channel && v.key == m.data1)
                    v.graph.midi->sendMidi(offset, pack(m.status, m.data1, m.data2));
        } else if (type >= 0xB0 && type <= 0xE0) {
            for (Voice &v : voices_) v.graph.midi->sendMidi(offset, pack(m.status, m.data1, m.data2));
            if (type == 0xB0 && m.data1 == 64) {
                const bool down = m.data2 >= 64;
                sustain_[channel] = down;
                if (!down)
                    for (Voice &v : voices_)
                        if (v.busy && v.sustained && v.channel == channel) release(v, offset);
            } else if (type == 0xB0 && (m.data1 == 120 || m.data1 == 123)) {
                for (Voice &v : voices_)
                    if (v.busy && v.channel == channel && (v.keyDown || v.sustained)) release(v, offset);
            }
        }
    }
    std::fill(out, out + size, 0.0f);
    for (Voice &v : voices_) {
        v.graph.graph->processBlock();
        if (!v.busy) continue;
        const float *buf = v.graph.outputBuffer();
        for (int32_t i = 0; i < size; ++i) out[i] += buf[i];
        // Its output module asleep: the voice has nothing more to say.
        if (v.graph.output->sleeping() && !v.deferred) v.busy = false;
    }
}

} // namespace qz::host
