// voice_engine.h: polyphony as a modular host does it. One copy of the
// patch's voice per sounding note, up to a voice count; the oldest voice is
// stolen when all are busy; a voice is free again once its output module
// sleeps. Note messages go to their voice, the others to every voice; the
// sustain pedal (controller 64) holds released notes.
#pragma once

#include "patch.h"

#include <cstdint>
#include <vector>

namespace qz::host {

struct EngineOptions {
    float sampleRate = 44100.0f;
    int32_t blockSize = 1024;
    int32_t voices = 16;
};

// A short MIDI message at a sample offset within the block it is given with.
struct TimedMidi {
    int32_t offset = 0;
    uint8_t status = 0, data1 = 0, data2 = 0;
};

struct EngineStats {
    int32_t voicesUsed = 0;   // most voices busy at once
    int64_t notesPlayed = 0;
    int64_t notesStolen = 0;
    int64_t droppedEvents = 0; // events lost to a full instance queue
};

class VoiceEngine {
public:
    // Builds every voice now; throws HostError from the patch.
    VoiceEngine(const Patch &patch, PluginCatalog &catalog, EngineOptions options);

    // Renders one block of `blockSize` mono samples into `out`, with the
    // messages of this block (offsets in time order, 0 to blockSize - 1).
    // Allocates nothing.
    void renderBlock(const TimedMidi *events, size_t count, float *out);

    int32_t busyVoices() const;
    const EngineStats &stats() const;
    int32_t blockSize() const { return options_.blockSize; }
    float sampleRate() const { return options_.sampleRate; }
    // The pitch the voice's pitch input carries for a key: 0.1 per octave,
    // 0.5 at key 69 (440 Hz).
    static float keyPitch(int32_t key) { return 0.5f + static_cast<float>(key - 69) / 120.0f; }

private:
    struct Voice {
        VoiceGraph graph;
        bool busy = false;
        bool keyDown = false;   // the note's key is held
        bool sustained = false; // released while the pedal was down
        int32_t channel = 0, key = 0;
        uint64_t started = 0;
        bool deferred = false;  // a stolen voice starts its note one sample late
        TimedMidi deferredNote{};
    };
    void noteOn(int32_t offset, int32_t channel, int32_t key, int32_t velocity);
    void noteOff(int32_t offset, int32_t channel, int32_t key);
    void release(Voice &v, int32_t offset);
    void start(Voice &v, int32_t offset, int32_t channel, int32_t key, int32_t velocity);
    static int32_t pack(uint8_t status, uint8_t d1, uint8_t d2) {
        return static_cast<int32_t>(status | (static_cast<uint32_t>(d1) << 8) | (static_cast<uint32_t>(d2) << 16));
    }

    EngineOptions options_;
    std::vector<Voice> voices_;
    bool sustain_[16] = {};
    uint64_t sequence_ = 0;
    mutable EngineStats stats_;
};

} // namespace qz::host
