#include "pages/information_log.h"

#include "core/chd_parent_dlg.h"
#include "core/controller_api.h"
#include "core/device_finder.h"
#include "core/device_text.h"
#include "core/field_table.h"
#include "core/report_header.h"
#include "text/text_file.h"

#include <QFile>

namespace vcx {

void DataReportSwitch::SetReporting(bool on) {
    if (c_.api.EnableDataReport) c_.api.EnableDataReport(c_.dev.device, on ? 1 : 0);
}

QString UiParametersLog::WriteInto(const QString& folder) {
    uint16_t crc[2] = {0, 0};
    CheckParameterCRC(c_, crc);
    const QString base =
        QStringLiteral("QV%1_%2").arg(GetProductNameString(c_.records.fwInformation), QString::asprintf("x%04X", unsigned(crc[0])));
    const QString path = freeNumberedPath(folder, base, QStringLiteral(".csv"));
    if (path.isEmpty()) return {};
    qvtext::TextWriter file(QFile::encodeName(path).constData(), qvtext::TextWriter::Mode::Create);
    if (!file.isOpen()) return {};
    WriteLogHeader(file, c_, 4);
    const QString iface = interfaceName(c_.dev.deviceType, c_.records.fwInformation.interfaceBits);
    file.printf("\nDevice Interface : %s\n", iface.toUtf8().constData());
    ReportHeader(file, '\n').WriteParametersCrc(c_.dev.listsRead, c_.dev.parameterCrc);
    file.write("\n");
    const QByteArray summary = FormatParameterSummary(c_.records, c_.dev.deviceType, [this](int kind, int index) {
        QVWCHAR text[40] = {};
        auto get = kind == 0 ? c_.api.GetPanelSizeInfoW : c_.api.GetCoverLensInfoW;
        if (!get || !get(c_.dev.device, uint8_t(index), text)) return QString();
        return wideField(text, 40);
    }).toUtf8();
    file.write(std::string_view(summary.constData(), size_t(summary.size())));
    return path;
}

} // namespace vcx
