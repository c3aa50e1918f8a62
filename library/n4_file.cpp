// The N4 family's firmware file reader (see n4_file.h).
#include "n4_file.h"

#include "internal.h"
#include "n4_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

namespace qvlib::n4 {

namespace {

// Bytes summed at a time: the data are never held whole.
constexpr size_t kChunk = 0x7FFF;

// The open file as the format module's byte source.
class FileSource final : public qvfmt::ByteSource {
public:
    FileSource(std::FILE* f, uint64_t size) : f_(f), size_(size) {}
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, void* out, size_t n) override {
        if (!f_ || !holds(offset, n)) return false;
        if (n == 0) return true;
        if (fseeko(f_, off_t(offset), SEEK_SET) != 0) return false;
        return std::fread(out, 1, n, f_) == n;
    }

private:
    std::FILE* f_;
    uint64_t size_;
};

// The parameter CRC as the library's own export computes it.
uint16_t ParameterCrc(int mode, uint16_t start, const std::vector<uint8_t>& touch, const std::vector<uint8_t>& boot) {
    const uint32_t lengths[2] = {uint32_t(touch.size()), uint32_t(boot.size())};
    const uint8_t* const images[2] = {touch.data(), boot.data()};
    // Lists are never refused here (no null image with a length), so the value is always set.
    uint16_t crc = uint16_t(~start);
    QuorvaneN4_CalSWParamCRCEx(mode, start, lengths, images, &crc);
    return crc;
}

uint16_t TableCrc(const qvfmt::VKeyTable& t) {
    static_assert(sizeof(VButtonTable) == sizeof(qvfmt::VKeyTable), "one layout");
    VButtonTable table;
    std::memcpy(&table, &t, sizeof table);
    table.crc = 0;
    QuorvaneN4_CalVKeyCRC(&table);
    return table.crc;
}

// One image's data summed chunk by chunk against its trailer.
bool CheckImageData(qvfmt::ByteSource& src, const qvfmt::Section& s) {
    debug_log_msg(kDbgInfo, "* {INFO} Firmware data size : %lu, offset : %lu\r\n", static_cast<unsigned long>(s.dataSize),
                  static_cast<unsigned long>(s.dataOffset));
    std::vector<uint8_t> chunk;
    try {
        chunk.resize(std::min<size_t>(kChunk, s.dataSize));
    } catch (const std::bad_alloc&) {
        debug_log_msg(kDbgError, "* {ERROR} Failed to allocate memory !\r\n");
        return false;
    }
    uint32_t sum = 0;
    for (uint64_t done = 0; done < s.dataSize;) {
        const size_t n = size_t(std::min<uint64_t>(kChunk, s.dataSize - done));
        if (!src.read(s.dataOffset + done, chunk.data(), n)) {
            debug_log_msg(kDbgError, "* {ERROR} Read CHECKSUM : {FAILED} (%u)\r\n", unsigned(s.entry));
            return false;
        }
        sum += qvfmt::Sum32(chunk.data(), n);
        done += n;
        debug_log_msg(kDbgInfo, "* {INFO} Read File Data : %u (%lu/%lu)\r\n", unsigned(n),
                      static_cast<unsigned long>(done), static_cast<unsigned long>(s.dataSize));
    }
    uint8_t t[4];
    if (!src.read(s.dataOffset + s.dataSize, t, sizeof t)) {
        debug_log_msg(kDbgError, "* {ERROR} Read CHECKSUM : {FAILED} (%u)\r\n", unsigned(s.entry));
        return false;
    }
    const uint32_t stored = qvfmt::ReadU32(t), expected = ~sum;
    if (stored != expected) {
        debug_log_msg(kDbgError, "* {ERROR} Read CHECKSUM : {FAILED} (%u)\r\n", unsigned(s.entry));
        return false;
    }
    debug_log_msg(kDbgInfo, "* {INFO} Read CHECKSUM : {OK} %lu ?= %lu\r\n", static_cast<unsigned long>(stored),
                  static_cast<unsigned long>(expected));
    return true;
}

}  // namespace

FirmwareFileReader::~FirmwareFileReader() { Reset(); }

bool FirmwareFileReader::Open(const std::string& path) {
    Reset();
    path_ = path;
    file_ = std::fopen(path.c_str(), "rb");
    bool ok = false;
    if (file_) {
        try {
            ok = Load();
        } catch (const std::bad_alloc&) {
            debug_log_msg(kDbgError, "* {ERROR} Failed to allocate memory !\r\n");
            ok = false;
        }
    }
    if (!ok) Reset();
    return ok;
}

bool FirmwareFileReader::Load() {
    if (fseeko(file_, 0, SEEK_END) != 0) return false;
    const off_t end = ftello(file_);
    if (end <= 0) return false;
    size_ = uint64_t(end);
    FileSource src(file_, size_);

    kind_ = qvfmt::DetectKind(src, qvfmt::Rules::Library);
    if (!kind_.ok()) return false;
    // Every image header checked (magic, byte 15, byte 31 and flags), each image
    // inside the file with a non-zero data size, and images 2 and 3 of a
    // four-section file of the same versions as images 0 and 1.
    if (qvfmt::WalkSections(src, kind_.kind, qvfmt::Rules::Library, {}, &sections_) != qvfmt::FileError::None)
        return false;
    std::memcpy(firstHeader_, sections_.front().header.data(), sizeof firstHeader_);
    package_ = qvfmt::IsPackageMagic(firstHeader_, qvfmt::Rules::Library);

    if (package_ && qvfmt::ReadPara(src, sections_.back().end, qvfmt::Rules::Library, &para_) == qvfmt::FileError::None) {
        const int mode = (para_.flags >> 1) & 1;
        uint16_t start = 0xFFFF;
        bool keysChecked = true;
        if (qvfmt::HasVirtualKeyFlag(firstHeader_)) {
            keysChecked = qvfmt::ReadVkey(src, para_.end, qvfmt::Rules::Library, &vkeySection_) ==
                          qvfmt::FileError::None;
            if (keysChecked) {
                vkeyCrc_ = TableCrc(vkeySection_.table);
                keysChecked = vkeyCrc_ == vkeySection_.storedCrc;
            }
            vkey_ = keysChecked;
            start = vkeyCrc_;
        }
        paraValid_ = keysChecked && ParameterCrc(mode, start, para_.touch, para_.boot) == para_.crc;
    }

    for (const qvfmt::Section& s : sections_)
        if (!CheckImageData(src, s)) return false;
    return true;
}

void FirmwareFileReader::Reset() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    path_.clear();
    size_ = 0;
    kind_ = {};
    package_ = false;
    std::memset(firstHeader_, 0, sizeof firstHeader_);
    // Swapped out, so the memory goes back now and not at the next Open.
    std::vector<qvfmt::Section>().swap(sections_);
    paraValid_ = false;
    para_ = {};
    vkey_ = false;
    vkeySection_ = {};
    vkeyCrc_ = 0;
}

bool FirmwareFileReader::IsOpen() const { return file_ != nullptr; }
const std::string& FirmwareFileReader::Path() const { return path_; }
int FirmwareFileReader::Kind() const { return kind_.kind; }
uint8_t FirmwareFileReader::KindFlags() const { return kind_.flags; }
bool FirmwareFileReader::IsPackage() const { return package_; }
const uint8_t* FirmwareFileReader::FirstHeader() const { return firstHeader_; }
const std::vector<qvfmt::Section>& FirmwareFileReader::Sections() const { return sections_; }

const qvfmt::Section* FirmwareFileReader::Entry(int entry) const {
    const auto it = std::find_if(sections_.begin(), sections_.end(), [&](const qvfmt::Section& s) { return s.entry == entry; });
    return it == sections_.end() ? nullptr : &*it;
}

bool FirmwareFileReader::ParaValid() const { return paraValid_; }
const qvfmt::ParaSection& FirmwareFileReader::Para() const { return para_; }
bool FirmwareFileReader::HasVkey() const { return vkey_; }
const qvfmt::VkeySection& FirmwareFileReader::Vkey() const { return vkeySection_; }
uint16_t FirmwareFileReader::VkeyCrc() const { return vkeyCrc_; }

bool FirmwareFileReader::ReadAt(uint64_t offset, void* out, size_t n) {
    if (!file_) return false;
    FileSource src(file_, size_);
    return src.read(offset, out, n);
}

uint64_t FirmwareFileReader::Size() const { return size_; }

}  // namespace qvlib::n4

namespace {

using qvlib::n4::FirmwareFileReader;

// The text the file-information exports give (without "QV"): the version text
// of the first image stored in the file that carries a product number and is of
// the first controller series; "" when no image is.
std::string FirstSeriesVersion(const FirmwareFileReader& reader) {
    for (const qvfmt::Section& s : reader.Sections()) {
        const uint8_t* h = s.header.data();
        const bool bigEndian = qvfmt::BigEndianProduct(h);
        const unsigned number = (bigEndian ? unsigned(h[4] << 8 | h[5]) : qvfmt::ReadU16(h + 4)) & 0x7FFF;
        if (number == 0 || bigEndian || number / 1000 == 6) continue;
        return qvfmt::VersionText(h, qvfmt::Rules::Library);
    }
    return {};
}

// Reads the file; on success out (QV_N4_VERSION_TEXT characters) takes "QV" and
// that text, or "" when no image qualifies, and *crc (when asked) the PARA
// checksum or -1.
int FileInfo(const char* path, char* out, int* crc) {
    FirmwareFileReader reader;
    if (!reader.Open(path)) return 0;
    const std::string version = FirstSeriesVersion(reader);
    if (version.empty())
        out[0] = 0;
    else
        std::snprintf(out, size_t(QV_N4_VERSION_TEXT), "QV%s", version.c_str());
    if (crc) *crc = reader.ParaValid() ? int(reader.Para().crc) : -1;
    return 1;
}

// The wide exports: the narrow text copied into at most count and at most
// QV_N4_VERSION_TEXT characters, the terminator included.
int WideFileInfo(const QVWCHAR* path, QVWCHAR* out, int count, int* crc) {
    if (!path || !out || count <= 0) return 0;
    const std::string full = qvlib::n4::FullPathName(qvlib::WideToUtf8(path));
    if (full.empty()) return 0;
    char text[QV_N4_VERSION_TEXT] = {};
    if (!FileInfo(full.c_str(), text, crc)) return 0;
    qvlib::CopyWide(out, std::min<size_t>(size_t(count), size_t(QV_N4_VERSION_TEXT)), qvlib::Utf8ToWide(text).c_str());
    return 1;
}

}  // namespace

extern "C" {

QV_API int QuorvaneN4_GetQVFInfoA(const char* path, int* crc, char* out) {
    if (!path || !crc || !out) return 0;
    return FileInfo(path, out, crc);
}

QV_API int QuorvaneN4_GetQVFInfoW(const QVWCHAR* path, QVWCHAR* out, int count, int* crc) {
    if (!crc) return 0;
    return WideFileInfo(path, out, count, crc);
}

QV_API int QuorvaneN4_GetQVFVersionStrA(const char* path, char* out) {
    if (!path || !out) return 0;
    return FileInfo(path, out, nullptr);
}

QV_API int QuorvaneN4_GetQVFVersionStrW(const QVWCHAR* path, QVWCHAR* out, int count) {
    return WideFileInfo(path, out, count, nullptr);
}

}  // extern "C"
