// "Outer Setting" (template 191): the coordinate range from the panel's
// mechanical sizes. The operator gives the LCD key area (and, per axis, the
// actual active area or the four offsets of the key area from the sensor's
// active area, in mm); an offset inside the active area becomes a range value,
// one outside it the edge item's outer distance nibble. Opening shows the
// offsets the current range and nibbles stand for (the inverse rule).
//
// The arithmetic is pure: the active size is pitch x (lines - 1) / 10 mm, a
// range value scales by R - 1 (the top of the range 0..R - 1), a nibble is
// offset x 160 / pitch, rounded, at most 15.
#pragma once

#include "params/calibration_dlg.h"

#include <QDialog>
#include <QLineEdit>

#include <array>
#include <cstdint>

namespace vcx {

struct Controller;

// What the outer setting reads of the panel group.
struct OuterPanel {
    int resolution = 0;  // R, the word at 68
    int pitch = 0;       // byte 74, in 0.1 mm
    int linesX = 0, linesY = 0; // items 4 and 5
    int sizeX = 0, sizeY = 0;   // the words at 76 and 78, in 0.1 mm
};
OuterPanel ReadOuterPanel(const Controller& c);
// Why the outer setting cannot run on this panel, empty when it can.
QString OuterSettingRefusal(const OuterPanel& p);

// The sensor's active size of an axis in mm.
double ActiveSize(int pitch, int lines);
// The factor range values scale by: R - 1 (2047 k for R = 2047 k + 1).
int OuterScale(int resolution);
// An offset of 0 or less lies inside the active area: the range value of the min and the max side.
int InsideMinValue(double offset, double active, int scale);
int InsideMaxValue(double offset, double active, int scale);
// An offset above 0 lies outside: the edge item's outer nibble, rounded, at most 15.
int OuterNibble(double offset, int pitch);
// The inverse: the offsets a min and a max range value stand for, and a nibble's distance.
double OffsetOfMin(int value, double active, int scale);
double OffsetOfMax(int value, double active, int scale);
double OuterDistance(int nibble, int pitch);

// Offsets in mm, in the dialog's order: left, right, top, bottom. The edge
// items 12..15 are these four sides in the same order.
using OuterOffsets = std::array<double, 4>;
using EdgeValues = std::array<uint8_t, 4>;

// The offsets the range and the edges stand for.
OuterOffsets OffsetsOf(const CoordRange& range, const EdgeValues& edges, const OuterPanel& p);
// OK: each side's offset into the range or into its edge nibble; with symmetry
// the max side of that axis is scale - the min value.
void ApplyOuterOffsets(const OuterOffsets& offsets, bool xSymmetry, bool ySymmetry, const OuterPanel& p,
                       CoordRange& range, EdgeValues& edges);

// A text box taking only the digits 0..9, '-', '.' and backspace.
class COutSetEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit COutSetEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

class CQVOutSetDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = 191;
    // The caller checked OuterSettingRefusal.
    CQVOutSetDlg(Controller& c, QWidget* parent = nullptr);

    // OK: the offsets into the coordinate record's range and edge items.
    void accept() override;

private:
    void applyChecks();
    double number(int id) const;

    Controller& c_;
    OuterPanel panel_;
    double activeX_ = 0, activeY_ = 0;
};

} // namespace vcx
