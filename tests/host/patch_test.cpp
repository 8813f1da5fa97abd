// Patches: settings in control units, enumerations by label or number, and
// every kind of bad patch refused with a message naming its place.
#ifdef QZ_NO_HOST
#include <gtest/gtest.h>
TEST(Patch, NeedsTheHostLibrary) { GTEST_SKIP() << "built without the development host"; }
#else
#include "patch.h"
#include "probe_support.h"

#include <gtest/gtest.h>

using namespace qz::host;

namespace {

PinInfo pin(int32_t type, const char *extra) {
    QzPinDescription d{};
    d.name = "P";
    d.dataType = type;
    d.datatypeExtra = extra;
    return makePinInfo(0, d);
}

TEST(Patch, SettingsBecomeThePinsValues) {
    struct Case {
        const char *name;
        int32_t type;
        const char *extra;
        const char *json;
        double value;
    };
    const Case cases[] = {
        {"control top", QZ_DT_STREAM, "99,0,99,0", "99", 9.9},
        {"control middle", QZ_DT_STREAM, "99,0,99,0", "50", 5.0},
        {"feedback control", QZ_DT_STREAM, "7,0,7,0", "7", 0.7},
        {"plain signal", QZ_DT_STREAM, nullptr, "0.5", 0.5},
        {"range", QZ_DT_ENUMERATION, "range -24,24", "-12", -12},
        {"label", QZ_DT_ENUMERATION, "Sine,Ramp,Saw", "\"Saw\"", 2},
        {"label with blanks", QZ_DT_ENUMERATION, " Ratio, Fixed", "\"Fixed\"", 1},
        {"numeric label", QZ_DT_ENUMERATION, "-7,-6,-5,-4,-3,-2,-1,0,+1,+2,+3", "-3", 4},
        {"numeric label with sign", QZ_DT_ENUMERATION, "-7,-6,-5,-4,-3,-2,-1,0,+1,+2,+3", "3", 10},
        {"position", QZ_DT_ENUMERATION, "x0.5,x1,x2", "2", 2},
        {"boolean", QZ_DT_BOOLEAN, nullptr, "true", 1},
        {"integer", QZ_DT_INTEGER, nullptr, "-5", -5},
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(settingValue(pin(c.type, c.extra), c.json, "here"), c.value) << c.name;
}

TEST(Patch, RefusesSettingsOutsideThePin) {
    struct Case {
        const char *name;
        int32_t type;
        const char *extra;
        const char *json;
        const char *message;
    };
    const Case cases[] = {
        {"above the control", QZ_DT_STREAM, "99,0,99,0", "100", "100 is outside the control range 0 to 99"},
        {"text on a signal", QZ_DT_STREAM, nullptr, "\"loud\"", "expected a number"},
        {"huge signal", QZ_DT_STREAM, nullptr, "1e300", "too large"},
        {"outside the range", QZ_DT_ENUMERATION, "range 1,32", "33", "not a whole number from 1 to 32"},
        {"fraction in a range", QZ_DT_ENUMERATION, "range 1,32", "1.5", "not a whole number"},
        {"unknown label", QZ_DT_ENUMERATION, "Sine,Ramp", "\"Noise\"", "unknown label \"Noise\" (choose one of Sine, Ramp)"},
        {"position past the list", QZ_DT_ENUMERATION, "Sine,Ramp", "2", "2 is not one of Sine, Ramp"},
        {"no such numeric label", QZ_DT_ENUMERATION, "0,1,2,3", "9", "9 is not one of"},
        {"boolean 2", QZ_DT_BOOLEAN, nullptr, "2", "expected true or false"},
        {"midi", QZ_DT_MIDI, nullptr, "1", "takes no setting"},
    };
    for (const Case &c : cases) {
        try {
            settingValue(pin(c.type, c.extra), c.json, "modules.a.settings.P");
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const HostError &e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("modules.a.settings.P: ", 0), 0u) << c.name << ": " << what;
            EXPECT_NE(what.find(c.message), std::string::npos) << c.name << ": " << what;
        }
    }
}

// A voice of two probes; `edit` replaces one part of the text.
std::string probePatch(const std::string &from = {}, const std::string &to = {}) {
    std::string text = R"({
  "name": "probes",
  "modules": {
    "a": {"plugin": "QZ_FakeProbe", "settings": {"Signal In": 20, "Mode": "Pass"}},
    "b": {"plugin": "QZ_FakeProbe"}
  },
  "wires": [["a.Signal Out", "b.Signal In"], ["a.MIDI Out", "b.MIDI In"]],
  "inputs": {"midi": "a.MIDI In", "gate": [], "velocity": []},
  "output": "b.Signal Out"
})";
    if (!from.empty()) {
        const auto at = text.find(from);
        if (at == std::string::npos) throw std::logic_error("no " + from + " in the patch");
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST(Patch, BuildsAVoiceWithItsSettings) {
    PluginCatalog catalog({QZ_FAKE_DIR});
    const Patch ok = Patch::parse(probePatch(), "probes.json");
    VoiceGraph v = ok.build(catalog, {44100.0f, 64, 0});
    ASSERT_NE(v.output, nullptr);
    EXPECT_EQ(v.output->name(), "b");
    v.graph->beginBlock();
    v.graph->processBlock();
    EXPECT_FLOAT_EQ(v.outputBuffer()[0], 4.0f) << "a holds 20 / 10 = 2.0, a adds one, b adds one";
}

TEST(Patch, RefusesBadPatchesNamingThePlace) {
    struct Case {
        const char *name;
        std::string text;
        const char *message;
    };
    const Case cases[] = {
        {"not JSON", probePatch("\"name\": \"probes\",", "\"name\": \"probes\""), "probes.json: not valid JSON"},
        {"unknown key", probePatch("\"name\"", "\"nmae\""), "probes.json: nmae: unknown key"},
        {"no output", probePatch(",\n  \"output\": \"b.Signal Out\"", ""), "output: missing"},
        {"unknown plug-in", probePatch("\"plugin\": \"QZ_FakeProbe\"}", "\"plugin\": \"QZ_Nothing\"}"),
         "modules.b.plugin: unknown plug-in QZ_Nothing (looked in"},
        {"unknown pin", probePatch("\"Mode\": \"Pass\"", "\"Volume\": 3"),
         "modules.a.settings.Volume: QZ_FakeProbe has no pin \"Volume\" (its pins: \"Signal In\", Mode"},
        {"unknown label", probePatch("\"Mode\": \"Pass\"", "\"Mode\": \"Loud\""),
         "modules.a.settings.Mode: unknown label \"Loud\" (choose one of Pass, Sleep, Event)"},
        {"setting on an output", probePatch("\"Mode\": \"Pass\"", "\"Signal Out\": 1"),
         "modules.a.settings.\"Signal Out\": \"Signal Out\" is an output"},
        {"control out of range", probePatch("\"Signal In\": 20", "\"Signal In\": 120"),
         "modules.a.settings.\"Signal In\": 120 is outside the control range 0 to 99"},
        {"incompatible wire", probePatch("[\"a.MIDI Out\", \"b.MIDI In\"]", "[\"a.MIDI Out\", \"b.Signal In\"]"),
         "wires[1]: cannot wire a.MIDI Out to b.Signal In: a midi output does not fit a stream input"},
        {"wire to a missing module", probePatch("\"b.MIDI In\"", "\"c.MIDI In\""), "wires[1]: no module named c"},
        {"wire without a dot", probePatch("\"b.MIDI In\"", "\"bMIDI In\""), "wires[1]: \"bMIDI In\" is not of the form"},
        {"voice input of the wrong type", probePatch("\"gate\": []", "\"gate\": [\"b.Mode\"]"),
         "inputs.gate[0]: cannot wire the voice's gate to b.Mode: it needs a stream input, not an enum input"},
        {"output is an input", probePatch("\"output\": \"b.Signal Out\"", "\"output\": \"b.Signal In\""),
         "output: b.Signal In is a stream input, not a stream output"},
        {"module is a list", probePatch("\"b\": {\"plugin\": \"QZ_FakeProbe\"}", "\"b\": []"),
         "modules.b: expected an object"},
    };
    PluginCatalog catalog({QZ_FAKE_DIR});
    for (const Case &c : cases) {
        try {
            Patch::parse(c.text, "probes.json").build(catalog, {});
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const HostError &e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("probes.json: ", 0), 0u) << c.name << ": " << what;
            EXPECT_NE(what.find(c.message), std::string::npos) << c.name << ": " << what;
        }
    }
    EXPECT_THROW(Patch::loadFile("/nonexistent/patch.json"), HostError);
}

} // namespace
#endif
