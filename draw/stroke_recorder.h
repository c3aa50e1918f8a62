// Per-contact stroke state: each touching point moves the contact's current
// point to its previous one; a lift clears both. Counts samples (for the
// sample-rate display) and watchdog marks. Ids outside 0..9 carry no stroke.
#pragma once

#include "touch_decoder.h"

#include <array>

namespace qvdraw {

struct ContactTrack {
    ScreenPoint previous{-1, -1};
    ScreenPoint current{-1, -1};
    int samples = 0; // touching points since the last sample-rate tick
    bool active() const { return current.x >= 0; }
};

// What a contact event did, for the drawing of it.
struct StrokeStep {
    enum Kind { Ignored, Down, Move, Lift } kind = Ignored;
    int id = -1;
    ScreenPoint from{-1, -1}; // the previous point (Move), the last point (Lift)
    ScreenPoint to{-1, -1};   // the new point (Down, Move)
};

class StrokeRecorder {
public:
    StrokeStep touch(int id, ScreenPoint point);
    StrokeStep lift(int id);
    void watchdogMark() { ++watchdogCount_; }
    int watchdogCount() const { return watchdogCount_; }
    void resetWatchdogCount() { watchdogCount_ = 0; }

    const ContactTrack& track(int id) const { return tracks_.at(id); }
    // Returns each contact's samples and starts counting anew.
    std::array<int, kMaxContacts> takeSamples();
    void clear() { tracks_.fill(ContactTrack{}); }

private:
    std::array<ContactTrack, kMaxContacts> tracks_{};
    int watchdogCount_ = 0;
};

} // namespace qvdraw
