// patch.h: a voice described in JSON (modules by uniqueId, their settings by
// pin label in control units, wires, the voice's inputs and its output), and
// the graph of one voice built from it. The format is in host/README.md.
#pragma once

#include "graph.h"
#include "host_error.h"
#include "plugin_library.h"

#include <memory>
#include <string>
#include <vector>

namespace qz::host {

// One voice of a patch, ready to run.
struct VoiceGraph {
    std::unique_ptr<Graph> graph;
    Source *midi = nullptr;
    Source *gate = nullptr;
    Source *velocity = nullptr;
    Source *pitch = nullptr;
    Instance *output = nullptr;
    int32_t outputPin = 0;
    const float *outputBuffer() const { return output->buffer(outputPin); }
};

class Patch {
public:
    // Parses the JSON text and checks its shape; `origin` names the text in
    // error messages (a file name). Throws HostError "origin: place: problem".
    static Patch parse(const std::string &text, const std::string &origin);
    static Patch loadFile(const std::string &path);

    // Looks every plug-in, pin, label and wire up and builds one voice;
    // throws HostError naming the patch key of the first problem.
    VoiceGraph build(PluginCatalog &catalog, const GraphOptions &options) const;

    const std::string &name() const { return name_; }
    double gainDb() const { return gainDb_; }
    const std::string &origin() const { return origin_; }

    struct Setting {
        std::string label;
        std::string valueJson; // the JSON text of the value
    };
    struct Module {
        std::string name, plugin;
        std::vector<Setting> settings;
    };
    struct Endpoint {
        std::string module, pin, place; // place: the patch key, for messages
    };
    struct Wire {
        Endpoint from, to;
    };
    const std::vector<Module> &modules() const { return modules_; }

private:
    std::string origin_, name_;
    double gainDb_ = 0.0;
    std::vector<Module> modules_;
    std::vector<Wire> wires_;
    std::vector<Endpoint> midiIn_, gateIn_, velocityIn_, pitchIn_;
    Endpoint output_;
};

// The value a setting puts on a pin, in the units the pin holds: a Stream
// control's value / 10, an enumeration's choice value, 0/1, a number.
// `valueJson` is one JSON value; throws HostError "place: problem".
double settingValue(const PinInfo &pin, const std::string &valueJson, const std::string &place);

} // namespace qz::host
