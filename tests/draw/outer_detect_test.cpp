// The outer-detect ring classification, scoring and its log.
#include "outer_detect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

using namespace qvdraw;

TEST(DrawOuterDetect, RingIndexCountsWholeRingWidths) {
    struct Case { int64_t squared; int expected; };
    const double r = 10.0;
    const Case cases[] = {
        {0, 0}, {99, 0},            // nearer than r
        {100, 1},                    // exactly on the first boundary: outer ring
        {399, 1}, {400, 2},
        {2499, 4}, {2500, 5},        // 5r
        {1000000, 5},                // far beyond: capped at the last ring
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.squared);
        EXPECT_EQ(ringIndex(c.squared, r), c.expected);
    }
}

TEST(DrawOuterDetect, ScoresPointsAgainstTheFirstPoint) {
    OuterDetectSettings s;
    s.distanceMm = 2;
    s.coefficients = {0, 10, 20, 30, 40, 50};
    OuterDetect od(s, 5.0); // r = 10 pixels
    od.addPoint(3, 100, 100);       // centre, not scored
    od.addPoint(3, 100, 100);       // ring 0
    od.addPoint(3, 110, 100);       // on boundary r: ring 1
    od.addPoint(3, 100, 125);       // 2.5r: ring 2
    od.addPoint(3, 200, 200);       // far: ring 5
    const auto& c = od.contact(3);
    EXPECT_EQ(c.samples, 4);
    EXPECT_EQ(c.score, 0 + 10 + 20 + 50);
    EXPECT_EQ(c.rings, (std::array<int, 6>{1, 1, 1, 0, 0, 1}));
    EXPECT_FALSE(od.contact(4).seen());

    od.addPoint(10, 1, 1); // ids beyond the contact arrays are not scored
    od.addPoint(-1, 1, 1);
    od.reset();
    EXPECT_FALSE(od.contact(3).seen());
    EXPECT_EQ(od.contact(3).samples, 0);
}

TEST(DrawOuterDetect, IgnoreOtherFingerCountsPointsNearAnotherCentreAsRingZero) {
    for (bool ignore : {false, true}) {
        SCOPED_TRACE(ignore);
        OuterDetectSettings s;
        s.distanceMm = 1;
        s.ignoreOtherFinger = ignore;
        OuterDetect od(s, 10.0); // r = 10
        od.addPoint(0, 0, 0);
        od.addPoint(1, 35, 0);
        od.addPoint(0, 30, 0); // 3r from its own centre, 5 px from contact 1's
        EXPECT_EQ(od.contact(0).rings[ignore ? 0 : 3], 1);
        EXPECT_EQ(od.contact(0).score, ignore ? 0 : 3);
    }
}

TEST(DrawOuterDetect, DistanceBelowOneBecomesOne) {
    OuterDetectSettings s;
    s.distanceMm = 0;
    OuterDetect od(s, 4.0);
    EXPECT_EQ(od.settings().distanceMm, 1);
    EXPECT_DOUBLE_EQ(od.ringPixels(), 4.0);
}

TEST(DrawOuterDetect, ElapsedTimeKeepsThreeMillisecondDigits) {
    EXPECT_EQ(elapsedSecondsText(1005), "1.005");
    EXPECT_EQ(elapsedSecondsText(1050), "1.050");
    EXPECT_EQ(elapsedSecondsText(61234), "61.234");
    EXPECT_EQ(elapsedSecondsText(0), "0.000");
}

TEST(DrawOuterDetect, LogListsSeenContactsAndIsAppended) {
    OuterDetectSettings s;
    s.distanceMm = 5;
    OuterDetect od(s, 2.0); // r = 10
    od.addPoint(2, 50, 50);
    od.addPoint(2, 50, 62); // ring 1
    od.addPoint(2, 50, 50); // ring 0
    const std::string expected =
        "\r\nElapsed Time : 2.007 (s)\r\n"
        "Coefficient : 0 1 2 3 4 5\r\n"
        "Point 2 Noise Level : 1 / 2\r\n"
        "Outer Range : 0 (mm), Count : 1\r\n"
        "Outer Range : 5 (mm), Count : 1\r\n"
        "Outer Range : 10 (mm), Count : 0\r\n"
        "Outer Range : 15 (mm), Count : 0\r\n"
        "Outer Range : 20 (mm), Count : 0\r\n"
        "Outer Range : 25 (mm), Count : 0\r\n"
        "\r\n";
    EXPECT_EQ(od.logText(2007), expected);

    auto dir = std::filesystem::temp_directory_path() / ("draw_od_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto path = (dir / kOuterDetectLogName).string();
    std::string error;
    ASSERT_TRUE(od.appendLog(path, 2007, &error)) << error;
    ASSERT_TRUE(od.appendLog(path, 2007, &error)) << error;
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), expected + expected);

    EXPECT_FALSE(od.appendLog((dir / "missing" / "x.log").string(), 1, &error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
    std::filesystem::remove_all(dir);
}
