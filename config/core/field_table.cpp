#include "core/field_table.h"

#include "ui/string_table.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vcx {

namespace {

using R = ParamRecord;
using F = ItemForm;
using P = Polarity;
using M = MaxRule;
using T = ValueText;

// In change-list order (the string ids 1240..1291 as Apply lists them).
const ParamField kFields[] = {
    // key, record, offset, form, support bit, minimum, maximum rule, polarity, tips, engineer, confirm, text, summary, rank
    {"host.interface", R::HostInterface, 12, F::Byte, 0, 0, M::Item, P::None, {}, false, 1240, T::Interface, nullptr, 0},
    {"host.i2cAddress", R::HostInterface, 20, F::Byte, 1, 1, M::Item, P::None, {}, false, 1241, T::Hex, nullptr, 0},
    {"host.hidReport", R::HostInterface, 48, F::Byte, 3, 0, M::Item, P::None, {}, false, 1242, T::HidReport, nullptr, 0},
    {"host.current", R::HostInterface, 36, F::InfoByte, -1, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"panel.size", R::Panel, 12, F::Byte, 0, 0, M::Item, P::None, {}, false, 1243, T::PanelSize, "Panel Size : %s\n", 1},
    {"panel.lens", R::Panel, 20, F::Byte, 1, 0, M::Item, P::None, {}, false, 1245, T::CoverLens, "Cover Lens : %s\n", 2},
    {"panel.skipSensor", R::Panel, 28, F::Byte, 2, 0, M::Item, P::None, {}, false, 1247, T::Number, nullptr, 0},
    {"panel.skipDriver", R::Panel, 36, F::Byte, 3, 0, M::Item, P::None, {}, false, 1248, T::Number, nullptr, 0},
    {"panel.usedSensor", R::Panel, 44, F::Byte, 4, 0, M::Item, P::None, {}, false, 1249, T::Number, nullptr, 0},
    {"panel.usedDriver", R::Panel, 52, F::Byte, 5, 0, M::Item, P::None, {}, false, 1250, T::Number, nullptr, 0},
    {"finger.sensitivity", R::Finger, 12, F::Byte, 0, 0, M::Item, P::None, {630, 700, 631, 701}, false, 1251, T::Number,
     "Sensitivity Level : %d\n", 1},
    {"finger.maxContacts", R::Finger, 20, F::Byte, 1, 1, M::Item, P::None, {}, false, 1252, T::Number,
     "Max Contact Number : %d\n", 2},
    {"finger.windowLockSlow", R::Finger, 36, F::Byte, 3, 0, M::Item, P::None, {635, 705}, false, 1253, T::Number, nullptr, 0},
    // The fast-motion threshold is the item in the record's sixth 8-byte slot (offset 52).
    {"finger.fastMotion", R::Finger, 52, F::Byte, 4, 0, M::Item, P::None, {636, 706}, false, 1254, T::Number, nullptr, 0},
    {"finger.downDebounce", R::Finger, 60, F::Byte, 6, 0, M::Item, P::None, {633, 703}, false, 1255, T::Number, nullptr, 0},
    {"finger.upDebounce", R::Finger, 68, F::Byte, 7, 0, M::Item, P::None, {634, 704}, false, 1256, T::Number, nullptr, 0},
    {"finger.sampleRate", R::Finger, 76, F::Byte, 8, 1, M::Item, P::None, {632, 702}, false, 1257, T::Number, nullptr, 0},
    {"finger.recognize", R::Finger, 120, F::Byte, -1, 0, M::Item, P::ZeroIsOn, {}, false, 1290, T::Switch, nullptr, 0},
    {"palm.size", R::Palm, 12, F::Byte, 0, 0, M::Item, P::None, {639, 709}, false, 1260, T::Number, "Palm Size : %d\n", 3},
    {"palm.range", R::Palm, 20, F::Byte, 1, 0, M::Item, P::None, {640, 710}, false, 1261, T::Number,
     "Disable Range Near Palm : %d\n", 4},
    {"palm.upDebounce", R::Palm, 28, F::Byte, 2, 0, M::Item, P::None, {641, 711}, false, 1262, T::Number,
     "Palm Up Debouncing : %d\n", 5},
    {"palm.onEdge", R::Palm, 36, F::Byte, 3, 0, M::Item, P::OneIsOn, {637, 638, 707, 708}, false, 1263, T::Switch,
     "Palm On Edge : %s\n", 2},
    {"palm.rejection", R::Palm, 52, F::Byte, 5, 0, M::Item, P::ZeroIsOn, {670, 671, 732, 733}, false, 1264, T::Switch,
     "Palm Rejection : %s\n", 1},
    {"base.driverNumber", R::Base, 12, F::Byte, 0, 1, M::ItemPlusOne, P::None, {642, 0}, false, 1265, T::Number, nullptr, 0},
    {"base.startDelay", R::Base, 20, F::Byte, 1, 0, M::Item, P::None, {643, 712}, false, 1266, T::Number, nullptr, 0},
    {"base.inactiveCount", R::Base, 28, F::Byte, 2, 0, M::Item, P::None, {644, 712}, false, 1267, T::Number, nullptr, 0},
    {"base.activeCount", R::Base, 36, F::Byte, 3, 0, M::Item, P::None, {645, 713}, false, 1268, T::Number, nullptr, 0},
    {"water.mode", R::Water, 12, F::Pair, 0, 0, M::Item, P::None, {646, 714, 647, 715, 648, 716}, false, 1269, T::WaterMode,
     "Water Solution Switch : %s\n", 1},
    // The water page's items 4..7 are the record's 8-byte slots at 44, 52, 60 and 68.
    {"water.performance", R::Water, 44, F::Pair, 4, 0, M::Item, P::None, {649, 716, 650, 717}, false, 1270, T::Number, nullptr, 0},
    {"water.negativeThreshold", R::Water, 60, F::Byte, 10, 1, M::Item, P::None, {651, 718}, false, 1271, T::Number, nullptr, 0},
    {"water.negativeCount", R::Water, 68, F::Byte, 11, 1, M::Item, P::None, {651, 718}, false, 1272, T::Number, nullptr, 0},
    {"water.lockOneContact", R::Water, 76, F::Byte, 15, 0, M::Item, P::ZeroIsOn, {668, 669, 728, 729}, false, 1273,
     T::Switch, nullptr, 0},
    {"noise.lowPass", R::AntiNoise, 12, F::Pair, 0, 1, M::Item, P::None, {652, 719, 653, 720}, false, 1274, T::Number,
     "Low Pass Filter : %d\n", 1},
    {"noise.enhancedDriving", R::AntiNoise, 36, F::Byte, 3, 0, M::Item, P::OneIsOn, {672, 673, 734, 735}, false, 1275,
     T::Switch, "Enhanced Driving : %s\n", 2},
    {"noise.medianSwitch", R::AntiNoise, 84, F::Byte, 9, 0, M::Item, P::OneIsOn, {}, false, 1276, T::Switch,
     "Median Filter : %s\n", 3},
    {"noise.enhancedHopping", R::AntiNoise, 92, F::Byte, 10, 0, M::Item, P::None, {}, false, 1277, T::EnhancedHopping,
     "Enhanced Frequency Hopping : %s\n", 5},
    {"noise.medianLevel", R::AntiNoise, 152, F::Byte, -1, 0, M::Item, P::None, {}, false, 1276, T::MedianLevel,
     "Median Filter : %s\n", 3},
    {"noise.hoppingSelect", R::AntiNoise, 140, F::Byte, 15, 0, M::Item, P::None, {}, false, 1291, T::HoppingSelect,
     "Frequency Hopping Select : %s\n", 4},
    {"coord.orientation", R::Coordinate, 132, F::Byte, 11, 0, M::Item, P::None, {}, false, 1278, T::Orientation,
     "Tail Orientation : %s\n", 1},
    {"coord.xMin", R::Coordinate, 12, F::Word, 0, 0, M::Item, P::None, {}, false, 1279, T::Quad,
     "Touch Panel Active Area : { %d %d %d %d }\n", 3},
    {"coord.xMax", R::Coordinate, 24, F::Word, 1, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"coord.yMin", R::Coordinate, 36, F::Word, 2, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"coord.yMax", R::Coordinate, 48, F::Word, 3, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"coord.edge0", R::Coordinate, 144, F::Byte, 12, 0, M::Item, P::None, {}, false, 1280, T::Quad,
     "Edge Compensation : { %d %d %d %d }\n", 2},
    {"coord.edge1", R::Coordinate, 152, F::Byte, 13, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"coord.edge2", R::Coordinate, 160, F::Byte, 14, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"coord.edge3", R::Coordinate, 168, F::Byte, 15, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    // The axis switches and the reference range that places the calibration targets.
    {"coord.xReverse", R::Coordinate, 108, F::Byte, 8, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"coord.yReverse", R::Coordinate, 116, F::Byte, 9, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"coord.switch", R::Coordinate, 124, F::Byte, 10, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"coord.refXMin", R::Coordinate, 60, F::Word, 4, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"coord.refXMax", R::Coordinate, 72, F::Word, 5, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"coord.refYMin", R::Coordinate, 84, F::Word, 6, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"coord.refYMax", R::Coordinate, 96, F::Word, 7, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"power.sleep", R::PowerSaving, 12, F::Byte, 0, 0, M::Item, P::ZeroIsOn, {655, 656, 721, 0}, false, 1281, T::Switch,
     nullptr, 0},
    {"power.idle", R::PowerSaving, 20, F::Byte, 1, 0, M::Item, P::ZeroIsOn, {657, 658, 722, 0}, false, 1282, T::Switch,
     nullptr, 0},
    {"power.idleInterval", R::PowerSaving, 28, F::Byte, 2, 0, M::Item, P::None, {660, 724, 659, 723}, false, 1283, T::IdleInterval, nullptr, 0},
    {"power.idleDelay", R::PowerSaving, 36, F::Byte, 3, 1, M::ItemPlusOne, P::None, {661, 0}, false, 1284, T::PlusOne,
     nullptr, 0},
    {"misc.watchdog", R::Misc, 12, F::Byte, 0, 0, M::Item, P::OneIsOn, {662, 663, 725, 0}, false, 1285, T::Switch, nullptr, 0},
    {"misc.eventNotify", R::Misc, 20, F::Byte, 1, 0, M::Item, P::OneIsOn, {664, 665, 731, 0}, false, 1286, T::Switch,
     nullptr, 0},
    {"drive.voltage", R::DriveIC, 12, F::Byte, 0, 0, M::Item, P::None, {667, 727, 666, 726}, false, 1288, T::Voltage,
     nullptr, 0},
    {"custom.pointRatio", R::Custom, 16, F::Byte, 0, 1, M::ItemPlusOne, P::None, {}, false, 1289, T::PlusOne, nullptr, 0},
    // Rows the pages edit that the change list and the summary leave out.
    {"host.baudRate", R::HostInterface, 28, F::Byte, 2, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"finger.windowLockPost", R::Finger, 44, F::Byte, 5, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"finger.mutual", R::Finger, 88, F::Byte, 9, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"finger.sector", R::Finger, 96, F::Byte, 10, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"finger.dynamicThreshold", R::Finger, 104, F::Byte, -1, 0, M::Item, P::ZeroIsOn, {}, false, 0, T::Switch, nullptr, 0},
    {"finger.lowerThreshold", R::Finger, 112, F::Byte, -1, 0, M::Item, P::ZeroIsOn, {}, false, 0, T::Switch, nullptr, 0},
    {"water.abnormalOffset", R::Water, 20, F::Byte, -1, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"water.abnormalThreshold", R::Water, 28, F::Byte, 2, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"water.abnormalInterval", R::Water, 36, F::Byte, -1, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"water.negativeAdjust", R::Water, 52, F::Byte, -1, 0, M::Item, P::None, {}, true, 0, T::Number, nullptr, 0},
    {"water.sensorRatio", R::Water, 88, F::Byte, 12, 0, M::Item, P::None, {}, true, 0, T::Number, nullptr, 0},
    {"water.driverRatio", R::Water, 96, F::Byte, 13, 0, M::Item, P::None, {}, true, 0, T::Number, nullptr, 0},
    {"noise.threshold", R::AntiNoise, 20, F::Byte, 1, 1, M::Item, P::None, {}, true, 0, T::Number, nullptr, 0},
    {"noise.thresholdStep", R::AntiNoise, 28, F::Byte, 2, 1, M::Item, P::None, {}, true, 0, T::Number, nullptr, 0},
    {"noise.hopping", R::AntiNoise, 44, F::Byte, -1, 0, M::Item, P::ZeroIsOn, {}, true, 0, T::Switch, nullptr, 0},
    {"noise.inhibitChange", R::AntiNoise, 52, F::Byte, -1, 0, M::Item, P::ZeroIsOn, {}, true, 0, T::Switch, nullptr, 0},
    {"scan.count", R::NormalScan, 12, F::Byte, 0, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"scan.chargeCount", R::NormalScan, 20, F::Byte, 1, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"scan.adcCount", R::NormalScan, 56, F::Byte, 5, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"scan.vref", R::NormalScan, 76, F::Byte, 7, 0, M::Item, P::OneIsOn, {}, false, 0, T::Switch, nullptr, 0},
    {"scan.chargeDelay", R::NormalScan, 28, F::Byte, 2, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"scan.dischargeTime", R::NormalScan, 36, F::Byte, 3, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"scan.mutualDelay", R::NormalScan, 44, F::Byte, 4, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"scan.kbuDelay", R::NormalScan, 64, F::Byte, 6, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"scan2.count", R::AbnormalScan, 12, F::Byte, 0, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"scan2.chargeCount", R::AbnormalScan, 20, F::Byte, 1, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"scan2.adcCount", R::AbnormalScan, 56, F::Byte, 5, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"scan2.chargeDelay", R::AbnormalScan, 28, F::Byte, 2, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"scan2.dischargeTime", R::AbnormalScan, 36, F::Byte, 3, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"scan2.adcDelay", R::AbnormalScan, 44, F::Byte, 4, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
    {"misc.baseUpdate", R::Misc, 28, F::Byte, 2, 0, M::Item, P::OneIsOn, {}, true, 0, T::Switch, nullptr, 0},
    {"misc.remoteWakeup", R::Misc, 36, F::Byte, 3, 0, M::Item, P::OneIsOn, {}, true, 0, T::Switch, nullptr, 0},
    {"misc.eventMask", R::Misc, 44, F::ShortWord, 4, 0, M::Item, P::None, {}, true, 0, T::Hex, nullptr, 0},
    {"drive.current", R::DriveIC, 20, F::Byte, 1, 0, M::Item, P::None, {}, true, 0, T::Number, nullptr, 0},
    {"custom.format", R::Custom, 12, F::InfoByte, -1, 0, M::Item, P::None, {}, false, 0, T::Number, nullptr, 0},
};

template <class Rec>
const uint8_t* bytesOf(const Rec& r) {
    return reinterpret_cast<const uint8_t*>(&r);
}

uint16_t u16At(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t u32At(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

QString fromTable(const char* const* names, int count, int value) {
    if (value >= 0 && value < count) return QString::fromLatin1(names[value]);
    return QString::number(value);
}

// A string-table format with printf arguments.
template <class... Args>
QString formatted(uint32_t id, Args... args) {
    return QString::asprintf(qvui::loadString(id).toUtf8().constData(), args...);
}

// The records in the order the summary prints them.
constexpr ParamRecord kSummaryOrder[] = {R::HostInterface, R::Panel, R::Finger, R::Palm,
                                         R::Water, R::AntiNoise, R::Coordinate};

} // namespace

std::span<const ParamField> ParameterFields() { return kFields; }

const ParamField* FindField(const char* key) {
    for (const ParamField& f : kFields)
        if (std::strcmp(f.key, key) == 0) return &f;
    return nullptr;
}

const uint8_t* RecordBytes(const ProgramRecords& r, ParamRecord record) {
    switch (record) {
    case R::HostInterface: return bytesOf(r.hostInterface);
    case R::Panel: return bytesOf(r.panel);
    case R::Finger: return bytesOf(r.finger);
    case R::Palm: return bytesOf(r.palm);
    case R::Water: return bytesOf(r.water);
    case R::Base: return bytesOf(r.base);
    case R::AntiNoise: return bytesOf(r.antiNoise);
    case R::Coordinate: return bytesOf(r.coordinate);
    case R::PowerSaving: return bytesOf(r.powerSaving);
    case R::NormalScan: return bytesOf(r.normalScan);
    case R::AbnormalScan: return bytesOf(r.abnormalScan);
    case R::Misc: return bytesOf(r.misc);
    case R::DriveIC: return bytesOf(r.driveIC);
    case R::Custom: return bytesOf(r.custom);
    }
    return nullptr;
}

uint8_t* RecordBytes(ProgramRecords& r, ParamRecord record) {
    return const_cast<uint8_t*>(RecordBytes(static_cast<const ProgramRecords&>(r), record));
}

bool RecordValid(const ProgramRecords& r, ParamRecord record) { return u32At(RecordBytes(r, record) + 8) != 0; }

FieldValue ReadField(const ProgramRecords& r, const ParamField& f) {
    const uint8_t* p = RecordBytes(r, f.record) + f.offset;
    FieldValue v;
    switch (f.form) {
    case F::Byte: v = {u32At(p + 4) != 0, p[0], p[2], p[1]}; break;
    case F::Pair: v = {u32At(p + 4) != 0, p[0], p[3], p[1]}; break;
    case F::Word: v = {u32At(p + 8) != 0, u16At(p), u16At(p + 4), u16At(p + 2)}; break;
    case F::ShortWord: v = {u32At(p + 4) != 0, u16At(p), u16At(p + 2), 0xFFFF}; break;
    case F::InfoByte: v = {RecordValid(r, f.record), p[0], p[0], 0xFF}; break;
    }
    return v;
}

void WriteField(ProgramRecords& r, const ParamField& f, int value) {
    uint8_t* p = RecordBytes(r, f.record) + f.offset;
    if (f.form == F::Word || f.form == F::ShortWord) {
        p[0] = uint8_t(value & 0xFF);
        p[1] = uint8_t((value >> 8) & 0xFF);
    } else {
        p[0] = uint8_t(value);
    }
}

int FieldMaximum(const ProgramRecords& r, const ParamField& f) {
    const int m = ReadField(r, f).maximum;
    return f.maxRule == M::ItemPlusOne ? m + 1 : m;
}

bool FieldSupported(const ProgramRecords& r, const ParamField& f) {
    if (!FieldPresent(r, f)) return false;
    if (f.supportBit < 0) return true;
    return (RecordItemMask(r, f.record) >> (f.supportBit & 15)) & 1;
}

uint8_t* FieldByte(ProgramRecords& r, const ParamField& f) {
    if (f.form != F::Byte && f.form != F::Pair) return nullptr;
    return RecordBytes(r, f.record) + f.offset;
}

bool FieldPresent(const ProgramRecords& r, const ParamField& f) { return RecordValid(r, f.record) && ReadField(r, f).present; }

uint16_t RecordItemMask(const ProgramRecords& r, ParamRecord record) {
    return RecordValid(r, record) ? u16At(RecordBytes(r, record) + 4) : 0;
}

FieldRange ShownRange(const ProgramRecords& r, const ParamField& f) { return {f.minimum, FieldMaximum(r, f)}; }

FieldRange ValueRange(const ProgramRecords& r, const ParamField& f) {
    const FieldRange shown = ShownRange(r, f);
    const int below = f.maxRule == M::ItemPlusOne ? 1 : 0;
    return {shown.minimum - below, shown.maximum - below};
}

QString SwitchText(Polarity p, int value) {
    const bool on = p == P::ZeroIsOn ? value == 0 : value != 0;
    return on ? QStringLiteral("( ON )") : QStringLiteral("( OFF )");
}

QString FieldValueText(const ParamField& f, int value, const ControllerNames& names) {
    static const char* const kHid[] = {"Windows 8 Protocol", "Mouse Emulation", "Digitizer Touch", "Digitizer Pen"};
    static const char* const kWater[] = {"OFF", "Water Detect", "Water Performance"};
    static const char* const kMedian[] = {"OFF", "Half", "Full"};
    static const char* const kHopping[] = {"0", "1", "2"};
    static const char* const kEnhanced[] = {"Normal", "Enhance"};
    static const int kIdle[] = {50, 30, 20, 10};
    static const int kVolts[] = {0, 6, 8, 10, 12, 14, 16, 18};
    switch (f.text) {
    case T::Number:
    case T::Quad: return QString::number(value);
    case T::Hex: return QString::asprintf("0x%02X", unsigned(value));
    case T::PlusOne: return QString::number(value + 1);
    case T::Interface:
        switch (value) {
        case 0x00: return QStringLiteral("USB");
        case 0x01: return QStringLiteral("RS232 / UART");
        case 0x02: return QStringLiteral("I2C");
        case 0x08: return QStringLiteral("Auto Detect");
        default: return QString::number(value);
        }
    case T::HidReport: return fromTable(kHid, 4, value);
    case T::PanelSize:
    case T::CoverLens: {
        const QString text = names ? names(f.text == T::PanelSize ? 0 : 1, value) : QString();
        return text.isEmpty() ? QString::number(value) : text;
    }
    case T::Switch: return SwitchText(f.polarity, value);
    case T::WaterMode:
        // 0x00 OFF, 0x01 Water Detect, 0x11 Water Performance.
        if (value == 0x00) return QString::fromLatin1(kWater[0]);
        if (value == 0x01) return QString::fromLatin1(kWater[1]);
        if (value == 0x11) return QString::fromLatin1(kWater[2]);
        return QString::number(value);
    case T::MedianLevel: return fromTable(kMedian, 3, value);
    case T::HoppingSelect: return fromTable(kHopping, 3, value);
    case T::EnhancedHopping: return fromTable(kEnhanced, 2, value);
    case T::Orientation:
        if (value >= 0 && value < 4) return qvui::loadString(uint32_t(1230 + value));
        return QString::number(value);
    case T::IdleInterval:
        return value >= 0 && value < 4 ? QString::number(kIdle[value]) : QString::number(value);
    case T::Voltage:
        return value >= 0 && value < 8 ? QString::number(kVolts[value]) : QString::number(value);
    }
    return QString::number(value);
}

QString FormatParameterChanges(const ProgramRecords& r, const ControllerNames& names) {
    QString out;
    const auto fields = ParameterFields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const ParamField& f = fields[i];
        if (!f.confirmId || !RecordValid(r, f.record)) continue;
        const FieldValue v = ReadField(r, f);
        if (!v.present) continue;
        QString line;
        if (f.text == T::Quad) {
            if (i + 3 >= fields.size()) continue;
            int was[4], now[4];
            bool changed = false;
            for (int k = 0; k < 4; ++k) {
                const FieldValue q = ReadField(r, fields[i + size_t(k)]);
                was[k] = q.stored;
                now[k] = q.value;
                changed |= q.present && q.value != q.stored;
            }
            if (!changed) continue;
            line = formatted(f.confirmId, was[0], was[1], was[2], was[3], now[0], now[1], now[2], now[3]);
        } else {
            if (v.value == v.stored) continue;
            const QString format = qvui::loadString(f.confirmId);
            const int conversions = int(format.count(QLatin1Char('%')));
            if (f.text == T::Switch || (conversions == 1 && format.contains(QLatin1String("%s")))) {
                line = formatted(f.confirmId, FieldValueText(f, v.value, names).toUtf8().constData());
            } else if (format.contains(QLatin1String("%s"))) {
                line = formatted(f.confirmId, FieldValueText(f, v.stored, names).toUtf8().constData(),
                                 FieldValueText(f, v.value, names).toUtf8().constData());
            } else if (f.text == T::Hex) {
                line = formatted(f.confirmId, unsigned(v.stored), unsigned(v.value));
            } else {
                line = formatted(f.confirmId, FieldValueText(f, v.stored).toInt(), FieldValueText(f, v.value).toInt());
            }
        }
        // The group write skips a byte item above its maximum: say so.
        if (f.form != F::Word && f.form != F::ShortWord && f.text != T::Quad && v.value > v.maximum && line.endsWith(QLatin1Char('\n'))) {
            line.chop(1);
            if (line.endsWith(QLatin1Char(' '))) line.chop(1);
            line += QStringLiteral(" (above maximum, not written)\n");
        }
        out += line;
    }
    return out;
}

QString FormatParameterSummary(const ProgramRecords& r, uint32_t deviceType, const ControllerNames& names) {
    QString out;
    for (ParamRecord record : kSummaryOrder) {
        if (!RecordValid(r, record)) continue;
        out += QLatin1Char('\n');
        if (record == R::HostInterface) {
            if (deviceType & 0x20) {
                out += QStringLiteral("Host Interface : Auto Detect: I2C (HID)\n");
            } else {
                static const char* const kNames[] = {"USB", "RS232 / UART", "I2C", "SPI"};
                const FieldValue item = ReadField(r, *FindField("host.interface"));
                const int current = ReadField(r, *FindField("host.current")).value;
                const bool auto_ = (current & 0x0C) || !item.present;
                out += QStringLiteral("Host Interface : %1%2\n")
                           .arg(auto_ ? QStringLiteral("Auto Detect :") : QString(), QLatin1String(kNames[current & 3]));
            }
            const ParamField& report = *FindField("host.hidReport");
            const FieldValue v = ReadField(r, report);
            if (v.present) out += QStringLiteral("Hid Report : %1\n").arg(FieldValueText(report, v.stored));
            continue;
        }
        std::vector<const ParamField*> rows;
        for (const ParamField& f : kFields)
            if (f.record == record && f.summary) rows.push_back(&f);
        std::stable_sort(rows.begin(), rows.end(),
                         [](const ParamField* a, const ParamField* b) { return a->summaryRank < b->summaryRank; });
        const bool hasMedianLevel = ReadField(r, *FindField("noise.medianLevel")).present;
        for (const ParamField* f : rows) {
            const FieldValue v = ReadField(r, *f);
            if (!v.present) continue;
            if (std::strcmp(f->key, "noise.medianSwitch") == 0 && hasMedianLevel) continue;
            if (f->text == T::Quad) {
                const ParamField* q = f;
                int values[4];
                bool all = true;
                for (int k = 0; k < 4; ++k) {
                    const FieldValue e = ReadField(r, q[k]);
                    all &= e.present;
                    values[k] = e.stored;
                }
                if (std::strcmp(f->key, "coord.edge0") == 0 && !all) continue;
                out += QString::asprintf(f->summary, values[0], values[1], values[2], values[3]);
            } else if (std::strcmp(f->key, "finger.sensitivity") == 0) {
                out += QString::asprintf(f->summary, v.stored - (v.maximum + 1) / 2);
            } else if (f->text == T::Orientation && (v.stored < 0 || v.stored > 3)) {
                continue;
            } else if (std::strstr(f->summary, "%s")) {
                out += QString::asprintf(f->summary, FieldValueText(*f, v.stored, names).toUtf8().constData());
            } else {
                out += QString::asprintf(f->summary, v.stored);
            }
        }
    }
    return out;
}

double AreaPitch(const ProgramRecords& r, int paraVersion, const std::array<uint8_t, 8>& features, bool fingerPage) {
    double p = paraVersion >= 131 ? double(RecordBytes(r, R::Panel)[74]) : 65.0;
    if (fingerPage && features[3] >= 128) p *= 2;
    return p;
}

QString PalmSizeUnit(double p) { return QString::asprintf("* %.0f(mm^2)", p * p / 100.0); }
QString PalmRangeUnit(double p) { return QString::asprintf("* %.1fmm", p / 10.0); }
QString WindowLockUnit(double p) { return QString::asprintf("* %.3f(mm^2)", p * p / 51200.0); }
QString FastMotionUnit(double p) { return QString::asprintf("* %.0f(mm^2)", p * p / 200.0); }

} // namespace vcx
