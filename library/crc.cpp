// Parameter and virtual-key checksums, computed over caller images and read
// from the controller.
#include "internal.h"

#include <algorithm>
#include <cstddef>
#include <vector>

static_assert(sizeof(VButtonTable) == 196, "VButtonTable is 196 bytes");
static_assert(offsetof(VButtonTable, entrySize) == 192 && offsetof(VButtonTable, usedCount) == 193 &&
                  offsetof(VButtonTable, crc) == 194,
              "VButtonTable keeps its entry size, count and checksum at 192, 193 and 194");

namespace qvlib {
namespace {

constexpr size_t kTableEntries = 16;
constexpr size_t kTableEntryBytes = 12;

}  // namespace

uint16_t ChecksumBytes(uint16_t crc, const uint8_t* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = crc & 0x8000;
            crc = static_cast<uint16_t>((crc << 1) | ((data[i] >> bit) & 1));
            if (top) crc ^= 0x1021;
        }
    }
    return crc;
}

uint16_t ParameterImageCrc(int mode, uint16_t start, const uint8_t* touch, size_t touchLength,
                           const uint8_t* boot, size_t bootLength) {
    // A working copy: the caller's images are only read, and only within their lengths.
    std::vector<uint8_t> t(touch, touch + touchLength);
    std::vector<uint8_t> b(boot, boot + bootLength);
    // Positions beyond a short image are not part of it and stay untouched.
    auto clear = [](std::vector<uint8_t>& image, size_t at) {
        if (at < image.size()) image[at] = 0;
    };
    if (mode == 0) clear(t, 61);
    clear(t, 63);
    if (t.size() > 64) clear(t, 127);
    clear(b, 15);
    if (b.size() > 16) {
        clear(b, 61);
        clear(b, 63);
    }
    if (mode == 0 && !b.empty() && b[0] >= 64) b[0] &= 0xC0;
    uint16_t crc = ChecksumBytes(start, t.data(), t.size());
    return ChecksumBytes(crc, b.data(), b.size());
}

uint16_t VirtualKeyCrc(const VButtonTable& table) {
    // Entries 0..usedCount inclusive, but never past the table's 16 entries of 12 bytes.
    const size_t entries = std::min<size_t>(size_t(table.usedCount) + 1, kTableEntries);
    const size_t bytes = std::min<size_t>(table.entrySize, kTableEntryBytes);
    uint16_t crc = 0xFFFF;
    for (size_t e = 0; e < entries; ++e) crc = ChecksumBytes(crc, table.entry[e], bytes);
    return crc;
}

}  // namespace qvlib

using namespace qvlib;

namespace {

bool ImagesUsable(const uint32_t lengths[2], const uint8_t* const images[2], const uint16_t* crc) {
    if (!lengths || !images || !crc) return false;
    for (int i = 0; i < 2; ++i)
        if (lengths[i] && !images[i]) return false;
    return true;
}

// The checksum the controller keeps: E0 00 FA, reply bytes 2 (high) and 1 (low).
int ReadControllerCrc(HANDLE handle, uint16_t* crc) {
    uint32_t word = 0;
    if (!ReadRegisterWord(handle, 0x00, 0xFA, &word)) return 0;
    *crc = static_cast<uint16_t>(word & 0xFFFF);
    return 1;
}

}  // namespace

extern "C" {

QV_API int QuorvaneN4_CalSWParamCRCEx(int mode, uint16_t start, const uint32_t lengths[2],
                                      const uint8_t* const images[2], uint16_t* crc) {
    if (ImagesUsable(lengths, images, crc))
        *crc = ParameterImageCrc(mode, start, images[0], lengths[0], images[1], lengths[1]);
    // This family reports 0 whether or not it computed.
    return 0;
}

QV_API int QuorvaneN4_CalSWParamCRC(int mode, const uint32_t lengths[2], const uint8_t* const images[2],
                                    uint16_t* crc) {
    return QuorvaneN4_CalSWParamCRCEx(mode, 0xFFFF, lengths, images, crc);
}

QV_API int CalculateParameterCRCEx(int mode, uint16_t start, const uint32_t lengths[2],
                                   const uint8_t* const images[2], uint16_t* crc) {
    if (!ImagesUsable(lengths, images, crc)) return 0;
    QuorvaneN4_CalSWParamCRCEx(mode, start, lengths, images, crc);
    return 1;
}

QV_API int CalculateParameterCRC(int mode, const uint32_t lengths[2], const uint8_t* const images[2],
                                 uint16_t* crc) {
    return CalculateParameterCRCEx(mode, 0xFFFF, lengths, images, crc);
}

QV_API int QuorvaneN4_CalVKeyCRC(VButtonTable* table) {
    if (!table) return 0;
    table->crc = VirtualKeyCrc(*table);
    return 1;
}

QV_API int CalculateVirtualButtonCRC(VButtonTable* table) { return QuorvaneN4_CalVKeyCRC(table); }

QV_API int GetParameterCRC(HANDLE handle, uint16_t* crc) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !crc || d->byQVOstraMelk != QV_SERIES_CURRENT) return 0;
    if (!(d->byFeature[4] & 0x10)) return 0;  // the controller keeps no checksum
    return ReadControllerCrc(handle, crc);
}

QV_API int GetParameterCRCEx(HANDLE handle, const ParameterList* lists, uint16_t* crc) {
    DeviceLock lock(handle);
    DevInfo* d = lock.record();
    if (!d || !crc || d->byQVOstraMelk != QV_SERIES_CURRENT) return 0;
    if (d->byFeature[4] & 0x10) return ReadControllerCrc(handle, crc);
    if (!lists) return 0;
    if ((lists->touchLength && !lists->touchList) || (lists->bootLength && !lists->bootList)) return 0;
    *crc = ParameterImageCrc(0, 0xFFFF, lists->touchList, lists->touchLength, lists->bootList, lists->bootLength);
    return 1;
}

}  // extern "C"
