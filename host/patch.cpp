#include "patch.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <sstream>

namespace qz::host {

using Json = nlohmann::ordered_json;

namespace {

std::string quoted(const std::string &key) {
    const bool plain = !key.empty() && key.find_first_of(" .\"") == std::string::npos;
    return plain ? key : "\"" + key + "\"";
}

std::string describe(const Json &v) { return v.dump(); }

Patch::Endpoint endpoint(const Json &v, const std::string &place) {
    if (!v.is_string()) throw HostError(place + ": expected \"module.Pin label\", got " + describe(v));
    const std::string s = v.get<std::string>();
    const auto dot = s.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == s.size())
        throw HostError(place + ": \"" + s + "\" is not of the form \"module.Pin label\"");
    return {s.substr(0, dot), s.substr(dot + 1), place};
}

std::vector<Patch::Endpoint> endpoints(const Json &v, const std::string &place) {
    std::vector<Patch::Endpoint> list;
    if (v.is_string()) {
        list.push_back(endpoint(v, place));
    } else if (v.is_array()) {
        for (size_t i = 0; i < v.size(); ++i) list.push_back(endpoint(v[i], place + "[" + std::to_string(i) + "]"));
    } else {
        throw HostError(place + ": expected a pin or a list of pins, got " + describe(v));
    }
    return list;
}

std::string pinList(const Instance &inst) {
    std::string all;
    for (int32_t p = 0; p < inst.pinCount(); ++p) all += (all.empty() ? "" : ", ") + quoted(inst.pinInfo(p).label);
    return all;
}

std::string rangeText(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

} // namespace

double settingValue(const PinInfo &pin, const std::string &valueJson, const std::string &place) {
    const Json v = Json::parse(valueJson);
    const auto number = [&]() {
        if (!v.is_number()) throw HostError(place + ": expected a number, got " + describe(v));
        const double d = v.get<double>();
        if (!std::isfinite(d)) throw HostError(place + ": " + describe(v) + " is not a finite number");
        return d;
    };
    switch (pin.dataType) {
    case QZ_DT_STREAM: {
        const double d = number();
        if (pin.hasControl) {
            if (d < pin.controlMin || d > pin.controlMax)
                throw HostError(place + ": " + describe(v) + " is outside the control range " +
                                rangeText(pin.controlMin) + " to " + rangeText(pin.controlMax));
            return d / 10.0;
        }
        if (std::fabs(d) > 1.0e6) throw HostError(place + ": " + describe(v) + " is too large for a signal");
        return d;
    }
    case QZ_DT_ENUMERATION: {
        if (pin.isRange) {
            const double d = number();
            if (d != std::floor(d) || d < pin.rangeMin || d > pin.rangeMax)
                throw HostError(place + ": " + describe(v) + " is not a whole number from " +
                                std::to_string(pin.rangeMin) + " to " + std::to_string(pin.rangeMax));
            return d;
        }
        const auto &labels = pin.labels;
        std::string all;
        for (const auto &l : labels) all += (all.empty() ? "" : ", ") + trimmed(l);
        if (v.is_string()) {
            const std::string want = v.get<std::string>();
            for (size_t i = 0; i < labels.size(); ++i)
                if (labels[i] == want || trimmed(labels[i]) == trimmed(want)) return static_cast<double>(i);
            throw HostError(place + ": unknown label \"" + want + "\" (choose one of " + all + ")");
        }
        const double d = number();
        // A number names the label of that value where the labels are numbers
        // ("Detune": -3 is the label "-3"); otherwise it is the position.
        for (size_t i = 0; i < labels.size(); ++i)
            if (const auto n = numericLabel(labels[i]); n && *n == d) return static_cast<double>(i);
        if (d == std::floor(d) && d >= 0 && d < static_cast<double>(labels.size())) {
            bool numeric = !labels.empty();
            for (const auto &l : labels) numeric = numeric && numericLabel(l).has_value();
            if (!numeric) return d;
        }
        throw HostError(place + ": " + describe(v) + " is not one of " + all);
    }
    case QZ_DT_BOOLEAN:
        if (v.is_boolean()) return v.get<bool>() ? 1.0 : 0.0;
        if (v.is_number() && (v.get<double>() == 0.0 || v.get<double>() == 1.0)) return v.get<double>();
        throw HostError(place + ": expected true or false, got " + describe(v));
    case QZ_DT_FLOAT: {
        const double d = number();
        if (std::fabs(d) > 3.4e38) throw HostError(place + ": " + describe(v) + " does not fit a float");
        return d;
    }
    case QZ_DT_INTEGER: {
        const double d = number();
        if (d != std::floor(d) || std::fabs(d) > 2147483647.0)
            throw HostError(place + ": " + describe(v) + " is not a 32-bit whole number");
        return d;
    }
    default: throw HostError(place + ": a " + dataTypeName(pin.dataType) + " pin takes no setting");
    }
}

Patch Patch::parse(const std::string &text, const std::string &origin) {
    Patch patch;
    patch.origin_ = origin;
    const std::string at = origin + ": ";
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::exception &e) {
        // Syntax errors and numbers beyond a double's range alike.
        throw HostError(at + "not valid JSON: " + e.what());
    }
    try {
        if (!root.is_object()) throw HostError("the patch must be a JSON object");
        for (const auto &[key, value] : root.items()) {
            if (key != "name" && key != "description" && key != "modules" && key != "wires" && key != "inputs" &&
                key != "output" && key != "gain")
                throw HostError(quoted(key) + ": unknown key (expected name, description, modules, wires, inputs, "
                                              "output, gain)");
        }
        if (root.contains("name")) {
            if (!root["name"].is_string()) throw HostError("name: expected a text");
            patch.name_ = root["name"].get<std::string>();
        }
        if (root.contains("gain")) {
            if (!root["gain"].is_number() || !std::isfinite(root["gain"].get<double>()) ||
                std::fabs(root["gain"].get<double>()) > 120.0)
                throw HostError("gain: expected a number of decibels from -120 to 120");
            patch.gainDb_ = root["gain"].get<double>();
        }
        if (!root.contains("modules") || !root["modules"].is_object() || root["modules"].empty())
            throw HostError("modules: expected an object of named modules");
        for (const auto &[name, spec] : root["modules"].items()) {
            const std::string place = "modules." + quoted(name);
            if (name.find('.') != std::string::npos) throw HostError(place + ": a module name may not hold a dot");
            if (!spec.is_object()) throw HostError(place + ": expected an object with \"plugin\"");
            Module m;
            m.name = name;
            for (const auto &[key, value] : spec.items()) {
                if (key == "plugin") {
                    if (!value.is_string()) throw HostError(place + ".plugin: expected a uniqueId text");
                    m.plugin = value.get<std::string>();
                } else if (key == "settings") {
                    if (!value.is_object()) throw HostError(place + ".settings: expected an object of pin labels");
                    for (const auto &[label, v] : value.items()) m.settings.push_back({label, v.dump()});
                } else {
                    throw HostError(place + "." + quoted(key) + ": unknown key (expected plugin, settings)");
                }
            }
            if (m.plugin.empty()) throw HostError(place + ": \"plugin\" is missing");
            patch.modules_.push_back(std::move(m));
        }
        if (root.contains("wires")) {
            const Json &wires = root["wires"];
            if (!wires.is_array()) throw HostError("wires: expected a list of [from, to] pairs");
            for (size_t i = 0; i < wires.size(); ++i) {
                const std::string place = "wires[" + std::to_string(i) + "]";
                const Json &w = wires[i];
                if (!w.is_array() || w.size() != 2) throw HostError(place + ": expected [\"module.Out pin\", \"module.In pin\"]");
                patch.wires_.push_back({endpoint(w[0], place), endpoint(w[1], place)});
            }
        }
        if (root.contains("inputs")) {
            const Json &in = root["inputs"];
            if (!in.is_object()) throw HostError("inputs: expected an object with midi, gate, velocity, pitch");
            for (const auto &[key, value] : in.items()) {
                const std::string place = "inputs." + quoted(key);
                if (key == "midi") patch.midiIn_ = endpoints(value, place);
                else if (key == "gate") patch.gateIn_ = endpoints(value, place);
                else if (key == "velocity") patch.velocityIn_ = endpoints(value, place);
                else if (key == "pitch") patch.pitchIn_ = endpoints(value, place);
                else throw HostError(place + ": unknown input (expected midi, gate, velocity, pitch)");
            }
        }
        if (!root.contains("output")) throw HostError("output: missing (the \"module.Pin\" whose signal is heard)");
        patch.output_ = endpoint(root["output"], "output");
    } catch (const HostError &e) {
        throw HostError(at + e.what());
    }
    return patch;
}

Patch Patch::loadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw HostError("cannot read patch " + path);
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw HostError("cannot read patch " + path);
    return parse(text.str(), path);
}

VoiceGraph Patch::build(PluginCatalog &catalog, const GraphOptions &options) const {
    const std::string at = origin_ + ": ";
    VoiceGraph voice;
    try {
        voice.graph = std::make_unique<Graph>(options);
        Graph &g = *voice.graph;
        for (const Module &m : modules_) {
            const std::string place = "modules." + quoted(m.name);
            std::shared_ptr<PluginLibrary> lib;
            try {
                lib = catalog.find(m.plugin);
            } catch (const HostError &e) {
                throw HostError(place + ".plugin: " + e.what());
            }
            Instance &inst = g.add(m.name, lib);
            for (const Setting &s : m.settings) {
                const std::string sp = place + ".settings." + quoted(s.label);
                const int32_t pin = inst.findPin(s.label);
                if (pin < 0)
                    throw HostError(sp + ": " + m.plugin + " has no pin \"" + s.label + "\" (its pins: " + pinList(inst) + ")");
                if (!inst.pinInfo(pin).isInput()) throw HostError(sp + ": \"" + s.label + "\" is an output");
                g.setInput(inst, pin, settingValue(inst.pinInfo(pin), s.valueJson, sp));
            }
        }
        const auto resolve = [&](const Endpoint &e, bool allowPanel, bool &panel) -> std::pair<Instance *, int32_t> {
            Instance *inst = g.find(e.module);
            if (inst == nullptr) throw HostError(e.place + ": no module named " + e.module);
            int32_t pin = inst->findPin(e.pin);
            panel = false;
            if (pin < 0 && allowPanel) {
                pin = inst->findPanelPin(e.pin);
                panel = pin >= 0;
            }
            if (pin < 0)
                throw HostError(e.place + ": " + inst->library().uniqueId() + " has no pin \"" + e.pin + "\" (its pins: " +
                                pinList(*inst) + ")");
            return {inst, pin};
        };
        for (const Wire &w : wires_) {
            bool panel = false, unused = false;
            const auto [fromInst, fromPin] = resolve(w.from, true, panel);
            const auto [toInst, toPin] = resolve(w.to, false, unused);
            try {
                if (panel) g.connectPanel(*fromInst, fromPin, *toInst, toPin);
                else g.connect(*fromInst, fromPin, *toInst, toPin);
            } catch (const HostError &e) {
                throw HostError(w.from.place + ": " + e.what());
            }
        }
        const auto wireSource = [&](Source *&source, const std::vector<Endpoint> &list, const char *name, bool midi) {
            source = &g.addSource(name, midi);
            for (const Endpoint &e : list) {
                bool unused = false;
                const auto [inst, pin] = resolve(e, false, unused);
                try {
                    g.connectSource(*source, *inst, pin);
                } catch (const HostError &err) {
                    throw HostError(e.place + ": " + err.what());
                }
            }
        };
        wireSource(voice.midi, midiIn_, "midi", true);
        wireSource(voice.gate, gateIn_, "gate", false);
        wireSource(voice.velocity, velocityIn_, "velocity", false);
        wireSource(voice.pitch, pitchIn_, "pitch", false);
        bool unused = false;
        const auto [outInst, outPin] = resolve(output_, false, unused);
        const PinInfo &outInfo = outInst->pinInfo(outPin);
        if (outInfo.isInput() || outInfo.dataType != QZ_DT_STREAM)
            throw HostError("output: " + output_.module + "." + output_.pin + " is a " + dataTypeName(outInfo.dataType) +
                            (outInfo.isInput() ? " input" : " output") + ", not a stream output");
        voice.output = outInst;
        voice.outputPin = outPin;
        g.open();
    } catch (const HostError &e) {
        throw HostError(at + e.what());
    }
    return voice;
}

} // namespace qz::host
