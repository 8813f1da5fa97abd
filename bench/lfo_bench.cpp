// Per-sample cost of the LFO's loop: a note in the normal speed range, and
// a speed so far beyond it that every sample needs the slow phase fold.
#include "test_host.h"

#include <benchmark/benchmark.h>

namespace {

enum : int32_t { kGateIn, kWave, kSpeed, kDelay, kOutputLevel, kLfoOut };
constexpr int32_t kBlock = 1024;

void BM_Lfo(benchmark::State &state) {
    static const qz::test::Plugin plugin("QZ_LFO");
    qz::test::TestHost host(plugin, 44100.0f, kBlock);
    host.writeEnum(kWave, 0);
    host.fill(kSpeed, state.range(0) == 0 ? 5.0f : 100.0f);
    host.fill(kDelay, 0.0f);
    host.fill(kOutputLevel, 9.9f);
    host.open();
    host.setStream(kGateIn, 1.0f);
    host.runBlock();
    for (auto _ : state) {
        host.runBlock();
        benchmark::DoNotOptimize(host.buffer(kLfoOut)[kBlock - 1]);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    // Seconds per sample, shown with an SI prefix (n = nanoseconds).
    state.counters["per_sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_Lfo)->ArgName("in_range0_far_beyond1")->Arg(0)->Arg(1);

} // namespace
