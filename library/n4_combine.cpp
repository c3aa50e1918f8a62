// Package combining: a controller's firmware file joined with what the
// controller holds (its parameter lists, their CRC and its virtual-key table)
// into a .pfp package beside the file, so that a production line programs
// firmware and parameters in one step.
//
// The controller is reached through the N4 send callbacks for the combiner's
// own queries and through the library's exports (firmware information,
// parameter lists, parameter CRC) for the rest. The package is written to a
// temporary file under a name reserved with an exclusive create, and takes
// that name only when it is complete: a failure leaves no package behind.
#include "n4_file.h"
#include "n4_internal.h"

#include "format/firmware_format.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace qvlib::n4 {
namespace {

// Result codes of the combiner.
constexpr int kCombined = 1;
constexpr int kNoCallback = 0xFF00;
constexpr int kFileUnreadable = 0xFF01;
constexpr int kNoFirmwareInfo = 0xFF02;
constexpr int kNoLists = 0xFF03;
constexpr int kNoCrc = 0xFF04;
constexpr int kNotCreated = 0xFF05;
constexpr int kNotReread = 0xFF06;
constexpr int kSlaveQuery = 0xF000;
constexpr int kConfigNeedsChips = 0xF001;
constexpr int kChipsNeedConfig = 0xF002;
constexpr int kInBootLoader = 0xF003;
constexpr int kIdentityDiffers = 0xF004;
constexpr int kOldHeaderWithBuild = 0xF005;
constexpr int kBuildDiffers = 0xF006;

constexpr uint8_t kStatusUnreadable = 255;
// The virtual-key table goes into the package from this parameter version on (above it).
constexpr uint32_t kVkeyParaVersion = 138;
// Diagnostic mode instead of scan off from this scan generation on.
constexpr uint8_t kDiagGeneration = 29;
constexpr int kNumberedNames = 9999;
constexpr size_t kCopyChunk = 0x8000;

// The controller as the combiner's own commands reach it: the installed send callback.
class Link {
public:
    Link(HANDLE h, QVN4SendCmdCallBack send) : h_(h), send_(send) {}
    // Answered with the command's code (a refusal or silence is false).
    bool ask(uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint8_t reply[5]) {
        const uint8_t cmd[5] = {c0, c1, c2, c3, c4};
        std::memset(reply, 0, 5);
        return send_(h_, cmd, reply) && reply[0] == c0;
    }

private:
    HANDLE h_;
    QVN4SendCmdCallBack send_;
};

// The controller's firmware name: "%d%s_%s%d_%d_%d" (product, letter, customer
// prefix with '_', major, minor, first build number) and "_%d" with the second
// build number when it is not 0.
std::string FirmwareName(const FirmwareInformationA& info) {
    char letter[2] = {info.productLetter ? char(info.productLetter + 0x40) : '\0', '\0'};
    const std::string prefix = qvfmt::CustomerPrefix(info.customerCode, '_');
    char name[96];
    int n = std::snprintf(name, sizeof name, "%d%s_%s%d_%d_%d", int(info.productNumber), letter, prefix.c_str(),
                          int(info.firmwareMajor), int(info.minorVersion), int(info.bootStateA));
    if (info.bootStateB && n > 0 && size_t(n) < sizeof name)
        std::snprintf(name + n, sizeof name - size_t(n), "_%d", int(info.bootStateB));
    return name;
}

// The folder of a path: everything before its last '/', "." for a bare name
// ("/" for a file in the root).
std::string FolderOf(const std::string& path) {
    const size_t cut = path.rfind('/');
    if (cut == std::string::npos) return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
}

// The first image against the controller: chip count, boot loader, identity
// and build numbers. 1 when they fit, else the compatibility code.
int CheckCompatibility(Link& link, const FirmwareFileReader& file, const FirmwareInformationA& info) {
    uint8_t reply[5];
    if (!link.ask(0xEF, 0, 0, 0, 0, reply)) return kSlaveQuery;
    const bool config = file.KindFlags() & qvfmt::kKindConfigImage;
    if (config && reply[1] < 2) return kConfigNeedsChips;
    if (!config && reply[1] > 1) return kChipsNeedConfig;
    if (info.bootStateA == 0x55 && info.bootStateB == 0xAA) return kInBootLoader;
    const uint8_t* h = file.FirstHeader();
    const qvfmt::ImageInfo image = qvfmt::DecodeHeader(h);
    if ((image.productNumber & 0x7FFF) != (info.productNumber & 0x7FFF) || h[7] != info.productLetter ||
        h[6] != info.firmwareMajor || h[12] != info.minorVersion || h[13] != info.customerCode)
        return kIdentityDiffers;
    if (h[14] < 16) {
        if (info.bootStateA || info.bootStateB) return kOldHeaderWithBuild;
    } else if (h[18] != info.bootStateA || h[19] != info.bootStateB) {
        return kBuildDiffers;
    }
    return kCombined;
}

// The controller's virtual-key table, when it has the virtual-button group
// (bit 15 of the general group's presence mask) and the table reads.
std::optional<qvfmt::VKeyTable> ReadKeyTable(Link& link, HANDLE h, const DevInfo& rec) {
    if (rec.dwParaVersion == 0) return std::nullopt;
    uint8_t reply[5];
    if (!link.ask(0xF6, 0x00, 0x00, 0x00, 0x00, reply) || ItemRefused(reply)) return std::nullopt;
    const uint16_t groups = uint16_t(reply[3] | reply[4] << 8);
    if (!(groups & 0x8000)) return std::nullopt;
    VButtonTable table{};
    if (QuorvaneN4_VKeyRead(h, &table) != 1) return std::nullopt;
    table.crc = VirtualKeyCrc(table);
    qvfmt::VKeyTable out;
    std::memcpy(out.entry, table.entry, sizeof out.entry);
    out.entrySize = table.entrySize;
    out.usedCount = table.usedCount;
    out.crc = table.crc;
    if (!qvfmt::VkeyTableFits(out)) return std::nullopt;
    return out;
}

// What the configuration section header takes from the first slave.
struct SlaveFacts {
    uint8_t build1 = 0, build2 = 0;
    uint8_t chips = 0;
};

// Scanning stopped (or diagnostic mode on), the first slave selected and asked
// for its build numbers and chip count, the master selected again and scanning
// restored. nullopt when the slave could not be asked.
std::optional<SlaveFacts> QuerySlave(Link& link) {
    uint8_t reply[5];
    const uint8_t generation = link.ask(0xF9, 0xFF, 0x00, 0x00, 0x00, reply) ? reply[4] : 0;
    const bool diag = generation >= kDiagGeneration;
    const bool quiet = diag ? link.ask(0xF9, 0xFF, 0x90, 0x00, 0x01, reply) : link.ask(0xF0, 0, 0, 0, 0, reply);
    bool selected = false;
    for (int t = 0; quiet && t < 10 && !selected; ++t) {
        if (t) qvp::sleepMs(50);
        selected = link.ask(0xF4, 0x00, 0x00, 0x00, 0x01, reply);
    }
    std::optional<SlaveFacts> facts;
    if (selected) {
        SlaveFacts f;
        bool ok = link.ask(0xED, 0x00, 0xF0, 0x00, 0x00, reply);
        f.build1 = reply[3];
        f.build2 = reply[4];
        ok = ok && link.ask(0xEF, 0x00, 0x00, 0x00, 0x00, reply);
        f.chips = reply[3] > 239 ? 0 : uint8_t(reply[3] >> 4);
        if (ok) facts = f;
        link.ask(0xF4, 0x00, 0x00, 0x00, 0x00, reply);
    }
    if (quiet) diag ? link.ask(0xF9, 0xFF, 0x90, 0x00, 0x00, reply) : link.ask(0xF1, 0, 0, 0, 0, reply);
    return facts;
}

// The package being written: the name reserved with an exclusive create, the
// bytes going to a temporary file beside it. Unless committed, both go away.
class PackageOut {
public:
    ~PackageOut() {
        if (tmp_) std::fclose(tmp_);
        if (!committed_) {
            if (!tmpPath_.empty()) std::remove(tmpPath_.c_str());
            if (!path_.empty()) std::remove(path_.c_str());
        }
    }
    // "<folder>/<name>.pfp", else the first free "<folder>/<name>(n).pfp".
    bool create(const std::string& folder, const std::string& name) {
        for (int n = 0; n <= kNumberedNames; ++n) {
            const std::string path = folder + "/" + name + (n ? "(" + std::to_string(n) + ")" : "") + ".pfp";
            FILE* f = std::fopen(path.c_str(), "wbx");
            if (!f) {
                if (errno == EEXIST) continue;
                return false;
            }
            std::fclose(f);
            path_ = path;
            tmpPath_ = path + ".tmp";
            tmp_ = std::fopen(tmpPath_.c_str(), "wb");
            return tmp_ != nullptr;
        }
        return false;
    }
    bool write(const void* bytes, size_t n) { return std::fwrite(bytes, 1, n, tmp_) == n; }
    bool commit() {
        const bool closed = std::fclose(tmp_) == 0;
        tmp_ = nullptr;
        if (!closed || std::rename(tmpPath_.c_str(), path_.c_str()) != 0) return false;
        committed_ = true;
        return true;
    }
private:
    std::string path_, tmpPath_;
    FILE* tmp_ = nullptr;
    bool committed_ = false;
};

// Copies [from, to) of the firmware file into the package.
bool CopyBytes(FirmwareFileReader& file, uint64_t from, uint64_t to, PackageOut& out, bool* readFailed) {
    std::vector<uint8_t> buffer(kCopyChunk);
    for (uint64_t at = from; at < to;) {
        const size_t n = size_t(std::min<uint64_t>(kCopyChunk, to - at));
        if (!file.ReadAt(at, buffer.data(), n)) {
            *readFailed = true;
            return false;
        }
        if (!out.write(buffer.data(), n)) return false;
        at += n;
    }
    return true;
}

int Combine(HANDLE h, const DevInfo* rec, const char* path, uint8_t* status) {
    // 1. The callback and the file.
    const QVN4SendCmdCallBack send = SendCmdCallback();
    if (!send) return kNoCallback;
    FirmwareFileReader file;
    if (!path || !*path || !file.Open(path)) {
        if (status) *status = kStatusUnreadable;
        return kFileUnreadable;
    }
    Link link(h, send);

    // 2. The controller's firmware information.
    FirmwareInformationA info{};
    info.size = 120;
    if (!rec || GetFWInformationA(h, &info) != 1) return kNoFirmwareInfo;

    // 3. Whether the file is this controller's firmware.
    if (const int fit = CheckCompatibility(link, file, info); fit != kCombined) return fit;

    // 4. The parameter lists and their CRC.
    ParameterList lists{};
    if (GetAPBTParaList(h, &lists) != 1) return kNoLists;
    if ((lists.touchLength && !lists.touchList) || (lists.bootLength && !lists.bootList)) return kNoLists;
    uint16_t crc = 0;
    if (GetParameterCRCEx(h, &lists, &crc) != 1) return kNoCrc;
    uint8_t paraFlags = 0;
    if ((rec->byFeature[0] & 0x02) && (rec->byFeature[2] & 0x80)) paraFlags |= 0x01;
    if (rec->byFeature[4] & 0x10) paraFlags |= 0x02;

    // 5. The package's name, beside the firmware file.
    char name[128];
    std::snprintf(name, sizeof name, "QV%s_x%04X", FirmwareName(info).c_str(), unsigned(crc));
    PackageOut out;
    if (!out.create(FolderOf(path), name)) return kNotCreated;

    // 6. The package header, with the virtual-key table when there is one to carry.
    std::optional<qvfmt::VKeyTable> keys = ReadKeyTable(link, h, *rec);
    if (rec->dwParaVersion <= kVkeyParaVersion) keys.reset();
    qvfmt::PackageHeaderOptions options;
    options.build1 = info.bootStateA;
    options.build2 = info.bootStateB;
    options.virtualKeys = keys ? qvfmt::VKeyFlag::Set : qvfmt::VKeyFlag::Clear;
    options.info = info.icByte;
    options.kindFlags = file.KindFlags();
    const std::array<uint8_t, 32> packageHeader = qvfmt::PackageHeader(file.FirstHeader(), options);

    // 7. and 8. The images in file order: the first under the package header,
    // the configuration image under a header from its slave, the others under
    // section headers.
    const std::vector<qvfmt::Section>& sections = file.Sections();
    const size_t configAt = file.Kind() == 1 ? 1 : file.Kind() == 3 ? 2 : sections.size();
    bool readFailed = false;
    for (size_t i = 0; i < sections.size(); ++i) {
        const qvfmt::Section& s = sections[i];
        std::array<uint8_t, 32> header = packageHeader;
        if (i == configAt) {
            const std::optional<SlaveFacts> slave = QuerySlave(link);
            if (!slave) return kSlaveQuery;
            header = qvfmt::SlaveSectionHeader(s.header.data(), packageHeader.data(), slave->build1, slave->build2,
                                               slave->chips);
        } else if (i > 0) {
            header = qvfmt::SectionHeader(s.header.data(), packageHeader.data(), info.bootStateA, info.bootStateB);
        }
        if (!out.write(header.data(), header.size())) return kNotCreated;
        if (!CopyBytes(file, s.offset + s.headerLength, s.end, out, &readFailed))
            return readFailed ? kNotReread : kNotCreated;
    }

    // 9. PARA, then VKEY. The stored CRC is the one the readers recompute from
    // the lists written: seeded with the table's CRC when the table follows.
    const uint16_t seed = keys ? keys->crc : 0xFFFF;
    const uint16_t paraCrc = ParameterImageCrc((paraFlags >> 1) & 1, seed, lists.touchList, lists.touchLength,
                                               lists.bootList, lists.bootLength);
    const auto para = qvfmt::ParaBytes(paraFlags, {lists.touchList, lists.touchLength},
                                       {lists.bootList, lists.bootLength}, paraCrc);
    if (!para || !out.write(para->data(), para->size())) return kNotCreated;
    if (keys) {
        const auto vkey = qvfmt::VkeyBytes(*keys);
        if (!vkey || !out.write(vkey->data(), vkey->size())) return kNotCreated;
    }
    if (!out.commit()) return kNotCreated;
    if (status) *status = 0;
    return kCombined;
}

}  // namespace
}  // namespace qvlib::n4

using namespace qvlib;
using namespace qvlib::n4;

extern "C" {

QV_API int QuorvaneN4_CombinePFPA(HANDLE handle, const char* path, uint8_t* status) {
    // The record is copied and its lock let go: the combiner's commands go
    // through the caller's callback, which no slot lock may be held across.
    std::optional<DevInfo> rec;
    {
        DeviceLock lock(handle);
        if (const DevInfo* d = lock.record()) rec = *d;
    }
    return Combine(handle, rec ? &*rec : nullptr, path, status);
}

QV_API int QuorvaneN4_CombinePFPW(HANDLE handle, const QVWCHAR* path, uint8_t* status) {
    const std::string narrow = path ? WideToUtf8(path) : std::string();
    return QuorvaneN4_CombinePFPA(handle, path ? narrow.c_str() : nullptr, status);
}

QV_API int CombinePFPA(HANDLE handle, const char* path, uint8_t* status) {
    // The callbacks installed here are the library's own, so the whole
    // combining runs as one conversation with the device.
    DeviceLock lock(handle);
    const DevInfo* d = lock.record();
    if (!d || d->byQVOstraMelk != QV_SERIES_CURRENT) return 0;
    QuorvaneN4_SetupSendCmdCallBack(SendCmd);
    QuorvaneN4_SetupSendCmdOnlyCallBack(SendCmdOnly);
    const DevInfo rec = *d;
    return Combine(handle, &rec, path, status) == kCombined ? 1 : 0;
}

QV_API int CombinePFPW(HANDLE handle, const QVWCHAR* path, uint8_t* status) {
    const std::string narrow = path ? WideToUtf8(path) : std::string();
    return CombinePFPA(handle, path ? narrow.c_str() : nullptr, status);
}

}  // extern "C"
