// QZ_FreqController_v1's per-sample loop, through the built library.
#include "test_host.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using qz::test::Plugin;
using qz::test::TestHost;

enum : int32_t { kPitchIn = 0, kRatioFixed = 1, kCourseRatio = 2, kFine = 4, kDetune = 5, kPModIn = 6, kPmSensitivity = 7 };

const Plugin &plugin() {
    static Plugin p("QZ_FreqController_v1");
    return p;
}

void run(benchmark::State &state, int16_t mode) {
    const auto block = static_cast<int32_t>(state.range(0));
    TestHost host(plugin(), 44100.0f, block);
    host.open();
    host.setEnum(kRatioFixed, mode);
    host.setEnum(kCourseRatio, 3);
    host.setEnum(kDetune, 9);
    host.setEnum(kPmSensitivity, 7);
    host.setStream(kFine, 3.3f);
    float *pitch = host.buffer(kPitchIn);
    float *pmod = host.buffer(kPModIn);
    for (int32_t i = 0; i < block; ++i) {
        pitch[i] = 0.5f + static_cast<float>(i % 32) * 1e-4f;
        pmod[i] = static_cast<float>(i % 128) / 64.0f - 1.0f;
    }
    int64_t samples = 0;
    for (auto _ : state) {
        host.runBlock();
        benchmark::ClobberMemory();
        samples += block;
    }
    state.SetItemsProcessed(samples);
    state.counters["ns_per_sample"] =
        benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Ratio mode: played pitch and modulation read on every sample.
void BM_FreqControllerRatio(benchmark::State &state) { run(state, 0); }
BENCHMARK(BM_FreqControllerRatio)->Arg(64)->Arg(1024);

void BM_FreqControllerFixed(benchmark::State &state) { run(state, 1); }
BENCHMARK(BM_FreqControllerFixed)->Arg(1024);

} // namespace
