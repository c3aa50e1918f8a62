// Enumeration of controllers behind the maker's kernel driver (five kinds of
// device names) and on serial ports, and the serial plug-and-play test.
#include "enumeration.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace qvlib {

std::atomic<bool> g_driverVersionDecided{false};

namespace {

constexpr uint32_t kIoctlSeries = 0x223CA8;
constexpr uint32_t kIoctlVersionMajor = 0x223C00;
constexpr uint32_t kIoctlVersionMinor = 0x223C04;
constexpr uint32_t kIoctlPortIndex = 0x223C40;
const char* const kParametersKey = "SYSTEM\\CurrentControlSet\\Services\\qvhidusb\\Parameters";
const char* const kEnumKey = "SYSTEM\\CurrentControlSet\\Services\\qvhidusb\\Enum";
const char* const kFailedPortIndex = "Failed Port Index";

struct DriverKind {
    const char* nameTemplate;
    uint32_t flag;
    uint8_t series;
};

const DriverKind kDriverKinds[5] = {
    {"\\\\.\\QVUVCXM_API%d", QV_DEVICE_DRIVER, QV_SERIES_CURRENT},
    {"\\\\.\\QVUOstra_API%d", QV_DEVICE_DRIVER, QV_SERIES_OSTRA},
    {"\\\\.\\QVSVCXM_API%d", QV_DEVICE_DRIVER, QV_SERIES_CURRENT},
    {"\\\\.\\QVSOstra_API%d", QV_DEVICE_DRIVER_EX, QV_SERIES_OSTRA},
    {"\\\\.\\QVSMelk_API%d", QV_DEVICE_DRIVER_EX, QV_SERIES_MELK},
};

const uint32_t kProbeBauds[] = {38400, 115200, 19200, 9600, 57600};
const uint32_t kMelkProbeBauds[] = {19200, 9600};

bool Ioctl4(HANDLE h, uint32_t code, uint32_t* value) {
    uint8_t out[4] = {};
    uint32_t returned = 0;
    if (!qvp::backend().driverIoctl(h, code, nullptr, 0, out, sizeof out, &returned) || returned != sizeof out)
        return false;
    *value = out[0] | out[1] << 8 | out[2] << 16 | static_cast<uint32_t>(out[3]) << 24;
    return true;
}

bool DriverCommand(const DevInfo& rec, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t reply[5]) {
    const uint8_t cmd[5] = {c0, c1, c2, 0x00, 0x00};
    return DriverExchange(rec, cmd, reply, 0, true) != 0;
}

// The driver's Parameters value of a port: "...&<location>#<key>#...".
void ReadDriverLocation(DevInfo& rec, uint32_t port, int32_t* location) {
    *location = -1;
    char valueName[16];
    std::snprintf(valueName, sizeof valueName, "%u", port);
    std::string text;
    if (!qvp::backend().readSettingString(kParametersKey, valueName, &text)) return;
    text = text.substr(0, kPathChars - 1);

    // A number too large for a location (the value is text from the settings
    // store, so it can hold any digits) gives no location, as a missing one does.
    size_t amp = text.rfind('&');
    if (amp != std::string::npos) {
        int64_t v = 0;
        for (size_t i = amp + 1; i < text.size() && text[i] != '#'; ++i) {
            if (text[i] < '0' || text[i] > '9') break;
            v = v * 10 + (text[i] - '0');
            if (v > INT32_MAX) {
                v = -1;
                break;
            }
        }
        *location = static_cast<int32_t>(v);
    }
    size_t last = text.rfind('#');
    size_t prev = last == std::string::npos || last == 0 ? std::string::npos : text.rfind('#', last - 1);
    if (prev == std::string::npos) return;
    const std::string key = text.substr(prev + 1, last - prev - 1).substr(0, kKeyChars - 1);
    CopyNarrow(rec.szKey, kKeyChars, key.c_str());
    NarrowToWide(rec.szKeyW, kKeyChars, rec.szKey);

    size_t underscore = text.rfind('_', prev);
    if (underscore != std::string::npos) {
        uint32_t product = 0;
        for (size_t i = underscore + 1; i < underscore + 5 && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            product = product * 10 + static_cast<uint32_t>(text[i] - '0');
        rec.dwProductId = product;
    }

    uint32_t count = 0;
    if (!qvp::backend().readSettingDword(kEnumKey, "Count", &count)) return;
    for (uint32_t i = 0; i < count && i < 1024; ++i) {
        std::snprintf(valueName, sizeof valueName, "%u", i);
        std::string id;
        if (qvp::backend().readSettingString(kEnumKey, valueName, &id) && id.find(key) != std::string::npos) {
            CopyNarrow(rec.szParentId, kPathChars, id.c_str());
            break;
        }
    }
}

// One driver kind; in find mode returns 1 at its first controller.
int EnumerateDriverKind(int kind, const EnumSink* sink, bool findWide, HANDLE* handle, void* name,
                        uint32_t* foundLocation) {
    auto& be = qvp::backend();
    const DriverKind& k = kDriverKinds[kind];
    int reported = 0;
    for (int index = 0; index < 16; ++index) {
        DevInfo rec = EmptyDevInfo();
        rec.dwSize = kDevInfoSize;
        rec.dwDeviceType = k.flag;
        rec.byQVOstraMelk = k.series;
        std::snprintf(rec.szPath, kPathChars, k.nameTemplate, index);
        // Most names name no device: those are no candidates, and the reason of the
        // last real one that failed is kept.
        const qvp::Error before = qvp::lastError();
        DeviceLock candidate(DeviceLock::Slot{SlotOfPath(rec.szPath)});
        rec.hDevice = be.open(rec.szPath, qvp::DeviceKind::Driver);
        if (rec.hDevice == invalidHandle()) {
            if (qvp::lastError().kind == qvp::ErrorKind::NotFound)
                qvp::setLastError(before.kind, before.text);
            else
                CandidateFailed("driver enumeration");
            continue;
        }
        NarrowToWide(rec.szPathW, kPathChars, rec.szPath);
        const uint64_t failures = qvp::failureCount();

        uint32_t code = 0;
        bool accepted = false;
        if (Ioctl4(rec.hDevice, kIoctlSeries, &code)) {
            const uint32_t d = (code >> 16) / 1000;
            if (k.series != QV_SERIES_CURRENT) {
                if (d == 9) {
                    rec.byQVOstraMelk = QV_SERIES_MELK;
                    accepted = true;
                } else {
                    accepted = d == 6;
                }
            } else {
                accepted = d == 1 || d == 2 || d == 6;
            }
        }
        if (!accepted) {
            if (qvp::failureCount() != failures) CandidateFailed("driver enumeration");
            be.close(rec.hDevice);
            continue;
        }
        if (!g_driverVersionDecided) {
            g_driverVersionDecided = true;
            uint32_t major = 0, minor = 0;
            Ioctl4(rec.hDevice, kIoctlVersionMajor, &major);
            Ioctl4(rec.hDevice, kIoctlVersionMinor, &minor);
            if (major * 100 + minor > 203) g_driverIoctlSwitch = 1;
        }

        uint8_t identity[5] = {}, reply[5] = {};
        bool answered;
        if (rec.byQVOstraMelk == QV_SERIES_MELK) {
            answered = DriverCommand(rec, 0xF2, 0x00, 0x00, identity);
        } else {
            uint8_t ed[5] = {};
            DriverCommand(rec, 0xE9, 0x00, 0xAD, reply);
            answered = DriverCommand(rec, 0xEE, 0x00, 0x00, identity) && DriverCommand(rec, 0xED, 0x00, 0x00, ed);
            if (answered && ed[3] == 0x55 && ed[4] == 0xAA) CopyNarrow(rec.szAltPath, kPathChars, rec.szPath);
        }
        if (!answered) {
            if (qvp::failureCount() != failures) CandidateFailed("driver enumeration");
            be.close(rec.hDevice);
            continue;
        }

        uint32_t port = 0;
        int32_t location = -1;
        rec.szParentId[0] = 0;
        if (Ioctl4(rec.hDevice, kIoctlPortIndex, &port)) {
            if (k.flag == QV_DEVICE_DRIVER_EX) {
                std::snprintf(rec.szKey, kKeyChars, "%u", port);
                NarrowToWide(rec.szKeyW, kKeyChars, rec.szKey);
                location = static_cast<int32_t>(port);
            } else {
                ReadDriverLocation(rec, port, &location);
            }
        }
        rec.dwLocation = static_cast<uint32_t>(location);
        if (location == -1) {
            CopyNarrow(rec.szKey, kKeyChars, kFailedPortIndex);
            NarrowToWide(rec.szKeyW, kKeyChars, rec.szKey);
        }

        if (!sink) {
            FindFound(rec, identity, findWide, handle, name);
            if (foundLocation) *foundLocation = rec.dwLocation;
            return 1;
        }
        ReportFound(*sink, rec, identity, candidate);
        reported = 1;
    }
    return reported;
}

int EnumerateDriver(const EnumSink& sink, uint32_t mask) {
    auto running = EnumerationLock();
    BeginEnumeration();
    CloseSlotsOfInterface(QV_DEVICE_DRIVER | QV_DEVICE_DRIVER_EX);
    int found = 0;
    for (int kind = 0; kind < 5; ++kind)
        if ((mask & (1u << kind)) && EnumerateDriverKind(kind, &sink, false, nullptr, nullptr, nullptr))
            found |= 1 << kind;
    return found;
}

int FindDriverDevice(bool wide, HANDLE* handle, void* name, uint32_t* location) {
    auto running = EnumerationLock();
    BeginEnumeration();
    bool any = false;
    uint32_t where = 0;
    for (int kind = 0; kind < 5; ++kind) {
        if (EnumerateDriverKind(kind, nullptr, wide, handle, name, &where)) {
            any = true;
            // The narrow form takes the first kind; the wide form goes on, so the
            // last kind with a device wins.
            if (!wide) break;
        }
    }
    if (!any) return 0;
    if (location) *location = where;
    return 1;
}

bool SerialCommand(const DevInfo& rec, uint8_t code, uint8_t reply[5], bool probe) {
    const uint8_t cmd[5] = {code, 0x00, 0x00, 0x00, 0x00};
    return Rs232Exchange(rec, cmd, reply, 0, true, probe) != 0;
}

// Identifies the controller on an open, set-up port. identity gets the answer
// the model name is formed from.
bool ProbeSerial(DevInfo& rec, bool melk, bool probeMode, bool checkNumber, uint8_t identity[5]) {
    uint8_t reply[5] = {};
    if (melk) {
        if (!SerialCommand(rec, 0xF2, identity, probeMode)) return false;
        rec.dwProductId = 9000;
        return true;
    }
    if (!SerialCommand(rec, 0xEE, identity, probeMode)) return false;
    uint8_t ed[5] = {};
    if (!SerialCommand(rec, 0xED, ed, probeMode)) return false;
    if (ed[3] == 0x55 && ed[4] == 0xAA) CopyNarrow(rec.szAltPath, kPathChars, rec.szPath);
    uint32_t number;
    if (SerialCommand(rec, 0xFF, reply, probeMode)) {
        rec.byQVOstraMelk = QV_SERIES_OSTRA;
        number = identity[1] * 256u + identity[2];
        if (checkNumber && number / 1000 != 6) return false;
    } else {
        number = identity[2] * 256u + identity[1];
        if (checkNumber && (number < 500 || number > 2999)) return false;
    }
    rec.dwProductId = number;
    return true;
}

int EnumerateSerial(const EnumSink& sink, bool melk) {
    auto running = EnumerationLock();
    BeginEnumeration();
    auto& be = qvp::backend();
    CloseSlotsOfInterface(QV_DEVICE_RS232);
    std::vector<std::string> ports;
    if (!be.listSerialPorts(&ports)) LogPlatformFailure("serial enumeration");
    if (ports.size() > 16) ports.resize(16);
    if (ports.empty()) return 0;

    for (const auto& path : ports) {
        DevInfo rec = EmptyDevInfo();
        rec.dwSize = kDevInfoSize;
        rec.dwDeviceType = QV_DEVICE_RS232;
        if (melk) rec.byQVOstraMelk = QV_SERIES_MELK;
        CopyNarrow(rec.szPath, kPathChars, path.c_str());
        NarrowToWide(rec.szPathW, kPathChars, rec.szPath);
        DeviceLock candidate(DeviceLock::Slot{SlotOfPath(rec.szPath)});
        rec.hDevice = be.open(path, qvp::DeviceKind::Serial);
        if (rec.hDevice == invalidHandle()) {
            CandidateFailed("serial enumeration");
            continue;
        }
        const uint64_t failures = qvp::failureCount();

        bool found = false;
        const uint32_t* bauds = melk ? kMelkProbeBauds : kProbeBauds;
        const size_t baudCount = melk ? std::size(kMelkProbeBauds) : std::size(kProbeBauds);
        uint8_t identity[5] = {};
        for (size_t b = 0; b < baudCount && !found; ++b) {
            if (!Rs232PortSetup(rec, bauds[b])) break;  // the port is closed now
            rec.byQVOstraMelk = melk ? QV_SERIES_MELK : QV_SERIES_CURRENT;
            rec.szAltPath[0] = 0;
            if (ProbeSerial(rec, melk, true, true, identity)) {
                rec.dwBaudRate = bauds[b];
                found = true;
            } else {
                be.serialPurge(rec.hDevice);
            }
        }
        if (found) {
            rec.dwLocation = PortNumberOfPath(path);
            ReportFound(sink, rec, identity, candidate);
        } else {
            // A port that failed its set-up has said so already.
            if (rec.hDevice != invalidHandle() && qvp::failureCount() != failures) CandidateFailed("serial enumeration");
            if (rec.hDevice != invalidHandle()) {
                be.serialPurge(rec.hDevice);
                be.close(rec.hDevice);
            }
        }
    }
    return 1;
}

// The serial port whose number is port: the first listed port with that
// number, else the first legacy port of that number.
std::string SerialPathOfNumber(uint32_t port) {
    std::vector<std::string> ports;
    qvp::backend().listSerialPorts(&ports);
    for (const auto& p : ports)
        if (PortNumberOfPath(p) == port) return p;
    return "/dev/ttyS" + std::to_string(port);
}

int FindSerial(uint32_t port, uint32_t baud, HANDLE* handle, void* name, bool wide, bool melk) {
    auto running = EnumerationLock();
    BeginEnumeration();
    auto& be = qvp::backend();
    DevInfo rec = EmptyDevInfo();
    rec.dwSize = kDevInfoSize;
    rec.dwDeviceType = QV_DEVICE_RS232;
    if (melk) rec.byQVOstraMelk = QV_SERIES_MELK;
    const std::string path = SerialPathOfNumber(port);
    CopyNarrow(rec.szPath, kPathChars, path.c_str());
    NarrowToWide(rec.szPathW, kPathChars, rec.szPath);
    DeviceLock candidate(DeviceLock::Slot{SlotOfPath(rec.szPath)});
    rec.hDevice = be.open(path, qvp::DeviceKind::Serial);
    if (rec.hDevice == invalidHandle()) {
        CandidateFailed("serial port");
        return 0;
    }
    if (!Rs232PortSetup(rec, baud)) return 0;  // closed by the set-up
    uint8_t identity[5] = {};
    const uint64_t failures = qvp::failureCount();
    if (!ProbeSerial(rec, melk, false, false, identity)) {
        if (qvp::failureCount() != failures) CandidateFailed("serial port");
        be.serialPurge(rec.hDevice);
        be.close(rec.hDevice);
        return 0;
    }
    rec.dwBaudRate = baud;
    rec.dwLocation = port;
    FindFound(rec, identity, wide, handle, name);
    return 1;
}

}  // namespace

uint32_t PortNumberOfPath(const std::string& path) {
    const size_t n = path.size();
    auto digit = [&](size_t i) { return path[i] >= '0' && path[i] <= '9'; };
    if (n >= 2 && digit(n - 1) && digit(n - 2)) return static_cast<uint32_t>((path[n - 2] - '0') * 10 + path[n - 1] - '0');
    if (n >= 1 && digit(n - 1)) return static_cast<uint32_t>(path[n - 1] - '0');
    return 0;
}

}  // namespace qvlib

using namespace qvlib;

extern "C" {

QV_API int EnumerateQVDevicesW(QVEnumCallbackW callback, uint32_t kindMask) { return EnumerateDriver(EnumSink::Of(callback), kindMask); }
QV_API int EnumerateQVDevicesA(QVEnumCallbackA callback, uint32_t kindMask) { return EnumerateDriver(EnumSink::Of(callback), kindMask); }
QV_API int EnumerateQVDevicesExW(QVEnumCallbackExW callback, uint32_t kindMask) { return EnumerateDriver(EnumSink::Of(callback), kindMask); }
QV_API int EnumerateQVDevicesExA(QVEnumCallbackExA callback, uint32_t kindMask) { return EnumerateDriver(EnumSink::Of(callback), kindMask); }
QV_API int FindQVDeviceW(HANDLE* handle, QVWCHAR name[20], uint32_t* location) {
    return FindDriverDevice(true, handle, name, location);
}
QV_API int FindQVDeviceA(HANDLE* handle, char name[20], uint32_t* location) {
    return FindDriverDevice(false, handle, name, location);
}

QV_API int EnumerateRSDevicesW(QVEnumCallbackW callback) { return EnumerateSerial(EnumSink::Of(callback), false); }
QV_API int EnumerateRSDevicesA(QVEnumCallbackA callback) { return EnumerateSerial(EnumSink::Of(callback), false); }
QV_API int EnumerateMelkDevicesW(QVEnumCallbackW callback) { return EnumerateSerial(EnumSink::Of(callback), true); }
QV_API int EnumerateMelkDevicesA(QVEnumCallbackA callback) { return EnumerateSerial(EnumSink::Of(callback), true); }

QV_API int FindRSDeviceW(uint32_t port, uint32_t baud, HANDLE* handle, QVWCHAR name[20]) {
    return FindSerial(port, baud, handle, name, true, false);
}
QV_API int FindRSDeviceA(uint32_t port, uint32_t baud, HANDLE* handle, char name[20]) {
    return FindSerial(port, baud, handle, name, false, false);
}
QV_API int FindMelkDeviceW(uint32_t port, uint32_t baud, HANDLE* handle, QVWCHAR name[20]) {
    return FindSerial(port, baud, handle, name, true, true);
}
QV_API int FindMelkDeviceA(uint32_t port, uint32_t baud, HANDLE* handle, char name[20]) {
    return FindSerial(port, baud, handle, name, false, true);
}

QV_API int RS232PNPTest(HANDLE handle, int* result) {
    int slot;
    {
        DeviceLock lock(handle);
        slot = lock.slot();
        if (slot == kNoSlot || !result) return 0;
        DevInfo& d = g_devInfo[slot];
        if (d.byQVOstraMelk == QV_SERIES_CURRENT || !(d.dwDeviceType & QV_DEVICE_RS232) || !g_slotThread[slot].running)
            return 0;
        BeginPnpTest(slot, d.byQVOstraMelk);
        Rs232PortSetup(d, 1200);  // RTS on
        qvp::sleepMs(100);
        Rs232PortSetup(d, 1201);  // RTS off: the controller sends its plug-and-play identifier
    }
    // The slot's reader reads the port while the test waits, so the lock is free meanwhile.
    const uint8_t matched = WaitPnpResult(slot);
    DeviceLock lock(handle);
    EndPnpTest(slot);
    if (lock.slot() != slot) return 0;  // closed during the test
    DevInfo& d = g_devInfo[slot];
    Rs232PortSetup(d, d.dwBaudRate);
    EnableScanAndWait(handle, 0);
    *result = matched == 1 ? 1 : 0;
    return 1;
}

QV_API int EnumerateQVDevices(QVEnumCallbackA callback, uint32_t kindMask) __attribute__((alias("EnumerateQVDevicesA")));
QV_API int EnumerateQVDevicesEx(QVEnumCallbackExA callback, uint32_t kindMask)
    __attribute__((alias("EnumerateQVDevicesExA")));
QV_API int FindQVDevice(HANDLE* handle, char name[20], uint32_t* location) __attribute__((alias("FindQVDeviceA")));
QV_API int EnumerateRSDevices(QVEnumCallbackA callback) __attribute__((alias("EnumerateRSDevicesA")));
QV_API int EnumerateMelkDevices(QVEnumCallbackA callback) __attribute__((alias("EnumerateMelkDevicesA")));
QV_API int FindRSDevice(uint32_t port, uint32_t baud, HANDLE* handle, char name[20]) __attribute__((alias("FindRSDeviceA")));
QV_API int FindMelkDevice(uint32_t port, uint32_t baud, HANDLE* handle, char name[20])
    __attribute__((alias("FindMelkDeviceA")));

}  // extern "C"
