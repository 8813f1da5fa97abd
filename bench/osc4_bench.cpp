// QZ_OSC4_v1 per-sample loop, in ns per sample, at its cheapest (algorithm
// 8, one steady carrier) and dearest (algorithm 1, all four envelopes at 1,
// every operator's summed pitch changing on every sample).
#include "test_host.h"

#include <benchmark/benchmark.h>

namespace {

using qz::test::Plugin;
using qz::test::TestHost;

constexpr int32_t kAlgorithm = 0, kFeedback = 13, kOutputLevel = 14, kAudioOut = 15;
constexpr int32_t kBlock = 1024;

const Plugin &plugin() {
    static Plugin p("QZ_OSC4_v1");
    return p;
}

void runBlocks(benchmark::State &state, TestHost &host) {
    for (auto _ : state) {
        host.runBlock();
        benchmark::DoNotOptimize(host.buffer(kAudioOut)[kBlock - 1]);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns_per_sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void Osc4Cheapest(benchmark::State &state) {
    TestHost host(plugin(), 44100.0f, kBlock);
    host.writeEnum(kAlgorithm, 8);
    host.fill(2, 0.5f);
    host.fill(3, 1.0f);
    host.fill(kOutputLevel, 9.9f);
    host.open();
    runBlocks(state, host);
}
BENCHMARK(Osc4Cheapest);

void Osc4Dearest(benchmark::State &state) {
    TestHost host(plugin(), 44100.0f, kBlock);
    host.writeEnum(kAlgorithm, 1);
    for (int op = 0; op < 4; ++op) {
        float *pitch = host.buffer(2 + 3 * op);
        for (int n = 0; n < kBlock; ++n) pitch[n] = 0.4f + 0.02f * static_cast<float>(op) + 1e-5f * static_cast<float>(n);
        host.fill(3 + 3 * op, 1.0f);
    }
    host.writeEnum(kFeedback, 3);
    host.fill(kOutputLevel, 9.9f);
    host.open();
    runBlocks(state, host);
}
BENCHMARK(Osc4Dearest);

} // namespace
