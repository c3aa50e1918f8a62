#include "format/firmware_format.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace qvfmt {

// ---- sums ----------------------------------------------------------------------

uint8_t Sum8(const uint8_t* bytes, size_t n) {
    uint8_t s = 0;
    for (size_t i = 0; i < n; ++i) s = uint8_t(s + bytes[i]);
    return s;
}

uint32_t Sum32(const uint8_t* bytes, size_t n) {
    uint32_t s = 0;
    for (size_t i = 0; i < n; ++i) s += bytes[i];
    return s;
}

// ---- magics --------------------------------------------------------------------

bool MagicEquals(const uint8_t* bytes, std::string_view magic, Rules rules) {
    for (size_t i = 0; i < 4; ++i) {
        uint8_t b = bytes[i];
        if (rules == Rules::Library) b = uint8_t(std::toupper(b));
        if (b != uint8_t(magic[i])) return false;
    }
    return true;
}

bool IsKnownMagic(const uint8_t* bytes, Rules rules) {
    return std::any_of(kMagics.begin(), kMagics.end(), [&](std::string_view m) { return MagicEquals(bytes, m, rules); });
}

bool IsImageMagic(const uint8_t* bytes, Rules rules) {
    return MagicEquals(bytes, "QVFF", rules) || MagicEquals(bytes, "PNFF", rules);
}

bool IsPackageMagic(const uint8_t* bytes, Rules rules) { return IsKnownMagic(bytes, rules) && !IsImageMagic(bytes, rules); }

std::array<uint8_t, 4> PackageMagic(uint8_t kindFlags) {
    const uint8_t format = (kindFlags & kKindTwoImages) ? 'X' : (kindFlags & kKindNewFormat) ? 'N' : 'F';
    return {'P', format, 'P', uint8_t((kindFlags & kKindConfigImage) ? 'C' : 'F')};
}

// ---- header --------------------------------------------------------------------

uint8_t HeaderSum15(const uint8_t* header) {
    const uint8_t sum = Sum8(header, 15);
    return header[14] < 16 ? uint8_t(~sum) : sum;
}

uint8_t HeaderSum31(const uint8_t* header) { return uint8_t(~Sum8(header, 31)); }

HeaderCheck CheckHeader(const uint8_t* header, Rules rules) {
    if (!IsKnownMagic(header, rules)) return HeaderCheck::BadMagic;
    if (header[15] != HeaderSum15(header)) return HeaderCheck::BadSum;
    const uint8_t version = header[14];
    if (version >= 16) {
        if (header[31] != HeaderSum31(header)) return HeaderCheck::BadTailSum;
        if (ReadU16(header + 16) > 15) return HeaderCheck::BadFlags;
    }
    if (rules == Rules::Program && version > kHighestAcceptedVersion) return HeaderCheck::NewerVersion;
    return HeaderCheck::Ok;
}

bool BigEndianProduct(const uint8_t* header) {
    const unsigned be = unsigned(header[4]) << 8 | header[5];
    return be == 6000 || be == 6005 || be == 6011 || be == 6203;
}

ImageInfo DecodeHeader(const uint8_t* header) {
    ImageInfo i;
    const bool bigEndian = BigEndianProduct(header);
    i.productNumber = bigEndian ? uint16_t(header[4] << 8 | header[5]) : ReadU16(header + 4);
    if (bigEndian || i.productNumber / 1000 == 6)
        i.series = 2;
    else if (i.productNumber & 0x8000)
        i.series = 1;
    i.letter = i.series == 2 ? 0 : header[7];
    i.major = header[6];
    i.minor = header[12];
    i.customer = header[13];
    i.headerVersion = header[14];
    i.dataSize = ReadU32(header + 8);
    if (i.headerVersion >= 16) {
        i.flags = ReadU16(header + 16);
        i.build1 = header[18];
        i.build2 = header[19];
        i.byte21 = header[21];
        i.byte22 = header[22];
    }
    if (i.headerVersion >= 19) i.info = header[20];
    return i;
}

std::string CustomerPrefix(int code, char separator) {
    char text[16];
    if (code == 0) return {};
    if (code < 200)
        std::snprintf(text, sizeof text, "D%02d%c", code, separator);
    else if (code < 250)
        std::snprintf(text, sizeof text, "A%02d%c", code - 199, separator);
    else if (code == 250)
        std::snprintf(text, sizeof text, "T%c", separator);
    else
        std::snprintf(text, sizeof text, "T%d%c", code - 250, separator);
    return text;
}

namespace {

std::string Format(const char* format, auto... args) {
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

std::string ProgramVersionText(const uint8_t* header) {
    const ImageInfo i = DecodeHeader(header);
    const int p = i.productNumber & 0x7FFF;
    const char* s = i.series == 1 ? "S" : "";
    if (i.headerVersion < 3) return Format("%d%s", p, s);
    const std::string letter = i.letter ? std::string(1, char(i.letter + 64)) : std::string();
    std::string tail;
    if (i.build2 != 0)
        tail = Format(".%d.%d", int(i.build1), int(i.build2));
    else if (i.build1 != 0)
        tail = Format(".%d", int(i.build1));
    return Format("%d%s%s.%s%d.%d%s", p, letter.c_str(), s, CustomerPrefix(i.customer, '.').c_str(), int(i.major),
                  int(i.minor), tail.c_str());
}

std::string LibraryVersionText(const uint8_t* header) {
    const bool bigEndian = BigEndianProduct(header);
    const unsigned raw = bigEndian ? unsigned(header[4] << 8 | header[5]) : ReadU16(header + 4);
    const int number = int(raw & 0x7FFF);
    const bool sVariant = !bigEndian && (raw & 0x8000);
    const bool secondSeries = bigEndian || number / 1000 == 6;
    const char* s = sVariant ? "S" : "";
    if (header[14] <= 2) return Format("%04d%s", number, s);
    const std::string letter = (!secondSeries && header[7]) ? std::string(1, char(header[7] + 64)) : std::string();
    // Bytes 18 and 19 lie past a 16-byte header: they read as 0 there.
    const uint8_t b18 = header[14] >= 16 ? header[18] : 0, b19 = header[14] >= 16 ? header[19] : 0;
    const std::string tail = b19 ? Format(".%d.%d", int(b18), int(b19)) : Format(".%d", int(b18));
    return Format("%04d%s%s.%s%d.%d%s", number, letter.c_str(), s, CustomerPrefix(header[13], '.').c_str(),
                  int(header[6]), int(header[12]), tail.c_str());
}

}  // namespace

std::string VersionText(const uint8_t* header, Rules rules) {
    return rules == Rules::Program ? ProgramVersionText(header) : LibraryVersionText(header);
}

uint32_t IdentityCode(uint32_t letter, uint32_t customer, uint32_t product) {
    return uint32_t((uint64_t(letter) * 1000 + customer) * 10000 + product);
}

uint32_t HeaderIdentityCode(const uint8_t* header) { return IdentityCode(header[7], header[13], ReadU16(header + 4)); }

// ---- byte sources --------------------------------------------------------------

bool SpanSource::read(uint64_t offset, void* out, size_t n) {
    if (!holds(offset, n)) return false;
    if (n) std::memcpy(out, bytes_.data() + offset, n);
    return true;
}

namespace {

// The header at offset: 16 or 32 bytes by its version.
FileError ReadHeaderAt(ByteSource& src, uint64_t offset, Section* s) {
    s->offset = offset;
    s->header.fill(0);
    if (!src.read(offset, s->header.data(), kShortHeader)) return FileError::PastEnd;
    s->headerLength = HeaderLength(s->header[14]);
    if (s->headerLength > kShortHeader &&
        !src.read(offset + kShortHeader, s->header.data() + kShortHeader, s->headerLength - kShortHeader))
        return FileError::PastEnd;
    return FileError::None;
}

// Extra block, data and trailer of the section whose header ReadHeaderAt read.
FileError ReadExtent(ByteSource& src, Section* s) {
    s->dataSize = ReadU32(s->header.data() + 8);
    const uint16_t flags = s->headerLength == kLongHeader ? ReadU16(s->header.data() + 16) : 0;
    s->extraLength = 0;
    const uint64_t afterHeader = s->offset + s->headerLength;
    if (flags & kFlagExtraBlock) {
        uint8_t l[2];
        if (!src.read(afterHeader, l, 2)) return FileError::PastEnd;
        s->extraLength = uint32_t(ReadU16(l)) + 4;
    }
    s->dataOffset = afterHeader + s->extraLength;
    // Every term is below 2^33 and the offset lies inside the source: no wrap.
    s->end = s->dataOffset + uint64_t(s->dataSize) + kTrailer;
    if (!src.holds(s->offset, s->end - s->offset)) return FileError::PastEnd;
    return FileError::None;
}

// The whole length of the image at offset, when its header and extra-block
// length can be read (the image itself may run past the source).
std::optional<uint64_t> ImageLength(ByteSource& src, uint64_t offset, std::array<uint8_t, 32>* header) {
    Section s;
    if (ReadHeaderAt(src, offset, &s) != FileError::None) return std::nullopt;
    if (header) *header = s.header;
    const uint16_t flags = s.headerLength == kLongHeader ? ReadU16(s.header.data() + 16) : 0;
    uint64_t extra = 0;
    if (flags & kFlagExtraBlock) {
        uint8_t l[2];
        if (!src.read(offset + s.headerLength, l, 2)) return std::nullopt;
        extra = uint64_t(ReadU16(l)) + 4;
    }
    return s.headerLength + extra + uint64_t(ReadU32(s.header.data() + 8)) + kTrailer;
}

bool SameMagic(const uint8_t* a, const uint8_t* b, Rules rules) {
    for (size_t i = 0; i < 4; ++i) {
        const int x = rules == Rules::Library ? std::toupper(a[i]) : a[i];
        const int y = rules == Rules::Library ? std::toupper(b[i]) : b[i];
        if (x != y) return false;
    }
    return true;
}

}  // namespace

Kind DetectKind(ByteSource& src, Rules rules) {
    std::array<uint8_t, 32> h{};
    const auto first = ImageLength(src, 0, &h);
    if (!first) return {};
    struct Row {
        std::string_view magic;
        int kind;
        uint8_t flags;
    };
    static constexpr Row kPackages[] = {{"PFPF", 0, 0x00}, {"PNPF", 0, 0x10}, {"PFPC", 1, 0x01},
                                        {"PNPC", 1, 0x11}, {"PXPF", 2, 0x50}, {"PXPC", 3, 0xD1}};
    for (const Row& r : kPackages)
        if (MagicEquals(h.data(), r.magic, rules)) return {r.kind, r.flags};
    if (!IsImageMagic(h.data(), rules)) return {};

    const uint8_t format = MagicEquals(h.data(), "PNFF", rules) ? kKindNewFormat : 0;
    const uint64_t size = src.size();
    if (size == *first) return {0, format};
    if (rules == Rules::Program && h[14] < 16) return {1, uint8_t(format | kKindConfigImage)};
    if (size < *first) return {};

    std::array<uint8_t, 32> h2{};
    const auto second = ImageLength(src, *first, &h2);
    if (!second) return {};
    if (SameMagic(h.data(), h2.data(), rules)) return {1, uint8_t(format | kKindConfigImage)};
    const uint64_t both = *first + *second;
    if (size == both) return {2, uint8_t(format | 0x50)};
    if (rules == Rules::Library && size < both) return {};
    return {3, uint8_t(format | 0xD1)};
}

std::span<const int> SectionOrder(int kind) {
    static constexpr int k0[] = {0}, k12[] = {1, 0}, k3[] = {1, 3, 0, 2};
    switch (kind) {
        case 0: return k0;
        case 1:
        case 2: return k12;
        case 3: return k3;
        default: return {};
    }
}

const char* FileErrorName(FileError e) {
    switch (e) {
        case FileError::None: return "none";
        case FileError::Unreadable: return "unreadable";
        case FileError::Kind: return "kind";
        case FileError::Header: return "header";
        case FileError::EmptySection: return "empty section";
        case FileError::PastEnd: return "past end";
        case FileError::VersionMismatch: return "version mismatch";
        case FileError::Para: return "PARA";
        case FileError::ParaCrc: return "PARA CRC";
        case FileError::Vkey: return "VKEY";
        case FileError::VkeyTooLarge: return "VKEY too large";
        case FileError::VkeyCrc: return "VKEY CRC";
        case FileError::Checksum: return "checksum";
    }
    return "?";
}

FileError ReadSection(ByteSource& src, uint64_t offset, int entry, Section* out) {
    out->entry = entry;
    if (FileError e = ReadHeaderAt(src, offset, out); e != FileError::None) return e;
    if (ReadU32(out->header.data() + 8) == 0) return FileError::EmptySection;
    return ReadExtent(src, out);
}

FileError WalkSections(ByteSource& src, int kind, Rules rules, const HeaderGate& gate, std::vector<Section>* out) {
    out->clear();
    const std::span<const int> order = SectionOrder(kind);
    if (order.empty()) return FileError::Kind;
    uint64_t offset = 0;
    std::array<std::string, 4> texts;
    for (int entry : order) {
        Section s;
        if (FileError e = ReadSection(src, offset, entry, &s); e != FileError::None) return e;
        const bool accepted = gate ? gate(s.header.data(), entry) : [&] {
            const HeaderCheck c = CheckHeader(s.header.data(), rules);
            return c == HeaderCheck::Ok || c == HeaderCheck::NewerVersion;
        }();
        if (!accepted) return FileError::Header;
        texts[size_t(entry)] = VersionText(s.header.data(), rules);
        if (entry >= 2 && texts[size_t(entry)] != texts[size_t(entry - 2)]) return FileError::VersionMismatch;
        offset = s.end;
        out->push_back(s);
    }
    return FileError::None;
}

FileError ReadSectionData(ByteSource& src, const Section& s, std::vector<uint8_t>* data) {
    if (!src.holds(s.dataOffset, uint64_t(s.dataSize) + kTrailer)) return FileError::PastEnd;
    data->assign(s.dataSize, 0);
    uint8_t trailer[4];
    if (!src.read(s.dataOffset, data->data(), data->size()) || !src.read(s.dataOffset + s.dataSize, trailer, 4))
        return FileError::Unreadable;
    return TrailerOf(data->data(), data->size()) == ReadU32(trailer) ? FileError::None : FileError::Checksum;
}

FileError CheckSectionData(ByteSource& src, const Section& s, uint32_t* sum, uint32_t* trailer) {
    if (!src.holds(s.dataOffset, uint64_t(s.dataSize) + kTrailer)) return FileError::PastEnd;
    constexpr size_t kChunk = 0x7FFF;
    std::vector<uint8_t> chunk(std::min<size_t>(kChunk, s.dataSize));
    uint32_t total = 0;
    for (uint64_t done = 0; done < s.dataSize;) {
        const size_t n = size_t(std::min<uint64_t>(kChunk, s.dataSize - done));
        if (!src.read(s.dataOffset + done, chunk.data(), n)) return FileError::Unreadable;
        total += Sum32(chunk.data(), n);
        done += n;
    }
    uint8_t t[4];
    if (!src.read(s.dataOffset + s.dataSize, t, 4)) return FileError::Unreadable;
    if (sum) *sum = total;
    if (trailer) *trailer = ReadU32(t);
    return ~total == ReadU32(t) ? FileError::None : FileError::Checksum;
}

// ---- PARA and VKEY -------------------------------------------------------------

FileError ReadPara(ByteSource& src, uint64_t offset, Rules rules, ParaSection* out) {
    uint8_t h[kParaHeader];
    if (!src.read(offset, h, sizeof h)) return FileError::Para;
    if (h[7] != uint8_t(~Sum8(h, 7)) || !MagicEquals(h, "PARA", rules) || h[6] > 3) return FileError::Para;
    out->flags = h[6];
    const uint64_t lists = offset + kParaHeader;
    if (!src.holds(lists, uint64_t(h[4]) + h[5] + 2)) return FileError::Para;
    out->touch.assign(h[4], 0);
    out->boot.assign(h[5], 0);
    uint8_t crc[2];
    if (!src.read(lists, out->touch.data(), h[4]) || !src.read(lists + h[4], out->boot.data(), h[5]) ||
        !src.read(lists + h[4] + h[5], crc, 2))
        return FileError::Para;
    out->crc = ReadU16(crc);
    out->end = lists + h[4] + h[5] + 2;
    return FileError::None;
}

bool VkeyTableFits(const VKeyTable& t) { return t.usedCount < 16 && t.entrySize >= 1 && t.entrySize <= 12; }

FileError ReadVkey(ByteSource& src, uint64_t offset, Rules rules, VkeySection* out) {
    uint8_t h[kVkeyHeader];
    if (!src.read(offset, h, sizeof h)) return FileError::Vkey;
    if (h[9] != uint8_t(~Sum8(h, 9)) || !MagicEquals(h, "VKEY", rules) || h[8] != 2) return FileError::Vkey;
    out->storedCrc = ReadU16(h + 4);
    out->table = VKeyTable{};
    out->table.usedCount = h[6];
    out->table.entrySize = h[7];
    if (!VkeyTableFits(out->table)) return FileError::VkeyTooLarge;
    const size_t entries = size_t(h[6]) + 1, bytes = h[7];
    const uint64_t first = offset + kVkeyHeader;
    if (!src.holds(first, uint64_t(entries) * bytes)) return FileError::Vkey;
    for (size_t e = 0; e < entries; ++e)
        if (!src.read(first + e * bytes, out->table.entry[e], bytes)) return FileError::Vkey;
    out->end = first + entries * bytes;
    return FileError::None;
}

FileError ReadPackageTail(ByteSource& src, uint64_t offset, const uint8_t* packageHeader, Rules rules,
                          const ParameterCrcFn& parameterCrc, const VirtualKeyCrcFn& vkeyCrc, PackageTail* out) {
    *out = PackageTail{};
    if (FileError e = ReadPara(src, offset, rules, &out->paraSection); e != FileError::None) return e;
    const ParaSection& p = out->paraSection;
    const bool keys = packageHeader[14] >= 16 && HasVirtualKeyFlag(packageHeader);
    if (keys) {
        if (FileError e = ReadVkey(src, p.end, rules, &out->vkeySection); e != FileError::None) return e;
        out->vkeyCrc = vkeyCrc ? vkeyCrc(out->vkeySection.table) : 0;
        if (rules == Rules::Library && out->vkeyCrc != out->vkeySection.storedCrc) return FileError::VkeyCrc;
        out->vkey = true;
    }
    const int mode = (p.flags >> 1) & 1;
    bool match = parameterCrc && parameterCrc(mode, 0xFFFF, p.touch, p.boot) == p.crc;
    if (!match && keys) match = parameterCrc(mode, out->vkeyCrc, p.touch, p.boot) == p.crc;
    if (!match) {
        out->vkey = false;
        return FileError::ParaCrc;
    }
    out->para = true;
    return FileError::None;
}

FileError ReadFirmwareFile(ByteSource& src, Rules rules, const HeaderGate& gate, const ParameterCrcFn& parameterCrc,
                           const VirtualKeyCrcFn& vkeyCrc, FirmwareFile* out) {
    *out = FirmwareFile{};
    out->kind = DetectKind(src, rules);
    if (!out->kind.ok()) return FileError::Kind;
    if (FileError e = WalkSections(src, out->kind.kind, rules, gate, &out->sections); e != FileError::None) return e;
    const Section& first = out->sections.front();
    out->package = IsPackageMagic(first.header.data(), rules);
    if (out->package) {
        FileError e = ReadPackageTail(src, out->sections.back().end, first.header.data(), rules, parameterCrc, vkeyCrc,
                                      &out->tail);
        if (e != FileError::None) return e;
    }
    for (const Section& s : out->sections)
        if (FileError e = ReadSectionData(src, s, &out->data[size_t(s.entry)]); e != FileError::None) return e;
    return FileError::None;
}

// ---- writers -------------------------------------------------------------------

std::array<uint8_t, 32> PromotedHeader(const uint8_t* header, uint8_t build1, uint8_t build2) {
    std::array<uint8_t, 32> out{};
    const uint8_t version = header[14];
    std::memcpy(out.data(), header, HeaderLength(version));
    if (version < kPackageHeaderVersion) out[14] = kPackageHeaderVersion;
    if (version < 16) {
        out[18] = build1;
        out[19] = build2;
    }
    return out;
}

void SealHeader(uint8_t* h) {
    h[15] = HeaderSum15(h);
    if (h[14] >= 16) h[31] = HeaderSum31(h);
}

std::array<uint8_t, 32> PackageHeader(const uint8_t* firstHeader, const PackageHeaderOptions& o) {
    std::array<uint8_t, 32> h = PromotedHeader(firstHeader, o.build1, o.build2);
    h[16] |= uint8_t(kFlagPackage);
    if (o.virtualKeys == VKeyFlag::Set) h[16] |= uint8_t(kFlagVirtualKeys);
    if (o.virtualKeys == VKeyFlag::Clear) h[16] &= uint8_t(~kFlagVirtualKeys);
    h[20] = o.info;
    if (!IsPackageMagic(h.data(), Rules::Program)) {
        const auto magic = PackageMagic(o.kindFlags);
        std::copy(magic.begin(), magic.end(), h.begin());
    }
    SealHeader(h.data());
    return h;
}

namespace {
// A further section's flag byte: the package header's, except the extra-block
// bit, which stays the image's own (a header below version 16 has none). The
// readers find the section's extra block by that bit, so the package's would
// announce a block the section does not carry, or hide one it does.
uint8_t FlagsFromPackage(const uint8_t* imageHeader, const uint8_t* packageHeader) {
    const uint8_t own = imageHeader[14] >= 16 ? uint8_t(imageHeader[16] & kFlagExtraBlock) : 0;
    return uint8_t((packageHeader[16] & ~kFlagExtraBlock) | own);
}
}  // namespace

std::array<uint8_t, 32> SectionHeader(const uint8_t* imageHeader, const uint8_t* packageHeader, uint8_t build1,
                                      uint8_t build2) {
    std::array<uint8_t, 32> h = PromotedHeader(imageHeader, build1, build2);
    h[16] = FlagsFromPackage(imageHeader, packageHeader);
    h[20] = packageHeader[20];
    SealHeader(h.data());
    return h;
}

std::array<uint8_t, 32> SlaveSectionHeader(const uint8_t* imageHeader, const uint8_t* packageHeader,
                                           uint8_t slaveBuild1, uint8_t slaveBuild2, uint8_t slaveInfo) {
    std::array<uint8_t, 32> h = PromotedHeader(imageHeader, slaveBuild1, slaveBuild2);
    h[16] = FlagsFromPackage(imageHeader, packageHeader);
    h[20] = slaveInfo;
    SealHeader(h.data());
    return h;
}

std::optional<std::vector<uint8_t>> ParaBytes(uint8_t flags, std::span<const uint8_t> touch,
                                              std::span<const uint8_t> boot, uint16_t crc) {
    if (touch.size() > 255 || boot.size() > 255 || flags > 3) return std::nullopt;
    std::vector<uint8_t> out = {'P', 'A', 'R', 'A', uint8_t(touch.size()), uint8_t(boot.size()), flags, 0};
    out[7] = uint8_t(~Sum8(out.data(), 7));
    out.insert(out.end(), touch.begin(), touch.end());
    out.insert(out.end(), boot.begin(), boot.end());
    out.push_back(uint8_t(crc));
    out.push_back(uint8_t(crc >> 8));
    return out;
}

std::optional<std::vector<uint8_t>> VkeyBytes(const VKeyTable& t) {
    if (!VkeyTableFits(t)) return std::nullopt;
    std::vector<uint8_t> out = {'V', 'K', 'E', 'Y', uint8_t(t.crc), uint8_t(t.crc >> 8), t.usedCount, t.entrySize, 2, 0};
    out[9] = uint8_t(~Sum8(out.data(), 9));
    for (size_t e = 0; e <= t.usedCount; ++e) out.insert(out.end(), t.entry[e], t.entry[e] + t.entrySize);
    return out;
}

}  // namespace qvfmt
