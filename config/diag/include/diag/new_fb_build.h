// The arithmetic and the report of the newer system reference build (the
// controller scans for interference itself; the program starts the build,
// checks the noise levels, a base-line frame and one frame per frequency-hopping
// mode, and asks the firmware to save the base): its step numbers, the progress
// percentage and overlay text of each step, the question's button areas, and
// the report body's sections, written through the text-mode writer with a lone
// "\r" ending each line.
#pragma once

#include "diag/diag_state.h"

#include "text/text_file.h"

#include <QRect>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vcx::newfb {

// Steps: 11 idle, 12..20 the build; the timer of a step has the step's number.
enum Step : int {
    kIdle = 11,
    kStart = 12,      // E4 01 00 00 01
    kWait = 13,       // status polls until bit 8 clears
    kNoise = 14,      // F5 00 05: the noise level of each mode
    kBaseLine = 15,   // scanning set up, the base-line frame
    kNearRaw = 16,    // the near-raw check on the base-line frame
    kModeFrames = 17, // one frame per frequency-hopping mode
    kBaseFlat = 18,   // the base-flat check over the mode frames
    kSave = 19,       // E4 01 00 00 02 and the status
    kDone = 20,
};

// Result codes the build gives the factory view (0: built).
enum Code : int {
    kCodeNone = 0,
    kCodeStart = 1,        // no modes, or the noise levels unanswered
    kCodeStartRefused = 2,
    kCodeCancelled = 3,
    kCodeUnplugged = 4,
    kCodeWaitTimeout = 5,
    kCodeInterference = 6,
    kCodeBaseLine = 7,
    kCodeNearRaw = 8,
    kCodeModeFrame = 9,
    kCodeBaseFlat = 10,
    kCodeSave = 11,
    kCodeStatusSilent = 13,
};

constexpr int kMaxWaitPolls = 20;     // 10 s of 500 ms polls
constexpr int kMaxE4Failures = 4;     // more unanswered polls end the build
constexpr int kNoiseModes = 4;        // F5 00 05 gives four levels
constexpr int kFirstTimerMs = 1000;
constexpr int kSlowTimerMs = 500;     // after step 12 and while step 13 waits
constexpr int kFastTimerMs = 10;
constexpr int kCountThreshold = 22;   // the base-flat count limit the report prints

// Codes the operator may build anyway, once per build.
constexpr bool IsQuestionCode(int code) {
    return code == kCodeInterference || code == kCodeNearRaw || code == kCodeBaseFlat;
}
// The noise levels judged and the mode frames read for a mode count.
constexpr int NoiseModeCount(int modes) { return modes < 0 ? 0 : modes > kNoiseModes ? kNoiseModes : modes; }
constexpr int FrameModeCount(int modes) { return modes < 0 ? 0 : modes > kMaxFreqModes ? kMaxFreqModes : modes; }

// The overlay's percentage of a step (13: wait polls + 1).
int StepPercent(int step, int waitPolls);
// The overlay's string id for a result code: 1132 (code 0, with the
// percentage), 1133..1137 for 6, 3, 4, 8, 10; 0 for codes that show nothing.
int OverlayTextId(int code);
constexpr int kTextWorking = 1132;

// "Yes" over W/10..W/2 and "No" over W/2..9W/10, both at y 6H/10..9H/10 of the screen.
struct QuestionButtons {
    QRect yes, no;
};
QuestionButtons LayoutQuestionButtons(int width, int height);

// The warning line of an overridden code; empty for any other code.
std::string_view WarningText(int overriddenCode);

// "\rMode Invalid : 0x%02X 0x%02X 0x%02X 0x%02X\r" with E4 00 00 00 01's reply bytes 1..4.
void WriteModeInvalid(qvtext::TextWriter& w, const std::array<uint8_t, 4>& bytes);
// "\r[System Reference Flush Base] :\r"
void WriteFlushBaseHeading(qvtext::TextWriter& w);
// One mode of the flush base: "\rFrequency Mode %d\r", then per row the mutual
// values, then the extra values, each "%d,", the row closed with "\r"; "\r"
// after the mode. Values are signed 16-bit; short arrays print nothing.
void WriteFlushBaseMode(qvtext::TextWriter& w, int mode, const uint16_t* mutual, size_t mutualCount,
                        const uint16_t* extra, size_t extraCount, int rows, int columns, int extraColumns);

// What the checks of a build left, for the sections they reached.
struct BuildSections {
    int rows = 0, columns = 0;   // A, B
    int checksDone = 0;          // 1 noise, 2 base line, + 1 per mode frame
    int threshold = 0;           // T
    int modeCount = 0;           // M
    std::array<uint8_t, kNoiseModes> noise{};
    const Frame* baseLine = nullptr;
    const DiagState* state = nullptr;  // mode frames, fail map, column flags, base-flat results
    std::string_view resultText;
    int overriddenCode = 0;
};
// "[Noise]", "[Raw data near]", "[Base Flat]" as far as the checks got, then
// "[Build Result]" with the result text and the warning of an override.
void WriteBuildSections(qvtext::TextWriter& w, const BuildSections& b);

}  // namespace vcx::newfb
