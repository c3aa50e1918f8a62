// A small GIF writer for tests: a logical screen with a global colour table,
// extensions, and frames of colour indices, each with or without a graphic
// control extension and a local colour table. The image data is LZW of
// literal codes only (a clear code before the table would widen the codes),
// which every GIF decoder reads; it is written apart from the program's own
// picture generator, so the two check each other.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

using Bytes = std::vector<uint8_t>;

struct Frame {
    int left = 0, top = 0, width = 1, height = 1;
    Bytes pixels;                   // width x height colour indices, row by row
    bool control = true;            // a graphic control extension before the image
    uint16_t delay = 10;            // 1/100 s
    uint8_t disposal = 1;
    int transparent = -1;           // the transparent index, -1 for none
    std::vector<uint32_t> localTable;  // 0xRRGGBB entries; a local colour table when not empty
    Bytes between;                  // blocks between the graphic control extension and the image
};

struct File {
    int width = 1, height = 1;
    std::vector<uint32_t> globalTable;  // 0xRRGGBB entries; none when empty
    uint8_t background = 0;
    Bytes extensions;                   // blocks after the global table, before the frames
    std::vector<Frame> frames;
};

inline void put16(Bytes& out, int value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

// A colour table's flag bits (size n: 2^(n + 1) entries) and its bytes, padded to that size.
inline int tableBits(size_t entries) {
    int n = 0;
    while ((size_t(2) << n) < entries) ++n;
    return n;
}
inline void putTable(Bytes& out, const std::vector<uint32_t>& table) {
    const size_t entries = size_t(2) << tableBits(table.size());
    for (size_t i = 0; i < entries; ++i) {
        const uint32_t rgb = i < table.size() ? table[i] : 0;
        out.insert(out.end(), {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)});
    }
}

// A chain of sub-blocks holding `data`, with its terminating zero.
inline Bytes subBlocks(const Bytes& data) {
    Bytes out;
    for (size_t i = 0; i < data.size(); i += 255) {
        const size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + long(i), data.begin() + long(i + n));
    }
    out.push_back(0);
    return out;
}

inline Bytes comment(const std::string& text) {
    Bytes out{0x21, 0xFE};
    const Bytes chain = subBlocks(Bytes(text.begin(), text.end()));
    out.insert(out.end(), chain.begin(), chain.end());
    return out;
}

// The looping application extension ("NETSCAPE2.0"): `count` times, 0 for ever.
inline Bytes loopExtension(uint16_t count) {
    return {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 0x03, 0x01,
            uint8_t(count), uint8_t(count >> 8), 0x00};
}

// Literal codes of 9 bits (code size 8): clear first, then again before the
// decoder's table would reach 512 entries, the end code last.
inline Bytes lzwLiterals(const Bytes& pixels) {
    Bytes out;
    uint32_t acc = 0;
    int bits = 0;
    const auto putCode = [&](uint32_t code) {
        acc |= code << bits;
        for (bits += 9; bits >= 8; bits -= 8) {
            out.push_back(uint8_t(acc));
            acc >>= 8;
        }
    };
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (i % 254 == 0) putCode(256);
        putCode(pixels[i]);
    }
    putCode(257);
    if (bits) out.push_back(uint8_t(acc));
    return out;
}

// The frame's own blocks: graphic control, what lies between, image descriptor, data.
inline Bytes frameBlocks(const Frame& f) {
    Bytes out;
    if (f.control) {
        out.insert(out.end(), {0x21, 0xF9, 0x04, uint8_t(f.disposal << 2 | (f.transparent >= 0 ? 1 : 0))});
        put16(out, f.delay);
        out.insert(out.end(), {uint8_t(f.transparent >= 0 ? f.transparent : 0), 0x00});
    }
    out.insert(out.end(), f.between.begin(), f.between.end());
    out.push_back(0x2C);
    put16(out, f.left);
    put16(out, f.top);
    put16(out, f.width);
    put16(out, f.height);
    out.push_back(f.localTable.empty() ? 0 : uint8_t(0x80 | tableBits(f.localTable.size())));
    if (!f.localTable.empty()) putTable(out, f.localTable);
    out.push_back(8);
    const Bytes chain = subBlocks(lzwLiterals(f.pixels));
    out.insert(out.end(), chain.begin(), chain.end());
    return out;
}

// The file's header, logical screen descriptor and global colour table.
inline Bytes head(const File& file) {
    Bytes out{'G', 'I', 'F', '8', '9', 'a'};
    put16(out, file.width);
    put16(out, file.height);
    out.push_back(file.globalTable.empty() ? 0 : uint8_t(0x80 | 7 << 4 | tableBits(file.globalTable.size())));
    out.push_back(file.background);
    out.push_back(0);
    if (!file.globalTable.empty()) putTable(out, file.globalTable);
    return out;
}

inline Bytes write(const File& file) {
    Bytes out = head(file);
    out.insert(out.end(), file.extensions.begin(), file.extensions.end());
    for (const Frame& f : file.frames) {
        const Bytes blocks = frameBlocks(f);
        out.insert(out.end(), blocks.begin(), blocks.end());
    }
    out.push_back(0x3B);
    return out;
}

// A frame of one colour index.
inline Frame solid(int left, int top, int width, int height, uint8_t index, uint8_t disposal = 1,
                   uint16_t delay = 10) {
    Frame f;
    f.left = left, f.top = top, f.width = width, f.height = height;
    f.pixels.assign(size_t(width) * size_t(height), index);
    f.disposal = disposal;
    f.delay = delay;
    return f;
}

}  // namespace giftest
