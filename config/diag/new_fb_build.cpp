#include "diag/new_fb_build.h"

namespace vcx::newfb {

namespace {

int at16(const Frame& f, size_t i) { return int(int16_t(f[i])); }

bool holds(const Frame* f, size_t n) { return f && f->size() >= n; }

uint8_t flagOf(const std::vector<uint8_t>& flags, int c) { return size_t(c) < flags.size() ? flags[size_t(c)] : 0; }

uint8_t mapOf(const std::vector<uint8_t>& map, size_t i) { return i < map.size() ? map[i] : 0; }

}  // namespace

int StepPercent(int step, int waitPolls) {
    switch (step) {
    case kWait: return waitPolls + 1;
    case kNoise: return 30;
    case kBaseLine: return 50;
    case kNearRaw: return 70;
    case kModeFrames: return 80;
    case kBaseFlat: return 90;
    case kSave: return 95;
    default: return 0;
    }
}

int OverlayTextId(int code) {
    switch (code) {
    case kCodeNone: return kTextWorking;
    case kCodeInterference: return 1133;
    case kCodeCancelled: return 1134;
    case kCodeUnplugged: return 1135;
    case kCodeNearRaw: return 1136;
    case kCodeBaseFlat: return 1137;
    default: return 0;
    }
}

QuestionButtons LayoutQuestionButtons(int width, int height) {
    const int top = height * 6 / 10, bottom = height * 9 / 10;
    QuestionButtons b;
    b.yes = QRect(QPoint(width / 10, top), QPoint(width / 2, bottom));
    b.no = QRect(QPoint(width / 2, top), QPoint(width * 9 / 10, bottom));
    return b;
}

std::string_view WarningText(int overriddenCode) {
    switch (overriddenCode) {
    case kCodeInterference: return "Warning : Environmental interference.";
    case kCodeNearRaw: return "Warning : Check raw data near failed.";
    case kCodeBaseFlat: return "Warning : Check base flat failed.";
    default: return {};
    }
}

void WriteModeInvalid(qvtext::TextWriter& w, const std::array<uint8_t, 4>& b) {
    w.printf("\rMode Invalid : 0x%02X 0x%02X 0x%02X 0x%02X\r", b[0], b[1], b[2], b[3]);
}

void WriteFlushBaseHeading(qvtext::TextWriter& w) { w.write("\r[System Reference Flush Base] :\r"); }

void WriteFlushBaseMode(qvtext::TextWriter& w, int mode, const uint16_t* mutual, size_t mutualCount,
                        const uint16_t* extra, size_t extraCount, int rows, int columns, int extraColumns) {
    w.printf("\rFrequency Mode %d\r", mode);
    if (rows > 0 && columns > 0 && mutual && mutualCount >= size_t(rows) * size_t(columns)) {
        const bool withExtra = extraColumns > 0 && extra && extraCount >= size_t(rows) * size_t(extraColumns);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) w.printf("%d,", int(int16_t(mutual[size_t(r) * size_t(columns) + size_t(c)])));
            if (withExtra)
                for (int c = 0; c < extraColumns; ++c)
                    w.printf("%d,", int(int16_t(extra[size_t(r) * size_t(extraColumns) + size_t(c)])));
            w.write("\r");
        }
    }
    w.write("\r");
}

void WriteBuildSections(qvtext::TextWriter& w, const BuildSections& b) {
    const int A = b.rows, B = b.columns;
    const size_t n = A > 0 && B > 0 ? size_t(A) * size_t(B) : 0;
    const auto idx = [B](int r, int c) { return size_t(r) * size_t(B) + size_t(c); };
    static const std::vector<uint8_t> none;
    const std::vector<uint8_t>& failMap = b.state ? b.state->g_FailMap : none;
    const std::vector<uint8_t>& columnFlags = b.state ? b.state->g_ColumnFlags : none;

    if (b.checksDone > 0) {
        w.write("\r[Noise]\r");
        w.printf("Threshold : %d\r", b.threshold);
        for (int i = 0; i < NoiseModeCount(b.modeCount); ++i) w.printf("Frequency Mode %d:,%d\r", i, b.noise[size_t(i)]);
    }
    if (b.checksDone > 1) {
        w.write("\r[Raw data near]\nSensor :\r");
        if (n && holds(b.baseLine, n)) {
            for (int r = 0; r + 1 < A; ++r) {
                for (int c = 0; c < B; ++c)
                    w.printf((mapOf(failMap, idx(r, c)) & 1) ? "*%d," : "%d,", at16(*b.baseLine, idx(r, c)));
                w.write("\r");
            }
        }
        w.write("\rDriver :\r");
        if (n && holds(b.baseLine, n)) {
            for (int r = 0; r < A; ++r) {
                for (int c = 0; c + 1 < B; ++c)
                    w.printf((mapOf(failMap, idx(r, c)) & 2) ? "*%d," : "%d,", at16(*b.baseLine, idx(r, c)));
                w.write("\r");
            }
        }
        w.write("\r");
    }
    if (b.checksDone > 2 && b.state) {
        const DiagState& s = *b.state;
        w.write("\r[Base Flat]\r");
        w.printf("Max TH : %d\r", int(s.BaseFlatMaxLimit));
        w.printf("Count TH : %d\r", kCountThreshold);
        const int modes = FrameModeCount(b.checksDone - 2);
        for (int u = 0; u < modes; ++u) {
            w.printf("\rFrequency Mode %d\r", u);
            const Frame& f = s.ModeFrame[size_t(u)];
            if (n && f.size() >= n) {
                for (int r = 0; r < A; ++r) {
                    for (int c = 0; c < B; ++c) {
                        const bool failed = mapOf(failMap, idx(r, c)) & (0x10 << u);
                        const bool boundary = flagOf(columnFlags, c) == 1;
                        if (boundary) w.write("_");
                        w.printf(failed ? "*%d," : "%d,", at16(f, idx(r, c)));
                    }
                    w.write("\r");
                }
            }
            w.printf("\rMax : %d\r", s.BaseFlatMax[size_t(u)]);
            w.printf("Count : %d\r", s.BaseFlatCount[size_t(u)]);
            if (s.BaseFlatFailModes & (1u << u)) w.write("*Fail\r");
        }
    }
    w.write("\r[Build Result]\r");
    w.write(b.resultText);
    w.write("\r");
    const std::string_view warning = WarningText(b.overriddenCode);
    if (!warning.empty()) {
        w.write(warning);
        w.write("\r");
    }
}

}  // namespace vcx::newfb
