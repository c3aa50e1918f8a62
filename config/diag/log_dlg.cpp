#include "diag/log_dlg.h"

#include "diag/scan_dlg.h"
#include "ui/control_ids.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

namespace vcx {

bool IsSafeBatchNumber(const QString& text) {
    if (text.contains(u'/') || text.contains(u'\\') || text.contains(QStringLiteral(".."))) return false;
    for (QChar ch : text)
        if (ch.category() == QChar::Other_Control || ch.unicode() < 0x20) return false;
    return true;
}

int FieldWidthFor(const QLineEdit& edit, const QString& text) {
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.rect = edit.rect();
    option.lineWidth = edit.hasFrame() ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    option.features = QStyleOptionFrame::None;
    // The text, the line edit's own side margins (2 px each) and its text margins.
    const QMargins margins = edit.textMargins();
    const QSize contents(edit.fontMetrics().horizontalAdvance(text) + 4 + margins.left() + margins.right(),
                         edit.fontMetrics().height());
    return edit.style()->sizeFromContents(QStyle::CT_LineEdit, &option, contents, &edit).width();
}

CLogDlg::CLogDlg(const QString& modelName, bool autoBarcode, bool needBatch2, QWidget* parent)
    : QDialog(parent), times_(TakeTimeTexts()), autoBarcode_(autoBarcode), needBatch2_(needBatch2) {
    setWindowTitle(QStringLiteral("Log Dialog"));
    auto* form = new QFormLayout;
    const auto edit = [&](int id, const QString& label, const QString& value) {
        auto* e = new QLineEdit(value, this);
        qvui::setControlId(e, id);
        form->addRow(label, e);
        return e;
    };
    const ScanViewShared& shared = scanShared();
    edit(kIdProduct, QStringLiteral("Product Number"), modelName);
    batch1_ = edit(kIdBatch1, QStringLiteral("Batch Number 1"), QString::fromStdString(shared.g_strBatch1));
    batch2_ = edit(kIdBatch2, QStringLiteral("Batch Number 2"), QString::fromStdString(shared.g_strBatch2));
    // The date is shown whole: its field is as wide as its text needs.
    auto* date = edit(kIdDate, QStringLiteral("Date"), QString::fromStdString(times_.t1));
    date->setMinimumWidth(FieldWidthFor(*date, date->text()));
    date->setCursorPosition(0);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    qvui::setControlId(ok, kIdOk);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&CANCEL"), this);
    qvui::setControlId(cancel, kIdCancel);
    ok->setAutoDefault(true);
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &CLogDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CLogDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    // Placed over the main window, near its top-left corner.
    if (parent && parent->window()) move(parent->window()->mapToGlobal(QPoint(40, 40)));
    batch1_->setFocus();
}

void CLogDlg::accept() {
    if (autoBarcode_ && needBatch2_ && !enterStepDone_ && focusWidget() == batch1_) {
        // A scanner ends its code with Enter: go on to the second code.
        enterStepDone_ = true;
        batch2_->setFocus();
        return;
    }
    const QString b1 = batch1_->text(), b2 = batch2_->text();
    if (b1.isEmpty() || !IsSafeBatchNumber(b1)) {
        batch1_->setFocus();
        return;
    }
    if ((needBatch2_ && b2.isEmpty()) || !IsSafeBatchNumber(b2)) {
        batch2_->setFocus();
        return;
    }
    ScanViewShared& shared = scanShared();
    shared.g_strBatch1 = b1.toStdString();
    shared.g_strBatch2 = b2.toStdString();
    QDialog::accept();
}

void CLogDlg::keyPressEvent(QKeyEvent* e) {
    // Escape closes on its release, not on the press.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void CLogDlg::keyReleaseEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && !e->isAutoRepeat()) {
        reject();
        return;
    }
    QDialog::keyReleaseEvent(e);
}

}  // namespace vcx
