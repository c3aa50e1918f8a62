// The arithmetic of the noise level view, apart from its window: the per-node
// sums of a pattern's samples and the ring of the last ten standard
// deviations, the stability test that ends a pattern early, the grade of the
// latest deviations against the finger threshold, the layout of the drawn
// grid, and the text of the two noise reports.
//
// Three kinds of nodes are measured: the mutual nodes (A x B), the sector
// nodes (the extra array, A x C) and the self nodes (the last-column array,
// A). Their counts come from the frame record the library fills and are cut to
// what the panel's geometry allows before anything is indexed.
#pragma once

#include "QV_Standard.h"
#include "diag/diag_state.h"
#include "diag/scan_layout.h"
#include "diag/scan_report.h"
#include "text/text_file.h"

#include <QPoint>
#include <QRect>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vcx {

constexpr int kNoisePatternCount = 4;   // None, White, Black, Checkerboard
constexpr int kNoiseMaxSamples = 100;   // a pattern ends at 100 samples at the latest
constexpr int kNoiseRingSlots = 10;     // deviations kept per node
constexpr int kNoiseFirstDeviation = 9;   // the sample from which deviations are taken
constexpr int kNoiseFirstStability = 19;  // the sample from which a pattern may end early

enum NoiseGradeId : int { kNoiseGreat = 0, kNoiseGood = 1, kNoiseOK = 2, kNoisePoor = 3, kNoiseBad = 4 };
// A pattern's process result when any mutual node is noisy.
constexpr int kNoisePatternNoisy = 5;
enum NoiseNodeClass : uint8_t { kNodeBest = 0, kNodeNormal = 1, kNodeNoisy = 2 };
enum NoiseKind : int { kKindMutual = 0, kKindSector = 1, kKindSelf = 2 };
constexpr int kNoiseKinds = 3;

// "None", "White", "Black", "Checkerboard" (pattern 0..3); "" otherwise.
const char* NoisePatternName(int pattern);
// "Great", "Good", "OK", "Poor", "Bad"; "" otherwise.
const char* NoiseGradeName(int grade);

// The node counts of the three kinds: the record's counts cut to A x B, A x C
// and A (a null array or a negative count gives 0).
struct NoiseCounts {
    std::array<int, kNoiseKinds> n{};
    int rows = 0, columns = 0, extraColumns = 0;  // A, B, C as the panel reports them
    friend bool operator==(const NoiseCounts&, const NoiseCounts&) = default;
};
NoiseCounts ClampNoiseCounts(int rows, int columns, int extraColumns, const NewRawArray& frame);

// The sample standard deviation of n + 1 values from their sum and sum of
// squares (n >= 1), computed exactly in 64-bit integers and taken in double;
// the variance never goes below 0. 0 for n < 1.
double NoiseDeviation(uint64_t sum, uint64_t sumSq, int n);

// The sums of one pattern's samples and the ring of deviations.
class NoiseSampler {
public:
    // Sizes every array for `counts` and clears them.
    void Reset(const NoiseCounts& counts);
    const NoiseCounts& counts() const { return counts_; }

    // Sample n (0 for the first of a pattern: the sums start again) of the
    // three arrays; from n = 9 on the deviations go into ring slot n mod 10.
    // An array is read up to its kind's count (a null array counts as zeros).
    void Add(int n, const uint16_t* mutual, const uint16_t* sector, const uint16_t* self);

    // From n = 19 on: every node's ten ring values lie within +-P % of their
    // average (P = 30, or n when n is above 29). False before n = 19.
    bool Stable(int n) const;

    const std::vector<double>& slot(int kind, int slot) const { return ring_[size_t(kind)][size_t(slot)]; }

private:
    NoiseCounts counts_;
    std::array<std::vector<uint64_t>, kNoiseKinds> sum_, sumSq_;
    std::array<std::array<std::vector<double>, kNoiseRingSlots>, kNoiseKinds> ring_;
};

struct NoiseKindStats {
    double average = 0.0, maximum = 0.0, minimum = 0.0;
};

// The grade of a pattern and what it was taken from.
struct NoiseGradeResult {
    int grade = kNoiseBad;
    int rounds = 0;                        // samples taken
    std::array<std::vector<double>, kNoiseKinds> deviation;  // the graded slot, per kind
    std::vector<uint8_t> classes;          // NoiseNodeClass per mutual node
    std::array<NoiseKindStats, kNoiseKinds> stats;
    double best = 0.0, normal = 0.0, noisy = 0.0;  // percent of the mutual nodes
    bool anyNoisy() const;
    // The process result of the pattern: 5 when any mutual node is noisy, else the grade.
    int patternResult() const { return anyNoisy() ? kNoisePatternNoisy : grade; }
};

// Grades the deviations of the latest slot ((rounds - 1) mod 10) against the
// finger threshold T: a mutual node is noisy when 4 sigma > T, normal when
// 6 sigma > T >= 4 sigma, best when 6 sigma <= T. Great and Good need no noisy
// node; OK and Poor take p = value mod 100 (best %) and r = value / 100
// (noisy %). Fewer than 10 samples hold no deviation at all: Bad, with every
// statistic 0.
using NoiseDeviations = std::array<std::vector<double>, kNoiseKinds>;
NoiseGradeResult ComputeNoiseGrade(const NoiseDeviations& deviation, int rounds, int threshold,
                                   const DiagConfig& grades);
// The same on the sampler's slot (rounds - 1) mod 10.
NoiseGradeResult ComputeNoiseGrade(const NoiseSampler& sampler, int rounds, int threshold, const DiagConfig& grades);

// ---- drawing ----------------------------------------------------------------------------------

// The drawn grid at display scale s (percent) for cell size `cell`: the frame
// starts (s x 210/100, s x 10/100) from the view's origin and measures
// columns x cell + 40 by rows x cell + 40 (rows and columns exchanged by panel
// flag bit 0); the nodes sit 20 + cell/2 inside it, mirrored by bits 9 and 10;
// the radius is cell/3 within 3..8; the lines, fifth lines and their labels
// are the scan view's grid around those nodes; the legend's three marks and
// labels go below the frame. Empty (cell 0) while A, B or the cell is 0.
struct NoiseLegendItem {
    QPoint mark;   // the mark's centre
    QRect label;   // its text: "Best", "Normal", "Noisy"
};
struct NoiseGridLayout {
    int cell = 0, radius = 0;
    int drawRows = 0, drawColumns = 0;
    QRect frame;
    SensorGrid grid;            // its nodes: node (r, c) at r x B + c
    std::array<NoiseLegendItem, 3> legend{};
};
NoiseGridLayout LayoutNoiseGrid(int scale, int cell, int rows, int columns, uint16_t panelFlags, LabelSize gridLabel,
                                QSize legendText);

// ---- reports ----------------------------------------------------------------------------------

// The node table of both reports: the header line ("M%02d," for the B
// columns, "Sr%02d," for the C sector columns, "Self," when there are self
// nodes) and one line per row ("S%02d," then each mutual node by its class:
// "%.02f," best, "%.02f[B]," normal, "{R}%.02f," noisy; the row's sector
// values and its self value "%.02f,"). A value the arrays lack prints as 0.
void WriteNoiseTable(qvtext::TextWriter& w, const NoiseGradeResult& g, const NoiseCounts& counts);

// The process report "<folder>NoiseLevelReport.csv" of the production process.
std::string NoiseProcessReportPath(const std::string& reportFolder);
// Appends the section of `pattern` (1..3); pattern 1 writes the report's
// heading and versions first. False when the file could not be written.
bool WriteNoiseProcessReport(const std::string& path, int pattern, const ReportContext& r,
                             const NoiseGradeResult& g, const NoiseCounts& counts);

// The manual save: into `<noiseFolder>/Noise Level/` (made when missing), the
// first free name of the model name + "_" batch 1 [+ "_" batch 2] + "_%m%d" +
// "_STDEV" + "_00" .. "_99". The chosen CSV path, or "" when all 100 names are
// taken or the file could not be written (nothing is written then).
constexpr int kNoiseReportNames = 100;
std::string NoiseReportSuffix(const ReportContext& r, bool needBatch2);
std::string WriteNoiseReport(const std::string& noiseFolder, const ReportContext& r, bool needBatch2, int pattern,
                             const NoiseGradeResult& g, const NoiseCounts& counts);

}  // namespace vcx
