// midi_file.h: a standard MIDI file reader (format 0 and 1) that checks every
// length and count against the bytes that are there, and turns the tempo
// map into sample positions exactly.
#pragma once

#include "host_error.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qz::host {

// A channel message of the file, at its absolute tick.
struct MidiFileEvent {
    uint64_t tick = 0;
    int32_t track = 0;
    uint8_t status = 0, data1 = 0, data2 = 0;
};

struct TempoChange {
    uint64_t tick = 0;
    uint32_t microsPerQuarter = 500000;
};

class MidiFile {
public:
    // Throws HostError "origin: corrupt MIDI file: track N at byte B: ...".
    static MidiFile parse(const uint8_t *data, size_t size, const std::string &origin);
    static MidiFile loadFile(const std::string &path);

    int32_t format = 0;
    int32_t trackCount = 0;
    int32_t division = 0; // the header's raw 16-bit division word
    // Channel messages sorted by tick, then track, then file order.
    std::vector<MidiFileEvent> events;
    // Tempo changes by tick, the first at tick 0 (120 quarters a minute when
    // the file sets none).
    std::vector<TempoChange> tempos;
    uint64_t lastTick = 0; // the latest tick of any event, end of track included

    // The sample at which a tick falls, floor(seconds × rate), computed in
    // whole numbers so that no rounding builds up over a long file.
    int64_t tickToSample(uint64_t tick, uint32_t sampleRate) const;
    double tickToSeconds(uint64_t tick) const;
};

} // namespace qz::host
