// The production-line page (template 108) and its "Do not touch panel !!!"
// banner (197). An operator loads a process configuration and starts one run
// per product (Space, or the Start command button): the page asks the main
// window for the listed items one after another, shows each item's PASS or
// FAIL, and at the end writes the product's detail report and one row of the
// work order's summary report, with its test/pass/fail counters.
#pragma once

#include "core/chd_parent_dlg.h"
#include "diag/process_report.h"
#include "params/process_config.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <string>

class QLabel;
class QMenu;
class QTableWidget;

namespace vcx {

struct Controller;
struct DiagState;
struct LoadedFirmware;
class CVCXScanDlg;

// The banner: red, with "Do not touch panel !!!" centred in white bold Tahoma
// of the program's scale x 90 / 100 pixels.
class CMyMsgDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTemplate = 197;
    explicit CMyMsgDlg(QWidget* parent = nullptr);
    // Moved to `place` and shown.
    void showAt(const BannerPlace& place);
    int fontPixelHeight() const;

protected:
    void paintEvent(QPaintEvent* e) override;
};

class CQVProcDlg : public CQVChdParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 108;
    // Controls.
    static constexpr int kIdList = 2310, kIdCounters = 2311, kIdResultPicture = 318, kIdResultText = 315;
    static constexpr int kIdProgress = 500, kIdVersion = 363;
    static constexpr int kIdMasterVersion = 320, kIdSlaveVersion = 321, kIdParaCrc = 322, kIdKeyCrc = 323;
    static constexpr int kIdWorkOrder = 324, kIdCompany = 325;
    static constexpr int kIdSlaveLabel = 331, kIdKeyLabel = 333;
    // The popup menu (553) and its entries.
    static constexpr int kMenu = 553, kMenuLoadConfig = 590, kMenuShowWorkOrder = 591;
    // The main window's command buttons this page uses.
    static constexpr int kButtonMenu = 420, kButtonStart = 421, kButtonLoadPfp = 423;
    // Results of FinishProcess beyond the items' own.
    static constexpr int kNoDevice = 254, kNumberingCancelled = 255;
    // The captions of the main window's four command buttons on this page.
    static constexpr uint32_t kCommandTexts[4] = {1500, 1501, 1502, 1503};

    // The creator calls initDialog() once the program's settings and folder are
    // known: InitDlgItem loads the start-up configuration.
    CQVProcDlg(Controller& c, LoadedFirmware& fw, DiagState& s, QWidget* parent);
    ~CQVProcDlg() override;

    // Where the page's requests go (WM_PAGE_STATE, WM_TOOLBAR_ACTION, WM_PROCESS_STEP).
    void setMainWindow(QObject* window);

    void InitDlgItem() override;
    void ExitDlg() override;
    void UpdateDlgItem() override;

    void LoadConfiguration();  // menu 590
    void StartProcess();
    void FinishProcess(int result);
    void ApplyProcessConfig();
    // A configuration read elsewhere, applied as a loaded one is.
    void takeConfiguration(const ProcessListConfig& r);
    void ClearProcessPage();
    // The command line's process configuration, else the default one; true when
    // one loaded. A command-line file that is a process configuration is taken
    // from the command line (the Field Update page gets only other files).
    bool LoadStartupProcessConfig();
    void ShowPackageInfo();
    void ShowScanForOpenShort();
    void ShowScanForDiagnostic();
    void ShowScanView(bool show);
    void HideBanner();

    // For tests and the main window.
    CVCXScanDlg* scanView() const { return scan_; }
    CMyMsgDlg* banner() const { return banner_.data(); }
    QMenu* menu() const { return menu_; }
    const ProcessListConfig& record() const { return record_; }
    uint32_t serialNumber() const { return serialNumber_; }
    const std::string& prefix() const { return prefix_; }
    const QString& workOrderFolder() const { return workOrderFolder_; }
    const QString& summaryPath() const { return summaryPath_; }
    const SummaryCounters& counters() const { return counters_; }
    bool busy() const { return busy_; }
    // The enable states the page last asked for its Start and Load PFP File buttons.
    bool startEnabled() const { return startEnabled_; }
    bool loadPfpEnabled() const { return loadPfpEnabled_; }
    int lastResult() const { return lastResult_; }
    // The summary row's time: "%H:%M:%S" of the run's batch dialog or last scan
    // save, else of the finish.
    void setRunTime(const std::string& time) { runTime_ = time; }

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void onItemResult(int result, int item);
    void onToolbar(qint64 action);
    void toggleWorkOrder();
    void showCounters();
    void showResultPicture(bool pass);
    void setStartEnabled(bool enabled);
    void setLoadPfpEnabled(bool enabled);
    void toMain(quint32 message, quint64 wParam, qint64 lParam, bool post = false);
    std::string productPrefix(const QString& folder) const;
    void emptyPackageTexts();
    void placeBanner();

    Controller& c_;
    LoadedFirmware& fw_;
    DiagState& s_;
    QPointer<QObject> main_;
    QPointer<QObject> previousActive_;
    ProcessListConfig record_;
    uint32_t serialNumber_ = 0;
    bool folderPrepared_ = false;
    std::array<bool, kProcessListLength> passed_{};
    QString workOrderFolder_;
    QString summaryPath_;
    std::string prefix_;
    std::string batch1_, batch2_;
    std::string runTime_;
    SummaryCounters counters_;
    bool busy_ = false;
    bool startEnabled_ = false;
    bool loadPfpEnabled_ = false;
    int lastResult_ = -1;
    QMenu* menu_ = nullptr;
    CVCXScanDlg* scan_ = nullptr;
    QPointer<CMyMsgDlg> banner_;
    QTableWidget* list_ = nullptr;
    QTableWidget* countersList_ = nullptr;
};

}  // namespace vcx
