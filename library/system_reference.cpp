// The system reference build: the controller measures a new untouched-panel
// baseline, the library checks it (noise, neighbour steps, flatness per frequency
// mode), lets the caller keep a result that failed a soft check, saves it and
// appends a report. One build runs at a time in the whole library.
#include "internal.h"
#include "text/text_file.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace qvlib {
namespace {

constexpr uint8_t kNoAnswer = 0xFF;
constexpr uint8_t kProgressOnly = 255;
constexpr int kMaxModes = 4;       // F5 00 05 carries four noise levels
constexpr int kCountLimit = 22;    // flatness count a mode may reach
constexpr int kMarkLines = 16;     // driver lines the width reads can describe (8 reads of 2)
constexpr uint8_t kModeDiff = 0x12;  // capability byte 3, bits 1 and 4

std::atomic<bool> g_building{false};  // taken by exchange: a second caller finds it set
std::atomic<uint8_t> g_answer{kNoAnswer};

const char* ResultText(uint8_t code) {
    switch (code) {
        case 1: return "Result : Build complete.";
        case 2: return "Send 0xE4 command failed.";
        case 3: return "Send 0xF5 command failed.";
        case 4: return "Send 0xF6 command failed.";
        case 5: return "Send 0xE4 command failed timeout.";
        case 6: return "Wait retry timeout.";
        case 7: return "Environmental interference.";
        case 8: return "Get base line failed.";
        case 9: return "Check raw data near failed.";
        case 10: return "Get Mode Diff failed.";
        case 11: return "Check base flat failed.";
        case 12: return "Save base failed.";
        default: return "";
    }
}

// A growable report, written to the file once at the end.
struct Report {
    std::string text;
    void add(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        char line[128];
        va_list args;
        va_start(args, fmt);
        const int n = std::vsnprintf(line, sizeof line, fmt, args);
        va_end(args);
        if (n > 0) text.append(line, std::min<size_t>(size_t(n), sizeof line - 1));
    }
};

class Build {
public:
    Build(HANDLE h, QVSystemReferenceProgress progress) : h_(h), progress_(progress) {}

    // Steps 2..16; *result as the outcome. 0 only when the RawArray cannot be made.
    int run(const std::string* logPath, uint8_t* result);

private:
    bool command(uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4, uint8_t reply[5]) {
        return Command(h_, c0, c1, c2, c3, c4, reply);
    }
    bool item(uint8_t group, uint8_t code, uint8_t reply[5]) {
        return command(0xF6, group, code, 0x00, 0x00, reply) && !ItemRefused(reply);
    }
    void setBusyByte(uint8_t v) {
        DeviceLock lock(h_);
        if (DevInfo* d = SlotRecord(h_)) d->diag.busy = v;
    }
    void progress(int percent) {
        last_ = percent;
        if (percent < 100) checked_ = percent;
        if (progress_) progress_(percent, kProgressOnly);
        qvp::sleepMs(10);
    }
    uint16_t& at(std::vector<uint16_t>& f, int r, int c) { return f[size_t(r) * b_ + c]; }
    int16_t value(const std::vector<uint16_t>& f, int r, int c) const { return int16_t(f[size_t(r) * b_ + c]); }

    uint8_t columnMarks();
    uint8_t waitForBuild();
    uint8_t noise();
    uint8_t baseline();
    uint8_t rawDataNear();
    uint8_t modeFrames();
    uint8_t baseFlat();
    uint8_t save();
    void ask(uint8_t* result);
    void writeReport(const std::string& path, uint8_t result);

    HANDLE h_;
    QVSystemReferenceProgress progress_;
    RawArray raw_{};
    int last_ = -1;     // the last progress reported
    int checked_ = -1;  // the last progress of a check (a save after a continue reports 100 without them)
    uint16_t version_ = 0;
    uint8_t capability_ = 0;
    int a_ = 0, b_ = 0, n_ = 0;
    std::vector<uint16_t> base_;
    std::array<std::vector<uint16_t>, kMaxModes> modes_;
    int modesRead_ = 0;
    std::vector<uint8_t> columnMark_, nodeMark_;
    std::array<uint8_t, kMaxModes> noise_{};
    uint8_t threshold_ = 0;
    int maxTh_ = 0;
    std::array<int, kMaxModes> modeMax_{}, modeCount_{};
    uint8_t kept_ = 0;  // the failure a continue overrode
};

// Marks the mutual column at the end of each driver line (bit 0), then the first
// and the last but one column (bit 1) when still unmarked.
uint8_t Build::columnMarks() {
    uint8_t reply[5] = {};
    if (!item(0x0D, 0x01, reply)) return 4;
    const int lines = std::min<int>(reply[4], kMarkLines);
    const int reads = lines < 15 ? (lines + 1) / 2 : 8;
    int sum = 0;
    for (int k = 0; k < reads; ++k) {
        if (!item(0x0D, uint8_t(0x02 + k), reply)) return 4;
        for (int w = 0; w < 2 && 2 * k + w < lines; ++w) {
            sum += reply[3 + w];
            const int column = sum - 1;
            if (column >= 0 && column < b_) columnMark_[column] = 1;
        }
    }
    for (int column : {0, b_ - 2})
        if (column >= 0 && column < b_ && columnMark_[column] == 0) columnMark_[column] = 2;
    return 0;
}

uint8_t Build::waitForBuild() {
    int failures = 0;
    for (int i = 0; i < 20; ++i) {
        qvp::sleepMs(500);
        uint8_t reply[5] = {};
        if (!command(0xE4, 0x00, 0x00, 0x00, 0x00, reply)) {
            // A missing answer only counts; its cleared bytes say nothing about the build.
            if (++failures >= 5) return 5;
            continue;
        }
        if (!(reply[3] & 0x01)) return 0;
    }
    return 6;
}

uint8_t Build::noise() {
    uint8_t reply[5] = {};
    if (!command(0xF5, 0x00, 0x05, 0x00, 0x00, reply)) return 3;
    for (int m = 0; m < kMaxModes; ++m) noise_[m] = reply[1 + m];
    if (!item(0x07, 0x11, reply)) return 4;
    threshold_ = reply[4];
    for (int m = 0; m < n_; ++m)
        if (noise_[m] >= threshold_) return 7;
    return 0;
}

uint8_t Build::baseline() {
    if (!GetBaseLine(h_, &raw_) || raw_.mutualCount != a_ * b_) return 8;
    base_.assign(raw_.mutual, raw_.mutual + raw_.mutualCount);
    return 0;
}

uint8_t Build::rawDataNear() {
    uint8_t reply[5] = {};
    if (!item(0x02, 0x04, reply)) return 4;
    const int k = reply[3];
    const bool skip = k != 0 && (capability_ & kModeDiff) != kModeDiff;
    bool failed = false;
    const auto fails = [](int x, int y, int s) { return std::abs(x - y) > (std::max(x, y) >> s); };
    for (int i = 0; i + 1 < a_; ++i) {
        if (skip && i == k - 1) continue;
        const int s = (i == 0 || i == a_ - 2) ? 1 : 2;
        for (int c = 0; c < b_; ++c)
            if (fails(at(base_, i, c), at(base_, i + 1, c), s)) {
                nodeMark_[size_t(i) * b_ + c] |= 0x01;
                failed = true;
            }
    }
    for (int r = 0; r < a_; ++r)
        for (int i = 0; i + 1 < b_; ++i) {
            const int s = columnMark_[i] ? 1 : 2;
            if (fails(at(base_, r, i), at(base_, r, i + 1), s)) {
                nodeMark_[size_t(r) * b_ + i] |= 0x02;
                failed = true;
            }
        }
    return failed ? 9 : 0;
}

// The differences of each frequency mode, read in diagnostic mode.
uint8_t Build::modeFrames() {
    for (int m = 0; m < n_; ++m) {
        LogText("\r[GetModeDiff]\r");
        uint8_t reply[5] = {};
        if (!command(0xE0, 0x00, 0xFF, 0x00, 0x01, reply)) return 10;
        const bool entered = !(ReplyWord(reply) & 0x8000);
        if (entered && !EnterDiagnosticMode(h_, 1)) return 10;
        if (!LoadNewDiagnosticData(h_, 0, uint8_t(m | 0x80))) return 10;
        qvp::sleepMs(50);
        if (!ReadRawArrayFrame(h_, &raw_) || raw_.mutualCount != a_ * b_) return 10;
        modes_[m].assign(raw_.mutual, raw_.mutual + raw_.mutualCount);
        modesRead_ = m + 1;
        if (entered && !EnterDiagnosticMode(h_, 0)) return 10;
    }
    return 0;
}

uint8_t Build::baseFlat() {
    uint8_t reply[5] = {};
    if (!item(0x03, 0x01, reply)) return 4;
    int t = reply[4];
    // The offset nibble raises the threshold by half for its two doubled forms.
    const uint8_t o = item(0x03, 0x08, reply) ? uint8_t(reply[4] & 0x0F) : 0;
    if ((o & 0x03) == 0x01 || (o & 0x0C) == 0x04) t = t * 3 / 2;
    if (t == 0) return 4;  // nothing to divide the count by
    maxTh_ = t * 4 / 3;
    bool failed = false;
    for (int m = 0; m < n_; ++m) {
        int sum = 0, max = 0;
        for (int r = 1; r + 1 < a_; ++r)
            for (int i = 1; i + 2 < b_; ++i) {
                int d = std::abs(value(modes_[m], r, i) - value(modes_[m], r, i + 1));
                if (columnMark_[i]) d = 2 * d / 3;
                max = std::max(max, d);
                if (d >= t) {
                    nodeMark_[size_t(r) * b_ + i] |= uint8_t(0x10 << m);
                    sum += d;
                }
            }
        modeMax_[m] = max;
        modeCount_[m] = sum / t;
        if (max > maxTh_ || modeCount_[m] > kCountLimit) failed = true;
    }
    return failed ? 11 : 0;
}

// Saves the new baseline; bits 17 (busy) and 24 (not saved) of the status after it must be clear.
uint8_t Build::save() {
    if (!SaveBaseAndWait(h_)) return 12;
    uint8_t reply[5] = {};
    if (!command(0xE4, 0x00, 0x00, 0x00, 0x00, reply)) return 12;
    if (ReplyWord(reply) & ((1u << 17) | (1u << 24))) return 12;
    progress(100);
    return 1;
}

void Build::ask(uint8_t* result) {
    const uint8_t code = *result;
    if (!progress_ || (code != 7 && code != 9 && code != 11)) return;
    setBusyByte(0);
    g_answer.store(kNoAnswer);
    progress_(kProgressOnly, code);
    if (g_answer.load() == kNoAnswer) qvp::sleepMs(10);
    if (g_answer.load() != 1) return;
    setBusyByte(1);
    g_answer.store(code);
    kept_ = code;
    *result = save();
}

void Build::writeReport(const std::string& path, uint8_t result) {
    Report r;
    r.add("\r[ Build System Reference Result ]\r");
    uint8_t reply[5] = {};
    if (version_ > 100 && command(0xE4, 0x00, 0x00, 0x00, 0x01, reply))
        r.add("\rMode Invalid : 0x%02X 0x%02X 0x%02X 0x%02X\r", reply[1], reply[2], reply[3], reply[4]);
    const auto rows = [&](const std::vector<uint16_t>& f, int rowCount, int columnCount, bool asSigned,
                          uint8_t markBit) {
        for (int i = 0; i < rowCount; ++i) {
            for (int c = 0; c < columnCount; ++c) {
                const int v = asSigned ? value(f, i, c) : f[size_t(i) * b_ + c];
                const bool marked = markBit && (nodeMark_[size_t(i) * b_ + c] & markBit);
                r.add(marked ? "*%d," : "%d,", v);
            }
            r.add("\r");
        }
    };
    if (version_ > 101) {
        r.add("\r[System Reference Flush Base]\r");
        for (int m = 0; m < modesRead_; ++m) {
            r.add("\rFrequency Mode %d\r", m);
            rows(modes_[m], a_, b_, true, 0);
        }
    }
    if (checked_ >= 30) {
        r.add("\r[Noise]\r");
        r.add("Threshold : %d\r", threshold_);
        for (int m = 0; m < n_; ++m) r.add("Frequency Mode %d:,%d\r", m, noise_[m]);
    }
    if (checked_ >= 60) {
        r.add("\r[Raw data near]\rSensor :\r");
        rows(base_, a_ - 1, b_, false, 0x01);
        r.add("\rDriver :\r");
        rows(base_, a_, b_ - 1, false, 0x02);
    }
    if (checked_ >= 80) {
        r.add("\r[Base Flat]\rMax TH : %d\rCount TH : %d\r", maxTh_, kCountLimit);
        for (int m = 0; m < n_; ++m) {
            r.add("\rFrequency Mode %d\r", m);
            rows(modes_[m], a_, b_, true, uint8_t(0x10 << m));
            r.add("\rMax : %d\r", modeMax_[m]);
            r.add("Count : %d\r", modeCount_[m]);
            if (modeMax_[m] > maxTh_ || modeCount_[m] > kCountLimit) r.add("*Fail\r");
        }
    }
    r.add("\r[Build Result]\r");
    if (result == 1) {
        r.add("Result : Build complete.\r");
        if (kept_) r.add("%s\r", ResultText(kept_));
    } else {
        r.add("Result : Build Failed.%s\r", ResultText(result));
    }
    qvtext::TextWriter file(path.c_str(), qvtext::TextWriter::Mode::Append);
    if (!file.write(r.text) || !file.close()) debug_log_msg(kDbgError, "system reference report: %s", file.error());
}

int Build::run(const std::string* logPath, uint8_t* result) {
    {
        DeviceLock lock(h_);
        const DevInfo* d = SlotRecord(h_);
        if (!d) return 0;
        if (!(d->byFeature[4] & 0x01)) return 1;
    }
    uint8_t reply[5] = {};
    if (!command(0xE4, 0x00, 0x00, 0x00, 0x00, reply)) return 1;
    version_ = uint16_t(reply[2] * 100 + reply[1]);
    setBusyByte(1);
    progress(0);
    const auto finish = [&]() {
        setBusyByte(0);
        return 1;
    };

    bool features = false;
    {
        DeviceLock lock(h_);
        if (const DevInfo* d = SlotRecord(h_)) {
            features = (d->byFeature[0] & 0x02) && (d->byFeature[1] & 0x40);
            capability_ = d->diag.capability[2];
        }
    }
    // Four modes at most: the noise levels and the node marks have room for four.
    if (!features || !command(0xF5, 0x00, 0x04, 0x00, 0x00, reply) || reply[2] == 0 || reply[2] > kMaxModes) {
        *result = 3;
        return finish();
    }
    n_ = reply[2];

    raw_.cbSize = QV_RAWARRAY_SIZE;
    if (!BuildRawArray(h_, &raw_)) {
        setBusyByte(0);
        return 0;
    }
    a_ = raw_.rows;
    b_ = raw_.columns;
    columnMark_.assign(size_t(b_), 0);
    nodeMark_.assign(size_t(a_) * b_, 0);

    uint8_t code = columnMarks();
    if (!code && !command(0xE4, 0x01, 0x00, 0x00, 0x01, reply)) code = 2;
    if (!code) progress(10);
    if (!code && !(code = waitForBuild())) progress(30);
    if (!code && !(code = noise())) progress(50);
    if (!code && !(code = baseline())) progress(60);
    if (!code && !(code = rawDataNear())) progress(70);
    if (!code && !(code = modeFrames())) progress(80);
    if (!code && !(code = baseFlat())) progress(90);
    if (!code) code = save();
    *result = code;
    ask(result);

    if (logPath) writeReport(*logPath, *result);
    if (last_ >= 50) EnterDiagnosticMode(h_, 0);
    FreeRawArray(h_, &raw_);
    return finish();
}

// One build in the library at a time: the flag is taken and given back here.
int BuildSystemReference(HANDLE h, QVSystemReferenceProgress progress, const std::string* logPath,
                         uint8_t* result) {
    if (!result) return 0;
    *result = 0;
    {
        DeviceLock lock(h);
        if (!SlotRecord(h)) return 0;
    }
    if (g_building.exchange(true)) {
        *result = 128;
        return 1;
    }
    g_answer.store(kNoAnswer);
    int ok = 0;
    {
        Build build(h, progress);
        ok = build.run(logPath, result);
    }
    g_building.store(false);
    return ok;
}

}  // namespace
}  // namespace qvlib

using namespace qvlib;

QV_API int BuildSystemReferenceW(HANDLE handle, QVSystemReferenceProgress progress, const QVWCHAR* logPath,
                                 uint8_t* result) {
    const std::string path = logPath ? WideToUtf8(logPath) : std::string();
    return BuildSystemReference(handle, progress, logPath ? &path : nullptr, result);
}

QV_API int BuildSystemReferenceA(HANDLE handle, QVSystemReferenceProgress progress, const char* logPath,
                                 uint8_t* result) {
    const std::string path = logPath ? logPath : "";
    return BuildSystemReference(handle, progress, logPath ? &path : nullptr, result);
}

QV_API int ContinueBuildSystemReference(int flag) {
    if (!g_building.load()) return 0;
    g_answer.store(flag ? 1 : 0);
    return 1;
}

QV_API int GetSystemReferenceInformation(HANDLE handle, uint8_t out[4]) {
    if (!out) return 0;
    std::fill(out, out + 4, uint8_t(0));
    DeviceLock lock(handle);
    const DevInfo* d = SlotRecord(handle);
    if (!d || !(d->byFeature[4] & 0x01)) return 0;
    uint8_t reply[5] = {};
    if (!Command(handle, 0xE4, 0x00, 0x00, 0x00, 0x00, reply)) return 0;
    out[0] = reply[2];
    out[1] = reply[1];
    const uint16_t status = uint16_t(reply[3] * 256 + reply[4]);
    std::memcpy(out + 2, &status, 2);
    return 1;
}
