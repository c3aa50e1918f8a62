// The help tips of the parameter pages: rounded balloon popups that explain a
// setting while the mouse pointer rests on its control, and the controls that
// carry the string ids of their tips. Every control has up to two tips: a
// feature tip shown above it (black heading) and a side-effect-and-limit tip
// shown below it (dark-red heading).
//
// Four popups serve the whole program (g_TipWnd, two pairs): pair 0 serves every
// control's first (or only) tip position, pair 1 the slider's second position.
// In each pair the first popup is in feature mode, the second in side-effect
// mode. The popups are created once and only shown and hidden afterwards; a
// mouse move over a page background or over a popup hides all four.
#pragma once

#include "ui/string_table.h"

#include <QDialog>
#include <QFont>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <QRegion>
#include <QSlider>
#include <QLabel>
#include <QString>

#include <cstdint>
#include <span>

namespace vcx {

// The headings of the popups, by string id.
constexpr quint32 IDS_TIP_FEATURE = 1222;
constexpr quint32 IDS_TIP_FEATURE_ON = 1223;
constexpr quint32 IDS_TIP_FEATURE_OFF = 1224;
constexpr quint32 IDS_TIP_SIDE_EFFECT = 1225;
constexpr quint32 IDS_TIP_SIDE_EFFECT_ON = 1226;
constexpr quint32 IDS_TIP_SIDE_EFFECT_OFF = 1227;

// The heading texts, for the program's string table (addProgramStrings adds them).
std::span<const qvui::StringEntry> tipHeadingStrings();

// The text buffers of a popup hold this many characters, the terminator included.
constexpr int kTipTextChars = 260;

// What a popup shows, as ShowTip receives it, with the heights of its texts
// measured with the text font at the width limit 3W/4.
struct TipContent {
    bool featureMode = true;
    bool hasTitle = false;   // title id non-zero
    bool hasSecond = false;  // second id non-zero
    bool valueFlag = false;  // the caller asks for the value text
    int titleHeight = 0;
    int secondHeight = 0;
};

// Where a popup goes and where its parts are drawn, in popup coordinates.
struct TipLayout {
    bool valueShown = false;  // the value text is shown (feature mode, no second text)
    bool valueOnly = false;   // no title: the value text alone in the heading band
    int height = 0;           // balloon height H
    QPoint pos;               // top-left corner on the screen
    QRect heading;            // heading band (W/8, 5) - (7W/8, 25)
    QRect title;              // title text, (W/8, 25), 3W/4 wide
    QRect secondBand;         // (W/8, title height + 30) - (7W/8, title height + 50)
    QRect secondText;         // second text, below the second band
    quint32 headingId = 0;    // string id of the heading; 0 without a title
    quint32 secondHeadingId = 0; // string id of the second band's heading; 0 without one
};

// The height rules, position and heading choice of a balloon `width` wide for
// `anchor` (screen coordinates; the balloon is centred on it, above it in
// feature mode and below it in side-effect mode).
TipLayout computeTipLayout(const TipContent& content, int width, const QRect& anchor);

// The balloon outline for a popup of `size`: a rounded rectangle whose corner
// ellipses are W/2 wide and H high, so that both ends are fully rounded.
QRegion tipBalloonRegion(const QSize& size);

class CQVMyTipDlg : public QDialog {
public:
    // A frameless, always-on-top tool window without a parent; `featureMode`
    // is fixed for the popup's life.
    explicit CQVMyTipDlg(bool featureMode);
    ~CQVMyTipDlg() override;

    // Shows the tip with string ids `titleId` and `secondId` (0 = none); in
    // feature mode without a second text, `valueFlag` adds `valueText`. The
    // anchor is the control's rectangle in screen coordinates. While the popup
    // is visible with the same title id nothing happens (no flicker while the
    // pointer moves over one control).
    void ShowTip(quint32 titleId, quint32 secondId, bool valueFlag, const QString& valueText, const QRect& anchor);

    bool featureMode() const { return featureMode_; }
    int balloonWidth() const { return clientRect_.width(); }
    int balloonHeight() const { return height_; }
    quint32 titleId() const { return titleId_; }
    quint32 secondId() const { return secondId_; }
    bool valueShown() const { return valueShown_; }
    QString titleText() const { return titleText_; }
    QString secondText() const { return secondText_; }
    const TipLayout& layout() const { return layout_; }
    QLabel* picture() const { return picture_; }
    // The height of `text` in the text font, word-broken at the width 3W/4.
    int measureText(const QString& text) const;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void applyBalloonRegion();

    const bool featureMode_;
    QRect clientRect_;
    int height_ = 0;
    bool valueShown_ = false;
    quint32 titleId_ = 0;
    quint32 secondId_ = 0;
    QString titleText_;
    QString secondText_;
    TipLayout layout_;
    QFont headingFont_;
    QFont textFont_;
    QLabel* picture_ = nullptr;
};

// The popups: [pair][kTipFeature or kTipSide]; null before CreateTipWindows.
constexpr int kTipFeature = 0;
constexpr int kTipSide = 1;
extern CQVMyTipDlg* g_TipWnd[2][2];

// Creates the four popups (pair 0 then pair 1, the feature popup first); does
// nothing when they exist.
void CreateTipWindows();
// Hides every visible popup.
void HideAllTips();
// Destroys the popups (at program end).
void DestroyTipWindows();

// An edit box with a feature tip, a side-effect tip and an optional value text
// shown in the feature tip. A left-button release selects the whole text.
class CQVMyTipEdit : public QLineEdit {
public:
    explicit CQVMyTipEdit(QWidget* parent = nullptr);

    virtual void SetTipValueText(const QString& text);
    // As SetTips(0, 0, flag).
    virtual void SetTipValueShown(quint8 flag);
    // As SetTips(featureId, sideId, 1).
    virtual void SetTipIds(quint32 featureId, quint32 sideId);
    virtual void SetTips(quint32 featureId, quint32 sideId, quint8 flag);

    quint32 featureTipId = 0;
    quint32 sideTipId = 0;
    quint8 valueShown = 0;
    QString valueText;

protected:
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// A tip edit for hexadecimal values: only 0-9, a-f, A-F, '.' and backspace
// are typed; every other character is dropped. Keys that type nothing
// (navigation, Delete) and shortcuts work as in any edit box.
class CQVMyHexTipEdit : public CQVMyTipEdit {
public:
    explicit CQVMyHexTipEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

class CQVMyTipButton : public QPushButton {
public:
    explicit CQVMyTipButton(QWidget* parent = nullptr);

    quint32 featureTipId = 0;
    quint32 sideTipId = 0;

protected:
    void mouseMoveEvent(QMouseEvent* e) override;
};

// An on/off picture; each tip may have a second text (the "OFF" text).
class CQVMyTipBMP : public QLabel {
public:
    explicit CQVMyTipBMP(QWidget* parent = nullptr);

    quint32 featureTipId = 0;
    quint32 featureSecondId = 0;
    quint32 sideTipId = 0;
    quint32 sideSecondId = 0;

protected:
    void mouseMoveEvent(QMouseEvent* e) override;
};

// A slider with tips at two anchors (screen rectangles set by its page), shown
// by pair 0 and pair 1. When the slider has moved on the screen since the last
// mouse move (its page scrolled), both anchors move with it.
class CQVMyTipSlider : public QSlider {
public:
    explicit CQVMyTipSlider(QWidget* parent = nullptr);

    // Sets both anchors and remembers the slider's present screen rectangle,
    // against which later moves are measured.
    void SetTipAnchors(const QRect& anchor1, const QRect& anchor2);

    quint32 featureTipId1 = 0;
    quint32 sideTipId1 = 0;
    quint32 featureTipId2 = 0;
    quint32 sideTipId2 = 0;
    QRect anchorRect1;
    QRect anchorRect2;
    QRect windowRect; // the slider's screen rectangle when the anchors were last right

protected:
    void mouseMoveEvent(QMouseEvent* e) override;
};

// An edit box that selects its whole text on a left-button release.
class CMyEdit : public QLineEdit {
public:
    explicit CMyEdit(QWidget* parent = nullptr);

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// The edit's text read as hexadecimal: at the second character the value so
// far is multiplied by 16 first; each hexadecimal digit adds its value, any
// other character nothing; the low 8 bits are returned ("7F" 0x7F, "A" 0x0A,
// "" 0, "ABC" 183).
uint8_t HexTextToByte(const QLineEdit* edit);
// Sets the edit's text to the byte as two upper-case hexadecimal digits.
void ShowByteAsHex(QLineEdit* edit, uint8_t value);

} // namespace vcx
