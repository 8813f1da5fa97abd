// fake_probe.h: what the probe plug-in used by the host tests records, read
// by the tests through the probe's extra export qzProbeLog.
#pragma once

#include <cstdint>
#include <vector>

namespace qz::probe {

enum Pins : int32_t {
    kSignalIn,  // Stream in (module variable)
    kMode,      // Enumeration "Pass,Sleep,Event"
    kFlagIn,    // Boolean in
    kMidiIn,
    kMidiOut,
    kSignalOut, // Stream out, buffer from GetPinBuffer
    kLink,      // "gui_com_pin", Float out
    kValFromDsp, // panel side, Float in
    kFlagOut,   // panel side, Boolean out
};
enum Mode : int16_t { kPass, kSleep, kEvent };

struct Call {
    int32_t offset, count;
    uint32_t clock;
};
struct Event {
    int32_t kind;
    uint32_t timeStamp, clock; // the event's stamp and the host's clock at delivery
    int32_t pin, status;
    float value;   // Stream: the sample at the clock; others: the variable
    int32_t message;
};
struct Log {
    std::vector<Call> calls;
    std::vector<Event> events;
    std::vector<float> panelValues; // "Val from DSP" as the panel read it
};

} // namespace qz::probe
