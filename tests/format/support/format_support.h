// The format module's tests: the test-side CRCs as the module's callbacks.
#pragma once

#include "format/firmware_format.h"
#include "firmware_writer_support.h"

namespace fmttest {

inline qvfmt::ParameterCrcFn parameterCrc() {
    return [](int mode, uint16_t start, std::span<const uint8_t> t, std::span<const uint8_t> b) {
        return fwtest::parameterCrc(mode, start, fwtest::Bytes(t.begin(), t.end()), fwtest::Bytes(b.begin(), b.end()));
    };
}

inline qvfmt::VirtualKeyCrcFn vkeyCrc() {
    return [](const qvfmt::VKeyTable& t) {
        std::vector<fwtest::Bytes> entries;
        for (int e = 0; e <= t.usedCount && e < 16; ++e)
            entries.emplace_back(t.entry[e], t.entry[e] + std::min<int>(t.entrySize, 12));
        return fwtest::vkeyCrc(entries);
    };
}

inline qvfmt::FileError read(const fwtest::Bytes& file, qvfmt::Rules rules, qvfmt::FirmwareFile* out) {
    qvfmt::SpanSource src(file);
    return qvfmt::ReadFirmwareFile(src, rules, {}, parameterCrc(), vkeyCrc(), out);
}

}  // namespace fmttest
