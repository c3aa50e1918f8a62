// Locks, flush and reloads by protocol: the control items with a parameter
// version, the F3/F7, EA and EC registers commands without one.
#include "library_param_support.h"

#include <functional>

namespace qvtest {
namespace {

std::vector<std::string> Only(const std::vector<std::string>& all, uint8_t code) {
    char prefix[4];
    std::snprintf(prefix, sizeof prefix, "%02X ", code);
    std::vector<std::string> out;
    for (const auto& s : all)
        if (s.rfind(prefix, 0) == 0) out.push_back(s);
    return out;
}

TEST_F(ParamTest, UpdateLockByProtocol) {
    make(ItemProfile(152));
    ASSERT_EQ(qvlib::ParameterLockFor(slotIndex, 5), 1);
    EXPECT_EQ(sent(), std::vector<std::string>{"F6 00 9F 00 01"});
    EXPECT_TRUE(ctl->profile().updateLocked);

    // Version 0 answering F3 with AA sends nothing else.
    make(ItemProfile(0));
    ASSERT_EQ(qvlib::ParameterLockFor(slotIndex, 1), 1);
    EXPECT_EQ(sent(), std::vector<std::string>{"F3 00 07 00 01"});
    EXPECT_TRUE(ctl->profile().updateLocked);

    // Older firmware refuses F3: the F7 lock is used.
    qvsim::ControllerProfile p = ItemProfile(0);
    p.f3UpdateLock = false;
    p.updateLocked = true;
    make(p);
    ASSERT_EQ(qvlib::ParameterLockFor(slotIndex, 0), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F3 00 07 00 00", "F7 00 00 00 00"}));
    EXPECT_FALSE(ctl->profile().updateLocked);
}

TEST_F(ParamTest, FlushByProtocol) {
    make(ItemProfile(152));
    ctl->setReply(P(0xF6, 0, 0x90, 0, 0), P(0xF6, 0, 0x90, 0, 0x07));
    uint8_t result = 0;
    const uint64_t before = now();
    ASSERT_EQ(qvlib::FlushParametersFor(slotIndex, &result), 1);
    EXPECT_EQ(result, 7);
    EXPECT_GE(now() - before, 50u) << "the flush answers after 50 ms";
    EXPECT_EQ(sent(), std::vector<std::string>{"F6 00 90 00 00"});

    make(ItemProfile(0));
    ASSERT_EQ(qvlib::FlushParametersFor(slotIndex, &result), 1);
    EXPECT_EQ(result, 15);
    EXPECT_EQ(sent(), (std::vector<std::string>{"EA 00 00 00 00", "EA 00 00 00 00", "EA 00 AA 00 00", "EA 00 AA 00 00"}));
}

TEST_F(ParamTest, RegisterReloadKeepsInterfaceAndPanelRegisters) {
    for (bool bank90 : {true, false}) {
        SCOPED_TRACE(bank90);
        qvsim::ControllerProfile p = ItemProfile(0);
        p.featureF4[0] = bank90 ? 0x82 : 0x00;
        p.defaultWords[0x0040] = {0, 0, 0, 0x11};
        p.defaultWords[0x0050] = {0, 0, 0, 0x22};
        make(p);
        ctl->setReg(0x00, 0x40, {0, 0, 0, 0x99});
        ctl->setReg(0x00, 0x4A, {0, 0, 0, 0x33});
        ctl->setReg(0x00, 0x50, {0, 0, 0, 0x77});
        ctl->setReg(0x90, 0x3D, {0, 0, 0, 0x44});
        const uint64_t before = now();
        ASSERT_EQ(qvlib::ReloadParametersFor(slotIndex, false), 1);
        EXPECT_EQ(ctl->profile().registerReloads, 1u);
        EXPECT_EQ(ctl->reg(0x00, 0x50)[3], 0x22) << "reloaded";
        EXPECT_EQ(ctl->reg(0x00, 0x40)[3], 0x99) << "kept";
        EXPECT_EQ(ctl->reg(0x00, 0x4A)[3], 0x33) << "kept";
        EXPECT_EQ(ctl->reg(0x90, 0x3D)[3], bank90 ? 0x44 : 0x00);
        EXPECT_FALSE(ctl->profile().updateLocked);
        EXPECT_GE(now() - before, 200u);
        EXPECT_EQ(Only(sent(), 0xEC),
                  (std::vector<std::string>{"EC 00 AA 00 00", "EC 00 AA 00 00", "EC 00 00 00 00", "EC 00 00 00 00"}));
        EXPECT_EQ(sent().front(), "F3 00 07 00 01");
        EXPECT_EQ(sent().back(), "F3 00 07 00 00");
    }

    // The flushed values come back with v = 1.
    make(ItemProfile(0));
    ctl->setReg(0x00, 0x50, {0, 0, 0, 0x55});
    uint8_t result = 0;
    ASSERT_EQ(qvlib::FlushParametersFor(slotIndex, &result), 1);
    ctl->setReg(0x00, 0x50, {0, 0, 0, 0x66});
    ASSERT_EQ(qvlib::ReloadParametersFor(slotIndex, true), 1);
    EXPECT_EQ(ctl->reg(0x00, 0x50)[3], 0x55);
    EXPECT_TRUE(wasSent("EC 00 00 00 01"));
}

TEST_F(ParamTest, ItemReloadsInsideTheLock) {
    make(ItemProfile(152));
    ASSERT_EQ(qvlib::ReloadParametersFor(slotIndex, false), 1);
    ASSERT_EQ(qvlib::ReloadParametersFor(slotIndex, true), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F6 00 9F 00 01", "F6 00 91 00 00", "F6 00 9F 00 00",
                                                "F6 00 9F 00 01", "F6 00 92 00 00", "F6 00 9F 00 00"}));

    // All defaults: the item from version 1.15 on, the EC sequence inside the item lock below.
    make(ItemProfile(115));
    ASSERT_EQ(qvlib::ReloadAllDefaultsFor(slotIndex), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F6 00 9F 00 01", "F6 00 91 55 AA", "F6 00 9F 00 00"}));
    make(ItemProfile(114));
    ASSERT_EQ(qvlib::ReloadAllDefaultsFor(slotIndex), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F6 00 9F 00 01", "EC 00 AA 00 00", "EC 00 AA 00 00", "EC 00 00 00 00",
                                                "EC 00 00 00 00", "F6 00 9F 00 00"}));
    EXPECT_EQ(ctl->profile().registerReloads, 1u);
}

TEST_F(ParamTest, AFailedReloadLeavesTheLockOn) {
    make(ItemProfile(152));
    ctl->setReply(P(0xF6, 0, 0x91, 0, 0), P(0xF6, 0xFF, 0xFF, 0, 0));
    EXPECT_EQ(qvlib::ReloadParametersFor(slotIndex, false), 0);
    EXPECT_TRUE(ctl->profile().updateLocked);
    EXPECT_EQ(sent().back(), "F6 00 91 00 00");

    make(ItemProfile(0));
    ctl->refuse(0xEC);
    EXPECT_EQ(qvlib::ReloadParametersFor(slotIndex, false), 0);
    EXPECT_TRUE(ctl->profile().updateLocked);
    EXPECT_EQ(sent().back(), "EC 00 AA 00 00");

    // A lock that cannot be taken stops before anything else.
    make(ItemProfile(152));
    ctl->setReply(P(0xF6, 0, 0x9F, 0, 1), P(0xF6, 0xFF, 0xFF, 0, 0));
    EXPECT_EQ(qvlib::ReloadAllDefaultsFor(slotIndex), 0);
    EXPECT_EQ(sent(), std::vector<std::string>{"F6 00 9F 00 01"});
}

}  // namespace
}  // namespace qvtest

namespace qvtest {
namespace {

// The control items as the controller receives them, and what each hands back.
TEST_F(ParamTest, ControlItemCommandForms) {
    make(ItemProfile(152));
    struct Case {
        std::function<int(int)> run;
        const char* packet;
    };
    uint8_t out = 0;
    uint16_t crc = 0;
    const Case cases[] = {
        {[&](int s) { return qvlib::ParamReloadDefaults(s, true); }, "F6 00 91 55 AA"},
        {[&](int s) { return qvlib::ParamExtraMode(s, 3); }, "F6 00 9E 00 03"},
        {[&](int s) { return qvlib::VButtonClear(s, 7); }, "F6 0F 90 00 01"},
        {[&](int s) { return qvlib::VButtonLoadSetting(s, 0); }, "F6 0F 92 00 00"},
        {[&](int s) { return qvlib::VButtonWriteFlash(s); }, "F6 0F 93 AA 55"},
        {[&](int s) { return qvlib::VButtonErase(s); }, "F6 0F 94 AA 55"},
        {[&](int s) { return qvlib::VButtonInit(s, &out); }, "F6 0F 91 00 00"},
        {[&](int s) { return qvlib::VButtonCrc(s, &crc); }, "F6 0F 03 00 00"},
    };
    ctl->setReply(P(0xF6, 0x0F, 0x90, 0, 1), P(0xF6, 0x0F, 0x90, 0, 0xFF));  // control items may answer 0xFF
    for (uint8_t code : {0x92, 0x93, 0x94, 0x91})
        ctl->setReply(P(0xF6, 0x0F, code, uint8_t(code == 0x93 || code == 0x94 ? 0xAA : 0),
                        uint8_t(code == 0x93 || code == 0x94 ? 0x55 : 0)),
                      P(0xF6, 0x0F, code, 0, 0x3C));
    ctl->profile().vbuttonCrc = 0x1234;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.packet);
        ctl->clearTrace();
        EXPECT_EQ(c.run(slotIndex), 1);
        EXPECT_EQ(sent(), std::vector<std::string>{c.packet});
    }
    EXPECT_EQ(out, 0x3C);
    EXPECT_EQ(crc, 0x1234);
    // A refused control item fails.
    ctl->setReply(P(0xF6, 0x0F, 0x93, 0xAA, 0x55), P(0xF6, 0xFF, 0xFF, 0, 0));
    EXPECT_EQ(qvlib::VButtonWriteFlash(slotIndex), 0);
}

}  // namespace
}  // namespace qvtest
