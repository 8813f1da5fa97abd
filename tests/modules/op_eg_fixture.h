// A QZ_OpEG_v1 instance on the test host, with the control settings and
// the rendering the envelope tests share.
#pragma once

#include "test_host.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace op_eg {

using qz::test::Plugin;
using qz::test::TestHost;

enum Pin : int32_t {
    kOnOff,
    kMidiIn,
    kGateIn,
    kRate1,
    kRate2,
    kRate3,
    kRate4,
    kEgRateScale,
    kLevel1,
    kLevel2,
    kLevel3,
    kLevel4,
    kOutputLevel,
    kBreakPoint,
    kKbdRateScale,
    kLeftCurve,
    kLeftDepth,
    kRightCurve,
    kRightDepth,
    kVelocityIn,
    kVelocitySensitivity,
    kAmIn,
    kAmSensitivity,
    kEgOut,
    kPinTotal
};

inline const Plugin &plugin() {
    static Plugin p("QZ_OpEG_v1");
    return p;
}

inline int32_t midi(uint32_t status, uint32_t d1, uint32_t d2) {
    return static_cast<int32_t>(status | d1 << 8 | d2 << 16);
}

// Stage length in samples as the rate control defines it:
// trunc(multiplier * rate * 2^((9.9 - v) - 6.66666)).
inline uint32_t stageCount(float v, float multiplier, float sampleRate) {
    const float r = 9.9f - v;
    const auto c = static_cast<float>(std::pow(2.0, static_cast<double>(r) - 6.66666));
    return static_cast<uint32_t>(multiplier * sampleRate * c);
}

struct Eg {
    TestHost host;

    explicit Eg(float sampleRate = 1000.0f, int32_t blockSize = 64, int32_t pinCount = -1)
        : host(plugin(), sampleRate, blockSize, pinCount) {}

    // On, full output level, every level at the top and the fastest rates:
    // a gate then gives an envelope that holds exactly 1.0 in sustain.
    void openPlain() {
        host.open();
        host.setEnum(kOnOff, 1);
        host.setStream(kOutputLevel, 9.9f);
        for (int32_t k = 0; k < 3; ++k) host.setStream(kLevel1 + k, 9.9f);
        for (int32_t k = 0; k < 4; ++k) host.setStream(kRate1 + k, 9.9f);
    }

    // Runs `n` samples in slices that end at block boundaries and returns
    // what "EG Out" carried.
    std::vector<float> render(int32_t n) {
        std::vector<float> out;
        out.reserve(static_cast<size_t>(n));
        while (n > 0) {
            const int32_t k = std::min(n, host.blockSize - host.offset);
            const int32_t from = host.offset;
            host.run(k);
            const float *b = host.buffer(kEgOut);
            out.insert(out.end(), b + from, b + from + k);
            n -= k;
        }
        return out;
    }

    // The sustained output after a gate: the envelope holds 1.0, so this is
    // the product of the other factors.
    float sustained() {
        host.setStream(kGateIn, 1.0f);
        const std::vector<float> out = render(64);
        host.setStream(kGateIn, 0.0f);
        render(64);
        return out.back();
    }
};

} // namespace op_eg
