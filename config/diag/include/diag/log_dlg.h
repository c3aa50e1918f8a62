// The "Log Dialog" (111): asks for the batch numbers before a manual save. The
// batch numbers become parts of file names, so a number with a path separator,
// ".." or a control character is refused like an empty one.
#pragma once

#include "diag/scan_report.h"

#include <QDialog>

class QLineEdit;
class QString;

namespace vcx {

// A batch number that may become part of a file name: no '/', '\', "..", nor
// control characters.
bool IsSafeBatchNumber(const QString& text);

// The width a line edit needs to show `text` whole, frame and margins included.
int FieldWidthFor(const QLineEdit& edit, const QString& text);

class CLogDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 111;
    static constexpr int kIdProduct = 2400, kIdBatch1 = 2401, kIdBatch2 = 2402, kIdDate = 2403;
    static constexpr int kIdOk = 1, kIdCancel = 2101;

    // Takes the time texts now, shows the model name and the previous batch numbers.
    CLogDlg(const QString& modelName, bool autoBarcode, bool needBatch2, QWidget* parent = nullptr);

    const ReportTimes& times() const { return times_; }

    // OK: with a bar-code scanner the first Enter in batch 1 moves on to batch 2;
    // the batch numbers go into the shared batch texts, unless one that is needed
    // is empty or unsafe, which keeps the dialog open with the focus there.
    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    ReportTimes times_;
    bool autoBarcode_;
    bool needBatch2_;
    bool enterStepDone_ = false;
    QLineEdit* batch1_ = nullptr;
    QLineEdit* batch2_ = nullptr;
};

}  // namespace vcx
