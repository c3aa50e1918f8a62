#include "diag/diag_state.h"

#include <algorithm>

namespace vcx {

DiagState& diagState() {
    static DiagState state;
    return state;
}

void AllocDiagBuffers(DiagState& s, int rows, int columns, int extraCount) {
    const size_t a = size_t(std::max(rows, 0)), b = size_t(std::max(columns, 0));
    const auto fresh = [](Frame& f, size_t n) { f.assign(n, 0); };
    for (auto* set : {&s.RawFrame, &s.ScanFrame, &s.DiffFrame, &s.ModeFrame})
        for (Frame& f : *set) fresh(f, a * b);
    fresh(s.NodeFailMask, a * b);
    fresh(s.ExtraFrame, size_t(std::max(extraCount, 0)));
    fresh(s.LastColumn, a);
    fresh(s.DriverFailMask, b);
    fresh(s.SensorFailMask, a);
}

void FreeDiagBuffers(DiagState& s) {
    for (auto* set : {&s.RawFrame, &s.ScanFrame, &s.DiffFrame, &s.ModeFrame})
        for (Frame& f : *set) Frame().swap(f);
    for (Frame* f : {&s.NodeFailMask, &s.ExtraFrame, &s.LastColumn, &s.DriverFailMask, &s.SensorFailMask, &s.BaseFrame})
        Frame().swap(*f);
}

}  // namespace vcx
