// The system reference build against the simulated panel: every outcome with its
// result, return value, last commands and busy marks; the question to the caller;
// one build at a time; the report's bytes; a wide panel's column marks.
#include "library_support.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <future>
#include <thread>

namespace qvtest {
namespace {

using qvsim::ControllerProfile;
using qvsim::PacketPrefix;

// The panel-check controller ("diag"): 16 x 28 (+2), two frequency modes, version
// 1.02, with the library's reference feature (byte 4 bit 0).
ControllerProfile DiagPanel() {
    auto bench = qvsim::loadProfile("diag", nullptr);
    ControllerProfile p = bench->hid("/sim/hidraw0")->controller().profile();
    p.featureFC[0] |= 0x01;
    return p;
}

// The progress callback of a test: a plain function that forwards to a lambda.
std::function<void(int, int)> g_onProgress;
void OnProgress(int percent, int code) {
    if (g_onProgress) g_onProgress(percent, code);
}

class SystemReferenceTest : public LibTest {
protected:
    std::shared_ptr<qvsim::Controller> ctl;
    HANDLE h = INVALID_HANDLE_VALUE;
    std::vector<std::pair<int, int>> calls;  // the callback's arguments in order
    std::string report;

    void attach(const ControllerProfile& p) {
        ctl = std::make_shared<qvsim::Controller>(p);
        h = addHid(ctl, "/sim/hidraw0", "HID0", CurrentIdentity(2081, 2, 'A'));
        ctl->clearTrace();
    }
    void TearDown() override {
        g_onProgress = nullptr;
        std::remove(reportPath().c_str());
        LibTest::TearDown();
    }
    std::string reportPath() const { return logPath() + ".csv"; }
    // Runs a build with a recording callback (and `also` inside it); the report is read back.
    int build(uint8_t* result, std::function<void(int, int)> also = nullptr, bool callback = true) {
        std::remove(reportPath().c_str());
        g_onProgress = [this, also](int percent, int code) {
            calls.emplace_back(percent, code);
            if (also) also(percent, code);
        };
        const int ok = BuildSystemReferenceA(h, callback ? OnProgress : nullptr, reportPath().c_str(), result);
        report = ReadFile(reportPath());
        return ok;
    }
    uint8_t busyByte() {
        DiagnosticInfo info{};
        info.cbSize = sizeof info;
        EXPECT_EQ(GetDiagnosticInfo(h, &info), 1);
        return info.busy;
    }
    std::vector<std::string> tail(size_t n) {
        auto all = Hex(Received(*ctl));
        return std::vector<std::string>(all.end() - std::min(n, all.size()), all.end());
    }
};

const Packet kStatus{0xE4, 0x00, 0x00, 0x00, 0x00};
const Packet kModeRead{0xE4, 0x00, 0x00, 0x00, 0x01};
const Packet kLeaveNew{0xF9, 0xFF, 0x90, 0x00, 0x00};
const Packet kLeaveOld{0xF9, 0x00, 0x00, 0x00, 0x00};

qvsim::SensorFault Bump(uint8_t row, uint8_t column, int value, qvsim::SensorScope scope) {
    qvsim::SensorFault f;
    f.kind = qvsim::SensorFault::Kind::Bump;
    f.row = row;
    f.column = column;
    f.value = value;
    f.scope = scope;
    return f;
}

// Flatness count: eleven bumps of the threshold in mode 0 give two pairs of d = t
// each (count 22); one more at column B - 2 adds a single pair (23).
void FlatCount(ControllerProfile& p, bool oneMore) {
    p.sensor->noise = 0;
    const uint8_t at[11][2] = {{2, 3}, {2, 6}, {2, 9}, {2, 18}, {2, 21}, {4, 3},
                               {4, 6}, {4, 9}, {4, 18}, {4, 21}, {6, 3}};
    for (auto& n : at) p.sensor->faults.push_back(Bump(n[0], n[1], 60, qvsim::SensorScope::Mode0));
    if (oneMore) p.sensor->faults.push_back(Bump(6, 26, 60, qvsim::SensorScope::Mode0));
}

TEST_F(SystemReferenceTest, OutcomeTable) {
    struct Case {
        const char* name;
        std::function<void(ControllerProfile&)> profile;
        std::function<void(qvsim::Controller&)> faults;  // set when progress 10 is reported
        uint8_t result;
        int ret;
        bool report;
        std::vector<Packet> tail;
    };
    const std::vector<Packet> afterChecks{kModeRead, kLeaveNew, kLeaveOld};
    const std::vector<Packet> beforeNoise{kModeRead, kLeaveOld};
    const Case cases[] = {
        {"no feature", [](auto& p) { p.featureFC = {0, 0, 0, 0}; }, nullptr, 0, 1, false, {}},
        {"no modes", [](auto& p) { p.frequencyModes = std::array<uint8_t, 3>{0, 3, 0}; }, nullptr, 3, 1, false,
         {{0xF5, 0x00, 0x04, 0x00, 0x00}}},
        {"five modes", [](auto& p) { p.frequencyModes = std::array<uint8_t, 3>{5, 3, 0}; }, nullptr, 3, 1, false,
         {{0xF5, 0x00, 0x04, 0x00, 0x00}}},
        {"build refused", nullptr,
         [](auto&) {}, 2, 1, true, beforeNoise},
        {"five silent polls", nullptr,
         [](auto& c) { c.silence(PacketPrefix::exact(kStatus)); }, 5, 1, true, beforeNoise},
        {"busy for 20 polls", [](auto& p) { p.buildPolls = 20; }, nullptr, 6, 1, true, beforeNoise},
        {"noise at the threshold", [](auto& p) { p.noiseLevels[1] = 20; }, nullptr, 7, 1, true, beforeNoise},
        {"baseline refused", nullptr,
         [](auto& c) { c.refuse(PacketPrefix::exact({0xF9, 0xFF, 0x92, 0x00, 0x00})); }, 8, 1, true, afterChecks},
        {"row step", [](auto& p) { p.sensor->faults.push_back(Bump(5, 10, 2000, qvsim::SensorScope::Baseline)); },
         nullptr, 9, 1, true, afterChecks},
        {"mode difference refused", nullptr,
         [](auto& c) { c.refuse(PacketPrefix::exact({0xF9, 0xFF, 0x92, 0x00, 0x80})); }, 10, 1, true, afterChecks},
        {"count 22", [](auto& p) { FlatCount(p, false); }, nullptr, 1, 1, true, afterChecks},
        {"count 23", [](auto& p) { FlatCount(p, true); }, nullptr, 11, 1, true, afterChecks},
        {"threshold 0", [](auto& p) { p.groupInfo[{0x03, 0x01}] = {0x00, 0x00}; }, nullptr, 4, 1, true, afterChecks},
        {"save leaves bit 24", [](auto& p) { p.saveStatus = 0x0001; }, nullptr, 12, 1, true, afterChecks},
        {"clean", nullptr, nullptr, 1, 1, true, afterChecks},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ControllerProfile p = DiagPanel();
        if (k.profile) k.profile(p);
        LibTest::TearDown();
        LibTest::SetUp();
        attach(p);
        const bool refuseBuild = std::string(k.name) == "build refused";
        if (refuseBuild) ctl->refuse(PacketPrefix::exact({0xE4, 0x01, 0x00, 0x00, 0x01}));
        uint8_t result = 0xEE;
        const int ret = build(&result, [&](int percent, int) {
            if (percent == 10 && k.faults) k.faults(*ctl);
        });
        EXPECT_EQ(result, k.result);
        EXPECT_EQ(ret, k.ret);
        EXPECT_EQ(!report.empty(), k.report);
        if (k.report) {
            const std::string text = k.result == 1 ? "Result : Build complete.\r" : "Result : Build Failed.";
            EXPECT_NE(report.find("\r[Build Result]\r" + text), std::string::npos) << report.substr(report.size() - 80);
        }
        std::vector<std::string> want;
        for (const Packet& q : k.tail) want.push_back(Hex(q));
        EXPECT_EQ(tail(want.size()), want);
        if (k.tail.empty()) {
            EXPECT_TRUE(Received(*ctl).size() <= 1u);
        }
        // Both busy marks are back: the device's byte and the library's flag.
        EXPECT_EQ(busyByte(), 0);
        EXPECT_EQ(ContinueBuildSystemReference(1), 0);
        const auto sent = Received(*ctl);
        const bool saved = std::find(sent.begin(), sent.end(), Packet{0xE4, 0x01, 0x00, 0x00, 0x02}) != sent.end();
        EXPECT_EQ(saved, k.result == 1 || k.result == 12);
    }
}

TEST_F(SystemReferenceTest, QuestionKeepsOrOverridesTheFailure) {
    ControllerProfile p = DiagPanel();
    p.noiseLevels[0] = 30;  // 7: environmental interference
    struct Case {
        const char* name;
        int answer;  // -1: none
        uint8_t result;
        const char* ending;
    };
    const Case cases[] = {
        {"continue", 1, 1, "\r[Build Result]\rResult : Build complete.\rEnvironmental interference.\r"},
        {"keep", 0, 7, "\r[Build Result]\rResult : Build Failed.Environmental interference.\r"},
        {"no answer", -1, 7, "\r[Build Result]\rResult : Build Failed.Environmental interference.\r"},
    };
    uint64_t after[3] = {};
    for (int i = 0; i < 3; ++i) {
        const Case& k = cases[i];
        SCOPED_TRACE(k.name);
        LibTest::TearDown();
        LibTest::SetUp();
        attach(p);
        calls.clear();
        uint64_t asked = 0;
        uint8_t busyAsking = 0xEE, busyRunning = 0xEE;
        uint8_t result = 0;
        ASSERT_EQ(build(&result, [&](int percent, int code) {
                      if (percent == 10) busyRunning = busyByte();
                      if (percent != 255) return;
                      EXPECT_EQ(code, 7);
                      busyAsking = busyByte();
                      if (k.answer >= 0) {
                          EXPECT_EQ(ContinueBuildSystemReference(k.answer), 1);
                      }
                      asked = now();
                  }),
                  1);
        after[i] = now() - asked;
        EXPECT_EQ(result, k.result);
        EXPECT_EQ(busyRunning, 1);
        EXPECT_EQ(busyAsking, 0);
        ASSERT_GE(report.size(), strlen(k.ending));
        EXPECT_EQ(report.substr(report.size() - strlen(k.ending)), k.ending);
        // Asked once, after progress 30; a continue saves and reports 100.
        std::vector<std::pair<int, int>> want{{0, 255}, {10, 255}, {30, 255}, {255, 7}};
        if (k.answer == 1) want.emplace_back(100, 255);
        EXPECT_EQ(calls, want);
    }
    // Without an answer the build waits exactly 10 ms more than with a refusal.
    EXPECT_EQ(after[2], after[1] + 10);
}

TEST_F(SystemReferenceTest, OneBuildAtATime) {
    attach(DiagPanel());
    uint8_t inner = 0, result = 0;
    int innerRet = -1;
    ASSERT_EQ(build(&result, [&](int percent, int) {
                  if (percent == 0) innerRet = BuildSystemReferenceA(h, nullptr, nullptr, &inner);
              }),
              1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(innerRet, 1);
    EXPECT_EQ(inner, 128);

    // Two threads: the second finds the first one's build running.
    std::promise<void> started, release;
    auto go = release.get_future().share();
    uint8_t first = 0, second = 0;
    std::thread a([&] {
        g_onProgress = [&](int percent, int) {
            if (percent != 0) return;
            started.set_value();
            go.wait();
        };
        BuildSystemReferenceA(h, OnProgress, nullptr, &first);
    });
    started.get_future().wait();
    EXPECT_EQ(BuildSystemReferenceA(h, nullptr, nullptr, &second), 1);
    EXPECT_EQ(second, 128);
    EXPECT_EQ(ContinueBuildSystemReference(0), 1);  // a build runs
    release.set_value();
    a.join();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(ContinueBuildSystemReference(0), 0);
    // A missing result or an unknown handle: 0.
    EXPECT_EQ(BuildSystemReferenceA(h, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(BuildSystemReferenceA(reinterpret_cast<HANDLE>(0x5151), nullptr, nullptr, &result), 0);
}

// A 4 x 6 panel with a flat baseline, quiet modes and one raised node in mode 0.
TEST_F(SystemReferenceTest, GoldenReport) {
    ControllerProfile p = DiagPanel();
    p.rows = 4;
    p.columns = 6;
    p.extraColumns = 1;
    p.sensor->noise = 0;
    p.sensor->offsetSpan = 1;
    p.sensor->faults.push_back(Bump(1, 1, 60, qvsim::SensorScope::Mode0));
    p.groupInfo[{0x0D, 0x02}] = {3, 3};  // driver lines end at columns 2 and 5
    p.modeInvalid = {1, 2, 3, 0x4F};
    attach(p);
    uint8_t result = 0;
    const std::string path = reportPath();  // one string: its begin and end must belong together
    const std::u16string wide(path.begin(), path.end());
    std::remove(reportPath().c_str());
    ASSERT_EQ(BuildSystemReferenceW(h, nullptr, wide.c_str(), &result), 1);
    EXPECT_EQ(result, 1);
    const std::string zeros = "0,0,0,0,0,0,\r", raised = "0,60,0,0,0,0,\r", flat5 = "3000,3000,3000,3000,3000,\r";
    const std::string flat6 = "3000," + flat5;
    const std::string want =
        "\r[ Build System Reference Result ]\r"
        "\rMode Invalid : 0x01 0x02 0x03 0x4F\r"
        "\r[System Reference Flush Base]\r"
        "\rFrequency Mode 0\r" + zeros + raised + zeros + zeros +
        "\rFrequency Mode 1\r" + zeros + zeros + zeros + zeros +
        "\r[Noise]\rThreshold : 20\rFrequency Mode 0:,6\rFrequency Mode 1:,7\r"
        "\r[Raw data near]\rSensor :\r" + flat6 + flat6 + flat6 +
        "\rDriver :\r" + flat5 + flat5 + flat5 + flat5 +
        "\r[Base Flat]\rMax TH : 80\rCount TH : 22\r"
        "\rFrequency Mode 0\r" + zeros + "0,*60,0,0,0,0,\r" + zeros + zeros +
        "\rMax : 60\rCount : 1\r"
        "\rFrequency Mode 1\r" + zeros + zeros + zeros + zeros +
        "\rMax : 0\rCount : 0\r"
        "\r[Build Result]\rResult : Build complete.\r";
    EXPECT_EQ(ReadFile(reportPath()), want);
    // The reference status afterwards: version 1.02, nothing pending.
    uint8_t info[4] = {9, 9, 9, 9};
    EXPECT_EQ(GetSystemReferenceInformation(h, info), 1);
    EXPECT_EQ(std::vector<uint8_t>(info, info + 4), (std::vector<uint8_t>{1, 2, 0, 0}));
    EXPECT_EQ(GetSystemReferenceInformation(h, nullptr), 0);
}

// 200 mutual columns and 20 driver lines whose widths run far past them (the first
// of width 0): marks stay inside the row, the long report is written whole.
TEST_F(SystemReferenceTest, WidePanelKeepsItsMarksInside) {
    ControllerProfile p = DiagPanel();
    p.rows = 3;
    p.columns = 200;
    p.extraColumns = 0;
    p.sensor->offsetSpan = 1;
    p.groupInfo[{0x0D, 0x01}] = {0, 20};
    p.groupInfo[{0x0D, 0x02}] = {0, 25};
    for (uint8_t code = 0x03; code <= 0x09; ++code) p.groupInfo[{0x0D, code}] = {25, 25};
    attach(p);
    uint8_t result = 0;
    ASSERT_EQ(build(&result), 1);
    EXPECT_EQ(result, 1);
    // The width reads stop at eight (sixteen lines).
    int widthReads = 0;
    for (const Packet& q : Received(*ctl)) widthReads += q[0] == 0xF6 && q[1] == 0x0D && q[2] >= 0x02;
    EXPECT_EQ(widthReads, 8);
    EXPECT_GT(report.size(), 3u * 200u * 5u);
    EXPECT_NE(report.find("\r[Build Result]\rResult : Build complete.\r"), std::string::npos);
}

}  // namespace
}  // namespace qvtest
