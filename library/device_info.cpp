// What a controller says about itself: version texts of every IC, the firmware
// information record, feature and state flags, panel-size and cover-lens texts.
#include "internal.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

static_assert(sizeof(FirmwareVersionInfoW) == 524, "FirmwareVersionInfoW is 524 bytes");
static_assert(sizeof(FirmwareVersionInfoA) == 276, "FirmwareVersionInfoA is 276 bytes");
static_assert(offsetof(FirmwareVersionInfoW, masterInBoot) == 500 &&
                  offsetof(FirmwareVersionInfoW, slaveCount) == 520,
              "FirmwareVersionInfoW keeps its flags after the five texts");
static_assert(offsetof(FirmwareVersionInfoA, masterInBoot) == 252 &&
                  offsetof(FirmwareVersionInfoA, slaveCount) == 272,
              "FirmwareVersionInfoA keeps its flags after the texts and 2 reserved bytes");

static_assert(sizeof(FirmwareInformationW) == 208, "FirmwareInformationW is 208 bytes");
static_assert(offsetof(FirmwareInformationW, bootStateA) == 10 && offsetof(FirmwareInformationW, bootMinor) == 16 &&
                  offsetof(FirmwareInformationW, panelSize) == 18 && offsetof(FirmwareInformationW, coverLens) == 98 &&
                  offsetof(FirmwareInformationW, bootLetter) == 178 && offsetof(FirmwareInformationW, icByte2) == 180 &&
                  offsetof(FirmwareInformationW, controllerWord) == 184 &&
                  offsetof(FirmwareInformationW, info4Byte1) == 204 && offsetof(FirmwareInformationW, info4Word) == 206,
              "FirmwareInformationW: the 184-byte base, the words up to 204 and word 4 up to 208");
static_assert(sizeof(FirmwareInformationA) == 124, "FirmwareInformationA is 124 bytes");
static_assert(offsetof(FirmwareInformationA, panelSize) == 17 && offsetof(FirmwareInformationA, coverLens) == 57 &&
                  offsetof(FirmwareInformationA, bootLetter) == 97 && offsetof(FirmwareInformationA, icByte2) == 99 &&
                  offsetof(FirmwareInformationA, controllerWord) == 100 &&
                  offsetof(FirmwareInformationA, info4Byte1) == 120 && offsetof(FirmwareInformationA, info4Word) == 122,
              "FirmwareInformationA: the 100-byte base, the words up to 120 and word 4 up to 124");

static_assert(sizeof(StateFlagEx) == 12 && offsetof(StateFlagEx, flag) == 4 && offsetof(StateFlagEx, status) == 6 &&
                  offsetof(StateFlagEx, status2) == 8 && offsetof(StateFlagEx, diagnostic) == 10,
              "StateFlagEx is a size and four words");

namespace qvlib {
namespace {

constexpr size_t kVersionChars = 50;
constexpr size_t kInfoTextChars = 40;
constexpr int kMaxSlaves = 4;
constexpr uint8_t kSelectorSlave0 = 0xF0;
// The slave- and master-select packets of the version read carry this in byte 3.
constexpr uint8_t kSelectByte3 = 0x00;

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
    char buf[128];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return n < 0 ? std::string() : std::string(buf);
}

// Texts are bytes; the wide forms carry each byte as one code unit.
template <typename Char>
void StoreText(Char* dst, size_t cap, const std::string& text) {
    size_t n = 0;
    for (; n + 1 < cap && n < text.size(); ++n) dst[n] = static_cast<Char>(static_cast<unsigned char>(text[n]));
    dst[n] = 0;
}

// ---- version texts ---------------------------------------------------------------

std::string LetterText(uint8_t code) { return code ? std::string(1, static_cast<char>(code + 0x40)) : std::string(); }

std::string CustomerPrefix(uint8_t code) {
    if (code == 0) return "";
    if (code < 200) return Format("D%02d.", code);
    if (code < 250) return Format("A%02d.", code - 199);
    if (code == 250) return "T.";
    return Format("T%d.", code - 250);
}

// "Boot : major.minor letter" from the customer bytes; empty without a boot version.
std::string BootText(const uint8_t customerBytes[4]) {
    if (customerBytes[0] == 0 && customerBytes[2] == 0) return "";
    return Format("Boot : %d.%d %s", customerBytes[0], customerBytes[2], LetterText(customerBytes[1]).c_str());
}

// The boot loader runs when the boot state bytes 3 and 4 of the answer are 55 AA;
// Ostra controllers send those two bytes as state B, state A.
bool RunsBootLoader(uint8_t series, uint8_t stateA, uint8_t stateB) {
    if (series == QV_SERIES_MELK) return false;
    if (series == QV_SERIES_OSTRA) return stateB == 0x55 && stateA == 0xAA;
    return stateA == 0x55 && stateB == 0xAA;
}

// One IC as its version queries describe it.
struct IcVersion {
    uint16_t number = 0;
    uint8_t letter = 0, major = 0;
    uint8_t minor = 0, customer = 0, stateA = 0, stateB = 0;
    uint8_t customerBytes[4] = {};
};

// "QV6020A.D05.2.7.3.4   Boot : 1.3 B"; kind is "" for the master, "S" for a slave.
std::string VersionText(const IcVersion& v, const char* kind, bool inBoot) {
    const std::string letter = LetterText(v.letter) + kind;
    const std::string prefix = CustomerPrefix(v.customer);
    if (inBoot) return Format("QV%d%s.%s%d.%d%s", v.number, letter.c_str(), prefix.c_str(), v.major, v.minor,
                              *kind ? "" : " (Boot)");
    const std::string boot = BootText(v.customerBytes);
    if (v.stateB)
        return Format("QV%d%s.%s%d.%d.%d.%d   %s", v.number, letter.c_str(), prefix.c_str(), v.major, v.minor,
                      v.stateA, v.stateB, boot.c_str());
    return Format("QV%d%s.%s%d.%d.%d   %s", v.number, letter.c_str(), prefix.c_str(), v.major, v.minor, v.stateA,
                  boot.c_str());
}

struct Versions {
    std::string text[1 + kMaxSlaves];
    int32_t masterInBoot = 0;
    int32_t slaveInBoot[kMaxSlaves] = {};
    int32_t slaveCount = 0;
};

// Whether the master can reach its slaves: bit 15 of the state-ex word, or bit 23
// of the state word when the controller has no state-ex word.
bool SlavesReachable(HANDLE h) {
    uint32_t word = 0;
    if (ReadRegisterCount(h, 0xFF, 0x00, &word)) return word & 0x8000;
    if (ReadRegisterWord(h, 0x00, 0xF0, &word)) return word & 0x800000;
    return false;
}

// Reads every IC's version into v. The master's texts need its boot state, its
// identity and its customer bytes; slaves are queried through the master with the
// selector 0xF0 + k after being selected (unless they share the master's chip), with
// scanning stopped or in diagnostic mode, both undone at the end.
int ReadVersions(HANDLE h, const DevInfo& d, Versions* v) {
    const uint8_t series = d.byQVOstraMelk;
    IcVersion master;
    if (!ReadBootState(h, 0, &master.minor, &master.customer, &master.stateA, &master.stateB)) return 0;
    const bool masterInBoot = RunsBootLoader(series, master.stateA, master.stateB);
    v->masterInBoot = masterInBoot ? 1 : 0;

    uint8_t ic[4] = {};
    if (!ReadIcCount(h, ic)) return 0;
    // The count includes the master; the record has room for four slaves.
    const int slaves = ic[0] > 1 ? (ic[0] - 1 > kMaxSlaves ? kMaxSlaves : ic[0] - 1) : 0;
    v->slaveCount = slaves;

    const uint8_t generation = d.diag.capability[3];
    const bool readSlaves = !masterInBoot && slaves > 0 && SlavesReachable(h);
    bool shared = false;
    bool modeChanged = false;
    bool slaveSelected = false;
    uint8_t reply[5] = {};

    // Everything after the mode change ends here, so a failed query never leaves
    // the controller on a slave, with scanning stopped or in diagnostic mode.
    auto finish = [&](int result) {
        if (slaveSelected) SelectSlave(h, 0xAA, kSelectByte3, 0x00);
        LogText("\r GetFWVer : EnterDiagnosticMode(FALSE)\r");
        if (modeChanged) {
            if (generation < 29)
                EnableScanAndWait(h, 0);
            else
                Command(h, 0xF9, 0xFF, 0x90, 0x00, 0x00, reply);
        }
        return result;
    };

    if (readSlaves) {
        uint16_t number = 0;
        if (!ReadIdentity(h, kSelectorSlave0, &number, nullptr, nullptr)) return 0;
        if (number == 0xAA55) {
            // One chip with several cores: their customer bytes agree.
            uint8_t own[4] = {}, other[4] = {};
            if (!ReadCustomerBytes(h, 0, own) || !ReadCustomerBytes(h, kSelectorSlave0, other)) return 0;
            shared = own[1] == other[1];
        }
        if (!shared) {
            if (generation < 29) {
                if (!Command(h, 0xE0, 0x00, 0xF0, 0x00, 0x00, reply)) return 0;
                if (reply[4] & 0x01) {
                    if (!Command(h, 0xF0, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
                    modeChanged = true;
                    qvp::sleepMs(50);
                }
            } else {
                if (!Command(h, 0xE0, 0x00, 0xFF, 0x00, 0x01, reply)) return 0;
                LogText("\r GetFWVer : EnterDiagnosticMode(TRUE)\r");
                if (!(reply[2] & 0x80)) {
                    if (series != QV_SERIES_CURRENT) return 0;
                    if (!Command(h, 0xF9, 0xFF, 0x90, 0x00, 0x01, reply)) return 0;
                    modeChanged = true;
                }
            }
        }
    }

    if (!ReadIdentity(h, 0, &master.number, &master.letter, &master.major)) return finish(0);
    if (masterInBoot) {
        v->text[0] = VersionText(master, "", true);
        return 1;
    }
    if (series == QV_SERIES_MELK) {
        // Melk: major, minor and the high nibble of the boot byte, all in hex.
        v->text[0] = Format("QV%d.%X%X.%X", master.number, master.major, master.minor, master.stateA >> 4);
    } else {
        if (!ReadCustomerBytes(h, 0, master.customerBytes)) return finish(0);
        v->text[0] = VersionText(master, "", false);
    }

    for (int k = 0; readSlaves && k < slaves; ++k) {
        const uint8_t selector = static_cast<uint8_t>(kSelectorSlave0 + k);
        if (!shared) {
            if (!SelectSlave(h, static_cast<uint8_t>(k), kSelectByte3, 0x01)) return finish(0);
            slaveSelected = true;
        }
        IcVersion s;
        if (!ReadBootState(h, selector, &s.minor, &s.customer, &s.stateA, &s.stateB)) return finish(0);
        if (!ReadIdentity(h, selector, &s.number, &s.letter, &s.major)) return finish(0);
        if (!ReadCustomerBytes(h, selector, s.customerBytes)) return finish(0);
        const bool inBoot = RunsBootLoader(series, s.stateA, s.stateB);
        v->slaveInBoot[k] = inBoot ? 1 : 0;
        s.number = shared ? master.number : static_cast<uint16_t>(s.number & 0x7FFF);
        v->text[1 + k] = VersionText(s, "S", inBoot);
    }
    return finish(1);
}

template <typename Record>
int GetFWVersionInto(HANDLE h, Record* info) {
    DeviceLock lock(h);
    DevInfo* d = lock.record();
    if (!d || !info) return 0;
    Versions v;
    const DevInfo slot = *d;
    int ok = ReadVersions(h, slot, &v);
    StoreText(info->master, kVersionChars, v.text[0]);
    for (int k = 0; k < kMaxSlaves; ++k) {
        StoreText(info->slave[k], kVersionChars, v.text[1 + k]);
        info->slaveInBoot[k] = v.slaveInBoot[k];
    }
    info->masterInBoot = v.masterInBoot;
    info->slaveCount = v.slaveCount;
    return ok;
}

// ---- firmware information -------------------------------------------------------

template <typename Record>
struct InfoSizes;
template <>
struct InfoSizes<FirmwareInformationW> {
    static constexpr uint32_t basic = 184, words = 204, full = 208;
};
template <>
struct InfoSizes<FirmwareInformationA> {
    static constexpr uint32_t basic = 100, words = 120, full = 124;
};

// The interface bits (step by step as the controller generations report them).
// *done: the information ends here with result 1.
template <typename Record>
int ReadInterfaceBits(HANDLE h, const DevInfo& d, const uint8_t ic[4], Record& r, bool* done) {
    uint8_t reply[5] = {};
    const uint8_t icFlags = ic[1];
    if (d.dwParaVersion != 0 && Command(h, 0xF6, 0x01, 0x01, 0x00, 0x00, reply) && !ItemRefused(reply)) {
        uint8_t bits = reply[4];
        if ((reply[3] & 0x01) && (icFlags & 0x80)) bits |= 0x08;
        if ((reply[3] & 0x02) && (icFlags & 0x40)) bits |= 0x04;
        r.interfaceBits = bits;
        return 1;
    }
    if (d.byQVOstraMelk != QV_SERIES_CURRENT) {
        r.interfaceBits = (d.dwDeviceType & (QV_DEVICE_HID | QV_DEVICE_DRIVER)) ? 0 : 1;
        *done = true;
        return 1;
    }
    const bool inBoot = r.bootStateA == 0x55 && r.bootStateB == 0xAA;
    if (Command(h, 0xE0, 0x00, 0xF0, 0x00, 0x00, reply)) {
        uint8_t bits = (reply[3] >> 4) & 0x03;
        if (!Command(h, 0xE0, 0x00, inBoot ? 0x00 : 0x40, 0x00, 0x00, reply)) return 0;
        if ((reply[4] & 0x80) && (icFlags & 0x80)) bits |= 0x08;
        if ((reply[4] & 0x40) && (icFlags & 0x40)) bits |= 0x04;
        r.interfaceBits = bits;
        *done = inBoot;
        return 1;
    }
    if (inBoot) {
        if (!Command(h, 0xE0, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
        r.interfaceBits = (reply[4] >> 4) & 0x03;
        *done = true;
        return 1;
    }
    if ((r.productNumber / 100) % 10 == 0) {
        r.interfaceBits = 0;
        *done = true;
        return 1;
    }
    if (!Command(h, 0xE0, 0x00, 0x40, 0x00, 0x00, reply)) return 0;
    r.interfaceBits = (reply[4] >> 4) & 0x03;
    return 1;
}

template <typename Record>
int ReadFirmwareInformation(HANDLE h, const DevInfo& d, uint32_t size, Record& r) {
    using Sizes = InfoSizes<Record>;
    uint8_t reply[5] = {};
    uint8_t letter = 0, major = 0;
    if (!ReadIdentity(h, 0, &r.productNumber, &letter, &major)) return 0;
    r.productLetter = letter;
    r.firmwareMajor = major;
    uint8_t customer = 0;
    if (!ReadBootState(h, 0, &r.minorVersion, &customer, &r.bootStateA, &r.bootStateB)) return 0;
    r.customerCode = customer;

    if (r.bootStateA == 0x55 && r.bootStateB == 0xAA) {
        // The boot loader reports itself in the identity and state fields.
        r.bootMajor = major;
        r.bootMinor = customer;
        r.bootLetter = letter;
    } else {
        uint8_t cb[4] = {};
        if (!ReadCustomerBytes(h, 0, cb)) return 0;
        r.bootMajor = cb[0];
        r.bootLetter = cb[1];
        r.bootMinor = cb[2];
    }

    uint8_t ic[4] = {};
    if (!ReadIcCount(h, ic)) return 0;
    r.icByte = (ic[2] >> 4) == 0x0F ? 0 : static_cast<uint8_t>(ic[2] >> 4);

    bool done = false;
    if (!ReadInterfaceBits(h, d, ic, r, &done)) return 0;
    if (done) return 1;

    uint8_t sizeIndex = 0, lensIndex = 0;
    bool fromItems = false;
    if (d.dwParaVersion != 0) {
        uint8_t second[5] = {};
        fromItems = Command(h, 0xF6, 0x02, 0x10, 0x00, 0x00, reply) && !ItemRefused(reply) &&
                    Command(h, 0xF6, 0x02, 0x11, 0x00, 0x00, second) && !ItemRefused(second);
        if (fromItems) sizeIndex = reply[4], lensIndex = second[4];
    }
    if (!fromItems) {
        if (!Command(h, 0xE0, 0x00, 0x3A, 0x00, 0x00, reply)) return 0;
        sizeIndex = reply[4];
        if (!Command(h, 0xE0, 0x00, 0x3B, 0x00, 0x00, reply)) return 0;
        lensIndex = reply[4];
    }
    std::string text;
    if (!ReadPanelSizeText(h, sizeIndex, &text)) return 0;
    StoreText(r.panelSize, kInfoTextChars, text);
    if (!ReadCoverLensText(h, lensIndex, &text)) return 0;
    StoreText(r.coverLens, kInfoTextChars, text);

    if (size >= Sizes::words) {
        std::memset(r.controllerWord, 0, sizeof r.controllerWord);
        uint32_t word = 0;
        if (ReadRegisterCount(h, 0xED, 0x00, &word)) {
            r.controllerWord[0] = word;
            // One word per further IC, at most four of them.
            for (int i = 1; i < ic[0] && i < 5; ++i)
                if (ReadRegisterCount(h, 0xED, static_cast<uint8_t>(i), &word)) r.controllerWord[i] = word;
        }
    }
    if (size >= Sizes::full) {
        r.info4Byte1 = r.info4Byte2 = 0;
        r.info4Word = 0;
        r.icByte2 = 0;
        // Information words exist from boot loader 55 on (33 on bridged controllers).
        if (d.byBootVersion >= (d.bBridgeSame ? 33 : 55)) {
            uint32_t w4 = 0, w2 = 0;
            if (!ReadFWInfoWord(h, 4, &w4)) return 0;
            r.info4Byte1 = static_cast<uint8_t>(w4);
            r.info4Byte2 = static_cast<uint8_t>(w4 >> 8);
            r.info4Word = static_cast<uint16_t>(w4 >> 16);
            if (!ReadFWInfoWord(h, 2, &w2)) return 0;
            r.icByte = static_cast<uint8_t>(w2);
            r.icByte2 = static_cast<uint8_t>(w2 >> 8);
        }
    }
    return 1;
}

template <typename Record>
int GetFWInformationInto(HANDLE h, Record* info) {
    using Sizes = InfoSizes<Record>;
    if (!info) return 0;
    uint32_t size = 0;
    std::memcpy(&size, info, sizeof size);
    if (size != Sizes::basic && size != Sizes::words && size != Sizes::full) return 0;
    DeviceLock lock(h);
    DevInfo* d = lock.record();
    if (!d) return 0;
    const DevInfo slot = *d;
    // Filled in a full record and handed back up to the caller's size, so a
    // shorter record is never written past its end.
    Record r;
    std::memset(&r, 0, sizeof r);
    std::memcpy(&r, info, size);
    std::memset(r.panelSize, 0, sizeof r.panelSize);
    std::memset(r.coverLens, 0, sizeof r.coverLens);
    int ok = ReadFirmwareInformation(h, slot, size, r);
    std::memcpy(info, &r, size);
    return ok;
}

// ---- state flags ---------------------------------------------------------------------

int ReadStateFlags(HANDLE h, uint8_t flags[4]) {
    uint8_t reply[5] = {};
    if (!Command(h, 0xE0, 0x00, 0xF0, 0x00, 0x00, reply)) return 0;
    flags[0] = reply[4];
    flags[1] = reply[3];
    if (Command(h, 0xE0, 0x00, 0xF1, 0x00, 0x00, reply)) {
        flags[2] = reply[4];
        flags[3] = reply[3];
    } else {
        flags[2] = flags[3] = 0;
    }
    return 1;
}

bool CurrentSeries(const DevInfo* d) { return d && d->byQVOstraMelk == QV_SERIES_CURRENT; }

template <typename Char>
int PanelSizeInto(HANDLE h, uint8_t index, Char* text) {
    DeviceLock lock(h);
    std::string s;
    if (!text || !ReadPanelSizeText(h, index, &s)) return 0;
    StoreText(text, kInfoTextChars, s);
    return 1;
}

template <typename Char>
int CoverLensInto(HANDLE h, uint8_t index, Char* text) {
    DeviceLock lock(h);
    std::string s;
    if (!text || !ReadCoverLensText(h, index, &s)) return 0;
    StoreText(text, kInfoTextChars, s);
    return 1;
}

}  // namespace

int ReadPanelSizeText(HANDLE h, uint8_t index, std::string* text) {
    DeviceLock lock(h);
    if (!CurrentSeries(lock.record())) return 0;
    uint32_t name0 = 0, name1 = 0, size = 0;
    if (!ReadPanelText(h, 0x01, index, 0x00, &name0) || !ReadPanelText(h, 0x01, index, 0x01, &name1) ||
        !ReadPanelText(h, 0x01, index, 0x02, &size))
        return 0;
    char name[8];
    for (int i = 0; i < 4; ++i) {
        name[i] = static_cast<char>(name0 >> (8 * i));
        name[4 + i] = static_cast<char>(name1 >> (8 * i));
    }
    for (char& c : name)
        if (c == 0) c = ' ';
    const uint8_t inches = static_cast<uint8_t>(size), flags = static_cast<uint8_t>(size >> 8);
    std::string s = Format("%c%c%c%c%c%c%c%c %X.%X\"", name[0], name[1], name[2], name[3], name[4], name[5], name[6],
                           name[7], inches, flags >> 4);
    if (flags & 0x01) s += " (W)";
    if (flags & 0x08) s += " ";
    *text = s.substr(0, kInfoTextChars - 1);
    return 1;
}

int ReadCoverLensText(HANDLE h, uint8_t index, std::string* text) {
    DeviceLock lock(h);
    if (!CurrentSeries(lock.record())) return 0;
    uint8_t reply[5] = {};
    if (!Command(h, 0xE3, 0x02, index, 0x00, 0x00, reply)) return 0;
    const uint8_t from = reply[1], to = reply[2], material = reply[3];
    const char* suffix = reply[4] ? " " : "";
    std::string s;
    if (material == 'A' || material == 'a') {
        s = Format("Film%s", suffix);
    } else {
        const char* name = (material == 'G' || material == 'g')   ? "Glass"
                           : (material == 'P' || material == 'p') ? "Polymer"
                                                                  : "";
        if (to == 0xFF)
            s = Format("%d.%d mm %s%s", from >> 4, from & 0x0F, name, suffix);
        else
            s = Format("%d.%d ~ %d.%d mm %s%s", from >> 4, from & 0x0F, to >> 4, to & 0x0F, name, suffix);
    }
    *text = s.substr(0, kInfoTextChars - 1);
    return 1;
}

}  // namespace qvlib

using namespace qvlib;

extern "C" {

QV_API int GetLibraryVersion(int* major, int* minor, int* build, int* revision) {
    if (major) *major = 1;
    if (minor) *minor = 3;
    if (build) *build = 0;
    if (revision) *revision = 11;
    return 1;
}

QV_API int GetFeatureSwitch(void) { return 0; }

QV_API int GetFWVersionW(HANDLE handle, FirmwareVersionInfoW* info) { return GetFWVersionInto(handle, info); }
QV_API int GetFWVersionA(HANDLE handle, FirmwareVersionInfoA* info) { return GetFWVersionInto(handle, info); }
QV_API int GetFWVersion(HANDLE handle, FirmwareVersionInfoA* info) __attribute__((alias("GetFWVersionA")));

QV_API int GetFWInformationW(HANDLE handle, FirmwareInformationW* info) { return GetFWInformationInto(handle, info); }
QV_API int GetFWInformationA(HANDLE handle, FirmwareInformationA* info) { return GetFWInformationInto(handle, info); }
QV_API int GetFWInformation(HANDLE handle, FirmwareInformationA* info) __attribute__((alias("GetFWInformationA")));

QV_API int GetFeatureFlag(HANDLE handle, uint8_t flags[8]) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !flags) return 0;
    std::memcpy(flags, d->byFeature, sizeof d->byFeature);
    return 1;
}

QV_API int GetBridgeFeatureFlag(HANDLE handle, uint8_t flags[8]) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !flags) return 0;
    std::memcpy(flags, d->byBridgeFeature, sizeof d->byBridgeFeature);
    return 1;
}

QV_API int GetStateFlag(HANDLE handle, uint8_t flags[4]) {
    DeviceLock lock(handle);
    if (!flags || !CurrentSeries(lock.record())) return 0;
    return ReadStateFlags(handle, flags);
}

QV_API int GetStateFlagEx(HANDLE handle, StateFlagEx* state) {
    DeviceLock lock(handle);
    if (!state || !CurrentSeries(lock.record())) return 0;
    uint8_t reply[5] = {};
    if (Command(handle, 0xE0, 0x00, 0xFF, 0x00, 0x00, reply)) {
        state->status = static_cast<uint16_t>(reply[1] << 8 | reply[2]);
        state->flag = static_cast<uint16_t>(reply[3] << 8 | reply[4]);
        if (!Command(handle, 0xE0, 0x00, 0xFF, 0x00, 0x01, reply)) return 0;
        state->diagnostic = static_cast<uint16_t>(reply[1] << 8 | reply[2]);
        state->status2 = static_cast<uint16_t>(reply[3] << 8 | reply[4]);
        return 1;
    }
    // Controllers without the extended words: the plain state bytes.
    uint8_t flags[4] = {};
    if (!ReadStateFlags(handle, flags)) return 0;
    state->flag = flags[0];
    state->status = flags[1];
    state->status2 = flags[2];
    state->diagnostic = flags[3];
    return 1;
}

QV_API int GetPanelSizeInfoW(HANDLE handle, uint8_t index, QVWCHAR text[40]) {
    return PanelSizeInto(handle, index, text);
}
QV_API int GetPanelSizeInfoA(HANDLE handle, uint8_t index, char text[40]) { return PanelSizeInto(handle, index, text); }
QV_API int GetPanelSizeInfo(HANDLE handle, uint8_t index, char text[40]) __attribute__((alias("GetPanelSizeInfoA")));

QV_API int GetCoverLensInfoW(HANDLE handle, uint8_t index, QVWCHAR text[40]) {
    return CoverLensInto(handle, index, text);
}
QV_API int GetCoverLensInfoA(HANDLE handle, uint8_t index, char text[40]) { return CoverLensInto(handle, index, text); }
QV_API int GetCoverLensInfo(HANDLE handle, uint8_t index, char text[40]) __attribute__((alias("GetCoverLensInfoA")));

}  // extern "C"
