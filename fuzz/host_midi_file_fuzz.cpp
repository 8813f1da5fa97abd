// host_midi_file_fuzz.cpp: any bytes through the development host's MIDI
// file reader. A bad file must end in a HostError naming it; a file it
// accepts must keep its promises (events in tick order, a tempo at tick 0,
// sample positions that never go backwards).
#include "midi_file.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
[[noreturn]] void finding(const char *what) {
    std::fprintf(stderr, "midi file: %s\n", what);
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string origin = "fuzz.mid";
    qz::host::MidiFile file;
    try {
        file = qz::host::MidiFile::parse(data, size, origin);
    } catch (const qz::host::HostError &e) {
        if (std::string(e.what()).rfind(origin + ": ", 0) != 0) finding("error without its origin");
        return 0;
    }
    if (file.tempos.empty() || file.tempos.front().tick != 0) finding("no tempo at tick 0");
    uint64_t previous = 0;
    int64_t previousSample = 0;
    for (const qz::host::MidiFileEvent &e : file.events) {
        if (e.tick < previous) finding("events out of tick order");
        if (e.tick > file.lastTick) finding("an event after the last tick");
        const int64_t sample = file.tickToSample(e.tick, 44100);
        if (sample < previousSample) finding("sample positions go backwards");
        previous = e.tick;
        previousSample = sample;
    }
    (void)file.tickToSample(file.lastTick, 192000);
    (void)file.tickToSeconds(file.lastTick);
    return 0;
}
