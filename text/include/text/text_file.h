// The program's text files: one writer for every log and report it writes, the
// clock that stamps their times, and a line reader for the files it reads back.
//
// TextWriter writes in text mode, the way the designed program's files look on
// disk:
//   - every "\n" is written as "\r\n";
//   - a '\r' is written as it stands: a lone "\r" stays a lone "\r", and a
//     format's "\r\n" becomes "\r\r\n";
//   - every other byte (ASCII, UTF-8) is written as given, '\0' included.
// printf() has printf semantics, with no limit on the length of what it formats.
//
// localTimeNow() is the clock for the times a file carries (log times, report
// time texts). A test installs a ScopedClock so the bytes of a report compare
// exactly. The clock is one per linked copy of this library: a ScopedClock in a
// program does not reach the copy inside the shared controller library.
//
// LineReader splits a file's text into lines ending "\n" or "\r\n", so readers
// of the program's own files take both.
//
// Plain C++ without Qt, compiled position-independent; nothing here throws (a
// failure is a false result), so the controller library may use it behind its
// C exports.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <string_view>

namespace qvtext {

// Local date and time fields.
struct LocalTime {
    int year = 0;         // e.g. 2024
    int month = 0;        // 1..12
    int day = 0;          // 1..31
    int hour = 0;         // 0..23
    int minute = 0;       // 0..59
    int second = 0;       // 0..60 (a leap second)
    int millisecond = 0;  // 0..999
    friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

// The local time now: the system's, or what the innermost living ScopedClock
// gives. Safe from any thread; calls of an installed clock are serialised.
LocalTime localTimeNow() noexcept;
// The system's local time, whatever clock is installed.
LocalTime systemLocalTime() noexcept;

// While it lives, localTimeNow() returns what `clock` gives (a clock that throws
// gives the system's time instead). Nests: the previous clock returns when this
// one is destroyed. Install it before the code under test runs.
class ScopedClock {
public:
    using Function = std::function<LocalTime()>;
    explicit ScopedClock(Function clock);
    // A clock that stands still at `fixed`.
    explicit ScopedClock(const LocalTime& fixed);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Function previous_;
};

class TextWriter {
public:
    // Create: a new file, an existing one emptied first ("w").
    // Append: written after what the file holds, the file made when missing ("a").
    enum class Mode { Create, Append };

    TextWriter() noexcept = default;
    // Opens at once; isOpen() and error() tell how that went.
    TextWriter(const char* path, Mode mode) noexcept;
    ~TextWriter();  // close()
    TextWriter(TextWriter&& other) noexcept;
    TextWriter& operator=(TextWriter&& other) noexcept;
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    // Closes a file open before. false (nothing open) when the file cannot be
    // opened; error() has the reason.
    bool open(const char* path, Mode mode) noexcept;
    bool isOpen() const noexcept { return file_ != nullptr; }

    // Each is false when no file is open or the bytes could not be written.
    bool write(std::string_view text) noexcept;
    bool printf(const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));
    bool vprintf(const char* format, std::va_list args) noexcept __attribute__((format(printf, 2, 0)));

    // true while a file is open and every write since the open reached it so far
    // (the stream may still hold bytes; close() tells whether they arrived).
    bool ok() const noexcept { return file_ != nullptr && !failed_; }
    // Closes the file: true when it was open and every byte written since the
    // open reached it. A second close() is false.
    bool close() noexcept;
    // Why the last open or write failed ("open /x/y.csv: No such file or
    // directory"); empty when nothing failed.
    const char* error() const noexcept { return error_; }

private:
    void fail(const char* what) noexcept;

    std::FILE* file_ = nullptr;
    bool failed_ = false;
    char path_[256] = {};  // for error texts, cut to fit
    char error_[320] = {};
};

// The lines of a text, one by one. A line ends at "\n" or "\r\n" and the line
// end is not part of the line; a '\r' that is not right before a '\n' stays in
// the line (so "a\r\r\n" gives the line "a\r"). Text after the last line end is
// the last line; a text that ends with a line end has no empty line after it.
class LineReader {
public:
    explicit LineReader(std::string_view text) noexcept : rest_(text) {}
    // The next line into *line (a view into the text); false when none is left.
    bool next(std::string_view* line) noexcept;
    // The 1-based number of the line next() gave last; 0 before the first.
    int lineNumber() const noexcept { return lineNumber_; }

private:
    std::string_view rest_;
    int lineNumber_ = 0;
};

}  // namespace qvtext
