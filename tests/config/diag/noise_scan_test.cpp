// The noise view's arithmetic without a window: node classes and grades
// against the finger threshold, the per-node deviation over many samples of
// large raw counts, the clamping of the frame record's counts, the end of a
// pattern by stability, and the drawn grid's layout.
#include "diag/noise_scan.h"

#include "qvsim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using vcx::NoiseDeviations;

NoiseDeviations mutualOnly(std::vector<double> sigma) { return {std::move(sigma), {}, {}}; }

// n nodes of sigma a, then m of sigma b, then k of sigma c.
std::vector<double> nodes(int n, double a, int m = 0, double b = 0, int k = 0, double c = 0) {
    std::vector<double> v(size_t(n), a);
    v.insert(v.end(), size_t(m), b);
    v.insert(v.end(), size_t(k), c);
    return v;
}

TEST(NoiseGrade, NodeClassesAgainstTheFingerThreshold) {
    const vcx::DiagConfig grades;
    struct Case {
        double sigma;
        int threshold;
        uint8_t cls;
    } cases[] = {
        {10, 60, vcx::kNodeBest},    // 6 sigma = 60 <= 60
        {12, 60, vcx::kNodeNormal},  // 72 > 60 >= 48
        {15, 60, vcx::kNodeNormal},  // 4 sigma = 60 is not above 60
        {16, 60, vcx::kNodeNoisy},   // 64 > 60
        {0.01, 0, vcx::kNodeNoisy},  // T = 0: any deviation is noisy
        {0, 0, vcx::kNodeBest},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "sigma " << k.sigma << " T " << k.threshold);
        const vcx::NoiseGradeResult g = vcx::ComputeNoiseGrade(mutualOnly({k.sigma}), 20, k.threshold, grades);
        ASSERT_EQ(g.classes.size(), 1u);
        EXPECT_EQ(g.classes[0], k.cls);
        EXPECT_EQ(g.anyNoisy(), k.cls == vcx::kNodeNoisy);
    }
}

TEST(NoiseGrade, GradeTable) {
    vcx::DiagConfig grades;  // Great 100, Good 95, OK 85 / red 1, Poor 50 / red 10
    struct Case {
        const char* what;
        std::vector<double> sigma;  // 100 nodes, T = 60
        int grade;
    } cases[] = {
        {"every sigma 0", nodes(100, 0), vcx::kNoiseGreat},
        {"all best", nodes(100, 10), vcx::kNoiseGreat},
        {"96 best, 4 normal", nodes(96, 1, 4, 12), vcx::kNoiseGood},
        {"99 best, 1 noisy: no Great nor Good", nodes(99, 1, 0, 0, 1, 16), vcx::kNoiseOK},
        {"86 best, 13 normal, 1 noisy", nodes(86, 1, 13, 12, 1, 16), vcx::kNoiseOK},
        {"86 best, 12 normal, 2 noisy", nodes(86, 1, 12, 12, 2, 16), vcx::kNoisePoor},
        {"50 best, 40 normal, 10 noisy", nodes(50, 1, 40, 12, 10, 16), vcx::kNoisePoor},
        {"49 best, 51 normal", nodes(49, 1, 51, 12), vcx::kNoiseBad},
        {"50 best, 39 normal, 11 noisy", nodes(50, 1, 39, 12, 11, 16), vcx::kNoiseBad},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ASSERT_EQ(k.sigma.size(), 100u);
        const vcx::NoiseGradeResult g = vcx::ComputeNoiseGrade(mutualOnly(k.sigma), 20, 60, grades);
        EXPECT_EQ(g.grade, k.grade);
        EXPECT_DOUBLE_EQ(g.best + g.normal + g.noisy, 100.0);
    }
    // Great needs no noisy node even when its best share is met.
    grades.NoiseGreat = 99;
    EXPECT_EQ(vcx::ComputeNoiseGrade(mutualOnly(nodes(99, 1, 0, 0, 1, 16)), 20, 60, grades).grade, vcx::kNoiseOK);
    EXPECT_EQ(vcx::ComputeNoiseGrade(mutualOnly(nodes(99, 1, 1, 12)), 20, 60, grades).grade, vcx::kNoiseGreat);
}

TEST(NoiseGrade, FewerThanTenSamplesGradeBad) {
    const vcx::DiagConfig grades;
    for (int rounds : {0, 1, 9}) {
        SCOPED_TRACE(rounds);
        const vcx::NoiseGradeResult g = vcx::ComputeNoiseGrade(mutualOnly(nodes(4, 0)), rounds, 60, grades);
        EXPECT_EQ(g.grade, vcx::kNoiseBad);
        EXPECT_FALSE(g.anyNoisy());
    }
    EXPECT_EQ(vcx::ComputeNoiseGrade(mutualOnly(nodes(4, 0)), 10, 60, grades).grade, vcx::kNoiseGreat);
    // The sampler's form reads no slot before ten samples either.
    vcx::NoiseSampler sampler;
    NewRawArray frame{};
    std::vector<uint16_t> values(4, 100);
    frame.mutual = values.data();
    frame.mutualCount = 4;
    sampler.Reset(vcx::ClampNoiseCounts(2, 2, 0, frame));
    EXPECT_EQ(vcx::ComputeNoiseGrade(sampler, 0, 60, grades).grade, vcx::kNoiseBad);
}

TEST(NoiseGrade, StatisticsPerKind) {
    const NoiseDeviations d = {std::vector<double>{1, 2, 3}, std::vector<double>{4}, std::vector<double>{}};
    const vcx::NoiseGradeResult g = vcx::ComputeNoiseGrade(d, 30, 60, vcx::DiagConfig{});
    EXPECT_DOUBLE_EQ(g.stats[vcx::kKindMutual].average, 2.0);
    EXPECT_DOUBLE_EQ(g.stats[vcx::kKindMutual].maximum, 3.0);
    EXPECT_DOUBLE_EQ(g.stats[vcx::kKindMutual].minimum, 1.0);
    EXPECT_DOUBLE_EQ(g.stats[vcx::kKindSector].minimum, 4.0);
    // A kind without nodes has 0, not the minimum's start value.
    EXPECT_DOUBLE_EQ(g.stats[vcx::kKindSelf].minimum, 0.0);
}

// The deviations of 100 frames of a panel at 20000 counts (sums far past 32
// bits once squared) equal the sample deviations taken in double precision
// from the same frames, for all three kinds.
TEST(NoiseSampler, DeviationOfLargeCountsMatchesDoublePrecision) {
    qvsim::ControllerProfile p;
    p.rows = 6;
    p.columns = 9;
    p.extraColumns = 2;
    p.sensor = qvsim::SensorProfile{};
    p.sensor->baseLevel = 20000;
    p.sensor->noise = 5;
    const size_t a = p.rows, b = p.columns, c = p.extraColumns, perRow = b + c + 1;
    std::vector<std::vector<uint16_t>> mutual, extra, last;
    for (uint32_t scan = 1; scan <= 100; ++scan) {
        const std::vector<uint16_t> whole = qvsim::SensorFrame(p, 1, scan, 0);
        std::vector<uint16_t> m, e, l;
        for (size_t r = 0; r < a; ++r) {
            m.insert(m.end(), whole.begin() + long(r * perRow), whole.begin() + long(r * perRow + b));
            e.insert(e.end(), whole.begin() + long(r * perRow + b), whole.begin() + long(r * perRow + b + c));
            l.push_back(whole[r * perRow + b + c]);
        }
        mutual.push_back(m);
        extra.push_back(e);
        last.push_back(l);
    }
    NewRawArray frame{};
    frame.mutual = mutual[0].data();
    frame.extra = extra[0].data();
    frame.last = last[0].data();
    frame.mutualCount = int(a * b);
    frame.extraCount = int(a * c);
    frame.lastCount = int(a);
    vcx::NoiseSampler sampler;
    sampler.Reset(vcx::ClampNoiseCounts(int(a), int(b), int(c), frame));
    for (int n = 0; n < 100; ++n) sampler.Add(n, mutual[size_t(n)].data(), extra[size_t(n)].data(), last[size_t(n)].data());
    const auto sigma = [](const std::vector<std::vector<uint16_t>>& frames, size_t i) {
        double mean = 0;
        for (const auto& f : frames) mean += f[i];
        mean /= double(frames.size());
        double sq = 0;
        for (const auto& f : frames) sq += (f[i] - mean) * (f[i] - mean);
        return std::sqrt(sq / double(frames.size() - 1));
    };
    const std::vector<std::vector<uint16_t>>* kinds[] = {&mutual, &extra, &last};
    const int slot = 99 % vcx::kNoiseRingSlots;
    double largest = 0;
    for (int k = 0; k < vcx::kNoiseKinds; ++k) {
        const std::vector<double>& got = sampler.slot(k, slot);
        ASSERT_EQ(got.size(), (*kinds[k])[0].size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i], sigma(*kinds[k], i), 1e-9) << "kind " << k << " node " << i;
            largest = std::max(largest, got[i]);
        }
    }
    EXPECT_GT(largest, 1.0);  // the frames do vary
}

TEST(NoiseSampler, DeviationNeverNegativeNorNaN) {
    EXPECT_EQ(vcx::NoiseDeviation(500, 25000, 9), 0.0);  // ten values of 50
    // Sums that do not fit together (a rounding or a corrupted read) give 0, never NaN.
    EXPECT_EQ(vcx::NoiseDeviation(1000, 10, 9), 0.0);
    EXPECT_EQ(vcx::NoiseDeviation(7, 49, 0), 0.0);
    EXPECT_DOUBLE_EQ(vcx::NoiseDeviation(3, 5, 1), std::sqrt(0.5));  // values 1 and 2
}

TEST(NoiseSampler, CountsAreCutToThePanelGeometry) {
    uint16_t buffer[4] = {};
    NewRawArray frame{};
    frame.mutual = frame.extra = frame.last = buffer;
    frame.mutualCount = 100000;
    frame.extraCount = 7;
    frame.lastCount = -3;
    vcx::NoiseCounts n = vcx::ClampNoiseCounts(4, 5, 2, frame);
    EXPECT_EQ(n.n[vcx::kKindMutual], 20);
    EXPECT_EQ(n.n[vcx::kKindSector], 7);
    EXPECT_EQ(n.n[vcx::kKindSelf], 0);
    frame.extraCount = 9;
    frame.lastCount = 50;
    frame.mutual = nullptr;
    n = vcx::ClampNoiseCounts(4, 5, 2, frame);
    EXPECT_EQ(n.n[vcx::kKindMutual], 0);
    EXPECT_EQ(n.n[vcx::kKindSector], 8);
    EXPECT_EQ(n.n[vcx::kKindSelf], 4);
}

// A constant panel is stable from sample 19 on, not before; a node whose
// deviation keeps growing is not, until the allowed spread (n %) takes it in.
TEST(NoiseSampler, StabilityFromSampleNineteen) {
    std::vector<uint16_t> quiet(4, 1000);
    NewRawArray frame{};
    frame.mutual = quiet.data();
    frame.mutualCount = 4;
    vcx::NoiseSampler sampler;
    sampler.Reset(vcx::ClampNoiseCounts(2, 2, 0, frame));
    for (int n = 0; n < 19; ++n) {
        sampler.Add(n, quiet.data(), nullptr, nullptr);
        EXPECT_FALSE(sampler.Stable(n)) << n;
    }
    sampler.Add(19, quiet.data(), nullptr, nullptr);
    EXPECT_TRUE(sampler.Stable(19));

    // Node 0 reads 1000 until sample 14, then 1000 + 40 x (n - 14): its deviation grows fast.
    vcx::NoiseSampler drifting;
    drifting.Reset(sampler.counts());
    bool stableBefore30 = false;
    for (int n = 0; n < 100; ++n) {
        std::vector<uint16_t> v = quiet;
        v[0] = uint16_t(1000 + (n > 14 ? 40 * (n - 14) : 0) + (n % 2));
        drifting.Add(n, v.data(), nullptr, nullptr);
        if (n < 30) stableBefore30 |= drifting.Stable(n);
    }
    EXPECT_FALSE(stableBefore30);
}

TEST(NoiseLayout, FrameNodesAndLegend) {
    const vcx::LabelSize label{20, 14};
    const QSize legend(50, 14);
    // 100 %: frame at (210, 10), 28 x 10 + 40 by 16 x 10 + 40.
    vcx::NoiseGridLayout g = vcx::LayoutNoiseGrid(100, 10, 16, 28, 0, label, legend);
    EXPECT_EQ(g.frame, QRect(210, 10, 320, 200));
    EXPECT_EQ(g.radius, 3);
    ASSERT_EQ(g.grid.nodes.size(), size_t(16 * 28));
    EXPECT_EQ(g.grid.nodes[0], QPoint(235, 35));
    for (const QPoint& n : g.grid.nodes) EXPECT_TRUE(g.frame.adjusted(20, 20, -20, -20).contains(n));
    for (const vcx::NoiseLegendItem& l : g.legend) EXPECT_GT(l.label.top(), g.frame.bottom());
    EXPECT_LT(g.legend[0].label.right(), g.legend[1].mark.x());
    // 150 % with rows and columns exchanged and the columns mirrored.
    g = vcx::LayoutNoiseGrid(150, 30, 16, 28, 0x0001 | 0x0400, label, legend);
    EXPECT_EQ(g.frame, QRect(315, 15, 16 * 30 + 40, 28 * 30 + 40));
    EXPECT_EQ(g.radius, 8);
    // Node (0, 0) is drawn column 0 mirrored: the rightmost drawn column.
    EXPECT_EQ(g.grid.nodes[0], QPoint(315 + 20 + 15 + 15 * 30, 15 + 20 + 15));
    EXPECT_EQ(g.grid.nodes[1], QPoint(315 + 20 + 15 + 15 * 30, 15 + 20 + 15 + 30));
    EXPECT_EQ(vcx::LayoutNoiseGrid(100, 0, 16, 28, 0, label, legend).cell, 0);
    EXPECT_EQ(vcx::LayoutNoiseGrid(100, 10, 0, 28, 0, label, legend).cell, 0);
}

}  // namespace
