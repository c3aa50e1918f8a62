#include "diag/silent_result_dlg.h"

#include "core/pictures.h"
#include "ui/control_ids.h"
#include "ui/modal_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vcx {

int SilentResultPicture(int index) {
    static constexpr int kPictures[7] = {220, 219, 2004, 2005, 2006, 2007, 2008};
    return kPictures[index >= 0 && index <= 6 ? index : 0];
}

CQVSResDlg::CQVSResDlg(qint64 index, QWidget* parent)
    : QDialog(parent), index_(index >= 0 && index <= 6 ? int(index) : 0) {
    setWindowTitle(QStringLiteral("Silent Result"));
    auto* layout = new QVBoxLayout(this);
    auto* picture = new QLabel(this);
    qvui::setControlId(picture, kIdPicture);
    picture->setPixmap(programPicture(pictureId()));
    picture->setProperty("pictureId", pictureId());
    layout->addWidget(picture, 0, Qt::AlignCenter);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    qvui::setControlId(ok, kIdOk);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignCenter);
}

void ShowSilentResult(QWidget* owner, qint64 index) {
    CQVSResDlg dlg(index, owner);
    qvui::execDialog(dlg);
}

}  // namespace vcx
