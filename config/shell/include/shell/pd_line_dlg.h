// The production-line window (template 157), run instead of the main window
// when "-pdl" found the production-line controller program's window: it shows
// the connected controller's firmware version and panel, prepares the
// controller for the open/short scan view it holds, and answers the controller
// program's WM_PRODUCTION_LINE requests.
//
// Production-line state (StartupState::pdLineState): 0xFFFF started, idle or
// preparing; 1 ready, set by the controller program's request; 0 the end.
#pragma once

#include "core/controller_api.h"
#include "core/main_ids.h"

#include <QDialog>
#include <QString>

namespace vcx {

class CVCXScanDlg;
struct DeviceFinder;
struct DiagState;

// The statuses the window answers the controller program with, as
// WM_PRODUCTION_LINE (0x1000, status).
constexpr int kPdLineDevicePrepareStopped = 0x8020;
constexpr int kPdLineNoDevice = 0x8040;
constexpr const char* kPdLineTitle = "Quorvane VCXUtility (PD)";

class CVCXPDLineDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = 157;

    explicit CVCXPDLineDlg(QWidget* parent = nullptr);
    ~CVCXPDLineDlg() override;

    // Settings, scan view, library, device search and preparation. False when
    // the library cannot be loaded (or is too old): the window must end.
    bool initDialog();
    QString error() const { return error_; }

    // The controller's read-out for a production run. The state set when it
    // began (1 becomes 0xFFFF while it runs) returns only when the read-out got
    // through to the frame arrays; false when it stopped.
    bool PrepareDevice();
    void ClearDevice();

    CVCXScanDlg* scanView() const { return scan_; }
    QString fieldText(int id) const;
    void setFinder(DeviceFinder* finder) { finder_ = finder; }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override {}

private:
    void onProductionLine(quint64 wParam, qint64 lParam);
    void endDialog();

    Controller& c_;
    DiagState& s_;
    DeviceFinder* finder_ = nullptr;
    CVCXScanDlg* scan_ = nullptr;
    QString error_;
    bool bound_ = false;
    bool ended_ = false;
};

}  // namespace vcx
