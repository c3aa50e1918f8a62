#include "params/process_config.h"

#include "params/firmware_file.h"
#include "core/app_settings.h"
#include "core/program_state.h"
#include "ui/file_chooser.h"
#include "text/ini_file.h"
#include "ui/message_box.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace vcx {

uint8_t g_ProcessListFlag = 0;

namespace {

constexpr int kMaxField = 259;  // a 260-character field with its terminator

// The private-profile integer reading (blanks, sign, digits to the first
// non-digit) in 64 bits, saturated, so no value wraps into range.
std::optional<int64_t> readInteger(const qvui::IniFile& ini, const char* section, const QString& key) {
    const QString text = ini.value(QLatin1String(section), key);
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    int64_t v = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        digits = true;
        v = std::min<int64_t>(v * 10 + (text[i].unicode() - u'0'), int64_t(1) << 40);
    }
    if (!digits) return std::nullopt;
    return negative ? -v : v;
}

QString field(const qvui::IniFile& ini, const char* key) {
    return ini.value(QLatin1String(kProcessSection), QLatin1String(key)).left(kMaxField);
}

// A name that stays a file inside the folder it is looked for in.
bool plainFileName(const QString& name) {
    if (name.contains(u'/') || name.contains(u'\\') || name.contains(QLatin1String(".."))) return false;
    return std::none_of(name.begin(), name.end(), [](QChar ch) { return ch.unicode() < 0x20 || ch.unicode() == 0x7F; });
}

}  // namespace

int ParseProcessConfig(const qvui::IniFile& ini, ProcessListConfig* out) {
    *out = ProcessListConfig{};
    out->workOrderNumber = field(ini, "Work Order Number");
    out->company = field(ini, "Company");
    out->pfpFileName = field(ini, "PFP file name");
    out->reportFolderPath = field(ini, "Report folder path");
    const int64_t list = readInteger(ini, kProcessSection, QStringLiteral("Process List")).value_or(0);
    const int64_t flag = readInteger(ini, kProcessSection, QStringLiteral("Process List Flag")).value_or(0);
    if (out->workOrderNumber.isEmpty() || out->company.isEmpty() || out->pfpFileName.isEmpty() || list <= 0)
        return 2;
    if (!plainFileName(out->pfpFileName) || flag < 0 || flag > 255) return 2;
    int64_t v = list;
    for (int i = 0; v > 0; ++i, v /= 10) {
        // More than ten steps, or a 0 step, which would end the list before its last step.
        if (i == kMaxProcessSteps || v % 10 == 0) return 2;
        out->processList[size_t(i)] = uint8_t(v % 10);
    }
    out->processListFlag = uint8_t(flag);

    const int64_t count = readInteger(ini, kOdmSection, QStringLiteral("ODM FW Count")).value_or(0);
    if (count < 0 || count > kMaxOdmFirmware) return 2;
    out->odmCount = uint8_t(count);
    if (count > 0) {
        const auto product = readInteger(ini, kOdmSection, QStringLiteral("ODM Product Number")).value_or(0);
        const auto subType = readInteger(ini, kOdmSection, QStringLiteral("ODM SubType")).value_or(0);
        if (product < 0 || product > 65535 || subType < 0 || subType > 255) return 2;
        for (int i = 1; i <= count; ++i) {
            const auto version = readInteger(ini, kOdmSection, QStringLiteral("ODM Version %1").arg(i)).value_or(0);
            if (version < 0 || version > 255) return 2;
            out->odmCodes.push_back(FirmwareIdentityCode(uint8_t(subType), uint8_t(version), uint16_t(product)));
        }
    }
    return 0;
}

uint64_t ProcessListValue(const ProcessListConfig& r) {
    uint64_t v = 0;
    for (int i = kMaxProcessSteps - 1; i >= 0; --i)
        if (r.processList[size_t(i)] || v) v = v * 10 + r.processList[size_t(i)];
    return v;
}

int LoadProcessConfigFile(QWidget* owner, Controller& c, LoadedFirmware& fw, bool ask, QString* path,
                          ProcessListConfig* out) {
    ProgramState& ps = programState();
    if (ask) {
        const QString chosen = qvui::chooseOpenFile(owner, QString(), ps.toolPaths[kProcCfgFolder],
                                                    QStringLiteral("INI File (*.ini)"));
        if (chosen.isEmpty()) return 1;
        *path = chosen;
        ps.toolPaths[kProcCfgFolder] = QFileInfo(chosen).absolutePath();
    }
    qvui::IniFile ini;
    if (path->isEmpty() || !ini.load(*path)) return 2;
    if (int r = ParseProcessConfig(ini, out); r != 0) return r;
    if (c.dev.device != INVALID_HANDLE_VALUE) {
        const uint32_t code = FirmwareIdentityCode(c.records.fwInformation);
        const bool odm = std::find(out->odmCodes.begin(), out->odmCodes.end(), code) != out->odmCodes.end();
        const bool loaded =
            odm ? FindFirmwareFileInFolder(c, fw, true, code) : OpenFirmwareFileByName(c, fw, out->pfpFileName, true);
        if (!loaded) return 3;
    }
    g_ProcessListFlag = out->processListFlag;
    return 0;
}

namespace {

bool sameBytes(const QString& a, const QString& b) {
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size()) return false;
    while (!fa.atEnd()) {
        const QByteArray x = fa.read(1 << 16), y = fb.read(1 << 16);
        if (x != y || x.isEmpty()) return false;
    }
    return true;
}

}  // namespace

bool SaveProcessConfigFile(QWidget* owner, const LoadedFirmware& fw, const ProcessListConfig& r, QString* path) {
    ProgramState& ps = programState();
    const QString chosen =
        qvui::chooseSaveFile(owner, QString(), ps.toolPaths[kProcCfgFolder], QStringLiteral("INI File (*.ini)"));
    if (chosen.isEmpty()) return false;
    if (path) *path = chosen;
    const QString folder = QFileInfo(chosen).absolutePath();
    ps.toolPaths[kProcCfgFolder] = folder;

    // Only a file that is loaded is copied (a path whose load failed names nothing usable).
    if (!fw.szFirmwarePath.isEmpty() && fw.LoadedFirmware[0].dataSize != 0) {
        const QFileInfo firmware(fw.szFirmwarePath);
        if (firmware.absolutePath() != folder) {
            const QString copy = folder + u'/' + firmware.fileName();
            if (QFileInfo::exists(copy)) {
                // The INI names the package by file name: another file of that
                // name there would make it name the wrong package.
                if (!sameBytes(copy, firmware.absoluteFilePath())) {
                    const QString text = QStringLiteral("%1 already exists there with other contents.").arg(copy);
                    qvui::showMessageBox(owner, text, text, qvui::MessageIcon::Error);
                    return false;
                }
            } else if (!QFile::copy(firmware.absoluteFilePath(), copy)) {
                const QString text = QStringLiteral("%1 cannot be written.").arg(copy);
                qvui::showMessageBox(owner, text, text, qvui::MessageIcon::Error);
                return false;
            }
        }
    }
    const QString section = QLatin1String(kProcessSection);
    const std::pair<const char*, QString> keys[] = {
        {"Work Order Number", r.workOrderNumber},
        {"Company", r.company},
        {"PFP file name", r.pfpFileName},
        {"Report folder path", r.reportFolderPath},
        {"Process List", QString::number(ProcessListValue(r))},
        {"Process List Flag", QString::number(r.processListFlag)},
    };
    bool ok = true;
    for (const auto& [key, value] : keys) ok = qvui::IniFile::writeString(chosen, section, QLatin1String(key), value) && ok;
    return ok;
}

}  // namespace vcx
