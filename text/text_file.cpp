#include "text/text_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <utility>

namespace qvtext {

namespace {

struct InstalledClock {
    std::mutex mutex;
    ScopedClock::Function clock;
};

InstalledClock& installed() {
    static InstalledClock c;
    return c;
}

}  // namespace

LocalTime systemLocalTime() noexcept {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm fields{};
    const std::time_t seconds = now.tv_sec;
    ::localtime_r(&seconds, &fields);
    return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
            fields.tm_min,        fields.tm_sec,     int(now.tv_nsec / 1000000)};
}

LocalTime localTimeNow() noexcept {
    InstalledClock& c = installed();
    std::lock_guard g(c.mutex);
    if (c.clock) {
        try {
            return c.clock();
        } catch (...) {
        }
    }
    return systemLocalTime();
}

ScopedClock::ScopedClock(Function clock) {
    InstalledClock& c = installed();
    std::lock_guard g(c.mutex);
    previous_ = std::exchange(c.clock, std::move(clock));
}

ScopedClock::ScopedClock(const LocalTime& fixed) : ScopedClock(Function([fixed] { return fixed; })) {}

ScopedClock::~ScopedClock() {
    InstalledClock& c = installed();
    std::lock_guard g(c.mutex);
    c.clock = std::move(previous_);
}

TextWriter::TextWriter(const char* path, Mode mode) noexcept { open(path, mode); }

TextWriter::~TextWriter() { close(); }

TextWriter::TextWriter(TextWriter&& other) noexcept { *this = std::move(other); }

TextWriter& TextWriter::operator=(TextWriter&& other) noexcept {
    if (this == &other) return *this;
    close();
    file_ = std::exchange(other.file_, nullptr);
    failed_ = std::exchange(other.failed_, false);
    std::memcpy(path_, other.path_, sizeof path_);
    std::memcpy(error_, other.error_, sizeof error_);
    other.path_[0] = other.error_[0] = '\0';
    return *this;
}

void TextWriter::fail(const char* what) noexcept {
    failed_ = true;
    std::snprintf(error_, sizeof error_, "%s %s: %s", what, path_, std::strerror(errno));
}

bool TextWriter::open(const char* path, Mode mode) noexcept {
    close();
    error_[0] = '\0';
    failed_ = false;
    std::snprintf(path_, sizeof path_, "%s", path ? path : "");
    if (!path || !*path) {
        errno = ENOENT;
        fail("open");
        return false;
    }
    // Binary: the line ends are this writer's own doing, on every system.
    file_ = std::fopen(path, mode == Mode::Append ? "ab" : "wb");
    if (!file_) {
        fail("open");
        return false;
    }
    return true;
}

bool TextWriter::write(std::string_view text) noexcept {
    if (!file_) return false;
    bool written = true;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        const size_t run = nl == std::string_view::npos ? text.size() : nl;
        if (run > 0 && std::fwrite(text.data(), 1, run, file_) != run) written = false;
        if (nl == std::string_view::npos) break;
        if (std::fwrite("\r\n", 1, 2, file_) != 2) written = false;
        text.remove_prefix(nl + 1);
    }
    if (!written) fail("write");
    return written;
}

bool TextWriter::printf(const char* format, ...) noexcept {
    std::va_list args;
    va_start(args, format);
    const bool written = vprintf(format, args);
    va_end(args);
    return written;
}

bool TextWriter::vprintf(const char* format, std::va_list args) noexcept {
    if (!file_) return false;
    char small[512];
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    if (n < 0) {
        va_end(again);
        fail("format for");
        return false;
    }
    if (size_t(n) < sizeof small) {
        va_end(again);
        return write(std::string_view(small, size_t(n)));
    }
    // Longer than the stack buffer: formatted again into one of its full size.
    char* big = static_cast<char*>(std::malloc(size_t(n) + 1));
    if (!big) {
        va_end(again);
        errno = ENOMEM;
        fail("format for");
        return false;
    }
    std::vsnprintf(big, size_t(n) + 1, format, again);
    va_end(again);
    const bool written = write(std::string_view(big, size_t(n)));
    std::free(big);
    return written;
}

bool TextWriter::close() noexcept {
    if (!file_) return false;
    const bool flushed = std::fclose(std::exchange(file_, nullptr)) == 0;
    if (!flushed) fail("close");
    return flushed && !failed_;
}

bool LineReader::next(std::string_view* line) noexcept {
    if (rest_.empty()) return false;
    const size_t nl = rest_.find('\n');
    if (nl == std::string_view::npos) {
        *line = rest_;
        rest_ = {};
    } else {
        *line = rest_.substr(0, nl);
        if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
        rest_.remove_prefix(nl + 1);
    }
    ++lineNumber_;
    return true;
}

}  // namespace qvtext
