#include "diag/golden_sample_file.h"

#include <cstdio>

namespace vcx {

namespace {

std::string_view trim(std::string_view s) {
    constexpr std::string_view blanks = " \t\r\n";
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) return {};
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

// A decimal number of digits only, at most `max`.
bool decimal(std::string_view s, uint32_t max, uint32_t* out) {
    if (s.empty() || s.size() > 10) return false;
    uint64_t v = 0;
    for (char ch : s) {
        if (ch < '0' || ch > '9') return false;
        v = v * 10 + uint64_t(ch - '0');
    }
    if (v > max) return false;
    *out = uint32_t(v);
    return true;
}

// Reads lines until one holds `key`; its field in *out.
bool nextField(qvtext::LineReader& lines, std::string_view key, std::string* out) {
    std::string_view line;
    while (lines.next(&line))
        if (ParseGoldenSampleField(line, out, key)) return true;
    return false;
}

// One grid row: "r,v0,...,vB-1," (the trailing comma may be missing).
bool parseRow(std::string_view line, int columns, std::vector<uint16_t>* grid) {
    line = trim(line);
    const size_t comma = line.find(',');
    if (comma == std::string_view::npos) return false;
    std::string_view rest = line.substr(comma + 1);
    if (!rest.empty() && rest.back() == ',') rest.remove_suffix(1);
    int count = 0;
    while (count < columns) {
        const size_t end = rest.find(',');
        uint32_t v = 0;
        if (!decimal(trim(rest.substr(0, end)), 0xFFFF, &v)) return false;
        grid->push_back(uint16_t(v));
        ++count;
        if (end == std::string_view::npos) {
            rest = {};
            break;
        }
        rest.remove_prefix(end + 1);
        if (count == columns) return false;  // a value more than the row holds
    }
    return count == columns && rest.empty();
}

}  // namespace

bool ParseGoldenSampleField(std::string_view line, std::string* out, std::string_view key) {
    if (line.find(key) == std::string_view::npos) return false;
    const size_t comma = line.find(',');
    *out = std::string(comma == std::string_view::npos ? std::string_view() : trim(line.substr(comma + 1)));
    return true;
}

std::string StripBootVersionText(std::string_view version) {
    const size_t p = version.find("Boot");
    if (p != std::string_view::npos && p >= 3) return std::string(version.substr(0, p - 3));
    return std::string(version);
}

bool IsGoldenSampleForDevice(std::string_view goldenVersion, uint16_t goldenCrc, std::string_view deviceVersion,
                             uint16_t deviceCrc) {
    return trim(StripBootVersionText(goldenVersion)) == trim(StripBootVersionText(deviceVersion)) &&
           goldenCrc == deviceCrc;
}

bool ReadGoldenSampleGrid(qvtext::LineReader& lines, int rows, int columns, std::string_view title,
                          std::vector<uint16_t>* grid) {
    if (rows <= 0 || columns <= 0) return false;
    std::string_view line;
    bool found = false;
    while (!found && lines.next(&line)) found = line.find(title) != std::string_view::npos;
    if (!found || !lines.next(&line)) return false;  // the column header
    std::vector<uint16_t> values;
    values.reserve(size_t(rows) * size_t(columns));
    for (int r = 0; r < rows; ++r)
        if (!lines.next(&line) || !parseRow(line, columns, &values)) return false;
    *grid = std::move(values);
    return true;
}

bool ParseGoldenSampleText(std::string_view text, int rows, int columns, std::string_view deviceVersion,
                           uint16_t deviceCrc, GoldenSampleFile* out) {
    qvtext::LineReader lines(text);
    GoldenSampleFile f;
    std::string field;
    if (!nextField(lines, "Firmware Version:", &f.firmwareVersion)) return false;
    uint32_t v = 0;
    if (!nextField(lines, "Parameters CRC:", &field) || !decimal(field.substr(0, field.find(',')), 0xFFFF, &v))
        return false;
    f.parametersCrc = uint16_t(v);
    if (!nextField(lines, "Average Count:", &field) || !decimal(field, 0xFFFF, &v) || v == 0) return false;
    f.averageCount = uint16_t(v);
    if (!IsGoldenSampleForDevice(f.firmwareVersion, f.parametersCrc, deviceVersion, deviceCrc)) return false;
    if (!ReadGoldenSampleGrid(lines, rows, columns, kGoldenSampleTitle, &f.grid)) return false;
    *out = std::move(f);
    return true;
}

std::string FormatGoldenSampleText(const GoldenSampleFile& file, int rows, int columns) {
    if (rows <= 0 || columns <= 0 || file.grid.size() != size_t(rows) * size_t(columns)) return {};
    std::string t = "[VCXM]\n";
    // A blank stands before the line end of the version.
    t += "Firmware Version:," + StripBootVersionText(file.firmwareVersion) + " \n";
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", unsigned(file.parametersCrc));
    t += "Parameters CRC:," + std::to_string(file.parametersCrc) + "," + hex + "\n";
    t += "Average Count:," + std::to_string(file.averageCount) + "\n";
    t += std::string(kGoldenSampleTitle) + "\n,";
    for (int c = 0; c < columns; ++c) t += std::to_string(c) + ",";
    t += "\n";
    for (int r = 0; r < rows; ++r) {
        t += std::to_string(r) + ",";
        for (int c = 0; c < columns; ++c) t += std::to_string(file.grid[size_t(r) * size_t(columns) + size_t(c)]) + ",";
        t += "\n";
    }
    t += "\n";
    return t;
}

bool WriteGoldenSampleFile(const char* path, const GoldenSampleFile& file, int rows, int columns) {
    const std::string text = FormatGoldenSampleText(file, rows, columns);
    if (text.empty()) return false;
    qvtext::TextWriter w(path, qvtext::TextWriter::Mode::Create);
    if (!w.isOpen()) return false;
    w.write(text);
    return w.close();
}

}  // namespace vcx
