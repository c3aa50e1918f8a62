#include "pages/device_log.h"

#include "core/controller_api.h"
#include "core/device_text.h"
#include "core/report_header.h"
#include "diag/diag_state.h"
#include "diag/scan_dlg.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace vcx {

// ---- Frame text ----------------------------------------------------------------

FrameShape FrameShapeOf(const DiagnosticInfo& info, int wholeCount) {
    FrameShape s;
    if (info.rows == 0 || wholeCount <= 0) return s;
    s.rows = info.rows;
    s.perRow = wholeCount / s.rows;
    if (s.perRow == 0) return FrameShape{};
    s.columns = std::min<int>(info.columns, s.perRow);
    s.extraColumns = std::min<int>(info.extraColumns, s.perRow - s.columns);
    return s;
}

namespace {

void appendf(std::string& out, const char* format, int value) {
    char b[32];
    std::snprintf(b, sizeof b, format, value);
    out += b;
}

// "%d, " for every fifth column number, ", " for the others, columns 1..n-1.
void columnLabels(std::string& out, int n) {
    for (int i = 1; i < n; ++i) {
        if (i % 5 == 0)
            appendf(out, "%d, ", i);
        else
            out += ", ";
    }
}

void labels(std::string& out, const FrameShape& s) {
    out += "index, ";
    columnLabels(out, s.columns);
    out += "Sector, ";
    columnLabels(out, s.extraColumns);
}

} // namespace

std::string FrameColumnLine(const FrameShape& s, bool differenceBlock) {
    std::string out;
    labels(out, s);
    if (differenceBlock) {
        out += s.perRow == s.columns + s.extraColumns ? ",index, " : ",,index, ";
        columnLabels(out, s.columns);
        out += "Sector, ";
        columnLabels(out, s.extraColumns);
    }
    out += "\n";
    return out;
}

std::string FrameText(const FrameShape& s, const uint16_t* frame, const uint16_t* baseline, FrameValueForm form,
                      bool baselineMinusFrame) {
    std::string out = FrameColumnLine(s, baseline != nullptr);
    for (int r = 0; r < s.rows; ++r) {
        out += "\n";
        const uint16_t* row = frame + size_t(r) * size_t(s.perRow);
        for (int i = 0; i < s.perRow; ++i) {
            const int v = row[i];
            switch (form) {
            case FrameValueForm::Signed: appendf(out, "%d, ", v > 0x8000 ? v - 0x10000 : v); break;
            case FrameValueForm::Unsigned: appendf(out, "%d, ", v); break;
            case FrameValueForm::Hex: appendf(out, "0x%04X, ", v); break;
            }
        }
        if (!baseline) continue;
        out += ", ";
        const uint16_t* base = baseline + size_t(r) * size_t(s.perRow);
        for (int i = 0; i < s.perRow; ++i)
            appendf(out, "%d, ", baselineMinusFrame ? int(base[i]) - int(row[i]) : int(row[i]) - int(base[i]));
    }
    return out;
}

// ---- Steps ---------------------------------------------------------------------

FrequencyStep FrequencyStepOf(int k, uint8_t currentFrequency, int modeCount) {
    FrequencyStep f;
    f.mode = (k - 9) / 9;
    f.phase = ((k - 9) % 9) / 3;
    switch (f.phase) {
    case 0: f.value = uint8_t((currentFrequency & 0xFC) + f.mode); break;
    case 1: f.value = uint8_t(f.mode); break;
    default: f.value = uint8_t(4 * (modeCount - 1) + f.mode); break;
    }
    return f;
}

std::string PrintableBytes(const uint8_t* bytes, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += bytes[i] >= 0x20 && bytes[i] < 0x7F ? char(bytes[i]) : '.';
    return out;
}

// ---- The log -------------------------------------------------------------------

DeviceLog::DeviceLog(Controller& c, Notify notify) : c_(c), notify_(std::move(notify)) {}

bool DeviceLog::open(const std::string& path) {
    if (!file_.open(path.c_str(), qvtext::TextWriter::Mode::Append)) return false;
    path_ = path;
    return true;
}

void DeviceLog::close() {
    if (file_.isOpen()) file_.close();
}

uint8_t DeviceLog::generation() const { return c_.records.diagInfo.capability[3]; }

int DeviceLog::deviceModeCount() const { return diagState().g_nFreqModeCount; }

bool DeviceLog::itemProtocol() const { return c_.dev.paraVersion != 0; }

void DeviceLog::readFrequencies() {
    diagState().g_nFHMode = uint32_t(SendCmdReadF5(c_, 0x0F));
    abnormalFrequencyWord_ = uint16_t(SendCmdReadF5(c_, 0x0E));
}

void DeviceLog::allocateFrames(int wholeCount) {
    const size_t n = size_t(std::max(wholeCount, 0));
    baseline_.assign(n, 0);
    haltFrame_.assign(n, 0);
}

void DeviceLog::freeFrames() {
    baseline_.clear();
    haltFrame_.clear();
}

void DeviceLog::stopScanning() {
    if (generation() == 0) {
        if (c_.api.EnablePCAPScan) c_.api.EnablePCAPScan(c_.dev.device, 0);
    } else if (c_.api.EnterDiagnosticMode) {
        c_.api.EnterDiagnosticMode(c_.dev.device, 1);
    }
}

void DeviceLog::WriteLogDeviceInterface(int kind) { WriteLogDeviceInterface(file_, kind); }

void DeviceLog::WriteLogDeviceInterface(qvtext::TextWriter& f, int kind) {
    const ProgramRecords& r = c_.records;
    const std::array<uint8_t, 8>& ff = c_.dev.featureFlags;
    WriteLogHeader(f, c_, kind);
    f.printf("\nOS Version : %s\n", OsVersionText().c_str());

    f.printf("\r\nDevice Interface : %s\n",
             interfaceName(c_.dev.deviceType, r.fwInformation.interfaceBits).toUtf8().constData());
    const uint32_t type = c_.dev.deviceType;
    if (type & QV_DEVICE_HID) {
        f.write("\nHost Interface : USB (Hid Driver)\n");
    } else if (type & QV_DEVICE_RS232) {
        f.write("\nHost Interface : RS232 (Com Port)\n");
    } else if (type & (QV_DEVICE_DRIVER | QV_DEVICE_DRIVER_EX | 0x10)) {
        f.write(type & QV_DEVICE_DRIVER ? "\nHost Interface : USB" : type & QV_DEVICE_DRIVER_EX ? "\nHost Interface : RS232"
                                                                                              : "\nHost Interface : I2C");
        uint32_t v[4] = {0, 0, 0, 0};
        if (c_.api.GetQVDriverVersionEx) c_.api.GetQVDriverVersionEx(c_.dev.device, v);
        f.printf(" (Quorvane Driver : %u.%u.%u.%u)\n", v[0], v[1], v[2], v[3]);
    }

    if (ff[4] & 0x01) {
        const uint16_t status = diagState().g_wSRVersion;
        f.printf("\r\nSystem Reference Version : %d.%d\n", status / 100, status % 100);
        const int ready = SendCmdQueryE0(c_, 0xF7, 1);
        if (ready < 0 || !(ready & 0x01)) {
            f.write("\nSystem Reference State : Base not Initialed.\n");
        } else {
            uint16_t state = 0;
            if (!SendCmdGetStatusE4(c_, &state))
                f.write("\nSystem Reference State : Get State Failed.\n");
            else
                f.write(state & 0x01 ? "\nSystem Reference State : Not Initialized.\n"
                                     : "\nSystem Reference State : Active.\n");
        }
    }

    StateFlagEx& st = c_.records.stateFlagEx;
    st.size = sizeof st;
    if (c_.api.GetStateFlagEx && c_.api.GetStateFlagEx(c_.dev.device, &st))
        f.printf("\r\nVCXM_FLAG = 0x%04X VCXM_STAT = 0x%04X VCXM_STAT2 = 0x%04X VCXM_DIAG = 0x%04X\n", st.flag, st.status,
                 st.status2, st.diagnostic);
    else
        f.write("\r\nGet State and Flag Failed.\r\n");

    f.printf("\nFeature Flag1 = 0x%02X Feature Flag2 = 0x%02X Feature Flag3 = 0x%02X Feature Flag4 = 0x%02X\n", ff[0],
             ff[1], ff[2], ff[3]);
    if (ff[4] || ff[5] || ff[6] || ff[7])
        f.printf("\nFeature Flag5 = 0x%02X Feature Flag6 = 0x%02X Feature Flag7 = 0x%02X Feature Flag8 = 0x%02X\n",
                 ff[4], ff[5], ff[6], ff[7]);
    // The time values print as the C library's ctime text, its line end kept.
    // (asctime's day and month names are the C locale's whatever the program's locale).
    auto stamp = [&f](const char* format, uint32_t value) {
        if (value == 0) return;
        const std::time_t t = std::time_t(value);
        const char* text = std::ctime(&t);
        f.printf(format, text ? text : "");
    };
    stamp("\nFirmware Time Stamp : %s\n", r.fwInformation.controllerWord[0]);
    stamp("Slave Time Stamp : %s\n", r.fwInformation.controllerWord[1]);

    stopScanning();
    if (ff[1] & 0x40) WriteLogFrequencyHopping(f);
    uint8_t maximum = 0, level = 0;
    if (itemProtocol() && (ff[0] & 0x80) && SendCmdQueryF6(c_, &maximum, &level)) f.printf("\nAbnormal Level = %d\n", level);
    if (c_.dev.paraVersion > 0) f.printf("\n0xF6 Version : %d.%d\n", c_.dev.paraVersion / 100, c_.dev.paraVersion % 100);
    if (generation() != 0) f.printf("\n0xF9 Version : %d.%d\n", generation() >> 4, generation() & 15);

    WriteLogParameterLists(f);
    WriteLogEventHalt(f);
}

void DeviceLog::WriteLogFrequencyHopping(qvtext::TextWriter& f) {
    const uint32_t word = diagState().g_nFHMode;
    if (word == 0xFF00)
        f.write("\nGet Frequence Hopping mode failed.\n");
    else
        f.printf("\nFrequence Hopping mode : %u\nFrequency : %u\n", word & 3, word);
    if (!itemProtocol() || !(c_.dev.featureFlags[3] & 0x20)) return;
    if (abnormalFrequencyWord_ == 0xFF00)
        f.write("\nGet Abnormal Scan Frequence Hopping mode failed.\n");
    else
        f.printf("\nAbnormal Scan Frequence Hopping mode = %d\nFrequency : %d\n", abnormalFrequencyWord_ & 3,
                     abnormalFrequencyWord_);
}

void DeviceLog::WriteLogParameterLists(qvtext::TextWriter& f) {
    const ParameterList& l = c_.records.paraList;
    if (!c_.dev.listsRead) {
        f.write("\r\nGet Parameters List Failed.\n");
        return;
    }
    f.printf("\r\nParameters CRC : x%04X\n", unsigned(c_.dev.parameterCrc));
    auto list = [&f](const char* heading, const uint8_t* bytes, int length) {
        if (!bytes || length <= 0) return;
        f.write(heading);
        for (int i = 0; i < length; ++i) {
            if (i % 16 == 0) f.write("\n");
            f.printf("0x%02X, ", bytes[i]);
        }
        f.write("\n");
    };
    list("\nAP Parameters :\n", l.touchList, l.touchLength);
    list("\nBoot Parameters :\n", l.bootList, l.bootLength);
    list("\nDebug Parameters :\n", l.debugList, l.debugLength);
    const int slaves = std::clamp(int(c_.records.fwVersion.slaveCount), 0, 4);
    for (int i = 0; i < slaves; ++i) {
        if (!l.slaveList[i] || l.slaveLength == 0) continue;
        char heading[40];
        std::snprintf(heading, sizeof heading, "\nSlave %d Parameters :\n", i + 1);
        list(heading, l.slaveList[i], l.slaveLength);
    }
}

void DeviceLog::WriteLogEventHalt(qvtext::TextWriter& f) {
    if (!c_.records.debug.valid) return;
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    uint8_t kind = 0;
    if (!t.GetEventHalt || !t.GetEventHalt(c_.dev.device, &kind) || kind == 0) return;
    haltKind_ = kind;
    const uint8_t gen = generation();
    if (gen >= 1 && gen <= 31) {
        if (c_.api.EnterDiagnosticMode) c_.api.EnterDiagnosticMode(c_.dev.device, 1);
        if (c_.api.EnablePCAPScan) c_.api.EnablePCAPScan(c_.dev.device, 1);
        programSleep(c_, 300);
    }
    NewRawArray& a = c_.records.newRawArray;
    if (!c_.api.GetNewDiffMutu || !a.whole || !c_.api.GetNewDiffMutu(c_.dev.device, &a)) {
        f.write("\nGet Event Halt Failed.\n");
        haltKind_ = 0;
        return;
    }
    const size_t n = std::min(haltFrame_.size(), size_t(std::max(a.wholeCount, 0)));
    std::copy(a.whole, a.whole + n, haltFrame_.begin());
}

bool DeviceLog::WriteLogRawData(Frame kind, int number) {
    NewRawArray& a = c_.records.newRawArray;
    NewDiagRequest& request = c_.records.newDiagRequest;
    request.cbSize = sizeof request;
    request.scanArgument = request.loadArgument = request.reserved = 0;
    const bool arrays = a.whole && a.wholeCount > 0;
    bool read = false;
    const char* failed = "";
    char heading[64] = {};
    switch (kind) {
    case Frame::Baseline:
        request.dataKind = 0;
        read = arrays && c_.api.GetNewDiagData && c_.api.GetNewDiagData(c_.dev.device, &a, &request);
        std::snprintf(heading, sizeof heading, "\r\nBase Line :\n");
        failed = "\r\nGet Base Line Failed.\n";
        break;
    case Frame::ModeDiff:
        request.dataKind = uint8_t(0x80 | number);
        read = arrays && c_.api.GetNewDiagData && c_.api.GetNewDiagData(c_.dev.device, &a, &request);
        std::snprintf(heading, sizeof heading, "\r\nFrequence Hopping Mode Diff %d :\n", number);
        failed = "\r\nGet Mode Diff Failed.\n";
        break;
    case Frame::EventHalt:
        read = !haltFrame_.empty();
        std::snprintf(heading, sizeof heading, "%s",
                      haltKind_ & 0x01   ? "\r\nFinger Event Halt :\n"
                      : haltKind_ & 0x02 ? "\r\nWater Event Halt :\n"
                                         : "\r\nUnknown Event Halt :\n");
        break;
    case Frame::RawCount:
        request.dataKind = 0;
        read = arrays && c_.api.GetNewRawCount && c_.api.GetNewRawCount(c_.dev.device, &a, &request);
        std::snprintf(heading, sizeof heading, "\nRaw Count %d :\n", number);
        failed = "\nGet Raw Count Failed.\n";
        break;
    }
    if (!read) {
        file_.write(failed);
        return false;
    }
    const int whole = kind == Frame::EventHalt ? int(haltFrame_.size()) : a.wholeCount;
    const FrameShape shape = FrameShapeOf(c_.records.diagInfo, whole);
    const uint16_t* frame = kind == Frame::EventHalt ? haltFrame_.data() : a.whole;
    if (kind == Frame::Baseline)
        std::copy(a.whole, a.whole + std::min(baseline_.size(), size_t(a.wholeCount)), baseline_.begin());
    // Raw frames, and a raw event-halt frame, show their difference to the baseline.
    const uint8_t choice = c_.records.debug.item[7].value;
    const bool haltRaw = kind == Frame::EventHalt && choice == 0;
    const bool difference = (kind == Frame::RawCount || haltRaw) && baseline_.size() >= size_t(shape.count());
    const FrameValueForm form = kind != Frame::EventHalt ? FrameValueForm::Signed
                                : choice == 1            ? FrameValueForm::Hex
                                : choice == 0            ? FrameValueForm::Unsigned
                                                         : FrameValueForm::Signed;
    file_.write(heading);
    file_.write(FrameText(shape, frame, difference ? baseline_.data() : nullptr, form, c_.dev.featureFlags[1] & 0x01));
    notify_(1, 1);
    return true;
}

void DeviceLog::startSteps() {
    step_ = 0;
    frequency_ = 0xFF;
    modeCount_ = deviceModeCount() ? deviceModeCount() : 3;
}

bool DeviceLog::LogStep() {
    int& k = step_;
    if (k == 0) {
        WriteLogRawData(Frame::Baseline, 0);
        k = 1;
    } else if (k == 1 || k == 2) {
        if (k < modeCount_) WriteLogRawData(Frame::ModeDiff, k);
        ++k;
    } else if (k == 3) {
        if (haltKind_) WriteLogRawData(Frame::EventHalt, 0);
        bool ok = true;
        if (generation() == 0) {
            ok = c_.api.EnterDiagnosticMode && c_.api.EnterDiagnosticMode(c_.dev.device, 1);
            programSleep(c_, 300);
            ok = ok && c_.api.EnablePCAPScan && c_.api.EnablePCAPScan(c_.dev.device, 1);
        }
        if (!ok) {
            k = kLogStepEnd;
        } else {
            k = 4;
            if (startedByNoiseLog) {
                // The open/short part appends to the file: it is closed until the noise log resumes the steps.
                file_.close();
                scanShared().debugLogPath = path_;
                notify_(11, 0);
                return false;
            }
        }
    } else if (k >= 4 && k <= kLogLastStep) {
        if (k < 9 || k % 3 != 0) {
            k = WriteLogRawData(Frame::RawCount, k < 9 ? k - 3 : k % 3) ? k + 1 : kLogStepEnd;
        } else {
            const FrequencyStep s = FrequencyStepOf(k, frequency_, modeCount_);
            if (s.mode < modeCount_ && SendCmdF5(c_, s.value)) {
                if (s.phase == 0)
                    file_.printf("\nFrequence Hopping Mode %d (Frequence : %d)\n", s.mode, frequency_ >> 2);
                else if (s.phase == 1)
                    file_.printf("\nFrequence Hopping Mode %d and use Minimum Frequence :\n", s.mode);
                else
                    file_.printf("\nFrequence Hopping Mode %d and use Maximum Frequence :\n", s.mode);
                ++k;
            } else {
                k = kLogStepEnd;
            }
        }
    }
    if (k == 9) {
        const uint32_t word = diagState().g_nFHMode;
        if (deviceModeCount() == 0 || word == 0xFF00) {
            k = kLogStepEnd;
        } else {
            modeCount_ = deviceModeCount();
            frequency_ = uint8_t(word);
        }
    }
    if (k > kLogLastStep) {
        endLog();
        return false;
    }
    return true;
}

bool DeviceLog::resumeAfterOpenShort() {
    scanShared().debugLogPath.clear();
    return open(path_);
}

void DeviceLog::endLog() {
    if (frequency_ != 0xFF) SendCmdF5(c_, frequency_);
    if (c_.api.EnterDiagnosticMode) c_.api.EnterDiagnosticMode(c_.dev.device, 0);
    close();
    notify_(progressCode(), 0xFFFF);
    forSystemReference = false;
}

// ---- The register dump -----------------------------------------------------------

namespace {

// Reply bytes 1..4 of an E7 answer, as SendCmdE7 gives them (little-endian).
void replyBytes(uint32_t out, uint8_t b[4]) {
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(out >> (8 * i));
}

// The size answer: reply bytes 2..4, big-endian.
uint32_t sizeOf(uint32_t out) {
    uint8_t b[4];
    replyBytes(out, b);
    return uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

} // namespace

bool DeviceLog::dumpMemory(qvtext::TextWriter& w, uint8_t sizeSelector, uint8_t readSelector, const char* heading,
                           const char* failed) {
    uint32_t out = 0;
    if (!SendCmdE7(c_, sizeSelector, 0, &out)) return false;
    const uint32_t size = std::min(sizeOf(out), kMaxDumpBytes);
    w.write(heading);
    for (uint32_t a = 0; a < size; a += 16) {
        w.printf("[%04X] ", a);
        uint8_t bytes[16] = {};
        for (uint32_t part = 0; part < 4; ++part) {
            if (!SendCmdE7(c_, readSelector, a + 4 * part, &out)) {
                w.write(failed);
                return true;
            }
            replyBytes(out, bytes + 4 * part);
            w.printf("%02X %02X %02X %02X ", bytes[4 * part], bytes[4 * part + 1], bytes[4 * part + 2],
                     bytes[4 * part + 3]);
        }
        w.printf("%s\n", PrintableBytes(bytes, 16).c_str());
        if ((a + 16) % 0x100 == 0) notify_(1, 1);
    }
    return true;
}

void DeviceLog::WriteLogICRegisters(qvtext::TextWriter& w) {
    uint32_t out = 0;
    if (!SendCmdE7(c_, 0xB0, 0, &out)) return;
    const uint32_t count = std::min(sizeOf(out), kMaxConfigWords);
    w.write("\r\nGet IC Config :\n");
    for (uint32_t i = 0; i < count; ++i) {
        if (!SendCmdE7(c_, 0x30, (i & 0xFF) << 16, &out)) {
            w.write("\nGet IC Config Failed.\n");
            break;
        }
        uint8_t b[4];
        replyBytes(out, b);
        w.printf("[%02X] 0x%02X%02X%02X%02X\n", i, b[0], b[1], b[2], b[3]);
    }
    if (!dumpMemory(w, 0xA0, 0x20, "\r\nGet SFR :\n", "\nGet SFR Failed.\n")) return;
    dumpMemory(w, 0x90, 0x10, "\r\nGet Data Ram :\n", "\nGet Data Ram Failed.\n");
}

} // namespace vcx
