// The 3-D view: its arithmetic (differences, colour bands, the vertex table,
// heights, legend, mode count) without a display, and the view itself on the
// simulated diag panel on the headless platform, where no OpenGL context is
// made: the start and close commands, the keys, the frame timer and the
// tablet's auto exit.
#include "diag/show3d_dlg.h"
#include "diag/show3d_geometry.h"
#include "scan_support.h"

#include "ui/window_message.h"
#include "ui/window_timers.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(Show3DArithmetic, DifferencesWrapIntoTheSignedRange) {
    struct Case {
        uint16_t current, base;
        bool inverted;
        int d;
    };
    const Case cases[] = {
        {0, 32768, false, -32768},  {32769, 0, false, -32767}, {32768, 0, false, 32768},
        {65535, 0, false, -1},      {0, 65535, false, 1},      {3010, 3000, false, 10},
        {3010, 3000, true, -10},    {0, 32769, true, -32767},  {32769, 0, true, 32767},
    };
    for (const Case& k : cases)
        EXPECT_EQ(vcx::NodeDifference(k.current, k.base, k.inverted), k.d)
            << k.current << " " << k.base << " " << k.inverted;
}

TEST(Show3DArithmetic, ColourBandBoundaries) {
    using vcx::Band;
    struct Case {
        int d, threshold;
        Band band;
    };
    const Case cases[] = {
        // T = 61: T / 2 is 30 in integers.
        {30, 61, Band::Grey},      {31, 61, Band::Blue},     {61, 61, Band::Blue},   {62, 61, Band::Cyan},
        {-30, 61, Band::Grey},     {-31, 61, Band::Magenta}, {-61, 61, Band::Magenta}, {-62, 61, Band::Red},
        {0, 0, Band::Grey},        {1, 0, Band::Cyan},       {-1, 0, Band::Red},
    };
    for (const Case& k : cases) EXPECT_EQ(vcx::ColourBand(k.d, k.threshold), k.band) << k.d << " T " << k.threshold;
    EXPECT_EQ(vcx::BandColour(Band::Cyan), (vcx::Rgb{0, 1, 1}));
    EXPECT_EQ(vcx::BandColour(Band::Blue), (vcx::Rgb{0, 0, 1}));
    EXPECT_EQ(vcx::BandColour(Band::Grey), (vcx::Rgb{0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(vcx::BandColour(Band::Magenta), (vcx::Rgb{1, 0, 1}));
    EXPECT_EQ(vcx::BandColour(Band::Red), (vcx::Rgb{1, 0, 0}));
}

TEST(Show3DArithmetic, VertexTableFollowsTheMirrorAndExchangeBits) {
    // Two rows of three columns; node (r, c) differs from the base by 10 r + c + 1.
    constexpr int A = 2, B = 3;
    const uint16_t base[A * B] = {1000, 1000, 1000, 1000, 1000, 1000};
    uint16_t current[A * B];
    for (int r = 0; r < A; ++r)
        for (int c = 0; c < B; ++c) current[r * B + c] = uint16_t(1000 + 10 * r + c + 1);
    struct Case {
        uint16_t flags;
        int n, m;  // lines, nodes per line
        int i, j;
        float x, y;
        int d;  // which node: 10 r + c + 1
    };
    const Case cases[] = {
        // Lines are rows: x = 1 - 2(i+1)/3, y = 2(j+1)/4 - 1.
        {0x000, 2, 3, 0, 0, 1.0f / 3, -0.5f, 1},
        {0x000, 2, 3, 1, 2, -1.0f / 3, 0.5f, 13},
        {0x400, 2, 3, 0, 0, -1.0f / 3, -0.5f, 1},   // bit 10 mirrors x
        {0x200, 2, 3, 0, 0, 1.0f / 3, 0.5f, 1},     // bit 9 mirrors y
        {0x600, 2, 3, 1, 1, 1.0f / 3, 0.0f, 12},
        // Bit 11: line i is column i, node j is row j; x = 1 - 2(i+1)/4, y = 2(j+1)/3 - 1.
        {0x800, 3, 2, 0, 1, 0.5f, 1.0f / 3, 11},
        {0x800, 3, 2, 2, 0, -0.5f, -1.0f / 3, 3},
        {0xE00, 3, 2, 2, 0, 0.5f, 1.0f / 3, 3},
    };
    vcx::Surface s;
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << k.flags << " (" << k.i << ", " << k.j << ")");
        vcx::BuildSurface(current, base, A, B, k.flags, 100, 0, s);
        ASSERT_EQ(s.lines, k.n);
        ASSERT_EQ(s.nodes, k.m);
        ASSERT_EQ(s.vertices.size(), size_t(A * B));
        const vcx::Vertex& v = s.vertices[size_t(k.i * k.m + k.j)];
        EXPECT_FLOAT_EQ(v.x, k.x);
        EXPECT_FLOAT_EQ(v.y, k.y);
        EXPECT_FLOAT_EQ(v.z, -float(k.d) / 100 * 0.5f);
    }
}

TEST(Show3DArithmetic, HeightsLabelsAndAZeroThreshold) {
    const uint16_t base[4] = {3000, 3000, 3000, 3000};
    const uint16_t current[4] = {3000, 3070, 2930, 3061};
    vcx::Surface s;
    vcx::BuildSurface(current, base, 2, 2, 0, 60, 0, s);
    EXPECT_FLOAT_EQ(s.vertices[1].z, -70.0f / 60 * 0.5f);
    EXPECT_FLOAT_EQ(s.vertices[2].z, 70.0f / 60 * 0.5f);
    EXPECT_EQ(s.vertices[2].band, vcx::Band::Red);
    // Only the values above T are labelled, in orange at their vertices.
    ASSERT_EQ(s.values.size(), 2u);
    EXPECT_EQ(s.values[0].text, "70");
    EXPECT_EQ(s.values[1].text, "61");
    EXPECT_FLOAT_EQ(s.values[1].z, s.vertices[3].z);
    EXPECT_EQ(s.values[0].colour, (vcx::Rgb{1, 0.5f, 0}));
    // The flat map: no heights, no labels, the same bands.
    vcx::BuildSurface(current, base, 2, 2, 0, 60, 1, s);
    EXPECT_TRUE(std::all_of(s.vertices.begin(), s.vertices.end(), [](const vcx::Vertex& v) { return v.z == 0; }));
    EXPECT_TRUE(s.values.empty());
    EXPECT_EQ(s.vertices[1].band, vcx::Band::Cyan);
    // A threshold of 0 divides by 1: finite heights.
    vcx::BuildSurface(current, base, 2, 2, 0, 0, 0, s);
    EXPECT_FLOAT_EQ(s.vertices[1].z, -35.0f);
    EXPECT_EQ(s.values.size(), 2u);
}

TEST(Show3DArithmetic, LegendAndModeCount) {
    const auto legend = vcx::Legend(61);
    const char* texts[] = {"+61", "+30", "0", "-30", "-61"};
    const float ys[] = {1.5f, 0.8f, 0.0f, -0.8f, -1.5f};
    const vcx::Band bands[] = {vcx::Band::Cyan, vcx::Band::Blue, vcx::Band::Grey, vcx::Band::Magenta, vcx::Band::Red};
    for (size_t k = 0; k < legend.size(); ++k) {
        EXPECT_EQ(legend[k].text, texts[k]);
        EXPECT_FLOAT_EQ(legend[k].y, ys[k]);
        EXPECT_EQ(legend[k].band, bands[k]);
    }
    struct Case {
        uint8_t feature0, feature1, count;
        int modes;
    };
    const Case cases[] = {
        {0x02, 0x00, 2, 0},  // no frequency modes (feature byte 1 bit 6)
        {0x00, 0x40, 2, 6},  // no hopping
        {0x02, 0x40, 0, 4},  // hopping, no count read
        {0x02, 0x40, 2, 3},
        {0x83, 0xC0, 5, 6},
    };
    for (const Case& k : cases) {
        std::array<uint8_t, 8> flags{};
        flags[0] = k.feature0;
        flags[1] = k.feature1;
        EXPECT_EQ(vcx::FrequencyModeCount(flags, k.count), k.modes) << int(k.feature0) << " " << int(k.feature1);
    }
}

// ---- the view on the simulated diag panel ----------------------------------------------------

class Show3D : public diagtest::DiagBench {
protected:
    vcx::DiagState s;
    diagtest::MainSink main;
    bool started = false;
    std::unique_ptr<vcx::CVCXShowDlg> view;

    void TearDown() override {
        view.reset();
        if (c.dev.device != INVALID_HANDLE_VALUE) FreeNewRawArray(c.dev.device, &c.records.newRawArray);
        DiagBench::TearDown();
    }
    // The diag panel (frequency hopping, two modes) at frequency 2, read out
    // with its arrays and layout, and a view on it; the trace starts empty.
    void prepare(std::initializer_list<std::pair<const char*, const char*>> keys = {}) {
        ASSERT_TRUE(open("diag"));
        std::string error;
        ASSERT_TRUE(qvsim::setControllerKey(ctl(), "frequency", "2", &error)) << error;
        for (auto [key, value] : keys) ASSERT_TRUE(qvsim::setControllerKey(ctl(), key, value, &error)) << error;
        readDevice();
        c.api.EnterDiagnosticMode = &::EnterDiagnosticMode;
        ASSERT_EQ(BuildNewRawArray(c.dev.device, &c.records.newRawArray), 1);
        vcx::LoadPanelLayout(c, s);
        view = std::make_unique<vcx::CVCXShowDlg>(c, s, started, nullptr);
        view->setMainWindow(&main);
        ctl().clearTrace();
    }
    // The frequency commands the controller received since the last clear.
    std::vector<std::string> f5() {
        std::vector<std::string> out;
        for (const std::string& p : sent())
            if (p.rfind("F5", 0) == 0) out.push_back(p);
        return out;
    }
    void release(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool repeat = false) {
        QKeyEvent e(QEvent::KeyRelease, key, modifiers, QString(), repeat);
        QCoreApplication::sendEvent(view.get(), &e);
    }
    bool allGrey() const {
        const auto& v = view->surface().vertices;
        return !v.empty() &&
               std::all_of(v.begin(), v.end(), [](const vcx::Vertex& x) { return x.band == vcx::Band::Grey; });
    }
};

TEST_F(Show3D, StartAndCloseWithFrequencyHopping) {
    prepare();
    ASSERT_TRUE(c.dev.featureFlags[0] & 0x02);
    view->Start();
    EXPECT_TRUE(started);
    EXPECT_TRUE(view->running());
    EXPECT_TRUE(view->isVisible());
    EXPECT_FALSE(view->glReady());  // the headless platform makes no context: nothing is drawn
    EXPECT_EQ(f5(), (std::vector<std::string>{"F5 00 0F 00 00", "F5 00 FF 00 00"}));
    EXPECT_EQ(s.g_nFHMode, 2u);
    EXPECT_EQ(view->windowTitle(), "Diagnostic Tessaly [ FH Mode 0 ]");
    EXPECT_EQ(view->modeCount(), 3);  // two modes read, + 1
    EXPECT_EQ(view->threshold(), 60);
    // Diagnostic mode is entered after the mode select and before the base frame's read.
    const std::vector<std::string> trace = sent();
    const auto select = std::find(trace.begin(), trace.end(), "F5 00 FF 00 00");
    ASSERT_NE(select, trace.end());
    ASSERT_NE(select + 1, trace.end());
    EXPECT_EQ(select[1], "F9 FF 90 00 01");
    ASSERT_EQ(view->baseFrame().size(), size_t(16 * 28));
    EXPECT_TRUE(std::equal(view->baseFrame().begin(), view->baseFrame().end(), c.records.newRawArray.mutual));
    EXPECT_EQ(view->timers().interval(vcx::CVCXShowDlg::kTimerFrame), 10);
    EXPECT_FALSE(view->timers().isActive(vcx::CVCXShowDlg::kTimerAutoExit));
    EXPECT_TRUE(main.messages.empty());

    ctl().clearTrace();
    release(Qt::Key_Escape);
    EXPECT_FALSE(view->running());
    EXPECT_FALSE(view->isVisible());
    EXPECT_FALSE(view->timers().isActive(vcx::CVCXShowDlg::kTimerFrame));
    EXPECT_EQ(f5(), (std::vector<std::string>{"F5 00 FF 00 02"}));  // frequency 2 again
    EXPECT_EQ(sent().back(), "F9 FF 90 00 00");  // diagnostic mode left last
    EXPECT_EQ(main.messages, (std::vector<diagtest::Message>{{qvui::WM_PAGE_STATE, 0, 105}}));
    // A second close does nothing.
    ctl().clearTrace();
    view->Close();
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(main.messages.size(), 1u);
}

TEST_F(Show3D, StartAndCloseWithoutHopping) {
    prepare();
    c.dev.featureFlags[0] &= uint8_t(~0x02);
    c.dev.newFirmware = false;
    view->Start();
    EXPECT_EQ(f5(), (std::vector<std::string>{"F5 00 0F 00 00", "F5 00 F0 00 00"}));
    EXPECT_EQ(view->modeCount(), 6);
    EXPECT_EQ(ctl().profile().frequency, 0);  // the controller took mode 0
    ctl().clearTrace();
    view->Close();
    EXPECT_EQ(f5(), (std::vector<std::string>{"F5 00 F2 00 00"}));
    EXPECT_EQ(ctl().profile().frequency, 2);
}

TEST_F(Show3D, AModeThatCouldNotBeReadIsNotRestored) {
    prepare({{"frequencyModes", "none"}});  // every F5 refused
    view->Start();
    EXPECT_EQ(s.g_nFHMode, vcx::CVCXShowDlg::kModeUnread);
    EXPECT_EQ(f5(), (std::vector<std::string>{"F5 00 0F 00 00", "F5 00 FF 00 00"}));
    EXPECT_TRUE(view->running());  // the view runs all the same
    ctl().clearTrace();
    view->Close();
    EXPECT_TRUE(f5().empty());  // not F5 00 FF 00 00 from the failure's low byte
    EXPECT_FALSE(sent().empty());
    EXPECT_EQ(main.messages, (std::vector<diagtest::Message>{{qvui::WM_PAGE_STATE, 0, 105}}));
}

TEST_F(Show3D, FrequencyKeysWithinTheModeCount) {
    prepare();
    s.g_nFreqModeCount = 0;  // hopping without a count: four modes
    view->Start();
    ASSERT_EQ(view->modeCount(), 4);
    ctl().clearTrace();
    release(Qt::Key_5);  // mode 4 does not exist
    release(Qt::Key_4, Qt::KeypadModifier);  // a keypad digit is no mode key
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(view->windowTitle(), "Diagnostic Tessaly [ FH Mode 0 ]");
    release(Qt::Key_4, Qt::NoModifier, true);  // auto-repeat
    EXPECT_TRUE(sent().empty());
    release(Qt::Key_4);
    EXPECT_EQ(sent(), (std::vector<std::string>{"F5 00 FF 00 03"}));
    EXPECT_EQ(view->windowTitle(), "Diagnostic Tessaly [ FH Mode 3 ]");
    release(Qt::Key_1);
    EXPECT_EQ(sent().back(), "F5 00 FF 00 00");
    EXPECT_EQ(view->windowTitle(), "Diagnostic Tessaly [ FH Mode 0 ]");
}

TEST_F(Show3D, CameraAndShowModeKeys) {
    prepare();
    view->Start();
    const vcx::Camera home;
    release(Qt::Key_Up);
    release(Qt::Key_Up);
    release(Qt::Key_Right);
    release(Qt::Key_Minus, Qt::KeypadModifier);
    release(Qt::Key_Minus);  // the main keyboard's minus passes on
    EXPECT_FLOAT_EQ(view->camera().rotateX, home.rotateX - 10);
    EXPECT_FLOAT_EQ(view->camera().rotateZ, home.rotateZ + 5);
    EXPECT_FLOAT_EQ(view->camera().distance, home.distance + 0.5f);
    release(Qt::Key_Down);
    release(Qt::Key_Left);
    release(Qt::Key_Plus, Qt::KeypadModifier);
    release(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_FLOAT_EQ(view->camera().rotateX, home.rotateX - 5);
    EXPECT_FLOAT_EQ(view->camera().rotateZ, home.rotateZ);
    EXPECT_FLOAT_EQ(view->camera().distance, home.distance - 0.5f);
    release(Qt::Key_O);
    EXPECT_EQ(view->camera(), home);
    EXPECT_EQ(view->showMode(), 0);
    release(Qt::Key_C);
    EXPECT_EQ(view->showMode(), 1);
    release(Qt::Key_C);
    EXPECT_EQ(view->showMode(), 0);
}

TEST_F(Show3D, TheBaseKeyFlattensAnUntouchedPanel) {
    prepare();
    view->Start();
    ASSERT_TRUE(qvui::fireTimer(view.get(), vcx::CVCXShowDlg::kTimerFrame));
    EXPECT_TRUE(allGrey());  // the panel's noise (+-5) against its base: grey
    EXPECT_TRUE(view->timers().isActive(vcx::CVCXShowDlg::kTimerFrame));  // the next frame is due
    // Node (3, 4) reads 200 more from now on: one cyan vertex and its label.
    std::string error;
    ASSERT_TRUE(qvsim::setControllerKey(ctl(), "bump", "3 4 200", &error)) << error;
    ASSERT_TRUE(qvui::fireTimer(view.get(), vcx::CVCXShowDlg::kTimerFrame));
    EXPECT_FALSE(allGrey());
    EXPECT_EQ(view->surface().vertices[3 * 28 + 4].band, vcx::Band::Cyan);
    EXPECT_EQ(view->surface().values.size(), 1u);
    // B takes that frame as the base: the next one is flat and grey again.
    release(Qt::Key_B);
    EXPECT_EQ(view->baseFrame(), view->currentFrame());
    ASSERT_TRUE(qvui::fireTimer(view.get(), vcx::CVCXShowDlg::kTimerFrame));
    EXPECT_NE(view->baseFrame(), view->currentFrame());
    EXPECT_TRUE(allGrey());
    EXPECT_TRUE(view->surface().values.empty());
    EXPECT_EQ(view->surface().lines * view->surface().nodes, 16 * 28);
}

TEST_F(Show3D, TabletClosesOnTheAutoExitTimer) {
    prepare();
    s.UseTabletPC = 1;
    view->Start();
    EXPECT_EQ(view->timers().interval(vcx::CVCXShowDlg::kTimerAutoExit), 30000);
    ASSERT_TRUE(qvui::fireTimer(view.get(), vcx::CVCXShowDlg::kTimerAutoExit));
    EXPECT_FALSE(view->running());
    EXPECT_FALSE(view->isVisible());
    EXPECT_FALSE(view->timers().isActive(vcx::CVCXShowDlg::kTimerFrame));
    EXPECT_EQ(main.messages, (std::vector<diagtest::Message>{{qvui::WM_PAGE_STATE, 0, 105}}));
}

TEST_F(Show3D, TheWindowsCloseBoxClosesTheView) {
    prepare();
    view->Start();
    EXPECT_TRUE(view->close());
    EXPECT_FALSE(view->running());
    EXPECT_EQ(main.messages, (std::vector<diagtest::Message>{{qvui::WM_PAGE_STATE, 0, 105}}));
}

}  // namespace
