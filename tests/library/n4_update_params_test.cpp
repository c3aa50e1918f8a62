// The update's phases after the firmware, on an open context: waiting for the
// controller to come back (HID: only the same controller; serial: the port
// reopened), the parameter lists written, flushed and reloaded, and the
// virtual-key table written and flashed.
#include "library_n4_support.h"
#include "n4_update.h"

#include <algorithm>
#include <functional>

using namespace qvtest;
namespace n4 = qvlib::n4;

namespace {

class N4Ready : public N4Test {
protected:
    std::vector<std::string> sent() { return Hex(Received(*ctl)); }

    // A fresh bench and controller for the next case of a table.
    void again() {
        TearDown();
        ctl = std::make_shared<qvsim::Controller>();
        ctx = n4::NewContext();
        SetUp();
    }

    // Opens the context on the HID device at path (the search would take the first).
    void openHidAt(const std::string& path) {
        std::vector<n4::HidCandidate> list;
        ASSERT_TRUE(n4::HidCandidates(&list));
        auto it = std::find_if(list.begin(), list.end(), [&](const auto& c) { return c.itf.path == path; });
        ASSERT_NE(it, list.end());
        ASSERT_TRUE(n4::OpenHidCandidate(ctx, *it, list));
    }
};

TEST_F(N4Ready, HidTakesBackOnlyTheControllerItClosed) {
    // Another controller is listed first and stays on the bus the whole time.
    auto other = std::make_shared<qvsim::Controller>();
    bench->addHid(other, ControllerHid("/sim/hidraw0", 0x6020, "5&1&0&1"));
    bench->addHid(ctl, ControllerHid("/sim/hidraw1", 0x6020, "5&1&0&2"));
    ctl->profile().reenumerateOnReset = true;
    ctl->profile().reenumeration = {qvsim::ControllerProfile::Reenumeration::Arrival::AfterEnumerations, 3};
    openHidAt("/sim/hidraw1");
    ASSERT_EQ(n4::Reset(ctx), 0);  // the controller leaves the bus and comes back on the third listing
    other->clearTrace();
    ctl->clearTrace();

    EXPECT_EQ(n4::WaitForReady(ctx, 0), 1);
    EXPECT_TRUE(n4::IsOpen(ctx));
    EXPECT_STREQ(ctx.szPath, "/sim/hidraw1");
    EXPECT_TRUE(Received(*other).empty());
    EXPECT_EQ(sent(), (std::vector<std::string>{"ED 00 00 00 00"}));  // the state check, on ours
}

TEST_F(N4Ready, HidTakesANewIdentityOnlyWhenItIsTheOnlyNewDevice) {
    for (bool twoNew : {false, true}) {
        SCOPED_TRACE(twoNew);
        again();
        auto other = std::make_shared<qvsim::Controller>();
        bench->addHid(other, ControllerHid("/sim/hidraw0", 0x6020, "5&1&0&1"));
        bench->addHid(ctl, ControllerHid("/sim/hidraw1", 0x6020, "5&1&0&2"));
        openHidAt("/sim/hidraw1");
        // The controller switched to its boot loader, which enumerates under another product.
        bench->remove("/sim/hidraw1");
        qvsim::HidInfo boot = ControllerHid("/sim/hidraw2", 0x6021, "5&1&0&2");
        boot.reportId = 1;
        bench->addHid(ctl, boot);
        auto stranger = std::make_shared<qvsim::Controller>();
        if (twoNew) bench->addHid(stranger, ControllerHid("/sim/hidraw3", 0x6020, "5&1&0&3"));
        ctl->setReply(P(0xED, 0, 0, 0, 0), P(0xED, 0, 0, 0x55, 0xAA));

        EXPECT_EQ(n4::WaitForReady(ctx, 1), twoNew ? 0 : 1);
        EXPECT_EQ(n4::IsOpen(ctx), !twoNew);
        if (!twoNew) {
            EXPECT_STREQ(ctx.szPath, "/sim/hidraw2");
        }
        EXPECT_TRUE(Received(*other).empty());
        EXPECT_TRUE(Received(*stranger).empty());
    }
}

TEST_F(N4Ready, HidKeepsOtherControllersKnownThroughABootSwitch) {
    // Ours goes to its boot loader (another product) while the other controller
    // re-enumerates; then ours leaves the boot loader as the other comes back.
    for (bool oursBack : {true, false}) {
        SCOPED_TRACE(oursBack);
        again();
        auto other = std::make_shared<qvsim::Controller>();
        const auto otherInfo = ControllerHid("/sim/hidraw0", 0x6020, "5&1&0&1");
        bench->addHid(other, otherInfo);
        const auto oursInfo = ControllerHid("/sim/hidraw1", 0x6020, "5&1&0&2");
        bench->addHid(ctl, oursInfo);
        openHidAt("/sim/hidraw1");
        bench->remove("/sim/hidraw1");
        bench->remove("/sim/hidraw0");
        qvsim::HidInfo boot = ControllerHid("/sim/hidraw2", 0x6021, "5&1&0&2");
        boot.reportId = 1;
        bench->addHid(ctl, boot);
        ASSERT_EQ(n4::WaitForReady(ctx, 2), 1);
        EXPECT_STREQ(ctx.szPath, "/sim/hidraw2");

        bench->remove("/sim/hidraw2");
        bench->addHid(other, otherInfo);
        if (oursBack) bench->addHid(ctl, oursInfo);
        EXPECT_EQ(n4::WaitForReady(ctx, 2), oursBack ? 1 : 0);
        if (oursBack) {
            EXPECT_STREQ(ctx.szPath, "/sim/hidraw1");
        }
        EXPECT_TRUE(Received(*other).empty());
    }
}

TEST_F(N4Ready, SerialPortIsReopenedAndTheStateCheckedByMode) {
    struct Case {
        int mode;
        bool inBoot;
        int result;
        size_t opens;  // F0 00 00 00 01 sent
    };
    const Case cases[] = {{0, false, 1, 1}, {0, true, 0, 30}, {1, false, 0, 30}, {1, true, 1, 1}, {2, true, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " boot " << c.inBoot);
        again();
        openUart();
        if (c.inBoot) ctl->setReply(P(0xED, 0, 0, 0, 0), P(0xED, 0, 0, 0x55, 0xAA));
        const uint64_t start = bench->clock().nowMs();
        EXPECT_EQ(n4::WaitForReady(ctx, c.mode), c.result);
        const uint64_t took = bench->clock().nowMs() - start;
        EXPECT_GE(took, 1000 + 500 * c.opens);
        EXPECT_EQ(n4::IsOpen(ctx), c.result == 1);
        const auto s = sent();
        ASSERT_FALSE(s.empty());
        EXPECT_EQ(s.front(), "F1 00 00 00 01");  // closed first
        EXPECT_EQ(size_t(std::count(s.begin(), s.end(), "F0 00 00 00 01")), c.opens);
        EXPECT_EQ(size_t(std::count(s.begin(), s.end(), "ED 00 00 00 00")), c.mode == 2 ? 0 : c.opens);
        EXPECT_EQ(count("[0xED]"), 0u);  // the check is not logged
        if (c.result == 1) {
            EXPECT_EQ(s.back(), c.mode == 2 ? "F0 00 00 00 01" : "ED 00 00 00 00");
        }
    }
}

// ---- parameters --------------------------------------------------------------------

class N4UpdateParams : public N4Ready {
protected:
    static constexpr size_t kTouch = 12, kBoot = 8;

    void SetUp() override {
        N4Ready::SetUp();
        n4::UpdateState().status = n4::kStatusMasterDone;
    }
    // A controller with the item protocol and lists of these lengths.
    void itemController(size_t touch = kTouch, size_t boot = kBoot) {
        auto& p = ctl->profile();
        p.featureF4 = {0x02, 0x00, 0x80, 0x00};
        p.listDescriptor = std::array<uint8_t, 4>{0, 0, uint8_t(boot), uint8_t(touch)};
        p.paramBanks[0x80] = std::vector<uint8_t>(touch, 0x11);
        p.paramBanks[0x90] = std::vector<uint8_t>(boot, 0x22);
    }
    static qvfmt::ParaSection Para(size_t touch = kTouch, size_t boot = kBoot) {
        qvfmt::ParaSection para;
        for (size_t i = 0; i < touch; ++i) para.touch.push_back(uint8_t(0x30 + i));
        for (size_t i = 0; i < boot; ++i) para.boot.push_back(uint8_t(0x60 + i));
        return para;
    }
    static std::string E1(uint8_t bank, size_t index, uint8_t value) {
        return Hex(P(0xE1, bank, uint8_t(index), 0x00, value));
    }
    // The commands from the update lock to the reset.
    std::vector<std::string> lockToFlush() {
        auto s = sent();
        auto from = std::find_if(s.begin(), s.end(), [](const std::string& x) {
            return x == "F3 00 07 00 01" || x == "F7 00 00 00 01";
        });
        auto to = std::find(s.begin(), s.end(), "FE 00 00 00 00");
        return from < to ? std::vector<std::string>(from, to) : std::vector<std::string>{};
    }
};

TEST_F(N4UpdateParams, ListsAreWrittenFlushedAndReloaded) {
    itemController();
    openHid();
    const auto para = Para();
    EXPECT_EQ(n4::UpdateParameters(ctx, para, 0), 0u);
    EXPECT_EQ(n4::UpdateState().status.load(), n4::kStatusParametersDone);
    // After the resets the controller runs with the package's lists.
    EXPECT_EQ(ctl->profile().paramBanks[0x80], para.touch);
    EXPECT_EQ(ctl->profile().paramBanks[0x90], para.boot);

    std::vector<std::string> expected{"F3 00 07 00 01"};
    for (size_t i = 0; i < kTouch; ++i) expected.push_back(E1(0x80, i, para.touch[i]));
    for (size_t i = 0; i < kBoot; ++i) expected.push_back(E1(0x90, i, para.boot[i]));
    for (const char* flush : {"EA 00 00 00 00", "EA 00 00 00 00", "EA 00 AA 00 00", "EA 00 AA 00 00"})
        expected.push_back(flush);
    EXPECT_EQ(lockToFlush(), expected);
    const std::string log = debugText();
    const size_t updated = log.find("=> Result : Update parameters finished !");
    const size_t reloaded = log.find("=> Result : Reload parameters finished !");
    ASSERT_NE(updated, std::string::npos);
    ASSERT_NE(reloaded, std::string::npos);
    EXPECT_LT(updated, log.find("|         Reloading Firmware Parameters        |"));
    EXPECT_LT(updated, reloaded);
    EXPECT_EQ(count("|         Updating Firmware Parameters         |"), 1u);
}

TEST_F(N4UpdateParams, WithoutTheItemProtocolTheListsGoToBankZero) {
    // 64 touch bytes at 0.., 16 boot bytes at 0x40..
    ctl->profile().paramBanks[0x00] = std::vector<uint8_t>(0x50, 0);
    openHid();
    const auto para = Para(64, 16);
    EXPECT_EQ(n4::UpdateParameters(ctx, para, 0), 0u);
    std::vector<std::string> writes;
    for (const auto& s : lockToFlush())
        if (s.rfind("E1", 0) == 0) writes.push_back(s);
    ASSERT_EQ(writes.size(), 80u);
    EXPECT_EQ(writes[0], E1(0x00, 0, para.touch[0]));
    EXPECT_EQ(writes[63], E1(0x00, 63, para.touch[63]));
    EXPECT_EQ(writes[64], E1(0x00, 0x40, para.boot[0]));
    EXPECT_EQ(writes[79], E1(0x00, 0x4F, para.boot[15]));
    EXPECT_EQ(lockToFlush().front(), "F7 00 00 00 01");
}

TEST_F(N4UpdateParams, ListsOfOtherLengthsAreNotWritten) {
    for (auto [touch, boot] : {std::pair<size_t, size_t>{kTouch + 1, kBoot}, {kTouch, kBoot - 1}}) {
        SCOPED_TRACE(testing::Message() << touch << "/" << boot);
        again();
        itemController();
        openHid();
        EXPECT_EQ(n4::UpdateParameters(ctx, Para(touch, boot), 0), n4::kErrTouchList);
        EXPECT_EQ(n4::UpdateState().status.load(), n4::kStatusMasterDone);
        for (const auto& s : sent()) {
            EXPECT_NE(s.substr(0, 2), "E1");
            EXPECT_NE(s.substr(0, 2), "EA");
            EXPECT_NE(s.substr(0, 2), "FE");
        }
        EXPECT_EQ(ctl->profile().paramBanks[0x80], std::vector<uint8_t>(kTouch, 0x11));
    }
}

TEST_F(N4UpdateParams, EachRefusedStepGivesItsBit) {
    using Prefix = qvsim::PacketPrefix;
    struct Case {
        const char* what;
        Prefix refused;
        uint32_t bits;
        uint16_t status;
    };
    const Case cases[] = {
        {"touch write", Prefix(P(0xE1, 0x80, 0, 0, 0), P(0xFF, 0xFF, 0, 0, 0)), n4::kErrTouchList, n4::kStatusMasterDone},
        {"boot write", Prefix(P(0xE1, 0x90, 0, 0, 0), P(0xFF, 0xFF, 0, 0, 0)), n4::kErrBootList, n4::kStatusMasterDone},
        {"flush", Prefix::code(0xEA), n4::kErrFlush, n4::kStatusMasterDone},
        {"reset", Prefix::code(0xFE), n4::kErrResetAfterParameters, n4::kStatusMasterDone},
        {"reload", Prefix::code(0xEC), n4::kErrReload, n4::kStatusReloading},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        again();
        itemController();
        openHid();
        ctl->refuse(c.refused);
        EXPECT_EQ(n4::UpdateParameters(ctx, Para(), 0), c.bits);
        EXPECT_EQ(n4::UpdateState().status.load(), c.status);
        EXPECT_EQ(count("=> Result : Reload parameters finished !"), 0u);
    }
}

TEST_F(N4UpdateParams, ControllerThatDoesNotComeBackAfterTheResetFails) {
    itemController();
    ctl->profile().reenumerateOnReset = true;
    ctl->profile().reenumeration = {qvsim::ControllerProfile::Reenumeration::Arrival::Never, 0};
    openHid();
    EXPECT_EQ(n4::UpdateParameters(ctx, Para(), 0), n4::kErrResetAfterParameters);
    EXPECT_FALSE(n4::IsOpen(ctx));
    EXPECT_EQ(count("=> Result : Update parameters finished !"), 0u);
}

TEST_F(N4UpdateParams, CustomerFirmwareReloadsAllRegisters) {
    for (uint8_t customer : {uint8_t(0), uint8_t(5)}) {
        SCOPED_TRACE(int(customer));
        again();
        itemController();
        openHid();
        EXPECT_EQ(n4::UpdateParameters(ctx, Para(), customer), 0u);
        const auto s = sent();
        auto armed = std::find(s.begin(), s.end(), "EC 00 AA 00 00");
        ASSERT_NE(armed, s.end());
        const bool restored = std::any_of(armed, s.end(), [](const std::string& x) { return x.rfind("E1 00 40", 0) == 0; });
        EXPECT_EQ(restored, customer == 0);
        EXPECT_EQ(count("|       Reloading All Firmware Parameters      |"), customer ? 1u : 0u);
        EXPECT_EQ(count("|         Reloading Firmware Parameters        |"), customer ? 0u : 1u);
    }
}

// ---- virtual keys ----------------------------------------------------------------------

class N4UpdateKeys : public N4Ready {
protected:
    // The controller's table: 16 entries of 12 bytes, the first `used` of them used.
    void keyController(size_t used) {
        auto& p = ctl->profile();
        p.paraVersion = 130;  // the parameter groups (and the table's group) exist
        p.vbuttonEntrySize = 12;
        p.vbuttons.assign(16, {});
        for (size_t e = 0; e < used; ++e) p.vbuttons[e] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    }
    // The package's table: entries 0..n.
    static qvfmt::VKeyTable Table(uint8_t n) {
        qvfmt::VKeyTable t;
        t.entrySize = 12;
        t.usedCount = n;
        for (uint8_t e = 0; e <= n; ++e)
            for (uint8_t k = 0; k < 12; ++k) t.entry[e][k] = uint8_t(0x40 + e * 12 + k);
        return t;
    }
    bool sentCode(uint8_t code) {
        for (const auto& p : Received(*ctl))
            if (p[0] == 0xF6 && p[1] == 0x0F && p[2] == code) return true;
        return false;
    }
};

TEST_F(N4UpdateKeys, LargerTableIsWrittenAndFlashed) {
    keyController(1);
    openHid();
    const auto table = Table(2);
    EXPECT_EQ(n4::UpdateVirtualKeys(ctx, table), 0u);
    EXPECT_TRUE(n4::IsOpen(ctx));
    const auto& flash = ctl->profile().vbuttonFlash;
    ASSERT_TRUE(flash.has_value());
    for (size_t e = 0; e < 16; ++e) {
        std::array<uint8_t, 12> want{};
        if (e <= 2) std::copy_n(table.entry[e], 12, want.begin());
        EXPECT_EQ((*flash)[e], want) << e;
    }
    EXPECT_EQ(ctl->profile().vbuttons, *flash);  // the reset loaded it
    EXPECT_EQ(count("|      Updating Firmware Virtual Key Data      |"), 1u);
    EXPECT_EQ(count("=> Result : Update Virtual Key data [OK] !!"), 1u);
}

TEST_F(N4UpdateKeys, TableNoLargerThanTheControllersIsLeft) {
    for (size_t used : {size_t(2), size_t(3)}) {
        SCOPED_TRACE(used);
        again();
        keyController(used);
        openHid();
        EXPECT_EQ(n4::UpdateVirtualKeys(ctx, Table(2)), 0u);
        EXPECT_FALSE(sentCode(0x90));
        EXPECT_FALSE(sentCode(0x93));
        EXPECT_EQ(count("Virtual Key"), 0u);
    }
}

TEST_F(N4UpdateKeys, FailedStepGivesNotGood) {
    auto refuse = [](uint8_t code) {
        return [code](qvsim::Controller& c) {
            c.refuse(qvsim::PacketPrefix(P(0xF6, 0x0F, code, 0, 0), P(0xFF, 0xFF, 0xFF, 0, 0)));
        };
    };
    struct Case {
        const char* what;
        std::function<void(qvsim::Controller&)> fault;
        bool flashSent;
    };
    const Case cases[] = {
        {"init reports another count",
         [](qvsim::Controller& c) { c.setReply(P(0xF6, 0x0F, 0x91, 0, 0), P(0xF6, 0x0F, 0x91, 0, 7)); }, false},
        {"clear refused", refuse(0x90), false},
        {"flash refused", refuse(0x93), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        again();
        keyController(0);
        openHid();
        c.fault(*ctl);
        EXPECT_EQ(n4::UpdateVirtualKeys(ctx, Table(2)), n4::kErrVirtualKeys);
        EXPECT_EQ(count("=> Result : Update Virtual Key data [NG] !!"), 1u);
        EXPECT_EQ(sentCode(0x93), c.flashSent);
        // Flash (and so the table after the reset) does not hold the package's table.
        EXPECT_NE(ctl->profile().vbuttons[0][0], 0x40);
    }
}

TEST_F(N4UpdateKeys, SerialPathReopensTheContextOverTheSerialPort) {
    keyController(0);
    addN4Hid();
    ASSERT_EQ(n4::OpenHid(ctx), 1);
    addN4Serial();
    ASSERT_TRUE(n4::SetUartPath("/sim/ttyS0"));
    EXPECT_EQ(n4::UpdateVirtualKeys(ctx, Table(1)), 0u);
    EXPECT_TRUE(n4::IsOpen(ctx));
    EXPECT_TRUE(n4::IsUart(ctx));
    EXPECT_EQ((*ctl->profile().vbuttonFlash)[1][0], 0x40 + 12);
}

}  // namespace
