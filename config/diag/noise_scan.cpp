#include "diag/noise_scan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vcx {

namespace {

constexpr uint16_t kExchanged = 0x0001;

int clampCount(const uint16_t* array, int32_t count, int limit) {
    if (!array || count <= 0 || limit <= 0) return 0;
    return std::min<int>(count, limit);
}

double at(const std::vector<double>& v, size_t i) { return i < v.size() ? v[i] : 0.0; }

NoiseKindStats statsOf(const std::vector<double>& v) {
    NoiseKindStats s;
    if (v.empty()) return s;
    double sum = 0.0;
    s.minimum = 65535.0;
    for (double x : v) {
        sum += x;
        s.maximum = std::max(s.maximum, x);
        s.minimum = std::min(s.minimum, x);
    }
    s.average = sum / double(v.size());
    return s;
}

}  // namespace

const char* NoisePatternName(int pattern) {
    static const char* const names[kNoisePatternCount] = {"None", "White", "Black", "Checkerboard"};
    return pattern >= 0 && pattern < kNoisePatternCount ? names[pattern] : "";
}

const char* NoiseGradeName(int grade) {
    static const char* const names[] = {"Great", "Good", "OK", "Poor", "Bad"};
    return grade >= 0 && grade <= kNoiseBad ? names[grade] : "";
}

NoiseCounts ClampNoiseCounts(int rows, int columns, int extraColumns, const NewRawArray& frame) {
    NoiseCounts c;
    c.rows = std::max(rows, 0);
    c.columns = std::max(columns, 0);
    c.extraColumns = std::max(extraColumns, 0);
    c.n[kKindMutual] = clampCount(frame.mutual, frame.mutualCount, c.rows * c.columns);
    c.n[kKindSector] = clampCount(frame.extra, frame.extraCount, c.rows * c.extraColumns);
    c.n[kKindSelf] = clampCount(frame.last, frame.lastCount, c.rows);
    return c;
}

double NoiseDeviation(uint64_t sum, uint64_t sumSq, int n) {
    if (n < 1) return 0.0;
    // (n + 1) x SumSq - Sum^2 over (n + 1) x n: the same as (SumSq - Sum^2 / (n + 1)) / n,
    // exact in integers for up to 100 samples of 16-bit values.
    const uint64_t count = uint64_t(n) + 1;
    const uint64_t scaled = count * sumSq, square = sum * sum;
    if (scaled <= square) return 0.0;
    return std::sqrt(double(scaled - square) / (double(count) * double(n)));
}

void NoiseSampler::Reset(const NoiseCounts& counts) {
    counts_ = counts;
    for (int k = 0; k < kNoiseKinds; ++k) {
        const size_t n = size_t(counts.n[size_t(k)]);
        sum_[size_t(k)].assign(n, 0);
        sumSq_[size_t(k)].assign(n, 0);
        for (auto& slot : ring_[size_t(k)]) slot.assign(n, 0.0);
    }
}

void NoiseSampler::Add(int n, const uint16_t* mutual, const uint16_t* sector, const uint16_t* self) {
    const uint16_t* arrays[kNoiseKinds] = {mutual, sector, self};
    for (size_t k = 0; k < size_t(kNoiseKinds); ++k) {
        std::vector<uint64_t>& sum = sum_[k];
        std::vector<uint64_t>& sumSq = sumSq_[k];
        if (n == 0) {
            std::fill(sum.begin(), sum.end(), 0);
            std::fill(sumSq.begin(), sumSq.end(), 0);
        }
        for (size_t i = 0; i < sum.size(); ++i) {
            const uint64_t v = arrays[k] ? arrays[k][i] : 0;
            sum[i] += v;
            sumSq[i] += v * v;
        }
        if (n >= kNoiseFirstDeviation) {
            std::vector<double>& slot = ring_[k][size_t(n % kNoiseRingSlots)];
            for (size_t i = 0; i < sum.size(); ++i) slot[i] = NoiseDeviation(sum[i], sumSq[i], n);
        }
    }
}

bool NoiseSampler::Stable(int n) const {
    if (n < kNoiseFirstStability) return false;
    const double p = n > 29 ? double(n) : 30.0;
    for (size_t k = 0; k < size_t(kNoiseKinds); ++k)
        for (size_t i = 0; i < sum_[k].size(); ++i) {
            double sum = 0.0, lo = 0.0, hi = 0.0;
            for (size_t s = 0; s < size_t(kNoiseRingSlots); ++s) {
                const double v = ring_[k][s][i];
                sum += v;
                lo = s == 0 ? v : std::min(lo, v);
                hi = s == 0 ? v : std::max(hi, v);
            }
            const double average = sum / kNoiseRingSlots;
            if (hi > average * (100.0 + p) / 100.0 || lo < average * (100.0 - p) / 100.0) return false;
        }
    return true;
}

bool NoiseGradeResult::anyNoisy() const {
    return std::any_of(classes.begin(), classes.end(), [](uint8_t c) { return c == kNodeNoisy; });
}

NoiseGradeResult ComputeNoiseGrade(const NoiseSampler& sampler, int rounds, int threshold, const DiagConfig& grades) {
    NoiseDeviations deviation;
    const int slot = ((rounds > 0 ? rounds : 1) - 1) % kNoiseRingSlots;
    for (int k = 0; k < kNoiseKinds; ++k)
        deviation[size_t(k)] = rounds >= kNoiseRingSlots
                                   ? sampler.slot(k, slot)
                                   : std::vector<double>(size_t(sampler.counts().n[size_t(k)]), 0.0);
    return ComputeNoiseGrade(deviation, rounds, threshold, grades);
}

NoiseGradeResult ComputeNoiseGrade(const NoiseDeviations& deviation, int rounds, int threshold,
                                   const DiagConfig& grades) {
    NoiseGradeResult g;
    g.rounds = rounds;
    g.deviation = deviation;
    const size_t mutual = deviation[kKindMutual].size();
    g.classes.assign(mutual, kNodeBest);
    // Below ten samples no slot holds a deviation of this pattern: nothing is graded.
    if (rounds < kNoiseRingSlots) {
        for (auto& d : g.deviation) std::fill(d.begin(), d.end(), 0.0);
        g.grade = kNoiseBad;
        return g;
    }
    for (size_t k = 0; k < size_t(kNoiseKinds); ++k) g.stats[k] = statsOf(g.deviation[k]);
    const double t = double(threshold);
    size_t best = 0, normal = 0, noisy = 0;
    for (size_t i = 0; i < mutual; ++i) {
        const double sigma = g.deviation[kKindMutual][i];
        if (4.0 * sigma > t) {
            g.classes[i] = kNodeNoisy;
            ++noisy;
        } else if (6.0 * sigma > t) {
            g.classes[i] = kNodeNormal;
            ++normal;
        } else {
            ++best;
        }
    }
    if (mutual > 0) {
        g.best = double(best) * 100.0 / double(mutual);
        g.normal = double(normal) * 100.0 / double(mutual);
        g.noisy = double(noisy) * 100.0 / double(mutual);
    }
    const double okBest = grades.NoiseOK % 100, okNoisy = grades.NoiseOK / 100;
    const double poorBest = grades.NoisePoor % 100, poorNoisy = grades.NoisePoor / 100;
    if (g.best >= double(grades.NoiseGreat) && g.noisy == 0.0)
        g.grade = kNoiseGreat;
    else if (g.best >= double(grades.NoiseGood) && g.noisy == 0.0)
        g.grade = kNoiseGood;
    else if (g.best >= okBest && g.noisy <= okNoisy)
        g.grade = kNoiseOK;
    else if (g.best >= poorBest && g.noisy <= poorNoisy)
        g.grade = kNoisePoor;
    else
        g.grade = kNoiseBad;
    return g;
}

// ---- drawing ----------------------------------------------------------------------------------

NoiseGridLayout LayoutNoiseGrid(int scale, int cell, int rows, int columns, uint16_t panelFlags, LabelSize gridLabel,
                                QSize legendText) {
    NoiseGridLayout g;
    if (rows <= 0 || columns <= 0 || cell <= 0) return g;
    const bool exchanged = panelFlags & kExchanged;
    g.cell = cell;
    g.radius = std::clamp(cell / 3, 3, 8);
    g.drawColumns = exchanged ? rows : columns;
    g.drawRows = exchanged ? columns : rows;
    const QPoint origin(scale * 210 / 100, scale * 10 / 100);
    g.frame = QRect(origin, QSize(g.drawColumns * cell + 40, g.drawRows * cell + 40));
    const QPoint first(origin.x() + 20 + cell / 2, origin.y() + 20 + cell / 2);
    g.grid = LayoutSensorGrid(cell, first, gridLabel, rows, columns, panelFlags);
    // The legend: a row below the frame, each mark followed by its label.
    const int markRadius = std::max(g.radius, 5);
    const int y = g.frame.bottom() + 8 + std::max(legendText.height(), 2 * markRadius) / 2;
    int x = g.frame.left() + markRadius;
    for (NoiseLegendItem& item : g.legend) {
        item.mark = QPoint(x, y);
        item.label = QRect(QPoint(x + markRadius + 4, y - legendText.height() / 2), legendText);
        x = item.label.right() + 12 + markRadius;
    }
    return g;
}

// ---- reports ----------------------------------------------------------------------------------

namespace {

void writeStats(qvtext::TextWriter& w, const char* format, const NoiseKindStats& s) {
    w.printf(format, s.average, s.maximum, s.minimum);
}

bool ensureFolderOf(const std::string& path) {
    return QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
}

bool exists(const std::string& path) { return QFile::exists(QString::fromStdString(path)); }

}  // namespace

void WriteNoiseTable(qvtext::TextWriter& w, const NoiseGradeResult& g, const NoiseCounts& counts) {
    const int a = counts.rows, b = counts.columns, c = counts.extraColumns;
    const bool self = counts.n[kKindSelf] > 0;
    for (int j = 1; j <= b; ++j) w.printf("M%02d,", j);
    for (int j = 1; j <= c; ++j) w.printf("Sr%02d,", j);
    if (self) w.write("Self,");
    w.write("\r");
    for (int r = 0; r < a; ++r) {
        w.printf("S%02d,", r + 1);
        for (int j = 0; j < b; ++j) {
            const size_t i = size_t(r) * size_t(b) + size_t(j);
            const double v = at(g.deviation[kKindMutual], i);
            const uint8_t cls = i < g.classes.size() ? g.classes[i] : uint8_t(kNodeBest);
            if (cls == kNodeNoisy)
                w.printf("{R}%.02f,", v);
            else if (cls == kNodeNormal)
                w.printf("%.02f[B],", v);
            else
                w.printf("%.02f,", v);
        }
        for (int j = 0; j < c; ++j) w.printf("%.02f,", at(g.deviation[kKindSector], size_t(r) * size_t(c) + size_t(j)));
        if (self) w.printf("%.02f,", at(g.deviation[kKindSelf], size_t(r)));
        w.write("\r");
    }
    w.write("\r");
}

std::string NoiseProcessReportPath(const std::string& reportFolder) { return reportFolder + "NoiseLevelReport.csv"; }

bool WriteNoiseProcessReport(const std::string& path, int pattern, const ReportContext& r, const NoiseGradeResult& g,
                             const NoiseCounts& counts) {
    if (!ensureFolderOf(path)) return false;
    qvtext::TextWriter w(path.c_str(), qvtext::TextWriter::Mode::Append);
    if (!w.isOpen()) return false;
    if (pattern == 1) {
        w.write("\r[ Noise Level Result ]\r");
        WriteProcessVersions(w, r.device);
    }
    w.printf("\rTest Pattern : %s\r[Result] : %s\r", NoisePatternName(pattern), NoiseGradeName(g.grade));
    w.printf("\rTotal Test Count : %d\r", g.rounds);
    writeStats(w, "\rMutual,A:%.02f,M:%.02f,m:%.02f", g.stats[kKindMutual]);
    writeStats(w, "\rSector,A:%.02f,M:%.02f,m:%.02f", g.stats[kKindSector]);
    writeStats(w, "\rSelf(Abn),A:%.02f,M:%.02f,m:%.02f\r,", g.stats[kKindSelf]);
    WriteNoiseTable(w, g, counts);
    return w.close();
}

std::string NoiseReportSuffix(const ReportContext& r, bool needBatch2) {
    std::string suffix = "_" + r.batch1;
    if (needBatch2) suffix += "_" + r.batch2;
    // "%m%d" of the save's date ("%Y/%m/%d %H:%M:%S").
    const std::string& t = r.times.t1;
    suffix += "_" + (t.size() >= 10 ? t.substr(5, 2) + t.substr(8, 2) : std::string("0000"));
    return suffix + "_STDEV";
}

std::string WriteNoiseReport(const std::string& noiseFolder, const ReportContext& r, bool needBatch2, int pattern,
                             const NoiseGradeResult& g, const NoiseCounts& counts) {
    const std::string folder = noiseFolder + (noiseFolder.empty() || noiseFolder.back() == '/' ? "" : "/") +
                               "Noise Level/";
    if (!QDir().mkpath(QString::fromStdString(folder))) return {};
    const std::string suffix = NoiseReportSuffix(r, needBatch2);
    std::string path;
    for (int k = 0; k < kNoiseReportNames && path.empty(); ++k) {
        char number[8];
        std::snprintf(number, sizeof number, "_%02d", k);
        const std::string candidate = BuildCsvName(folder, r, suffix + number);
        if (!exists(candidate)) path = candidate;
    }
    if (path.empty()) return {};
    qvtext::TextWriter w(path.c_str(), qvtext::TextWriter::Mode::Create);
    if (!w.isOpen()) return {};
    w.printf("\rNoise Level Result : %s\r", NoiseGradeName(g.grade));
    w.printf("Total Test Count : %d\r", g.rounds);
    w.printf("Test Pattern : %s\r", NoisePatternName(pattern));
    writeStats(w, "Mutual,A:%.02f,M:%.02f,m:%.02f\r", g.stats[kKindMutual]);
    writeStats(w, "Sector,A:%.02f,M:%.02f,m:%.02f\r", g.stats[kKindSector]);
    writeStats(w, "Self(Abn),A:%.02f,M:%.02f,m:%.02f\r", g.stats[kKindSelf]);
    WriteNoiseTable(w, g, counts);
    if (!w.close()) return {};
    return path;
}

}  // namespace vcx
