// The real clock: sleeps block the calling thread, ticks come from the
// monotonic clock so that setting the wall-clock time never disturbs them.
#include <time.h>

#include <cerrno>

#include "platform/platform.h"

namespace qvp {

namespace {

class RealClock final : public Clock {
public:
    void sleepMs(uint32_t ms) override {
        timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        // A signal cuts the sleep short; sleep the rest.
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }

    uint32_t tickCount() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
        return static_cast<uint32_t>(ms);  // wraps at 2^32 like a tick counter
    }
};

}  // namespace

std::shared_ptr<Clock> makeRealClock() { return std::make_shared<RealClock>(); }

}  // namespace qvp
