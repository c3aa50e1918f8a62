// The Diagnostic page (105): owns the four diagnostic views and shows one at a
// time: the panel scan view (110), the noise view (113), the 3-D view (114) and
// the factory build view (115); builds the device's frame arrays and panel
// layout when a device is read out; runs the process items and the
// command-line test ("-os", "-nl", "-sr") the main window hands it.
#pragma once

#include "diag/diag_state.h"
#include "core/chd_parent_dlg.h"

#include <QRect>
#include <QString>

namespace vcx {

struct Controller;
class CVCXScanDlg;
class CScanNoiseDlg;
class CQVFactoryBaseDlg;

// Where the views sit at display scale s: (s x 9/100, s x 11/100), s x 725/100
// wide and s x 385/100 high with the "Tahoma" dialog font, else s x 358/100;
// the factory view at (x, 0) with the same size. The views keep the corner and
// take the page's area from there on.
QRect DiagViewRect(int scale, const QString& dialogFontName);
QRect FactoryViewRect(int scale, const QString& dialogFontName);

// The file name of the 3-D viewer program in the program's folder.
constexpr const char* kTessalyFileName = "Tessaly";
constexpr const char* kTessalyTabletText = "Auto exit Tessaly after 30 second.";

class CQVDiagDlg : public CQVChdParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 105;
    enum View { kViewNone = -1, kViewScan = 1, kViewNoise = 2, kView3D = 3, kViewFactory = 4 };

    CQVDiagDlg(Controller& c, DiagState& s, QWidget* parent);
    ~CQVDiagDlg() override;

    void InitDlgItem() override;
    void ExitDlg() override;
    void ClearDlgItem() override;
    void UpdateDlgItem() override;
    bool isUsable() const override { return bDeviceReady_; }

    void OnToolbarAction(qint64 action);
    void ShowScanView();
    void ShowNoiseView();
    void Show3DView();
    void ShowFactoryBuildView();
    // The production process items 1, 2, 4, 5, 6 of the Diagnostic page.
    void RunProcessItem(int item);
    // Main window timer 15. True when the main window is to end the program
    // (its timer 6) because no test could start.
    bool RunCommandLineTest();
    void UpdateBuildEnable();
    void ResizeToParent(int sizeType);

    // The receiver of the page's and its scan view's window messages.
    void setMainWindow(QObject* window);

    CVCXScanDlg* scanView() const { return scan_; }
    QWidget* noiseView() const { return noise_; }
    CScanNoiseDlg* noiseScan() const { return noiseScan_; }
    QWidget* view3D() const { return view3D_; }
    CQVFactoryBaseDlg* factoryView() const { return factory_; }
    bool buildAllowed() const { return bBuildAllowed_; }
    bool started3D() const { return b3DStarted_; }

protected:
    bool event(QEvent* e) override;

private:
    void showOnly(QWidget* shown);
    void placeViews();
    void setFactoryButton(bool enabled);
    bool skipsFrameArrays() const;
    void readLayoutGroups();
    void takeSettingsOnce();

    Controller& c_;
    DiagState& s_;
    QPointer<QObject> main_;
    CVCXScanDlg* scan_ = nullptr;
    // The noise and 3-D views are containers until their views are built; the
    // page shows and hides them and calls their entry points.
    QWidget* noise_ = nullptr;
    QWidget* view3D_ = nullptr;
    // The noise view inside its container, filling it.
    CScanNoiseDlg* noiseScan_ = nullptr;
    bool noiseCommandLineStarted_ = false;
    CQVFactoryBaseDlg* factory_ = nullptr;
    bool bDeviceReady_ = false;
    bool bBuildAllowed_ = false;
    bool b3DStarted_ = false;
    QRect rcFirst_;
    bool firstSizeSeen_ = false;
    bool settingsTaken_ = false;
};

}  // namespace vcx
