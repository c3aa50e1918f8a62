#include "params/parameter_ini_format.h"

#include "QV_Standard.h"
#include "text/text_file.h"

#include <QList>

#include <algorithm>
#include <cstdio>

namespace vcx {

std::array<uint8_t, 11> IdentityLine(const FirmwareInformationW& info, int touchLength, int bootLength) {
    const auto* b = reinterpret_cast<const uint8_t*>(&info);
    return {0, 1, uint8_t(info.productNumber & 0xFF), uint8_t(info.productNumber >> 8), b[6], b[12], b[8], b[13],
            b[10], b[11], uint8_t((touchLength + bootLength) % 256)};
}

namespace {

void appendF(QByteArray& out, const char* format, auto... args) {
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n > 0) out.append(buffer, std::min(n, int(sizeof buffer) - 1));
}

// Rows of 16 "%02X" separated by ", "; a last row holds the rest the same way.
void hexRows(QByteArray& out, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        appendF(out, "%02X", unsigned(bytes[i]));
        out += (i % 16 == 15 || i + 1 == bytes.size()) ? "\n" : ", ";
    }
}

// The first `count` lines of a text whose lines end in "\n" or "\r\n".
std::vector<QByteArray> firstLines(const QByteArray& bytes, int count) {
    std::vector<QByteArray> lines;
    qvtext::LineReader reader(std::string_view(bytes.constData(), size_t(bytes.size())));
    std::string_view line;
    while (int(lines.size()) < count && reader.next(&line)) lines.emplace_back(line.data(), qsizetype(line.size()));
    return lines;
}

// Exactly `count` decimal values 0..255 separated by blanks.
std::optional<std::vector<uint8_t>> values(const QByteArray& line, int count) {
    const QList<QByteArray> words = line.simplified().split(' ');
    std::vector<uint8_t> out;
    for (const QByteArray& w : words) {
        if (w.isEmpty()) continue;
        bool ok = false;
        const int v = w.toInt(&ok, 10);
        if (!ok || v < 0 || v > 255) return std::nullopt;
        out.push_back(uint8_t(v));
    }
    if (int(out.size()) != count) return std::nullopt;
    return out;
}

} // namespace

QByteArray FormatParameterIni(const ParameterIniContent& c) {
    QByteArray out;
    for (uint8_t v : c.identity) appendF(out, "%03d ", int(v));
    out += '\n';
    for (uint8_t v : c.touch) appendF(out, "%03d ", int(v));
    out += '\n';
    for (uint8_t v : c.boot) appendF(out, "%03d ", int(v));
    out += '\n';
    out += "\n[Firmware Information]\n";
    out += "Firmware Version : " + c.firmwareVersion.toUtf8() + "\n";
    appendF(out, "Parameters CRC : x%04X\n", unsigned(c.crc));
    out += "\n[Touch Firmware Parameters]\n";
    hexRows(out, c.touch);
    out += "\n[Boot Firmware Parameters]\n";
    hexRows(out, c.boot);
    out += "\n[Feature Flags]\n";
    out += "Flag\t1,\t2,\t3,\t4,\t5,\t6,\t7,\t8,\n";
    for (uint8_t f : c.features) appendF(out, "\t%02X,", unsigned(f));
    out += '\n';
    return out;
}

std::optional<ParameterLists> ParseParameterIni(const QByteArray& bytes, const std::array<uint8_t, 11>& identity,
                                                int touchLength, int bootLength) {
    const std::vector<QByteArray> lines = firstLines(bytes, 3);
    if (lines.size() < 3) return std::nullopt;
    const auto id = values(lines[0], 11);
    if (!id || !std::equal(id->begin(), id->end(), identity.begin())) return std::nullopt;
    auto touch = values(lines[1], touchLength);
    auto boot = values(lines[2], bootLength);
    if (!touch || !boot) return std::nullopt;
    return ParameterLists{std::move(*touch), std::move(*boot)};
}

} // namespace vcx
