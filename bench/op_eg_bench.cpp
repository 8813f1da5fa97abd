// QZ_OpEG_v1's per-sample loop, through the built library.
#include "test_host.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using qz::test::Plugin;
using qz::test::TestHost;

enum : int32_t {
    kOnOff = 0,
    kGateIn = 2,
    kRate1 = 3,
    kLevel1 = 8,
    kOutputLevel = 12,
    kVelocityIn = 19,
    kVelocitySensitivity = 20,
    kAmIn = 21,
    kAmSensitivity = 22,
};

const Plugin &plugin() {
    static Plugin p("QZ_OpEG_v1");
    return p;
}

void setPerSampleCounter(benchmark::State &state, int64_t samples) {
    state.SetItemsProcessed(samples);
    state.counters["ns_per_sample"] =
        benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// An attack so slow (its count saturates at 2^31 - 1 samples) that every
// sample of the run is a moving-stage sample, with velocity and AM in use.
void BM_OpEgMovingStage(benchmark::State &state) {
    const auto block = static_cast<int32_t>(state.range(0));
    TestHost host(plugin(), 44100.0f, block);
    host.open();
    host.setEnum(kOnOff, 1);
    host.setStream(kOutputLevel, 9.9f);
    host.setStream(kLevel1, 9.9f);
    host.setStream(kRate1, -20.0f);
    host.setEnum(kVelocitySensitivity, 5);
    host.setEnum(kAmSensitivity, 3);
    float *velocity = host.buffer(kVelocityIn);
    float *am = host.buffer(kAmIn);
    for (int32_t i = 0; i < block; ++i) {
        velocity[i] = 0.8f;
        am[i] = static_cast<float>(i % 64) / 64.0f - 0.5f;
    }
    host.setStream(kGateIn, 1.0f);
    int64_t samples = 0;
    for (auto _ : state) {
        host.runBlock();
        benchmark::ClobberMemory();
        samples += block;
    }
    setPerSampleCounter(state, samples);
}
BENCHMARK(BM_OpEgMovingStage)->Arg(64)->Arg(1024);

// Idle: the loop still runs for the block before the module sleeps.
void BM_OpEgIdle(benchmark::State &state) {
    TestHost host(plugin(), 44100.0f, 1024);
    host.open();
    int64_t samples = 0;
    for (auto _ : state) {
        host.runBlock();
        benchmark::ClobberMemory();
        samples += 1024;
    }
    setPerSampleCounter(state, samples);
}
BENCHMARK(BM_OpEgIdle);

} // namespace
