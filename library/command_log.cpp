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

// Everything below is shared by every thread that sends commands or switches the
// log: it is touched only with LogMutex held.
std::mutex& LogMutex() {
    static auto* m = new std::mutex;  // never destroyed: a command may be logged while the process ends
    return *m;
}
FILE* g_log = nullptr;
int g_logEnabled = 0;
bool g_logWide = false;
char16_t g_logPathW[kPathChars] = {};
char g_logPathA[kPathChars] = {};

// Call with LogMutex held.
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

bool LogIsOpen() {
    std::lock_guard lock(LogMutex());
    return g_log != nullptr;
}

void LogText(const char* text) {
    if (!text) return;
    std::lock_guard lock(LogMutex());
    WriteTranslated(text, std::char_traits<char>::length(text));
}

void LogPrintf(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    std::lock_guard lock(LogMutex());
    WriteTranslated(buf, static_cast<size_t>(n) < sizeof buf ? static_cast<size_t>(n) : sizeof buf - 1);
}

void LogCloseAtUnload() {
    std::lock_guard lock(LogMutex());
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
    std::lock_guard lock(LogMutex());
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
    std::lock_guard lock(LogMutex());
    CopyWide(g_logPathW, kPathChars, path);
    g_logWide = true;
    return 1;
}

QV_API int SetCommandLogPathA(const char* path) {
    std::lock_guard lock(LogMutex());
    CopyNarrow(g_logPathA, kPathChars, path);
    g_logWide = false;
    return 1;
}

QV_API int WriteCommandLogW(const QVWCHAR* text) {
    if (!text) return 0;
    std::string utf8 = WideToUtf8(text);
    std::lock_guard lock(LogMutex());
    if (!g_log || !g_logWide) return 0;
    WriteTranslated(utf8.data(), utf8.size());
    return 1;
}

QV_API int WriteCommandLogA(const char* text) {
    if (!text) return 0;
    std::lock_guard lock(LogMutex());
    if (!g_log || g_logWide) return 0;
    WriteTranslated(text, std::char_traits<char>::length(text));
    return 1;
}

}  // extern "C"
