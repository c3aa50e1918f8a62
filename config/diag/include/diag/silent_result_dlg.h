// "Silent Result" (158): the picture that ends an unattended run, shown
// modally before the program ends. Index 0 fail, 1 pass, 2..6 the noise grades.
#pragma once

#include <QDialog>

namespace vcx {

// The picture of an index: 220, 219, 2004..2008 for 0..6; outside 0..6 the one of 0.
int SilentResultPicture(int index);

class CQVSResDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = 158;
    static constexpr int kIdPicture = 318;
    static constexpr int kIdOk = 1;

    CQVSResDlg(qint64 index, QWidget* parent = nullptr);
    int index() const { return index_; }
    int pictureId() const { return SilentResultPicture(index_); }

private:
    int index_;
};

// WM_SILENT_RESULT at the main window: the dialog, modally, through the modal service.
void ShowSilentResult(QWidget* owner, qint64 index);

}  // namespace vcx
