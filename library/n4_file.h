// The N4 family's firmware file reader: a firmware image file or a PFP package
// opened, classified and checked under the library's reading of the format
// (magics compared after upper-casing, the virtual-key table's stored CRC
// checked). The update engine and the file-information exports read through it.
//
// The file stays open while the reader holds it and is read where it is needed:
// data are summed in chunks, never loaded whole. Open either accepts the whole
// file (every header, every section inside the file, every data trailer right)
// or keeps nothing.
//
// PARA and VKEY: a package's parameter lists are valid when their CRC (the
// variant PARA flag bit 1 selects) matches the stored one, computed from 0xFFFF,
// or from the virtual-key table's CRC when the package header's flag bit 3 says
// a VKEY section follows; the VKEY section then must check too (header sum,
// magic, format 2, the table's CRC equal to the stored one). A PARA or VKEY
// section that does not check leaves the file usable for its firmware: only
// ParaValid() and HasVkey() say false.
#pragma once

#include "format/firmware_format.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qvlib::n4 {

class FirmwareFileReader {
public:
    FirmwareFileReader() = default;
    ~FirmwareFileReader();
    FirmwareFileReader(const FirmwareFileReader&) = delete;
    FirmwareFileReader& operator=(const FirmwareFileReader&) = delete;

    // Keeps the path, opens the file for reading, classifies it, checks every image
    // header, walks the sections, reads PARA/VKEY and checks every image's trailer
    // (summed in 0x7FFF-byte chunks). false = invalid; nothing is kept then.
    bool Open(const std::string& path);
    // Closes the file and frees the lists; the reader is as new.
    void Reset();
    bool IsOpen() const;
    // The path Open was given ("" when nothing is open).
    const std::string& Path() const;
    // The file kind, 0..3 (-1 when nothing is open).
    int Kind() const;
    // The kind flags: qvfmt::kKindConfigImage, kKindNewFormat, kKindTwoImages,
    // kKindFourSections.
    uint8_t KindFlags() const;
    // True when the first header carries a package magic.
    bool IsPackage() const;
    // The file's first header, 32 bytes (bytes 16..31 zero after a 16-byte header).
    const uint8_t* FirstHeader() const;
    // Every image in file order, with its header, data offset and size.
    const std::vector<qvfmt::Section>& Sections() const;
    // The image of an entry 0..3, nullptr when the file has none.
    const qvfmt::Section* Entry(int entry) const;
    // The PARA section checked (see above); Para() holds what was read either way.
    bool ParaValid() const;
    const qvfmt::ParaSection& Para() const;
    // A VKEY section that checked; Vkey() holds its table.
    bool HasVkey() const;
    const qvfmt::VkeySection& Vkey() const;
    // The virtual-key CRC computed over the table (the stored one when HasVkey()).
    uint16_t VkeyCrc() const;
    // n bytes of the file at offset; false when they are not all there.
    bool ReadAt(uint64_t offset, void* out, size_t n);
    // The file's size in bytes.
    uint64_t Size() const;

private:
    bool Load();

    std::string path_;
    std::FILE* file_ = nullptr;
    uint64_t size_ = 0;
    qvfmt::Kind kind_;
    bool package_ = false;
    uint8_t firstHeader_[32] = {};
    std::vector<qvfmt::Section> sections_;
    bool paraValid_ = false;
    qvfmt::ParaSection para_;
    bool vkey_ = false;
    qvfmt::VkeySection vkeySection_;
    uint16_t vkeyCrc_ = 0;
};

}  // namespace qvlib::n4
