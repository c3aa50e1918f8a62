#include "params/expand_panel.h"

#include "format/firmware_format.h"
#include "params/parameter_ini_format.h"
#include "core/controller_api.h"
#include "core/device_text.h"
#include "core/device_finder.h"
#include "core/program_state.h"
#include "ui/message_box.h"

#include <QDir>
#include <QFile>

#include <vector>

namespace vcx {

namespace {
// A ".ppl" file is a few hundred bytes; anything much larger is not one.
constexpr qint64 kMaxFileSize = 64 * 1024;

void failBox(QWidget* owner, const QString& text) {
    qvui::showMessageBox(owner, text, text, qvui::MessageIcon::Error);
}
} // namespace

ExpandPanelCatalogue ReadExpandPanelCatalogue(const QString& folder) {
    ExpandPanelCatalogue out;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.ppl")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.size() > kMaxFileSize || !f.open(QIODevice::ReadOnly)) continue;
        const QByteArray bytes = f.readAll();
        const auto file = ParseExpandPanelFile(
            std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
        if (!file || out.count(file->index)) continue;
        out[file->index] = {f.fileName(), *file};
    }
    return out;
}

QString ExpandPanelFolder(const Controller& c) {
    return programState().programFolder + QStringLiteral("ExpandPanelSetting/QV") +
           GetProductNameString(c.records.fwInformation);
}

int NextFreePanelIndex(const ExpandPanelCatalogue& catalogue, int start) {
    for (int index = start; index <= 0xFF; ++index)
        if (!catalogue.count(uint8_t(index))) return index;
    return -1;
}

ExportPanelResult ExportExternalPanel(Controller& c, QWidget* owner, QString* writtenPath) {
    if (c.dev.device == INVALID_HANDLE_VALUE) return ExportPanelResult::NoDevice;
    ParameterList& lists = c.records.paraList;
    if (!c.dev.listsRead && c.api.GetAPBTParaList) c.dev.listsRead = c.api.GetAPBTParaList(c.dev.device, &lists) != 0;
    // Work on copies: the library's lists are what the next SetAPBTParaList sends.
    if (!c.dev.listsRead || !lists.touchList || !lists.bootList || lists.touchLength < 60 || lists.bootLength < 12) {
        failBox(owner, QStringLiteral("The controller's parameter lists are too short for an expand panel file."));
        return ExportPanelResult::ListsTooShort;
    }
    std::vector<uint8_t> touch(lists.touchList, lists.touchList + lists.touchLength);
    std::vector<uint8_t> boot(lists.bootList, lists.bootList + lists.bootLength);

    const QString folder = ExpandPanelFolder(c);
    const ExpandPanelCatalogue catalogue = ReadExpandPanelCatalogue(folder);
    const int index = NextFreePanelIndex(catalogue, c.records.panel.item[0].maximum | 0x80);
    if (index < 0) {
        failBox(owner, QStringLiteral("Every expand panel index up to 0xFF is in use."));
        return ExportPanelResult::NoFreeIndex;
    }
    boot[10] = uint8_t(index);
    boot[11] = 0xFF;
    touch[58] = boot[10];
    touch[59] = boot[11];

    // Flags as a package's PARA section has them; the CRC over the copies from 0xFFFF.
    uint16_t controllerCrc[2] = {};
    uint8_t flags = CheckParameterCRC(c, controllerCrc) != 0 ? 2 : 0;
    if (c.dev.paraVersion != 0 && (c.dev.featureFlags[2] & 0x80)) flags |= 1;
    uint16_t crc = 0xFFFF;
    const uint32_t lengths[2] = {uint32_t(touch.size()), uint32_t(boot.size())};
    const uint8_t* const images[2] = {touch.data(), boot.data()};
    if (!c.api.CalculateParameterCRCEx || !c.api.CalculateParameterCRCEx((flags >> 1) & 1, 0xFFFF, lengths, images, &crc)) {
        failBox(owner, QStringLiteral("Export External Panel Failed."));
        return ExportPanelResult::WriteFailed;
    }
    const auto para = qvfmt::ParaBytes(flags, touch, boot, crc);
    if (!para) {
        failBox(owner, QStringLiteral("Export External Panel Failed."));
        return ExportPanelResult::WriteFailed;
    }
    const auto* fw = reinterpret_cast<const uint8_t*>(&c.records.fwInformation);
    const auto header = ExpandPanelHeader(c.records.fwInformation.productNumber, ExpandPanelIdentity(fw), uint8_t(index));
    const std::vector<uint8_t> bytes = ExpandPanelFileBytes(header, *para);

    std::array<uint8_t, 12> description{};
    std::copy_n(c.records.panel.text, 12, description.begin());
    const QString stem = QStringLiteral("%1/QV%2_%3")
                             .arg(folder, GetProductNameString(c.records.fwInformation), PanelFileName(description));
    // The same panel exported again must not replace the file of its earlier index.
    QString path = stem + QStringLiteral(".ppl");
    if (QFile::exists(path)) path = stem + QString::asprintf("_%02X.ppl", index);
    QFile out(path);
    if (!QDir().mkpath(folder) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size())) {
        failBox(owner, QStringLiteral("Export External Panel Failed."));
        return ExportPanelResult::WriteFailed;
    }
    if (writtenPath) *writtenPath = path;
    return ExportPanelResult::Written;
}

} // namespace vcx
