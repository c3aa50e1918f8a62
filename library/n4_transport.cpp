// The N4 family's transport: finding and opening a controller over USB HID or a
// serial port, the framed byte transfers in both directions, and closing it.
#include "n4_internal.h"

#include <cerrno>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace qvlib::n4 {
namespace {

struct Settings {
    std::string uartPath;
    uint32_t baudRate = kDefaultBaudRate;
    uint32_t ioPort = 0;
    uint32_t irq = 0;
};

std::mutex& SettingsMutex() {
    static auto* m = new std::mutex;
    return *m;
}

Settings& TheSettings() {
    static auto* s = new Settings;
    return *s;
}

// What the transport keeps per open handle: the HID product (for the report-id
// rule of hid_get_report_id) and the bytes of a serial frame that arrived only
// in part (the next read completes the frame).
struct HandleState {
    uint16_t productId = 0;
    std::vector<uint8_t> partial;
    std::vector<std::string> listed;  // HID: the identities of the search that opened it
};

std::mutex& HandlesMutex() {
    static auto* m = new std::mutex;
    return *m;
}

std::map<HANDLE, HandleState>& Handles() {
    static auto* h = new std::map<HANDLE, HandleState>;
    return *h;
}

void ForgetHandle(HANDLE h) {
    std::lock_guard lock(HandlesMutex());
    Handles().erase(h);
}

void DropPartial(HANDLE h) {
    std::lock_guard lock(HandlesMutex());
    auto it = Handles().find(h);
    if (it != Handles().end()) it->second.partial.clear();
}

uintptr_t HandleValue(HANDLE h) { return reinterpret_cast<uintptr_t>(h); }

// The number the open and close lines carry for a platform failure: the
// system's error number of its kind.
int ErrorNumber() {
    switch (qvp::lastError().kind) {
        case qvp::ErrorKind::None: return 0;
        case qvp::ErrorKind::Timeout: return ETIMEDOUT;
        case qvp::ErrorKind::InvalidParameter: return EINVAL;
        case qvp::ErrorKind::NotFound: return ENOENT;
        case qvp::ErrorKind::Other: break;
    }
    return EIO;
}

uint8_t CheckByte(const uint8_t* data, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum += data[i];
    return uint8_t((sum & 0xFF) ^ 0xFF);
}

std::string ByteList(const uint8_t* data, size_t n) {
    std::string out;
    char one[8];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(one, sizeof one, "[0x%02X]", data[i]);
        out += one;
    }
    return out;
}

// The first six bytes of a report for the trace lines (zeros past its end).
void TraceBytes(const uint8_t* report, size_t len, uint8_t out[6]) {
    for (size_t i = 0; i < 6; ++i) out[i] = i < len ? report[i] : 0;
}

int HidWrite(int kind, HANDLE h, const uint8_t* buffer, int length) {
    std::vector<uint8_t> report;
    try {
        report.resize(size_t(length) + 1);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    report[0] = uint8_t((kind >> 5) & 7);
    if (length > 0) std::memcpy(report.data() + 1, buffer, size_t(length));
    uint8_t b[6];
    TraceBytes(report.data(), report.size(), b);
    constexpr int kAttempts = 10;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        const bool ok = qvp::backend().hidSetFeature(h, report.data(), report.size());
        debug_log_msg(kDbgReports,
                      "{%d} HidD_SetFeature (size:%d) [0x%02X][0x%02X][0x%02X][0x%02X][0x%02X][0x%02X] (%d:%d/%d)\r\n",
                      kind, int(report.size()), b[0], b[1], b[2], b[3], b[4], b[5], ok ? 1 : 0, attempt, kAttempts);
        if (ok) return 1;
        // Only a device that is not there (yet: it is coming back after a
        // re-enumeration) is asked again.
        if (qvp::lastError().kind != qvp::ErrorKind::NotFound || attempt == kAttempts) break;
        qvp::sleepMs(200);
    }
    return 0;
}

int HidRead(int kind, HANDLE h, uint8_t* buffer, int length) {
    std::vector<uint8_t> report;
    try {
        report.resize(size_t(length) + 1);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    report[0] = uint8_t((kind >> 5) & 7);
    const bool ok = qvp::backend().hidGetFeature(h, report.data(), report.size());
    uint8_t b[6];
    TraceBytes(report.data(), report.size(), b);
    debug_log_msg(kDbgReports, "{%d} HidD_GetFeature (size:%d) [0x%02X][0x%02X][0x%02X][0x%02X][0x%02X][0x%02X] (%d:%d)\r\n",
                  kind, int(report.size()), b[0], b[1], b[2], b[3], b[4], b[5], ok ? 1 : 0, ok ? 0 : ErrorNumber());
    if (!ok) return 0;
    if (length > 0) std::memcpy(buffer, report.data() + 1, size_t(length));
    return 1;
}

int UartWrite(HANDLE h, const uint8_t* buffer, int length) {
    std::vector<uint8_t> frame;
    try {
        frame.assign(buffer, buffer + length);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    frame.push_back(CheckByte(buffer, size_t(length)));
    debug_log_msg(kDbgBytes, "{DBG} Send CMD : %s\n", ByteList(frame.data(), frame.size()).c_str());
    // A new command: what is left of an earlier reply is no part of its answer.
    DropPartial(h);
    size_t written = 0;
    if (!qvp::backend().serialWrite(h, frame.data(), frame.size(), &written) || written != frame.size()) {
        debug_log_msg(kDbgError, "* Failed to write (%lu) data with UART interface (%lu) !\n",
                      static_cast<unsigned long>(written), static_cast<unsigned long>(frame.size()));
        return 0;
    }
    if (length >= 5 && buffer[0] == 0xF0) {
        if (buffer[4] == 0) qvp::sleepMs(300);
        // Only what came in: the command itself may still be on its way out.
        qvp::backend().serialPurgeInput(h);
    }
    return 1;
}

// Reads one frame of length bytes and its check byte. Bytes of a frame that
// arrived only in part are kept and the next read completes the frame; a frame
// whose check byte does not match its bytes is a failed read.
int UartRead(HANDLE h, uint8_t* buffer, int length) {
    const size_t want = size_t(length) + 1;
    std::vector<uint8_t> frame;
    {
        std::lock_guard lock(HandlesMutex());
        frame = std::move(Handles()[h].partial);
        Handles()[h].partial.clear();
    }
    if (frame.size() > want) frame.clear();
    const size_t had = frame.size();
    frame.resize(want);
    size_t got = 0;
    const bool ok = qvp::backend().serialRead(h, frame.data() + had, want - had, &got);
    const size_t have = had + (ok ? got : 0);
    if (have < want) {
        frame.resize(have);
        {
            std::lock_guard lock(HandlesMutex());
            Handles()[h].partial = frame;
        }
        debug_log_msg(kDbgError, "* Failed to get data (%lu) from UART interface (%lu)!\n",
                      static_cast<unsigned long>(have), static_cast<unsigned long>(want));
        return 0;
    }
    debug_log_msg(kDbgBytes, "{DBG} Get  ACK : %s\n", ByteList(frame.data(), want).c_str());
    if (frame[size_t(length)] != CheckByte(frame.data(), size_t(length))) {
        debug_log_msg(kDbgError, "* Check byte of the data from UART interface does not match !\n");
        return 0;
    }
    if (length > 0) std::memcpy(buffer, frame.data(), size_t(length));
    return 1;
}

int ReportIdOf(const qvp::HidInterface& itf, const qvp::InputNode& facts) {
    return facts.usesReportIds || itf.productId == kReportIdProduct ? 1 : 0;
}

void RememberHandle(HANDLE h, uint16_t productId, std::vector<std::string> listed = {}) {
    std::lock_guard lock(HandlesMutex());
    Handles()[h] = HandleState{productId, {}, std::move(listed)};
}

bool EqualsNoCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

}  // namespace

// ---- settings ----------------------------------------------------------------------

std::string UartPath() {
    std::lock_guard lock(SettingsMutex());
    return TheSettings().uartPath;
}

bool SetUartPath(const std::string& path) {
    if (path.size() > kMaxUartPath) return false;
    std::lock_guard lock(SettingsMutex());
    TheSettings().uartPath = path;
    return true;
}

uint32_t BaudRate() {
    std::lock_guard lock(SettingsMutex());
    return TheSettings().baudRate;
}

void SetBaudRate(uint32_t rate) {
    std::lock_guard lock(SettingsMutex());
    TheSettings().baudRate = rate;
}

uint32_t IoPort() {
    std::lock_guard lock(SettingsMutex());
    return TheSettings().ioPort;
}

void SetIoPort(uint32_t port) {
    std::lock_guard lock(SettingsMutex());
    TheSettings().ioPort = port;
}

uint32_t Irq() {
    std::lock_guard lock(SettingsMutex());
    return TheSettings().irq;
}

void SetIrq(uint32_t irq) {
    std::lock_guard lock(SettingsMutex());
    TheSettings().irq = irq;
}

void ResetSettings() {
    std::lock_guard lock(SettingsMutex());
    TheSettings() = Settings{};
}

// ---- open and close -------------------------------------------------------------------

DevInfo NewContext() {
    DevInfo ctx = EmptyDevInfo();
    ctx.hDevice = invalidHandle();
    ctx.dwDeviceType = kKindNone;
    return ctx;
}

int Open(DevInfo& ctx) { return UartPath().empty() ? OpenHid(ctx) : OpenUart(ctx); }

bool HidCandidates(std::vector<HidCandidate>* out) {
    out->clear();
    auto& be = qvp::backend();
    std::vector<qvp::HidInterface> list;
    if (!be.listHidInterfaces(&list)) return false;
    for (const auto& itf : list) {
        debug_log_msg(kDbgBytes, "[DEVICE] Check \"%s\"\r\n", itf.path.c_str());
        if (itf.vendorId != kVendorId) continue;
        // The command channel is the node whose descriptor has a feature report.
        qvp::InputNode facts;
        if (!be.hidNodeFacts(itf.path, &facts) || !facts.hasFeatureReport) continue;
        out->push_back(HidCandidate{itf, facts});
    }
    return true;
}

std::string HidIdentity(const qvp::HidInterface& itf) {
    return itf.hasParent && !itf.parentInstanceId.empty() ? itf.parentInstanceId : itf.path;
}

bool OpenHidCandidate(DevInfo& ctx, const HidCandidate& c, const std::vector<HidCandidate>& listed) {
    const qvp::HidInterface& itf = c.itf;
    const HANDLE h = qvp::backend().open(itf.path, qvp::DeviceKind::Hid);
    if (h == invalidHandle()) {
        debug_log_msg(kDbgInfo, "[DEVICE] Cannot access \"%s\" ! (%d)\r\n", itf.path.c_str(), ErrorNumber());
        return false;
    }
    ctx.hDevice = h;
    ctx.dwDeviceType = kKindHid;
    ctx.bWin8Ptl = uint16_t(ReportIdOf(itf, c.facts));
    ctx.dwProductId = itf.productId;
    CopyNarrow(ctx.szPath, kPathChars, itf.path.c_str());
    CopyNarrow(ctx.szParentId, kPathChars, HidIdentity(itf).c_str());
    std::vector<std::string> identities;
    for (const auto& other : listed) identities.push_back(HidIdentity(other.itf));
    RememberHandle(h, itf.productId, std::move(identities));
    debug_log_msg(kDbgInfo, "[DEVICE] Open \"%s\" @ %" PRIXPTR "\r\n", itf.path.c_str(), HandleValue(h));
    return true;
}

std::vector<std::string> IdentitiesAtOpen(HANDLE h) {
    std::lock_guard lock(HandlesMutex());
    auto it = Handles().find(h);
    return it != Handles().end() ? it->second.listed : std::vector<std::string>{};
}

int OpenHid(DevInfo& ctx) {
    std::vector<HidCandidate> list;
    if (!HidCandidates(&list)) return 0;
    for (const auto& c : list)
        if (OpenHidCandidate(ctx, c, list)) return 1;
    return -1;
}

int OpenUart(DevInfo& ctx) {
    const std::string path = UartPath();
    if (path.empty() || path.size() > kMaxUartPath) return -1;
    CopyNarrow(ctx.szPath, kPathChars, path.c_str());
    auto& be = qvp::backend();
    const HANDLE h = be.open(path, qvp::DeviceKind::Serial);
    if (h == invalidHandle()) {
        debug_log_msg(kDbgInfo, "\r> Device {OPEN} @ %s [FAILED] (%d)\n", path.c_str(), ErrorNumber());
        return -1;
    }
    ctx.hDevice = h;
    ctx.dwDeviceType = kKindUart;
    ctx.bWin8Ptl = 0;
    RememberHandle(h, 0);
    debug_log_msg(kDbgInfo, "\r> Device {OPEN} @ %s [OK] (%d)\n", path.c_str(), 0);

    qvp::SerialConfig cfg;
    be.serialGetConfig(h, &cfg);
    const uint32_t rate = BaudRate();
    if (rate) cfg.baud = rate;
    ctx.dwBaudRate = cfg.baud;
    cfg.dataBits = 8;
    cfg.parity = qvp::Parity::None;
    cfg.stopBits = qvp::StopBits::One;
    cfg.ctsFlow = cfg.dsrFlow = cfg.dtr = cfg.rts = false;
    cfg.abortOnError = true;
    if (!be.serialSetConfig(h, cfg)) LogPlatformFailure("serial port set-up");
    qvp::SerialTimeouts t;
    t.readInterval = 0;  // no limit between bytes
    t.readMultiplier = 0;
    t.readConstant = 10;
    t.writeMultiplier = 10;
    t.writeConstant = 1000;
    be.serialSetTimeouts(h, t);
    be.serialSetEventMask(h, qvp::kSerialEventRxChar);
    // Data reports off: from here on the line carries only command replies.
    uint8_t reply[5];
    Exchange(ctx, 0xF0, 0x00, 0x00, 0x00, 0x01, reply);
    return 1;
}

void Close(DevInfo& ctx) {
    if (!IsOpen(ctx)) return;
    const HANDLE h = ctx.hDevice;
    if (IsUart(ctx)) {
        uint8_t reply[5];
        Exchange(ctx, 0xF1, 0x00, 0x00, 0x00, 0x01, reply);
        const bool closed = qvp::backend().close(h);
        debug_log_msg(kDbgInfo, "\r> Device {CLOSE} (%d)\n", closed ? 0 : ErrorNumber());
    } else {
        debug_log_msg(kDbgInfo, "[DEVICE] Close @ %" PRIXPTR "\r\n", HandleValue(h));
        qvp::backend().close(h);
    }
    ForgetHandle(h);
    ctx.hDevice = invalidHandle();
}

uint32_t KindOfHandle(HANDLE h) {
    qvp::SerialConfig cfg;
    if (qvp::backend().serialGetConfig(h, &cfg)) return kKindUart;
    return hid_get_report_id(h) ? kKindHid : kKindNone;
}

int BlockWrite(DevInfo& ctx, const uint8_t* block, size_t length) {
    if (!IsOpen(ctx) || (!block && length)) return 0;
    auto& be = qvp::backend();
    if (IsUart(ctx)) {
        size_t written = 0;
        return be.serialWrite(ctx.hDevice, block, length, &written) && written == length ? 1 : 0;
    }
    std::vector<uint8_t> report(length + 1);
    report[0] = uint8_t(ctx.bWin8Ptl);
    if (length) std::memcpy(report.data() + 1, block, length);
    return be.hidSetOutput(ctx.hDevice, report.data(), report.size()) ? 1 : 0;
}

// ---- the HID node of a USB device ------------------------------------------------------

std::string device_get_hid_path(const std::string& usbPath) {
    auto& be = qvp::backend();
    std::vector<std::string> children;
    if (!be.usbHidChildren(usbPath, &children)) {
        debug_log_msg(kDbgError, "Check HID device [FAILED] (A)\n");
        debug_log_msg(kDbgError, "WARNING: HID Device Not found for %s !\n", usbPath.c_str());
        return {};
    }
    constexpr int kWalks = 5;
    constexpr int kOpenTries = 10;
    for (int walk = 0; walk < kWalks; ++walk) {
        if (walk > 0) {
            qvp::sleepMs(300);
            if (!be.usbHidChildren(usbPath, &children)) children.clear();
        }
        if (children.empty()) debug_log_msg(kDbgError, "Check HID device for %s [FAILED] (C)\n", usbPath.c_str());
        for (const std::string& child : children) {
            HANDLE h = invalidHandle();
            for (int attempt = 0; attempt < kOpenTries; ++attempt) {
                if (attempt > 0) {
                    debug_log_msg(kDbgInfo, "Check HID device for %s [RETRY#%d]\n", usbPath.c_str(), attempt);
                    qvp::sleepMs(300);
                }
                h = be.open(child, qvp::DeviceKind::Hid);
                if (h != invalidHandle()) break;
            }
            if (h == invalidHandle()) {
                debug_log_msg(kDbgError, "Check HID device for %s [FAILED] (D)\n", usbPath.c_str());
                continue;
            }
            debug_log_msg(kDbgInfo, "Check HID device : %s (%" PRIXPTR ")\n", child.c_str(), HandleValue(h));
            qvp::InputNode facts;
            qvp::HidInterface itf;
            if (be.hidNodeFacts(child, &facts)) itf.productId = facts.productId;
            DevInfo ctx = NewContext();
            ctx.hDevice = h;
            ctx.dwDeviceType = kKindHid;
            ctx.bWin8Ptl = uint16_t(ReportIdOf(itf, facts));
            RememberHandle(h, itf.productId);
            uint8_t reply[5];
            const bool answered = Exchange(ctx, 0xEE, 0x00, 0x00, 0x00, 0x00, reply) == kExchangeOk;
            be.close(h);
            ForgetHandle(h);
            if (answered) return child;
            debug_log_msg(kDbgError, "Check HID device for %s [FAILED] (E)\n", usbPath.c_str());
        }
    }
    debug_log_msg(kDbgError, "WARNING: HID Device Not found for %s !\n", usbPath.c_str());
    return {};
}

}  // namespace qvlib::n4

using namespace qvlib;
using namespace qvlib::n4;

extern "C" {

QV_API int tch_data_write(int kind, HANDLE device, const uint8_t* buffer, int length) {
    if (length < 0 || (!buffer && length > 0)) return 0;
    switch (uint32_t(kind) & 0x1F) {
        case kKindHid: return HidWrite(kind, device, buffer, length);
        case kKindUart: return UartWrite(device, buffer, length);
        default: return 0;
    }
}

QV_API int tch_data_read(int kind, HANDLE device, uint8_t* buffer, int length) {
    if (length < 0 || (!buffer && length > 0)) return 0;
    switch (uint32_t(kind) & 0x1F) {
        case kKindHid: return HidRead(kind, device, buffer, length);
        case kKindUart: return UartRead(device, buffer, length);
        default: return 0;
    }
}

QV_API int hid_get_report_id(HANDLE device) {
    std::lock_guard lock(HandlesMutex());
    auto it = Handles().find(device);
    return it != Handles().end() && it->second.productId == kReportIdProduct ? 1 : 0;
}

QV_API char* tch_get_usb_path_by_id(const char* enumerator) {
    if (!enumerator || !EqualsNoCase(enumerator, "USB")) return nullptr;
    std::vector<std::string> devices;
    if (!qvp::backend().listUsbDevices(kVendorId, &devices)) return nullptr;
    const std::string* last = nullptr;
    for (const auto& d : devices) {
        debug_log_msg(kDbgBytes, "Check USB device : %s\n", d.c_str());
        last = &d;
    }
    if (!last) return nullptr;
    char* out = static_cast<char*>(std::malloc(last->size() + 1));
    if (out) std::memcpy(out, last->c_str(), last->size() + 1);
    return out;
}

}  // extern "C"
