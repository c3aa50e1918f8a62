// "Set Distance": the outer-detect ring width in millimetres, the six ring
// coefficients and the ignore-other-finger switch.
#pragma once

#include "outer_detect.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QLineEdit;

namespace qvdraw {

class SetDistanceDialog : public QDialog {
    Q_OBJECT
public:
    explicit SetDistanceDialog(const OuterDetectSettings& settings, QWidget* parent = nullptr);
    // The values as entered; a distance of 0 or below (or not a number) becomes 1.
    OuterDetectSettings settings() const;

    QLineEdit* distanceEdit() const { return distance_; }
    QLineEdit* coefficientEdit(int i) const { return coefficients_.at(i); }
    QCheckBox* ignoreOtherFingerBox() const { return ignore_; }

private:
    QLineEdit* distance_;
    std::array<QLineEdit*, kRings> coefficients_{};
    QCheckBox* ignore_;
};

} // namespace qvdraw
