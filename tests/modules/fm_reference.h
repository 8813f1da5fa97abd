// fm_reference.h: an independent, deliberately plain model of the FM
// oscillators' per-sample loop for the tests. Routing rows are given as text
// ("1<2;3<4+5" modulation, "1+3" carriers, "6>6" feedback source>destination)
// so that the tests do not share the modules' tables.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fmref {

inline std::vector<float> sineTable() {
    std::vector<float> t(720);
    float a = 0.0f;
    for (int i = 0; i < 720; ++i) {
        const double s = std::sin(static_cast<double>(a) * 0.017453292);
        t[static_cast<size_t>(i)] = static_cast<float>(s / 10.0);
        a += 0.5f;
    }
    return t;
}

// The five shapes of the four-operator oscillator, built in one pass.
inline std::vector<std::vector<float>> waveTables() {
    std::vector<std::vector<float>> w(5, std::vector<float>(720));
    float a = 0.0f;
    float t = -1.0f;
    for (int i = 0; i < 720; ++i) {
        const auto k = static_cast<size_t>(i);
        w[0][k] = static_cast<float>(std::sin(static_cast<double>(a) * 0.017453292) / 10.0);
        w[1][k] = (static_cast<float>(i) * 0.002777f - 1.0f) / 10.0f;
        w[2][k] = (1.0f - static_cast<float>(i) * 0.002777f) / 10.0f;
        w[3][k] = t / 10.0f;
        t = i <= 359 ? t + 0.0055f : t - 0.0055f;
        w[4][k] = i <= 359 ? 0.1f : -0.1f;
        a += 0.5f;
    }
    return w;
}

// Degrees per sample for a pitch; at or above the sample rate the
// increment is taken modulo 360.
inline float increment(float pitch, float rate) {
    const float hz = static_cast<float>(std::pow(2.0, 10.0 * static_cast<double>(pitch) - 5.0) * 440.0);
    float inc = 360.0f / (rate / hz);
    if (inc >= 360.0f) inc = std::fmod(inc, 360.0f);
    return inc;
}

struct Row {
    std::vector<std::vector<int>> modulators; // per operator (0-based), 0-based sources, ascending
    std::vector<int> carriers;                // 0-based, ascending
    int feedbackSource = -1, feedbackDestination = -1;
};

inline std::vector<int> numbers(const std::string &text) {
    std::vector<int> out;
    for (char c : text)
        if (c >= '1' && c <= '9') out.push_back(c - '1');
    return out;
}

inline Row parseRow(int operators, const std::string &modulation, const std::string &carriers,
                    const std::string &feedback) {
    Row r;
    r.modulators.assign(static_cast<size_t>(operators), {});
    size_t start = 0;
    while (start < modulation.size()) {
        size_t end = modulation.find(';', start);
        if (end == std::string::npos) end = modulation.size();
        const std::string entry = modulation.substr(start, end - start);
        const size_t arrow = entry.find('<');
        if (arrow != std::string::npos) {
            const int target = numbers(entry.substr(0, arrow)).at(0);
            r.modulators[static_cast<size_t>(target)] = numbers(entry.substr(arrow + 1));
        }
        start = end + 1;
    }
    r.carriers = numbers(carriers);
    if (!feedback.empty()) {
        const std::vector<int> f = numbers(feedback);
        r.feedbackSource = f.at(0);
        r.feedbackDestination = f.at(1);
    }
    return r;
}

// N operators; tables[i] is operator i's table (null: output held).
struct Model {
    explicit Model(int n, float sampleRate) : count(n), rate(sampleRate) {
        const auto sz = static_cast<size_t>(n);
        summed.assign(sz, 0.0f);
        last.assign(sz, 0.0f);
        phase.assign(sz, 0.0f);
        inc.assign(sz, 0.0f);
        out.assign(sz, 0.0f);
        mod.assign(sz, 0.0f);
        env.assign(sz, 0.0f);
        tables.assign(sz, nullptr);
    }

    int count;
    float rate;
    float feedbackFactor = 0.0f, outputFactor = 0.0f;
    Row row;
    bool silent = true;
    std::vector<float> summed, last, phase, inc, out, mod, env;
    std::vector<const float *> tables;

    float step(const std::vector<float> &pitchIn, const std::vector<float> &envIn) {
        for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
            summed[i] = pitchIn[i] + mod[i];
            env[i] = envIn[i];
        }
        silent = true;
        for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
            if (summed[i] != last[i]) {
                inc[i] = increment(summed[i], rate);
                last[i] = summed[i];
            }
            if (tables[i] != nullptr) out[i] = tables[i][static_cast<int>(2.0f * phase[i])] * env[i];
            phase[i] += inc[i];
            if (phase[i] >= 360.0f) phase[i] -= 360.0f;
            if (phase[i] < 0.0f) phase[i] += 360.0f;
            if (env[i] > 0.0f) silent = false;
        }
        auto sum = [&](const std::vector<int> &from) {
            float s = out[static_cast<size_t>(from[0])];
            for (size_t k = 1; k < from.size(); ++k) s += out[static_cast<size_t>(from[k])];
            return s;
        };
        for (size_t m = 0; m < static_cast<size_t>(count); ++m)
            if (!row.modulators[m].empty()) mod[m] = sum(row.modulators[m]);
        const float outputSum = row.carriers.empty() ? 0.0f : sum(row.carriers);
        if (row.feedbackSource >= 0)
            mod[static_cast<size_t>(row.feedbackDestination)] =
                out[static_cast<size_t>(row.feedbackSource)] * feedbackFactor;
        return 5.0f * outputSum * outputFactor;
    }
};

} // namespace fmref
