// The lines that head every report and log of the program, each written in one
// place: the time, the application version, the function, the controller's
// version lines, the core version, the parameter CRC and the panel. A format
// gives its line break: the device logs end their lines with "\n" (on disk
// "\r\n"), the scan and process reports with a lone "\r". A line starts and ends
// with the break, as the formats have them, except where said.
#pragma once

#include "text/text_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct FirmwareInformationW;

namespace vcx {

struct Controller;

// What the reports print about the device.
struct ReportDevice {
    std::string firmwareVersion;      // the master's version text
    std::vector<std::string> slaves;  // one text per slave IC (at most 4)
    bool testFirmware = false;
    uint8_t core = 0, coreMinor = 0;  // information word 4: the core version byte, the next byte
    uint16_t coreBuild = 0;           // and its 16-bit word
    bool crcValid = false;
    uint16_t crc = 0;
    std::string panelInformation, coverLens;
    std::string modelName;
};
// No field of the firmware information marks test firmware: false.
bool IsTestFirmware(const FirmwareInformationW& info);
// The device as the reports print it: the master's and the slaves' version
// texts as the library gives them, the CRC of the lists when they were read.
ReportDevice ReportDeviceOf(const Controller& c);

// How a format lays out its version lines (the spacings are the formats' own).
enum class VersionLayout {
    // "Test   Version : ", "Master Version : " with slaves, "Firmware Version : "
    // without; the first slave as "Slave  Version : ".
    ScanReport,
    // "Test     Version : ", "Master   Version : ", "Firmware Version : "; each
    // slave as "Slave <n>  Version : " right after it.
    ProcessReport,
    // "Test     Version : " for test firmware, "Master   Version " (no colon) with
    // slaves or where the log always names the master, else "Firmware Version : ";
    // each slave numbered as above.
    DeviceLog,
};

struct HeaderVersions {
    std::string master;
    std::vector<std::string> slaves;
    bool test = false;         // test firmware
    bool masterLine = false;   // DeviceLog: the master line even without slaves
};

// The operating system's name as the device logs print it ("OS Version : %s"):
// the system's own, or what the innermost living ScopedOsVersionText gives, so
// a log's bytes compare the same on every machine (as ScopedClock does for
// their times). Not thread-safe: set it up before the code under test runs.
std::string OsVersionText();
class ScopedOsVersionText {
public:
    explicit ScopedOsVersionText(std::string text);
    ~ScopedOsVersionText();
    ScopedOsVersionText(const ScopedOsVersionText&) = delete;
    ScopedOsVersionText& operator=(const ScopedOsVersionText&) = delete;

private:
    std::optional<std::string> previous_;
};

class ReportHeader {
public:
    ReportHeader(qvtext::TextWriter& w, char lineBreak) : w_(w), br_(lineBreak) {}

    void WriteTime(std::string_view text);        // "Write Log Time : <text>"
    void WriteApplicationVersion();               // "Application Version : <name> a.b.c.d"
    void WriteFunction(std::string_view name);    // "Function : <name>"
    void WriteVersions(VersionLayout layout, const HeaderVersions& v);
    // "Core     Version : a.b.c.d" of information word 4, when its core byte is not 0.
    void WriteCoreVersion(uint8_t core, uint8_t minor, uint16_t build);
    // "Parameters CRC : x%04X", or "Failed Get Parameters List" when the lists
    // were not read; no break after it.
    void WriteParametersCrc(bool valid, uint16_t crc);
    // "Panel Information : <panel>", then "Cover Lens : <lens>".
    void WritePanel(std::string_view panel, std::string_view lens);

    bool ok() const { return w_.ok(); }

private:
    // The break, the text, the break.
    void line(std::string_view text);
    void text(std::string_view text) { w_.write(text); }

    qvtext::TextWriter& w_;
    const char br_;
};

} // namespace vcx
