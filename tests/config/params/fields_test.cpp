// The field table read by the change list and the summary: golden texts on the
// full controller, every controller value that names a text bounded, the area
// units of the finger and palm pages, and the rows the pages edit on the record
// members they change.
#include "core/field_table.h"
#include "core/parameter_read.h"
#include "params_support.h"
#include "core/strings.h"
#include "ui/string_table.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using paramtest::ParamBench;

QString names(int kind, int index) { return QString::asprintf(kind == 0 ? "size%d" : "lens%d", index); }

void set(vcx::ProgramRecords& r, const char* key, int value) {
    const vcx::ParamField* f = vcx::FindField(key);
    ASSERT_NE(f, nullptr) << key;
    vcx::WriteField(r, *f, value);
}

class Fields : public ParamBench {
protected:
    void SetUp() override { vcx::addProgramStrings(); }
    void readFull() {
        ASSERT_TRUE(open("full"));
        ASSERT_TRUE(vcx::ReadAllParameters(c));
    }
};

TEST_F(Fields, EveryKeyIsOnceAndEveryChangeLineHasItsFormat) {
    vcx::addProgramStrings();
    std::set<std::string> keys;
    std::set<int> ids;
    for (const vcx::ParamField& f : vcx::ParameterFields()) {
        EXPECT_TRUE(keys.insert(f.key).second) << f.key;
        EXPECT_EQ(vcx::FindField(f.key), &f);
        if (f.confirmId) {
            ids.insert(f.confirmId);
            EXPECT_FALSE(qvui::loadString(f.confirmId).isEmpty()) << f.confirmId;
        }
    }
    // 1240..1291 but for the ids the list never uses (1244, 1246, 1258, 1259, 1287).
    for (int id = 1240; id <= 1291; ++id)
        EXPECT_EQ(ids.count(id), (id == 1244 || id == 1246 || id == 1258 || id == 1259 || id == 1287) ? 0u : 1u) << id;
}

TEST_F(Fields, TheChangeListOfEditsInSeveralGroups) {
    readFull();
    vcx::ProgramRecords& r = c.records;
    EXPECT_EQ(vcx::FormatParameterChanges(r, names), "");
    set(r, "host.hidReport", 2);
    set(r, "finger.maxContacts", 5);
    set(r, "palm.rejection", 1);
    set(r, "palm.size", 250);  // above its maximum 200
    set(r, "coord.xMax", 4000);
    set(r, "power.idleDelay", 4);
    set(r, "water.mode", 0x11);
    set(r, "panel.size", 1);
    EXPECT_EQ(vcx::FormatParameterChanges(r, names),
              "Hid Report Modify : Windows 8 Protocol -> Digitizer Touch\n"
              "Panel Size Modify : size0 -> size1\n"
              "Max Contact Number Modify : 10 -> 5\n"
              "Palm Size Modify : 30 -> 250 (above maximum, not written)\n"
              "Palm Rejection Modify : ( OFF )\n"
              "Water Solution Switch Modify : Water Performance\n"
              "Touch Panel Active Area Modify : { 0 4095 0 4095 } -> { 0 4000 0 4095 }\n"
              "Idle Mode Delay Modify : 3 -> 5\n");
    // A record that was not read is not listed.
    r.palm.valid = 0;
    EXPECT_FALSE(vcx::FormatParameterChanges(r, names).contains("Palm"));
}

TEST_F(Fields, TheSummaryPrintsTheStoredValuesOfEveryReadGroup) {
    readFull();
    vcx::ProgramRecords& r = c.records;
    set(r, "palm.size", 99);  // an edit: the summary keeps the controller's value
    const QString golden = "\nHost Interface : USB\nHid Report : Windows 8 Protocol\n"
                           "\nPanel Size : size0\nCover Lens : lens0\n"
                           "\nSensitivity Level : 0\nMax Contact Number : 10\n"
                           "\nPalm Rejection : ( ON )\nPalm On Edge : ( ON )\nPalm Size : 30\n"
                           "Disable Range Near Palm : 10\nPalm Up Debouncing : 5\n"
                           "\nWater Solution Switch : OFF\n"
                           "\nLow Pass Filter : 8\nEnhanced Driving : ( OFF )\nMedian Filter : Half\n"
                           "Frequency Hopping Select : 0\nEnhanced Frequency Hopping : Normal\n"
                           "\nTail Orientation : Bottom\nEdge Compensation : { 20 20 20 20 }\n"
                           "Touch Panel Active Area : { 0 4095 0 4095 }\n";
    EXPECT_EQ(vcx::FormatParameterSummary(r, 0, names), golden);

    // An I2C HID device, tail 5 (no line), no median level (the switch instead), an
    // auto-detected interface, one edge item missing (no edge line).
    QString text = vcx::FormatParameterSummary(r, 0x20, names);
    EXPECT_TRUE(text.startsWith("\nHost Interface : Auto Detect: I2C (HID)\nHid Report : ")) << text.toStdString();
    r.coordinate.item8[3].stored = 5;
    r.antiNoise.extension[0].present = 0;
    r.coordinate.item12[2].present = 0;
    r.hostInterface.interfaceByte = 0x06;
    text = vcx::FormatParameterSummary(r, 0, names);
    EXPECT_TRUE(text.startsWith("\nHost Interface : Auto Detect :I2C\n")) << text.toStdString();
    EXPECT_FALSE(text.contains("Tail Orientation"));
    EXPECT_FALSE(text.contains("Edge Compensation"));
    EXPECT_TRUE(text.contains("\nMedian Filter : ( OFF )\n"));
    r.water.valid = 0;
    EXPECT_FALSE(vcx::FormatParameterSummary(r, 0, names).contains("Water"));
}

// Controller values that index a text table print their number outside it.
TEST_F(Fields, ValuesOutsideTheirNameTablesPrintAsNumbers) {
    struct Case {
        const char* key;
        int value;
        const char* text;
    };
    const Case cases[] = {
        {"host.interface", 0x08, "Auto Detect"}, {"host.interface", 0x03, "3"},     {"host.interface", 0x02, "I2C"},
        {"host.hidReport", 3, "Digitizer Pen"},   {"host.hidReport", 4, "4"},        {"coord.orientation", 3, "Left"},
        {"coord.orientation", 4, "4"},            {"coord.orientation", 7, "7"},     {"power.idleInterval", 3, "10"},
        {"power.idleInterval", 4, "4"},           {"drive.voltage", 7, "18"},        {"drive.voltage", 8, "8"},
        {"water.mode", 0x11, "Water Performance"}, {"water.mode", 0x10, "16"},       {"noise.medianLevel", 3, "3"},
        {"noise.hoppingSelect", 2, "2"},          {"noise.hoppingSelect", 9, "9"},   {"noise.enhancedHopping", 2, "2"},
        {"palm.rejection", 0, "( ON )"},          {"palm.rejection", 2, "( OFF )"},  {"palm.onEdge", 2, "( ON )"},
        {"panel.size", 7, "7"},                   {"custom.pointRatio", 3, "4"},     {"host.i2cAddress", 0x41, "0x41"},
    };
    for (const Case& k : cases) {
        const vcx::ParamField* f = vcx::FindField(k.key);
        ASSERT_NE(f, nullptr) << k.key;
        EXPECT_EQ(vcx::FieldValueText(*f, k.value), k.text) << k.key << " " << k.value;
    }
}

TEST_F(Fields, AreaUnitsFromThePitch) {
    readFull();
    EXPECT_EQ(vcx::PalmSizeUnit(65), "* 42(mm^2)");
    EXPECT_EQ(vcx::PalmRangeUnit(65), "* 6.5mm");
    EXPECT_EQ(vcx::WindowLockUnit(65), "* 0.083(mm^2)");
    EXPECT_EQ(vcx::FastMotionUnit(65), "* 21(mm^2)");
    std::array<uint8_t, 8> features{};
    EXPECT_EQ(vcx::AreaPitch(c.records, 152, features, false), 60);  // the panel's pitch byte
    EXPECT_EQ(vcx::AreaPitch(c.records, 130, features, false), 65);
    features[3] = 0x80;
    EXPECT_EQ(vcx::AreaPitch(c.records, 152, features, true), 120);
    EXPECT_EQ(vcx::AreaPitch(c.records, 152, features, false), 60);
}

// Each row the pages edit sits on the record member the page changes.
TEST(PageFields, RowsPointAtTheRecordMembersThePagesEdit) {
    vcx::ProgramRecords r{};
    auto at = [&r](vcx::ParamRecord record, const void* member) {
        return int(static_cast<const uint8_t*>(member) - vcx::RecordBytes(r, record));
    };
    using R = vcx::ParamRecord;
    struct Row {
        const char* key;
        int offset;
        int minimum;
        vcx::Polarity polarity;
        bool engineer;
    };
    using P = vcx::Polarity;
    const Row rows[] = {
        {"host.baudRate", at(R::HostInterface, &r.hostInterface.item[2]), 0, P::None, false},
        {"finger.windowLockPost", at(R::Finger, &r.finger.item5), 0, P::None, false},
        {"finger.mutual", at(R::Finger, &r.finger.item9[0]), 0, P::None, false},
        {"finger.sector", at(R::Finger, &r.finger.item9[1]), 0, P::None, false},
        {"finger.dynamicThreshold", at(R::Finger, &r.finger.item9[2]), 0, P::ZeroIsOn, false},
        {"finger.lowerThreshold", at(R::Finger, &r.finger.item9[3]), 0, P::ZeroIsOn, false},
        {"water.abnormalOffset", at(R::Water, &r.water.item1[0]), 0, P::None, false},
        {"water.abnormalThreshold", at(R::Water, &r.water.item1[1]), 0, P::None, false},
        {"water.abnormalInterval", at(R::Water, &r.water.item1[2]), 0, P::None, false},
        {"water.negativeAdjust", at(R::Water, &r.water.item9[0]), 0, P::None, true},
        {"water.sensorRatio", at(R::Water, &r.water.item12[0]), 0, P::None, true},
        {"water.driverRatio", at(R::Water, &r.water.item12[1]), 0, P::None, true},
        {"noise.threshold", at(R::AntiNoise, &r.antiNoise.item1[0]), 1, P::None, true},
        {"noise.thresholdStep", at(R::AntiNoise, &r.antiNoise.item1[1]), 1, P::None, true},
        {"noise.hopping", at(R::AntiNoise, &r.antiNoise.item3[1]), 0, P::ZeroIsOn, true},
        {"noise.inhibitChange", at(R::AntiNoise, &r.antiNoise.item3[2]), 0, P::ZeroIsOn, true},
        {"scan.adcCount", at(R::NormalScan, &r.normalScan.item5), 0, P::None, false},
        {"scan.kbuDelay", at(R::NormalScan, &r.normalScan.item6), 0, P::None, false},
        {"scan.vref", at(R::NormalScan, &r.normalScan.item7), 0, P::OneIsOn, false},
        {"scan2.adcDelay", at(R::AbnormalScan, &r.abnormalScan.item[4]), 0, P::None, false},
        {"misc.baseUpdate", at(R::Misc, &r.misc.item[2]), 0, P::OneIsOn, true},
        {"misc.remoteWakeup", at(R::Misc, &r.misc.item3), 0, P::OneIsOn, true},
        {"misc.eventMask", at(R::Misc, &r.misc.item4), 0, P::None, true},
        {"drive.current", at(R::DriveIC, &r.driveIC.item[1]), 0, P::None, true},
        {"custom.format", at(R::Custom, &r.custom.info[0]), 0, P::None, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        const vcx::ParamField* f = vcx::FindField(row.key);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->offset, row.offset);
        EXPECT_EQ(f->minimum, row.minimum);
        EXPECT_EQ(f->polarity, row.polarity);
        EXPECT_EQ(f->engineerOnly, row.engineer);
        EXPECT_EQ(f->confirmId, 0);  // not in the change list
    }
    // The event mask is a 16-bit item without a maximum: both bytes are read and written.
    const vcx::ParamField& mask = *vcx::FindField("misc.eventMask");
    r.misc.valid = 1;
    r.misc.item4 = {0x0181, 0x0180, 1};
    const vcx::FieldValue v = vcx::ReadField(r, mask);
    EXPECT_TRUE(v.present);
    EXPECT_EQ(v.value, 0x0181);
    EXPECT_EQ(v.stored, 0x0180);
    vcx::WriteField(r, mask, 0x013C);
    EXPECT_EQ(r.misc.item4.value, 0x013C);
    EXPECT_EQ(r.misc.item4.stored, 0x0180);
    // Rows outside the change list leave it as it was.
    r.misc.item4.value = 0x0155;
    EXPECT_TRUE(vcx::FormatParameterChanges(r).isEmpty());
}

}  // namespace
