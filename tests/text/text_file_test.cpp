// The text-mode writer (line ends, formats, modes, failures), the clock it
// stamps with, and the line reader.
#include "text/text_file.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using qvtext::LineReader;
using qvtext::LocalTime;
using qvtext::ScopedClock;
using qvtext::TextWriter;

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class TextWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qvtext-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string path(const char* name) const { return dir_ + "/" + name; }

    std::string dir_;
};

TEST_F(TextWriterTest, LineEndsReachTheDiskInTextMode) {
    struct Case {
        std::string text, disk;
    } cases[] = {
        {"\n", "\r\n"},
        {"\r\n", "\r\r\n"},  // a format's own CR LF, as the designed program wrote it
        {"\r", "\r"},
        {"\rWrite Log Time : 2024/05/06 07:08:09\r", "\rWrite Log Time : 2024/05/06 07:08:09\r"},
        {"no line end", "no line end"},
        {"a\nb\n", "a\r\nb\r\n"},
        {"\n\n", "\r\n\r\n"},
        {"Gr\xC3\xB6\xC3\x9F" "e : 15.6\"\n", "Gr\xC3\xB6\xC3\x9F" "e : 15.6\"\r\n"},
        {std::string("a\0b\n", 4), std::string("a\0b\r\n", 5)},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        {
            TextWriter w(path("write.txt").c_str(), TextWriter::Mode::Create);
            ASSERT_TRUE(w.isOpen()) << w.error();
            EXPECT_TRUE(w.write(c.text));
            EXPECT_TRUE(w.close());
        }
        EXPECT_EQ(bytesOf(path("write.txt")), c.disk);
        if (c.text.find('\0') != std::string::npos) continue;  // %s stops at a NUL
        {
            TextWriter w(path("printf.txt").c_str(), TextWriter::Mode::Create);
            EXPECT_TRUE(w.printf("%s", c.text.c_str()));
            EXPECT_TRUE(w.close());
        }
        EXPECT_EQ(bytesOf(path("printf.txt")), c.disk);
    }
}

TEST_F(TextWriterTest, FormatsHavePrintfSemanticsAndLongLinesAreWhole) {
    const std::string file = path("long.csv");
    const std::string longText(100000, 'v');
    std::string row;
    for (int i = 0; i < 3000; ++i) row += std::to_string(i - 1500) + ", ";
    {
        TextWriter w(file.c_str(), TextWriter::Mode::Create);
        ASSERT_TRUE(w.printf("\nParameters CRC : x%04X\n", 0x1a2bu));
        ASSERT_TRUE(w.printf("%-6s|%5.1f|%c|%lld\r\n", "ab", 2.25, 'Z', -9000000000LL));
        ASSERT_TRUE(w.printf("%s\n", longText.c_str()));
        // Many values in one long format: the second formatting pass sees the same arguments.
        ASSERT_TRUE(w.printf("%s%d, %d\n", row.c_str(), 7, -8));
        EXPECT_TRUE(w.ok());
        ASSERT_TRUE(w.close());
    }
    EXPECT_EQ(bytesOf(file), "\r\nParameters CRC : x1A2B\r\nab    |  2.2|Z|-9000000000\r\r\n" + longText + "\r\n" +
                                 row + "7, -8\r\n");
}

TEST_F(TextWriterTest, CreateEmptiesAFileAndAppendAddsOrMakesOne) {
    const std::string file = path("log.csv");
    std::ofstream(file, std::ios::binary) << "old";
    {
        TextWriter w(file.c_str(), TextWriter::Mode::Append);
        ASSERT_TRUE(w.write(" more\n"));
    }  // the destructor closes
    EXPECT_EQ(bytesOf(file), "old more\r\n");
    {
        TextWriter w(file.c_str(), TextWriter::Mode::Create);
        ASSERT_TRUE(w.write("new\n"));
        // Opening another file closes the first with its bytes in place.
        ASSERT_TRUE(w.open(path("made.txt").c_str(), TextWriter::Mode::Append));
        ASSERT_TRUE(w.write("made\n"));
        TextWriter moved = std::move(w);
        EXPECT_FALSE(w.isOpen());
        EXPECT_FALSE(w.write("lost"));
        EXPECT_TRUE(moved.write("still\n"));
    }
    EXPECT_EQ(bytesOf(file), "new\r\n");
    EXPECT_EQ(bytesOf(path("made.txt")), "made\r\nstill\r\n");
}

TEST_F(TextWriterTest, AFailedOpenOrWriteIsReportedWithItsReason) {
    const std::string missing = path("no/such/folder/log.csv");
    TextWriter w(missing.c_str(), TextWriter::Mode::Create);
    EXPECT_FALSE(w.isOpen());
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(std::string(w.error()), "open " + missing + ": No such file or directory");
    EXPECT_FALSE(w.write("x\n"));
    EXPECT_FALSE(w.printf("%d\n", 1));
    EXPECT_FALSE(w.close());
    EXPECT_FALSE(fs::exists(path("no")));

    EXPECT_FALSE(w.open("", TextWriter::Mode::Append));
    EXPECT_FALSE(w.open(nullptr, TextWriter::Mode::Append));

    // A device that takes no bytes: the loss shows at the latest when closing.
    if (::access("/dev/full", W_OK) == 0) {
        TextWriter full("/dev/full", TextWriter::Mode::Append);
        ASSERT_TRUE(full.isOpen()) << full.error();
        full.write(std::string(100000, 'x') + "\n");
        EXPECT_FALSE(full.close());
        EXPECT_NE(std::string(full.error()).find("No space left on device"), std::string::npos) << full.error();
    }
    // The same writer opens a good file afterwards, with no error left over.
    ASSERT_TRUE(w.open(path("good.txt").c_str(), TextWriter::Mode::Create));
    EXPECT_STREQ(w.error(), "");
    EXPECT_TRUE(w.ok());
}

TEST(LocalClock, ScopedClocksGiveTheirTimesAndNest) {
    const LocalTime fixed{2024, 5, 6, 7, 8, 9, 123};
    const LocalTime other{1999, 12, 31, 23, 59, 59, 999};
    {
        ScopedClock outer(fixed);
        EXPECT_EQ(qvtext::localTimeNow(), fixed);
        {
            int ticks = 0;
            ScopedClock stepping([&] {
                LocalTime t = other;
                t.millisecond = ticks++;
                return t;
            });
            EXPECT_EQ(qvtext::localTimeNow().millisecond, 0);
            EXPECT_EQ(qvtext::localTimeNow().millisecond, 1);
        }
        EXPECT_EQ(qvtext::localTimeNow(), fixed);
        {
            ScopedClock broken([]() -> LocalTime { throw std::runtime_error("no clock"); });
            const LocalTime t = qvtext::localTimeNow();  // the system's time instead
            EXPECT_GE(t.year, 2020);
            EXPECT_GE(t.month, 1);
            EXPECT_LE(t.month, 12);
            EXPECT_LE(t.millisecond, 999);
        }
    }
    const LocalTime now = qvtext::localTimeNow();
    EXPECT_NE(now, fixed);
    EXPECT_GE(now.year, 2020);
}

std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> out;
    LineReader r(text);
    for (std::string_view line; r.next(&line);) {
        out.emplace_back(line);
        EXPECT_EQ(r.lineNumber(), int(out.size()));
    }
    return out;
}

TEST(LineReader, TakesLfAndCrLfLineEnds) {
    using Lines = std::vector<std::string>;
    struct Case {
        std::string text;
        Lines lines;
    } cases[] = {
        {"", {}},
        {"one", {"one"}},
        {"one\n", {"one"}},
        {"one\r\n", {"one"}},
        {"\n", {""}},
        {"a\nb", {"a", "b"}},
        {"a\r\n\r\nb\n", {"a", "", "b"}},
        {"a\nb\r\nc", {"a", "b", "c"}},  // mixed ends
        {"a\rb\n", {"a\rb"}},            // a lone CR is no line end
        {"a\r\r\n", {"a\r"}},            // only the CR of the CR LF belongs to the end
        {"tail\r", {"tail\r"}},
    };
    for (const Case& c : cases) EXPECT_EQ(linesOf(c.text), c.lines) << testing::PrintToString(c.text);
}

TEST_F(TextWriterTest, WhatTheWriterWroteReadsBackAsItsLines) {
    const std::string file = path("round.ini");
    {
        TextWriter w(file.c_str(), TextWriter::Mode::Create);
        w.write("[Threshold]\nMax = 5\n\nCount = 22");
    }
    EXPECT_EQ(linesOf(bytesOf(file)), (std::vector<std::string>{"[Threshold]", "Max = 5", "", "Count = 22"}));
}

}  // namespace
