// The 16-bit checksum of the controller's files and lists (parameter images,
// virtual-key tables, expand-panel files): the value shifted left one data bit
// at a time, each byte's most significant bit first entering at bit 0, XORed
// with 0x1021 whenever a 1 leaves at the top. Callers that want the remainder of
// a message append two zero bytes (the expand-panel file) or give the start
// value their format names.
#pragma once

#include <cstdint>
#include <span>

namespace qvfmt {

uint16_t Checksum16(uint16_t start, std::span<const uint8_t> bytes);

} // namespace qvfmt
