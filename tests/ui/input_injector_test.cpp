// The Qt backend of input injection: a key press and release reach the widget
// that has the keyboard focus when each is sent, as the keyboard's own do.
#include "ui/input_injector.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Keeps the key events its widgets get: (widget index, type, key).
struct KeyLog : QObject {
    std::vector<QObject*> watched;
    std::vector<std::tuple<int, int, int>> got;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) {
            const int index = int(std::find(watched.begin(), watched.end(), o) - watched.begin());
            got.emplace_back(index, int(e->type()), static_cast<QKeyEvent*>(e)->key());
        }
        return false;
    }
};

} // namespace

TEST(QtInputInjector, TabPressAndReleaseGoToTheFocusWidgetOfTheirMoment) {
    auto injector = qvui::makeQtInjector();
    std::string error;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    QLineEdit* edits[3] = {new QLineEdit, new QLineEdit, new QLineEdit};
    KeyLog log;
    for (QLineEdit* e : edits) {
        layout->addWidget(e);
        e->installEventFilter(&log);
        log.watched.push_back(e);
    }

    window.show();
    window.activateWindow();
    QCoreApplication::processEvents();
    edits[0]->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), edits[0]);

    ASSERT_TRUE(injector->keyPress(Qt::Key_Tab, &error)) << error;
    EXPECT_EQ(QApplication::focusWidget(), edits[1]);
    ASSERT_TRUE(injector->keyRelease(Qt::Key_Tab, &error)) << error;
    EXPECT_EQ(log.got, (std::vector<std::tuple<int, int, int>>{{0, QEvent::KeyPress, Qt::Key_Tab},
                                                                 {1, QEvent::KeyRelease, Qt::Key_Tab}}));

    // With no window of the program shown nothing has the focus: said, not sent anywhere.
    window.hide();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), nullptr);
    log.got.clear();
    EXPECT_FALSE(injector->keyPress(Qt::Key_Tab, &error));
    EXPECT_NE(error.find("focus"), std::string::npos) << error;
    EXPECT_TRUE(log.got.empty());
}
