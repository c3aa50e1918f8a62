// The bytes of an expand-panel setting file (".ppl"): a 16-byte "EPHD" header,
// the PARA section of the touch and boot parameter lists, and a 16-bit CRC
// trailer. Pure functions: building, checking and reading a file, the texts of
// a panel description and the file name an exported panel gets.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vcx {

constexpr size_t kExpandPanelHeader = 16;
constexpr size_t kExpandPanelDescriptionAt = 152;  // file offset of the 12-byte panel description

// The file's CRC: the controller files' 16-bit checksum (qvfmt::Checksum16,
// polynomial 0x1021) from 0xFFFF over the bytes given.
uint16_t ExpandPanelCrc(std::span<const uint8_t> bytes);

// "EPHD", the product number (little-endian), six identity bytes, the panel
// index, 0x00, 0x20, the complement of the sum of bytes 0..14.
std::array<uint8_t, 16> ExpandPanelHeader(uint16_t product, const std::array<uint8_t, 6>& identity, uint8_t index);
// The six identity bytes of a firmware-information record: its bytes at
// offsets 6, 12, 8, 13, 11 and 10.
std::array<uint8_t, 6> ExpandPanelIdentity(const uint8_t* firmwareInformation);

// Header, PARA section, trailer: the CRC over a zero-filled buffer of
// 28 + t + b bytes that holds the header and the PARA section, stored
// little-endian in its last two bytes.
std::vector<uint8_t> ExpandPanelFileBytes(const std::array<uint8_t, 16>& header, std::span<const uint8_t> para);

struct ExpandPanelFile {
    uint8_t index = 0;
    uint16_t product = 0;
    bool hasDescription = false;  // the description lies inside the touch list
    std::array<uint8_t, 12> description{};
};
// A file as the catalogue takes it: its exact length (28 + t + b), "EPHD", the
// header sum, a version nibble of 2, a PARA section with its magic, header sum
// and flags 0..3, and the trailer. Anything else: nullopt.
std::optional<ExpandPanelFile> ParseExpandPanelFile(std::span<const uint8_t> bytes);

// The panel description's display name: eight name characters (a zero byte
// shown as a blank), a blank, "%X.%X" of the size byte and the tenths nibble,
// " (W)" when bit 0 of the tenths byte is set.
QString PanelDisplayName(const std::array<uint8_t, 12>& d);
// "%d.%d mm" of the thickness nibbles and " Glass", " Polymer" or " Film".
QString PanelLensText(const std::array<uint8_t, 12>& d);
// "%c%c%c%c%c%c%c%c_%d_%d_mm_Glass" (or _Polymer, _Film): the name characters
// made safe for a file name ('/', '\\', control and zero bytes and anything
// outside ASCII become '_', as does each "..").
QString PanelFileName(const std::array<uint8_t, 12>& d);

} // namespace vcx
