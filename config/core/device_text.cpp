#include "core/device_text.h"

#include "format/firmware_format.h"

#include "core/report_header.h"
#include "ui/string_table.h"
#include "core/program_state.h"

#include <algorithm>
#include <cstdio>

namespace vcx {

namespace {
void put(qvtext::TextWriter& file, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    file.write(std::string_view(bytes.constData(), size_t(bytes.size())));
}
} // namespace

QString CustomerText(int code, QChar end) {
    return QString::fromStdString(qvfmt::CustomerPrefix(code, char(end.unicode())));
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

QString interfaceName(uint32_t deviceType, uint8_t interfaceBits) {
    if (deviceType & QV_DEVICE_HID_3508) return QStringLiteral("Auto Detect: I2C (HID)");
    static const char* const names[] = {"USB", "RS232 / UART", "I2C", "SPI"};
    const QString name = QLatin1String(names[interfaceBits & 3]);
    return (interfaceBits & 0x0C) ? QStringLiteral("Auto Detect : ") + name : name;
}

QString masterVersionText(const FirmwareVersionInfoW& v) {
    QString text = wideField(v.master, 50);
    if (!v.masterInBoot) {
        const qsizetype boot = text.indexOf(QLatin1String("Boot"));
        if (boot >= 0) text.truncate(boot);
    }
    while (text.endsWith(u' ')) text.chop(1);
    return text;
}

void WriteLogHeader(qvtext::TextWriter& file, const Controller& c, int kind) {
    ReportHeader header(file, '\n');
    const qvtext::LocalTime t = qvtext::localTimeNow();
    char time[40];
    std::snprintf(time, sizeof time, "%d/%02d/%02d %02d %02d %02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    header.WriteTime(time);
    header.WriteApplicationVersion();
    put(file, qvui::loadString(790 + kind));
    const FirmwareVersionInfoW& v = c.records.fwVersion;
    HeaderVersions versions;
    versions.master = wideField(v.master, 50).toStdString();
    for (int i = 0; i < std::clamp(int(v.slaveCount), 0, 4); ++i) versions.slaves.push_back(wideField(v.slave[i], 50).toStdString());
    // The UI parameters log names the master whatever the slaves.
    versions.masterLine = kind == 4;
    versions.test = IsTestFirmware(c.records.fwInformation);
    header.WriteVersions(VersionLayout::DeviceLog, versions);
    const FirmwareInformationW& info = c.records.fwInformation;
    header.WriteCoreVersion(info.info4Byte1, info.info4Byte2, info.info4Word);
    if (kind != 4)
        header.WritePanel(wideField(info.panelSize, 40).toStdString(), wideField(info.coverLens, 40).toStdString());
}

} // namespace vcx
