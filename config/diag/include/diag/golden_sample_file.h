// Golden-sample files: the raw-count image of a known-good panel as a CSV text,
// its writing and its strict reading, and the text routines that match a golden
// sample with the connected device. Plain C++ (no Qt): the fuzz target links it
// alone.
//
// A file, line by line ("\n" is "\r\n" on disk, through the text-mode writer):
//   [VCXM]
//   Firmware Version:,<version cut before "Boot"> 
//   Parameters CRC:,<decimal>,<hex, 4 digits>
//   Average Count:,<n>
//   [GoldenSample]
//   ,0,1,...,B-1,
//   r,v0,v1,...,vB-1,          one line per row r = 0..A-1
//   <empty line>
#pragma once

#include "text/text_file.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vcx {

constexpr std::string_view kGoldenSampleTitle = "[GoldenSample]";

struct GoldenSampleFile {
    std::string firmwareVersion;
    uint16_t parametersCrc = 0;
    uint16_t averageCount = 0;   // 1..65535
    std::vector<uint16_t> grid;  // A x B, row after row
};

// When `line` contains `key`: *out is the text after the line's first comma,
// trimmed, and the result is true.
bool ParseGoldenSampleField(std::string_view line, std::string* out, std::string_view key);
// The version text ending three characters before its first "Boot" (at index 3
// or later); unchanged without one.
std::string StripBootVersionText(std::string_view version);
// Same firmware version (each cut before "Boot" and trimmed) and the same
// parameter CRC.
bool IsGoldenSampleForDevice(std::string_view goldenVersion, uint16_t goldenCrc, std::string_view deviceVersion,
                             uint16_t deviceCrc);
// Reads lines until one contains `title`, skips the column header, then reads
// `rows` lines of exactly `columns` values 0..65535 each after the row number
// into *grid. False when a line is missing or a row is not such a row.
bool ReadGoldenSampleGrid(qvtext::LineReader& lines, int rows, int columns, std::string_view title,
                          std::vector<uint16_t>* grid);
// A whole file's text: the three fields in order (an average count of 1..65535),
// the device check, then the grid. False, with *out unchanged, on anything missing
// or malformed, or when the golden sample belongs to another firmware or CRC.
bool ParseGoldenSampleText(std::string_view text, int rows, int columns, std::string_view deviceVersion,
                           uint16_t deviceCrc, GoldenSampleFile* out);
// The file's text with "\n" line ends (the version cut before "Boot"); empty
// when the grid does not hold rows x columns values.
std::string FormatGoldenSampleText(const GoldenSampleFile& file, int rows, int columns);
// Writes that text through the text-mode writer (mode "w"); false when there is
// nothing to write or a byte did not reach the file.
bool WriteGoldenSampleFile(const char* path, const GoldenSampleFile& file, int rows, int columns);

}  // namespace vcx
