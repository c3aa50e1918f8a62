// The "Information" page (the main window's sixth page) and the "Folder
// Configure" dialog it opens.
#pragma once

#include "core/chd_parent_dlg.h"
#include "core/main_ids.h"

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace vcx {

struct Controller;

class CQVAboutDlg : public CQVChdParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = kTemplateInformation;
    static constexpr int kIdFolderConfigure = 420;
    static constexpr int kIdDisableDataReport = 470;
    static constexpr int kIdShowMenuInDraw = 471;
    static constexpr int kIdFwCommandLog = 472;
    CQVAboutDlg(Controller& c, QWidget* parent);

    void InitDlgItem() override;
    void ExitDlg() override;
    void ClearDlgItem() override;
    void UpdateDlgItem() override;

    // While the drawing window needs touch reports the main window turns the
    // report back on (false), and off again (true) when it is done.
    void SetDataReportDisabled(bool disable);
    void OpenExportFolder();
    // Writes the UI parameters log; the path written, empty when none was.
    QString WriteUiParametersLog();

    // The main window's button font for the page's button.
    void setButtonFont(const QFont& font);

protected:
    bool event(QEvent* e) override;

private:
    Controller& c_;
    QCheckBox* disableDataReport_ = nullptr; // 470
    QCheckBox* showMenuInDraw_ = nullptr;    // 471
    QPushButton* folderConfigure_ = nullptr; // 420
};

class CFolderCfgDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = 192;
    explicit CFolderCfgDlg(QWidget* parent);

    // What button `id` (420..431) does: opens the picker on its folder and
    // takes the pick at once. False when cancelled or the button is disabled.
    bool pick(int id);
};

} // namespace vcx
