// Fuzz target: the firmware format reader under both rule sets must take any
// bytes. What it accepts lies inside the file: every section in order and in
// bounds, its data as long as its header says, a package's PARA and VKEY as
// the writers would write them back, and a package header made from any
// accepted first header passes the header check.
#include "firmware_writer_support.h"
#include "format/firmware_format.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// The two CRCs as the test-side writer computes them (from the file layout
// alone), so that whole packages pass their checks and the package checks and
// the PARA and VKEY readers behind them run.
uint16_t ParameterCrc(int mode, uint16_t start, std::span<const uint8_t> touch, std::span<const uint8_t> boot) {
    return fwtest::parameterCrc(mode, start, fwtest::Bytes(touch.begin(), touch.end()),
                                fwtest::Bytes(boot.begin(), boot.end()));
}
uint16_t VkeyCrc(const qvfmt::VKeyTable& t) {
    std::vector<fwtest::Bytes> entries;
    for (int e = 0; e <= t.usedCount && e < 16; ++e)
        entries.emplace_back(t.entry[e], t.entry[e] + (t.entrySize < 12 ? t.entrySize : 12));
    return fwtest::vkeyCrc(entries);
}

void Check(const uint8_t* data, size_t size, qvfmt::Rules rules) {
    qvfmt::SpanSource src(std::span<const uint8_t>(data, size));
    qvfmt::FirmwareFile f;
    const qvfmt::FileError e = qvfmt::ReadFirmwareFile(src, rules, {}, ParameterCrc, VkeyCrc, &f);
    if (e != qvfmt::FileError::None) return;
    if (!f.kind.ok() || f.sections.empty()) __builtin_trap();
    uint64_t at = 0;
    for (const qvfmt::Section& s : f.sections) {
        if (s.offset != at || s.end > size || s.end <= s.dataOffset) __builtin_trap();
        if (f.data[size_t(s.entry)].size() != s.dataSize || s.dataSize == 0) __builtin_trap();
        if (qvfmt::TrailerOf(data + s.dataOffset, s.dataSize) != qvfmt::ReadU32(data + s.dataOffset + s.dataSize))
            __builtin_trap();
        if (qvfmt::CheckSectionData(src, s) != qvfmt::FileError::None) __builtin_trap();
        at = s.end;
    }
    if (f.package) {
        const qvfmt::ParaSection& p = f.tail.paraSection;
        const auto para = qvfmt::ParaBytes(p.flags, p.touch, p.boot, p.crc);
        if (!para || p.end > size || para->size() > p.end || std::memcmp(para->data(), data + p.end - para->size(), para->size()))
            __builtin_trap();
        if (f.tail.vkey) {
            qvfmt::VKeyTable t = f.tail.vkeySection.table;
            t.crc = f.tail.vkeySection.storedCrc;
            const auto vkey = qvfmt::VkeyBytes(t);
            if (!vkey || f.tail.vkeySection.end > size ||
                std::memcmp(vkey->data(), data + p.end, vkey->size()) != 0)
                __builtin_trap();
        }
    }
    const uint8_t* first = f.sections.front().header.data();
    qvfmt::PackageHeaderOptions o;
    o.kindFlags = f.kind.flags;
    o.virtualKeys = qvfmt::VKeyFlag::Set;
    const auto pkg = qvfmt::PackageHeader(first, o);
    const qvfmt::HeaderCheck c = qvfmt::CheckHeader(pkg.data(), rules);
    if (c != qvfmt::HeaderCheck::Ok && c != qvfmt::HeaderCheck::NewerVersion) __builtin_trap();
    (void)qvfmt::VersionText(first, rules);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Check(data, size, qvfmt::Rules::Program);
    Check(data, size, qvfmt::Rules::Library);
    return 0;
}
