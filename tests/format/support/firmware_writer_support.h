// Firmware images and packages built byte by byte for the tests, from the
// file layout alone (never from the format module), including faulty ones.
//
// Layout: header (16 bytes up to header version 15, else 32); an extra block
// of L + 4 bytes beginning with u16 L when flag bit 0 is set; the data; a u32
// trailer = NOT (32-bit sum of the data). Packages: the first image under a
// package magic, further images, then "PARA" and (flag bit 3) "VKEY".
// readPackage takes a package apart by the same layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace fwtest {

using Bytes = std::vector<uint8_t>;

struct Image {
    std::string magic = "QVFF";
    uint8_t headerVersion = 19;
    uint16_t product = 2081;          // stored little-endian
    bool productBigEndian = false;    // stored high byte first (second series)
    uint8_t major = 2;
    uint8_t letter = 1;
    uint8_t minor = 5;
    uint8_t customer = 0;
    uint16_t flags = 0;
    uint8_t build1 = 0, build2 = 0;   // bytes 18, 19
    uint8_t info = 0;                 // byte 20
    uint8_t byte21 = 0, byte22 = 0;
    Bytes extra;                      // the extra block's bytes after L (flag bit 0)
    Bytes data = Bytes(64, 0x5A);

    // Faults.
    bool sum15Plain = false;          // below 16: the sum stored without complement
    bool sum15Complemented = false;   // 16 and later: the sum stored complemented
    int sum31Delta = 0;
    int trailerDelta = 0;
    std::optional<uint32_t> dataSizeField;  // a size other than the data's
};

inline uint8_t sum8(const uint8_t* p, size_t n) {
    unsigned s = 0;
    for (size_t i = 0; i < n; ++i) s += p[i];
    return uint8_t(s);
}

inline void put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v & 0xFF);
    b[at + 1] = uint8_t(v >> 8);
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

inline Bytes header(const Image& im) {
    const bool longForm = im.headerVersion >= 16;
    Bytes h(longForm ? 32 : 16, 0);
    for (int i = 0; i < 4; ++i) h[size_t(i)] = uint8_t(im.magic[size_t(i)]);
    if (im.productBigEndian) {
        h[4] = uint8_t(im.product >> 8);
        h[5] = uint8_t(im.product & 0xFF);
    } else {
        put16(h, 4, im.product);
    }
    h[6] = im.major;
    h[7] = im.letter;
    put32(h, 8, im.dataSizeField ? *im.dataSizeField : uint32_t(im.data.size()));
    h[12] = im.minor;
    h[13] = im.customer;
    h[14] = im.headerVersion;
    if (longForm) {
        put16(h, 16, im.flags);
        h[18] = im.build1;
        h[19] = im.build2;
        if (im.headerVersion >= 19) h[20] = im.info;
        h[21] = im.byte21;
        h[22] = im.byte22;
    }
    const uint8_t s = sum8(h.data(), 15);
    if (longForm)
        h[15] = im.sum15Complemented ? uint8_t(~s) : s;
    else
        h[15] = im.sum15Plain ? s : uint8_t(~s);
    if (longForm) h[31] = uint8_t(uint8_t(~sum8(h.data(), 31)) + im.sum31Delta);
    return h;
}

inline uint32_t trailer(const Bytes& data) {
    uint32_t s = 0;
    for (uint8_t b : data) s += b;
    return ~s;
}

// Everything of an image after its header.
inline Bytes body(const Image& im) {
    Bytes b;
    if (im.headerVersion >= 16 && (im.flags & 1)) {
        b.resize(2);
        put16(b, 0, uint16_t(im.extra.size()));
        b.insert(b.end(), im.extra.begin(), im.extra.end());
        b.resize(b.size() + 2, 0);  // L + 4 bytes in all
    }
    b.insert(b.end(), im.data.begin(), im.data.end());
    const size_t at = b.size();
    b.resize(at + 4);
    put32(b, at, trailer(im.data) + uint32_t(im.trailerDelta));
    return b;
}

inline Bytes image(const Image& im) {
    Bytes out = header(im);
    Bytes rest = body(im);
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

inline void append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

// The checksum, computed apart from the program and the library (as
// tests/data/crc/make_vectors.py does): the remainder of (start x^N + message)
// modulo x^16 + x^12 + x^5 + 1 over GF(2), the N message bits most significant
// first, by long division of the whole bit string.
inline uint16_t polynomialRemainder(uint16_t start, const Bytes& message) {
    std::vector<bool> bits;
    for (int i = 15; i >= 0; --i) bits.push_back((start >> i) & 1);
    for (uint8_t byte : message)
        for (int i = 7; i >= 0; --i) bits.push_back((byte >> i) & 1);
    constexpr uint32_t kDivisor = 0x11021;  // 17 bits: x^16 + x^12 + x^5 + 1
    // Every bit above the last 16 is cancelled by the divisor shifted under it.
    for (size_t top = 0; top + 16 < bits.size(); ++top) {
        if (!bits[top]) continue;
        for (size_t k = 0; k <= 16; ++k)
            if ((kDivisor >> (16 - k)) & 1) bits[top + k] = !bits[top + k];
    }
    uint16_t remainder = 0;
    for (size_t i = bits.size() - 16; i < bits.size(); ++i) remainder = uint16_t(remainder << 1 | bits[i]);
    return remainder;
}

// The parameter CRC: the remainder over the touch list then the boot list,
// with the positions that hold no parameter taken as 0 and, in mode 0, a boot
// byte 0 of 64 or more as its top two bits.
inline uint16_t parameterCrc(int mode, uint16_t start, Bytes touch, Bytes boot) {
    struct Ignored {
        bool boot;
        size_t at;
        bool (*applies)(int mode, size_t touch, size_t boot);
    };
    static const Ignored kIgnored[] = {
        {false, 61, [](int m, size_t, size_t) { return m == 0; }},
        {false, 63, [](int, size_t, size_t) { return true; }},
        {false, 127, [](int, size_t t, size_t) { return t > 64; }},
        {true, 15, [](int, size_t, size_t) { return true; }},
        {true, 61, [](int, size_t, size_t b) { return b > 16; }},
        {true, 63, [](int, size_t, size_t b) { return b > 16; }},
    };
    const size_t t = touch.size(), b = boot.size();
    for (const Ignored& i : kIgnored) {
        Bytes& list = i.boot ? boot : touch;
        if (i.applies(mode, t, b) && i.at < list.size()) list[i.at] = 0;
    }
    if (mode == 0 && !boot.empty() && boot[0] >= 64) boot[0] &= 0xC0;
    Bytes message = touch;
    append(message, boot);
    return polynomialRemainder(start, message);
}

// The virtual-key CRC: the remainder from 0xFFFF over entries 0..n of s bytes.
inline uint16_t vkeyCrc(const std::vector<Bytes>& entries) {
    Bytes message;
    for (const Bytes& e : entries) append(message, e);
    return polynomialRemainder(0xFFFF, message);
}

struct Para {
    uint8_t flags = 0;
    Bytes touch = Bytes(128, 0x11);
    Bytes boot = Bytes(64, 0x22);
    uint16_t crc = 0;
    int headerSumDelta = 0;
    std::string magic = "PARA";
};

inline Bytes para(const Para& p) {
    Bytes b(8, 0);
    for (int i = 0; i < 4; ++i) b[size_t(i)] = uint8_t(p.magic[size_t(i)]);
    b[4] = uint8_t(p.touch.size());
    b[5] = uint8_t(p.boot.size());
    b[6] = p.flags;
    b[7] = uint8_t(uint8_t(~sum8(b.data(), 7)) + p.headerSumDelta);
    append(b, p.touch);
    append(b, p.boot);
    b.push_back(uint8_t(p.crc & 0xFF));
    b.push_back(uint8_t(p.crc >> 8));
    return b;
}

struct Vkey {
    uint16_t crc = 0;                 // bytes 4..5
    uint8_t count = 0;                // n: entries 0..n follow
    uint8_t entrySize = 12;
    uint8_t format = 2;
    std::vector<Bytes> entries;       // the entries written (normally n + 1 of entrySize)
    int headerSumDelta = 0;
};

inline Bytes vkey(const Vkey& v) {
    Bytes b = {'V', 'K', 'E', 'Y', uint8_t(v.crc & 0xFF), uint8_t(v.crc >> 8), v.count, v.entrySize, v.format, 0};
    b[9] = uint8_t(uint8_t(~sum8(b.data(), 9)) + v.headerSumDelta);
    for (const Bytes& e : v.entries) append(b, e);
    return b;
}

// n + 1 entries of s bytes with distinct contents.
inline std::vector<Bytes> vkeyEntries(int n, int s) {
    std::vector<Bytes> out;
    for (int e = 0; e <= n; ++e) {
        Bytes entry(size_t(s), 0);
        for (int k = 0; k < s; ++k) entry[size_t(k)] = uint8_t(e * 16 + k + 1);
        out.push_back(entry);
    }
    return out;
}

// A table of n + 1 such entries of s bytes, its count, entry size and CRC agreeing with them.
inline Vkey vkeyTable(int n, int s = 12) {
    Vkey v;
    v.count = uint8_t(n);
    v.entrySize = uint8_t(s);
    v.entries = vkeyEntries(n, s);
    v.crc = vkeyCrc(v.entries);
    return v;
}

// A package: the first image under `magic` (flag bit 1, and bit 3 with VKEY),
// further images, PARA with its CRC computed from its lists (seeded with the
// VKEY's CRC when there is one and seedFromVkey, else from 0xFFFF; in the mode
// of PARA flag bit 1) unless keepParaCrc, then VKEY.
struct Package {
    std::string magic = "PFPF";
    std::vector<Image> images = {Image{}};
    Para para;
    std::optional<Vkey> vkey;
    bool seedFromVkey = true;
    bool keepParaCrc = false;  // para.crc as given
};

inline Bytes package(Package p) {
    Image first = p.images.front();
    first.magic = p.magic;
    first.flags |= 0x02;
    if (p.vkey) first.flags |= 0x08;
    Bytes f = image(first);
    for (size_t i = 1; i < p.images.size(); ++i) append(f, image(p.images[i]));
    if (!p.keepParaCrc) {
        const uint16_t start = p.vkey && p.seedFromVkey ? vkeyCrc(p.vkey->entries) : 0xFFFF;
        p.para.crc = parameterCrc((p.para.flags >> 1) & 1, start, p.para.touch, p.para.boot);
    }
    append(f, para(p.para));
    if (p.vkey) append(f, vkey(*p.vkey));
    return f;
}

// ---- reading back, by the same layout ---------------------------------------

inline uint16_t get16(const Bytes& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
inline uint32_t get32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// One image as it lies in a file.
struct LaidImage {
    Bytes header;   // 16 or 32 bytes by its version byte
    Bytes extra;    // the extra block's bytes after L (flag bit 0, version 16 and later)
    Bytes data;     // as many bytes as bytes 8..11 say
    uint32_t trailer = 0;
};
// A package taken apart: its images up to "PARA", PARA, then VKEY when the
// first header's flag bit 3 says so, and whatever follows.
struct LaidPackage {
    std::vector<LaidImage> images;
    Para para;
    std::optional<Vkey> vkey;
    Bytes rest;
};

// nullopt when the bytes do not follow the layout (a length past the end, no PARA).
inline std::optional<LaidPackage> readPackage(const Bytes& b) {
    LaidPackage out;
    size_t at = 0;
    const auto fits = [&](size_t n) { return at <= b.size() && n <= b.size() - at; };
    const auto take = [&](size_t n) {
        Bytes part(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + n));
        at += n;
        return part;
    };
    while (!(fits(4) && std::memcmp(&b[at], "PARA", 4) == 0)) {
        if (!fits(16)) return std::nullopt;
        LaidImage im;
        const uint8_t version = b[at + 14];
        const size_t headerLength = version >= 16 ? 32 : 16;
        if (!fits(headerLength)) return std::nullopt;
        im.header = take(headerLength);
        if (version >= 16 && (get16(im.header, 16) & 1)) {
            if (!fits(2)) return std::nullopt;
            const size_t l = get16(b, at);
            if (!fits(l + 4)) return std::nullopt;
            const Bytes block = take(l + 4);
            im.extra.assign(block.begin() + 2, block.begin() + 2 + std::ptrdiff_t(l));
        }
        const size_t n = get32(im.header, 8);
        if (!fits(n + 4)) return std::nullopt;
        im.data = take(n);
        im.trailer = get32(take(4), 0);
        out.images.push_back(im);
    }
    if (!fits(8)) return std::nullopt;
    const Bytes ph = take(8);
    out.para.magic.assign(ph.begin(), ph.begin() + 4);
    out.para.flags = ph[6];
    if (!fits(size_t(ph[4]) + ph[5] + 2)) return std::nullopt;
    out.para.touch = take(ph[4]);
    out.para.boot = take(ph[5]);
    out.para.crc = get16(take(2), 0);
    if (!out.images.empty() && out.images[0].header.size() == 32 && (get16(out.images[0].header, 16) & 0x08)) {
        if (!fits(10)) return std::nullopt;
        const Bytes vh = take(10);
        Vkey v;
        v.crc = get16(vh, 4);
        v.count = vh[6];
        v.entrySize = vh[7];
        v.format = vh[8];
        for (int e = 0; e <= v.count; ++e) {
            if (!fits(v.entrySize)) return std::nullopt;
            v.entries.push_back(take(v.entrySize));
        }
        out.vkey = v;
    }
    out.rest = take(b.size() - at);
    return out;
}

}  // namespace fwtest
