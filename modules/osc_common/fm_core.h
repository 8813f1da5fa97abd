// fm_core.h: the operator engine shared by the six- and four-operator
// oscillators.
//
// Modulation acts on pitch: a modulator's output is added to its target's
// pitch (0.1 = one octave) one sample later. Each operator reads a 720-entry
// table at trunc(2 x phase in degrees), without interpolation, and turns its
// summed pitch into a phase increment only when that sum changes.
//
// The per-sample arithmetic is plain float adds, multiplies and compares in a
// fixed order, so a vectorised loop can reproduce it bit for bit.
#pragma once

#include <array>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace qz::fm {

inline constexpr int kTableSize = 720; // one entry per half degree
using WaveTable = std::array<float, kTableSize>;

// Entry for the angle `degrees`: the sine / 10 in double precision with the
// factor 0.017453292 (not full-precision pi/180), kept as a float.
inline float sineEntry(float degrees) {
    return static_cast<float>(std::sin(static_cast<double>(degrees) * 0.017453292) / 10.0);
}

// The angle is a float that grows by 0.5 per entry, as the tables were
// always built; its rounding is part of the values.
inline void buildSineTable(WaveTable &table) {
    float angle = 0.0f;
    for (float &entry : table) {
        entry = sineEntry(angle);
        angle += 0.5f;
    }
}

// The four-operator oscillator's shapes, built in one pass with the
// single-precision slope 0.002777 and triangle step 0.0055: the ramp and the
// saw stop short of the full swing, the triangle peaks at 0.0980003.
enum Wave : int16_t { kSine, kRamp, kSaw, kTriangle, kSquare, kWaveCount };

inline void buildWaveTables(std::array<WaveTable, kWaveCount> &tables) {
    float angle = 0.0f;
    float triangle = -1.0f;
    for (int i = 0; i < kTableSize; ++i) {
        const auto k = static_cast<size_t>(i);
        const float position = static_cast<float>(i);
        tables[kSine][k] = sineEntry(angle);
        tables[kRamp][k] = (position * 0.002777f - 1.0f) / 10.0f;
        tables[kSaw][k] = (1.0f - position * 0.002777f) / 10.0f;
        tables[kTriangle][k] = triangle / 10.0f;
        triangle = i <= 359 ? triangle + 0.0055f : triangle - 0.0055f;
        tables[kSquare][k] = i <= 359 ? 0.1f : -0.1f;
        angle += 0.5f;
    }
}

// Phase advance in degrees per sample for a summed pitch (pitch v stands for
// 440 x 2^(10v - 5) Hz). The result always lies in [0, 360): an operator at
// or above the sample rate advances by the increment reduced modulo 360,
// which samples the same phases, and a pitch or rate that gives no finite
// positive frequency holds the phase (increment 0). So the single wrap of
// the loop always keeps the table index within 0..719.
inline float phaseIncrement(float summedPitch, float sampleRate) {
    const double x = 10.0 * static_cast<double>(summedPitch) - 5.0;
    const double hz = std::pow(2.0, x) * 440.0;
    if (!(hz > 0.0) || !(hz <= static_cast<double>(FLT_MAX))) return 0.0f; // NaN, zero or beyond float
    const float frequency = static_cast<float>(hz);
    if (!(frequency > 0.0f)) return 0.0f;
    const float samplesPerCycle = sampleRate / frequency;
    if (!(samplesPerCycle > 0.0f)) return 0.0f; // rate zero, negative, NaN or underflowed
    float increment = 360.0f / samplesPerCycle;
    if (!std::isfinite(increment)) return 0.0f;
    if (increment >= 360.0f) increment = std::fmod(increment, 360.0f);
    return increment;
}

// A control value that is not finite counts as 0, so one bad sample on a
// level pin cannot turn every later output into NaN.
inline float finiteOrZero(float value) { return std::isfinite(value) ? value : 0.0f; }

// Bit mask of operator numbers (1-based): ops(2, 3, 5).
template <class... Op> constexpr uint8_t ops(Op... op) {
    return static_cast<uint8_t>(((1u << (op - 1)) | ... | 0u));
}

// One routing row. modulators[m] is the mask of the operators whose outputs
// sum into operator m's modulation; carriers the mask summed into the
// output; feedback source and destination are operator numbers, 0 for none.
template <size_t N> struct Route {
    std::array<uint8_t, N> modulators{};
    uint8_t carriers = 0;
    uint8_t feedbackSource = 0;
    uint8_t feedbackDestination = 0;
};

// The state of N operators, arrays indexed by operator number - 1.
template <size_t N> struct Operators {
    std::array<float, N> envelope{};   // this sample's envelope input
    std::array<float, N> summed{};     // this sample's pitch input + modulation
    std::array<float, N> lastPitch{};  // summed pitch of the last increment
    std::array<float, N> phase{};      // degrees, in [0, 360)
    std::array<float, N> increment{};  // degrees per sample, in [0, 360)
    std::array<float, N> output{};     // table value x envelope
    std::array<float, N> modulation{}; // added to the pitch on the next sample

    void reset() { *this = Operators{}; }

    // A modulation sum that `route` neither assigns nor feeds back would
    // otherwise go on detuning its operator: clear it.
    void clearUnassigned(const Route<N> &route) {
        for (size_t i = 0; i < N; ++i) {
            if (route.modulators[i] == 0 && route.feedbackDestination != i + 1) modulation[i] = 0.0f;
        }
    }
};

// The buffers of one slice, already at its offset. A null input reads as 0,
// a null table leaves the operator's output at its previous value (its phase
// still advances), a null output is not written.
template <size_t N> struct Slice {
    std::array<const float *, N> pitch{};
    std::array<const float *, N> envelope{};
    std::array<const float *, N> table{};
    float *out = nullptr;
    int32_t count = 0;
};

struct Levels {
    float sampleRate = 44100.0f;
    float feedbackFactor = 0.0f;
    float outputFactor = 0.0f;
};

// The sum of o[i] over the bits of Mask, in ascending operator order.
template <uint8_t Mask, size_t N> inline float maskedSum(const std::array<float, N> &o) {
    float sum = 0.0f;
    bool first = true;
    [&]<size_t... I>(std::index_sequence<I...>) {
        (
            [&] {
                if constexpr ((Mask >> I & 1u) != 0) {
                    sum = first ? o[I] : sum + o[I];
                    first = false;
                }
            }(),
            ...);
    }(std::make_index_sequence<N>{});
    return sum;
}

// The per-sample loop for one routing row, fixed at compile time. Answers
// true when no envelope value of the slice's last sample is above 0.
template <size_t N, Route<N> R>
bool render(Operators<N> &state, const Slice<N> &io, const Levels &levels) {
    // Work on a local copy: the output buffer cannot alias it, so the state
    // stays in registers across the writes.
    Operators<N> op = state;
    bool silent = true;
    for (int32_t n = 0; n < io.count; ++n) {
        const auto s = static_cast<size_t>(n);
        for (size_t i = 0; i < N; ++i) {
            const float pitch = io.pitch[i] != nullptr ? io.pitch[i][s] : 0.0f;
            op.summed[i] = pitch + op.modulation[i];
            op.envelope[i] = io.envelope[i] != nullptr ? io.envelope[i][s] : 0.0f;
        }
        silent = true;
        for (size_t i = 0; i < N; ++i) {
            if (op.summed[i] != op.lastPitch[i]) {
                op.increment[i] = phaseIncrement(op.summed[i], levels.sampleRate);
                op.lastPitch[i] = op.summed[i];
            }
            if (io.table[i] != nullptr) {
                const auto k = static_cast<size_t>(static_cast<int32_t>(2.0f * op.phase[i]));
                op.output[i] = io.table[i][k] * op.envelope[i];
            }
            float phase = op.phase[i] + op.increment[i];
            if (phase >= 360.0f) phase -= 360.0f;
            if (phase < 0.0f) phase += 360.0f;
            op.phase[i] = phase;
            if (op.envelope[i] > 0.0f) silent = false;
        }
        [&]<size_t... M>(std::index_sequence<M...>) {
            ((R.modulators[M] != 0 ? (void)(op.modulation[M] = maskedSum<R.modulators[M], N>(op.output)) : (void)0),
             ...);
        }(std::make_index_sequence<N>{});
        const float outputSum = R.carriers != 0 ? maskedSum<R.carriers, N>(op.output) : 0.0f;
        if constexpr (R.feedbackSource != 0) {
            const float feedback = op.output[R.feedbackSource - 1u] * levels.feedbackFactor;
            op.modulation[R.feedbackDestination - 1u] = feedback;
        }
        if (io.out != nullptr) io.out[s] = 5.0f * outputSum * levels.outputFactor;
    }
    state = op;
    return silent;
}

template <size_t N>
using RenderFn = bool (*)(Operators<N> &, const Slice<N> &, const Levels &);

// Renderers for every row of `Rows`, entry a - 1 for algorithm a.
template <size_t N, size_t Count, std::array<Route<N>, Count> Rows>
constexpr std::array<RenderFn<N>, Count> makeRenderers() {
    return [&]<size_t... A>(std::index_sequence<A...>) {
        return std::array<RenderFn<N>, Count>{&render<N, Rows[A]>...};
    }(std::make_index_sequence<Count>{});
}

} // namespace qz::fm
