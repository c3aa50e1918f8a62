// The debug log: messages by level into a log file (each message appended in
// text mode with the platform clock's time of day in front) or onto standard output, and the exports that set
// its level and its file.
#include "internal.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "text/text_file.h"

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

}  // namespace qvlib

namespace {

int WriteMessage(int level, const char* fmt, va_list ap) {
    using namespace qvlib;
    const int current = Level();
    if (!fmt || current == 0 || current < level) return 0;
    std::lock_guard lock(LogMutex());
    const std::string& path = LogPath();
    if (path.empty()) {
        std::vfprintf(stdout, fmt, ap);
        std::fflush(stdout);
        return 1;
    }
    // The file is a text-mode file: every "\n" goes to disk as "\r\n".
    qvtext::TextWriter file(path.c_str(), qvtext::TextWriter::Mode::Append);
    if (!file.isOpen()) return 0;
    if (fmt[0] != '.') {
        const qvp::Clock::TimeOfDay t = qvp::clock().timeOfDay();
        file.printf("[%02d:%02d:%02d] ", t.hour, t.minute, t.second);
    }
    file.vprintf(fmt, ap);
    return file.close() ? 1 : 0;
}

}  // namespace

extern "C" QV_API int debug_log_msg(int level, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const int written = WriteMessage(level, fmt, ap);
    va_end(ap);
    return written;
}

namespace qvlib {

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
