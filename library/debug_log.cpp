// The debug log: messages by level into a log file (each message appended with
// the local time in front) or onto standard output, and the exports that set
// its level and its file.
#include "internal.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

extern "C" {
// Exported as a variable: callers may read and set it directly.
QV_API int g_DbgLevel = 0;
}

namespace qvlib {
namespace {

// Guards the path and keeps the messages of several threads whole.
std::mutex& LogMutex() {
    static auto* m = new std::mutex;
    return *m;
}

std::string& LogPath() {
    static auto* path = new std::string;
    return *path;
}

int Level() { return std::atomic_ref<int>(g_DbgLevel).load(std::memory_order_relaxed); }

void StorePath(std::string path) {
    std::lock_guard lock(LogMutex());
    LogPath() = std::move(path);
}

}  // namespace

int debug_log_msg(int level, const char* fmt, ...) {
    const int current = Level();
    if (!fmt || current == 0 || current < level) return 0;
    std::lock_guard lock(LogMutex());
    const std::string& path = LogPath();
    FILE* out = stdout;
    if (!path.empty()) {
        out = std::fopen(path.c_str(), "ab");
        if (!out) return 0;
        if (fmt[0] != '.') {
            const std::time_t now = std::time(nullptr);
            std::tm local{};
            localtime_r(&now, &local);
            std::fprintf(out, "[%02d:%02d:%02d] ", local.tm_hour, local.tm_min, local.tm_sec);
        }
    }
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(out, fmt, ap);
    va_end(ap);
    if (out == stdout)
        std::fflush(out);
    else
        std::fclose(out);
    return 1;
}

void LogPlatformFailure(const char* what) {
    debug_log_msg(kDbgError, "%s: %s\r\n", what, qvp::lastError().text.c_str());
}

}  // namespace qvlib

using namespace qvlib;

extern "C" {

QV_API int QuorvaneN4_SetDebug(int level) {
    std::atomic_ref<int>(g_DbgLevel).store(level, std::memory_order_relaxed);
    return 1;
}

QV_API int QuorvaneN4_SetLogFileA(const char* path) {
    char kept[kPathChars] = {};
    if (path) CopyNarrow(kept, kPathChars, path);
    StorePath(kept);
    return 1;
}

QV_API int QuorvaneN4_SetLogFileW(const QVWCHAR* path) {
    char16_t kept[kPathChars] = {};
    if (path) CopyWide(kept, kPathChars, path);
    StorePath(WideToUtf8(kept));
    return 1;
}

}  // extern "C"
