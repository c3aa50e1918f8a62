// Firmware image files and PFP packages: the byte layout, the checks and the
// writers, shared by the controller library and the configuration program.
//
// Pure code: no device access, no Qt, no file system beyond the ByteSource the
// caller gives. Every length and offset taken from a file is checked against
// the file's size in 64-bit arithmetic before it indexes or allocates anything.
//
// The library and the program read the same bytes with a few rules of their
// own (Rules): how the version text is formed, how an image file's kind is
// found, whether magics are compared exactly or after upper-casing, whether the
// virtual-key table's stored CRC is checked, and whether a header version
// above 19 needs the user's consent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qvfmt {

enum class Rules : uint8_t {
    Program,  // the configuration program's reading
    Library,  // the controller library's reading
};

constexpr size_t kShortHeader = 16;  // header version 15 or less
constexpr size_t kLongHeader = 32;   // header version 16 and later
constexpr size_t kParaHeader = 8;
constexpr size_t kVkeyHeader = 10;
constexpr size_t kTrailer = 4;
constexpr uint8_t kPackageHeaderVersion = 19;
constexpr uint8_t kHighestAcceptedVersion = 19;  // above: the program asks first

// Header flag bits (bytes 16..17).
constexpr uint16_t kFlagExtraBlock = 0x01;
constexpr uint16_t kFlagPackage = 0x02;
constexpr uint16_t kFlagVirtualKeys = 0x08;

// Kind flags.
constexpr uint8_t kKindConfigImage = 0x01;
constexpr uint8_t kKindNewFormat = 0x10;
constexpr uint8_t kKindTwoImages = 0x40;
constexpr uint8_t kKindFourSections = 0x80;

// The eight file magics.
inline constexpr std::array<std::string_view, 8> kMagics = {"QVFF", "PNFF", "PFPF", "PNPF",
                                                            "PFPC", "PNPC", "PXPF", "PXPC"};

// ---- sums ----------------------------------------------------------------------

uint8_t Sum8(const uint8_t* bytes, size_t n);
uint32_t Sum32(const uint8_t* bytes, size_t n);
// What an image's u32 trailer holds: NOT of the 32-bit sum of its data.
inline uint32_t TrailerOf(const uint8_t* data, size_t n) { return ~Sum32(data, n); }

inline uint16_t ReadU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void WriteU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void WriteU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// ---- magics --------------------------------------------------------------------

// Program: exact, case-sensitive; library: after upper-casing the file's bytes.
bool MagicEquals(const uint8_t* bytes, std::string_view magic, Rules rules);
bool IsKnownMagic(const uint8_t* bytes, Rules rules);
bool IsImageMagic(const uint8_t* bytes, Rules rules);    // "QVFF", "PNFF"
bool IsPackageMagic(const uint8_t* bytes, Rules rules);  // the six package magics
// The package magic of kind flags: 'P', then 'X' (0x40), 'N' (0x10) or 'F', 'P',
// then 'C' (0x01) or 'F'. 0x40 decides before 0x10.
std::array<uint8_t, 4> PackageMagic(uint8_t kindFlags);

// ---- header --------------------------------------------------------------------

inline size_t HeaderLength(uint8_t headerVersion) { return headerVersion < 16 ? kShortHeader : kLongHeader; }
// Byte 15 as written for the header version: plain sum of bytes 0..14, stored
// complemented below version 16.
uint8_t HeaderSum15(const uint8_t* header);
// Byte 31 for version 16 and later: NOT of the sum of bytes 0..30.
uint8_t HeaderSum31(const uint8_t* header);

enum class HeaderCheck : uint8_t {
    Ok,
    BadMagic,
    BadSum,       // byte 15
    BadTailSum,   // byte 31
    BadFlags,     // flags above 15
    NewerVersion, // program rules: header version 20 or more, to be asked about
};
// The header check of one image header (`header` holds HeaderLength bytes of its
// version): magic (any of the eight), byte 15, then for version 16 and later
// byte 31 and the flags, then (program rules) the version.
HeaderCheck CheckHeader(const uint8_t* header, Rules rules);

// What a header says (the program's 13 fields of a loaded entry).
struct ImageInfo {
    uint16_t productNumber = 0;  // little-endian bytes 4..5, or big-endian for 6000/6005/6011/6203
    uint8_t letter = 0;          // byte 7; 0 for the second series (program reading)
    uint8_t major = 0;           // byte 6
    uint8_t series = 0;          // 2 second series, 1 S variant, else 0 (program reading)
    uint8_t minor = 0;           // byte 12
    uint8_t customer = 0;        // byte 13
    uint8_t headerVersion = 0;   // byte 14
    uint32_t dataSize = 0;       // bytes 8..11
    uint16_t flags = 0;          // bytes 16..17 (version 16 and later)
    uint8_t build2 = 0, build1 = 0;  // bytes 19 and 18 (version 16 and later)
    uint8_t info = 0;            // byte 20 (version 19 and later)
    uint8_t byte21 = 0, byte22 = 0;  // kept as they are (version 16 and later)
};
// True when bytes 4 and 5 read big-endian are 6000, 6005, 6011 or 6203.
bool BigEndianProduct(const uint8_t* header);
ImageInfo DecodeHeader(const uint8_t* header);

// The customer prefix of a code with separator c: 0 -> "", 1..199 "D%02d%c",
// 200..249 "A%02d%c" (code - 199), 250 "T%c", 251..255 "T%d%c" (code - 250).
std::string CustomerPrefix(int code, char separator);
// The version text of an image header under a rule set.
std::string VersionText(const uint8_t* header, Rules rules);
// (letter * 1000 + customer) * 10000 + product number, from header bytes 7, 13
// and little-endian 4..5.
uint32_t IdentityCode(uint32_t letter, uint32_t customer, uint32_t product);
uint32_t HeaderIdentityCode(const uint8_t* header);

// ---- reading through a byte source ---------------------------------------------

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Reads exactly n bytes at offset; false when they are not all there.
    virtual bool read(uint64_t offset, void* out, size_t n) = 0;
    // True when [offset, offset + n) lies inside the source.
    bool holds(uint64_t offset, uint64_t n) const { return offset <= size() && n <= size() - offset; }
};

class SpanSource : public ByteSource {
public:
    explicit SpanSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read(uint64_t offset, void* out, size_t n) override;

private:
    std::span<const uint8_t> bytes_;
};

struct Kind {
    int kind = -1;  // -1 refused
    uint8_t flags = 0;
    bool ok() const { return kind >= 0; }
};
// The file kind from its first header and size (and the second header when
// the first image's size leaves room for one).
//   Program: a header version below 16 with any other size than one image's
//   gives kind 1; 16 and later: smaller refuses, then the second header.
//   Library: a file shorter than its first image is refused under every version;
//   a second image of another magic gives kind 2 on an exact size, 3 when the
//   file is longer, and is refused when it is shorter.
Kind DetectKind(ByteSource& src, Rules rules);

// The entries in file order for a kind: {0}, {1, 0}, {1, 3, 0, 2}.
std::span<const int> SectionOrder(int kind);

struct Section {
    int entry = 0;
    uint64_t offset = 0;           // of the header
    std::array<uint8_t, 32> header{};  // HeaderLength bytes read, the rest zero
    size_t headerLength = 0;
    uint32_t extraLength = 0;      // L + 4 when an extra block is present, else 0
    uint64_t dataOffset = 0;
    uint32_t dataSize = 0;
    uint64_t end = 0;              // just past the trailer
};

enum class FileError : uint8_t {
    None,
    Unreadable,
    Kind,            // refused by the kind detection
    Header,          // a header check failed (or the caller's gate refused it)
    EmptySection,    // data size 0
    PastEnd,         // a section does not lie inside the file
    VersionMismatch, // entries 2/3 differ from entries 0/1
    Para,            // PARA header, magic, flags or bounds
    ParaCrc,         // neither the plain nor the VKEY-seeded CRC matches
    Vkey,            // VKEY header, magic, format or bounds
    VkeyTooLarge,    // more than 16 entries or entries longer than 12 bytes (or 0)
    VkeyCrc,         // library rules: the stored table CRC differs
    Checksum,        // a data trailer differs
};
const char* FileErrorName(FileError e);

// Reads the section header at `offset` for `entry`: the header bytes (16 or 32
// by its version), the extra block's length, and the section's end, each
// checked to lie inside the source; data size 0 is refused. Nothing is allocated.
FileError ReadSection(ByteSource& src, uint64_t offset, int entry, Section* out);

// A caller's header check (e.g. with its messages); the default is CheckHeader
// taking NewerVersion as accepted.
using HeaderGate = std::function<bool(const uint8_t* header, int entry)>;

// All sections of a kind in file order, each inside the file, headers passed
// through the gate, and entries 2/3 carrying entries 0/1's version text.
FileError WalkSections(ByteSource& src, int kind, Rules rules, const HeaderGate& gate, std::vector<Section>* out);

// Reads a section's data (after its bounds were checked) and compares its trailer.
FileError ReadSectionData(ByteSource& src, const Section& s, std::vector<uint8_t>* data);
// The same check without keeping the data: summed in chunks of 0x7FFF bytes.
// *sum and *trailer (when given) receive the data's 32-bit sum and the stored trailer.
FileError CheckSectionData(ByteSource& src, const Section& s, uint32_t* sum = nullptr, uint32_t* trailer = nullptr);

// ---- PARA and VKEY -------------------------------------------------------------

struct ParaSection {
    uint8_t flags = 0;
    std::vector<uint8_t> touch, boot;
    uint16_t crc = 0;
    uint64_t end = 0;
};
// The PARA section at offset: header sum (byte 7), magic, flags 3 or less, the
// lists and the CRC inside the source.
FileError ReadPara(ByteSource& src, uint64_t offset, Rules rules, ParaSection* out);

// The virtual-key table image; the layout of the library's VButtonTable.
struct VKeyTable {
    uint8_t entry[16][12] = {};
    uint8_t entrySize = 0;
    uint8_t usedCount = 0;  // entries 0..usedCount are used
    uint16_t crc = 0;
};
static_assert(sizeof(VKeyTable) == 196, "VKeyTable keeps the VButtonTable layout");

struct VkeySection {
    uint16_t storedCrc = 0;  // bytes 4..5
    VKeyTable table;         // entries, size and count; crc left 0
    uint64_t end = 0;
};
// The VKEY section at offset: header sum (byte 9), magic, format 2, n + 1 <= 16
// entries of 1..12 bytes inside the source.
FileError ReadVkey(ByteSource& src, uint64_t offset, Rules rules, VkeySection* out);

// The parameter CRC (mode = PARA flags bit 1, start, touch list, boot list) and
// the virtual-key CRC over a table's entries 0..usedCount: each side passes its own.
using ParameterCrcFn = std::function<uint16_t(int mode, uint16_t start, std::span<const uint8_t> touch,
                                              std::span<const uint8_t> boot)>;
using VirtualKeyCrcFn = std::function<uint16_t(const VKeyTable& table)>;

struct PackageTail {
    bool para = false;
    ParaSection paraSection;
    bool vkey = false;
    VkeySection vkeySection;
    uint16_t vkeyCrc = 0;  // computed over the table
};
// The PARA section at `offset` and, when the package header has flag bit 3, the
// VKEY section after it. PARA is accepted when its CRC matches from 0xFFFF or
// from the table's CRC. Library rules also compare the VKEY section's stored CRC.
FileError ReadPackageTail(ByteSource& src, uint64_t offset, const uint8_t* packageHeader, Rules rules,
                          const ParameterCrcFn& parameterCrc, const VirtualKeyCrcFn& vkeyCrc, PackageTail* out);

// A whole file: kind, sections, data, and for packages the tail.
struct FirmwareFile {
    Kind kind;
    std::vector<Section> sections;  // file order
    std::array<std::vector<uint8_t>, 4> data;  // by entry
    bool package = false;
    PackageTail tail;
};
FileError ReadFirmwareFile(ByteSource& src, Rules rules, const HeaderGate& gate, const ParameterCrcFn& parameterCrc,
                           const VirtualKeyCrcFn& vkeyCrc, FirmwareFile* out);

// ---- writers -------------------------------------------------------------------

// The version-19 rule every written header gets: the header's own bytes (16 or
// 32 by its version, the rest zero); a version below 19 becomes 19, and one
// below 16 takes `build1`, `build2` into bytes 18 and 19. Sums not yet set.
std::array<uint8_t, 32> PromotedHeader(const uint8_t* header, uint8_t build1, uint8_t build2);
// Sets byte 15 and byte 31 for the header's version.
void SealHeader(uint8_t* header32);

enum class VKeyFlag : uint8_t { Keep, Set, Clear };
struct PackageHeaderOptions {
    uint8_t build1 = 0, build2 = 0;  // the controller's build bytes
    VKeyFlag virtualKeys = VKeyFlag::Clear;
    uint8_t info = 0;                // byte 20
    uint8_t kindFlags = 0;           // the loaded file's kind flags
};
// The package header from a file's first header: version-19 rule, byte 16 bit 1
// and bit 3 as asked, byte 20, package magic, sums.
std::array<uint8_t, 32> PackageHeader(const uint8_t* firstHeader, const PackageHeaderOptions& o);
inline bool HasVirtualKeyFlag(const uint8_t* header) { return ReadU16(header + 16) & kFlagVirtualKeys; }

// A further image's section header: version-19 rule, byte 16 from the package
// header but for the image's own extra-block bit, byte 20 from the package
// header, sums.
std::array<uint8_t, 32> SectionHeader(const uint8_t* imageHeader, const uint8_t* packageHeader, uint8_t build1,
                                      uint8_t build2);
// A configuration image's section header: version-19 rule with the slave's build
// bytes, byte 16 as SectionHeader's, byte 20 the slave's information byte, sums.
std::array<uint8_t, 32> SlaveSectionHeader(const uint8_t* imageHeader, const uint8_t* packageHeader,
                                           uint8_t slaveBuild1, uint8_t slaveBuild2, uint8_t slaveInfo);

// "PARA", lengths, flags, header sum, the lists, the CRC. Lists above 255 bytes
// cannot be described: nullopt.
std::optional<std::vector<uint8_t>> ParaBytes(uint8_t flags, std::span<const uint8_t> touch,
                                              std::span<const uint8_t> boot, uint16_t crc);
// "VKEY", the table's CRC, count, entry size, format 2, header sum, entries
// 0..count. A table of more than 16 entries or entries of 0 or more than 12
// bytes does not fit: nullopt.
std::optional<std::vector<uint8_t>> VkeyBytes(const VKeyTable& table);
bool VkeyTableFits(const VKeyTable& table);

}  // namespace qvfmt
