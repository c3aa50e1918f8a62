#include "diag/noise_log.h"

#include <algorithm>
#include <cmath>

namespace vcx {

NoiseGeometry ClampNoiseGeometry(int rows, int columns, int delivered) {
    constexpr int kMaxLines = 255;  // a controller reports rows and columns in one byte each
    if (rows <= 0 || columns <= 0 || delivered <= 0 || columns > kMaxLines) return {};
    const int fit = std::min({rows, kMaxLines, delivered / columns});
    if (fit <= 0) return {};
    return {fit, columns};
}

NoiseStats ComputeNoiseStats(const uint16_t* samples, int frames, int nodes) {
    NoiseStats s;
    if (!samples || frames < 2 || nodes <= 0) return s;
    s.mean.assign(size_t(nodes), 0.0);
    s.deviation.assign(size_t(nodes), 0.0);
    double total = 0.0;
    for (int n = 0; n < nodes; ++n) {
        double sum = 0.0;
        for (int f = 0; f < frames; ++f) sum += samples[size_t(f) * size_t(nodes) + size_t(n)];
        const double mean = sum / double(frames);
        double squares = 0.0;
        for (int f = 0; f < frames; ++f) {
            const double d = samples[size_t(f) * size_t(nodes) + size_t(n)] - mean;
            squares += d * d;
        }
        const double deviation = std::sqrt(squares / double(frames - 1));
        s.mean[size_t(n)] = mean;
        s.deviation[size_t(n)] = deviation;
        total += deviation;
        s.maximum = std::max(s.maximum, deviation);
        s.minimum = std::min(s.minimum, deviation);
    }
    s.average = total / double(nodes);
    return s;
}

NoiseShares ShareNoiseNodes(const std::vector<double>& deviation, int threshold) {
    if (deviation.empty()) return {};
    int good = 0, fair = 0, bad = 0;
    const double p = threshold;
    for (double d : deviation) {
        if (6.0 * d <= p) ++good;
        else if (4.0 * d <= p) ++fair;
        else ++bad;
    }
    // Multiplied first, so a share that is a whole percentage comes out exact.
    const double n = double(deviation.size());
    return {100.0 * good / n, 100.0 * fair / n, 100.0 * bad / n};
}

NoiseGrade GradeNoise(const NoiseShares& s) {
    if (s.good == 100.0) return NoiseGrade::Great;
    if (s.good >= 95.0 && s.fair <= 5.0 && s.bad == 0.0) return NoiseGrade::Good;
    if (s.good >= 75.0 && s.fair <= 24.0) return NoiseGrade::OK;
    if (s.fair >= 18.0 && s.bad <= 81.0) return NoiseGrade::Poor;
    return NoiseGrade::Bad;
}

const char* NoiseGradeLine(NoiseGrade grade) {
    switch (grade) {
    case NoiseGrade::Great: return "\nNoise Level : Great\n";
    case NoiseGrade::Good: return "\nNoise Level : Good\n";
    case NoiseGrade::OK: return "\nNoise Level : OK\n";
    case NoiseGrade::Poor: return "\nNoise Level : Poor\n";
    case NoiseGrade::Bad: break;
    }
    return "\nNoise Level : Bad\n";
}

bool WriteNoiseLogBlock(qvtext::TextWriter& w, bool touched, const uint16_t* samples, int frames,
                        NoiseGeometry g, const NoiseStats& stats, std::optional<NoiseGrade> grade) {
    w.write(touched ? "\n[Touched Result]" : "\n[No Touch Result]");
    const size_t nodes = size_t(std::max(g.nodes(), 0));
    if (samples) {
        for (int f = 0; f < std::min(frames, kNoiseLogRawFrames); ++f) {
            w.printf("\nRaw Count %d :\n", f + 1);
            const uint16_t* frame = samples + size_t(f) * nodes;
            for (int r = 0; r < g.rows; ++r) {
                for (int c = 0; c < g.columns; ++c) w.printf("%d,", int(frame[size_t(r) * size_t(g.columns) + size_t(c)]));
                w.write(",\n");
            }
        }
    }
    w.write("\nSTDEV:,");
    for (int c = 0; c < g.columns; ++c) w.printf("%02d,", c);
    w.write(",\n");
    if (stats.deviation.size() >= nodes) {
        for (int r = 0; r < g.rows; ++r) {
            w.printf("%02d,", r);
            for (int c = 0; c < g.columns; ++c) w.printf("%.2f,", stats.deviation[size_t(r) * size_t(g.columns) + size_t(c)]);
            w.write(",\n");
        }
    }
    w.printf("AVG:%.2f,MAX:%.2f,MIN:%.2f,\n", stats.average, stats.maximum, stats.minimum);
    if (grade) w.write(NoiseGradeLine(*grade));
    return w.ok();
}

}  // namespace vcx
