// The parameter INI file's bytes without any device or window: the firmware
// name, the identity line, the whole text and the reading of lines 1..3. Linked
// by the program and by the parser's fuzz target.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

struct FirmwareInformationW;

namespace vcx {

// Line 1 as the export writes it for this controller: 0, 1, the model's low and
// high byte, the information bytes at 6, 12, 8, 13, 10, 11, and (touch length +
// boot length) mod 256.
std::array<uint8_t, 11> IdentityLine(const FirmwareInformationW& info, int touchLength, int bootLength);

struct ParameterIniContent {
    std::array<uint8_t, 11> identity{};
    std::vector<uint8_t> touch, boot;
    QString firmwareVersion;
    uint16_t crc = 0;
    std::array<uint8_t, 8> features{};
};
// The whole file as text with "\n" line ends (the text-mode writer makes them "\r\n").
QByteArray FormatParameterIni(const ParameterIniContent& content);

// Reads lines 1..3 of a file: line 1 must be eleven numbers equal to
// `identity`, then exactly touchLength and bootLength values 0..255 (lines end
// in "\n" or "\r\n"). nullopt when anything differs or is missing.
struct ParameterLists {
    std::vector<uint8_t> touch, boot;
};
std::optional<ParameterLists> ParseParameterIni(const QByteArray& bytes, const std::array<uint8_t, 11>& identity,
                                                int touchLength, int bootLength);

} // namespace vcx
