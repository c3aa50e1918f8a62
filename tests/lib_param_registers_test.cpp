// The register forms of the general and anti-noise groups on firmware without a
// parameter version.
#include "lib_param_fixture.h"

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
