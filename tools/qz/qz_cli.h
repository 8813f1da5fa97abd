// qz_cli.h: the two commands of qz, callable from tests.
#pragma once

#include "midi_file.h"
#include "voice_engine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qz::cli {

enum ExitCode { kOk = 0, kBadInput = 2 };

struct RenderOptions {
    std::string patch;   // empty: the built-in default voice
    std::string midi;    // empty: the built-in phrase
    std::string output;  // "-" is standard output
    std::string plugins; // plug-in folder; empty: QZ_PLUGIN_PATH or build/plugins
    double rate = 44100.0;
    int32_t block = 1024;
    int32_t voices = 16;
    double tailSeconds = 2.0;
    double gainDb = 0.0;
    std::string format = "s16"; // float, s16, s24
    bool quiet = false;
    bool verbose = false;
};

// A message at a sample time.
struct Timed {
    int64_t sample = 0;
    uint8_t status = 0, data1 = 0, data2 = 0;
};

const char *defaultPatchText();
// The built-in phrase of a few seconds, at `rate`.
std::vector<Timed> builtInPhrase(double rate);
// The file's channel messages at their sample times.
std::vector<Timed> fileEvents(const host::MidiFile &file, uint32_t rate);

struct RenderResult {
    std::vector<float> samples; // mono, gain applied
    double peak = 0.0;
    host::EngineStats stats;
    double seconds = 0.0;
};
// Renders the events through the engine; the length is the last event plus
// the tail. Nothing in the block loop allocates.
RenderResult renderEvents(host::VoiceEngine &engine, const std::vector<Timed> &events, double tailSeconds,
                          double gainDb, bool progress);

// `qz render`; messages to stderr; returns the exit code.
int render(const RenderOptions &options);
// `qz info`; the tables to stdout.
int info(const std::vector<std::string> &plugins, const std::string &pluginDir);

// The whole command line; returns the exit code.
int run(int argc, char **argv);

} // namespace qz::cli
