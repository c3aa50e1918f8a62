// The backend-independent part: per-thread last error and the active backend and clock.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace qvp {
namespace {

TEST(LastError, IsPerThreadAndClears) {
    setLastError(ErrorKind::NotFound, "open /dev/x: gone");
    ErrorKind seen = ErrorKind::Other;
    std::string seenText = "untouched";
    std::thread([&] {
        seen = lastError().kind;
        seenText = lastError().text;
        setLastError(ErrorKind::Timeout, "other thread");
    }).join();
    EXPECT_EQ(seen, ErrorKind::None);
    EXPECT_EQ(seenText, "");
    EXPECT_EQ(lastError().kind, ErrorKind::NotFound);
    EXPECT_EQ(lastError().text, "open /dev/x: gone");
    clearLastError();
    EXPECT_EQ(lastError().kind, ErrorKind::None);
    EXPECT_TRUE(lastError().text.empty());
}

TEST(LastError, EveryKindHasItsOwnName) {
    std::set<std::string> names;
    for (ErrorKind k : {ErrorKind::None, ErrorKind::Timeout, ErrorKind::InvalidParameter, ErrorKind::NotFound,
                        ErrorKind::Other})
        names.insert(errorKindName(k));
    EXPECT_EQ(names.size(), 5u);
    EXPECT_EQ(names.count(""), 0u);
}

class CountingClock : public Clock {
public:
    void sleepMs(uint32_t ms) override { now += ms; }
    uint32_t tickCount() override { return now; }
    uint32_t now = 0;
};

// Restores the active backend and clock after a test that replaces them.
class ActiveSelection : public ::testing::Test {
protected:
    void SetUp() override {
        savedBackend_ = currentBackend();
        savedClock_ = currentClock();
    }
    void TearDown() override {
        setBackend(savedBackend_);
        setClock(savedClock_);
    }
    std::shared_ptr<Backend> savedBackend_;
    std::shared_ptr<Clock> savedClock_;
};

TEST_F(ActiveSelection, ReplacedBackendAndClockAreWhatCallersReach) {
    auto clock1 = std::make_shared<CountingClock>();
    setClock(clock1);
    sleepMs(40);
    sleepMs(2);
    EXPECT_EQ(tickCount(), 42u);
    EXPECT_EQ(currentClock(), clock1);

    auto linux1 = makeLinuxBackend();
    setBackend(linux1);
    EXPECT_EQ(&backend(), linux1.get());
    EXPECT_EQ(currentBackend(), linux1);

    // A reference taken before a replacement stays usable: another thread may be inside a call.
    Backend& before = backend();
    setBackend(makeLinuxBackend());
    linux1.reset();
    EXPECT_STREQ(before.name(), "linux");
    EXPECT_NE(&backend(), &before);

    // Nothing given: the operating system's own backend and clock.
    setBackend(nullptr);
    setClock(nullptr);
    EXPECT_STREQ(backend().name(), "linux");
    EXPECT_NE(currentClock(), clock1);
}

}  // namespace
}  // namespace qvp
