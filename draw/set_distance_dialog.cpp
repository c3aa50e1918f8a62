#include "set_distance_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QVBoxLayout>

namespace qvdraw {

SetDistanceDialog::SetDistanceDialog(const OuterDetectSettings& settings, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Set Distance"));
    auto* form = new QFormLayout;
    distance_ = new QLineEdit(QString::number(settings.distanceMm), this);
    distance_->setMaxLength(6);
    form->addRow(QStringLiteral("Distance (mm)"), distance_);
    for (int i = 0; i < kRings; ++i) {
        coefficients_[i] = new QLineEdit(QString::number(settings.coefficients[i]), this);
        coefficients_[i]->setValidator(new QIntValidator(coefficients_[i]));
        form->addRow(QStringLiteral("Coefficient %1").arg(i), coefficients_[i]);
    }
    ignore_ = new QCheckBox(QStringLiteral("Ignore other finger"), this);
    ignore_->setChecked(settings.ignoreOtherFinger);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(ignore_);
    layout->addWidget(buttons);
}

OuterDetectSettings SetDistanceDialog::settings() const {
    OuterDetectSettings out;
    bool ok = false;
    int d = distance_->text().trimmed().toInt(&ok);
    out.distanceMm = ok && d > 0 ? d : 1;
    for (int i = 0; i < kRings; ++i) out.coefficients[i] = coefficients_[i]->text().toInt();
    out.ignoreOtherFinger = ignore_->isChecked();
    return out;
}

} // namespace qvdraw
