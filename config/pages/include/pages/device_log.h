// The device-information log and the register dump of the Debug page.
//
// The device-information log records what the program can read from the
// controller: versions, interfaces, state words, feature bytes, parameter lists,
// an event-halt frame, the baseline and the raw frames per frequency-hopping
// mode. Its first part is written at once (WriteLogDeviceInterface); the frames
// follow one per LogStep, which the page runs from its timer 1 so the window
// stays responsive. The register dump (WriteLogICRegisters) writes the IC's
// configuration words, SFR and data RAM.
//
// No widgets here: the page owns the dialogs, the timer and the messages; what
// the log tells the main window goes through the `notify` function it is given
// (WM_DEBUG_COMMAND code and value). The frame text and the step arithmetic
// are plain functions, tested on their own.
#pragma once

#include "QV_Standard.h"
#include "text/text_file.h"

#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vcx {

struct Controller;

// ---- Frame text ----------------------------------------------------------------

// A frame as the log lays it out: `rows` rows of `perRow` values, the first
// `columns` of them mutual, the next `extraColumns` extra ones.
struct FrameShape {
    int rows = 0;
    int perRow = 0;
    int columns = 0;
    int extraColumns = 0;
    int count() const { return rows * perRow; }
};
// The shape of a whole frame of `wholeCount` values on a controller of `info`'s
// geometry. The controller's numbers are not trusted: no rows gives no shape,
// the values per row are what the whole count holds, and the column counts
// are cut to them.
FrameShape FrameShapeOf(const DiagnosticInfo& info, int wholeCount);

// How the values print: "%d" with values above 0x8000 as value - 0x10000,
// unsigned "%d", or "0x%04X".
enum class FrameValueForm { Signed, Unsigned, Hex };

// The column line ("index, ", the column numbers every fifth, "Sector, ", the
// extra columns; with a difference block ",index, " or ",,index, " and the same
// again) and its "\n".
std::string FrameColumnLine(const FrameShape& s, bool differenceBlock);
// The column line, then per row "\n" and its values; with `baseline` a
// difference block of frame - baseline (baseline - frame when
// `baselineMinusFrame`) follows each row after ", ". `frame` and `baseline`
// hold s.count() values.
std::string FrameText(const FrameShape& s, const uint16_t* frame, const uint16_t* baseline, FrameValueForm form,
                      bool baselineMinusFrame);

// ---- Steps ---------------------------------------------------------------------

constexpr int kLogStepEnd = 0xFFFF;
constexpr int kLogLastStep = 35;

// A frequency step k (9..35, a multiple of 3): mode m = (k - 9) / 9, phase p =
// ((k - 9) mod 9) / 3 and the frequency byte it selects (the mode in the low two
// bits, the frequency step above): phase 0 the current frequency's step, 1 the
// lowest, 2 the highest.
struct FrequencyStep {
    int mode = 0;
    int phase = 0;
    uint8_t value = 0;
    bool operator==(const FrequencyStep&) const = default;
};
FrequencyStep FrequencyStepOf(int k, uint8_t currentFrequency, int modeCount);

// The register dump's printable text of `n` bytes: ASCII as it stands, '.' for the rest.
std::string PrintableBytes(const uint8_t* bytes, int n);

// The most the register dump reads of the controller's sizes: configuration
// words (their index is one byte), SFR and data-RAM bytes.
constexpr uint32_t kMaxConfigWords = 256;
constexpr uint32_t kMaxDumpBytes = 0x10000;

// ---- The log -------------------------------------------------------------------

class DeviceLog {
public:
    // WM_DEBUG_COMMAND (code, value) to the main window.
    using Notify = std::function<void(int code, qint64 value)>;

    DeviceLog(Controller& c, Notify notify);

    // The log file, opened for appending; false when it cannot be opened.
    bool open(const std::string& path);
    // The file the frames go to next (the noise log's, when it wrote the first part).
    void setPath(const std::string& path) { path_ = path; }
    void close();
    bool isOpen() const { return file_.isOpen(); }
    const std::string& path() const { return path_; }
    qvtext::TextWriter& file() { return file_; }

    // The first part of the log (function kind 0..5), into the log file or into `w`.
    void WriteLogDeviceInterface(int kind);
    void WriteLogDeviceInterface(qvtext::TextWriter& w, int kind);
    // The register dump into `w`; a progress tick (1, 1) every 256 SFR or RAM addresses.
    void WriteLogICRegisters(qvtext::TextWriter& w);

    // Step 0, frequency not read, the device's mode count (3 when it has none).
    void startSteps();
    // One step of the frames; false when no further step follows (the log
    // ended, or it waits for the noise log's open/short part).
    bool LogStep();
    // The open/short part is over: the file is opened again for the steps that follow.
    bool resumeAfterOpenShort();

    // Current frequency (F5 00 0F) and abnormal-scan frequency (F5 00 0E) words, 0xFF00 when unread.
    void readFrequencies();

    // The frame arrays' whole count sized the page's baseline and event-halt frames.
    void allocateFrames(int wholeCount);
    void freeFrames();

    int step() const { return step_; }
    uint8_t frequency() const { return frequency_; }
    int modeCount() const { return modeCount_; }
    uint8_t haltKind() const { return haltKind_; }
    void clearHaltKind() { haltKind_ = 0; }
    const std::vector<uint16_t>& baseline() const { return baseline_; }

    // The log's flags: for the system reference (its progress goes as code 7),
    // started by the noise log (the open/short part runs between steps 3 and 4).
    bool forSystemReference = false;
    bool startedByNoiseLog = false;

    // The code the progress goes out with.
    int progressCode() const { return forSystemReference ? 7 : 1; }

private:
    enum class Frame { Baseline, ModeDiff, EventHalt, RawCount };
    // One frame with its heading; false when it could not be read.
    bool WriteLogRawData(Frame kind, int number);
    void WriteLogFrequencyHopping(qvtext::TextWriter& f);
    void WriteLogParameterLists(qvtext::TextWriter& f);
    void WriteLogEventHalt(qvtext::TextWriter& f);
    void stopScanning();
    void endLog();
    uint8_t generation() const;
    int deviceModeCount() const;
    bool itemProtocol() const;
    // One dump section: the size by `sizeSelector`, then 16 bytes per line by `readSelector`.
    bool dumpMemory(qvtext::TextWriter& w, uint8_t sizeSelector, uint8_t readSelector, const char* heading,
                    const char* failed);

    Controller& c_;
    Notify notify_;
    qvtext::TextWriter file_;
    std::string path_;
    int step_ = 0;
    uint8_t frequency_ = 0xFF;
    int modeCount_ = 3;
    uint8_t haltKind_ = 0;
    uint16_t abnormalFrequencyWord_ = 0xFF00;
    std::vector<uint16_t> baseline_;
    std::vector<uint16_t> haltFrame_;
};

} // namespace vcx
