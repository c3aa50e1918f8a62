// The 3-D view drawn once through OpenGL: on a display where a compatibility
// context can be made (a virtual X server under xvfb-run), one frame is
// rendered and its pixels read back: the black background, the legend's cyan
// top and its labels. Where no context is made the test is skipped: the view then draws
// nothing, which the headless tests cover.
#include "diag/show3d_dlg.h"
#include "core/controller_api.h"
#include "qt_support.h"

#include <QImage>
#include <QOpenGLContext>

#include <gtest/gtest.h>

namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_diag_gl"));

TEST(Show3DOpenGL, OneFrameShowsTheLegendOnBlack) {
    vcx::Controller c;
    vcx::DiagState s;
    bool started = true;
    vcx::CVCXShowDlg view(c, s, started, nullptr);
    view.resize(400, 400);
    view.show();
    QCoreApplication::processEvents();
    const QImage frame = view.grabFramebuffer();
    if (!view.glReady() || frame.isNull()) GTEST_SKIP() << "no OpenGL context on this display";
    ASSERT_EQ(frame.width(), 400);
    EXPECT_EQ(frame.pixelColor(5, 395), QColor(0, 0, 0));
    // The legend's first point (1.4, 1.5) at distance 4.5 under a 45 degree
    // perspective lies at about (350, 39); just below it the strip is cyan.
    const QColor legend = frame.pixelColor(350, 46);
    EXPECT_LT(legend.red(), 40) << legend.name().toStdString();
    EXPECT_GT(legend.green(), 180) << legend.name().toStdString();
    EXPECT_GT(legend.blue(), 200) << legend.name().toStdString();
    // The texts are painted over the frame: the legend's top label ("+0", the
    // first text painted) beside that point, and its bottom one ("-0").
    const auto whiteIn = [&](QRect box) {
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (frame.pixelColor(x, y).lightness() > 200) return true;
        return false;
    };
    EXPECT_TRUE(whiteIn(QRect(355, 30, 30, 20)));
    EXPECT_TRUE(whiteIn(QRect(355, 350, 30, 20)));
}

}  // namespace
