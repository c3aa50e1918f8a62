// Waiting in a test for what another thread or process does: until a
// condition holds, with a ceiling that only keeps a broken test from hanging
// (nothing is timed against it). The protocol's own waits never come here:
// they run on the simulator's virtual clock.
#pragma once

#include <chrono>
#include <concepts>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace qvtest {

// The ceiling of every wait.
inline constexpr std::chrono::milliseconds kWaitCeiling{10000};

// Checks `done` and runs `between` until `done` holds (what lets the other side
// move: processing this thread's events, or a short pause for a thread that
// signals nothing); false when the ceiling passes first.
template <typename Done, std::invocable Between>
bool waitUntil(Done done, Between between, std::chrono::milliseconds ceiling = kWaitCeiling) {
    const auto giveUp = std::chrono::steady_clock::now() + ceiling;
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        between();
    }
    return true;
}

// For state another thread changes without signalling it: checks every millisecond.
template <typename Done>
bool waitUntil(Done done, std::chrono::milliseconds ceiling = kWaitCeiling) {
    return waitUntil(done, [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }, ceiling);
}

// For data whose writers notify `cv`: waits on it, `done` checked under `lock`.
template <typename Done>
bool waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, Done done,
               std::chrono::milliseconds ceiling = kWaitCeiling) {
    return cv.wait_for(lock, ceiling, done);
}

}  // namespace qvtest
