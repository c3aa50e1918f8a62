#include "params/para_pages.h"

#include "params/old_finger_dlg.h"
#include "params/xf6_coord_dlg.h"
#include "params/xf6_palm_dlg.h"

namespace vcx {

namespace {
template <class Page>
CQVParaParentDlg* make(Controller& c, QWidget* parent) {
    return new Page(c, parent);
}
} // namespace

CQVParaParentDlg* MakeParameterPage(Controller& c, int id, QWidget* parent) {
    using Maker = CQVParaParentDlg* (*)(Controller&, QWidget*);
    static const std::pair<int, Maker> table[] = {
        {160, make<CQVxF6HostIFDlg>}, {161, make<CQVxF6PanelDlg>},  {162, make<CQVxF6Panel2Dlg>},
        {163, make<CQVxF6FingerDlg>}, {164, make<CQVxF6Finger2Dlg>}, {165, make<CQVxF6PalmDlg>},
        {166, make<CQVxF6BaseDlg>},   {167, make<CQVxF6WaterDlg>},  {168, make<CQVxF6Water2Dlg>},
        {169, make<CQVxF6NoiseDlg>},  {170, make<CQVxF6CoordDlg>},  {171, make<CQVxF6PowerDlg>},
        {172, make<CQVxF6ScanDlg>},   {173, make<CQVxF6Scan2Dlg>},  {174, make<CQVxF6MiscDlg>},
        {175, make<CQVxF6DrvICDlg>},  {176, make<CQVxF6CustomDlg>}, {180, make<CQVOldHostIFDlg>},
        {181, make<CQVOldPanelDlg>},  {182, make<CQVOldFingerDlg>}, {183, make<CQVOldWaterDlg>},
        {184, make<CQVOldNoiseDlg>},  {185, make<CQVOldCoordDlg>},
    };
    for (const auto& [t, maker] : table)
        if (t == id) {
            CQVParaParentDlg* p = maker(c, parent);
            p->hide();
            return p;
        }
    return nullptr;
}

} // namespace vcx
