#include "ui/control_ids.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QCoreApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace qvui;

namespace {

// Records the window messages it gets; a timer tick stops its timer first, as the design's handlers do.
class RecordingWindow : public QWidget {
public:
    struct Got {
        quint32 message;
        quint64 wParam;
        qint64 lParam;
    };
    std::vector<Got> got;
    WindowTimers* timers = nullptr;

protected:
    bool event(QEvent* e) override {
        auto* m = WindowMessage::from(e);
        if (!m) return QWidget::event(e);
        got.push_back({m->message(), m->wParam(), m->lParam()});
        if (m->message() == WM_TIMER && timers) timers->stop(int(m->wParam()));
        m->setResult(qint64(m->message()) + m->lParam());
        return true;
    }
};

void spin() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

TEST(WindowTimers, TicksArriveAsTimerMessagesByNumber) {
    RecordingWindow w;
    WindowTimers timers(&w);
    w.timers = &timers;
    timers.start(3, 0);
    timers.start(3, 0); // restarting a number keeps one timer
    timers.start(5, 0);
    timers.start(12, 0);
    EXPECT_TRUE(timers.stop(5));
    EXPECT_FALSE(timers.stop(5));
    EXPECT_FALSE(timers.stop(9)); // never started
    spin();
    std::vector<quint64> ids;
    for (const auto& g : w.got) {
        EXPECT_EQ(g.message, WM_TIMER);
        ids.push_back(g.wParam);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<quint64>{3, 12}));
    EXPECT_FALSE(timers.isActive(3));

    timers.start(16, 50);
    timers.start(16, 1500);
    EXPECT_TRUE(timers.isActive(16));
    EXPECT_EQ(timers.interval(16), 1500);
    EXPECT_EQ(timers.interval(4), -1);
}

TEST(WindowTimers, FireTimerTicksOnlyARunningTimerAndAtOnce) {
    RecordingWindow w;
    WindowTimers timers(&w);
    timers.start(7, 60000); // a minute: only a fired tick can arrive in this test
    timers.start(9, 60000);
    ASSERT_TRUE(fireTimer(&w, 7));
    ASSERT_EQ(w.got.size(), 1u); // delivered before fireTimer returned
    EXPECT_EQ(w.got[0].message, WM_TIMER);
    EXPECT_EQ(w.got[0].wParam, 7u);
    EXPECT_EQ(w.got[0].lParam, 0);
    EXPECT_EQ(timers.interval(7), 60000); // the timer runs on as it was

    EXPECT_FALSE(fireTimer(&w, 8)); // never started
    timers.stop(9);
    EXPECT_FALSE(fireTimer(&w, 9)); // stopped
    EXPECT_FALSE(timers.fire(9));
    EXPECT_EQ(w.got.size(), 1u);

    // The handler that stops its timer on a tick, as the design's handlers do.
    w.timers = &timers;
    EXPECT_TRUE(timers.fire(7));
    EXPECT_FALSE(fireTimer(&w, 7));
    EXPECT_EQ(w.got.size(), 2u);

    RecordingWindow noTimers;
    EXPECT_FALSE(fireTimer(&noTimers, 7));
    EXPECT_FALSE(fireTimer(nullptr, 7));
    EXPECT_TRUE(noTimers.got.empty());
}

TEST(WindowMessages, SentAndPostedKeepNumberAndParameters) {
    RecordingWindow w;
    EXPECT_EQ(sendMessage(&w, WM_PAGE_STATE, 1, 104), qint64(WM_PAGE_STATE) + 104);
    EXPECT_TRUE(postMessage(&w, WM_TOOLBAR_ACTION, 421, -1));
    EXPECT_FALSE(postMessage(&w, WindowMessage::kMaxMessage + 1, 0, 0));
    EXPECT_EQ(w.got.size(), 1u);
    spin();
    ASSERT_EQ(w.got.size(), 2u);
    EXPECT_EQ(w.got[1].message, WM_TOOLBAR_ACTION);
    EXPECT_EQ(w.got[1].wParam, 421u);
    EXPECT_EQ(w.got[1].lParam, -1);

    EXPECT_NE(WindowMessage::eventType(WM_USER + 1), WindowMessage::eventType(WM_USER + 2));
    QEvent other(QEvent::User);
    EXPECT_EQ(WindowMessage::from(&other), nullptr); // a custom event that is no window message
}

TEST(ControlIds, FoundByIdWithinTheirOwnDialog) {
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* refresh = new QPushButton("Refresh");
    setControlId(refresh, 402);
    auto* group = new QGroupBox("Folders");
    auto* edit = new QLineEdit(group);
    setControlId(edit, 500);
    auto* deeperDuplicate = new QPushButton(group);
    setControlId(deeperDuplicate, 402);
    auto* page = new QWidget;
    setControlScope(page);
    setControlId(page, 103);
    auto* pageButton = new QPushButton(page);
    setControlId(pageButton, 600);
    layout->addWidget(group);
    layout->addWidget(refresh);
    layout->addWidget(page);

    EXPECT_EQ(findControl(&dialog, 402), refresh); // the nearest of two
    EXPECT_EQ(findControl(&dialog, 500), edit);    // inside a group box
    EXPECT_EQ(findControl<QLineEdit>(&dialog, 500), edit);
    EXPECT_EQ(findControl<QPushButton>(&dialog, 500), nullptr);
    EXPECT_EQ(findControl(&dialog, 103), page);
    EXPECT_EQ(findControl(&dialog, 600), nullptr); // the page's own control
    EXPECT_EQ(findControl(page, 600), pageButton);
    EXPECT_EQ(findControl(&dialog, 999), nullptr);
    EXPECT_EQ(findControl(&dialog, 0), nullptr);
    EXPECT_EQ(controlId(group), 0);
}

} // namespace
