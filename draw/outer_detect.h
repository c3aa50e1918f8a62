// The outer-detect (finger stability) test: each contact's first point of a
// run is its centre; every later point is scored by the ring of width D
// millimetres it falls in, and a run's results are appended to a log.
#pragma once

#include "touch_decoder.h"

#include <array>
#include <cstdint>
#include <string>

namespace qvdraw {

constexpr int kRings = 6;
constexpr int kDefaultDistanceMm = 20;
constexpr const char* kOuterDetectLogName = "Outer Detect Result.log";

struct OuterDetectSettings {
    int distanceMm = kDefaultDistanceMm;           // at least 1
    std::array<int, kRings> coefficients{0, 1, 2, 3, 4, 5};
    bool ignoreOtherFinger = false;
};

// The ring of a point at squared distance `squared` from its centre, for ring
// width r pixels: the number of whole multiples of r not beyond the distance,
// capped at 5. A point exactly on a boundary lies in the outer ring; a point
// nearer than r (the centre itself included) is ring 0.
int ringIndex(int64_t squared, double ringPixels);

struct ContactScore {
    int centreX = -1, centreY = -1; // -1 = no centre yet
    int score = -1;                 // -1 = not seen in this run
    int samples = 0;
    std::array<int, kRings> rings{};
    bool seen() const { return score >= 0; }
};

class OuterDetect {
public:
    OuterDetect(OuterDetectSettings settings, double pixelsPerMm);

    const OuterDetectSettings& settings() const { return settings_; }
    void setSettings(const OuterDetectSettings& settings);
    double ringPixels() const { return settings_.distanceMm * pixelsPerMm_; }

    // Clears every contact's centre and statistics.
    void reset();
    // A touching point of contact `id`; ids outside 0..9 are not scored.
    void addPoint(int id, int x, int y);
    const ContactScore& contact(int id) const { return contacts_.at(id); }

    // The log block of a run that lasted `elapsedMs`.
    std::string logText(int64_t elapsedMs) const;
    // Appends logText to the file (created when missing); false with `error` set on failure.
    bool appendLog(const std::string& path, int64_t elapsedMs, std::string* error) const;

private:
    OuterDetectSettings settings_;
    double pixelsPerMm_;
    std::array<ContactScore, kMaxContacts> contacts_{};
};

// "<ms / 1000>.<ms % 1000, three digits>": 1005 ms reads 1.005.
std::string elapsedSecondsText(int64_t elapsedMs);

} // namespace qvdraw
