// ReadAllParameters on the simulated controllers: every group in its order, the
// calibration working copy, the parameter version, the virtual-key CRC word
// (and with it the parameter CRC the read-out checks), the constant block, and
// what a failed read or an unreadable version does.
#include "core/parameter_read.h"
#include "params_support.h"
#include "core/device_finder.h"
#include "core/device_readout.h"
#include "core/program_state.h"
#include "ui/message_box.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using paramtest::ParamBench;

class ReadAll : public ParamBench {};

TEST_F(ReadAll, ReadsEveryGroupInItsOrderIntoTheProgramRecords) {
    ASSERT_TRUE(open("full"));
    ctl().clearTrace();
    ASSERT_TRUE(vcx::ReadAllParameters(c));
    const vcx::ProgramRecords& r = c.records;
    EXPECT_EQ(c.dev.paraVersion, 152);
    // The presence reads show the order: the general group, then custom ... host interface.
    std::vector<std::string> masks;
    for (const std::string& s : sentWith("F6 "))
        if (s.substr(6) == "00 00 00") masks.push_back(s.substr(3, 2));
    EXPECT_EQ(masks, (std::vector<std::string>{"00", "8E", "0F", "0D", "0C", "0B", "0A", "09", "08", "07", "17", "06",
                                               "05", "04", "03", "02", "01"}));
    for (uint32_t valid : {r.custom.valid, r.vButton.valid, r.driveIC.valid, r.misc.valid, r.abnormalScan.valid,
                           r.normalScan.valid, r.powerSaving.valid, r.coordinate.valid, r.antiNoise.valid,
                           r.water.valid, r.base.valid, r.palm.valid, r.finger.valid, r.panel.valid,
                           r.hostInterface.valid})
        EXPECT_EQ(valid, 1u);
    EXPECT_EQ(r.palm.item5.present, 1u);
    EXPECT_EQ(r.finger.item0[0].maximum, 14);
    EXPECT_EQ(0, std::memcmp(&r.calibrationCoordinate, &r.coordinate, sizeof r.coordinate));
    // The virtual-key CRC word is the controller's, and so the parameter CRC agrees.
    EXPECT_EQ(c.dev.virtualKeyCrc, qvsim::VirtualKeyCrc(ctl().profile()));
    EXPECT_EQ(0, std::memcmp(c.dev.parameterConstants.data(), ctl().profile().constants.data(), 80));
    ASSERT_TRUE(GetAPBTParaList(c.dev.device, &c.records.paraList));
    uint16_t crc[2] = {};
    EXPECT_EQ(vcx::CheckParameterCRC(c, crc), 1);
    EXPECT_EQ(crc[0], crc[1]);
}

TEST_F(ReadAll, BelowOneThirtyThreeTheKeyWordIsPlainAndTheCrcStillAgrees) {
    ASSERT_TRUE(open("full125"));
    c.dev.virtualKeyCrc = 0x1234;
    ctl().clearTrace();
    ASSERT_TRUE(vcx::ReadAllParameters(c));
    EXPECT_EQ(c.dev.paraVersion, 125);
    EXPECT_EQ(c.dev.virtualKeyCrc, 0xFFFF);
    EXPECT_TRUE(sentWith("F6 0F 03").empty());
    ASSERT_TRUE(GetAPBTParaList(c.dev.device, &c.records.paraList));
    uint16_t crc[2] = {};
    EXPECT_EQ(vcx::CheckParameterCRC(c, crc), 1);
}

TEST_F(ReadAll, AFailedGroupReadGoesOnAndAFailedKeyCrcIsPlain) {
    ASSERT_TRUE(open("full"));
    ctl().refuse(qvsim::PacketPrefix({0xF6, 0x04, 0x10, 0, 0}, {0xFF, 0xFF, 0xF0, 0, 0}));  // palm items
    ctl().refuse(qvsim::PacketPrefix::exact({0xF6, 0x0F, 0x03, 0, 0}));
    EXPECT_FALSE(vcx::ReadAllParameters(c));
    EXPECT_EQ(c.records.palm.valid, 0u);
    EXPECT_EQ(c.records.finger.valid, 1u);  // read after the palm group
    EXPECT_EQ(c.records.hostInterface.valid, 1u);
    EXPECT_EQ(c.dev.paraVersion, 152);
    EXPECT_EQ(c.dev.virtualKeyCrc, 0xFFFF);

    // Without a readable virtual-button group its first maximum is 0.
    ctl().clearFaults();
    ctl().refuse(qvsim::PacketPrefix({0xF6, 0x0F, 0x10, 0, 0}, {0xFF, 0xFF, 0xF0, 0, 0}));
    EXPECT_FALSE(vcx::ReadAllParameters(c));
    EXPECT_EQ(c.records.vButton.item[0].maximum, 0);
}

TEST_F(ReadAll, AnUnknownMajorVersionIsSaidAndReadingGoesOn) {
    ASSERT_TRUE(open("full"));
    std::string error;
    ASSERT_TRUE(qvsim::setControllerKey(ctl(), "paraVersion", "252", &error)) << error;
    std::vector<qvui::MessageBoxRequest> asked;
    qvui::MessageBoxResponder answer([&](const qvui::MessageBoxRequest& q) {
        asked.push_back(q);
        return qvui::MessageAnswer::Ok;
    });
    EXPECT_TRUE(vcx::ReadAllParameters(c));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "This application and library can't support device parameters version. Pleaese update "
                             "your application and library.");
    EXPECT_EQ(asked[0].caption, "Application and library can't support.");
    EXPECT_EQ(asked[0].icon, qvui::MessageIcon::Error);
    EXPECT_EQ(c.dev.paraVersion, 252);
}

TEST_F(ReadAll, NothingIsReadFromAnOstraModelOrWithoutTheGeneralGroup) {
    ASSERT_TRUE(open("full"));
    c.dev.ostraModel = true;
    ctl().clearTrace();
    EXPECT_FALSE(vcx::ReadAllParameters(c));
    EXPECT_TRUE(sent().empty());
    c.dev.ostraModel = false;
    ctl().refuse(qvsim::PacketPrefix::exact({0xF6, 0x00, 0x00, 0, 0}));
    EXPECT_FALSE(vcx::ReadAllParameters(c));
    EXPECT_EQ(c.dev.paraVersion, 0);
}

// The controllers a user starts the program on read whole, and their parameter
// CRC agrees with the lists in the decided reading.
TEST_F(ReadAll, TheDemoControllersReadOutAgreesOnItsCrc) {
    for (const char* profile : {"demo", "full", "full125"}) {
        SCOPED_TRACE(profile);
        ASSERT_TRUE(open(profile));
        vcx::ReadDevice(c, vcx::programState(), false);
        EXPECT_TRUE(c.dev.parametersRead);
        EXPECT_TRUE(c.dev.listsRead);
        uint16_t crc[2] = {};
        EXPECT_EQ(vcx::CheckParameterCRC(c, crc), 1);
        CloseDevice(c.dev.device);
        c.dev.device = INVALID_HANDLE_VALUE;
    }
}

}  // namespace
