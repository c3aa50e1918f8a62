// The command transport: one 5-byte command and its 5-byte reply over HID
// feature reports, the kernel driver's I/O controls or a serial line, plus the
// bulk frame reads, HID output reports and the command log lines around them.
#include "internal.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace qvlib {
namespace {

constexpr int kAttempts = 5;
constexpr int kPolls = 5;
constexpr uint8_t kRefused = 0xAA;

// The largest report the Linux HID layer passes (its buffer size, the report id
// included): the bound on an output report of a device that does not say how long
// its own are.
constexpr size_t kLargestHidReport = 16384;

constexpr uint32_t kIoctlSend0 = 0x223D48;
constexpr uint32_t kIoctlRead0 = 0x223D4C;
constexpr uint32_t kIoctlSend1 = 0x223D88;
constexpr uint32_t kIoctlRead1 = 0x223D8C;

uint8_t ReportId(const DevInfo& rec) { return rec.bWin8Ptl ? 1 : 0; }

bool IsAnswer(uint8_t first, uint8_t code) { return first == code || first == kRefused; }

// The platform call that just failed found its device gone: no retry can help.
bool Gone() { return qvp::lastError().kind == qvp::ErrorKind::NotFound; }

// Set by every exchange before it returns: it was answered, and with a refusal.
thread_local bool t_refused = false;
thread_local ExchangeEnd t_lastEnd = ExchangeEnd::NoAnswer;

uint8_t Check(const uint8_t five[5]) {
    uint8_t sum = 0;
    for (int i = 0; i < 5; ++i) sum = static_cast<uint8_t>(sum + five[i]);
    return static_cast<uint8_t>(~sum);
}

// The waits a command needs before its reply is read: the caller's delay, then
// the settle time of commands that make the controller write its memory.
void SettleAfterSend(const DevInfo& rec, uint8_t code, int delayMs) {
    if (delayMs > 0) qvp::sleepMs(static_cast<uint32_t>(delayMs));
    if (code == 0xD1)
        qvp::sleepMs(rec.byBootMarker ? rec.byBootMarker : rec.byTiming);
    else if (code == 0xE1 || code == 0xEA)
        qvp::sleepMs(rec.byTiming);
}

// Packs data bytes into little-endian words; a low byte left at the end of one
// chunk pairs with the first byte of the next.
struct WordAssembler {
    uint16_t* out;
    size_t words;
    size_t done = 0;
    bool haveLow = false;
    uint8_t low = 0;

    bool full() const { return done >= words; }
    void feed(const uint8_t* data, size_t n) {
        for (size_t i = 0; i < n && !full(); ++i) {
            if (!haveLow) {
                low = data[i];
                haveLow = true;
            } else {
                out[done++] = static_cast<uint16_t>(low | (data[i] << 8));
                haveLow = false;
            }
        }
    }
};

}  // namespace

uint32_t DriverSendCode(const DevInfo& rec) {
    bool second = g_driverIoctlSwitch != 0 || !(rec.dwDeviceType & QV_DEVICE_DRIVER);
    return second ? kIoctlSend1 : kIoctlSend0;
}

uint32_t DriverReadCode(const DevInfo& rec) {
    bool second = g_driverIoctlSwitch != 0 || !(rec.dwDeviceType & QV_DEVICE_DRIVER);
    return second ? kIoctlRead1 : kIoctlRead0;
}

int HidExchange(const DevInfo& rec, const uint8_t cmd[5], uint8_t reply[5], int delayMs, bool withReply) {
    auto& be = qvp::backend();
    uint8_t out[6];
    out[0] = ReportId(rec);
    std::memcpy(out + 1, cmd, 5);
    uint8_t last[6] = {};
    bool answered = false;
    bool timedOut = false;
    bool gone = false;
    t_refused = false;

    for (int attempt = 0; attempt < kAttempts && !answered && !timedOut && !gone; ++attempt) {
        if (!be.hidSetFeature(rec.hDevice, out, sizeof out)) {
            if (Gone()) break;
            qvp::sleepMs(10);
            continue;
        }
        if (!withReply) return 1;
        SettleAfterSend(rec, cmd[0], delayMs);
        for (int poll = 0; poll < kPolls; ++poll) {
            if (poll > 0) qvp::sleepMs(1);
            uint8_t in[6] = {ReportId(rec), 0, 0, 0, 0, 0};
            if (be.hidGetFeature(rec.hDevice, in, sizeof in)) {
                std::memcpy(last, in, sizeof last);
                if (IsAnswer(in[1], cmd[0])) {
                    answered = true;
                    break;
                }
            } else if (qvp::lastError().kind == qvp::ErrorKind::Timeout) {
                // The device's own time-out: asking again only waits longer.
                timedOut = true;
                break;
            } else if (Gone()) {
                gone = true;
                break;
            }
        }
    }
    if (!withReply) return 0;
    std::memcpy(reply, last + 1, 5);
    t_refused = answered && last[1] == kRefused;
    return answered && last[1] != kRefused;
}

int DriverExchange(const DevInfo& rec, const uint8_t cmd[5], uint8_t reply[5], int delayMs, bool withReply) {
    auto& be = qvp::backend();
    const uint32_t sendCode = DriverSendCode(rec);
    const uint32_t readCode = DriverReadCode(rec);
    uint8_t last[5] = {};
    bool answered = false;
    bool stop = false;
    t_refused = false;

    for (int attempt = 0; attempt < kAttempts && !answered && !stop; ++attempt) {
        uint8_t sendOut[5] = {};
        uint32_t returned = 0;
        bool sent = rec.byQVOstraMelk
                        ? be.driverIoctl(rec.hDevice, sendCode, cmd, 5, sendOut, sizeof sendOut, &returned)
                        : be.driverIoctl(rec.hDevice, sendCode, cmd, 5, nullptr, 0, &returned);
        if (!sent && Gone()) break;
        if (!sent && cmd[0] != 0xD1) {
            qvp::sleepMs(10);
            continue;
        }
        if (!withReply) return sent ? 1 : 0;
        SettleAfterSend(rec, cmd[0], delayMs);
        for (int read = 0; read < kPolls; ++read) {
            if (rec.hDevice == invalidHandle()) {
                stop = true;
                break;
            }
            if (read > 0) qvp::sleepMs(1);
            uint8_t in[5] = {};
            returned = 0;
            if (be.driverIoctl(rec.hDevice, readCode, nullptr, 0, in, sizeof in, &returned)) {
                std::memcpy(last, in, sizeof last);
                if (IsAnswer(in[0], cmd[0])) {
                    answered = true;
                    break;
                }
            } else if (qvp::lastError().kind == qvp::ErrorKind::InvalidParameter || Gone()) {
                stop = true;
                break;
            }
        }
    }
    if (!withReply) return 0;
    std::memcpy(reply, last, 5);
    t_refused = answered && last[0] == kRefused;
    return answered && last[0] != kRefused;
}

int Rs232Exchange(const DevInfo& rec, const uint8_t cmd[5], uint8_t reply[5], int delayMs, bool withReply,
                  bool probe) {
    auto& be = qvp::backend();
    const bool melk = rec.byQVOstraMelk == QV_SERIES_MELK;
    const size_t frameLen = melk ? 5 : 6;
    uint8_t frame[6];
    std::memcpy(frame, cmd, 5);
    frame[5] = Check(cmd);

    const int reads = probe ? 2 : 5;
    uint8_t answer[6] = {};
    bool answered = false;
    bool gone = false;
    t_refused = false;

    for (int attempt = 0; attempt < kAttempts && !answered && !gone; ++attempt) {
        if (!be.serialPurge(rec.hDevice) && Gone()) break;
        size_t sent = 0;
        while (sent < frameLen) {
            size_t n = 0;
            if (!be.serialWrite(rec.hDevice, frame + sent, frameLen - sent, &n) || n == 0) break;
            sent += n;
        }
        if (sent < frameLen) {
            if (Gone()) break;
            qvp::sleepMs(10);
            continue;
        }
        if (!withReply) return 1;
        if (delayMs > 0) qvp::sleepMs(static_cast<uint32_t>(delayMs));

        // The answer is the first whole frame that passes its check byte and echoes
        // this command (or refuses it). A frame whose check byte is wrong costs one
        // byte of resynchronisation; a frame that answers another command (a late
        // or repeated one) is dropped whole.
        std::memset(answer, 0, sizeof answer);
        size_t got = 0;
        for (int r = 0; r < reads && !answered; ++r) {
            size_t n = 0;
            bool ok = be.serialRead(rec.hDevice, answer + got, frameLen - got, &n);
            if (!ok && Gone()) {
                gone = true;
                break;
            }
            if (!ok || n == 0) {
                qvp::sleepMs(rec.byTiming);
                continue;
            }
            got += n;
            if (got < frameLen) continue;
            if (!melk && answer[5] != Check(answer)) {
                std::memmove(answer, answer + 1, --got);
                answer[got] = 0;
            } else if (IsAnswer(answer[0], cmd[0])) {
                answered = true;
            } else {
                std::memset(answer, 0, sizeof answer);
                got = 0;
            }
        }
        if (!answered && probe) break;
    }
    if (!withReply) return 0;
    if (!answered) std::memset(answer, 0, sizeof answer);
    std::memcpy(reply, answer, 5);
    t_refused = answered && answer[0] == kRefused;
    return answered && answer[0] != kRefused;
}

bool Rs232PortSetup(DevInfo& rec, uint32_t baud) {
    if (rec.hDevice == invalidHandle()) return false;
    auto& be = qvp::backend();
    const bool testMode = baud == 1200 || baud == 1201;
    const int tries = testMode ? 5 : 1;
    auto retry = [&](auto&& call) {
        for (int i = 0; i < tries; ++i) {
            if (i > 0) qvp::sleepMs(100);
            if (call()) return true;
        }
        return false;
    };

    qvp::SerialConfig cfg;
    qvp::SerialTimeouts timeouts;
    bool ok = retry([&] { return be.serialGetConfig(rec.hDevice, &cfg); });
    if (ok) {
        cfg.baud = testMode ? 1200 : baud;
        cfg.dataBits = 8;
        cfg.parity = qvp::Parity::None;
        cfg.stopBits = qvp::StopBits::One;
        cfg.ctsFlow = false;
        cfg.dsrFlow = false;
        cfg.dtr = false;
        cfg.rts = baud == 1200;
        cfg.abortOnError = true;
        ok = retry([&] { return be.serialSetConfig(rec.hDevice, cfg); });
    }
    if (ok) ok = retry([&] { return be.serialGetTimeouts(rec.hDevice, &timeouts); });
    if (ok) {
        timeouts.readInterval = 0;
        timeouts.readMultiplier = 0;
        timeouts.readConstant = 30;
        timeouts.writeMultiplier = 0;
        timeouts.writeConstant = 10;
        ok = retry([&] { return be.serialSetTimeouts(rec.hDevice, timeouts); });
    }
    if (ok) ok = retry([&] { return be.serialSetEventMask(rec.hDevice, qvp::kSerialEventRxChar); });
    if (!ok) {
        LogPlatformFailure("serial port set-up");
        be.close(rec.hDevice);
        auto table = TableLock();  // rec may be a slot of the table
        rec.hDevice = invalidHandle();
    }
    return ok;
}

int HidFrameRead(const DevInfo& rec, uint16_t* out, size_t words) {
    const size_t len = rec.diag.bulkSize;
    if (len == 0 || !out) return 0;  // no bulk transfer size: nothing could ever arrive
    std::vector<uint8_t> report(len + 1);
    WordAssembler asm_{out, words};
    while (!asm_.full()) {
        report[0] = ReportId(rec);
        if (!qvp::backend().hidGetFeature(rec.hDevice, report.data(), report.size())) return 0;
        asm_.feed(report.data() + 1, len);
    }
    return 1;
}

int DriverFrameRead(const DevInfo& rec, uint16_t* out, size_t words) {
    const size_t len = rec.diag.bulkSize;
    if (len == 0 || !out) return 0;
    std::vector<uint8_t> buf(len);
    WordAssembler asm_{out, words};
    const uint32_t code = DriverReadCode(rec);
    while (!asm_.full()) {
        uint32_t returned = 0;
        if (!qvp::backend().driverIoctl(rec.hDevice, code, nullptr, 0, buf.data(), len, &returned)) return 0;
        // Only the bytes the driver delivered are data; a read that delivers
        // nothing would never finish the frame.
        if (returned == 0) return 0;
        asm_.feed(buf.data(), returned < len ? returned : len);
    }
    return 1;
}

int DriverProbeRead(const DevInfo& rec, uint32_t length) {
    if (length == 0) return 0;
    std::vector<uint8_t> buf(length);
    uint32_t returned = 0;
    bool ok = qvp::backend().driverIoctl(rec.hDevice, DriverReadCode(rec), nullptr, 0, buf.data(), length,
                                         &returned);
    return ok && returned == length;
}

int HidOutputReport(const DevInfo& rec, const uint8_t* bytes, size_t length) {
    // Never longer than the device's output report (the id byte counts): the
    // caller's length decides how much of its block is read.
    const int longest = qvp::backend().hidOutputReportLength(rec.hDevice);
    const size_t limit = longest > 0 ? static_cast<size_t>(longest) : kLargestHidReport;
    if (length >= limit) {
        debug_log_msg(kDbgError, "SetOutputReport: %zu bytes do not fit an output report of %zu bytes with its id\r\n",
                      length, limit);
        return 0;
    }
    std::vector<uint8_t> report(length + 1);
    report[0] = ReportId(rec);
    if (length && bytes) std::memcpy(report.data() + 1, bytes, length);
    return qvp::backend().hidSetOutput(rec.hDevice, report.data(), report.size()) ? 1 : 0;
}

ExchangeEnd LastExchangeEnd() { return t_lastEnd; }

int DispatchDeviceCommand(HANDLE h, const uint8_t cmd[5], uint8_t reply[5], int delayMs, bool withReply) {
    DeviceLock lock(h);
    t_lastEnd = ExchangeEnd::NoAnswer;
    if (!lock) return 0;
    const int slot = lock.slot();
    // A device found gone earlier in this conversation is not asked again.
    if (SlotDeviceGone(slot)) {
        t_lastEnd = ExchangeEnd::DeviceGone;
        return 0;
    }
    // The transports work on a copy, so nothing they do changes the table.
    const DevInfo rec = g_devInfo[slot];
    const uint64_t failures = qvp::failureCount();
    t_refused = false;
    int ok = 0;
    if (rec.dwDeviceType & QV_DEVICE_HID)
        ok = HidExchange(rec, cmd, reply, delayMs, withReply);
    else if (rec.dwDeviceType & (QV_DEVICE_DRIVER | QV_DEVICE_DRIVER_EX))
        ok = DriverExchange(rec, cmd, reply, delayMs, withReply);
    else if (rec.dwDeviceType & QV_DEVICE_RS232)
        ok = Rs232Exchange(rec, cmd, reply, delayMs, withReply, false);
    else
        return 0;
    if (ok) {
        t_lastEnd = ExchangeEnd::Answered;
        return ok;
    }
    const bool platformFailed = qvp::failureCount() != failures;
    if (platformFailed && Gone()) {
        t_lastEnd = ExchangeEnd::DeviceGone;
        MarkSlotDeviceGone(slot);
    } else if (t_refused) {
        t_lastEnd = ExchangeEnd::Refused;
    }
    if (platformFailed) {
        char what[48];
        std::snprintf(what, sizeof what, "command %02X %02X %02X %02X %02X", cmd[0], cmd[1], cmd[2], cmd[3], cmd[4]);
        LogPlatformFailure(what);
    }
    return 0;
}

}  // namespace qvlib

using namespace qvlib;

namespace {

void LogPacket(const char* tag, const uint8_t b[5]) {
    LogPrintf("%s,0x%02X,0x%02X,0x%02X,0x%02X,0x%02X,%d\r", tag, b[0], b[1], b[2], b[3], b[4],
              static_cast<int>(qvp::tickCount()));
}

void LogResult(int ok, const uint8_t reply[5]) { LogPacket(ok ? "[OUT]" : "[ERR]", reply); }

}  // namespace

extern "C" {

QV_API int SendCmd(HANDLE handle, const uint8_t command[5], uint8_t reply[5]) {
    if (!command || !reply) return 0;
    DeviceLock lock(handle);  // the log lines of one command stay together
    if (LogIsOpen()) LogPacket("\r[IN]", command);
    int ok = DispatchDeviceCommand(handle, command, reply, 0, true);
    if (LogIsOpen()) LogResult(ok, reply);
    return ok;
}

QV_API int SendCmdOnly(HANDLE handle, const uint8_t command[5]) {
    if (!command) return 0;
    DeviceLock lock(handle);
    if (LogIsOpen())
        LogPrintf("\r[IN],0x%02X,0x%02X,0x%02X,0x%02X,0x%02X,[IN only],%d\r", command[0], command[1], command[2],
                  command[3], command[4], static_cast<int>(qvp::tickCount()));
    uint8_t unused[5] = {};
    return DispatchDeviceCommand(handle, command, unused, 0, false);
}

QV_API int SendDelayCmd(HANDLE handle, const uint8_t command[5], uint8_t reply[5], int delayMs) {
    if (!command || !reply) return 0;
    DeviceLock lock(handle);
    if (LogIsOpen())
        LogPrintf("\r[IN],0x%02X,0x%02X,0x%02X,0x%02X,0x%02X,%d,[Delay],%d\r", command[0], command[1], command[2],
                  command[3], command[4], delayMs, static_cast<int>(qvp::tickCount()));
    int ok = DispatchDeviceCommand(handle, command, reply, delayMs, true);
    if (LogIsOpen()) LogResult(ok, reply);
    return ok;
}

}  // extern "C"
