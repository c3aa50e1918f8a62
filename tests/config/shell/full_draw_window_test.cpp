// The drawing window from the main window on the full simulated controller:
// Draw opens it (a second press brings the same one forward), a stroke the
// controller sends reaches it from the library's notification thread and is
// drawn, a disconnect clears its contacts, and closing the main window ends
// the drawing window first and then the program's side cleanly.
#include "diag/draw_window.h"
#include "core/main_ids.h"
#include "shell/utility_dlg.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "vcx_support.h"

#include <QImage>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

int drawnPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) != qRgb(255, 255, 255);
    return n;
}

TEST(VcxFullDrawWindow, AStrokeFromTheControllerIsDrawnAndClosingTheMainWindowEndsBoth) {
    qvui::MessageBoxResponder boxes([](const qvui::MessageBoxRequest& q) {
        ADD_FAILURE() << "unexpected box: " << q.text.toStdString();
        return qvui::MessageAnswer::Ok;
    });
    vcx::CVCXUtilityDlg dlg;
    ASSERT_TRUE(dlg.initDialog()) << dlg.error().toStdString();
    auto* draw = qobject_cast<QPushButton*>(qvui::findControl(&dlg, vcx::kIdDraw));
    ASSERT_TRUE(draw && draw->isEnabled());
    draw->click();
    vcx::CQVDrawWnd* w = vcx::DrawWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "Quorvane Draw");
    ASSERT_TRUE(processUntil([&] { return dlg.pageBusy(); }));
    EXPECT_TRUE(draw->isEnabled());
    draw->click();
    EXPECT_EQ(vcx::DrawWindow(), w);
    EXPECT_EQ(drawnPixels(w->canvas()), 0);

    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x70 %1 1000").arg(1000 + 300 * i)), "ok");
    ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x40 2200 1000")), "ok");
    ASSERT_TRUE(processUntil([&] { return w->lifted(0); }));
    EXPECT_EQ(w->drawnRecords(), 6u);
    EXPECT_EQ(w->droppedRecords(), 0u);
    EXPECT_GT(drawnPixels(w->canvas()), 0);

    // The main window's clear (a disconnect) resets the contacts.
    ASSERT_EQ(simControl(QStringLiteral("set /sim/hidraw0 touch 0x71 1000 1000")), "ok");
    ASSERT_TRUE(processUntil([&] { return w->contacts().track(1).active(); }));
    dlg.ClearDlgItem();
    EXPECT_FALSE(w->contacts().track(1).active());

    dlg.close(); // the close button: ExitDlg
    EXPECT_EQ(vcx::DrawWindow(), nullptr);
    EXPECT_FALSE(vcx::DrawWindowRunning());
    EXPECT_FALSE(dlg.pageBusy());
    EXPECT_FALSE(dlg.isVisible());
}

}  // namespace
