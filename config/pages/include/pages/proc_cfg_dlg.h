// The "Process Config" page (the main window's fifth page): an engineer picks
// the process items in the order they run, the numbering, the package, the
// work order and company, and saves them as a process-list INI for the
// production line; a saved file loads back into the page.
#pragma once

#include "core/chd_parent_dlg.h"
#include "core/main_ids.h"
#include "params/process_config.h"


class QCheckBox;
class QLineEdit;
class QRadioButton;
class QTableWidget;

namespace vcx {

class CGSSetDlg;
struct Controller;
struct LoadedFirmware;

// The program's report folder root: where the production runs' work-order
// folders go (the process result folder until a configuration names another
// that exists).
QString& ProcessReportFolderRoot();

class CQVPrcoCfgDlg : public CQVChdParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = kTemplateProcessConfig;
    static constexpr int kIdList = 2310;
    static constexpr int kIdFirstItem = 450;  // 450..456: items 1..7
    static constexpr int kIdSerial = 460, kIdBatch = 461, kIdBatch2 = 470, kIdLowerAccuracy = 471;
    static constexpr int kIdWorkOrder = 520, kIdCompany = 521;
    static constexpr int kIdClearWorkOrder = 420, kIdClearCompany = 421;
    static constexpr int kIdLoadPfp = 422, kIdGoldenSample = 423;
    static constexpr int kIdMasterVersion = 320, kIdSlaveVersion = 321, kIdParaCrc = 322, kIdKeyCrc = 323;
    static constexpr int kIdSlaveLabel = 330, kIdKeyLabel = 331;

    CQVPrcoCfgDlg(Controller& c, LoadedFirmware& fw, QWidget* parent);
    ~CQVPrcoCfgDlg() override;

    void InitDlgItem() override;
    void ClearDlgItem() override;
    void UpdateDlgItem() override;

    // The golden-sample setting view (button 423), hidden when the controller goes.
    CGSSetDlg* goldenSampleView() const { return golden_; }

    // Toolbar action 0 and 1.
    void LoadConfiguration();
    void SaveConfiguration();
    void ShowConfigPackageInfo();
    void ClearPage();
    const ProcessListConfig& record() const { return record_; }

protected:
    bool event(QEvent* e) override;

private:
    void toggleItem(int item);
    void rebuildList();
    void showEngineerControls();
    void saveFailed(const QString& text, int focusId);

    Controller& c_;
    LoadedFirmware& fw_;
    ProcessListConfig record_;
    QTableWidget* list_ = nullptr;
    QLineEdit* workOrder_ = nullptr;
    QLineEdit* company_ = nullptr;
    QRadioButton* serial_ = nullptr;
    QRadioButton* batch_ = nullptr;
    QCheckBox* batch2_ = nullptr;
    QCheckBox* lowerAccuracy_ = nullptr;
    CGSSetDlg* golden_ = nullptr;
};

}  // namespace vcx
