// The whole default voice (transposer, six envelopes, six frequency
// controllers, pitch envelope, LFO and the six-operator oscillator) run by
// the development host, with 1 and 16 notes held and struck again every 16
// blocks so that no voice goes to sleep for long.
//   ns_per_voice_sample: wall time per sample of one sounding voice
//   realtime: seconds of audio rendered per second of wall time
#include "qz_cli.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void voices(benchmark::State &state) {
    using namespace qz::host;
    const auto count = static_cast<int32_t>(state.range(0));
    constexpr int32_t kBlock = 1024;
    PluginCatalog catalog({QZ_PLUGIN_DIR});
    const Patch patch = Patch::parse(qz::cli::defaultPatchText(), "default");
    EngineOptions o;
    o.blockSize = kBlock;
    o.voices = count;
    VoiceEngine engine(patch, catalog, o);
    std::vector<TimedMidi> strike, none;
    for (int32_t k = 0; k < count; ++k) strike.push_back({0, 0x80, static_cast<uint8_t>(40 + 2 * k), 0});
    for (int32_t k = 0; k < count; ++k) strike.push_back({1, 0x90, static_cast<uint8_t>(40 + 2 * k), 100});
    std::vector<float> out(kBlock);
    int64_t blocks = 0;
    for (auto _ : state) {
        const auto &events = blocks % 16 == 0 ? strike : none;
        engine.renderBlock(events.data(), events.size(), out.data());
        benchmark::DoNotOptimize(out.data());
        ++blocks;
    }
    const double samples = static_cast<double>(blocks) * kBlock;
    state.counters["ns_per_voice_sample"] =
        benchmark::Counter(samples * count * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime"] = benchmark::Counter(samples / 44100.0, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(voices)->Arg(1)->Arg(16)->Unit(benchmark::kMicrosecond);
