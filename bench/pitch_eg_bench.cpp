// Per-sample cost of the pitch envelope generator's loop in its states.
#include "test_host.h"

#include <benchmark/benchmark.h>

namespace {

enum : int32_t { kGateIn, kPitchIn, kRate1, kLevel1 = 6, kPitchOut = 11 };
constexpr int32_t kBlock = 1024;

enum Scenario { kIdle, kMoving, kSustain };

void BM_PitchEg(benchmark::State &state) {
    static const qz::test::Plugin plugin("QZ_PitchEG");
    qz::test::TestHost host(plugin, 44100.0f, kBlock);
    const auto scenario = static_cast<Scenario>(state.range(0));
    // Rates at 0 keep stage 1 moving for seconds; at 9.9 sustain comes at once.
    const float rate = scenario == kMoving ? 0.0f : 9.9f;
    for (int32_t k = 0; k < 4; ++k) {
        host.fill(kRate1 + k, rate);
        host.fill(kLevel1 + k, 9.9f);
    }
    host.fill(kLevel1 + 3, 0.0f);
    host.fill(kPitchIn, 0.3f);
    host.open();
    if (scenario != kIdle) {
        host.setStream(kGateIn, 0.0f);
        host.setStream(kGateIn, 1.0f);
    }
    host.runBlock();
    for (auto _ : state) {
        host.runBlock();
        benchmark::DoNotOptimize(host.buffer(kPitchOut)[kBlock - 1]);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    // Seconds per sample, shown with an SI prefix (n = nanoseconds).
    state.counters["per_sample"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_PitchEg)->ArgName("idle0_moving1_sustain2")->Arg(kIdle)->Arg(kMoving)->Arg(kSustain);

} // namespace
