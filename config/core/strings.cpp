#include "core/strings.h"

#include "core/param_strings.h"
#include "core/tip_controls.h"
#include "core/touch_strings.h"

#include "ui/string_table.h"

#include <QDebug>

#include <mutex>

namespace vcx {

namespace {

const qvui::StringEntry kStrings[] = {
    // The Debug page's question before the touch panel is reset (its caption is 765).
    {766, u"Do you want to reset touch panel?", u"是否重置触摸面板？"},
    // Tooltips of the command buttons.
    {768, u"Restart the controller; its touch scanning resumes once it is back.", u"重新启动控制器；控制器恢复后继续触摸扫描。"},
    {769, u"Write the controller's versions, checksums and settings into a log file.", u"将控制器的版本、校验和与设置写入日志文件。"},
    {770, u"Show a warning while touch is disabled by a palm or water on the panel.", u"当手掌或水导致触摸被禁用时显示警告。"},
    {780, u"Write the parameter lists of an INI file to the controller and flush them.", u"将 INI 文件中的参数列表写入控制器并保存。"},
    {781, u"Save the controller's parameter lists into an INI file (apply your changes first).", u"将控制器的参数列表保存到 INI 文件（请先应用修改）。"},
    // Main window.
    {1000, u"Reset Device", u"重置设备"},
    {1001, u"Refresh", u"刷新"},
    {1002, u"Firmware Version%s", u"固件版本%s"},
    {1003, u"Master Firmware Version%s", u"主固件版本%s"},
    {1004, u" Slave  Firmware Version", u" 从固件版本"},
    {1005, u"Slave %d Firmware Version", u"从 %d 固件版本"},
    {1006, u"Test Version%s", u"测试版本%s"},
    // The tip of a control whose work this version does not have yet.
    {1010, u"Not available in this version of VCXMSet.", u"此版本的 VCXMSet 尚未提供此功能。"},
    // Command buttons per page.
    {1100, u"Open Short Test", u"开路短路测试"},
    {1101, u"Noise Level", u"噪声水平"},
    {1102, u"Tessaly", u"Tessaly"},
    {1103, u"System Reference", u"系统基准"},
    // The factory build view: the ready poll's status and the result of a build
    // (1140 + result code).
    {1129, u"Status [Please Wait]", u"状态 [请稍候]"},
    {1130, u"Status [Not Initialized]", u"状态 [未初始化]"},
    {1131, u"Status [Active]", u"状态 [已启用]"},
    {1140, u"Result : Build complete.", u"结果：建立完成。"},
    {1141, u"Error : Build failed. Can not get information for frequence hopping.", u"错误：建立失败。无法获取跳频信息。"},
    {1142, u"Error : Build failed. Can not start build system reference in firmware.", u"错误：建立失败。无法在固件中开始建立系统基准。"},
    {1143, u"Error : Build failed. User cancelled.", u"错误：建立失败。用户取消。"},
    {1144, u"Error : Build failed. Device plug out.", u"错误：建立失败。设备已拔出。"},
    {1145, u"Error : Build failed. Wait timeout.", u"错误：建立失败。等待超时。"},
    {1146, u"Error : Build failed. Environmental interference", u"错误：建立失败。环境干扰"},
    {1147, u"Error : Build failed. Get base line failed.", u"错误：建立失败。获取基线失败。"},
    {1148, u"Error : Build failed. Check raw data near failed.", u"错误：建立失败。相邻原始数据检查失败。"},
    {1149, u"Error : Build failed. Get Mode Diff failed.", u"错误：建立失败。获取模式差异失败。"},
    {1150, u"Error : Build failed. Check base flat failed.", u"错误：建立失败。基准平坦度检查失败。"},
    {1151, u"Error : Build failed. Save base failed.", u"错误：建立失败。保存基准失败。"},
    {1152, u"Error : Build failed. Get raw count failed.", u"错误：建立失败。获取原始计数失败。"},
    {1153, u"Error : Build failed. Can not get state for system reference in firmware.", u"错误：建立失败。无法获取固件中系统基准的状态。"},
    {1154, u"Error : Build failed. Can not change frequency hopping mode or frequence.", u"错误：建立失败。无法更改跳频模式或频率。"},
    // The scan view's Save button and folder browser.
    {1105, u"S&ave", u"保存(&A)"},
    {1106, u"Saving...", u"正在保存..."},
    {1107, u"Save Finish", u"保存完成"},
    {1108, u"Select CSV File Folder", u"选择 CSV 文件夹"},
    // The noise view's test patterns.
    {1110, u"None", u"无"},
    {1111, u"White", u"白色"},
    {1112, u"Black", u"黑色"},
    {1113, u"Checkerboard", u"棋盘格"},
    // The newer system reference build's overlay texts.
    {1132, u"Work in progress. Please wait....%d%%", u"正在处理，请稍候....%d%%"},
    {1133, u"Environmental interference. Build anyway ?", u"环境干扰。仍然建立吗？"},
    {1134, u"User cancelled, stop build.", u"用户取消，停止建立。"},
    {1135, u"Device plug out, stop build.", u"设备已拔出，停止建立。"},
    {1136, u"Check raw data near failed. Build anyway ?", u"相邻原始数据检查失败。仍然建立吗？"},
    {1137, u"Check base flat failed. Build anyway ?", u"基准平坦度检查失败。仍然建立吗？"},
    {1200, u"Apply", u"应用"},
    {1201, u"Import Parameters", u"导入参数"},
    {1202, u"Export Parameters", u"导出参数"},
    {1203, u"Write Factory Default Parameters", u"写入出厂默认参数"},
    {1300, u"Load Firmware", u"载入固件"},
    {1301, u"Update", u"更新"},
    {1302, u"Combine Firmware and Parameters", u"合并固件与参数"},
    {1400, u"Reset Touch Panel", u"重置触摸面板"},
    {1361, u" Result : Combine firmware and parameters file finish.", u" 结果：固件与参数文件合并完成。"},
    // The Field Update page's result and file texts.
    {1310, u" Error : Send 0xF0 Command Failed.", u" 错误：发送 0xF0 命令失败。"},
    {1311, u" Error : Send 0xF4 Command Failed.", u" 错误：发送 0xF4 命令失败。"},
    {1312, u" Error : Send 0xFF Command Failed.", u" 错误：发送 0xFF 命令失败。"},
    {1313, u" Error : Send 0xD2 Command Failed.", u" 错误：发送 0xD2 命令失败。"},
    {1314, u" Error : Send 0xD3 Command Failed.", u" 错误：发送 0xD3 命令失败。"},
    {1315, u" Error : Send 0xD4 Command Failed.", u" 错误：发送 0xD4 命令失败。"},
    {1316, u" Error : Product number or Sub Type not match.", u" 错误：产品编号或子类型不匹配。"},
    {1317, u" Error : Old Boot cannot update pnf file.", u" 错误：旧引导程序无法更新 pnf 文件。"},
    {1318, u" Error : No Boot Device Detected.", u" 错误：未检测到引导设备。"},
    {1319, u" Error : Boot don't support New Data Format.", u" 错误：引导程序不支持新数据格式。"},
    {1320, u" Error : Firmware and Boot incompatible.", u" 错误：固件与引导程序不兼容。"},
    {1321, u" Error : Write Data Failed. 0xD0", u" 错误：写入数据失败。0xD0"},
    {1322, u" Error : Write Data Failed. 0xD1", u" 错误：写入数据失败。0xD1"},
    {1323, u" Error : Update Parameters Failed.", u" 错误：更新参数失败。"},
    {1324, u" Error : Update Parameters Failed. Wait device reset timeout.", u" 错误：更新参数失败。等待设备重置超时。"},
    {1325, u" Error : Compare Parameters CRC Failed.", u" 错误：比较参数 CRC 失败。"},
    {1326, u" Error : Calculate Parameters CRC Failed.", u" 错误：计算参数 CRC 失败。"},
    {1327, u" Error : Erase Virtual Key Data Failed.", u" 错误：擦除虚拟按键数据失败。"},
    {1328, u" Error : Update Virtual Key data Failed.", u" 错误：更新虚拟按键数据失败。"},
    {1329, u" Error : Load Virtual Key data Failed.", u" 错误：载入虚拟按键数据失败。"},
    {1330, u" Error : Stop update Test Version Firmware.", u" 错误：已停止更新测试版固件。"},
    {1332, u" Error : Check Firmware Version Failed.", u" 错误：检查固件版本失败。"},
    {1333, u" Error : Update Firmware Failed. Wait device reset timeout.", u" 错误：更新固件失败。等待设备重置超时。"},
    {1334, u" Error : Update Firmware Failed.", u" 错误：更新固件失败。"},
    {1335, u" Error : Parameters Update Unlock Failed.", u" 错误：参数更新解锁失败。"},
    {1350, u" Result : Find Boot Device. Please wait...", u" 结果：正在查找引导设备，请稍候..."},
    {1351, u" Result : Now Programing. Please Wait", u" 结果：正在编程，请稍候"},
    {1352, u" Result : Programing finish.", u" 结果：编程完成。"},
    {1353, u" Result : Update Parameters. Please wait...", u" 结果：正在更新参数，请稍候..."},
    {1354, u" Result : Update parameters finish. Wait device reset...", u" 结果：参数更新完成。等待设备重置..."},
    {1355, u" Result : Write factory default parameters...", u" 结果：正在写入出厂默认参数..."},
    {1356, u" Result : Write factory default parameters finish. Wait device reset...", u" 结果：出厂默认参数写入完成。等待设备重置..."},
    {1357, u" Result : Update Parameters complete.", u" 结果：参数更新完成。"},
    {1358, u" Result : Write factory default parameters complete.", u" 结果：出厂默认参数写入完成。"},
    {1359, u" Result : Update Virtual Key data. Please wait...", u" 结果：正在更新虚拟按键数据，请稍候..."},
    {1360, u" Result : Update Virtual Key data complete.", u" 结果：虚拟按键数据更新完成。"},
    {1362, u" Result :", u" 结果："},
    {1363, u"Quorvane Firmware File :", u"Quorvane 固件文件："},
    {1364, u"Quorvane Firmware File : %s", u"Quorvane 固件文件：%s"},
    {1368, u"Parameters CRC in File : %s", u"文件中的参数 CRC：%s"},
    {1370, u"Virtual Key  CRC in File : %s", u"文件中的虚拟按键 CRC：%s"},
    {1401, u"Log Current Device Information", u"记录当前设备信息"},
    // The noise-level log's guidance.
    {1418, u"Standard deviation sampling... %02d/50\nKeep touch black mark.", u"标准差采样中... %02d/50\n请持续触摸黑色标记。"},
    {1419, u"Standard deviation sampling... %02d/50\nDo not touch panel.", u"标准差采样中... %02d/50\n请勿触摸面板。"},
    {1420, u"Finish sampling, please remove your finger!!!", u"采样完成，请移开手指！！！"},
    {1421, u"Keep touch black mark.", u"请持续触摸黑色标记。"},
    // The Debug page's echo tool.
    {1425, u"Count : %d", u"计数：%d"},
    {1426, u"Error : %d", u"错误：%d"},
    {1450, u"Load Process\nConfig File", u"载入流程\n配置文件"},
    {1451, u"Save Process\nConfig File", u"保存流程\n配置文件"},
    // The region draw test's count-down and guidance.
    {1513, u"Time out:   %02d / %02d sec", u"超时：   %02d / %02d 秒"},
    {1514, u"Please draw a line along the test area.", u"请沿测试区域画线。"},
    // The process items as the process lists show them (1452 + item).
    {1453, u"Verify Firmware Information", u"验证固件信息"},
    {1454, u"Open / Short Test", u"开路 / 短路测试"},
    {1455, u"Build System Reference", u"建立系统基准"},
    {1456, u"Drawing Test", u"画线测试"},
    {1457, u"Firmware Update", u"固件更新"},
    {1458, u"Noise Level", u"噪声等级"},
    {1459, u"Diagnostic Test", u"诊断测试"},
    // The production-line page: command buttons, results, banner, package labels.
    {1500, u"Menu", u"菜单"},
    {1501, u"Start\n( Hot Key : Space )", u"开始\n（快捷键：空格）"},
    {1502, u"Open Report Folder", u"打开报告文件夹"},
    {1503, u"Load PFP File", u"载入 PFP 文件"},
    {1511, u" Process Result : Pass", u" 流程结果：通过"},
    {1512, u" Process Result : Fail", u" 流程结果：失败"},
    {1515, u"Do not touch panel !!!", u"请勿触摸面板！！！"},
    {1516, u"PASS", u"通过"},
    {1517, u"FAIL", u"失败"},
    {1518, u"Slave   Firmware Version :", u"从芯片固件版本："},
    {1519, u"Virtual Key CRC :", u"虚拟按键 CRC："},
    {1550, u"Open Default Export File Folder", u"打开默认导出文件夹"},
    {1551, u"Log UI Parameters Information", u"记录界面参数信息"},
    // The panel scan checks' failures, by bit number.
    {2501, u"Check Same Data Fail", u"相同数据检查失败"},
    {2502, u"Check Debounce Fail", u"抖动检查失败"},
    {2503, u"Check Driver Abnormal Fail", u"驱动线异常检查失败"},
    {2504, u"Check Sensor Abnormal Fail", u"感应线异常检查失败"},
    {2505, u"Check Node Data Fail", u"节点数据检查失败"},
    {2506, u"Check Absolute Data Fail", u"绝对数据检查失败"},
    {2507, u"Check Near Raw Fail", u"相邻原始数据检查失败"},
    {2508, u"Check Base Flat Fail", u"基线平坦度检查失败"},
    {2509, u"Check MinusData Fail", u"差值数据检查失败"},
    {2510, u"Check Firmware Version Fail", u"固件版本检查失败"},
    {2511, u"Check Interface Fail", u"接口检查失败"},
    // Device-log function headings.
    {790, u"\nFunction : Log Current Device Information\n", nullptr},
    {791, u"\nFunction : Touch and Halt\n", nullptr},
    {792, u"\nFunction : Log Current Device Information\n", nullptr},
    {793, u"\nFunction : Build System Reference\n", nullptr},
    {794, u"\nFunction : Log UI Parameters Information\n", nullptr},
    {795, u"\nFunction : Process List Report\n", nullptr},
    // Field Update: the question before a test version is programmed.
    {1331, u"Update Test Version Firmware ?", u"是否更新测试版固件？"},
    // Combine Firmware and Parameters: why the loaded file and the controller do not combine.
    {1340, u"Please select .qvf or .pnf or pxf file.", u"请选择 .qvf、.pnf 或 pxf 文件。"},
    {1341, u"Please select .qvc or .pnc or pxc file.", u"请选择 .qvc、.pnc 或 pxc 文件。"},
    {1342, u"Slave in Boot Mode.", u"从控制器处于引导模式。"},
    {1343, u"Version not match.", u"版本不匹配。"},
    {1344, u"Firmware version and qvf version compare failed.", u"固件版本与 qvf 版本比较失败。"},
    {1345, u"develop version != 0.", u"开发版本不为 0。"},
};

} // namespace

void addProgramStrings() {
    static std::once_flag once;
    std::call_once(once, [] {
        const std::pair<std::span<const qvui::StringEntry>, const char*> tables[] = {
            {kStrings, "program"}, {parameterStrings(), "parameter"}, {touchStrings(), "touch"},
            {tipHeadingStrings(), "tip heading"}};
        for (const auto& [entries, name] : tables) {
            const QString problem = qvui::StringTable::instance().add(entries);
            if (!problem.isEmpty()) qWarning("VCXMSet %s strings: %s", name, qPrintable(problem));
        }
    });
}

} // namespace vcx
