#include "core/device_finder.h"

#include "core/program_state.h"
#include "text/ini_file.h"

#include <QCoreApplication>
#include <QFileInfo>


namespace vcx {

namespace {

// The enumeration calls report their devices synchronously, on this thread.
DeviceFinder* g_listing = nullptr;

int EnumDeviceCallback(const QVWCHAR* path, const QVWCHAR* model, const QVWCHAR* key) {
    DeviceFinder* f = g_listing;
    if (!f) return 1;
    ++f->reported;
    if (int(f->list.size()) < DeviceFinder::kMaxDevices)
        f->list.push_back({wideField(path, 259), wideField(model, 19), wideField(key, 19)});
    return 1;
}

std::u16string wide(const QString& s) { return s.toStdU16String(); }

void log(Controller& c, const QString& text) { writeCommandLog(c, wide(text).c_str()); }

bool open(Controller& c, const ListedDevice& d) {
    if (!c.api.OpenDeviceW) return false;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!c.api.OpenDeviceW(wide(d.path).c_str(), &h) || h == INVALID_HANDLE_VALUE) return false;
    c.dev.device = h;
    return true;
}

// Keeps the library's reason when it gives one: a later, empty text (an
// enumeration starts from an empty one) does not hide an earlier candidate's.
void noteFailure(Controller& c, DeviceFinder& f) {
    const QString reason = libraryFailureReason(c);
    if (!reason.isEmpty()) f.failure = reason;
}

void close(Controller& c) {
    if (c.dev.device == INVALID_HANDLE_VALUE) return;
    if (c.api.CloseDevice) c.api.CloseDevice(c.dev.device);
    c.dev.device = INVALID_HANDLE_VALUE;
}

} // namespace

DeviceFinder& deviceFinder() {
    static DeviceFinder f = [] {
        DeviceFinder d;
        d.programFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
        d.enumFU = startupState().options.optEnumFU;
        d.fileArg = &startupState().fileArg;
        return d;
    }();
    return f;
}

bool FindQVDevice(Controller& c, DeviceFinder& f) {
    if (!c.library) return false;
    log(c, QStringLiteral("\rFindQVDevice()\r"));
    close(c);

    f.list.clear();
    f.reported = 0;
    f.failure.clear();
    g_listing = &f;
    if (c.api.EnumerateHidDevicesExW) {
        c.api.EnumerateHidDevicesExW(EnumDeviceCallback);
        noteFailure(c, f);
    }
    if (c.api.EnumerateQVDevicesExW) {
        c.api.EnumerateQVDevicesExW(EnumDeviceCallback, 15);
        noteFailure(c, f);
    }
    g_listing = nullptr;
    programSleep(c, 100);
    if (f.reported > DeviceFinder::kMaxDevices)
        log(c, QStringLiteral("\rFindQVDevice() : %1 controllers found, the first %2 are listed\r")
                   .arg(f.reported)
                   .arg(DeviceFinder::kMaxDevices));

    if (f.list.empty()) {
        c.dev.device = INVALID_HANDLE_VALUE;
        return false;
    }
    const int index = f.enumFU ? OpenEnumUpdateDevice(c, f) : OpenPreferredDevice(c, f);
    if (index < 0) {
        noteFailure(c, f);
        return false;
    }
    uint32_t type = 0;
    if (!c.api.GetDeviceType || !c.api.GetDeviceType(c.dev.device, &type)) {
        noteFailure(c, f);
        return false;
    }
    c.dev.deviceType = type;
    c.dev.modelName = f.list[index].model;
    c.dev.currentKey = f.list[index].key;
    c.dev.rememberedKey.clear();
    return true;
}

QString noControllerLine(const DeviceFinder& f) {
    QString reason = f.failure;
    if (reason.isEmpty())
        reason = f.list.empty() ? QStringLiteral("none found")
                                : QStringLiteral("none of the %1 listed could be opened").arg(f.list.size());
    return QStringLiteral("VCXMSet: no controller: ") + reason;
}

int OpenPreferredDevice(Controller& c, DeviceFinder& f) {
    const int n = int(f.list.size());
    if (!c.dev.rememberedKey.isEmpty()) {
        for (int i = 0; i < n; ++i)
            if (f.list[i].key == c.dev.rememberedKey && open(c, f.list[i])) return i;
        return -1;
    }
    if (n == 1) return open(c, f.list[0]) ? 0 : -1;

    // Pass 1: the series of every device that opens; pass 2: the first current-series one.
    std::vector<int> series(n, -1);
    for (int i = 0; i < n; ++i) {
        if (!open(c, f.list[i])) continue;
        uint8_t s = 0;
        if (c.api.GetQVOstraMelk && c.api.GetQVOstraMelk(c.dev.device, &s)) series[i] = s;
        close(c);
    }
    for (int i = 0; i < n; ++i)
        if (series[i] == QV_SERIES_CURRENT && open(c, f.list[i])) return i;
    return open(c, f.list[0]) ? 0 : -1;
}

int OpenEnumUpdateDevice(Controller& c, DeviceFinder& f) {
    const int n = int(f.list.size());
    if (!f.enumKey.isEmpty()) {
        for (int i = 0; i < n; ++i)
            if (f.list[i].key == f.enumKey && open(c, f.list[i])) return i;
        return -1;
    }
    for (int i = 0; i < n; ++i) {
        if (f.handledKeys.contains(f.list[i].key)) continue;
        if (!open(c, f.list[i])) continue;
        ProgramRecords& r = c.records;
        bool ok = c.api.GetFWVersionW && c.api.GetFWVersionW(c.dev.device, &r.fwVersion) &&
                  c.api.GetFWInformationW && c.api.GetFWInformationW(c.dev.device, &r.fwInformation) &&
                  r.fwVersion.masterInBoot == 0 && c.api.GetAPBTParaList &&
                  c.api.GetAPBTParaList(c.dev.device, &r.paraList);
        if (ok) {
            uint16_t crc[2] = {0, 0};
            CheckParameterCRC(c, crc);
            ok = LookUpEnumUpdate(c, f);
        }
        if (ok) {
            f.enumKey = f.list[i].key;
            if (f.handledKeys.size() < DeviceFinder::kMaxDevices) f.handledKeys.append(f.enumKey);
            return i;
        }
        close(c);
    }
    return -1;
}

QString enumUpdateSection(const FirmwareInformationW& info) {
    QString section = QStringLiteral("QV%1").arg(info.productNumber);
    if (info.productLetter) section += QChar(char16_t(info.productLetter + 64));
    return section.left(19);
}

bool LookUpEnumUpdate(Controller& c, DeviceFinder& f) {
    const QString ini = f.programFolder + QLatin1String(kEnumUpdateIni);
    const QString key = QString::asprintf("x%04X", unsigned(c.dev.parameterCrc));
    const QString value =
        qvui::IniFile::readString(ini, enumUpdateSection(c.records.fwInformation), key).left(259);
    QString chosen;
    if (!value.isEmpty()) {
        const QString plain = f.programFolder + value;
        const QString withExtension = plain + QStringLiteral(".pfp");
        if (QFileInfo(plain).isFile())
            chosen = plain;
        else if (QFileInfo(withExtension).isFile())
            chosen = withExtension;
    }
    if (f.fileArg) *f.fileArg = chosen.left(259);
    return !chosen.isEmpty();
}

int CheckParameterCRC(Controller& c, uint16_t crc[2]) {
    const ParameterList& lists = c.records.paraList;
    uint16_t computed = 0;
    if (c.api.CalculateParameterCRCEx && lists.touchList && lists.bootList) {
        const uint32_t lengths[2] = {lists.touchLength, lists.bootLength};
        const uint8_t* const images[2] = {lists.touchList, lists.bootList};
        // The controller's own reading: mode 1 (touch byte 61 and boot byte 0 count),
        // started from the virtual-key CRC word of the last parameter read.
        c.api.CalculateParameterCRCEx(1, c.dev.virtualKeyCrc, lengths, images, &computed);
    }
    crc[1] = computed;
    uint16_t fromController = 0;
    int result;
    if (c.api.GetParameterCRC && c.api.GetParameterCRC(c.dev.device, &fromController)) {
        crc[0] = fromController;
        result = fromController == computed ? 1 : 2;
    } else {
        crc[0] = computed;
        result = 0;
    }
    c.dev.parameterCrc = crc[0];
    c.dev.computedCrc = crc[1];
    return result;
}

} // namespace vcx
