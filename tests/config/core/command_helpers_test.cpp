// The command helpers: the packet each one sends, how it reads the reply, its
// failure values, the status polling of the system-reference save,
// reset-and-close and the scan resumption.
#include "command_script_support.h"
#include "core/controller_api.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using cmdtest::Bytes;

// A scripted controller behind the SendCmd slot (command_script_support.h),
// and the other entry points the helpers call.
struct FakeDevice : cmdtest::CommandScript {
    std::vector<int> delays;
    std::vector<std::string> calls;
    bool resetWorks = true;
    uint8_t haltState = 0;
    uint16_t stateFlag = 0;
};
FakeDevice* g_fake = nullptr;
const HANDLE kHandle = reinterpret_cast<HANDLE>(intptr_t{0x42});

int fakeSendCmd(HANDLE h, const uint8_t command[5], uint8_t reply[5]) {
    EXPECT_EQ(h, kHandle);
    return g_fake->answer(command, reply);
}
int fakeSendDelayCmd(HANDLE h, const uint8_t command[5], uint8_t reply[5], int delayMs) {
    g_fake->delays.push_back(delayMs);
    return fakeSendCmd(h, command, reply);
}
int fakeResetMPU(HANDLE) { return g_fake->calls.push_back("ResetMPU"), g_fake->resetWorks; }
int fakeCloseDevice(HANDLE h) { return g_fake->calls.push_back(h == kHandle ? "Close" : "Close?"), 1; }
int fakeEnterDiag(HANDLE, int flag) { return g_fake->calls.push_back("Diag" + std::to_string(flag)), 1; }
int fakePCAP(HANDLE, int on) { return g_fake->calls.push_back("PCAP" + std::to_string(on)), 1; }
int fakeGetEventHalt(HANDLE, uint8_t* s) { return g_fake->calls.push_back("GetHalt"), *s = g_fake->haltState, 1; }
int fakeClearEventHalt(HANDLE) { return g_fake->calls.push_back("ClearHalt"), 1; }
int fakeStateFlagEx(HANDLE, StateFlagEx* s) { return s->flag = g_fake->stateFlag, 1; }

class VcxCommandHelpers : public ::testing::Test {
protected:
    void SetUp() override {
        g_fake = &fake_;
        c_.api.SendCmd = fakeSendCmd;
        c_.api.SendDelayCmd = fakeSendDelayCmd;
        c_.api.ResetMPU = fakeResetMPU;
        c_.api.CloseDevice = fakeCloseDevice;
        c_.api.EnterDiagnosticMode = fakeEnterDiag;
        c_.api.EnablePCAPScan = fakePCAP;
        c_.api.GetStateFlagEx = fakeStateFlagEx;
        c_.records.paraFuncTable.GetEventHalt = fakeGetEventHalt;
        c_.records.paraFuncTable.ClearEventHalt = fakeClearEventHalt;
        c_.dev.device = kHandle;
        c_.sleepMs = [this](int ms) { sleeps_.push_back(ms); };
    }
    void TearDown() override { g_fake = nullptr; }

    FakeDevice fake_;
    vcx::Controller c_;
    std::vector<int> sleeps_;
};

using HelperCase = cmdtest::CommandCase;

TEST_F(VcxCommandHelpers, PacketsRepliesAndFailureValues) {
    const auto none = [](vcx::Controller&) {};
    uint16_t u16 = 0xBEEF;
    uint32_t u32 = 0xBEEF;
    uint8_t maxv = 0xAB, val = 0xCD;
    const HelperCase cases[] = {
        {"ReadE0", none, {Bytes{0xE0, 0, 0x12, 0x5A, 0x01}}, [](auto& c) { return vcx::SendCmdReadE0(c, 0x12, 3); },
         {{0xE0, 0, 0x12, 0, 0}}, 0x5A},
        {"ReadE0 failed", none, {std::nullopt}, [](auto& c) { return vcx::SendCmdReadE0(c, 0x12, 3); },
         {{0xE0, 0, 0x12, 0, 0}}, 0},
        {"ReadE0 byte out of range", none, {}, [](auto& c) { return vcx::SendCmdReadE0(c, 0x12, 5); },
         {{0xE0, 0, 0x12, 0, 0}}, 0},
        {"WriteE1", none, {}, [](auto& c) { return vcx::SendCmdWriteE1(c, 0x22, 0x33, 0x90); },
         {{0xE1, 0x90, 0x22, 0, 0x33}}, 1},
        {"GetStatusE4", none, {Bytes{0xE4, 0, 0, 0x12, 0x34}},
         [&](auto& c) { return vcx::SendCmdGetStatusE4(c, &u16) * 0x10000LL + u16; }, {{0xE4, 0, 0, 0, 0}},
         0x11234},
        {"GetStatusE4 failed", none, {std::nullopt},
         [&](auto& c) { return vcx::SendCmdGetStatusE4(c, &u16) * 0x10000LL + u16; }, {{0xE4, 0, 0, 0, 0}}, 0},
        {"SetModeE4 1", none, {}, [](auto& c) { return vcx::SendCmdSetModeE4(c, 1); }, {{0xE4, 1, 0, 0, 1}}, 1},
        {"E7", none, {Bytes{0xE7, 0x78, 0x56, 0x34, 0x12}},
         [&](auto& c) { return vcx::SendCmdE7(c, 5, 0xAB123456, &u32) ? (long long)u32 : -1; },
         {{0xE7, 5, 0x12, 0x34, 0x56}}, 0x12345678},
        {"ReadE7 failed", [](auto& c) { c.dev.e7Value = 7; }, {std::nullopt},
         [](auto& c) { return vcx::SendCmdReadE7(c), (long long)c.dev.e7Value; }, {{0xE7, 0, 0, 0, 0}}, 0},
        {"ReadE7", none, {Bytes{0xE7, 1, 2, 3, 4}},
         [](auto& c) { return vcx::SendCmdReadE7(c), (long long)c.dev.e7Value; }, {{0xE7, 0, 0, 0, 0}},
         0x04030201},
        {"E9", none, {std::nullopt}, [](auto& c) { return vcx::SendCmdE9(c), 0LL; }, {{0xE9, 0, 0xAD, 0, 0}}, 0},
        {"WriteF2", none, {std::nullopt}, [](auto& c) { return vcx::SendCmdWriteF2(c, 9); }, {{0xF2, 0, 0, 0, 9}},
         0},
        {"F4", none, {}, [](auto& c) { return vcx::SendCmdF4(c, 0xAA, 1); }, {{0xF4, 0, 0xAA, 0, 1}}, 1},
        {"F5 older firmware", none, {}, [](auto& c) { return vcx::SendCmdF5(c, 0x13); }, {{0xF5, 0, 0x03, 0, 0}}, 1},
        {"F5 newer firmware", [](auto& c) { c.dev.newFirmware = true; }, {},
         [](auto& c) { return vcx::SendCmdF5(c, 0x13); }, {{0xF5, 0, 0xFF, 0, 0x13}}, 1},
        {"ReadF5", none, {Bytes{0, 0, 0, 0, 0x7E}}, [](auto& c) { return vcx::SendCmdReadF5(c, 4); },
         {{0xF5, 0, 4, 0, 0}}, 0x7E},
        {"ReadF5 failed", none, {std::nullopt}, [](auto& c) { return vcx::SendCmdReadF5(c, 4); },
         {{0xF5, 0, 4, 0, 0}}, 0xFF00},
        {"ReadF5 without SendCmd", [](auto& c) { c.api.SendCmd = nullptr; }, {},
         [](auto& c) { return vcx::SendCmdReadF5(c, 4); }, {}, 0xFF00},
        {"QueryF5", none, {Bytes{0xF5, 0xDD, 0xCC, 0xBB, 0xAA}},
         [&](auto& c) { return vcx::SendCmdQueryF5(c, 2, &u32) ? (long long)u32 : -1; }, {{0xF5, 0, 2, 0, 0}},
         0xAABBCCDD},
        {"QueryF6", none, {Bytes{0xF6, 6, 1, 9, 4}},
         [&](auto& c) { return vcx::SendCmdQueryF6(c, &maxv, &val) * 0x10000LL + maxv * 0x100 + val; },
         {{0xF6, 6, 1, 0, 0}}, 0x10904},
        {"QueryF6 refused", [&](auto&) { maxv = 0xAB, val = 0xCD; }, {Bytes{0xF6, 6, 0xFF, 9, 4}},
         [&](auto& c) { return vcx::SendCmdQueryF6(c, &maxv, &val) * 0x10000LL + maxv * 0x100 + val; },
         {{0xF6, 6, 1, 0, 0}}, 0xABCD},
        {"F3OrFD FD", [](auto& c) { c.dev.scanControlWord = 0xDFFF; }, {},
         [](auto& c) { return vcx::SendCmdF3OrFD(c, 3); }, {{0xFD, 0, 0, 0, 3}}, 1},
        {"F3OrFD F3", [](auto& c) { c.dev.scanControlWord = 0x2000; }, {},
         [](auto& c) { return vcx::SendCmdF3OrFD(c, 3); }, {{0xF3, 0, 0x0D, 0, 3}}, 1},
        {"QueryScanControlF3", none, {Bytes{0xF3, 0xAA, 0x0F, 0x34, 0x12}},
         [&](auto& c) { return vcx::SendCmdQueryScanControlF3(c, &u16) ? (long long)u16 : -1; }, {{0xF3, 0, 0x0F, 0, 0}},
         0x1234},
        {"QueryScanControlF3 without its mark", none, {Bytes{0xF3, 0x00, 0x0F, 0x34, 0x12}},
         [&](auto& c) { return vcx::SendCmdQueryScanControlF3(c, &u16); }, {{0xF3, 0, 0x0F, 0, 0}}, 0},
        {"QueryScanControlF3 failed", none, {std::nullopt},
         [&](auto& c) { return vcx::SendCmdQueryScanControlF3(c, &u16); }, {{0xF3, 0, 0x0F, 0, 0}}, 0},
        {"QueryReferenceVersionE4", none, {Bytes{0xE4, 2, 1, 0, 0}},
         [&](auto& c) { return vcx::SendCmdQueryReferenceVersionE4(c, &u16) ? (long long)u16 : -1; },
         {{0xE4, 0, 0, 0, 0}}, 102},
        {"QueryReferenceVersionE4 failed", none, {std::nullopt},
         [&](auto& c) { return vcx::SendCmdQueryReferenceVersionE4(c, &u16); }, {{0xE4, 0, 0, 0, 0}}, 0},
        {"QueryInterfaceFB", none, {Bytes{0xFB, 0, 0, 0, 7}},
         [&](auto& c) { return vcx::SendCmdQueryInterfaceFB(c, &maxv) ? (long long)maxv : -1; }, {{0xFB, 0, 0, 0, 0}},
         7},
        {"QueryInterfaceFB failed", none, {std::nullopt},
         [&](auto& c) { return vcx::SendCmdQueryInterfaceFB(c, &maxv); }, {{0xFB, 0, 0, 0, 0}}, 0},
        {"QueryE0", none, {Bytes{0xE0, 0, 0x02, 0, 0x0D}}, [](auto& c) { return vcx::SendCmdQueryE0(c, 0x02, 4); },
         {{0xE0, 0, 0x02, 0, 0}}, 0x0D},
        {"QueryE0 zero byte", none, {Bytes{0xE0, 0, 0x02, 0, 0}}, [](auto& c) { return vcx::SendCmdQueryE0(c, 0x02, 4); },
         {{0xE0, 0, 0x02, 0, 0}}, 0},
        // Unanswered is told apart from a zero byte.
        {"QueryE0 unanswered", none, {std::nullopt}, [](auto& c) { return vcx::SendCmdQueryE0(c, 0x02, 4); },
         {{0xE0, 0, 0x02, 0, 0}}, -1},
        {"QueryE0 byte out of range", none, {}, [](auto& c) { return vcx::SendCmdQueryE0(c, 0x02, 5); },
         {{0xE0, 0, 0x02, 0, 0}}, -1},
        {"ReadParameterVersionF6", none, {Bytes{0xF6, 0x00, 0x10, 1, 52}},
         [](auto& c) { return vcx::SendCmdReadParameterVersionF6(c); }, {{0xF6, 0, 0x10, 0, 0}}, 152},
        {"ReadParameterVersionF6 refused", none, {Bytes{0xF6, 0xFF, 0xFF, 1, 52}},
         [](auto& c) { return vcx::SendCmdReadParameterVersionF6(c); }, {{0xF6, 0, 0x10, 0, 0}}, 0},
        {"ReadParameterVersionF6 unanswered", none, {std::nullopt},
         [](auto& c) { return vcx::SendCmdReadParameterVersionF6(c); }, {{0xF6, 0, 0x10, 0, 0}}, 0},
    };
    for (const HelperCase& hc : cases) {
        SCOPED_TRACE(hc.name);
        fake_ = FakeDevice{};
        fake_.replies.assign(hc.replies.begin(), hc.replies.end());
        c_.dev = vcx::DeviceState{};
        c_.dev.device = kHandle;
        c_.api.SendCmd = fakeSendCmd;
        hc.setup(c_);
        EXPECT_EQ(hc.run(c_), hc.result);
        EXPECT_EQ(fake_.sent, hc.sent);
    }
}

TEST_F(VcxCommandHelpers, SystemReferenceSaveWaitsForTheBusyBitToReadClearTwice) {
    const Bytes busy{0xE4, 0, 0, 0x02, 0x00}, clear{0xE4, 0, 0, 0xFD, 0xFF};
    struct Case {
        const char* name;
        std::vector<std::optional<Bytes>> polls;
        int result;
        std::vector<int> sleeps;
    } cases[] = {
        // Clear only at the fourth poll: the extra poll, after the same wait, reads it clear again.
        {"clear at the fourth poll", {busy, busy, busy, clear, clear}, 1, {100, 150, 200, 250, 250}},
        {"clear at once", {clear, clear}, 1, {100, 100}},
        {"clear then busy", {clear, busy, busy, clear}, 1, {100, 100, 150, 200}},
        {"never clear", {busy, busy, busy, busy}, 0, {100, 150, 200, 250}},
        {"clear once at the end", {busy, busy, busy, clear, busy}, 0, {100, 150, 200, 250, 250}},
        // A failed status read counts as busy.
        {"failed polls", {std::nullopt, clear, std::nullopt, std::nullopt, std::nullopt}, 0,
         {100, 150, 150, 200, 250}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake_ = FakeDevice{};
        sleeps_.clear();
        fake_.replies.push_back(Bytes{0xE4, 1, 0, 0, 2});
        fake_.replies.insert(fake_.replies.end(), c.polls.begin(), c.polls.end());
        EXPECT_EQ(vcx::SendCmdSetModeE4(c_, 2), c.result);
        EXPECT_EQ(sleeps_, c.sleeps);
        EXPECT_EQ(fake_.delays, std::vector<int>{50});
        ASSERT_EQ(fake_.sent.size(), c.polls.size() + 1);
        EXPECT_EQ(fake_.sent[0], (Bytes{0xE4, 1, 0, 0, 2}));
        EXPECT_EQ(fake_.sent.back(), (Bytes{0xE4, 0, 0, 0, 0}));
    }
    // The mode command itself failing ends it at once.
    fake_ = FakeDevice{};
    sleeps_.clear();
    fake_.replies.push_back(std::nullopt);
    EXPECT_EQ(vcx::SendCmdSetModeE4(c_, 2), 0);
    EXPECT_TRUE(sleeps_.empty());
}

TEST_F(VcxCommandHelpers, ResetAndCloseDevice) {
    c_.dev.currentKey = "7";
    c_.dev.rememberedKey = "old";
    fake_.resetWorks = false;
    EXPECT_EQ(vcx::ResetAndCloseDevice(c_), 0);
    EXPECT_EQ(c_.dev.device, kHandle);
    EXPECT_EQ(c_.dev.rememberedKey, "old");
    EXPECT_EQ(fake_.calls, std::vector<std::string>{"ResetMPU"});

    fake_ = FakeDevice{};
    EXPECT_EQ(vcx::ResetAndCloseDevice(c_), 1);
    EXPECT_EQ(c_.dev.device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(c_.dev.rememberedKey, "7");
    EXPECT_EQ(fake_.calls, (std::vector<std::string>{"ResetMPU", "Close"}));
}

TEST_F(VcxCommandHelpers, ScanResumption) {
    using Calls = std::vector<std::string>;
    struct Case {
        const char* name;
        bool eventHalt;
        uint8_t haltState;
        uint16_t stateFlag;
        uint8_t generation;
        Calls calls;
    } cases[] = {
        {"halted, newer generation", true, 1, 0, 32, {"GetHalt", "Diag0", "ClearHalt"}},
        {"halted, older generation", true, 2, 0, 31, {"GetHalt", "PCAP1", "ClearHalt"}},
        {"not halted", true, 0, 0, 32, {"GetHalt"}},
        {"not scanning", false, 0, 0xFFFE, 40, {"Diag0"}},
        {"not scanning, older", false, 0, 0, 0, {"PCAP1"}},
        {"scanning", false, 0, 0x0001, 40, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake_ = FakeDevice{};
        fake_.haltState = c.haltState;
        fake_.stateFlag = c.stateFlag;
        c_.dev.eventHaltSupported = c.eventHalt;
        c_.records.diagInfo.capability[3] = c.generation;
        vcx::SetDiagnosticScanState(c_);
        EXPECT_EQ(fake_.calls, c.calls);
    }
    fake_ = FakeDevice{};
    vcx::RestartScan(c_);
    EXPECT_EQ(fake_.calls, (Calls{"Diag1", "PCAP1", "Diag0"}));
}

} // namespace
