// Writes the seeds of the fuzz corpora that must be whole, checked files for
// the fuzzer to reach what lies behind their checks:
//   corpus/firmware:     packages of every kind with PARA (both CRC modes) and
//                        VKEY, from the test-side writer (the file layout alone)
//   corpus/expand_panel: expand-panel files with a panel description of each
//                        lens kind, from the program's writer
// Every package written is checked to be accepted by the format reader, so a
// seed that the reader would refuse is never committed.
//   fuzz_make_seeds CORPUS_FOLDER
#include "firmware_writer_support.h"
#include "format/firmware_format.h"
#include "params/expand_panel_file.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using fwtest::Bytes;

bool write(const std::string& path, const Bytes& b) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return bool(f);
}

uint16_t ParameterCrc(int mode, uint16_t start, std::span<const uint8_t> touch, std::span<const uint8_t> boot) {
    return fwtest::parameterCrc(mode, start, Bytes(touch.begin(), touch.end()), Bytes(boot.begin(), boot.end()));
}
uint16_t VkeyCrc(const qvfmt::VKeyTable& t) {
    std::vector<Bytes> entries;
    for (int e = 0; e <= t.usedCount && e < 16; ++e) entries.emplace_back(t.entry[e], t.entry[e] + (t.entrySize < 12 ? t.entrySize : 12));
    return fwtest::vkeyCrc(entries);
}

bool accepted(const Bytes& b) {
    for (qvfmt::Rules rules : {qvfmt::Rules::Program, qvfmt::Rules::Library}) {
        qvfmt::SpanSource src(std::span<const uint8_t>(b.data(), b.size()));
        qvfmt::FirmwareFile f;
        if (qvfmt::ReadFirmwareFile(src, rules, {}, ParameterCrc, VkeyCrc, &f) !=
                qvfmt::FileError::None ||
            !f.package)
            return false;
    }
    return true;
}

fwtest::Image small(const std::string& magic, uint8_t minor, uint8_t fill) {
    fwtest::Image im;
    im.magic = magic;
    im.minor = minor;
    im.data = Bytes(16, fill);
    return im;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds CORPUS_FOLDER\n");
        return 2;
    }
    const std::string corpus = argv[1];
    int failures = 0;

    // Packages: the first image under the package magic, the images its kind
    // has, PARA with small lists, VKEY with a few entries.
    struct Kind {
        const char* magic;
        std::vector<fwtest::Image> more;
    };
    const Kind kinds[] = {
        {"PFPF", {}},
        {"PNPF", {}},
        {"PFPC", {small("PFPC", 5, 0x33)}},
        {"PNPC", {small("PNPC", 5, 0x33)}},
        {"PXPF", {small("QVFF", 6, 0x44)}},
        {"PXPC", {small("QVFF", 5, 0x33), small("PNFF", 6, 0x44), small("PNFF", 6, 0x55)}},
    };
    for (const Kind& k : kinds) {
        for (int variant = 0; variant < 3; ++variant) {
            fwtest::Package p;
            p.magic = k.magic;
            p.images = {small("QVFF", 5, 0x5A)};
            p.images.insert(p.images.end(), k.more.begin(), k.more.end());
            p.para.touch = Bytes(64, 0x11);
            p.para.boot = Bytes(16, 0x22);
            p.para.flags = variant == 1 ? 0x02 : 0x00;  // CRC mode 1
            if (variant != 0) p.vkey = fwtest::vkeyTable(variant, 12);
            const Bytes b = fwtest::package(p);
            const std::string name = corpus + "/firmware/seed_" + k.magic + "_" + std::to_string(variant);
            if (!accepted(b)) {
                std::fprintf(stderr, "fuzz_make_seeds: %s is not accepted by the reader\n", name.c_str());
                ++failures;
                continue;
            }
            if (!write(name, b)) ++failures;
        }
    }

    // Expand-panel files: PARA whose touch list holds the panel description,
    // with each lens kind.
    const char lenses[] = {'G', 'p', 'A', 'a', 'X'};
    for (size_t i = 0; i < sizeof lenses; ++i) {
        fwtest::Para p;
        p.touch = Bytes(140, 0x11);
        p.boot = Bytes(16, 0x22);
        const size_t at = vcx::kExpandPanelDescriptionAt - vcx::kExpandPanelHeader - 8;
        const uint8_t description[12] = {'Q', 'V', 'P', '0', '2', '1', '5', 0, 0x12, uint8_t(0x30 | (i & 1)),
                                         uint8_t(0x10 * i + 8), uint8_t(lenses[i])};
        std::copy(description, description + 12, p.touch.begin() + std::ptrdiff_t(at));
        p.crc = fwtest::parameterCrc(0, 0xFFFF, p.touch, p.boot);
        const Bytes para = fwtest::para(p);
        const auto header = vcx::ExpandPanelHeader(0x6020, {1, 2, 3, 4, 5, 6}, uint8_t(i));
        const Bytes file = vcx::ExpandPanelFileBytes(header, para);
        const std::string name = corpus + "/expand_panel/lens_" + std::string(1, lenses[i]) + ".ppl";
        if (!vcx::ParseExpandPanelFile(file)) {
            std::fprintf(stderr, "fuzz_make_seeds: %s is not accepted by the reader\n", name.c_str());
            ++failures;
            continue;
        }
        if (!write(name, file)) ++failures;
    }
    return failures ? 1 : 0;
}
