// The command log: an append-mode text file with one line per packet.
//
// The file is written as a text-mode file would be on the controller's home
// platform: every "\n" becomes "\r\n", a lone "\r" stays as it is, so a log is
// the same bytes wherever it was written. Wide text is stored as UTF-8.
#include "internal.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace qvlib {
namespace {

FILE* g_log = nullptr;
int g_logEnabled = 0;
bool g_logWide = false;
char16_t g_logPathW[kPathChars] = {};
char g_logPathA[kPathChars] = {};

void WriteTranslated(const char* text, size_t len) {
    if (!g_log) return;
    std::string out;
    out.reserve(len + 8);
    for (size_t i = 0; i < len; ++i) {
        if (text[i] == '\n') out += '\r';
        out += text[i];
    }
    fwrite(out.data(), 1, out.size(), g_log);
    // Each line reaches the disk at once, so a log survives a crash of its caller.
    fflush(g_log);
}

}  // namespace

bool LogIsOpen() { return g_log != nullptr; }

void LogText(const char* text) {
    if (g_log && text) WriteTranslated(text, std::char_traits<char>::length(text));
}

void LogPrintf(const char* fmt, ...) {
    if (!g_log) return;
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    WriteTranslated(buf, static_cast<size_t>(n) < sizeof buf ? static_cast<size_t>(n) : sizeof buf - 1);
}

void LogCloseAtUnload() {
    if (g_log) fclose(g_log);
    g_log = nullptr;
    g_logEnabled = 0;
    g_logWide = false;
    g_logPathW[0] = 0;
    g_logPathA[0] = 0;
}

}  // namespace qvlib

using namespace qvlib;

extern "C" {

QV_API int EnableLogCommandLine(int enable) {
    if (enable == g_logEnabled) return 1;
    g_logEnabled = enable;
    if (g_log) {
        fclose(g_log);
        g_log = nullptr;
    }
    if (!enable) return 1;
    std::string path = g_logWide ? WideToUtf8(g_logPathW) : std::string(g_logPathA);
    g_log = path.empty() ? nullptr : fopen(path.c_str(), "ab");
    if (!g_log) {
        // Forget the switch, so that enabling again retries the open instead of
        // reporting a log that is not there.
        g_logEnabled = 0;
        return 0;
    }
    return 1;
}

QV_API int SetCommandLogPathW(const QVWCHAR* path) {
    CopyWide(g_logPathW, kPathChars, path);
    g_logWide = true;
    return 1;
}

QV_API int SetCommandLogPathA(const char* path) {
    CopyNarrow(g_logPathA, kPathChars, path);
    g_logWide = false;
    return 1;
}

QV_API int WriteCommandLogW(const QVWCHAR* text) {
    if (!g_log || !g_logWide || !text) return 0;
    std::string utf8 = WideToUtf8(text);
    WriteTranslated(utf8.data(), utf8.size());
    return 1;
}

QV_API int WriteCommandLogA(const char* text) {
    if (!g_log || g_logWide || !text) return 0;
    WriteTranslated(text, std::char_traits<char>::length(text));
    return 1;
}

}  // extern "C"
