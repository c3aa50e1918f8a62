// The N4 family's exports against the simulated controller: what each sends
// between its open and its close and what it returns, over USB HID and over a
// serial port; the open that fails; the virtual-key exports through a caller's
// callbacks; the exports that only say they are not supported.
#include "library_support.h"
#include "n4_internal.h"

#include <functional>
#include <regex>

namespace qvtest {
namespace {

namespace n4 = qvlib::n4;

enum class Link { Hid, Uart };
const char* const kHidPath = "/sim/hidraw0";
const char* const kUartPath = "/sim/ttyS0";

std::string LinkName(const ::testing::TestParamInfo<Link>& info) { return info.param == Link::Hid ? "Hid" : "Uart"; }

// A current-series controller with the item protocol and a system reference,
// whose identity reads "QV6020A.D05.2.7.3.13".
qvsim::ControllerProfile N4Profile() {
    qvsim::ControllerProfile p;
    p.identityNumber = 6020;
    p.letter = 1;
    p.major = 2;
    p.minor = 7;
    p.customer = 5;
    p.buildA = 3;
    p.buildB = 13;
    p.featureF4 = {0x02, 0x00, 0x80, 0x00};  // the item protocol
    p.featureFC = {0x01, 0x00, 0x00, 0x00};  // a system reference, no CRC of its own
    p.paraVersion = 130;
    p.items[{0x01, 0x02}] = qvsim::ParamItem{0x40, 0x11, 0};
    p.vbuttonEntrySize = 12;
    p.vbuttons = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {21, 22, 23, 24, 25, 26, 27, 28, 0, 0, 31, 32}};
    return p;
}

class N4ApiTest : public LibTest {
protected:
    std::shared_ptr<qvsim::Controller> ctl;

    void SetUp() override {
        LibTest::SetUp();
        n4::ResetSettings();
        QuorvaneN4_SetupSendCmdCallBack(nullptr);
        QuorvaneN4_SetupSendCmdOnlyCallBack(nullptr);
        ctl = std::make_shared<qvsim::Controller>(N4Profile());
    }
    void TearDown() override {
        n4::ResetSettings();
        QuorvaneN4_SetupSendCmdCallBack(nullptr);
        QuorvaneN4_SetupSendCmdOnlyCallBack(nullptr);
        QuorvaneN4_SetDebug(0);
        QuorvaneN4_SetLogFileA(nullptr);
        std::remove(debugPath().c_str());
        LibTest::TearDown();
    }

    void plug(Link link) {
        if (link == Link::Hid) {
            bench->addHid(ctl, ControllerHid(kHidPath, 0x6020, "1"));
        } else {
            qvsim::SerialInfo info;
            info.path = kUartPath;
            info.baud = 38400;
            bench->addSerial(ctl, info);
            ASSERT_EQ(QuorvaneN4_SetDevPathA(kUartPath), 1);
        }
    }

    // The commands the controller got, as hex; over the serial port the link's
    // F0 .. 01 at the open and F1 .. 01 at the close are checked and left out.
    std::vector<std::string> sent(Link link) {
        auto all = Hex(Received(*ctl));
        ctl->clearTrace();
        if (link == Link::Uart && !all.empty()) {
            EXPECT_EQ(all.front(), "F0 00 00 00 01");
            EXPECT_EQ(all.back(), "F1 00 00 00 01");
            if (all.size() < 2) return {};
            all.erase(all.begin());
            all.pop_back();
        }
        return all;
    }

    std::string debugPath() const { return logPath() + ".debug"; }
    void logTo(int level) {
        std::remove(debugPath().c_str());
        QuorvaneN4_SetLogFileA(debugPath().c_str());
        QuorvaneN4_SetDebug(level);
    }
    // The debug log's lines without their time prefix; only those that begin
    // with `prefix` when one is given (the transport's own lines left out).
    std::vector<std::string> debugLines(const std::string& prefix = "") const {
        std::vector<std::string> out;
        const std::string text = ReadFile(debugPath());
        static const std::regex time(R"(^\[\d\d:\d\d:\d\d\] )");
        size_t from = 0;
        for (size_t end = text.find('\n'); end != std::string::npos; from = end + 1, end = text.find('\n', from)) {
            std::string line = std::regex_replace(text.substr(from, end - from), time, "");
            while (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind(prefix, 0) == 0) out.push_back(line);
        }
        return out;
    }
};

class N4Exports : public N4ApiTest, public ::testing::WithParamInterface<Link> {};

struct ExportRow {
    const char* name;
    std::function<int()> call;
    std::vector<std::string> sent;
    int result;
    std::function<void(qvsim::Controller&)> setup = nullptr;
};

const std::vector<std::string> kLockOn = {"E0 00 F4 00 00", "F3 00 07 00 01"};
const std::vector<std::string> kLockOff = {"E0 00 F4 00 00", "F3 00 07 00 00"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

uint8_t g_byte;
uint16_t g_word;
uint32_t g_u32[4];
char g_text[QV_N4_VERSION_TEXT];

std::vector<ExportRow> ExportTable() {
    return {
        {"GetDrvVersion", [] { return QuorvaneN4_GetDrvVersion(&g_u32[0], &g_u32[1], nullptr, &g_u32[3]); }, {}, 1},
        {"GetDevVersionStrA", [] { return QuorvaneN4_GetDevVersionStrA(g_text); },
         {"EE 00 00 00 00", "ED 00 00 00 00"}, 1},
        {"GloveMode", [] { return QuorvaneN4_GloveMode(2); }, {"F3 00 01 00 02"}, 1},
        {"DeviceReset", [] { return QuorvaneN4_DeviceReset(); }, {"FE 00 00 00 00", "FE 00 00 00 00"}, 1},
        {"SetParam", [] { return QuorvaneN4_SetParam(79, 0x22); },
         Join({kLockOn, {"E1 00 4F 00 22"}, kLockOff}), 1},
        {"SetParamAP", [] { return QuorvaneN4_SetParamAP(5, 0x23); },
         Join({kLockOn, {"E1 80 05 00 23"}, kLockOff}), 1},
        {"SetParamBT", [] { return QuorvaneN4_SetParamBT(63, 0x24); },
         Join({kLockOn, {"E1 90 3F 00 24"}, kLockOff}), 1},
        {"SetParam rejected", [] { return QuorvaneN4_SetParam(6, 1); }, Join({kLockOn, {"E1 00 06 00 01"}, kLockOff}),
         0, [](qvsim::Controller& c) { c.setReply(qvsim::PacketPrefix::code(0xE1), qvsim::Packet{0xAA, 0xBB, 0xCC, 0xDD, 0xEE}); }},
        {"GetParam", [] { return QuorvaneN4_GetParam(3, &g_byte); }, {"E0 00 03 00 00"}, 1},
        {"GetParamAP", [] { return QuorvaneN4_GetParamAP(4, &g_byte); }, {"E0 80 04 00 00"}, 1},
        {"GetParamBT", [] { return QuorvaneN4_GetParamBT(5, &g_byte); }, {"E0 90 05 00 00"}, 1},
        {"GetParamCRC own", [] { return QuorvaneN4_GetParamCRC(); }, {"E0 00 FC 00 00", "E0 00 FA 00 00"}, 0xBEEF,
         [](qvsim::Controller& c) {
             c.setReply(qvsim::Packet{0xE0, 0x00, 0xFC, 0x00, 0x00}, qvsim::Packet{0xE0, 0x10, 0, 0, 0});
             c.setReply(qvsim::Packet{0xE0, 0x00, 0xFA, 0x00, 0x00}, qvsim::Packet{0xE0, 0xEF, 0xBE, 0, 0});
         }},
        {"GetParamCRC in the boot loader", [] { return QuorvaneN4_GetParamCRC(); },
         {"E0 00 FC 00 00", "EE 00 00 00 00", "ED 00 00 00 00"}, -1,
         [](qvsim::Controller& c) {
             c.setReply(qvsim::Packet{0xED, 0, 0, 0, 0}, qvsim::Packet{0xED, 0x07, 0x05, 0x55, 0xAA});
         }},
        {"GetSRStatus built", [] { return QuorvaneN4_GetSRStatus(); }, {"E0 00 FC 00 00", "E4 00 00 00 00"}, 1,
         [](qvsim::Controller& c) { c.setReply(qvsim::Packet{0xE4, 0, 0, 0, 0}, qvsim::Packet{0xE4, 0, 0, 0, 0}); }},
        {"GetSRStatus building", [] { return QuorvaneN4_GetSRStatus(); }, {"E0 00 FC 00 00", "E4 00 00 00 00"}, 0,
         [](qvsim::Controller& c) { c.setReply(qvsim::Packet{0xE4, 0, 0, 0, 0}, qvsim::Packet{0xE4, 0, 0, 1, 1}); }},
        {"GetSRStatus unsupported", [] { return QuorvaneN4_GetSRStatus(); }, {"E0 00 FC 00 00"}, -1,
         [](qvsim::Controller& c) { c.editProfile([](auto& p) { p.featureFC[0] = 0x10; }); }},
        {"ResetSR", [] { return QuorvaneN4_ResetSR(); }, {"E0 00 FC 00 00", "E4 01 00 00 FF"}, 1},
        {"InitSR", [] { return QuorvaneN4_InitSR(); }, {"E0 00 FC 00 00", "E4 01 00 00 01", "E4 00 00 00 00"}, 1},
        {"VKeyGetCRC", [] { return QuorvaneN4_VKeyGetCRC(nullptr, &g_word); }, {"F6 0F 03 00 00"}, 1},
        {"VKeyClear", [] { return QuorvaneN4_VKeyClear(nullptr, 1); }, {"F6 0F 90 00 01"}, 1},
        {"VKeyInit", [] { return QuorvaneN4_VKeyInit(INVALID_HANDLE_VALUE, &g_byte); }, {"F6 0F 91 00 00"}, 1},
        {"VKeyLoadSetting", [] { return QuorvaneN4_VKeyLoadSetting(nullptr, 0); }, {"F6 0F 92 00 00"}, 1},
        {"VKeyWriteFlash", [] { return QuorvaneN4_VKeyWriteFlash(nullptr); }, {"F6 0F 93 AA 55"}, 1},
        {"GetUserSetting8", [] { return QuorvaneN4_GetUserSetting8(1, 2, &g_byte, nullptr); },
         {"E0 00 F4 00 00", "F6 01 12 00 00"}, 1},
        {"GetUserSetting8 refused", [] { return QuorvaneN4_GetUserSetting8(1, 3, &g_byte, &g_byte); },
         {"E0 00 F4 00 00", "F6 01 13 00 00"}, 0},
        {"GetUserSetting8 without items", [] { return QuorvaneN4_GetUserSetting8(1, 2, &g_byte, &g_byte); },
         {"E0 00 F4 00 00"}, -1, [](qvsim::Controller& c) { c.editProfile([](auto& p) { p.featureF4 = {}; }); }},
        {"GetUserSetting16", [] { return QuorvaneN4_GetUserSetting16(1, 2, &g_word); },
         {"E0 00 F4 00 00", "F6 01 12 00 00"}, 1},
        {"SetUserSetting8", [] { return QuorvaneN4_SetUserSetting8(1, 2, 0x13); },
         {"F6 00 9F 00 01", "F6 01 82 00 13", "F6 00 9F 00 00"}, 0x5A,
         [](qvsim::Controller& c) {
             c.setReply(qvsim::Packet{0xF6, 0x01, 0x82, 0x00, 0x13}, qvsim::Packet{0xF6, 0x01, 0x82, 0x00, 0x5A});
         }},
        {"SetUserSetting16", [] { return QuorvaneN4_SetUserSetting16(1, 15, 0x0304); },
         {"F6 00 9F 00 01", "F6 01 8F 04 03", "F6 00 9F 00 00"}, 0x21,
         [](qvsim::Controller& c) {
             c.setReply(qvsim::PacketPrefix::code(0xF6), qvsim::Packet{0xF6, 0x01, 0x8F, 0x00, 0x21});
         }},
        {"SetUserSetting8 refused", [] { return QuorvaneN4_SetUserSetting8(1, 2, 0x13); },
         {"F6 00 9F 00 01", "F6 01 82 00 13", "F6 00 9F 00 00"}, -1,
         [](qvsim::Controller& c) {
             c.setReply(qvsim::Packet{0xF6, 0x01, 0x82, 0x00, 0x13}, qvsim::Packet{0xF6, 0xFF, 0xFF, 0x00, 0x00});
         }},
        {"EnterSleepMode", [] { return QuorvaneN4_EnterSleepMode(1); }, {"E2 00 00 00 00"}, 1},
        {"EnterSleepMode leave", [] { return QuorvaneN4_EnterSleepMode(0); }, {"FC 00 00 00 00"}, 1},
        {"EnableTouchScan", [] { return QuorvaneN4_EnableTouchScan(1); }, {"F1 00 00 00 00"}, 1},
        {"EnableTouchScan off", [] { return QuorvaneN4_EnableTouchScan(0); }, {"F0 00 00 00 00", "E0 00 F0 00 00"},
         1},
        {"ChangeI2CAddress", [] { return QuorvaneN4_ChangeI2CAddress(0x25); },
         Join({kLockOn,
               {"E1 90 01 00 4A", "EA 00 AA 00 00", "EA 00 AA 00 00", "FE 00 00 00 00", "FE 00 00 00 00"}}),
         1},
    };
}

TEST_P(N4Exports, EachExportSendsItsCommandsBetweenOpenAndClose) {
    plug(GetParam());
    for (const auto& row : ExportTable()) {
        SCOPED_TRACE(row.name);
        ctl->clearReplies();
        ctl->clearFaults();
        const auto profile = ctl->profile();
        if (row.setup) row.setup(*ctl);
        ctl->clearTrace();
        EXPECT_EQ(row.call(), row.result);
        EXPECT_EQ(sent(GetParam()), row.sent);
        ctl->editProfile([&](auto& p) { p = profile; });
    }
}

TEST_P(N4Exports, OutputsCarryWhatTheControllerAnswered) {
    plug(GetParam());
    char text[QV_N4_VERSION_TEXT] = {};
    ASSERT_EQ(QuorvaneN4_GetDevVersionStrA(text), 1);
    EXPECT_STREQ(text, "QV6020A.D05.2.7.3.13");
    // The wide twin cuts to its count.
    QVWCHAR wide[QV_N4_VERSION_TEXT];
    ASSERT_EQ(QuorvaneN4_GetDevVersionStrW(wide, 8), 1);
    EXPECT_EQ(std::u16string(wide), u"QV6020A");

    uint32_t v[4] = {9, 9, 9, 9};
    ASSERT_EQ(QuorvaneN4_GetDrvVersion(&v[0], &v[1], &v[2], &v[3]), 1);
    EXPECT_EQ(std::vector<uint32_t>(v, v + 4), (std::vector<uint32_t>{0, 0, 0, 0}));

    ctl->setReg(0x00, 0x03, {0, 0, 0, 0x5C});
    uint8_t byte = 0, maximum = 0;
    ASSERT_EQ(QuorvaneN4_GetParam(3, &byte), 1);
    EXPECT_EQ(byte, 0x5C);
    ASSERT_EQ(QuorvaneN4_GetUserSetting8(1, 2, &byte, &maximum), 1);
    EXPECT_EQ(byte, 0x11);
    EXPECT_EQ(maximum, 0x40);
    ctl->setReply(qvsim::Packet{0xF6, 0x01, 0x12, 0x00, 0x00}, qvsim::Packet{0xF6, 0x01, 0x12, 0x34, 0x12});
    uint16_t word = 0;
    ASSERT_EQ(QuorvaneN4_GetUserSetting16(1, 2, &word), 1);
    EXPECT_EQ(word, 0x1234);

    ctl->setReply(qvsim::Packet{0xF6, 0x0F, 0x03, 0x00, 0x00}, qvsim::Packet{0xF6, 0x0F, 0x03, 0xCD, 0xAB});
    ASSERT_EQ(QuorvaneN4_VKeyGetCRC(nullptr, &word), 1);
    EXPECT_EQ(word, 0xABCD);  // byte 4 * 256 + byte 3
    ctl->clearReplies();

    // The key table read back as it was written.
    VButtonTable table{};
    ASSERT_EQ(QuorvaneN4_VKeyRead(nullptr, &table), 1);
    EXPECT_EQ(table.entrySize, 12);
    EXPECT_EQ(table.usedCount, 1);
    EXPECT_EQ(table.entry[1][3], 24);
    table.entry[0][0] = 0x77;
    ctl->clearTrace();
    ASSERT_EQ(QuorvaneN4_VKeyWrite(nullptr, &table), 1);
    const auto written = sent(GetParam());
    EXPECT_EQ(written.front(), "F6 00 9F 00 01");
    EXPECT_EQ(written.back(), "F6 00 9F 00 00");
    EXPECT_EQ(ctl->profile().vbuttons[0][0], 0x77);
    EXPECT_EQ(ctl->profile().vbuttons[1][3], 24);
}

TEST_P(N4Exports, NothingOpensThenEveryExportFails) {
    if (GetParam() == Link::Uart) n4::SetUartPath("/sim/none");  // set, but nothing is there
    // Without a controller: 0, and -1 for the system reference.
    const std::vector<std::pair<const char*, std::function<int()>>> zero = {
        {"GetDrvVersion", [] { return QuorvaneN4_GetDrvVersion(nullptr, nullptr, nullptr, nullptr); }},
        {"GetDevVersionStrA", [] { return QuorvaneN4_GetDevVersionStrA(g_text); }},
        {"GetDevVersionStrW", [] { QVWCHAR w[8]; return QuorvaneN4_GetDevVersionStrW(w, 8); }},
        {"GloveMode", [] { return QuorvaneN4_GloveMode(1); }},
        {"DeviceReset", [] { return QuorvaneN4_DeviceReset(); }},
        {"SetParam", [] { return QuorvaneN4_SetParam(1, 1); }},
        {"SetParamAP", [] { return QuorvaneN4_SetParamAP(1, 1); }},
        {"SetParamBT", [] { return QuorvaneN4_SetParamBT(1, 1); }},
        {"GetParam", [] { return QuorvaneN4_GetParam(1, &g_byte); }},
        {"GetParamAP", [] { return QuorvaneN4_GetParamAP(1, &g_byte); }},
        {"GetParamBT", [] { return QuorvaneN4_GetParamBT(1, &g_byte); }},
        {"GetParamCRC", [] { return QuorvaneN4_GetParamCRC(); }},
        {"VKeyGetCRC", [] { return QuorvaneN4_VKeyGetCRC(nullptr, &g_word); }},
        {"VKeyClear", [] { return QuorvaneN4_VKeyClear(nullptr, 0); }},
        {"VKeyInit", [] { return QuorvaneN4_VKeyInit(nullptr, &g_byte); }},
        {"VKeyLoadSetting", [] { return QuorvaneN4_VKeyLoadSetting(nullptr, 0); }},
        {"VKeyWriteFlash", [] { return QuorvaneN4_VKeyWriteFlash(nullptr); }},
        {"VKeyRead", [] { VButtonTable t; return QuorvaneN4_VKeyRead(nullptr, &t); }},
        {"VKeyWrite", [] { VButtonTable t{}; return QuorvaneN4_VKeyWrite(nullptr, &t); }},
        {"GetUserSetting8", [] { return QuorvaneN4_GetUserSetting8(1, 1, &g_byte, &g_byte); }},
        {"GetUserSetting16", [] { return QuorvaneN4_GetUserSetting16(1, 1, &g_word); }},
        {"SetUserSetting8", [] { return QuorvaneN4_SetUserSetting8(1, 1, 1); }},
        {"SetUserSetting16", [] { return QuorvaneN4_SetUserSetting16(1, 1, 1); }},
        {"EnterSleepMode", [] { return QuorvaneN4_EnterSleepMode(1); }},
        {"EnableTouchScan", [] { return QuorvaneN4_EnableTouchScan(1); }},
        {"ChangeI2CAddress", [] { return QuorvaneN4_ChangeI2CAddress(0x20); }},
    };
    for (const auto& [name, call] : zero) EXPECT_EQ(call(), 0) << name;
    EXPECT_EQ(QuorvaneN4_GetSRStatus(), -1);
    EXPECT_EQ(QuorvaneN4_ResetSR(), -1);
    EXPECT_EQ(QuorvaneN4_InitSR(), -1);
}

INSTANTIATE_TEST_SUITE_P(Links, N4Exports, ::testing::Values(Link::Hid, Link::Uart), LinkName);

// ---- edges ---------------------------------------------------------------------------

TEST_F(N4ApiTest, RefusedArgumentsSendNothing) {
    plug(Link::Uart);  // an open would show as F0 .. 01
    // Items above 15 would reach the group's control codes; addresses above 0x7F
    // wrap when shifted; index 64 lies past the boot bank; NULL outputs.
    EXPECT_EQ(QuorvaneN4_SetUserSetting8(1, 16, 1), -1);
    EXPECT_EQ(QuorvaneN4_SetUserSetting16(0, 0x1F, 1), -1);
    EXPECT_EQ(QuorvaneN4_ChangeI2CAddress(0x80), 0);
    EXPECT_EQ(QuorvaneN4_SetParamBT(64, 1), 0);
    EXPECT_EQ(QuorvaneN4_SetParam(80, 1), 0);
    EXPECT_EQ(QuorvaneN4_SetParamAP(80, 1), 0);
    EXPECT_EQ(QuorvaneN4_GetParam(1, nullptr), 0);
    EXPECT_EQ(QuorvaneN4_GetUserSetting16(1, 1, nullptr), 0);
    EXPECT_EQ(QuorvaneN4_VKeyGetCRC(nullptr, nullptr), 0);
    EXPECT_EQ(QuorvaneN4_VKeyInit(nullptr, nullptr), 0);
    EXPECT_EQ(QuorvaneN4_VKeyRead(nullptr, nullptr), 0);
    EXPECT_EQ(QuorvaneN4_VKeyWrite(nullptr, nullptr), 0);
    EXPECT_EQ(QuorvaneN4_GetDevVersionStrA(nullptr), 0);
    EXPECT_EQ(QuorvaneN4_GetDevVersionStrW(nullptr, 64), 0);
    uint32_t v = 0;
    EXPECT_EQ(QuorvaneN4_GetLibVersion(&v, nullptr), 0);
    EXPECT_EQ(QuorvaneN4_GetLibVersionEx(&v, &v, nullptr, &v), 0);
    EXPECT_TRUE(Received(*ctl).empty()) << Hex(Received(*ctl)).front();
}

TEST_F(N4ApiTest, SettingsAndVersions) {
    uint32_t v[4] = {};
    ASSERT_EQ(QuorvaneN4_GetLibVersionEx(&v[0], &v[1], &v[2], &v[3]), 1);
    EXPECT_EQ(std::vector<uint32_t>(v, v + 4), (std::vector<uint32_t>{2, 4, 5, 11}));
    ASSERT_EQ(QuorvaneN4_GetLibVersion(&v[0], &v[1]), 1);
    EXPECT_EQ(v[0] * 10 + v[1], 24u);

    EXPECT_EQ(n4::BaudRate(), 38400u);
    for (uint32_t rate : {9600u, 19200u, 38400u, 115200u, 57600u}) EXPECT_EQ(QuorvaneN4_SetBaudRate(rate), 1) << rate;
    EXPECT_EQ(QuorvaneN4_SetBaudRate(12345), 0);
    EXPECT_EQ(QuorvaneN4_SetBaudRate(0), 0);
    EXPECT_EQ(n4::BaudRate(), 57600u);

    EXPECT_EQ(QuorvaneN4_SetDevIOPort(0x3F8), 1);
    EXPECT_EQ(QuorvaneN4_SetDevIRQ(4), 1);
    EXPECT_EQ(n4::IoPort(), 0x3F8u);
    EXPECT_EQ(n4::Irq(), 4u);
    EXPECT_EQ(QuorvaneN4_UseI2CAddress(0x41), 1);
}

TEST_F(N4ApiTest, TheSerialPathIsKeptOnlyWhenItOpens) {
    plug(Link::Uart);
    EXPECT_EQ(n4::UartPath(), kUartPath);
    EXPECT_EQ(QuorvaneN4_SetDevPathA("/sim/ttyS9"), 0);  // nothing there: the old one stays
    EXPECT_EQ(QuorvaneN4_SetDevPathA(("/sim/" + std::string(300, 'x')).c_str()), 0);
    EXPECT_EQ(QuorvaneN4_SetDevPathA(nullptr), 0);
    EXPECT_EQ(n4::UartPath(), kUartPath);
    // The whole path, however long, reaches the open.
    const std::string longPath = "/sim/serial/by-id/usb-Quorvane_Touch_Controller_0123456789ABCDEF-if00-port0";
    qvsim::SerialInfo info;
    info.path = longPath;
    info.baud = 38400;
    bench->addSerial(ctl, info);
    ASSERT_EQ(QuorvaneN4_SetDevPathA(longPath.c_str()), 1);
    char text[QV_N4_VERSION_TEXT] = {};
    EXPECT_EQ(QuorvaneN4_GetDevVersionStrA(text), 1);
    EXPECT_STREQ(text, "QV6020A.D05.2.7.3.13");
    // "" goes back to the USB HID search.
    EXPECT_EQ(QuorvaneN4_SetDevPathA(""), 1);
    EXPECT_EQ(n4::UartPath(), "");
}

TEST_F(N4ApiTest, WideTwinsTakeANonAsciiFullPathName) {
    const std::string path = "/sim/tty\xC3\xA9\xE2\x82\xAC";  // "/sim/ttyé€"
    qvsim::SerialInfo info;
    info.path = path;
    info.baud = 38400;
    bench->addSerial(ctl, info);
    ASSERT_EQ(QuorvaneN4_SetDevPathW(u"/sim/x/../tty\u00E9\u20AC"), 1);
    EXPECT_EQ(n4::UartPath(), path);
    QVWCHAR wide[QV_N4_VERSION_TEXT] = {};
    ASSERT_EQ(QuorvaneN4_GetDevVersionStrW(wide, QV_N4_VERSION_TEXT), 1);
    EXPECT_EQ(std::u16string(wide), u"QV6020A.D05.2.7.3.13");
    EXPECT_EQ(QuorvaneN4_SetDevPathW(u"/sim/tty\u00E9"), 0);
    EXPECT_EQ(n4::UartPath(), path);
}

TEST_F(N4ApiTest, TheNameLineOfTheExportsThatLogIt) {
    plug(Link::Hid);
    logTo(1);
    uint8_t b = 0;
    QVWCHAR w[QV_N4_VERSION_TEXT];
    QuorvaneN4_GloveMode(1);
    QuorvaneN4_GetDevVersionStrW(w, QV_N4_VERSION_TEXT);
    QuorvaneN4_GetParam(1, &b);
    QuorvaneN4_GetParamAP(1, &b);
    QuorvaneN4_GetParamBT(1, &b);
    QuorvaneN4_DeviceReset();  // logs no name
    EXPECT_EQ(debugLines("QuorvaneN4_"), (std::vector<std::string>{"QuorvaneN4_GloveMode", "QuorvaneN4_GetDevVersionStrW",
                                                      "QuorvaneN4_GetParam", "QuorvaneN4_GetParamAP",
                                                      "QuorvaneN4_GetParamBT"}));
}

// Through a real pseudo-terminal (termios on the host side): the path is
// test-opened when it is set, and the version comes over the serial link.
TEST(N4ApiPty, VersionOverThePortTheCallerSet) {
    auto bench = std::make_shared<qvsim::Bench>();
    auto ctl = std::make_shared<qvsim::Controller>(N4Profile());
    auto& dev = bench->addSerial(ctl, qvsim::SerialInfo{"/pty/0", 115200});
    qvsim::PtyServer server(bench, dev);
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    AttachOverLinuxBackend(bench->clockPtr());
    n4::ResetSettings();
    EXPECT_EQ(QuorvaneN4_SetDevPathA("/nonexistent/tty"), 0);
    EXPECT_EQ(QuorvaneN4_SetDevPathA(server.slavePath().c_str()), 1);
    EXPECT_EQ(QuorvaneN4_SetBaudRate(115200), 1);
    EXPECT_TRUE(Received(*ctl).empty());  // the test-open sends nothing
    char text[QV_N4_VERSION_TEXT] = {};
    EXPECT_EQ(QuorvaneN4_GetDevVersionStrA(text), 1);
    EXPECT_STREQ(text, "QV6020A.D05.2.7.3.13");
    EXPECT_EQ(Hex(Received(*ctl)), (std::vector<std::string>{"F0 00 00 00 01", "EE 00 00 00 00", "ED 00 00 00 00",
                                                            "F1 00 00 00 01"}));
    n4::ResetSettings();
    qvlib::LibraryDetach();
    server.stop();
    qvp::useSim(std::make_shared<qvsim::Bench>());
}

// ---- parameter CRC -------------------------------------------------------------------

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + 13 * i + (i >> 2));
    return v;
}

class N4ParamCrc : public N4ApiTest, public ::testing::WithParamInterface<std::tuple<Link, int, int>> {};

TEST_P(N4ParamCrc, ComputedFromTheListsAsTheControllerKeepsThem) {
    const auto [link, touch, boot] = GetParam();
    ctl->editProfile([&](auto& p) {
        p.listDescriptor = std::array<uint8_t, 4>{0, 0, uint8_t(boot), uint8_t(touch)};
        p.paramBanks[0x80] = Pattern(size_t(touch) + 4, 0x31);
        p.paramBanks[0x90] = Pattern(size_t(boot) + 4, 0x52);
        p.paramBanks[0x90][0] = 0xC7;  // above 63: only its two high bits count
        p.paramBanks[0x90][14] = p.scanMode;  // the register that reads the scan mode
        p.paraVersion = 130;           // the firmware's own CRC starts from 0xFFFF
    });
    plug(link);
    // The oracle: the firmware's CRC over the same lists with touch byte 61 and
    // the low bits of boot byte 0 taken as 0 too.
    auto oracle = ctl->profile();
    oracle.paramBanks[0x80][61] = 0;
    oracle.paramBanks[0x90][0] &= 0xC0;
    const auto expected = qvsim::ParameterListCrc(oracle);
    ASSERT_TRUE(expected.has_value());
    ctl->clearTrace();
    EXPECT_EQ(QuorvaneN4_GetParamCRC(), int(*expected));
    const auto commands = sent(link);
    ASSERT_GE(commands.size(), 5u + size_t(touch + boot));
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 3),
              (std::vector<std::string>{"E0 00 FC 00 00", "EE 00 00 00 00", "ED 00 00 00 00"}));
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "E0 00 FA 00 00"), 0);
    EXPECT_EQ(commands.back(), Hex(qvsim::Packet{0xE0, 0x90, uint8_t(boot - 1), 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Lengths, N4ParamCrc,
                         ::testing::Values(std::make_tuple(Link::Hid, 64, 16), std::make_tuple(Link::Uart, 64, 16),
                                           std::make_tuple(Link::Hid, 128, 64), std::make_tuple(Link::Hid, 100, 40),
                                           std::make_tuple(Link::Hid, 62, 12)));

// ---- virtual keys through the caller's callbacks ------------------------------------------

// The caller's own connection: the handle it was given and the commands, answered
// by a controller of its own.
struct CallerLink {
    std::shared_ptr<qvsim::Controller> controller;
    HANDLE handle = nullptr;
    int calls = 0;
    bool failing = false;
};
CallerLink* g_caller = nullptr;

int CallerSendCmd(HANDLE h, const uint8_t command[5], uint8_t reply[5]) {
    ++g_caller->calls;
    EXPECT_EQ(h, g_caller->handle);
    if (g_caller->failing) return 0;
    qvsim::Packet c;
    std::copy_n(command, 5, c.begin());
    const auto r = g_caller->controller->handle(c, qvsim::Link::Hid, 0);
    if (!r) return 0;
    std::copy_n(r->begin(), 5, reply);
    return reply[0] == 0xAA ? 0 : 1;
}
int CallerSendCmdOnly(HANDLE h, const uint8_t command[5]) {
    ++g_caller->calls;
    EXPECT_EQ(h, g_caller->handle);
    qvsim::Packet c;
    std::copy_n(command, 5, c.begin());
    g_caller->controller->handle(c, qvsim::Link::Hid, 0);
    return 1;
}

TEST_F(N4ApiTest, VirtualKeysGoThroughTheCallbacksOfAPositiveHandle) {
    plug(Link::Uart);  // an own open would show as F0 .. 01 here
    CallerLink caller{std::make_shared<qvsim::Controller>(N4Profile()), reinterpret_cast<HANDLE>(0x7F001234)};
    g_caller = &caller;
    const HANDLE h = caller.handle;
    uint16_t crc = 0;
    uint8_t result = 0xEE;
    VButtonTable table{};

    // No callback installed: refused, nothing called.
    EXPECT_EQ(QuorvaneN4_VKeyGetCRC(h, &crc), 0);
    QuorvaneN4_SetupSendCmdCallBack(CallerSendCmd);
    EXPECT_EQ(QuorvaneN4_VKeyWrite(h, &table), 0);  // the write needs the send-only one too
    EXPECT_EQ(caller.calls, 0);
    EXPECT_EQ(QuorvaneN4_SetupSendCmdOnlyCallBack(CallerSendCmdOnly), 0);

    EXPECT_EQ(QuorvaneN4_VKeyGetCRC(h, &crc), 1);
    EXPECT_EQ(crc, qvsim::VirtualKeyCrc(caller.controller->profile()));
    EXPECT_EQ(QuorvaneN4_VKeyInit(h, &result), 1);
    EXPECT_EQ(result, 2);  // the entries the controller holds
    EXPECT_EQ(QuorvaneN4_VKeyClear(h, 0), 1);
    EXPECT_EQ(QuorvaneN4_VKeyLoadSetting(h, 1), 1);
    EXPECT_EQ(QuorvaneN4_VKeyWriteFlash(h), 1);
    ASSERT_EQ(QuorvaneN4_VKeyRead(h, &table), 1);
    table.entry[1][0] = 0x99;
    ASSERT_EQ(QuorvaneN4_VKeyWrite(h, &table), 1);
    EXPECT_EQ(caller.controller->profile().vbuttons[1][0], 0x99);
    const auto got = Hex(Received(*caller.controller));
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 6),
              (std::vector<std::string>{"F6 0F 03 00 00", "F6 0F 91 00 00", "F6 0F 90 00 00", "F6 0F 92 00 01",
                                        "F6 0F 93 AA 55", "F6 0F 02 00 00"}));
    // The write: lock, open entry 0, three data words (word index first), commit, ...
    const auto write = std::find(got.begin(), got.end(), "F6 00 9F 00 01");
    ASSERT_NE(write, got.end());
    EXPECT_EQ(std::vector<std::string>(write, write + 7),
              (std::vector<std::string>{"F6 00 9F 00 01", "F6 0F 02 00 00", "F6 0F B0 00 00", "00 01 02 03 04",
                                        "01 05 06 07 08", "02 09 0A 0B 0C", "F6 0F B1 00 00"}));
    EXPECT_EQ(got.back(), "F6 00 9F 00 00");

    // A failing caller's link fails the export.
    caller.failing = true;
    EXPECT_EQ(QuorvaneN4_VKeyGetCRC(h, &crc), 0);
    // Our own controller never heard of any of it.
    EXPECT_TRUE(Received(*ctl).empty());
    g_caller = nullptr;
}

// ---- exports that are not supported ---------------------------------------------------------

TEST_F(N4ApiTest, UnsupportedExportsOnlySaySo) {
    plug(Link::Uart);
    logTo(1);
    const std::vector<std::pair<int (*)(), const char*>> stubs = {
        {QuorvaneN4_InitSRExW, "InitSRExW"},
        {QuorvaneN4_InitSRExA, "InitSRExA"},
        {QuorvaneN4_GetInterface, "GetInterface"},
        {QuorvaneN4_GetIdleMode, "IdleMode"},
        {QuorvaneN4_SetIdleMode, "IdleMode"},
        {QuorvaneN4_GetSleepMode, "SleepMode"},
        {QuorvaneN4_SetSleepMode, "SleepMode"},
        {QuorvaneN4_GetTouchPoint, "TouchPoint"},
        {QuorvaneN4_SetTouchPoint, "TouchPoint"},
        {QuorvaneN4_GetActiveWaterSolution, "WaterSwitch"},
        {QuorvaneN4_GetSupportedWaterSolution, "WaterSwitch"},
        {QuorvaneN4_GetWaterSolution, "WaterSwitch"},
        {QuorvaneN4_WaterEnable, "WaterSwitch"},
        {QuorvaneN4_GetWaterNotification, "WaterNotification"},
        {QuorvaneN4_SetWaterNotification, "WaterNotification"},
        {QuorvaneN4_GetWaterPerfLevel, "WaterPerfLevel"},
        {QuorvaneN4_SetWaterPerfLevel, "WaterPerfLevel"},
        {QuorvaneN4_GetAntiNoise, "AntiNoise"},
        {QuorvaneN4_SetAntiNoise, "AntiNoise"},
        {QuorvaneN4_GetEdgeCompsate, "EdgeCompensate"},
        {QuorvaneN4_SetEdgeCompsate, "EdgeCompensate"},
        {QuorvaneN4_GetPanelActiveArea, "PanelActiveArea"},
        {QuorvaneN4_SetPanelActiveArea, "PanelActiveArea"},
        {QuorvaneN4_GetScreenActiveArea, "PanelActiveArea"},
        {QuorvaneN4_SetScreenActiveArea, "PanelActiveArea"},
        {QuorvaneN4_GetPanelOrient, "PanelOrient"},
        {QuorvaneN4_SetPanelOrient, "PanelOrient"},
        {QuorvaneN4_GetSensitivity, "Sensitivity"},
        {QuorvaneN4_SetSensitivity, "Sensitivity"},
        {QuorvaneN4_MonitorAbnStatus, "MonitorAbnStatus"},
        {QuorvaneN4_ReloadParam, "ReloadParam"},
    };
    std::vector<std::string> expected;
    for (const auto& [stub, name] : stubs) {
        EXPECT_EQ(stub(), 0) << name;
        expected.push_back(std::string("QuorvaneN4_") + name + "() is not supported !");
    }
    EXPECT_EQ(stubs.size(), 31u);  // and GetDevStatus below
    EXPECT_EQ(debugLines(), expected);
    EXPECT_TRUE(Received(*ctl).empty());

    // GetDevStatus opens and closes the controller first.
    logTo(1);
    EXPECT_EQ(QuorvaneN4_GetDevStatus(), 0);
    EXPECT_EQ(Hex(Received(*ctl)), (std::vector<std::string>{"F0 00 00 00 01", "F1 00 00 00 01"}));
    EXPECT_EQ(debugLines("QuorvaneN4_"), (std::vector<std::string>{"QuorvaneN4_GetDevStatus() is not supported !"}));
}

}  // namespace
}  // namespace qvtest
