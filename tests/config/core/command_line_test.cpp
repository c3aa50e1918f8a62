// The start-up command line: every option, the search order, the values of
// "-br" and "-nl", what is removed, and paths that only contain an option.
#include "core/command_line.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* line;
    bool silent, sr, s, os, enumfu, pdl;
    int br, nl;
    const char* rest;
    const char* fileArg;
};

// br/nl: 0xFF when not given.
const Case kCases[] = {
    {"", false, false, false, false, false, false, 0xFF, 0xFF, "", ""},
    {"-cmd x.bin", false, false, false, false, false, false, 0xFF, 0xFF, "x.bin", "x.bin"},
    {"-m", true, false, false, false, false, false, 0xFF, 0xFF, "", ""},
    {"-enumfu -s", true, false, true, false, true, false, 0xFF, 0xFF, "", ""},
    // "-enumfu" goes first, so "-e" finds nothing left of it.
    {"-enumfu a", false, false, false, false, true, false, 0xFF, 0xFF, "a", "a"},
    {"-e -dbg f", false, false, false, false, false, false, 0xFF, 0xFF, "f", "f"},
    // "-sr" goes before "-s": the system-reference run does not set the update flag.
    {"-sr", true, true, false, false, false, false, 0xFF, 0xFF, "", ""},
    {"-sr -s", true, true, true, false, false, false, 0xFF, 0xFF, "", ""},
    {"-os", true, false, false, true, false, false, 0xFF, 0xFF, "", ""},
    {"-br2 -s fw.bin", true, false, true, false, false, false, 2, 0xFF, "fw.bin", "fw.bin"},
    {"-nl3 /home/u/p.ini", false, false, false, false, false, false, 0xFF, 3, "/home/u/p.ini", "/home/u/p.ini"},
    {"-pdl", false, false, false, false, false, true, 0xFF, 0xFF, "", ""},
    // Options anywhere in the line, each removed with the blank after it.
    {"a.bin -m -os", true, false, false, true, false, false, 0xFF, 0xFF, "a.bin ", "a.bin"},
    {"  -cmd   b.bin  ", false, false, false, false, false, false, 0xFF, 0xFF, "    b.bin  ", "b.bin"},
    // Each option is taken once; a second one stays in the line.
    {"-m -m", true, false, false, false, false, false, 0xFF, 0xFF, "-m", "-m"},
    // The value is the one character after the letters, a digit or not.
    {"-br9", false, false, false, false, false, false, 9, 0xFF, "", ""},
    {"-nlA f", false, false, false, false, false, false, 0xFF, 'A' - '0', "f", "f"},
    // Case matters.
    {"-M -S", false, false, false, false, false, false, 0xFF, 0xFF, "-M -S", "-M -S"},
    // A path that merely contains "-s" or "-m" stays a path (an option begins a word).
    {"/data/run-s/fw.bin", false, false, false, false, false, false, 0xFF, 0xFF, "/data/run-s/fw.bin",
     "/data/run-s/fw.bin"},
    {"-s /tmp/a-m-nl5/x-br1.bin", true, false, true, false, false, false, 0xFF, 0xFF, "/tmp/a-m-nl5/x-br1.bin",
     "/tmp/a-m-nl5/x-br1.bin"},
    // An option at the very end has no blank to take.
    {"f.bin -s", true, false, true, false, false, false, 0xFF, 0xFF, "f.bin ", "f.bin"},
};

TEST(VcxCommandLine, TableOfOptionsValuesAndRemovals) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.line);
        const vcx::CommandLineOptions o = vcx::parseCommandLine(QString::fromUtf8(c.line));
        EXPECT_EQ(o.silentMode, c.silent);
        EXPECT_EQ(o.optSR, c.sr);
        EXPECT_EQ(o.optS, c.s);
        EXPECT_EQ(o.optOS, c.os);
        EXPECT_EQ(o.optEnumFU, c.enumfu);
        EXPECT_EQ(o.optPDL, c.pdl);
        EXPECT_EQ(o.optBR, c.br);
        EXPECT_EQ(o.optNL, c.nl);
        EXPECT_EQ(o.rest.toStdString(), c.rest);
        EXPECT_EQ(o.fileArg.toStdString(), c.fileArg);
    }
}

TEST(VcxCommandLine, FileArgumentOnlyUpTo259Characters) {
    const QString longest(vcx::kMaxFileArg, u'p');
    EXPECT_EQ(vcx::parseCommandLine("-m " + longest).fileArg, longest);
    const vcx::CommandLineOptions tooLong = vcx::parseCommandLine("-m " + longest + u'p');
    EXPECT_TRUE(tooLong.silentMode);
    EXPECT_TRUE(tooLong.fileArg.isEmpty());
}

TEST(VcxCommandLine, ValueAtTheEndOfTheLineIsTheTerminatorMinusZero) {
    // Nothing follows "-br": the value is computed from the terminator, as a
    // byte, and nothing beyond the line is removed.
    const vcx::CommandLineOptions o = vcx::parseCommandLine("x -br");
    EXPECT_EQ(o.optBR, uint8_t(0 - '0'));
    EXPECT_EQ(o.rest, "x ");
}

TEST(VcxCommandLine, WhichLinesAskForAnUnattendedRun) {
    const std::pair<const char*, bool> cases[] = {
        {"-m", true},          {"-s fw.bin", true}, {"-sr", true},      {"-os", true},    {"-nl3", true},
        {"-nl0 p.ini", true},  {"", false},         {"fw.bin", false},  {"-br2", false},  {"-enumfu", false},
        {"-cmd -e -dbg", false}, {"-pdl", false},   {"/a/run-s/x", false},
    };
    for (const auto& [line, unattended] : cases)
        EXPECT_EQ(vcx::asksUnattendedRun(vcx::parseCommandLine(QString::fromUtf8(line))), unattended) << line;
}

} // namespace
