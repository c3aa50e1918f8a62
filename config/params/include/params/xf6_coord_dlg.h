// The newer set's coordinate page (template 170), the sheet's "Coordinate" tab:
// the active range (X min, X max, Y min, Y max) with the panel's resolution,
// the inward margin of the calibration, the tail orientation with the axis
// reversal and switch (a radio sets the three check boxes by its row; checks
// of an even count choose the matching radio), the edge compensation of the
// four sides, and the two dialogs: the full-screen calibration (which writes
// the calibration working copy itself) and the outer setting.
#pragma once

#include "params/calibration_dlg.h"
#include "params/para_parent_dlg.h"

#include <array>

namespace vcx {

struct ProgramRecords;

// The check boxes 470..472 (X reverse, Y reverse, X Y switch) of radio 460 + index.
std::array<bool, 3> OrientationChecks(int index);
// The radio index the three checks stand for; -1 when an odd number is checked.
int OrientationFromChecks(bool xReverse, bool yReverse, bool xySwitch);
// The inward entry as the page keeps it: above 5 is 5, below 2 is 2.
int ClampInward(int value);
// An edge item from its slider: the outer nibble kept, strength position * 2 in
// bits 1..3; the item's maximum when that is exactly one above.
int EdgeValueFromPosition(int value, int maximum, int position);
int EdgeSliderMaximum(int maximum);
int EdgeSliderPosition(int value);
// The range edits taken in engineer mode: a value above R - 1 keeps the old
// one; a min above its max keeps the old min (and the old max too when the
// pair is still crossed). Entries < 0 stand for a text that is no number.
CoordRange SaveRangeValues(const CoordRange& old, const CoordRange& entered, int resolution);
// The range edits and the calibration are offered while bit 0 of the
// virtual-button group's item 0 is clear.
bool RangeEditable(const ProgramRecords& r);
// Outer Setting needs every bit of 0xF0FF in the coordinate presence word.
bool OuterSettingAvailable(const ProgramRecords& r);

class CQVxF6CoordDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 170;
    CQVxF6CoordDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SaveDlgItem() override;

    int inward() const { return inward_; }
    // Radio 460..463 clicked; check box 470..472 clicked (after it changed).
    void clickRadio(int id);
    void clickCheck(int id);
    // Button 450: the calibration; QDialog's result, or -1 when it was refused.
    int runCalibration();
    // Button 451: the outer setting; its result, or -1 when it was refused.
    int runOuterSetting();

private:
    void showRange(const std::array<int, 4>& values);
    void showTail(int index);
    void pageState(int state);
    bool edgesShown() const;

    int inward_ = 5;
};

} // namespace vcx
