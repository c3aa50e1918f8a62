// The library's clock exports run on the platform clock: on the virtual clock
// while simulated controllers are active, so a program's waits cost no real time.
#include "library_support.h"

#include <chrono>

namespace qvtest {
namespace {

class PlatformClock : public LibTest {};

TEST_F(PlatformClock, SleepAdvancesTheVirtualTickCountWithoutWaiting) {
    bench->clock().advance(0xFFFFFF00u);  // ticks wrap at 2^32 like the platform's
    const uint32_t before = QVPlatformTickCount();
    EXPECT_EQ(before, uint32_t(bench->clock().nowMs()));
    const auto realStart = std::chrono::steady_clock::now();
    QVPlatformSleep(250);
    EXPECT_EQ(uint32_t(QVPlatformTickCount() - before), 250u);
    QVPlatformSleep(60000);
    const auto realElapsed = std::chrono::steady_clock::now() - realStart;
    EXPECT_EQ(uint32_t(QVPlatformTickCount() - before), 60250u);
    EXPECT_EQ(bench->clock().nowMs(), 0xFFFFFF00ull + 60250u);
    EXPECT_LT(realElapsed, std::chrono::seconds(30));  // a real minute's sleep would be caught
}

}  // namespace
}  // namespace qvtest
