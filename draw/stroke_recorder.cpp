#include "stroke_recorder.h"

namespace qvdraw {

StrokeStep StrokeRecorder::touch(int id, ScreenPoint point) {
    if (id < 0 || id >= kMaxContacts) return {};
    ContactTrack& t = tracks_[id];
    StrokeStep step;
    step.id = id;
    step.kind = t.active() ? StrokeStep::Move : StrokeStep::Down;
    step.from = t.current;
    step.to = point;
    t.previous = t.current;
    t.current = point;
    t.samples += 1;
    return step;
}

StrokeStep StrokeRecorder::lift(int id) {
    if (id < 0 || id >= kMaxContacts) return {};
    ContactTrack& t = tracks_[id];
    if (!t.active()) return {};
    StrokeStep step;
    step.id = id;
    step.kind = StrokeStep::Lift;
    step.from = t.current;
    t.previous = t.current = ScreenPoint{-1, -1};
    return step;
}

std::array<int, kMaxContacts> StrokeRecorder::takeSamples() {
    std::array<int, kMaxContacts> out{};
    for (int i = 0; i < kMaxContacts; ++i) {
        out[i] = tracks_[i].samples;
        tracks_[i].samples = 0;
    }
    return out;
}

} // namespace qvdraw
