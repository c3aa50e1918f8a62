#include "core/device_text.h"

#include "format/firmware_format.h"

#include "ui/string_table.h"
#include "core/program_state.h"

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
    const qvtext::LocalTime t = qvtext::localTimeNow();
    file.printf("\nWrite Log Time : %d/%02d/%02d %02d %02d %02d\n", t.year, t.month, t.day, t.hour, t.minute, t.second);
    file.printf("\nApplication Version : %s %d.%d.%d.%d\n", kAppName, kAppVersion[0], kAppVersion[1], kAppVersion[2],
                kAppVersion[3]);
    put(file, qvui::loadString(790 + kind));
    const FirmwareVersionInfoW& v = c.records.fwVersion;
    const int slaves = std::clamp(int(v.slaveCount), 0, 4);
    const QString master = wideField(v.master, 50);
    if (slaves > 0 || kind == 4)
        put(file, QStringLiteral("\nMaster   Version %1\n").arg(master));
    else
        put(file, QStringLiteral("\nFirmware Version : %1\n").arg(master));
    for (int i = 0; i < slaves; ++i)
        put(file, QStringLiteral("Slave %1  Version : %2\n").arg(i + 1).arg(wideField(v.slave[i], 50)));
    const FirmwareInformationW& info = c.records.fwInformation;
    if (info.info4Byte1)
        file.printf("\nCore     Version : %d.%d.%d.%d\n", info.info4Byte1 >> 4, info.info4Byte1 & 15, info.info4Byte2,
                    info.info4Word);
    if (kind != 4)
        put(file, QStringLiteral("\nPanel Information : %1\nCover Lens : %2\n")
                      .arg(wideField(info.panelSize, 40), wideField(info.coverLens, 40)));
}

} // namespace vcx
