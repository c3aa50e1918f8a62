#include "core/report_header.h"

#include "core/controller_api.h"
#include "core/device_text.h"

#include <QSysInfo>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace vcx {

namespace {
std::string utf8(const QString& s) { return s.toStdString(); }

std::optional<std::string>& fixedOsVersionText() {
    static std::optional<std::string> text;
    return text;
}
} // namespace

std::string OsVersionText() {
    const std::optional<std::string>& fixed = fixedOsVersionText();
    return fixed ? *fixed : utf8(QSysInfo::prettyProductName());
}

ScopedOsVersionText::ScopedOsVersionText(std::string text) : previous_(fixedOsVersionText()) {
    fixedOsVersionText() = std::move(text);
}

ScopedOsVersionText::~ScopedOsVersionText() { fixedOsVersionText() = previous_; }

bool IsTestFirmware(const FirmwareInformationW&) { return false; }

ReportDevice ReportDeviceOf(const Controller& c) {
    const ProgramRecords& r = c.records;
    ReportDevice d;
    // The version texts as the library gives them, trailing blanks and boot text
    // included, as the parameter file and the device logs print them.
    d.firmwareVersion = utf8(wideField(r.fwVersion.master, 50));
    const int slaves = std::clamp<int>(r.fwVersion.slaveCount, 0, 4);
    for (int k = 0; k < slaves; ++k) d.slaves.push_back(utf8(wideField(r.fwVersion.slave[k], 50)));
    d.testFirmware = IsTestFirmware(r.fwInformation);
    d.core = r.fwInformation.info4Byte1;
    d.coreMinor = r.fwInformation.info4Byte2;
    d.coreBuild = r.fwInformation.info4Word;
    d.crcValid = c.dev.listsRead;
    d.crc = c.dev.parameterCrc;
    d.panelInformation = utf8(wideField(r.fwInformation.panelSize, 40));
    d.coverLens = utf8(wideField(r.fwInformation.coverLens, 40));
    d.modelName = utf8(c.dev.modelName);
    return d;
}

void ReportHeader::line(std::string_view t) {
    const char br[1] = {br_};
    text({br, 1});
    text(t);
    text({br, 1});
}

void ReportHeader::WriteTime(std::string_view t) { line("Write Log Time : " + std::string(t)); }

void ReportHeader::WriteApplicationVersion() {
    char b[96];
    std::snprintf(b, sizeof b, "Application Version : %s %d.%d.%d.%d", kAppName, kAppVersion[0], kAppVersion[1],
                  kAppVersion[2], kAppVersion[3]);
    line(b);
}

void ReportHeader::WriteFunction(std::string_view name) { line("Function : " + std::string(name)); }

void ReportHeader::WriteVersions(VersionLayout layout, const HeaderVersions& v) {
    const bool slaves = !v.slaves.empty();
    const std::string& m = v.master;
    switch (layout) {
    case VersionLayout::ScanReport:
        line(v.test ? "Test   Version : " + m : slaves ? "Master Version : " + m : "Firmware Version : " + m);
        if (slaves) line("Slave  Version : " + v.slaves[0]);
        return;
    case VersionLayout::ProcessReport:
        line(v.test ? "Test     Version : " + m : slaves ? "Master   Version : " + m : "Firmware Version : " + m);
        break;
    case VersionLayout::DeviceLog:
        line(v.test                   ? "Test     Version : " + m
             : slaves || v.masterLine ? "Master   Version " + m
                                      : "Firmware Version : " + m);
        break;
    }
    const char br[1] = {br_};
    for (size_t k = 0; k < v.slaves.size(); ++k) {
        text("Slave " + std::to_string(k + 1) + "  Version : " + v.slaves[k]);
        text({br, 1});
    }
}

void ReportHeader::WriteCoreVersion(uint8_t core, uint8_t minor, uint16_t build) {
    if (core == 0) return;
    char b[64];
    std::snprintf(b, sizeof b, "Core     Version : %d.%d.%d.%d", core >> 4, core & 15, minor, build);
    line(b);
}

void ReportHeader::WriteParametersCrc(bool valid, uint16_t crc) {
    const char br[1] = {br_};
    text({br, 1});
    if (valid) {
        char b[32];
        std::snprintf(b, sizeof b, "Parameters CRC : x%04X", unsigned(crc));
        text(b);
    } else {
        text("Parameters CRC : Failed Get Parameters List");
    }
}

void ReportHeader::WritePanel(std::string_view panel, std::string_view lens) {
    const char br[1] = {br_};
    text({br, 1});
    text("Panel Information : " + std::string(panel));
    line("Cover Lens : " + std::string(lens));
}

} // namespace vcx
