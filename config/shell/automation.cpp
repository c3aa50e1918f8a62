#include "shell/automation.h"

#include "core/slave_info.h"
#include "params/firmware_file.h"
#include "text/text_file.h"

#include <algorithm>
#include <cstdio>

namespace vcx {

namespace {

bool hasSlaveImages(const LoadedFirmware& fw) { return (fw.FirmwareFileKind & 0x01) != 0; }
const LoadedFirmwareSection& masterEntry(const LoadedFirmware& fw) { return fw.LoadedFirmware[hasSlaveImages(fw) ? 1 : 0]; }
std::string utf8(const QString& s) { return s.toStdString(); }

// The version line as the update log has it, without breaks.
std::string versionLine(const ReportDevice& d) {
    if (d.testFirmware) return "Test     Version : " + d.firmwareVersion;
    return (d.slaves.empty() ? "Firmware Version : " : "Master   Version : ") + d.firmwareVersion;
}

void writeVersionsAndCore(qvtext::TextWriter& w, const ReportDevice& d) {
    ReportHeader h(w, '\r');
    h.WriteVersions(VersionLayout::ProcessReport, {d.firmwareVersion, d.slaves, d.testFirmware, false});
    h.WriteCoreVersion(d.core, d.coreMinor, d.coreBuild);
}

}  // namespace

bool FirmwareMatchesEntry(const FirmwareInformationW& info, const LoadedFirmwareSection& entry, bool slave) {
    const uint16_t number = slave ? uint16_t(entry.productNumber & 0x7FFF) : entry.productNumber;
    return info.productNumber == number && info.firmwareMajor == entry.major && info.minorVersion == entry.minor &&
           info.customerCode == entry.customer && info.productLetter == entry.letter &&
           info.bootStateA == entry.build[0] && info.bootStateB == entry.build[1];
}

int VerifyFirmwareInformation(Controller& c, const LoadedFirmware& fw) {
    if (!FirmwareMatchesEntry(c.records.fwInformation, masterEntry(fw), false)) return 2;
    if (hasSlaveImages(fw)) {
        // The slaves answer only while the master does not scan.
        StopTouchScanning(c);
        programSleep(c, 50);
        bool all = true;
        const int slaves = std::clamp<int>(c.records.fwVersion.slaveCount, 0, 4);
        for (int i = 0; i < slaves && all; ++i) {
            FirmwareInformationW slave{};
            all = ReadSelectedSlaveInformation(c, uint8_t(i), &slave) &&
                  FirmwareMatchesEntry(slave, fw.LoadedFirmware[0], true);
        }
        SendCmdF4(c, 0xAA, 0x00);
        ResumeTouchScanning(c);
        if (!all) return 3;
    }
    return c.dev.parameterCrc == fw.PfpPara.crc ? 1 : 4;
}

bool WriteVerificationReport(const std::string& path, const ReportDevice& d, const LoadedFirmware& fw, int result) {
    qvtext::TextWriter w(path.c_str(), qvtext::TextWriter::Mode::Append);
    if (!w.isOpen()) return false;
    const bool slaves = hasSlaveImages(fw);
    w.write("\r[ Verify Firmware Information Result ]\r");
    writeVersionsAndCore(w, d);
    w.printf("\rFirmware Version in PFP file : QV%s\r", utf8(masterEntry(fw).versionText).c_str());
    if (slaves) w.printf("\rSlave Firmware Version in PFP file : QV%s\r", utf8(fw.LoadedFirmware[0].versionText).c_str());
    switch (result) {
    case 1: w.write("\rVerify Firmware Information Pass.\r"); break;
    case 2:
        w.write(slaves ? "\rVerify Firmware Information Failed : Master Firmware Information not match.\r"
                       : "\rVerify Firmware Information Failed : Firmware Information not match.\r");
        break;
    case 3: w.write("\rVerify Firmware Information Failed : Slave  Firmware Information not match.\r"); break;
    case 4: w.write("\rVerify Firmware Information Failed : Parameters CRC not match.\r"); break;
    default: w.write("\rVerify Firmware Information Failed.\r"); break;
    }
    return w.close();
}

bool WriteDrawTestReport(const std::string& path, const ReportDevice& d, int result) {
    qvtext::TextWriter w(path.c_str(), qvtext::TextWriter::Mode::Append);
    if (!w.isOpen()) return false;
    w.write("\r[ Draw Test Result ]\r");
    writeVersionsAndCore(w, d);
    w.printf("\rPanel Information : %s\nCover Lens : %s\r", d.panelInformation.c_str(), d.coverLens.c_str());
    switch (result) {
    case 1: w.write("\rDraw Test Pass.\r"); break;
    case 2: w.write("\rDraw Test Failed : User exit.\r"); break;
    case 3: w.write("\rDraw Test Failed : Time out.\r"); break;
    default: w.write("\rDraw Test Failed.\r"); break;
    }
    return w.close();
}

std::vector<std::string> FirmwareUpdateLogHeader(const ReportDevice& d, const LoadedFirmware& fw) {
    char b[64];
    std::vector<std::string> log{"[ 1 Firmware Version Information ]", versionLine(d)};
    for (size_t k = 0; k < d.slaves.size(); ++k) log.push_back("Slave " + std::to_string(k + 1) + "  Version : " + d.slaves[k]);
    std::snprintf(b, sizeof b, "Firmware Parameters CRC : x%04X", unsigned(d.crc));
    log.emplace_back(b);
    log.emplace_back("\r[ 2 PFP File Information ]");
    log.push_back("Firmware Version in PFP file : QV" + utf8(masterEntry(fw).versionText));
    if (hasSlaveImages(fw)) log.push_back("Slave Firmware Version in PFP file : QV" + utf8(fw.LoadedFirmware[0].versionText));
    std::snprintf(b, sizeof b, "Firmware Parameters CRC in PFP file : x%04X", unsigned(fw.PfpPara.crc));
    log.emplace_back(b);
    log.emplace_back("\r[ 3 Firmware Update Log ]");
    return log;
}

}  // namespace vcx
