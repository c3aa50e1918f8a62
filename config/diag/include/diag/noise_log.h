// The arithmetic and the file text of the noise-level log, apart from its
// window: the frame geometry it samples, each node's mean and standard
// deviation over the sampled frames, the grade of a no-touch run against the
// finger threshold, and the block of text each run appends to the log.
#pragma once

#include "text/text_file.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vcx {

// Frames sampled per run, and how many of them the log prints.
constexpr int kNoiseFrames = 50;
constexpr int kNoiseLogRawFrames = 5;

// A rows of B columns of the mutual frame.
struct NoiseGeometry {
    int rows = 0, columns = 0;
    int nodes() const { return rows * columns; }
    bool empty() const { return nodes() == 0; }
    friend bool operator==(const NoiseGeometry&, const NoiseGeometry&) = default;
};

// The geometry the controller reports (rows, columns) cut to what a read
// delivers (`delivered` mutual values): rows that do not fit whole are
// dropped, so every sampled node lies inside the delivered frame. Empty when
// no row fits, a count is not positive or the columns exceed what a frame
// can hold (255).
NoiseGeometry ClampNoiseGeometry(int rows, int columns, int delivered);

struct NoiseStats {
    std::vector<double> mean, deviation;  // per node
    double average = 0.0;                  // of the deviations
    double maximum = 0.0;
    double minimum = 65535.0;
};

// Per node over `frames` frames of `nodes` values each (frame-major):
// mean = sum / frames, deviation = sqrt(sum of squared differences from the
// mean / (frames - 1)). Fewer than two frames or no node: everything empty,
// the average, maximum and minimum as they start.
NoiseStats ComputeNoiseStats(const uint16_t* samples, int frames, int nodes);

// Shares of the nodes, in percent (floating point), by their deviation d
// against the finger threshold P: good when 6d <= P, fair when 4d <= P < 6d,
// bad when 4d > P. All zero when there is no node.
struct NoiseShares {
    double good = 0.0, fair = 0.0, bad = 0.0;
};
NoiseShares ShareNoiseNodes(const std::vector<double>& deviation, int threshold);

enum class NoiseGrade { Great, Good, OK, Poor, Bad };
// good = 100: Great; good >= 95, fair <= 5 and no bad: Good; good >= 75 and
// fair <= 24: OK; fair >= 18 and bad <= 81: Poor; else Bad.
NoiseGrade GradeNoise(const NoiseShares& shares);
// The grade's line in the log ("\nNoise Level : Great\n").
const char* NoiseGradeLine(NoiseGrade grade);

// One run's block: the heading ("\n[Touched Result]" or "\n[No Touch
// Result]"), the first kNoiseLogRawFrames frames ("\nRaw Count n :\n", each
// row its values "v," closed by ",\n"), the deviation table under "\nSTDEV:,"
// with the column numbers, each row led by its number, the deviations to two
// decimals, the average, maximum and minimum line, and the grade line when
// one is given. False when a write failed.
bool WriteNoiseLogBlock(qvtext::TextWriter& w, bool touched, const uint16_t* samples, int frames,
                        NoiseGeometry g, const NoiseStats& stats, std::optional<NoiseGrade> grade);

}  // namespace vcx
