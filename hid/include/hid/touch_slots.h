// Touch-report slots: a multi-touch input report is its report-id byte, then
// slots one after the other, each starting with the 5-byte touch packet
// {status, X lo, X hi, Y lo, Y hi}. Most reports pack the slots tightly (5
// bytes apart); some report forms space them wider.
//
// Pure code: the library's touch notifications and QVDraw3 cut their reports
// into slots here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qvhid {

constexpr size_t kTouchPacketBytes = 5;
using TouchPacket = std::array<uint8_t, kTouchPacketBytes>;

// The packets of a report's slots, in report order: (size - 1) / stride slots,
// slot i at byte 1 + i * stride, a part shorter than a stride at the end is
// no slot. Empty slots (all zero) are kept. A stride shorter than a packet
// holds no packet: no slots then.
std::vector<TouchPacket> touchReportSlots(std::span<const uint8_t> report, size_t stride = kTouchPacketBytes);

}  // namespace qvhid
