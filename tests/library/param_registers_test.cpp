// The register forms of the general and anti-noise groups on firmware without a
// parameter version.
#include "library_param_support.h"

namespace qvtest {
namespace {

TEST_F(ParamTest, GeneralInfoOfVersionZeroFirmware) {
    struct Case { uint8_t feature0; bool antiNoise; uint16_t mask; };
    for (const Case& c : {Case{0x08, true, 0x1CF}, Case{0x00, true, 0x18F}, Case{0x08, false, 0x14F}}) {
        SCOPED_TRACE(c.mask);
        qvsim::ControllerProfile p = ItemProfile(0);
        p.featureF4[0] = c.feature0;
        if (c.antiNoise) p.antiNoiseRegister = qvsim::ControllerProfile::AntiNoiseRegister{};
        make(p);
        ParameterGeneralInfo g{};
        g.cbSize = sizeof g;
        ASSERT_EQ(qvlib::GetGeneralInfoRegisters(slotIndex, &g), 1);
        EXPECT_EQ(g.groupMask, c.mask);
        EXPECT_EQ(g.valid, 0);
        EXPECT_EQ(g.versionMajor | g.versionMinor, 0);
    }
}

TEST_F(ParamTest, AntiNoiseOfVersionZeroFirmware) {
    qvsim::ControllerProfile p = ItemProfile(0);
    p.antiNoiseRegister = qvsim::ControllerProfile::AntiNoiseRegister{9, 4, 0x21};
    make(p);
    ParameterAntiNoise r{};
    r.cbSize = sizeof r;
    ASSERT_EQ(qvlib::GetAntiNoiseRegisters(slotIndex, 1u << 7, &r), 1);
    EXPECT_EQ(r.valid, 1u);
    EXPECT_EQ(r.itemMask, 1);
    EXPECT_EQ(r.item0.value, 4);
    EXPECT_EQ(r.item0.maximum, 9);
    EXPECT_EQ(r.item0.second, 0x21);
    EXPECT_EQ(r.item0.present, 1u);

    // Unchanged or above the maximum: nothing is sent.
    ctl->clearTrace();
    ASSERT_EQ(qvlib::SetAntiNoiseRegisters(slotIndex, &r), 1);
    r.item0.value = 10;
    ASSERT_EQ(qvlib::SetAntiNoiseRegisters(slotIndex, &r), 1);
    EXPECT_TRUE(sent().empty());
    r.item0.value = 7;
    ASSERT_EQ(qvlib::SetAntiNoiseRegisters(slotIndex, &r), 1);
    EXPECT_EQ(sent(), std::vector<std::string>{"E6 01 0F 07 00"});
    EXPECT_EQ(ctl->profile().antiNoiseRegister->value, 7);
    EXPECT_EQ(r.changed, 2);
    EXPECT_EQ(r.item0.stored, 7);

    // Without the setting the Get fails; a group left out of the mask is not read.
    make(ItemProfile(0));
    EXPECT_EQ(qvlib::GetAntiNoiseRegisters(slotIndex, 1u << 7, &r), 0);
    EXPECT_EQ(r.valid, 0u);
    ctl->clearTrace();
    EXPECT_EQ(qvlib::GetAntiNoiseRegisters(slotIndex, 0, &r), 1);
    EXPECT_TRUE(sent().empty());
}

}  // namespace
}  // namespace qvtest

namespace qvtest {
namespace {

TEST_F(ParamTest, PanelOfVersionZeroFirmware) {
    for (bool together : {true, false}) {
        SCOPED_TRACE(together);
        qvsim::ControllerProfile p = ItemProfile(0);
        p.panelSizes.resize(6);
        p.coverLenses.resize(3);
        p.rows = 0x12;
        p.columns = 0x20;
        p.extraColumns = 3;
        p.resolutionE5 = {0x00, 0x10, 0x00, 0x0C};
        make(p);
        // Register 0x3A carries both indices when its byte 1 is 1, else 0x3B the second.
        ctl->setReg(0x00, 0x3A, {uint8_t(together ? 1 : 0), 0, 2, 4});
        ctl->setReg(0x00, 0x3B, {0, 0, 0, 1});
        alignas(8) uint8_t b[sizeof(ParameterPanel) + 8];
        std::memset(b, 0xCC, sizeof b);
        auto* r = reinterpret_cast<ParameterPanel*>(b);
        r->cbSize = 81;
        ASSERT_EQ(qvlib::GetPanelRegisters(slotIndex, 1u << 2, r), 1);
        for (size_t i = 81; i < sizeof b; ++i) ASSERT_EQ(b[i], 0xCC) << i;
        EXPECT_EQ(r->valid, 1u);
        EXPECT_EQ(r->itemMask, 3);
        EXPECT_EQ(r->item[0].value, 4);
        EXPECT_EQ(r->item[0].maximum, 5);
        EXPECT_EQ(r->item[1].value, together ? 2 : 1);
        EXPECT_EQ(r->item[1].maximum, 2);
        EXPECT_EQ(r->geometry[0], 0x12);
        EXPECT_EQ(r->geometry[1], 0x20);
        EXPECT_EQ(r->geometry[3], 3);
        EXPECT_EQ(r->resolution[0], 0x1000);
        EXPECT_EQ(r->resolution[1], 0x0C00);
        EXPECT_EQ(r->dimension[0] | r->dimension[1], 0);
        EXPECT_EQ(r->textLength, 0);

        r->item[0].value = 5;
        r->item[1].value = 3;  // above the maximum
        ctl->clearTrace();
        ASSERT_EQ(qvlib::SetPanelRegisters(slotIndex, r), 1);
        EXPECT_EQ(sent(), std::vector<std::string>{"E1 00 4A 00 05"});
        EXPECT_EQ(ctl->reg(0x00, 0x4A)[3], 5);
        EXPECT_EQ(r->changed, 2);
    }
}

}  // namespace
}  // namespace qvtest

namespace qvtest {
namespace {

// A record whose cbSize is the group's base size, followed in the caller's buffer
// by bytes that no call may touch.
template <class T> struct Guarded {
    static constexpr uint32_t kCb = qvlib::kParameterBaseSize<T>;
    alignas(8) uint8_t bytes[sizeof(T) + 8];
    Guarded() {
        std::memset(bytes, 0xCC, sizeof bytes);
        std::memcpy(bytes, &kCb, 4);
    }
    T* get() { return reinterpret_cast<T*>(bytes); }
    T* operator->() { return get(); }
    void expectTailUntouched() const {
        for (size_t i = kCb; i < sizeof bytes; ++i) ASSERT_EQ(bytes[i], 0xCC) << "byte " << i;
    }
};

const qvsim::Packet kReadF7{0xE0, 0x00, 0xF7, 0x00, 0x00};
const qvsim::Packet kRefusedF7{0xAA, 0xE0, 0x00, 0xF7, 0x00};

TEST_F(ParamTest, FingerGetOfVersionZeroFirmware) {
    struct Case {
        const char* name;
        uint8_t feature0;
        bool limit;    // E0 00 F7 answers 9, else it is refused
        uint8_t mode;  // register 0x43
        bool pair;     // register 0x02 answers both bytes (reply byte 1 = 1)
        uint8_t level, maximum;
    };
    const Case cases[] = {
        {"level register with its limit", 0x01, true, 0x08, true, 4, 9},
        {"level register, limit refused", 0x01, false, 0x08, false, 4, 5},
        {"mode bit 3 set", 0x00, true, 0x08, false, 1, 2},
        {"mode bit 3 clear", 0x00, true, 0xF7, true, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qvsim::ControllerProfile p = ItemProfile(0);
        p.featureF4[0] = c.feature0;
        make(p);
        if (c.limit) ctl->setReg(0x00, 0xF7, {0, 0, 0, 9});
        else ctl->setReply(kReadF7, kRefusedF7);
        ctl->setReg(0x00, 0x45, {0, 0, 0, 4});
        ctl->setReg(0x00, 0x43, {0, 0, 0, c.mode});
        ctl->setReg(0x00, 0x02, {uint8_t(c.pair ? 1 : 0), 0, uint8_t(c.pair ? 0x5A : 0x77), 0x21});
        ctl->setReg(0x00, 0x03, {0, 0, 0x5A, 0x66});
        Guarded<ParameterFinger> r;
        ASSERT_EQ(GetParameterFinger(h, 1u << 3, r.get()), 1);
        r.expectTailUntouched();
        EXPECT_EQ(r->valid, 1u);
        EXPECT_EQ(r->itemMask, 0x0002);  // item 0 has no read here
        EXPECT_EQ(r->item0[0].present, 0u);
        EXPECT_EQ(r->item0[1].value, c.level);
        EXPECT_EQ(r->item0[1].stored, c.level);
        EXPECT_EQ(r->item0[1].maximum, c.maximum);
        EXPECT_EQ(r->item0[1].present, 1u);
        EXPECT_EQ(r->info[0], 0x21);
        EXPECT_EQ(r->info[1], 0x5A);
        EXPECT_EQ(wasSent("E0 00 03 00 00"), !c.pair);
        EXPECT_EQ(wasSent("E0 00 45 00 00"), c.feature0 == 0x01);
        EXPECT_TRUE(registerWrites().empty());
    }

    // A failed register read fails the Get, and the group stays invalid.
    ctl->refuse(0xE0);
    Guarded<ParameterFinger> r;
    EXPECT_EQ(GetParameterFinger(h, 1u << 3, r.get()), 0);
    EXPECT_EQ(r->valid, 0u);
}

TEST_F(ParamTest, FingerSetOfVersionZeroFirmware) {
    struct Case {
        const char* name;
        uint8_t feature0, mode, value;
        std::vector<std::string> sent;
        uint8_t reg, regValue;
    };
    const Case cases[] = {
        {"level register", 0x01, 0x08, 7, {"E1 00 45 00 07"}, 0x45, 7},
        {"mode bit 3 cleared", 0x00, 0x48, 2, {"E0 00 43 00 00", "E1 00 43 00 40"}, 0x43, 0x40},
        {"mode bit 3 set", 0x00, 0x40, 1, {"E0 00 43 00 00", "E1 00 43 00 48"}, 0x43, 0x48},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qvsim::ControllerProfile p = ItemProfile(0);
        p.featureF4[0] = c.feature0;
        make(p);
        ctl->setReg(0x00, 0xF7, {0, 0, 0, 9});
        ctl->setReg(0x00, 0x45, {0, 0, 0, 4});
        ctl->setReg(0x00, 0x43, {0, 0, 0, c.mode});
        Guarded<ParameterFinger> r;
        ASSERT_EQ(GetParameterFinger(h, 1u << 3, r.get()), 1);
        ParameterItem& level = r->item0[1];
        level.value = c.value;
        // Item 0 claimed by the caller: this firmware has no read for it, so no write.
        r->itemMask |= 1;
        r->item0[0] = ParameterItem{3, 9, 0, 0, 1};
        ctl->clearTrace();
        ASSERT_EQ(SetParameterFinger(h, r.get()), 1);
        EXPECT_EQ(sent(), c.sent);
        EXPECT_EQ(ctl->reg(0x00, c.reg)[3], c.regValue);
        EXPECT_EQ(r->changed, 2);
        EXPECT_EQ(level.stored, c.value);
        r.expectTailUntouched();

        // Unchanged, then above the maximum: nothing is sent and nothing changed.
        for (uint8_t v : {c.value, uint8_t(level.maximum + 1)}) {
            level.value = v;
            ctl->clearTrace();
            ASSERT_EQ(SetParameterFinger(h, r.get()), 1);
            EXPECT_TRUE(sent().empty()) << int(v);
            EXPECT_EQ(r->changed, 0);
        }
    }
}

TEST_F(ParamTest, WaterGetOfVersionZeroFirmware) {
    struct Case {
        const char* name;
        uint8_t feature0, feature3, mode;
        uint8_t value, second;
        uint16_t mask;
    };
    const Case cases[] = {
        {"one mode, on", 0x08, 0x18, 0x0A, 1, 1, 0x1},
        {"one mode, off", 0x08, 0x00, 0x80, 0, 1, 0x1},
        {"modes, off wins over both 17 bits", 0x0A, 0x18, 0x8A, 0, 3, 0x5},
        {"modes, bit 3 without second byte 3", 0x0A, 0x00, 0x08, 1, 0, 0x5},
        {"modes, bit 3 with second byte 1", 0x0A, 0x10, 0x08, 1, 1, 0x5},
        {"modes, bit 3 with second byte 2", 0x0A, 0x08, 0x08, 1, 2, 0x5},
        {"modes, bit 1 of the register", 0x0A, 0x00, 0x02, 17, 0, 0x5},
        {"modes, second byte 3 and bit 3", 0x0A, 0x18, 0x08, 17, 3, 0x5},
        {"modes, second byte 3 without bit 3", 0x0A, 0x18, 0x00, 1, 3, 0x5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qvsim::ControllerProfile p = ItemProfile(0);
        p.featureF4[0] = c.feature0;
        p.featureF4[3] = c.feature3;
        make(p);
        ctl->setReg(0x00, 0x43, {0, 0, 0, c.mode});
        ctl->setReg(0x00, 0x01, {0, 0, 0x33, 0x44});
        Guarded<ParameterWater> r;
        ASSERT_EQ(GetParameterWater(h, 1u << 6, r.get()), 1);
        r.expectTailUntouched();
        EXPECT_EQ(r->valid, 1u);
        EXPECT_EQ(r->itemMask, c.mask);
        EXPECT_EQ(r->item0.value, c.value);
        EXPECT_EQ(r->item0.stored, c.value);
        EXPECT_EQ(r->item0.second, c.second);
        EXPECT_EQ(r->item0.present, 1u);
        const bool modes = c.mask & 4;
        EXPECT_EQ(r->item1[1].present, modes ? 1u : 0u);
        EXPECT_EQ(wasSent("E0 00 01 00 00"), modes);
        if (modes) {
            EXPECT_EQ(r->item1[1].value, 0x33);  // reply byte 3 of register 0x01
            EXPECT_EQ(r->item1[1].maximum, 254);
        }
    }
}

TEST_F(ParamTest, WaterSetOfVersionZeroFirmware) {
    qvsim::ControllerProfile p = ItemProfile(0);
    p.featureF4[0] = 0x0A;
    p.featureF4[3] = 0x18;  // second byte 3
    make(p);
    ctl->setReg(0x00, 0x43, {0, 0, 0, 0xC0});  // off; bit 6 belongs to nobody here
    ctl->setReg(0x00, 0x01, {0, 0, 0x33, 0x44});
    Guarded<ParameterWater> r;
    ASSERT_EQ(GetParameterWater(h, 1u << 6, r.get()), 1);
    ASSERT_EQ(r->item0.value, 0);
    ASSERT_EQ(r->item1[1].value, 0x33);

    struct Step {
        const char* name;
        uint8_t value, level;
        uint32_t levelPresent;
        uint16_t mask;
        std::vector<std::string> writes;
        uint8_t mode, reg01, changed;
    };
    const Step steps[] = {
        {"on, second mode", 17, 0x33, 1, 0x5, {"E1 00 43 00 48"}, 0x48, 0x44, 2},
        {"item 2 above 254", 17, 0xFF, 1, 0x5, {}, 0x48, 0x44, 0},
        {"item 2 absent", 17, 9, 0, 0x5, {}, 0x48, 0x44, 0},
        {"item 2 not in the mask", 17, 9, 1, 0x1, {}, 0x48, 0x44, 0},
        {"normal mode and item 2", 1, 200, 1, 0x5, {"E1 00 43 00 40", "E1 00 01 00 C8"}, 0x40, 0xC8, 2},
        {"off", 0, 200, 1, 0x5, {"E1 00 43 00 C0"}, 0xC0, 0xC8, 2},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        r->item0.value = s.value;
        r->item1[1].value = s.level;
        r->item1[1].present = s.levelPresent;
        r->itemMask = s.mask;
        ctl->clearTrace();
        ASSERT_EQ(SetParameterWater(h, r.get()), 1);
        EXPECT_EQ(registerWrites(), s.writes);
        EXPECT_EQ(ctl->reg(0x00, 0x43)[3], s.mode);
        EXPECT_EQ(ctl->reg(0x00, 0x01)[3], s.reg01);
        EXPECT_EQ(r->changed, s.changed);
        EXPECT_EQ(r->item0.stored, s.value);
    }
    r.expectTailUntouched();

    // One mode: bit 7 only, and item 2 is not written even when the caller offers it.
    p.featureF4[0] = 0x08;
    make(p);
    ctl->setReg(0x00, 0x43, {0, 0, 0, 0x08});
    Guarded<ParameterWater> one;
    ASSERT_EQ(GetParameterWater(h, 1u << 6, one.get()), 1);
    ASSERT_EQ(one->item0.value, 1);
    one->item0.value = 0;
    one->itemMask = 0x5;
    one->item1[1] = ParameterItem{5, 254, 0, 0, 1};
    ctl->clearTrace();
    ASSERT_EQ(SetParameterWater(h, one.get()), 1);
    EXPECT_EQ(registerWrites(), std::vector<std::string>{"E1 00 43 00 88"});
}

TEST_F(ParamTest, WaterNeedsFeatureBit3) {
    qvsim::ControllerProfile p = ItemProfile(0);
    p.featureF4[0] = 0x02;
    make(p);
    ParameterWater r{};
    r.cbSize = sizeof r;
    EXPECT_EQ(GetParameterWater(h, 0xFFFF, &r), 0);
    EXPECT_EQ(r.valid, 0u);
    r.valid = 1;
    r.itemMask = 0x5;
    r.item0 = ParameterPairItem{1, 17, 3, 0, 1};
    r.item1[1] = ParameterItem{5, 254, 0, 0, 1};
    EXPECT_EQ(SetParameterWater(h, &r), 0);
    EXPECT_TRUE(sent().empty());
}

}  // namespace
}  // namespace qvtest
