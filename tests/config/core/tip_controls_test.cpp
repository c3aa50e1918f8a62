// The help-tip popups and the controls that show them: the balloon's height,
// position and headings, the no-flicker rule, the controls' mouse handling, the
// hexadecimal edit's filter and the hexadecimal text routines.
#include "core/strings.h"
#include "core/tip_controls.h"

#include "ui/string_table.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <mutex>

namespace {

using vcx::CQVMyTipDlg;
using vcx::g_TipWnd;
using vcx::kTipFeature;
using vcx::kTipSide;

// Tip texts of this test's own (the pages own the real ones).
constexpr quint32 kGainTip = 91001;
constexpr quint32 kGainSide = 91002;
constexpr quint32 kOnText = 91003;
constexpr quint32 kOffText = 91004;
constexpr quint32 kOtherTip = 91005;
constexpr quint32 kSideOn = 91006;
constexpr quint32 kSideOff = 91007;

void addTestStrings() {
    static std::once_flag once;
    std::call_once(once, [] {
        static const qvui::StringEntry entries[] = {
            {kGainTip, u"The gain of the receivers.", nullptr},
            {kGainSide, u"A high gain picks up more noise.", nullptr},
            {kOnText, u"Palm rejection is on.", nullptr},
            {kOffText, u"Palm rejection is off; large touches count.", nullptr},
            {kOtherTip, u"The scan rate in reports per second.", nullptr},
            {kSideOn, u"Costs some speed.", nullptr},
            {kSideOff, u"Large touches move the pointer.", nullptr},
        };
        qvui::StringTable::instance().add(entries);
    });
    vcx::addProgramStrings();
}

QRect screenRect(const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

void moveMouseOver(QWidget* w, QPoint local = {5, 5}) {
    QMouseEvent move(QEvent::MouseMove, QPointF(local), QPointF(w->mapToGlobal(local)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
}

// Counts how often a popup is shown.
class ShowCounter : public QObject {
public:
    explicit ShowCounter(QWidget* w) { w->installEventFilter(this); }
    int shows = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show) ++shows;
        return false;
    }
};

// A page background: a mouse move over it hides every tip.
class PageBackground : public QWidget {
public:
    PageBackground() { setMouseTracking(true); }

protected:
    void mouseMoveEvent(QMouseEvent*) override { vcx::HideAllTips(); }
};

class TipControls : public ::testing::Test {
protected:
    void SetUp() override {
        addTestStrings();
        vcx::CreateTipWindows();
        page.setGeometry(100, 200, 500, 300);
        page.show();
    }
    void TearDown() override { vcx::DestroyTipWindows(); }

    CQVMyTipDlg* tip(int pair, int mode) const { return g_TipWnd[pair][mode]; }
    bool anyVisible() const {
        for (auto& pair : g_TipWnd)
            for (auto* w : pair)
                if (w->isVisible()) return true;
        return false;
    }
    // The layout a popup must have for a tip, from its own text measurements.
    static vcx::TipLayout expectedLayout(const CQVMyTipDlg* w, quint32 title, quint32 second, bool value,
                                         const QRect& anchor) {
        vcx::TipContent c;
        c.featureMode = w->featureMode();
        c.hasTitle = title != 0;
        c.hasSecond = second != 0;
        c.valueFlag = value;
        c.titleHeight = w->measureText(qvui::loadString(title));
        c.secondHeight = second ? w->measureText(qvui::loadString(second)) : 0;
        return vcx::computeTipLayout(c, w->balloonWidth(), anchor);
    }

    PageBackground page;
};

// --- Arithmetic -------------------------------------------------------------

TEST(TipLayout, HeightPositionAndHeadingsFollowTheContent) {
    constexpr int W = 300;
    const QRect anchor(100, 300, 121, 24); // centre 100 + 60; bottom edge 324
    struct Case {
        const char* name;
        vcx::TipContent content;
        int height, y;
        bool valueShown, valueOnly;
        quint32 heading, secondHeading;
    } cases[] = {
        {"feature, title only", {true, true, false, false, 34, 0}, 34 + 39, 300 - 73, false, false, 1222, 0},
        {"feature, title and value", {true, true, false, true, 34, 0}, 34 + 39 + 25, 300 - 98, true, false, 1222, 0},
        {"feature, value only", {true, false, false, true, 0, 0}, 30, 270, true, true, 0, 0},
        {"feature, title and second", {true, true, true, false, 34, 51}, 34 + 39 + 51 + 25, 300 - 149, false, false, 1223,
         1224},
        {"feature, the second text wins over the value", {true, true, true, true, 17, 17}, 17 + 39 + 17 + 25, 300 - 98,
         false, false, 1223, 1224},
        {"side, title only", {false, true, false, false, 34, 0}, 73, 324, false, false, 1225, 0},
        {"side, the value is not shown", {false, true, false, true, 34, 0}, 73, 324, false, false, 1225, 0},
        {"side, title and second", {false, true, true, false, 34, 51}, 149, 324, false, false, 1226, 1227},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const vcx::TipLayout l = vcx::computeTipLayout(c.content, W, anchor);
        EXPECT_EQ(l.height, c.height);
        EXPECT_EQ(l.pos, QPoint(100 + 60 - 150, c.y));
        EXPECT_EQ(l.valueShown, c.valueShown);
        EXPECT_EQ(l.valueOnly, c.valueOnly);
        EXPECT_EQ(l.headingId, c.heading);
        EXPECT_EQ(l.secondHeadingId, c.secondHeading);
    }
}

TEST(TipLayout, TextBandsLieBelowTheTitle) {
    const vcx::TipLayout l = vcx::computeTipLayout({true, true, true, false, 34, 51}, 320, QRect(0, 400, 10, 10));
    EXPECT_EQ(l.heading, QRect(40, 5, 240, 20));
    EXPECT_EQ(l.title, QRect(40, 25, 240, 34));
    EXPECT_EQ(l.secondBand, QRect(40, 64, 240, 20));
    EXPECT_EQ(l.secondText, QRect(40, 84, 240, 51));
    // The second text ends inside the balloon, above its bottom curve.
    EXPECT_LT(l.secondText.bottom(), l.height);
}

TEST(TipLayout, BalloonIsACapsule) {
    const QRegion r = vcx::tipBalloonRegion(QSize(300, 80));
    EXPECT_EQ(r.boundingRect(), QRect(0, 0, 300, 80));
    EXPECT_TRUE(r.contains(QPoint(150, 40)));
    EXPECT_TRUE(r.contains(QPoint(2, 40)));    // the ends reach the sides at mid-height
    EXPECT_FALSE(r.contains(QPoint(2, 2)));    // the corners are cut away
    EXPECT_FALSE(r.contains(QPoint(297, 77)));
    EXPECT_TRUE(vcx::tipBalloonRegion(QSize(0, 0)).isEmpty());
}

TEST(TipHexText, HexTextToByteFollowsItsRule) {
    struct Case {
        const char* text;
        int value;
    } cases[] = {
        {"7F", 0x7F}, {"A", 0x0A}, {"", 0}, {"ABC", 183}, {"ff", 0xFF}, {"0a", 0x0A},
        {"1G", 0x10}, // the second character multiplies first, even when it adds nothing
        {"G1", 0x01}, {"..", 0},  {"FFFF", (15 * 16 + 15 + 15 + 15) & 0xFF},
    };
    QLineEdit edit;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        edit.setText(c.text);
        EXPECT_EQ(vcx::HexTextToByte(&edit), c.value);
    }
    EXPECT_EQ(vcx::HexTextToByte(nullptr), 0);
}

TEST(TipHexText, ShowByteAsHexRoundTripsEveryByte) {
    QLineEdit edit;
    vcx::ShowByteAsHex(&edit, 0x0A);
    EXPECT_EQ(edit.text(), "0A");
    for (int b = 0; b < 256; ++b) {
        vcx::ShowByteAsHex(&edit, uint8_t(b));
        ASSERT_EQ(edit.text().size(), 2) << b;
        ASSERT_EQ(vcx::HexTextToByte(&edit), b) << edit.text().toStdString();
    }
}

// --- The popups -------------------------------------------------------------

TEST_F(TipControls, PopupsAreFramelessTopMostToolWindowsInTwoPairs) {
    for (int pair = 0; pair < 2; ++pair) {
        for (int mode : {kTipFeature, kTipSide}) {
            CQVMyTipDlg* w = tip(pair, mode);
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->featureMode(), mode == kTipFeature);
            EXPECT_EQ(w->parentWidget(), nullptr);
            EXPECT_EQ(w->windowType(), Qt::Tool);
            EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
            EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
            EXPECT_GT(w->balloonWidth(), 100);
            EXPECT_FALSE(w->isVisible());
        }
    }
    // Creating again keeps the same popups.
    CQVMyTipDlg* first = tip(0, kTipFeature);
    vcx::CreateTipWindows();
    EXPECT_EQ(tip(0, kTipFeature), first);
}

TEST_F(TipControls, ShowTipPlacesTheBalloonAboveOrBelowItsAnchor) {
    const QRect anchor(300, 300, 120, 24);
    for (int mode : {kTipFeature, kTipSide}) {
        CQVMyTipDlg* w = tip(0, mode);
        SCOPED_TRACE(w->featureMode() ? "feature" : "side");
        w->ShowTip(kOnText, kOffText, false, {}, anchor);
        const vcx::TipLayout l = expectedLayout(w, kOnText, kOffText, false, anchor);
        ASSERT_TRUE(w->isVisible());
        EXPECT_EQ(w->balloonHeight(), l.height);
        EXPECT_EQ(w->geometry(), QRect(l.pos, QSize(w->balloonWidth(), l.height)));
        if (w->featureMode())
            EXPECT_EQ(w->geometry().bottom() + 1, anchor.top());
        else
            EXPECT_EQ(w->geometry().top(), anchor.bottom() + 1);
        EXPECT_EQ(w->mask().boundingRect(), QRect(0, 0, w->balloonWidth(), l.height));
        EXPECT_EQ(w->titleText(), "Palm rejection is on.");
        EXPECT_EQ(w->secondText(), "Palm rejection is off; large touches count.");
        // The warning picture belongs to side-effect popups only.
        EXPECT_EQ(w->picture()->isVisibleTo(w), !w->featureMode());
    }
}

TEST_F(TipControls, SameTitleIsNotShownAgainAnotherTitleReplacesIt) {
    CQVMyTipDlg* w = tip(0, kTipFeature);
    ShowCounter counter(w);
    const QRect first(200, 300, 100, 20), second(200, 400, 100, 20);
    w->ShowTip(kGainTip, 0, false, {}, first);
    const QRect shown = w->geometry();
    EXPECT_EQ(counter.shows, 1);

    w->ShowTip(kGainTip, 0, false, {}, second);
    EXPECT_EQ(counter.shows, 1);
    EXPECT_EQ(w->geometry(), shown);

    w->ShowTip(kOtherTip, 0, false, {}, second);
    EXPECT_EQ(counter.shows, 2);
    EXPECT_EQ(w->titleText(), "The scan rate in reports per second.");
    EXPECT_EQ(w->geometry().bottom() + 1, second.top());

    // A hidden popup shows its title again.
    w->hide();
    w->ShowTip(kOtherTip, 0, false, {}, first);
    EXPECT_EQ(counter.shows, 3);
    EXPECT_EQ(w->geometry().bottom() + 1, first.top());
}

TEST_F(TipControls, EscHidesAPopupEnterDoesNothing) {
    CQVMyTipDlg* w = tip(0, kTipSide);
    w->ShowTip(kGainSide, 0, false, {}, QRect(200, 200, 50, 20));
    QTest::keyClick(w, Qt::Key_Return);
    EXPECT_TRUE(w->isVisible());
    QTest::keyClick(w, Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(TipControls, AMouseMoveOverAPopupHidesAllTips) {
    tip(0, kTipFeature)->ShowTip(kGainTip, 0, false, {}, QRect(200, 300, 50, 20));
    tip(1, kTipSide)->ShowTip(kGainSide, 0, false, {}, QRect(200, 300, 50, 20));
    moveMouseOver(tip(0, kTipFeature), QPoint(100, 20));
    EXPECT_FALSE(anyVisible());
}

TEST_F(TipControls, RenderedBalloonHasItsFillFrameAndHeadingColour) {
    CQVMyTipDlg* side = tip(0, kTipSide);
    side->ShowTip(kSideOn, kSideOff, false, {}, QRect(300, 100, 120, 24));
    const QImage image = side->grab().toImage();
    ASSERT_EQ(image.size(), side->size() * side->devicePixelRatioF());
    const QString dir = QStringLiteral(QV_BINARY_DIR "/tip_controls");
    QDir().mkpath(dir);
    EXPECT_TRUE(image.save(dir + "/side_effect_tip.png"));
    tip(0, kTipFeature)->ShowTip(kOnText, kOffText, false, {}, QRect(300, 400, 120, 24));
    tip(0, kTipFeature)->grab().save(dir + "/feature_tip.png");

    const QColor fill = side->palette().color(QPalette::ToolTipBase);
    int red = 0, fillPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 60 && c.blue() < 60) ++red;
            if (c == fill) ++fillPixels;
        }
    }
    EXPECT_GT(red, 50) << "the side-effect headings are dark red";
    EXPECT_GT(fillPixels, image.width() * image.height() / 3);
    // The frame is black on the left end at mid-height.
    const int mid = image.height() / 2;
    bool frame = false;
    for (int x = 0; x < 4; ++x) frame = frame || image.pixelColor(x, mid).value() < 100;
    EXPECT_TRUE(frame);
}

// --- The controls -----------------------------------------------------------

TEST_F(TipControls, HoveringAnEditShowsBothTipsUntilThePointerLeaves) {
    vcx::CQVMyTipEdit edit(&page);
    edit.setGeometry(150, 120, 120, 24);
    edit.SetTipIds(kGainTip, kGainSide);
    edit.SetTips(kGainTip, kGainSide, 0);
    edit.show();
    tip(1, kTipFeature)->ShowTip(kOtherTip, 0, false, {}, QRect(200, 200, 50, 20));
    ShowCounter counter(tip(0, kTipFeature));

    moveMouseOver(&edit);
    CQVMyTipDlg* feature = tip(0, kTipFeature);
    CQVMyTipDlg* side = tip(0, kTipSide);
    ASSERT_TRUE(feature->isVisible());
    ASSERT_TRUE(side->isVisible());
    EXPECT_EQ(feature->titleText(), "The gain of the receivers.");
    EXPECT_EQ(side->titleText(), "A high gain picks up more noise.");
    EXPECT_EQ(qvui::loadString(feature->layout().headingId), "Feature");
    EXPECT_EQ(qvui::loadString(side->layout().headingId), "Side Effect / Limit");
    const QRect anchor = screenRect(&edit);
    EXPECT_EQ(feature->geometry().bottom() + 1, anchor.top());
    EXPECT_EQ(side->geometry().top(), anchor.bottom() + 1);
    EXPECT_FALSE(tip(1, kTipFeature)->isVisible());

    // Moving within the edit does not show the popup again.
    moveMouseOver(&edit, QPoint(60, 10));
    EXPECT_EQ(counter.shows, 1);

    moveMouseOver(&page, QPoint(5, 5));
    EXPECT_FALSE(anyVisible());
}

TEST_F(TipControls, AnEditWithOnlyAValueShowsASmallValueBalloon) {
    vcx::CQVMyTipEdit edit(&page);
    edit.setGeometry(150, 120, 120, 24);
    edit.SetTipValueShown(1);
    edit.SetTipValueText("Range 0 - 255");
    edit.show();
    tip(0, kTipSide)->ShowTip(kGainSide, 0, false, {}, QRect(200, 200, 50, 20));

    moveMouseOver(&edit);
    CQVMyTipDlg* feature = tip(0, kTipFeature);
    ASSERT_TRUE(feature->isVisible());
    EXPECT_EQ(feature->balloonHeight(), 30);
    EXPECT_EQ(feature->height(), 30);
    EXPECT_TRUE(feature->valueShown());
    EXPECT_TRUE(feature->layout().valueOnly);
    EXPECT_EQ(feature->secondText(), "Range 0 - 255");
    EXPECT_FALSE(tip(0, kTipSide)->isVisible()) << "no side tip id: the side popup is hidden";

    // With a title as well, the value gets a band of its own.
    edit.SetTips(kGainTip, 0, 1);
    feature->hide();
    moveMouseOver(&edit);
    EXPECT_EQ(feature->balloonHeight(), feature->measureText(feature->titleText()) + 39 + 25);
    EXPECT_TRUE(feature->valueShown());
}

TEST_F(TipControls, EditTipOperationsSetIdsAndFlag) {
    // The operations are virtual and reach SetTips through the object.
    struct Recording : vcx::CQVMyTipEdit {
        std::vector<std::tuple<quint32, quint32, quint8>> calls;
        void SetTips(quint32 f, quint32 s, quint8 v) override {
            calls.emplace_back(f, s, v);
            CQVMyTipEdit::SetTips(f, s, v);
        }
    } edit;
    edit.SetTipIds(7, 8);
    EXPECT_EQ(edit.valueShown, 1);
    edit.SetTipValueShown(0);
    EXPECT_EQ(edit.featureTipId, 0u);
    EXPECT_EQ(edit.sideTipId, 0u);
    ASSERT_EQ(edit.calls.size(), 2u);
    EXPECT_EQ(edit.calls[0], std::make_tuple(7u, 8u, quint8(1)));
    EXPECT_EQ(edit.calls[1], std::make_tuple(0u, 0u, quint8(0)));
}

TEST_F(TipControls, AButtonWithOnlyAFeatureTipHidesTheSidePopup) {
    vcx::CQVMyTipButton button(&page);
    button.setGeometry(20, 20, 80, 30);
    button.featureTipId = kOtherTip;
    button.show();
    tip(0, kTipSide)->ShowTip(kGainSide, 0, false, {}, QRect(200, 200, 50, 20));
    tip(1, kTipSide)->ShowTip(kGainSide, 0, false, {}, QRect(200, 200, 50, 20));

    moveMouseOver(&button);
    EXPECT_TRUE(tip(0, kTipFeature)->isVisible());
    EXPECT_EQ(tip(0, kTipFeature)->titleText(), "The scan rate in reports per second.");
    EXPECT_FALSE(tip(0, kTipSide)->isVisible());
    EXPECT_FALSE(tip(1, kTipSide)->isVisible());
}

TEST_F(TipControls, AnOnOffPictureShowsBothTextsUnderOnAndOffHeadings) {
    vcx::CQVMyTipBMP both(&page), single(&page);
    both.setGeometry(20, 100, 40, 20);
    both.featureTipId = kOnText;
    both.featureSecondId = kOffText;
    both.sideTipId = kSideOn;
    both.sideSecondId = kSideOff;
    single.setGeometry(20, 200, 40, 20);
    single.featureTipId = kGainTip;
    both.show();
    single.show();

    moveMouseOver(&both);
    CQVMyTipDlg* feature = tip(0, kTipFeature);
    CQVMyTipDlg* side = tip(0, kTipSide);
    ASSERT_TRUE(feature->isVisible());
    ASSERT_TRUE(side->isVisible());
    EXPECT_EQ(qvui::loadString(feature->layout().headingId), "Feature ( ON )");
    EXPECT_EQ(feature->titleText(), "Palm rejection is on.");
    EXPECT_EQ(qvui::loadString(feature->layout().secondHeadingId), "Feature ( OFF )");
    EXPECT_EQ(feature->secondText(), "Palm rejection is off; large touches count.");
    EXPECT_EQ(qvui::loadString(side->layout().headingId), "Side Effect ( ON )");
    EXPECT_EQ(qvui::loadString(side->layout().secondHeadingId), "Side Effect ( OFF )");
    EXPECT_EQ(side->secondText(), "Large touches move the pointer.");

    moveMouseOver(&single);
    EXPECT_EQ(qvui::loadString(feature->layout().headingId), "Feature");
    EXPECT_EQ(feature->layout().secondHeadingId, 0u);
    EXPECT_EQ(feature->secondId(), 0u);
    EXPECT_FALSE(side->isVisible());
}

TEST_F(TipControls, AMovedSliderShowsItsTipsAtTheMovedAnchors) {
    vcx::CQVMyTipSlider slider(&page);
    slider.setOrientation(Qt::Horizontal);
    slider.setGeometry(100, 150, 200, 30);
    slider.featureTipId1 = kGainTip;
    slider.sideTipId1 = kGainSide;
    slider.featureTipId2 = kOtherTip;
    slider.sideTipId2 = kSideOn;
    slider.show();
    const QRect at = screenRect(&slider);
    const QRect anchor1(at.left(), at.top(), 20, 30), anchor2(at.right() - 19, at.top(), 20, 30);
    slider.SetTipAnchors(anchor1, anchor2);

    // The page scrolls the slider 40 pixels up and 10 to the right.
    slider.move(110, 110);
    moveMouseOver(&slider);
    const QPoint moved(10, -40);
    CQVMyTipDlg* f1 = tip(0, kTipFeature);
    CQVMyTipDlg* s1 = tip(0, kTipSide);
    CQVMyTipDlg* f2 = tip(1, kTipFeature);
    CQVMyTipDlg* s2 = tip(1, kTipSide);
    for (auto* w : {f1, s1, f2, s2}) ASSERT_TRUE(w->isVisible());
    EXPECT_EQ(slider.anchorRect1, anchor1.translated(moved));
    EXPECT_EQ(slider.anchorRect2, anchor2.translated(moved));
    EXPECT_EQ(f1->geometry().bottom() + 1, anchor1.top() - 40);
    EXPECT_EQ(s1->geometry().top(), anchor1.bottom() + 1 - 40);
    EXPECT_EQ(f1->geometry().left(), anchor1.left() + 10 + anchor1.width() / 2 - f1->balloonWidth() / 2);
    EXPECT_EQ(f2->geometry().left(), anchor2.left() + 10 + anchor2.width() / 2 - f2->balloonWidth() / 2);
    EXPECT_EQ(s2->titleText(), "Costs some speed.");

    // A second move over the same place keeps the anchors.
    moveMouseOver(&slider, QPoint(50, 10));
    EXPECT_EQ(slider.anchorRect1, anchor1.translated(moved));
}

TEST_F(TipControls, HexEditDropsNonHexCharacters) {
    vcx::CQVMyHexTipEdit edit(&page);
    edit.show();
    edit.setFocus();
    QTest::keyClicks(&edit, "1g");
    EXPECT_EQ(edit.text(), "1");
    QTest::keyClicks(&edit, "aF.9xZ -");
    EXPECT_EQ(edit.text(), "1aF.9");
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "1aF.");
    // Keys that type nothing still edit and move the cursor.
    QTest::keyClick(&edit, Qt::Key_Home);
    QTest::keyClick(&edit, Qt::Key_Delete);
    QTest::keyClick(&edit, Qt::Key_Right);
    QTest::keyClicks(&edit, "7");
    EXPECT_EQ(edit.text(), "a7F.");
}

TEST_F(TipControls, LeftButtonReleaseSelectsTheWholeText) {
    vcx::CMyEdit plain(&page);
    vcx::CQVMyTipEdit tipEdit(&page);
    tipEdit.move(0, 40);
    for (QLineEdit* e : {static_cast<QLineEdit*>(&plain), static_cast<QLineEdit*>(&tipEdit)}) {
        e->setText("12345");
        e->show();
        QTest::mouseClick(e, Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
        EXPECT_EQ(e->selectedText(), "12345");
        // A second click inside the selection keeps the whole text selected.
        QTest::mouseClick(e, Qt::LeftButton, Qt::NoModifier, QPoint(12, 5));
        EXPECT_EQ(e->selectedText(), "12345");
    }
}

} // namespace
