// Small text helpers: UTF-16 <-> UTF-8 and bounded copies into fixed fields.
#include "internal.h"

#include <cctype>
#include <cstring>

namespace qvlib {

size_t WideLength(const char16_t* s) {
    size_t n = 0;
    if (s)
        while (s[n]) ++n;
    return n;
}

void CopyWide(char16_t* dst, size_t cap, const char16_t* src) {
    if (!dst || cap == 0) return;
    size_t n = 0;
    if (src)
        for (; n + 1 < cap && src[n]; ++n) dst[n] = src[n];
    dst[n] = 0;
}

void CopyNarrow(char* dst, size_t cap, const char* src) {
    if (!dst || cap == 0) return;
    size_t n = 0;
    if (src)
        for (; n + 1 < cap && src[n]; ++n) dst[n] = src[n];
    dst[n] = 0;
}

void NarrowToWide(char16_t* dst, size_t cap, const char* src) {
    CopyWide(dst, cap, Utf8ToWide(src ? src : "").c_str());
}

static void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string WideToUtf8(const char16_t* s) {
    std::string out;
    if (!s) return out;
    for (size_t i = 0; s[i]; ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // an unpaired surrogate
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string Utf8ToWide(const std::string& s) {
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t extra;
        if (c < 0x80) { cp = c; extra = 0; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
        else { out += u'\uFFFD'; ++i; continue; }
        bool ok = true;
        for (size_t k = 1; k <= extra; ++k) {
            if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        if (!ok) { out += u'\uFFFD'; ++i; continue; }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace qvlib
