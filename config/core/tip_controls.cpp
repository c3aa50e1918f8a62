#include "core/tip_controls.h"

#include "ui/string_table.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QStyle>

#include <algorithm>
#include <mutex>
#include <span>

namespace vcx {

namespace {

constexpr qvui::StringEntry kTipStrings[] = {
    {IDS_TIP_FEATURE, u"Feature", nullptr},
    {IDS_TIP_FEATURE_ON, u"Feature ( ON )", nullptr},
    {IDS_TIP_FEATURE_OFF, u"Feature ( OFF )", nullptr},
    {IDS_TIP_SIDE_EFFECT, u"Side Effect / Limit", nullptr},
    {IDS_TIP_SIDE_EFFECT_ON, u"Side Effect ( ON )", nullptr},
    {IDS_TIP_SIDE_EFFECT_OFF, u"Side Effect ( OFF )", nullptr},
};

// The popup's size in dialog units, and its picture's side in pixels.
constexpr int kDialogWidthDlu = 200;
constexpr int kDialogHeightDlu = 98;
constexpr int kPictureSide = 16;

const QColor kSideEffectColour(192, 0, 0);

// A rectangle given by its edges, right and bottom exclusive.
QRect edges(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

// A widget's rectangle in screen coordinates.
QRect screenRect(const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

// A text copied into a popup's buffer (the terminator takes one place).
QString bufferText(const QString& text) { return text.left(kTipTextChars - 1); }

CQVMyTipDlg* tip(int pair, int mode) { return g_TipWnd[pair][mode]; }

void showTip(int pair, int mode, quint32 titleId, quint32 secondId, bool valueFlag, const QString& value,
             const QRect& anchor) {
    if (CQVMyTipDlg* w = tip(pair, mode)) w->ShowTip(titleId, secondId, valueFlag, value, anchor);
}

void hideTip(int pair, int mode) {
    if (CQVMyTipDlg* w = tip(pair, mode); w && w->isVisible()) w->hide();
}

void hidePair(int pair) {
    hideTip(pair, kTipFeature);
    hideTip(pair, kTipSide);
}

// A control's popup: shown with these texts when the control has a tip there, else hidden.
void tipOrHide(bool shown, int pair, int mode, quint32 titleId, quint32 secondId, bool valueFlag,
               const QString& value, const QRect& anchor) {
    if (shown)
        showTip(pair, mode, titleId, secondId, valueFlag, value, anchor);
    else
        hideTip(pair, mode);
}

// A control's mouse move ends with the control: passed on to the page behind
// it (as a button, picture or slider does with a move it does not use), it
// would hide the tips just shown.
void keepMoveHere(QMouseEvent* e) { e->accept(); }

// Selects the whole text; the cursor goes to its end, which scrolls it into view.
void selectWholeText(QLineEdit* edit) { edit->selectAll(); }

int hexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

} // namespace

std::span<const qvui::StringEntry> tipHeadingStrings() { return kTipStrings; }

TipLayout computeTipLayout(const TipContent& c, int width, const QRect& anchor) {
    const int W = width;
    TipLayout l;
    // The value text is shown only by a feature popup, and only in place of a second text.
    l.valueShown = c.featureMode && !c.hasSecond && c.valueFlag;
    l.valueOnly = !c.hasTitle && l.valueShown;

    const int titleHeight = c.hasTitle ? c.titleHeight : 0;
    int h = titleHeight + 39;
    if (l.valueOnly) h = 30;
    if (c.hasSecond)
        h += c.secondHeight + 25;
    else if (c.featureMode && c.hasTitle && l.valueShown)
        h += 25;
    l.height = h;

    const int x = (anchor.width()) / 2 - W / 2 + anchor.left();
    const int y = c.featureMode ? anchor.top() - h : anchor.top() + anchor.height();
    l.pos = QPoint(x, y);

    l.heading = edges(W / 8, 5, 7 * W / 8, 25);
    l.title = edges(W / 8, 25, W / 8 + 3 * W / 4, 25 + titleHeight);
    l.secondBand = edges(W / 8, titleHeight + 30, 7 * W / 8, titleHeight + 50);
    l.secondText = edges(W / 8, titleHeight + 50, W / 8 + 3 * W / 4, titleHeight + 50 + (c.hasSecond ? c.secondHeight : 0));

    if (c.hasTitle) {
        if (c.featureMode)
            l.headingId = c.hasSecond ? IDS_TIP_FEATURE_ON : IDS_TIP_FEATURE;
        else
            l.headingId = c.hasSecond ? IDS_TIP_SIDE_EFFECT_ON : IDS_TIP_SIDE_EFFECT;
        if (c.hasSecond) l.secondHeadingId = c.featureMode ? IDS_TIP_FEATURE_OFF : IDS_TIP_SIDE_EFFECT_OFF;
    }
    return l;
}

namespace {
QPainterPath balloonPath(const QRectF& r) {
    // Corner ellipses W/2 wide and H high: radii W/4 and H/2.
    QPainterPath path;
    path.addRoundedRect(r, r.width() / 4.0, r.height() / 2.0);
    return path;
}
} // namespace

QRegion tipBalloonRegion(const QSize& size) {
    if (size.isEmpty()) return {};
    return QRegion(balloonPath(QRectF(QPointF(0, 0), QSizeF(size))).toFillPolygon().toPolygon());
}

// ---------------------------------------------------------------------------
// CQVMyTipDlg

CQVMyTipDlg* g_TipWnd[2][2] = {};

CQVMyTipDlg::CQVMyTipDlg(bool featureMode)
    : QDialog(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), featureMode_(featureMode) {
    // A hint under the pointer: showing it leaves the keyboard focus where it is.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMouseTracking(true);

    // Dialog units from the dialog font: a quarter of the average character
    // width across, an eighth of the character height down.
    const QFontMetrics fm(font());
    const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int baseX = std::max(1, (letters / 26 + 1) / 2);
    const int baseY = std::max(1, fm.height());
    clientRect_ = QRect(0, 0, kDialogWidthDlu * baseX / 4, kDialogHeightDlu * baseY / 8);
    height_ = clientRect_.height();
    resize(clientRect_.size());

    // The warning picture shows only in side-effect popups.
    picture_ = new QLabel(this);
    picture_->setAttribute(Qt::WA_TransparentForMouseEvents);
    picture_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(kPictureSide, kPictureSide));
    picture_->setGeometry(10, (height_ - kPictureSide) / 2, kPictureSide, kPictureSide);
    picture_->setVisible(!featureMode_);

    headingFont_ = QFont(QStringLiteral("Tahoma"));
    headingFont_.setPixelSize(20);
    headingFont_.setWeight(QFont::Bold);
    textFont_ = QFont(QStringLiteral("Tahoma"));
    textFont_.setPixelSize(14);
    textFont_.setWeight(QFont::Normal);

    applyBalloonRegion();
}

CQVMyTipDlg::~CQVMyTipDlg() = default;

int CQVMyTipDlg::measureText(const QString& text) const {
    if (text.isEmpty()) return 0;
    const QFontMetrics fm(textFont_);
    const QRect limit(0, 0, 3 * balloonWidth() / 4, 1 << 20);
    return fm.boundingRect(limit, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text).height();
}

void CQVMyTipDlg::ShowTip(quint32 titleId, quint32 secondId, bool valueFlag, const QString& valueText,
                          const QRect& anchor) {
    if (isVisible()) {
        if (titleId_ == titleId) return;
        hide();
    }

    valueShown_ = false;
    titleId_ = 0;
    secondId_ = 0;
    titleText_.clear();
    secondText_.clear();

    if (titleId != 0) {
        titleId_ = titleId;
        titleText_ = bufferText(qvui::loadString(titleId));
    }
    if (secondId != 0) {
        secondId_ = secondId;
        secondText_ = bufferText(qvui::loadString(secondId));
    } else if (featureMode_ && valueFlag) {
        valueShown_ = true;
        secondText_ = bufferText(valueText);
    }

    TipContent content;
    content.featureMode = featureMode_;
    content.hasTitle = titleId_ != 0;
    content.hasSecond = secondId_ != 0;
    content.valueFlag = valueShown_;
    content.titleHeight = measureText(titleText_);
    content.secondHeight = content.hasSecond ? measureText(secondText_) : 0;
    layout_ = computeTipLayout(content, balloonWidth(), anchor);
    height_ = layout_.height;

    setGeometry(layout_.pos.x(), layout_.pos.y(), balloonWidth(), height_ - clientRect_.top());
    picture_->move(10, (height_ - kPictureSide) / 2);
    show();
    raise();
    applyBalloonRegion();
    update();
}

void CQVMyTipDlg::applyBalloonRegion() {
    setMask(tipBalloonRegion(QSize(clientRect_.width(), height_ - clientRect_.top())));
}

void CQVMyTipDlg::paintEvent(QPaintEvent*) {
    const int W = balloonWidth();
    const int H = height_ - clientRect_.top();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath outline = balloonPath(QRectF(0.5, 0.5, W - 1, H - 1));
    p.fillPath(outline, palette().color(QPalette::ToolTipBase));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline);

    p.setPen(featureMode_ ? QColor(Qt::black) : kSideEffectColour);
    const int centred = Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine;
    const int wrapped = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
    if (titleId_ != 0) {
        p.setFont(headingFont_);
        p.drawText(layout_.heading, centred, qvui::loadString(layout_.headingId));
        p.setFont(textFont_);
        p.drawText(layout_.title, wrapped, titleText_);
        if (secondId_ != 0) {
            p.setFont(headingFont_);
            p.drawText(layout_.secondBand, centred, qvui::loadString(layout_.secondHeadingId));
            p.setFont(textFont_);
            p.drawText(layout_.secondText, wrapped, secondText_);
        } else if (valueShown_) {
            p.setFont(headingFont_);
            p.drawText(layout_.secondBand, centred, secondText_);
        }
    } else if (featureMode_ && valueShown_) {
        p.setFont(headingFont_);
        p.drawText(layout_.heading, centred, secondText_);
    }
}

void CQVMyTipDlg::mouseMoveEvent(QMouseEvent* e) {
    HideAllTips();
    QDialog::mouseMoveEvent(e);
}

void CQVMyTipDlg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Escape:
        hide();
        e->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        e->accept();
        return;
    default:
        QDialog::keyPressEvent(e);
    }
}

void CreateTipWindows() {
    for (int pair = 0; pair < 2; ++pair) {
        if (!g_TipWnd[pair][kTipFeature]) g_TipWnd[pair][kTipFeature] = new CQVMyTipDlg(true);
        if (!g_TipWnd[pair][kTipSide]) g_TipWnd[pair][kTipSide] = new CQVMyTipDlg(false);
    }
}

void HideAllTips() {
    hidePair(0);
    hidePair(1);
}

void DestroyTipWindows() {
    for (auto& pair : g_TipWnd) {
        for (CQVMyTipDlg*& w : pair) {
            delete w;
            w = nullptr;
        }
    }
}

// ---------------------------------------------------------------------------
// The controls

CQVMyTipEdit::CQVMyTipEdit(QWidget* parent) : QLineEdit(parent) { setMouseTracking(true); }

void CQVMyTipEdit::SetTipValueText(const QString& text) { valueText = text; }

void CQVMyTipEdit::SetTipValueShown(quint8 flag) { SetTips(0, 0, flag); }

void CQVMyTipEdit::SetTipIds(quint32 featureId, quint32 sideId) { SetTips(featureId, sideId, 1); }

void CQVMyTipEdit::SetTips(quint32 featureId, quint32 sideId, quint8 flag) {
    featureTipId = featureId;
    sideTipId = sideId;
    valueShown = flag;
}

void CQVMyTipEdit::mouseMoveEvent(QMouseEvent* e) {
    const QRect anchor = screenRect(this);
    tipOrHide(featureTipId > 0 || valueShown, 0, kTipFeature, featureTipId, 0, valueShown != 0, valueText, anchor);
    tipOrHide(sideTipId != 0, 0, kTipSide, sideTipId, 0, false, {}, anchor);
    hidePair(1);
    QLineEdit::mouseMoveEvent(e);
    keepMoveHere(e);
}

void CQVMyTipEdit::mouseReleaseEvent(QMouseEvent* e) {
    // The edit's own handling first: a release after a click inside a selection
    // would otherwise clear the selection made here.
    QLineEdit::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton) selectWholeText(this);
}

CQVMyHexTipEdit::CQVMyHexTipEdit(QWidget* parent) : CQVMyTipEdit(parent) {}

void CQVMyHexTipEdit::keyPressEvent(QKeyEvent* e) {
    // Only the characters a key types are filtered; control characters
    // (backspace, Enter, Esc, shortcuts) and keys that type nothing pass.
    for (const QChar c : e->text()) {
        if (c.isPrint() && hexDigitValue(c) < 0 && c != u'.') {
            e->accept();
            return;
        }
    }
    CQVMyTipEdit::keyPressEvent(e);
}

CQVMyTipButton::CQVMyTipButton(QWidget* parent) : QPushButton(parent) { setMouseTracking(true); }

void CQVMyTipButton::mouseMoveEvent(QMouseEvent* e) {
    const QRect anchor = screenRect(this);
    tipOrHide(featureTipId != 0, 0, kTipFeature, featureTipId, 0, false, {}, anchor);
    tipOrHide(sideTipId != 0, 0, kTipSide, sideTipId, 0, false, {}, anchor);
    hidePair(1);
    QPushButton::mouseMoveEvent(e);
    keepMoveHere(e);
}

CQVMyTipBMP::CQVMyTipBMP(QWidget* parent) : QLabel(parent) { setMouseTracking(true); }

void CQVMyTipBMP::mouseMoveEvent(QMouseEvent* e) {
    const QRect anchor = screenRect(this);
    tipOrHide(featureTipId != 0, 0, kTipFeature, featureTipId, featureSecondId, false, {}, anchor);
    tipOrHide(sideTipId != 0, 0, kTipSide, sideTipId, sideSecondId, false, {}, anchor);
    hidePair(1);
    QLabel::mouseMoveEvent(e);
    keepMoveHere(e);
}

CQVMyTipSlider::CQVMyTipSlider(QWidget* parent) : QSlider(parent) { setMouseTracking(true); }

void CQVMyTipSlider::SetTipAnchors(const QRect& anchor1, const QRect& anchor2) {
    anchorRect1 = anchor1;
    anchorRect2 = anchor2;
    windowRect = screenRect(this);
}

void CQVMyTipSlider::mouseMoveEvent(QMouseEvent* e) {
    const QRect now = screenRect(this);
    if (now != windowRect) {
        const QPoint moved = now.topLeft() - windowRect.topLeft();
        anchorRect1.translate(moved);
        anchorRect2.translate(moved);
        windowRect.translate(moved);
    }
    tipOrHide(featureTipId1 != 0, 0, kTipFeature, featureTipId1, 0, false, {}, anchorRect1);
    tipOrHide(sideTipId1 != 0, 0, kTipSide, sideTipId1, 0, false, {}, anchorRect1);
    tipOrHide(featureTipId2 != 0, 1, kTipFeature, featureTipId2, 0, false, {}, anchorRect2);
    tipOrHide(sideTipId2 != 0, 1, kTipSide, sideTipId2, 0, false, {}, anchorRect2);
    QSlider::mouseMoveEvent(e);
    keepMoveHere(e);
}

CMyEdit::CMyEdit(QWidget* parent) : QLineEdit(parent) {}

void CMyEdit::mouseReleaseEvent(QMouseEvent* e) {
    QLineEdit::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton) selectWholeText(this);
}

// ---------------------------------------------------------------------------
// Hexadecimal texts

uint8_t HexTextToByte(const QLineEdit* edit) {
    if (!edit) return 0;
    const QString text = edit->text();
    unsigned value = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i == 1) value *= 16;
        const int digit = hexDigitValue(text[i]);
        if (digit >= 0) value += unsigned(digit);
    }
    return uint8_t(value & 0xFF);
}

void ShowByteAsHex(QLineEdit* edit, uint8_t value) {
    if (edit) edit->setText(QString::asprintf("%02X", unsigned(value)));
}

} // namespace vcx
