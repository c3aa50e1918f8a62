#include "text/ini_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using qvui::IniFile;

namespace {

// Mixed case, comments, a duplicate key, a duplicate section, CRLF endings, a
// UTF-8 mark and a last line without an ending.
const QByteArray kSample = "\xEF\xBB\xBF; written by hand\r\n"
                           "[Option]\r\n"
                           "DrawMode = 1\r\n"
                           "drawmode=2\r\n"
                           "Name = \"quoted value\"\r\n"
                           "Neg=  -42abc\r\n"
                           "Plus=+7\r\n"
                           "Hex=0x10\r\n"
                           "Blank=\r\n"
                           "Junk=abc\r\n"
                           "Big=4294967295\r\n"
                           ";Commented=5\r\n"
                           "\r\n"
                           "[option]\r\n"
                           "Later=9\r\n"
                           "  [ Other ]  \r\n"
                           "Key=v ; not a comment";

TEST(IniFileRead, IntegersFollowPrivateProfileParsing) {
    const IniFile f(kSample);
    struct Case {
        const char* section;
        const char* key;
        int expected;
    } cases[] = {
        {"Option", "DrawMode", 1},  // the first of two keys
        {"OPTION", "DRAWMODE", 1},  // names match in any case
        {"Option", "Neg", -42},     // blanks, sign, digits up to the first non-digit
        {"Option", "Plus", 7},
        {"Option", "Hex", 0},       // decimal only: "0" then 'x'
        {"Option", "Blank", -100},  // no digit: default
        {"Option", "Junk", -100},
        {"Option", "Missing", -100},
        {"Option", "Later", -100},  // only the first [Option] section is read
        {"Option", "Commented", -100},
        {"Option", "Big", -1},      // 0xFFFFFFFF
        {"Nowhere", "DrawMode", -100},
    };
    for (const Case& c : cases)
        EXPECT_EQ(f.intValue(c.section, c.key, -100), c.expected) << c.section << "/" << c.key;
}

TEST(IniFileRead, ParseIntTable) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {{"12", 12}, {"  \t12", 12}, {"-3x", -3}, {"+", 77}, {"", 77}, {"-", 77}, {" x1", 77},
                 {"12 34", 12}, {"4294967297", 1}, {"-0", 0}, {"2147483648", int(0x80000000u)}};
    for (const Case& c : cases) EXPECT_EQ(IniFile::parseInt(QString::fromLatin1(c.text), 77), c.expected) << c.text;
}

TEST(IniFileRead, StringsAreTrimmedUnquotedAndFirstMatch) {
    const IniFile f(kSample);
    EXPECT_EQ(f.value("option", "name"), "quoted value");
    EXPECT_EQ(f.value("Option", "drawMODE"), "1");
    EXPECT_EQ(f.value("other", "key"), "v ; not a comment"); // no inline comments
    EXPECT_EQ(f.value("Option", "Blank", "def"), "");        // present but empty is not the default
    EXPECT_EQ(f.value("Option", "none", "def"), "def");
    EXPECT_TRUE(f.hasSection("OTHER"));
    EXPECT_FALSE(f.hasKey("Option", ";Commented"));
    EXPECT_EQ(IniFile("[A]\r\nq='x'\r\nr=\"y'\r\n").value("A", "q"), "x");
    EXPECT_EQ(IniFile("[A]\r\nq='x'\r\nr=\"y'\r\n").value("A", "r"), "\"y'");
}

TEST(IniFileWrite, ReplacingAValueKeepsEveryOtherByte) {
    IniFile f(kSample);
    ASSERT_TRUE(f.setValue("OPTION", "drawmode", "25"));
    QByteArray expected = kSample;
    expected.replace("DrawMode = 1\r\n", "DrawMode = 25\r\n");
    EXPECT_EQ(f.bytes(), expected);

    ASSERT_TRUE(f.setValue("other", "KEY", "w"));
    expected.replace("Key=v ; not a comment", "Key=w");
    EXPECT_EQ(f.bytes(), expected); // the last line still has no ending
    EXPECT_EQ(f.intValue("Option", "DrawMode", 0), 25);
}

TEST(IniFileWrite, NewKeyGoesAfterTheSectionsLastLine) {
    IniFile f(kSample);
    ASSERT_TRUE(f.setValue("Option", "Added", "1"));
    QByteArray expected = kSample;
    expected.replace(";Commented=5\r\n\r\n[option]", ";Commented=5\r\nAdded=1\r\n\r\n[option]");
    EXPECT_EQ(f.bytes(), expected);

    ASSERT_TRUE(f.setValue("Other", "Tail", "2"));
    expected += "\r\nTail=2\r\n";
    EXPECT_EQ(f.bytes(), expected);
}

TEST(IniFileWrite, MissingSectionIsAppendedWithTheFilesLineEnding) {
    struct Case {
        QByteArray before, after;
    } cases[] = {
        {"[A]\r\nx=1\r\n", "[A]\r\nx=1\r\n[New]\r\nk=v\r\n"},
        {"[A]\nx=1", "[A]\nx=1\n[New]\nk=v\n"},
        {"", "[New]\r\nk=v\r\n"},
        {"[A]\rx=1\r", "[A]\rx=1\r\r\n[New]\r\nk=v\r\n"}, // a lone CR is no line break here
    };
    for (const Case& c : cases) {
        IniFile f(c.before);
        ASSERT_TRUE(f.setValue("New", "k", "v"));
        EXPECT_EQ(f.bytes(), c.after) << c.before.toStdString();
    }
}

TEST(IniFileWrite, DeletingKeysAndSections) {
    IniFile f(kSample);
    EXPECT_TRUE(f.removeKey("option", "DRAWMODE")); // both lines of the duplicate key
    QByteArray expected = kSample;
    expected.replace("DrawMode = 1\r\ndrawmode=2\r\n", "");
    EXPECT_EQ(f.bytes(), expected);
    EXPECT_EQ(f.intValue("Option", "DrawMode", -1), -1);
    EXPECT_FALSE(f.removeKey("Option", "DrawMode"));

    EXPECT_TRUE(f.removeSection("OPTION")); // both [Option] and [option]
    EXPECT_EQ(f.bytes(), QByteArray("\xEF\xBB\xBF; written by hand\r\n  [ Other ]  \r\nKey=v ; not a comment"));
    EXPECT_FALSE(f.removeSection("Option"));
}

TEST(IniFileWrite, RefusesWhatCouldNotBeReadBack) {
    IniFile f(kSample);
    QString error;
    struct Case {
        const char *section, *key, *value;
    } cases[] = {{"", "k", "v"},      {"A]B", "k", "v"}, {"Sec\r\nX", "k", "v"}, {"S", "", "v"},
                 {"S", "a=b", "v"},   {"S", ";k", "v"},  {"S", "[k", "v"},      {"S", "k", "line\r\n[Injected]"},
                 {"S", "k", "one\rtwo"}};
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(f.setValue(c.section, c.key, c.value, &error)) << c.section << "/" << c.key;
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(f.bytes(), kSample);
}

TEST(IniFileDisk, HelpersCreateEditAndKeepTheFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("VCXMSet.ini");

    EXPECT_EQ(IniFile::readInt(path, "Option", "DrawMode", 3), 3); // missing file: default
    EXPECT_EQ(IniFile::readString(path, "Option", "DrawMode", "d"), "d");
    QString error;
    ASSERT_TRUE(IniFile::writeString(path, "Option", "DrawMode", "1", &error)) << error.toStdString();
    ASSERT_TRUE(IniFile::writeString(path, "option", "AbnMsg", "0", &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("[Option]\r\nDrawMode=1\r\nAbnMsg=0\r\n"));
    file.close();
    EXPECT_EQ(IniFile::readInt(path, "OPTION", "drawmode", 0), 1);

    ASSERT_TRUE(IniFile::deleteKey(path, "Option", "DrawMode", &error));
    ASSERT_TRUE(IniFile::deleteSection(path, "Missing", &error)); // nothing to delete is not a failure
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("[Option]\r\nAbnMsg=0\r\n"));
    file.close();

    // Unwritable: the reason names the file.
    const QString blocked = dir.filePath("sub/none.ini");
    EXPECT_FALSE(IniFile::writeString(blocked, "A", "k", "v", &error));
    EXPECT_TRUE(error.contains("none.ini")) << error.toStdString();
}

TEST(IniFileDisk, LoadAndSaveAreByteExact) {
    QTemporaryDir dir;
    const QString path = dir.filePath("odd.ini");
    const QByteArray odd = kSample + "\n\r\n[Mixed]\nA=1\r\nB\r\n=no key\r\n";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(odd);
    }
    IniFile ini;
    QString error;
    ASSERT_TRUE(ini.load(path, &error)) << error.toStdString();
    EXPECT_EQ(ini.bytes(), odd);
    EXPECT_EQ(ini.intValue("mixed", "a", 0), 1);
    EXPECT_FALSE(ini.hasKey("mixed", "B"));
    ASSERT_TRUE(ini.save(path, &error));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), odd);
    EXPECT_FALSE(IniFile().load(dir.filePath("absent.ini"), &error));
    EXPECT_TRUE(error.contains("absent.ini"));
}

} // namespace
