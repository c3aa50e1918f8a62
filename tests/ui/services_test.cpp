#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/popup_menu.h"
#include "ui/string_table.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <optional>
#include <string>
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

TEST(MessageBoxService, DefaultAnswerReachesTheResponderAndTheHeadlessFallback) {
    std::optional<MessageAnswer> seen;
    {
        MessageBoxResponder r([&](const MessageBoxRequest& q) {
            seen = q.defaultAnswer;
            return MessageAnswer::Yes;
        });
        showMessageBox(nullptr, "Overwrite?", "Save", MessageIcon::Question, MessageButtons::YesNo, MessageAnswer::No);
        EXPECT_EQ(seen, MessageAnswer::No);
        showMessageBox(nullptr, "Overwrite?", "Save", MessageIcon::Question, MessageButtons::YesNo);
        EXPECT_EQ(seen, std::nullopt); // none named
        showMessageBox(nullptr, "Overwrite?", "Save", MessageIcon::Question, MessageButtons::YesNo,
                       MessageAnswer::Retry);
        EXPECT_EQ(seen, std::nullopt); // not on the box: none taken
    }
    // Headless without a responder: the named default, else the escape answer.
    struct Case {
        MessageButtons buttons;
        std::optional<MessageAnswer> named;
        MessageAnswer expected;
    } cases[] = {
        {MessageButtons::YesNo, MessageAnswer::Yes, MessageAnswer::Yes},
        {MessageButtons::YesNo, std::nullopt, MessageAnswer::No},
        {MessageButtons::OkCancel, MessageAnswer::Ok, MessageAnswer::Ok},
        {MessageButtons::YesNoCancel, MessageAnswer::No, MessageAnswer::No},
        {MessageButtons::RetryCancel, MessageAnswer::Retry, MessageAnswer::Retry},
        {MessageButtons::RetryCancel, MessageAnswer::Yes, MessageAnswer::Cancel}, // not on the box
    };
    for (const Case& c : cases)
        EXPECT_EQ(showMessageBox(nullptr, "t", "c", MessageIcon::Warning, c.buttons, c.named), c.expected)
            << int(c.buttons);

    const std::pair<MessageButtons, MessageAnswer> first[] = {
        {MessageButtons::Ok, MessageAnswer::Ok},          {MessageButtons::OkCancel, MessageAnswer::Ok},
        {MessageButtons::YesNo, MessageAnswer::Yes},      {MessageButtons::YesNoCancel, MessageAnswer::Yes},
        {MessageButtons::RetryCancel, MessageAnswer::Retry}};
    for (const auto& [buttons, answer] : first) EXPECT_EQ(firstAnswer(buttons), answer) << int(buttons);
}

// A dialog with a name field: filled when shown, taken on OK only when not
// empty (an empty name keeps the dialog open), and a button that opens a
// nested dialog.
class NameDialog : public QDialog {
public:
    explicit NameDialog(const QString& title) {
        setWindowTitle(title);
        auto* layout = new QVBoxLayout(this);
        edit = new QLineEdit(this);
        qvui::setControlId(edit, 1001);
        layout->addWidget(edit);
        nested = new QPushButton("More", this);
        qvui::setControlId(nested, 1002);
        layout->addWidget(nested);
        buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        layout->addWidget(buttons);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(nested, &QPushButton::clicked, this, [this] {
            NameDialog more(QStringLiteral("More"));
            nestedResult = execDialog(more);
            nestedName = more.taken;
        });
    }
    void accept() override {
        if (edit->text().isEmpty()) return;
        taken = edit->text();
        QDialog::accept();
    }

    QLineEdit* edit;
    QPushButton* nested;
    QDialogButtonBox* buttons;
    QString taken;
    int shown = 0;
    int nestedResult = -1;
    QString nestedName;

protected:
    void showEvent(QShowEvent* e) override {
        ++shown;
        edit->setText(QStringLiteral("default"));
        QDialog::showEvent(e);
    }
};

TEST(ModalDialogService, ResponderSetsControlsAndTheDialogsOwnAcceptRuns) {
    struct Case {
        const char* name;
        std::function<DialogChoice(QDialog&)> respond;
        int result;
        QString taken;
    } cases[] = {
        {"accept with a typed name",
         [](QDialog& d) {
             EXPECT_EQ(findControl<QLineEdit>(&d, 1001)->text(), "default"); // shown before the responder
             findControl<QLineEdit>(&d, 1001)->setText("QV6020");
             return DialogChoice::Accept;
         },
         QDialog::Accepted, "QV6020"},
        {"accept as shown", [](QDialog&) { return DialogChoice::Accept; }, QDialog::Accepted, "default"},
        {"reject", [](QDialog&) { return DialogChoice::Reject; }, QDialog::Rejected, ""},
        {"accept refused by the dialog",
         [](QDialog& d) {
             findControl<QLineEdit>(&d, 1001)->clear();
             return DialogChoice::Accept;
         },
         QDialog::Rejected, ""},
        {"own cancel click wins over the choice",
         [](QDialog& d) {
             static_cast<NameDialog&>(d).buttons->button(QDialogButtonBox::Cancel)->click();
             return DialogChoice::Accept;
         },
         QDialog::Rejected, ""},
        {"closed with its own code",
         [](QDialog& d) {
             d.done(7);
             return DialogChoice::Reject;
         },
         7, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DialogResponder responder(c.respond);
        NameDialog dialog("Name");
        EXPECT_EQ(execDialog(dialog), c.result);
        EXPECT_EQ(dialog.result(), c.result);
        EXPECT_EQ(dialog.taken, c.taken);
        EXPECT_EQ(dialog.shown, 1);
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST(ModalDialogService, ADialogWithAnOwnerBlocksOnlyItsOwnersWindow) {
    // Another top-level window (the drawing window) keeps its input while a
    // page's dialog runs; a dialog that chose its modality keeps it.
    QWidget owner;
    QWidget beside;
    owner.show();
    beside.show();
    std::vector<Qt::WindowModality> seen;
    DialogResponder responder([&](QDialog& d) {
        seen.push_back(d.windowModality());
        return DialogChoice::Reject;
    });
    QDialog owned(&owner);
    execDialog(owned);
    QDialog chosen(&owner);
    chosen.setWindowModality(Qt::ApplicationModal);
    execDialog(chosen);
    EXPECT_EQ(seen, (std::vector<Qt::WindowModality>{Qt::WindowModal, Qt::ApplicationModal}));
}

TEST(ModalDialogService, NestedDialogsReachTheResponderAndHeadlessOnesAreRejected) {
    std::vector<QString> seen;
    {
        DialogResponder responder([&](QDialog& d) {
            seen.push_back(d.windowTitle());
            if (d.windowTitle() == "Outer") findControl<QPushButton>(&d, 1002)->click(); // opens "More" inside
            else findControl<QLineEdit>(&d, 1001)->setText("inner");
            return DialogChoice::Accept;
        });
        NameDialog outer("Outer");
        EXPECT_EQ(execDialog(outer), QDialog::Accepted);
        EXPECT_EQ(outer.nestedResult, QDialog::Accepted);
        EXPECT_EQ(outer.nestedName, "inner");
        {
            DialogResponder inner([](QDialog&) { return DialogChoice::Reject; });
            NameDialog other("Other");
            EXPECT_EQ(execDialog(other), QDialog::Rejected);
        }
        NameDialog again("Again");
        EXPECT_EQ(execDialog(again), QDialog::Accepted); // the outer responder is back
    }
    EXPECT_EQ(seen, (std::vector<QString>{"Outer", "More", "Again"}));

    // No responder on the headless platform: rejected at once, never shown, nothing taken.
    NameDialog alone("Alone");
    alone.setResult(QDialog::Accepted);
    EXPECT_EQ(execDialog(alone), QDialog::Rejected);
    EXPECT_EQ(alone.result(), QDialog::Rejected);
    EXPECT_EQ(alone.shown, 0);
    EXPECT_TRUE(alone.taken.isEmpty());
}

// A menu as the design builds them: numbered entries, a checkable one, a
// disabled one, a separator and a submenu.
struct TestMenu {
    QMenu menu;
    QMenu* sub = nullptr;
    std::vector<std::string> log; // signals in the order they came
    int liveState = 0;

    TestMenu() {
        auto add = [this](QMenu* m, const char* text, int id) {
            QAction* a = m->addAction(QString::fromLatin1(text));
            setMenuId(a, id);
            QObject::connect(a, &QAction::triggered, [this, id] { log.push_back("action " + std::to_string(id)); });
            return a;
        };
        add(&menu, "Clear", 200);
        add(&menu, "Pen Up Marks", 201)->setCheckable(true);
        add(&menu, "APP ver", 202)->setEnabled(false);
        menu.addSeparator();
        sub = menu.addMenu("Modes");
        setMenuId(sub->menuAction(), 210);
        add(sub, "Linearity Test", 211);
        for (QMenu* m : {&menu, sub})
            QObject::connect(m, &QMenu::triggered, [this, m](QAction* a) {
                log.push_back(std::string(m == sub ? "sub" : "top") + " triggered " + std::to_string(menuId(a)));
            });
        QObject::connect(&menu, &QMenu::aboutToShow, [this] {
            log.push_back("show");
            ++liveState; // what a menu refreshes when it opens
        });
        QObject::connect(&menu, &QMenu::aboutToHide, [this] { log.push_back("hide"); });
    }
};

TEST(PopupMenuService, ResponderPicksByMenuIdAsAClickWould) {
    TestMenu t;
    QAction* pen = findMenuAction(t.menu, 201);
    ASSERT_NE(pen, nullptr);
    EXPECT_EQ(menuId(pen), 201);
    EXPECT_EQ(findMenuAction(t.menu, 211)->text(), "Linearity Test"); // inside the submenu
    EXPECT_EQ(findMenuAction(t.menu, 999), nullptr);
    EXPECT_EQ(findMenuAction(t.menu, 0), nullptr);
    EXPECT_EQ(menuId(t.menu.actions().at(3)), 0); // the separator has no id

    int pick = 201;
    std::vector<QPoint> at;
    PopupMenuResponder responder([&](const PopupMenuRequest& r) {
        EXPECT_EQ(r.menu, &t.menu);
        EXPECT_EQ(t.log.back(), "show"); // opened before the responder looks
        at.push_back(r.position);
        return pick;
    });
    EXPECT_EQ(popupMenu(t.menu, QPoint(40, 50)), pen);
    EXPECT_TRUE(pen->isChecked());
    EXPECT_EQ(t.log, (std::vector<std::string>{"show", "hide", "top triggered 201", "action 201"}));
    EXPECT_EQ(at, (std::vector<QPoint>{QPoint(40, 50)}));

    t.log.clear();
    pick = 211;
    EXPECT_EQ(popupMenu(t.menu, QPoint(1, 2)), findMenuAction(t.menu, 211));
    EXPECT_EQ(t.log, (std::vector<std::string>{"show", "hide", "sub triggered 211", "top triggered 211", "action 211"}));

    // None picked, or an entry no user could click: nothing happens.
    for (int none : {0, 202, 210, 999}) {
        t.log.clear();
        pick = none;
        EXPECT_EQ(popupMenu(t.menu, QPoint()), nullptr) << none;
        EXPECT_EQ(t.log, (std::vector<std::string>{"show", "hide"})) << none;
    }
    findMenuAction(t.menu, 200)->setVisible(false);
    pick = 200;
    EXPECT_EQ(popupMenu(t.menu, QPoint()), nullptr);
    findMenuAction(t.menu, 210)->setEnabled(false); // the submenu cannot be opened
    pick = 211;
    EXPECT_EQ(popupMenu(t.menu, QPoint()), nullptr);
    EXPECT_NE(findMenuAction(t.menu, 211), nullptr); // though the lookup still finds its entry
    EXPECT_TRUE(pen->isChecked());
    EXPECT_EQ(t.liveState, 8); // once per popup
}

TEST(PopupMenuService, APickThatDeletesItsMenuAndHeadlessMenus) {
    auto* menu = new QMenu;
    QAction* close = menu->addAction("Exit");
    setMenuId(close, 203);
    QObject::connect(close, &QAction::triggered, [menu] { delete menu; }); // the window closes with its menu
    {
        PopupMenuResponder responder([](const PopupMenuRequest&) { return 203; });
        EXPECT_EQ(popupMenu(*menu, QPoint()), nullptr); // the entry is gone with the menu
    }

    // No responder on the headless platform: closed, nothing picked or opened.
    TestMenu t;
    EXPECT_EQ(popupMenu(t.menu, QPoint(5, 5)), nullptr);
    EXPECT_TRUE(t.log.empty());
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
