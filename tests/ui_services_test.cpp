#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/string_table.h"

#include <gtest/gtest.h>

#include <vector>

using namespace qvui;

namespace {

TEST(MessageBoxService, ResponderAnswersAndNests) {
    std::vector<MessageBoxRequest> seen;
    MessageBoxResponder outer([&](const MessageBoxRequest& r) {
        seen.push_back(r);
        return MessageAnswer::Yes;
    });
    EXPECT_EQ(showMessageBox(nullptr, "Overwrite?", "Save", MessageIcon::Question, MessageButtons::YesNo),
              MessageAnswer::Yes);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Overwrite?");
    EXPECT_EQ(seen[0].caption, "Save");
    EXPECT_EQ(seen[0].icon, MessageIcon::Question);
    EXPECT_EQ(seen[0].buttons, MessageButtons::YesNo);

    // "Yes" is not on an OK/Cancel box: the box closes with its escape answer.
    EXPECT_EQ(showMessageBox(nullptr, "t", "c", MessageIcon::Warning, MessageButtons::OkCancel), MessageAnswer::Cancel);
    {
        MessageBoxResponder inner([](const MessageBoxRequest&) { return MessageAnswer::Retry; });
        EXPECT_EQ(showMessageBox(nullptr, "t", "c", MessageIcon::Error, MessageButtons::RetryCancel), MessageAnswer::Retry);
    }
    EXPECT_EQ(showMessageBox(nullptr, "t", "c", MessageIcon::None, MessageButtons::YesNoCancel), MessageAnswer::Yes);
    EXPECT_EQ(seen.size(), 3u);
}

TEST(MessageBoxService, UnansweredBoxOnTheHeadlessPlatformDoesNotBlock) {
    struct Case {
        MessageButtons buttons;
        MessageAnswer escape;
    } cases[] = {{MessageButtons::Ok, MessageAnswer::Ok},
                 {MessageButtons::OkCancel, MessageAnswer::Cancel},
                 {MessageButtons::YesNo, MessageAnswer::No},
                 {MessageButtons::YesNoCancel, MessageAnswer::Cancel},
                 {MessageButtons::RetryCancel, MessageAnswer::Cancel}};
    for (const Case& c : cases) {
        EXPECT_EQ(showMessageBox(nullptr, "Application cannot start.", "c", MessageIcon::Error, c.buttons), c.escape);
        EXPECT_TRUE(offersAnswer(c.buttons, c.escape));
    }
}

TEST(FileChooserService, ResponderSeesTheRequestKind) {
    std::vector<FileChooserRequest> seen;
    {
        FileChooserResponder r([&](const FileChooserRequest& q) {
            seen.push_back(q);
            return q.kind == FileChoice::Folder ? QStringLiteral("/tmp/reports") : q.directory + "/picked.ini";
        });
        EXPECT_EQ(chooseOpenFile(nullptr, "Load", "/data", "INI File (*.ini)"), "/data/picked.ini");
        EXPECT_EQ(chooseSaveFile(nullptr, "Save", "/out", "INI File (*.ini)"), "/out/picked.ini");
        EXPECT_EQ(chooseFolder(nullptr, "Folder", "/tmp"), "/tmp/reports");
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].kind, FileChoice::OpenFile);
    EXPECT_EQ(seen[0].filter, "INI File (*.ini)");
    EXPECT_EQ(seen[1].kind, FileChoice::SaveFile);
    EXPECT_EQ(seen[2].kind, FileChoice::Folder);
    // No responder on the headless platform: cancelled, not blocked.
    EXPECT_TRUE(chooseOpenFile(nullptr, "Load", "/data", "").isEmpty());
}

TEST(StringTable, TextsByIdAndLanguage) {
    static const StringEntry entries[] = {
        {990001, u"Refresh", u"\u5237\u65B0"},
        {990002, u"Reset Device", nullptr},
        {990003, u"Menu", u""},
    };
    StringTable& table = StringTable::instance();
    ASSERT_EQ(table.add(entries), "");
    const Language saved = table.language();
    table.setLanguage(Language::SimplifiedChinese);
    EXPECT_EQ(loadString(990001), QString::fromUtf16(u"\u5237\u65B0"));
    EXPECT_EQ(loadString(990002), "Reset Device"); // no Chinese text: English
    EXPECT_EQ(loadString(990003), "Menu");
    table.setLanguage(Language::English);
    EXPECT_EQ(loadString(990001), "Refresh");
    EXPECT_EQ(loadString(990999), "");
    EXPECT_FALSE(table.contains(990999));
    table.setLanguage(saved);

    static const StringEntry again[] = {{990001, u"Other", nullptr}, {990004, u"New", nullptr}};
    EXPECT_EQ(table.add(again), "duplicate string ids: 990001");
    EXPECT_EQ(table.text(990001, Language::English), "Refresh"); // the first text stays
    EXPECT_EQ(table.text(990004, Language::English), "New");
}

TEST(StringTable, LanguageFromLocale) {
    struct Case {
        const char* locale;
        Language expected;
    } cases[] = {{"zh_CN", Language::SimplifiedChinese}, {"zh_SG", Language::SimplifiedChinese},
                 {"zh_Hans_HK", Language::SimplifiedChinese}, {"zh_TW", Language::English},
                 {"zh_HK", Language::English},  {"en_US", Language::English}, {"de_DE", Language::English}};
    for (const Case& c : cases)
        EXPECT_EQ(StringTable::languageFor(QLocale(QString::fromLatin1(c.locale))), c.expected) << c.locale;
}

} // namespace
