#include "params/param_strings.h"

#include "ui/string_table.h"

#include <QDebug>

#include <mutex>

namespace vcx {

namespace {

const qvui::StringEntry kParameterStrings[] = {
    // The sheet's tabs.
    {605, u"Palm", u"手掌"},
    {609, u"Anti-Noise", u"抗噪"},
    {620, u"Interface", u"接口"},
    {621, u"Panel", u"面板"},
    {622, u"Finger", u"手指"},
    {623, u"Water", u"防水"},
    {625, u"Coordinate", u"坐标"},
    // Finger, palm tips (features).
    {630, u"Touch becomes less sensitive.", nullptr},
    {631, u"Touch becomes more sensitive for operating with gloves.", nullptr},
    {632, u"The minimum touch sampling interval.", nullptr},
    {633, u"The observation period before confirming touch appearance.", nullptr},
    {634, u"The observation period before confirming touch disappearance.", nullptr},
    {635, u"Surpress touch jittering in a small range.", nullptr},
    {636, u"Define touch offset threshold, movement above the offset is defined as fast motion.", nullptr},
    {637, u"Enable palm detection and surpression at edges, good for handheld devices.", nullptr},
    {638, u"Disable palm detection on edges.", nullptr},
    {639, u"Defines the palm detection threshold. The number of diamonds covered by palm.", nullptr},
    {640, u"Defines the disabled area, calculated from the center of palm.", nullptr},
    {641, u"The observation period before confirming palm disappearance.", nullptr},
    {670, u"No false touch from palms.", nullptr},
    {671, u"Smoother drawing performance in water.", nullptr},
    // Their side effects and limits.
    {700, u"Glove may not be supported.", nullptr},
    {701, u"More easily affected by environmental noise.", nullptr},
    {702, u"No effect when setting value under 6. Setting values above 20 not recommended.", nullptr},
    {703, u"Affects touch repsonse time. Too small a value cannot filter false touch effectively. Too large a value "
          u"affects touch down latency.",
     nullptr},
    {704, u"Too small a value may let touches break up while drawing. Too large a value affects touch up latency.",
     nullptr},
    {705, u"Too small a value cannot prevent jitter caused by noise.", nullptr},
    {706, u"Larger value causes drawing to stay in slow motion state, which increases touch panning latency.", nullptr},
    {707, u"Touch on edges may be less sensitive.", nullptr},
    {708, u"Palm on edge may generated unexpected touch signals.", nullptr},
    {709, u"Thumb may be detected as palm if very small threshold value is used.", nullptr},
    {710, u"Touch may be less sensitive around palm.", nullptr},
    {711, u"Palm area is less sensitive during the debouncing period.", nullptr},
    {732, u"Lower drawing performance in water.", nullptr},
    {733, u"Palms cause false touches.", nullptr},
    // The calibration window.
    {1213, u"Please click red target.", u"请点击红色目标。"},
    {1214, u"Touch down. Please Wait...", u"已按下，请稍候..."},
    {1215, u"Please release touch.", u"请松开触摸。"},
    {1216, u"Check Point Test.\nPlease click red target.\n( Press F9 to skip test. )",
     u"校验点测试。\n请点击红色目标。\n（按 F9 跳过测试。）"},
    {1217, u"Check Point Test Failed.\nDo you want to save\ncalibration data?", u"校验点测试失败。\n是否保存\n校准数据？"},
    {1218, u"Touch this screen to start its calibration.", u"触摸此屏幕以开始校准。"},
    // Range lines of the numeric edits.
    {1219, u"Range : %d ~ %d", u"范围 : %d ~ %d"},
    {1220, u"Range : 0x01 ~ 0x%02X", u"范围 : 0x01 ~ 0x%02X"},
    // Tail orientation.
    {1230, u"Bottom", u"下"},
    {1231, u"Right", u"右"},
    {1232, u"Top", u"上"},
    {1233, u"Left", u"左"},
    // The change list of Apply.
    {1240, u"Host Interface Modify : %s -> %s\n", nullptr},
    {1241, u"I2C Address Modify : 0x%02X -> 0x%02X\n", nullptr},
    {1242, u"Hid Report Modify : %s -> %s\n", nullptr},
    {1243, u"Panel Size Modify : %s -> %s\n", nullptr},
    {1245, u"Cover Lens Modify : %s -> %s\n", nullptr},
    {1247, u"Panel Skip Sensor Modify : %d -> %d\n", nullptr},
    {1248, u"Panel Skip Driver Modify : %d -> %d\n", nullptr},
    {1249, u"Panel Used Sensor Modify : %d -> %d\n", nullptr},
    {1250, u"Panel Used Driver Modify : %d -> %d\n", nullptr},
    {1251, u"Sensitivity Level Modify : %d -> %d\n", nullptr},
    {1252, u"Max Contact Number Modify : %d -> %d\n", nullptr},
    {1253, u"Window Lock (slow) Modify : %d -> %d\n", nullptr},
    {1254, u"Fast Motion Threshold Modify : %d -> %d\n", nullptr},
    {1255, u"Touch Down Debouncing Modify : %d -> %d\n", nullptr},
    {1256, u"Touch Up Debouncing Modify : %d -> %d\n", nullptr},
    {1257, u"Sample Rate Limit Modify : %d -> %d\n", nullptr},
    {1260, u"Palm Size Modify : %d -> %d\n", nullptr},
    {1261, u"Disable Range Near Palm Modify : %d -> %d\n", nullptr},
    {1262, u"Palm Up Debouncing Modify : %d -> %d\n", nullptr},
    {1263, u"Palm On Edge Modify : %s\n", nullptr},
    {1264, u"Palm Rejection Modify : %s\n", nullptr},
    {1265, u"Base Update Driver Number Modify : %d -> %d\n", nullptr},
    {1266, u"Start Update Base Delay Time Modify : %d -> %d\n", nullptr},
    {1267, u"Inactive Base Update Delay Count Modify : %d -> %d\n", nullptr},
    {1268, u"Active Base Update Delay Count Modify : %d -> %d\n", nullptr},
    {1269, u"Water Solution Switch Modify : %s\n", nullptr},
    {1270, u"Performance / Reliability Modify : %d -> %d\n", nullptr},
    {1271, u"Negitave Signal Threshold Modify : %d -> %d\n", nullptr},
    {1272, u"Negitave Signal Count Modify : %d -> %d\n", nullptr},
    {1273, u"Lock 1 Contact Switch Modify : %s\n", nullptr},
    {1274, u"Low Pass Filter Modify : %d -> %d\n", nullptr},
    {1275, u"Enhanced Driving Modify : %s\n", nullptr},
    {1276, u"Median Filter Modify : %s\n", nullptr},
    {1277, u"Enhanced Frequency Hopping Modify : %s\n", nullptr},
    {1278, u"Tail Orientation Modify : %s -> %s\n", nullptr},
    {1279, u"Touch Panel Active Area Modify : { %d %d %d %d } -> { %d %d %d %d }\n", nullptr},
    {1280, u"Edge Compensation Modify : { %d %d %d %d } -> { %d %d %d %d }\n", nullptr},
    {1281, u"Sleep Mode Modify : %s\n", nullptr},
    {1282, u"Idle Mode Modify : %s\n", nullptr},
    {1283, u"Idle Mode Scan Interval Modify : %dms -> %dms\n", nullptr},
    {1284, u"Idle Mode Delay Modify : %d -> %d\n", nullptr},
    {1285, u"WatchDog Switch Modify : %s\n", nullptr},
    {1286, u"Event Notify Switch Modify : %s\n", nullptr},
    {1288, u"Driving Voltage Modify : %d V -> %d V\n", nullptr},
    {1289, u"Point Report Radio Modify : 1 / %d -> 1 / %d \n", nullptr},
    {1290, u"Finger Recognize Modify : %s\n", nullptr},
    {1291, u"Frequency Hopping Select Modify : %s\n", nullptr},
};

} // namespace

void addParameterStrings() {
    static std::once_flag once;
    std::call_once(once, [] {
        const QString problem = qvui::StringTable::instance().add(kParameterStrings);
        if (!problem.isEmpty()) qWarning("VCXMSet parameter strings: %s", qPrintable(problem));
    });
}

} // namespace vcx
