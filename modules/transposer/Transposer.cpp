// QZ_Transposer_v1: shifts the key of note messages by up to two octaves.
#include "about.h"
#include "module_base.h"
#include "plugin_entry.h"

#include <array>
#include <cstdint>

namespace {

// ---- pins --------------------------------------------------------------

enum Pins : int32_t { kMidiIn, kTranspose, kMidiOut, kPinCount };

struct PinSpec {
    const char *label;
    int32_t direction;
    int32_t dataType;
    const char *defaultText;
    const char *rangeText;
};

constexpr std::array<PinSpec, kPinCount> kPins{{
    {"MIDI In", QZ_DIR_IN, QZ_DT_MIDI, nullptr, nullptr},
    {"Transpose", QZ_DIR_IN, QZ_DT_ENUMERATION, "0", "range -24,24"},
    {"MIDI Out", QZ_DIR_OUT, QZ_DT_MIDI, nullptr, nullptr},
}};

constexpr qz::ModuleIdentity kIdentity{
    "QZ_Transposer", "QZ_Transposer_v1",
    "by Tobin R\n\nModified to match Veltro by Orwin Malvane.\n\nTranspose +- 2 octaves.", false};

// ---- the module ------------------------------------------------------------

class TransposerModule : public qz::ModuleBase {
public:
    using ModuleBase::ModuleBase;

    bool getPinProperties(int32_t index, QzPinDescription &d) override {
        if (index < 0 || index >= kPinCount) return false;
        const PinSpec &spec = kPins[static_cast<size_t>(index)];
        d.name = spec.label;
        d.direction = spec.direction;
        d.dataType = spec.dataType;
        if (index == kTranspose) {
            d.variable = &transpose_;
            d.defaultValue = spec.defaultText;
            d.datatypeExtra = spec.rangeText;
        }
        return true;
    }

    void open() override {
        ModuleBase::open();
        // All the work happens as MIDI arrives; the host may stop calling.
        setSubProcess(subProcessOf<&TransposerModule::process>());
    }

    void onMidiData(uint32_t clock, int32_t message, int16_t) override {
        const auto word = static_cast<uint32_t>(message);
        const uint32_t status = word & 0xFFu;
        const uint32_t type = status >> 4;
        uint32_t out = word;
        if (type == 0x8u || type == 0x9u) {
            int32_t key = static_cast<int32_t>((word >> 8) & 0xFFu) + transpose_;
            if (key > 127) key = 127;
            if (key < 0) key = 0;
            out = status + static_cast<uint32_t>(key) * 256u + ((word >> 16) & 0xFFu) * 65536u;
        }
        if (const qz::Pin *pin = getPin(kMidiOut)) pin->sendMidi(clock, static_cast<int32_t>(out));
    }

private:
    void process(int32_t, int32_t) { sleep(); }

    int16_t transpose_ = 0; // semitones, written by the host
};

} // namespace

QZ_DEFINE_MODULE(TransposerModule, kIdentity)
