#include "params/parameter_ini.h"

#include "core/chd_parent_dlg.h"
#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/device_finder.h"
#include "core/device_text.h"
#include "text/text_file.h"
#include "ui/file_chooser.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vcx {

namespace {
std::vector<uint8_t> listBytes(const uint8_t* list, int length) {
    return list ? std::vector<uint8_t>(list, list + length) : std::vector<uint8_t>(size_t(length), 0);
}
} // namespace

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
