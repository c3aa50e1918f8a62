// The command log: its exact line formats, the enable switch and the two widths.
#include "library_support.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace qvtest;

namespace {

class CommandLog : public LibTest {
protected:
    std::shared_ptr<qvsim::Controller> ctl;
    HANDLE h = INVALID_HANDLE_VALUE;
    void SetUp() override {
        LibTest::SetUp();
        ctl = std::make_shared<qvsim::Controller>();
        ctl->profile().featureF4 = {0x11, 0x22, 0x33, 0x44};
        h = addHid(ctl, "/sim/hidraw0", "KEY0", CurrentIdentity(6020, 1, 0));
        bench->clock().advance(123456 - now());
    }
};

TEST_F(CommandLog, LinesAreWrittenByteForByte) {
    openLog();
    const uint8_t f4[5] = {0xE0, 0x00, 0xF4, 0x00, 0x00};
    const uint8_t save[5] = {0xE4, 0x01, 0x00, 0x00, 0x02};
    const uint8_t scanOn[5] = {0xF1, 0x00, 0x00, 0x00, 0x01};
    uint8_t reply[5] = {};
    SendCmd(h, f4, reply);
    SendDelayCmd(h, save, reply, 20);
    SendCmdOnly(h, scanOn);
    ctl->refuse(0xE0, 1);
    SendCmd(h, f4, reply);
    EXPECT_EQ(closeLogAndRead(),
              "\r[IN],0xE0,0x00,0xF4,0x00,0x00,123456\r"
              "[OUT],0xE0,0x11,0x22,0x33,0x44,123456\r"
              "\r[IN],0xE4,0x01,0x00,0x00,0x02,20,[Delay],123456\r"
              "[OUT],0xE4,0x01,0x00,0x00,0x02,123476\r"
              "\r[IN],0xF1,0x00,0x00,0x00,0x01,[IN only],123476\r"
              "\r[IN],0xE0,0x00,0xF4,0x00,0x00,123476\r"
              "[ERR],0xAA,0xE0,0x00,0xF4,0x00,123476\r");
}

TEST_F(CommandLog, UnknownHandleStillLogsTheAttempt) {
    openLog();
    const uint8_t cmd[5] = {0xE9, 0, 0, 0, 0};
    uint8_t reply[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(SendCmd(reinterpret_cast<HANDLE>(0x42), cmd, reply), 0);
    EXPECT_EQ(closeLogAndRead(),
              "\r[IN],0xE9,0x00,0x00,0x00,0x00,123456\r"
              "[ERR],0x01,0x02,0x03,0x04,0x05,123456\r");
}

TEST_F(CommandLog, EnablingTwiceKeepsTheOpenFile) {
    openLog();
    ASSERT_EQ(WriteCommandLogA("one\r"), 1);
    // Remove the file under the open log: enabling again must not reopen it.
    ASSERT_EQ(::unlink(logPath().c_str()), 0);
    EXPECT_EQ(EnableLogCommandLine(1), 1);
    EXPECT_EQ(WriteCommandLogA("two\r"), 1);
    struct stat st;
    EXPECT_NE(::stat(logPath().c_str(), &st), 0);
    // Disabling closes; writes are refused until it is enabled again, which appends.
    EXPECT_EQ(EnableLogCommandLine(0), 1);
    EXPECT_EQ(WriteCommandLogA("three\r"), 0);
    EXPECT_EQ(EnableLogCommandLine(1), 1);
    EXPECT_EQ(WriteCommandLogA("four\r"), 1);
    EXPECT_EQ(EnableLogCommandLine(2), 1);  // another value reopens, appending
    EXPECT_EQ(WriteCommandLogA("five\r"), 1);
    EXPECT_EQ(closeLogAndRead(), "four\rfive\r");
}

TEST_F(CommandLog, TextModeLineEndsAndWidths) {
    openLog();
    EXPECT_EQ(WriteCommandLogA("a\nb\rc\r\n"), 1);
    EXPECT_EQ(WriteCommandLogW(u"wide"), 0);  // the narrow log is selected
    EnableLogCommandLine(0);

    SetCommandLogPathW(qvlib::Utf8ToWide(logPath()).c_str());
    ASSERT_EQ(EnableLogCommandLine(1), 1);
    EXPECT_EQ(WriteCommandLogA("narrow"), 0);  // the wide log is selected
    EXPECT_EQ(WriteCommandLogW(u"\u00DC\u4E2D\n"), 1);
    EXPECT_EQ(closeLogAndRead(), "a\r\nb\rc\r\r\n\xC3\x9C\xE4\xB8\xAD\r\n");
}

TEST_F(CommandLog, AFailedOpenIsReportedEveryTime) {
    SetCommandLogPathA("/nonexistent-dir/for/the/log.txt");
    EXPECT_EQ(EnableLogCommandLine(1), 0);
    EXPECT_EQ(EnableLogCommandLine(1), 0);  // still no log: not reported as open
    EXPECT_EQ(WriteCommandLogA("x"), 0);
    SetCommandLogPathA(logPath().c_str());
    EXPECT_EQ(EnableLogCommandLine(1), 1);
    EXPECT_EQ(WriteCommandLogA("x"), 1);
    EXPECT_EQ(closeLogAndRead(), "x");
}

TEST_F(CommandLog, LongPathsAreCutAtTheFieldSize) {
    std::string longPath(400, 'a');
    EXPECT_EQ(SetCommandLogPathA(longPath.c_str()), 1);
    std::u16string wide(400, u'b');
    EXPECT_EQ(SetCommandLogPathW(wide.c_str()), 1);
    EXPECT_EQ(EnableLogCommandLine(1), 0);  // a name of 259 characters cannot be created
}

}  // namespace
