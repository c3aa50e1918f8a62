#include "params/expand_panel_file.h"

#include "format/checksum.h"

#include <numeric>

namespace vcx {

namespace {
uint8_t complementOfSum(const uint8_t* p, size_t n) {
    return uint8_t(~std::accumulate(p, p + n, 0u));
}
} // namespace

uint16_t ExpandPanelCrc(std::span<const uint8_t> bytes) { return qvfmt::Checksum16(0xFFFF, bytes); }

std::array<uint8_t, 16> ExpandPanelHeader(uint16_t product, const std::array<uint8_t, 6>& identity, uint8_t index) {
    std::array<uint8_t, 16> h{'E', 'P', 'H', 'D', uint8_t(product & 0xFF), uint8_t(product >> 8)};
    for (size_t i = 0; i < 6; ++i) h[6 + i] = identity[i];
    h[12] = index;
    h[13] = 0x00;
    h[14] = 0x20;
    h[15] = complementOfSum(h.data(), 15);
    return h;
}

std::array<uint8_t, 6> ExpandPanelIdentity(const uint8_t* fw) {
    return {fw[6], fw[12], fw[8], fw[13], fw[11], fw[10]};
}

std::vector<uint8_t> ExpandPanelFileBytes(const std::array<uint8_t, 16>& header, std::span<const uint8_t> para) {
    std::vector<uint8_t> out(header.begin(), header.end());
    out.insert(out.end(), para.begin(), para.end());
    out.push_back(0);
    out.push_back(0);
    const uint16_t crc = ExpandPanelCrc(out);
    out[out.size() - 2] = uint8_t(crc & 0xFF);
    out[out.size() - 1] = uint8_t(crc >> 8);
    return out;
}

std::optional<ExpandPanelFile> ParseExpandPanelFile(std::span<const uint8_t> b) {
    constexpr size_t kPara = kExpandPanelHeader;
    if (b.size() < kPara + 8 + 2 + 2) return std::nullopt;
    if (b[0] != 'E' || b[1] != 'P' || b[2] != 'H' || b[3] != 'D') return std::nullopt;
    if (b[15] != complementOfSum(b.data(), 15) || (b[14] >> 4) != 2) return std::nullopt;
    const uint8_t* p = b.data() + kPara;
    if (p[0] != 'P' || p[1] != 'A' || p[2] != 'R' || p[3] != 'A' || p[6] > 3 || p[7] != complementOfSum(p, 7))
        return std::nullopt;
    const size_t t = p[4], bl = p[5];
    if (b.size() != 28 + t + bl) return std::nullopt;
    std::vector<uint8_t> check(b.begin(), b.end());
    const uint16_t stored = uint16_t(check[check.size() - 2] | check[check.size() - 1] << 8);
    check[check.size() - 2] = check[check.size() - 1] = 0;
    if (ExpandPanelCrc(check) != stored) return std::nullopt;
    ExpandPanelFile f;
    f.index = b[12];
    f.product = uint16_t(b[4] | b[5] << 8);
    // The description is read only where the touch list holds it.
    if (kExpandPanelDescriptionAt + 12 <= kPara + 8 + t) {
        f.hasDescription = true;
        std::copy_n(b.begin() + kExpandPanelDescriptionAt, 12, f.description.begin());
    }
    return f;
}

QString PanelDisplayName(const std::array<uint8_t, 12>& d) {
    QString name;
    for (int i = 0; i < 8; ++i) name += d[size_t(i)] ? QChar(char16_t(d[size_t(i)])) : QChar(u' ');
    name += QString::asprintf(" %X.%X", unsigned(d[8]), unsigned(d[9] >> 4));
    if (d[9] & 1) name += QStringLiteral(" (W)");
    return name;
}

QString PanelLensText(const std::array<uint8_t, 12>& d) {
    QString t = QString::asprintf("%d.%d mm", d[10] >> 4, d[10] & 15);
    switch (d[11]) {
    case 'G':
    case 'g': t += QStringLiteral(" Glass"); break;
    case 'P':
    case 'p': t += QStringLiteral(" Polymer"); break;
    case 'A':
    case 'a': t += QStringLiteral(" Film") + QChar(char16_t(d[11])); break;
    default: break;
    }
    return t;
}

QString PanelFileName(const std::array<uint8_t, 12>& d) {
    QString name;
    for (int i = 0; i < 8; ++i) {
        const uint8_t ch = d[size_t(i)];
        const bool safe = ch >= 0x20 && ch < 0x7F && ch != '/' && ch != '\\';
        name += safe ? QChar(char16_t(ch)) : QChar(u'_');
    }
    name.replace(QStringLiteral(".."), QStringLiteral("__"));
    const char* material = (d[11] == 'G' || d[11] == 'g') ? "_Glass" : (d[11] == 'P' || d[11] == 'p') ? "_Polymer" : "_Film";
    return name + QString::asprintf("_%d_%d_mm%s", d[10] >> 4, d[10] & 15, material);
}

} // namespace vcx
