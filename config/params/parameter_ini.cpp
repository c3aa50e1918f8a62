#include "params/parameter_ini.h"

#include "pages/about_dlg.h"
#include "pages/chd_parent_dlg.h"
#include "shell/app_settings.h"
#include "shell/controller_api.h"
#include "shell/device_finder.h"
#include "shell/device_text.h"
#include "text/text_file.h"
#include "ui/file_chooser.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vcx {

QString CustomerText(int code, QChar end) {
    if (code == 0) return {};
    if (code < 200) return QString::asprintf("D%02d", code) + end;
    if (code < 250) return QString::asprintf("A%02d", code - 199) + end;
    if (code == 250) return QStringLiteral("T") + end;
    return QString::asprintf("T%d", code - 250) + end;
}

QString GetProductNameString(const FirmwareInformationW& info) {
    const QString letter = info.productLetter ? QString(QChar(char16_t(info.productLetter + 64))) : QString();
    QString name = QStringLiteral("%1%2_%3%4_%5_%6")
                       .arg(info.productNumber)
                       .arg(letter, CustomerText(info.customerCode, u'_'))
                       .arg(info.firmwareMajor)
                       .arg(info.customerCode)
                       .arg(info.minorVersion);
    if (info.bootStateB) name += QStringLiteral("_%1").arg(info.bootStateB);
    return name;
}

std::array<uint8_t, 11> IdentityLine(const FirmwareInformationW& info, int touchLength, int bootLength) {
    const auto* b = reinterpret_cast<const uint8_t*>(&info);
    return {0, 1, uint8_t(info.productNumber & 0xFF), uint8_t(info.productNumber >> 8), b[6], b[12], b[8], b[13],
            b[10], b[11], uint8_t((touchLength + bootLength) % 256)};
}

namespace {

void appendF(QByteArray& out, const char* format, auto... args) {
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n > 0) out.append(buffer, std::min(n, int(sizeof buffer) - 1));
}

// Rows of 16 "%02X" separated by ", "; a last row holds the rest the same way.
void hexRows(QByteArray& out, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        appendF(out, "%02X", unsigned(bytes[i]));
        out += (i % 16 == 15 || i + 1 == bytes.size()) ? "\n" : ", ";
    }
}

// The lines of a text whose lines end in "\n" or "\r\n".
std::vector<QByteArray> firstLines(const QByteArray& bytes, int count) {
    std::vector<QByteArray> lines;
    qsizetype at = 0;
    while (int(lines.size()) < count && at < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', at);
        if (end < 0) end = bytes.size();
        QByteArray line = bytes.mid(at, end - at);
        while (line.endsWith('\r')) line.chop(1);
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

// Exactly `count` decimal values 0..255 separated by blanks.
std::optional<std::vector<uint8_t>> values(const QByteArray& line, int count) {
    const QList<QByteArray> words = line.simplified().split(' ');
    std::vector<uint8_t> out;
    for (const QByteArray& w : words) {
        if (w.isEmpty()) continue;
        bool ok = false;
        const int v = w.toInt(&ok, 10);
        if (!ok || v < 0 || v > 255) return std::nullopt;
        out.push_back(uint8_t(v));
    }
    if (int(out.size()) != count) return std::nullopt;
    return out;
}

std::vector<uint8_t> listBytes(const uint8_t* list, int length) {
    return list ? std::vector<uint8_t>(list, list + length) : std::vector<uint8_t>(size_t(length), 0);
}

} // namespace

QByteArray FormatParameterIni(const ParameterIniContent& c) {
    QByteArray out;
    for (uint8_t v : c.identity) appendF(out, "%03d ", int(v));
    out += '\n';
    for (uint8_t v : c.touch) appendF(out, "%03d ", int(v));
    out += '\n';
    for (uint8_t v : c.boot) appendF(out, "%03d ", int(v));
    out += '\n';
    out += "\n[Firmware Information]\n";
    out += "Firmware Version : " + c.firmwareVersion.toUtf8() + "\n";
    appendF(out, "Parameters CRC : x%04X\n", unsigned(c.crc));
    out += "\n[Touch Firmware Parameters]\n";
    hexRows(out, c.touch);
    out += "\n[Boot Firmware Parameters]\n";
    hexRows(out, c.boot);
    out += "\n[Feature Flags]\n";
    out += "Flag\t1,\t2,\t3,\t4,\t5,\t6,\t7,\t8,\n";
    for (uint8_t f : c.features) appendF(out, "\t%02X,", unsigned(f));
    out += '\n';
    return out;
}

std::optional<ParameterLists> ParseParameterIni(const QByteArray& bytes, const std::array<uint8_t, 11>& identity,
                                                int touchLength, int bootLength) {
    const std::vector<QByteArray> lines = firstLines(bytes, 3);
    if (lines.size() < 3) return std::nullopt;
    const auto id = values(lines[0], 11);
    if (!id || !std::equal(id->begin(), id->end(), identity.begin())) return std::nullopt;
    auto touch = values(lines[1], touchLength);
    auto boot = values(lines[2], bootLength);
    if (!touch || !boot) return std::nullopt;
    return ParameterLists{std::move(*touch), std::move(*boot)};
}

int ExportParameterFile(Controller& c, QWidget* owner) {
    QString folder = workingFolders()[kParaIniFolder];
    if (!BrowseForFolder(QStringLiteral("Select INI File Folder"), owner, folder)) return 2;
    workingFolders()[kParaIniFolder] = folder;
    uint16_t crc[2] = {0, 0};
    CheckParameterCRC(c, crc);
    const QString base = QStringLiteral("QV%1_x%2")
                             .arg(GetProductNameString(c.records.fwInformation))
                             .arg(QString::asprintf("%04X", unsigned(crc[0])));
    const QString path = freeNumberedPath(folder, base, QStringLiteral(".ini"));
    if (path.isEmpty()) return 1;
    const ParameterList& lists = c.records.paraList;
    ParameterIniContent content;
    content.identity = IdentityLine(c.records.fwInformation, lists.touchLength, lists.bootLength);
    content.touch = listBytes(lists.touchList, lists.touchLength);
    content.boot = listBytes(lists.bootList, lists.bootLength);
    content.firmwareVersion = wideField(c.records.fwVersion.master, 50);
    content.crc = crc[0];
    content.features = c.dev.featureFlags;
    const QByteArray text = FormatParameterIni(content);
    qvtext::TextWriter file(QFile::encodeName(path).constData(), qvtext::TextWriter::Mode::Create);
    if (!file.isOpen()) return 1;
    file.write(std::string_view(text.constData(), size_t(text.size())));
    return file.close() ? 0 : 1;
}

int ImportParameterFile(Controller& c, QWidget* owner) {
    const QString path = qvui::chooseOpenFile(owner, QStringLiteral("Import Parameters"),
                                              workingFolders()[kParaIniFolder], QStringLiteral("INI File (*.ini)"));
    if (path.isEmpty()) return 1;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 2;
    workingFolders()[kParaIniFolder] = StripLastPathComponent(path);
    // A parameter file is a few kilobytes; anything far larger is not one.
    const QByteArray bytes = file.read(1 << 20);
    ParameterList& lists = c.records.paraList;
    if (!c.dev.listsRead || !lists.touchList || !lists.bootList) return 2;
    const auto parsed = ParseParameterIni(bytes, IdentityLine(c.records.fwInformation, lists.touchLength,
                                                              lists.bootLength),
                                          lists.touchLength, lists.bootLength);
    if (!parsed) return 2;
    // The library's lists change only once the whole file was read.
    std::copy(parsed->touch.begin(), parsed->touch.end(), lists.touchList);
    std::copy(parsed->boot.begin(), parsed->boot.end(), lists.bootList);
    return c.api.SetAPBTParaList && c.api.SetAPBTParaList(c.dev.device, &lists) ? 0 : 3;
}

} // namespace vcx
