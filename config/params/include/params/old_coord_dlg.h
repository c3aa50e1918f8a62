// The older set's coordinate page (template 185), the sheet's "Coordinate" tab
// when the newer set is not in force: the tail orientation radios with their
// picture and the four edge compensation sliders.
#pragma once

#include "params/para_parent_dlg.h"

namespace vcx {

// The edge level of an edge item (bits 1..3) and the byte saved for a level:
// (value & 0xF0) + level x 2, or the maximum when that is one below it.
inline int EdgeLevel(int value) { return (value >> 1) & 7; }
int EdgeSaved(int value, int level, int maximum);

class CQVOldCoordDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 185;
    CQVOldCoordDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SaveDlgItem() override;

    void orientationClicked(int id);  // 460..463
    void sliderEnded(int i, int position);

private:
    bool edgesShown() const;
};

} // namespace vcx
