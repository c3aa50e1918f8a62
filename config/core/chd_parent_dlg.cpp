#include "core/chd_parent_dlg.h"

#include "QV_Standard.h"
#include "ui/control_ids.h"
#include "ui/file_chooser.h"
#include "ui/string_table.h"
#include "core/tip_controls.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStyleOption>

#include <cstdio>

namespace vcx {

namespace {
CQVChdParentDlg::MessageFilter& filter() {
    static CQVChdParentDlg::MessageFilter f;
    return f;
}

// Where the first conversion of a printf format starts and ends; -1 when none.
std::pair<qsizetype, qsizetype> firstConversion(const QString& format) {
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] != u'%') continue;
        if (i + 1 < format.size() && format[i + 1] == u'%') {
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        while (j < format.size() && QStringView(u"-+ #0123456789.lh").contains(format[j])) ++j;
        if (j < format.size()) return {i, j + 1};
        return {-1, -1};
    }
    return {-1, -1};
}
} // namespace

CQVChdParentDlg::CQVChdParentDlg(int templateId, QWidget* parent) : QWidget(parent), templateId_(templateId) {
    qvui::setControlScope(this);
    setMouseTracking(true);
}

void CQVChdParentDlg::initDialog() { InitDlgItem(); }

void CQVChdParentDlg::setMessageFilter(MessageFilter f) { filter() = std::move(f); }

const CQVChdParentDlg::MessageFilter& CQVChdParentDlg::messageFilter() { return filter(); }

bool CQVChdParentDlg::event(QEvent* e) {
    const bool handled = QWidget::event(e);
    switch (e->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
        if (filter() && filter()(this, e)) return true;
        break;
    default:
        break;
    }
    return handled;
}

void CQVChdParentDlg::mouseMoveEvent(QMouseEvent* e) {
    // The pointer over the page background: no control's tip applies any more.
    HideAllTips();
    QWidget::mouseMoveEvent(e);
}

void CQVChdParentDlg::paintEvent(QPaintEvent* e) {
    // A minimised window paints nothing.
    if (window()->isMinimized()) return;
    QWidget::paintEvent(e);
}

bool BrowseForFolder(const QString& title, QWidget* owner, QString& folder) {
    const QString picked = qvui::chooseFolder(owner, title, folder);
    if (picked.isEmpty()) return false;
    folder = picked.left(259);
    return true;
}

QString StripLastPathComponent(const QString& source) {
    const QString copy = source.left(259);
    const qsizetype cut = std::max(copy.lastIndexOf(u'/'), copy.lastIndexOf(u'\\'));
    return cut < 0 ? QString() : copy.left(cut);
}

QString freeNumberedPath(const QString& folder, const QString& base, const QString& extension) {
    for (int n = 0; n < 10000; ++n) {
        const QString path = n == 0 ? QStringLiteral("%1/%2%3").arg(folder, base, extension)
                                    : QStringLiteral("%1/%2(%3)%4").arg(folder, base).arg(n).arg(extension);
        if (path.size() > 259) return {};
        if (!QFileInfo::exists(path)) return path;
    }
    return {};
}

bool SetDlgItemText(QWidget* dialog, int itemId, const QString& text) {
    QWidget* w = qvui::findControl(dialog, itemId);
    if (!w) return false;
    if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(text);
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(text);
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w))
        p->setPlainText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(text);
    else
        w->setWindowTitle(text);
    return true;
}

QString GetDlgItemText(QWidget* dialog, int itemId) {
    QWidget* w = qvui::findControl(dialog, itemId);
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    return {};
}

QString formatOne(const QString& format, const QString& text) {
    const auto [from, to] = firstConversion(format);
    QString out = from < 0 ? format : format.left(from) + text + format.mid(to);
    return out.replace(QLatin1String("%%"), QLatin1String("%")).left(259);
}

QString formatOne(const QString& format, long long number) {
    const auto [from, to] = firstConversion(format);
    if (from < 0) return formatOne(format, QString());
    QByteArray spec = format.mid(from, to - from).toLatin1();
    const char conv = spec.back();
    spec.replace("l", "").replace("h", "");
    spec.insert(spec.size() - 1, "ll");
    char buffer[64];
    if (conv == 'd' || conv == 'i')
        std::snprintf(buffer, sizeof buffer, spec.constData(), number);
    else if (conv == 'u' || conv == 'x' || conv == 'X' || conv == 'o')
        std::snprintf(buffer, sizeof buffer, spec.constData(), static_cast<unsigned long long>(number));
    else // a text conversion given a number: the number's digits
        return formatOne(format, QString::number(number));
    return formatOne(format, QString::fromLatin1(buffer));
}

void SetDlgItemTextFromResource(QWidget* dialog, int itemId, uint32_t stringId) {
    SetDlgItemText(dialog, itemId, qvui::loadString(stringId).left(259));
}

void SetDlgItemTextFromResourceFmt(QWidget* dialog, int itemId, uint32_t stringId, int number) {
    SetDlgItemText(dialog, itemId, formatOne(qvui::loadString(stringId), number));
}

void SetDlgItemTextFromResourceFmt2(QWidget* dialog, int itemId, uint32_t stringId, const QString& text) {
    SetDlgItemText(dialog, itemId, formatOne(qvui::loadString(stringId), text));
}

bool IsFirmwareId1711(const FirmwareInformationW& info) {
    return info.productNumber == 1711 && info.firmwareMajor == 1 && info.customerCode == 0 && info.bootStateA == 0 &&
           info.bootStateB == 0 && info.productLetter == 0 && info.minorVersion == 2;
}

} // namespace vcx
