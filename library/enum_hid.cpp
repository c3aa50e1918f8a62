// USB-HID enumeration: finds the maker's controllers among the present HID
// interfaces, identifies each with two commands, registers it and reports it.
#include "enumeration.h"

#include <cstdio>
#include <cstring>

namespace qvlib {

const char* const kQuorvaneMaker = "Quorvane";

uint32_t LocationFromInstanceId(const std::string& id) {
    // The instance part (after the last '\\'): the digits after its last '&', or
    // all of it when it has none (a serial number).
    size_t slash = id.rfind('\\');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    size_t amp = id.rfind('&');
    if (amp != std::string::npos && amp >= start) start = amp + 1;
    // Read from the end: every character counts as its code minus '0'.
    uint32_t value = 0, place = 1;
    for (size_t i = id.size(); i > start; --i) {
        value += static_cast<uint32_t>(static_cast<unsigned char>(id[i - 1]) - '0') * place;
        place *= 10;
    }
    return value;
}

std::string KeyFromInstanceId(const std::string& id) {
    size_t slash = id.rfind('\\');
    std::string key = slash == std::string::npos ? id : id.substr(slash + 1);
    return key.substr(0, kKeyChars - 1);
}

uint32_t ProductNumberFromId(uint16_t productId) {
    // The product digits of an interface path are hex digits read as a decimal number.
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04x", productId);
    uint32_t n = 0;
    for (const char* p = digits; *p >= '0' && *p <= '9'; ++p) n = n * 10 + static_cast<uint32_t>(*p - '0');
    return n;
}

int SeriesOfProduct(uint32_t product) {
    switch ((product / 1000) % 10) {
    case 3: return QV_SERIES_CURRENT;
    case 6: return QV_SERIES_OSTRA;
    default: return -1;
    }
}

uint16_t ReportFlavour(uint32_t product, int inputReportLength, bool* fromCaps) {
    const bool winPtl = product == 3501 || product == 6020;
    *fromCaps = true;
    if (inputReportLength == 6) return winPtl ? 1 : 0;
    if (inputReportLength == 14) return 0x3508;
    *fromCaps = false;
    if (product == 3508) return 0x3508;
    return winPtl ? 1 : 0;
}

// A record that found no key of its own (serial ports, the 3508 form) is keyed
// by the end of its path: an empty key marks a free slot, so without one every
// such controller would land in the same slot and the last would replace the rest.
static void KeyByPathWhenUnkeyed(DevInfo& rec) {
    if (rec.szKey[0]) return;
    const size_t n = std::strlen(rec.szPath);
    const char* tail = rec.szPath + (n > kKeyChars - 1 ? n - (kKeyChars - 1) : 0);
    CopyNarrow(rec.szKey, kKeyChars, tail);
    NarrowToWide(rec.szKeyW, kKeyChars, rec.szKey);
}

void ReportFound(const EnumSink& sink, DevInfo& rec, const uint8_t identity[5], DeviceLock& candidate) {
    KeyByPathWhenUnkeyed(rec);
    char16_t nameW[kKeyChars] = {};
    char nameA[kKeyChars] = {};
    if (sink.wide) {
        NameAndRegisterDeviceW(rec, identity, nameW);
    } else {
        FormatModelName(rec, identity, nameA);
    }
    candidate.unlock();
    if (sink.w) sink.w(rec.szPathW, nameW, rec.dwLocation);
    if (sink.a) sink.a(rec.szPath, nameA, rec.dwLocation);
    if (sink.exW) sink.exW(rec.szPathW, nameW, rec.szKeyW);
    if (sink.exA) sink.exA(rec.szPath, nameA, rec.szKey);
}

void FindFound(DevInfo& rec, const uint8_t identity[5], bool wide, HANDLE* handle, void* name) {
    KeyByPathWhenUnkeyed(rec);
    if (wide) {
        char16_t n[kKeyChars] = {};
        NameAndRegisterDeviceW(rec, identity, n);
        if (name) CopyWide(static_cast<char16_t*>(name), kKeyChars, n);
    } else {
        char n[kKeyChars] = {};
        FormatModelName(rec, identity, n);
        if (name) CopyNarrow(static_cast<char*>(name), kKeyChars, n);
    }
    if (handle) *handle = rec.hDevice;
}

void CloseSlotsOfInterface(uint32_t mask) {
    for (int i = 0; i < kSlotCount; ++i) {
        // Each slot waits until a conversation with its controller has ended.
        DeviceLock lock(DeviceLock::Slot{i});
        HANDLE h = invalidHandle();
        {
            auto table = TableLock();
            DevInfo& d = g_devInfo[i];
            if (!(d.dwDeviceType & mask) || d.hDevice == invalidHandle()) continue;
            h = d.hDevice;
            d.hDevice = invalidHandle();
        }
        qvp::backend().close(h);
    }
}

void BeginEnumeration() {
    // The reason a caller reads after the run is one of this run's candidates.
    qvp::clearLastError();
}

void CandidateFailed(const char* enumeration) { LogPlatformFailure(enumeration); }

// One routine for the six HID exports: a find mode returns at the first
// controller, a report mode reports every one through the sink.
static int EnumerateHid(const EnumSink* sink, bool findWide, HANDLE* handle, void* name) {
    auto& be = qvp::backend();
    std::vector<qvp::HidInterface> list;
    if (!be.listHidInterfaces(&list)) {
        LogPlatformFailure("HID enumeration");
        return 0;
    }
    LogText("\r[GetHidDevice]\r");

    int reported = 0;
    for (const auto& itf : list) {
        DevInfo rec = EmptyDevInfo();
        rec.dwSize = kDevInfoSize;
        rec.dwDeviceType = QV_DEVICE_HID;

        uint32_t product;
        const bool form3508 = itf.path.find("2e7b3508") != std::string::npos ||
                              itf.path.find("2E7B3508") != std::string::npos ||
                              itf.name.find("2e7b3508") != std::string::npos ||
                              itf.name.find("2E7B3508") != std::string::npos;
        if (form3508) {
            LogText("\r[strstr, 2E7B3508]\r");
            product = 3508;
            rec.dwDeviceType |= QV_DEVICE_HID_3508;
        } else {
            if (itf.vendorId != 0x2E7B) continue;
            product = ProductNumberFromId(itf.productId);
            if (!itf.hasParent || !itf.hasManufacturer) continue;
            if (itf.parentManufacturer.find(kQuorvaneMaker) != std::string::npos) continue;
            rec.dwLocation = LocationFromInstanceId(itf.parentInstanceId);
            std::string key = KeyFromInstanceId(itf.parentInstanceId);
            CopyNarrow(rec.szKey, kKeyChars, key.c_str());
            NarrowToWide(rec.szKeyW, kKeyChars, rec.szKey);
        }

        const int series = SeriesOfProduct(product);
        if (series < 0) continue;
        rec.byQVOstraMelk = static_cast<uint8_t>(series);
        rec.dwProductId = product;
        LogPrintf("\r[devInfo.byQVOstraMelk = %d]\r", series);

        CopyNarrow(rec.szPath, kPathChars, itf.path.c_str());
        DeviceLock candidate(DeviceLock::Slot{SlotOfPath(rec.szPath)});
        rec.hDevice = be.open(itf.path, qvp::DeviceKind::Hid);
        if (rec.hDevice == invalidHandle()) {
            LogText("\r[devInfo.hDevice == INVALID_HANDLE_VALUE]\r");
            CandidateFailed("HID enumeration");
            continue;
        }

        bool fromCaps = false;
        rec.bWin8Ptl = ReportFlavour(product, itf.inputReportLength, &fromCaps);
        LogPrintf(fromCaps ? "\r[HidP_GetCaps : devInfo.bWin8Ptl = %04X]\r"
                           : "\r[REPORT_ID_INVALID : devInfo.bWin8Ptl = %04X]\r",
                  rec.bWin8Ptl);
        NarrowToWide(rec.szPathW, kPathChars, rec.szPath);

        uint8_t reply[5] = {}, ee[5] = {}, ed[5] = {};
        const uint8_t e9[5] = {0xE9, 0x00, 0xAD, 0x00, 0x00};
        const uint8_t cmdEE[5] = {0xEE, 0x00, 0x00, 0x00, 0x00};
        const uint8_t cmdED[5] = {0xED, 0x00, 0x00, 0x00, 0x00};
        HidExchange(rec, e9, reply, 0, true);
        const uint64_t failures = qvp::failureCount();
        if (!HidExchange(rec, cmdEE, ee, 0, true) || !HidExchange(rec, cmdED, ed, 0, true)) {
            LogText("\r[!cmdEE || !cmdED]\r");
            if (qvp::failureCount() != failures) CandidateFailed("HID enumeration");
            be.close(rec.hDevice);
            continue;
        }
        if (ed[3] == 0x55 && ed[4] == 0xAA) {
            // A controller in its boot loader is also known by its alternate path.
            const bool narrowFind = !sink && !findWide;
            if (narrowFind)
                CopyNarrow(rec.szAltPath, kPathChars, rec.szPath);
            else
                CopyWide(rec.szAltPathW, kPathChars, rec.szPathW);
        }

        if (!sink) {
            FindFound(rec, ee, findWide, handle, name);
            return 1;
        }
        ReportFound(*sink, rec, ee, candidate);
        reported = 1;
    }
    return reported;
}

}  // namespace qvlib

using namespace qvlib;

namespace {
int EnumerateHidExport(const EnumSink& sink) {
    auto running = EnumerationLock();
    BeginEnumeration();
    CloseSlotsOfInterface(QV_DEVICE_HID);
    return EnumerateHid(&sink, false, nullptr, nullptr);
}

int FindHidExport(bool wide, HANDLE* handle, void* name) {
    auto running = EnumerationLock();
    BeginEnumeration();
    return EnumerateHid(nullptr, wide, handle, name);
}
}  // namespace

extern "C" {

QV_API int EnumerateHidDevicesW(QVEnumCallbackW callback) { return EnumerateHidExport(EnumSink::Of(callback)); }

QV_API int EnumerateHidDevicesA(QVEnumCallbackA callback) { return EnumerateHidExport(EnumSink::Of(callback)); }

QV_API int EnumerateHidDevicesExW(QVEnumCallbackExW callback) { return EnumerateHidExport(EnumSink::Of(callback)); }

QV_API int EnumerateHidDevicesExA(QVEnumCallbackExA callback) { return EnumerateHidExport(EnumSink::Of(callback)); }

QV_API int FindHidDeviceW(HANDLE* handle, QVWCHAR name[20]) { return FindHidExport(true, handle, name); }
QV_API int FindHidDeviceA(HANDLE* handle, char name[20]) { return FindHidExport(false, handle, name); }

QV_API int EnumerateHidDevices(QVEnumCallbackA callback) __attribute__((alias("EnumerateHidDevicesA")));
QV_API int EnumerateHidDevicesEx(QVEnumCallbackExA callback) __attribute__((alias("EnumerateHidDevicesExA")));
QV_API int FindHidDevice(HANDLE* handle, char name[20]) __attribute__((alias("FindHidDeviceA")));

}  // extern "C"
