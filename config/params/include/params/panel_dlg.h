// The panel pages: the newer set's (template 161, the sheet's "Panel" tab) with
// the panel-size and cover-lens combos and the coupled skip / used edits, the
// older set's (181, combos only) and the expand-panel page (162). The combos of
// both panel pages come from one read of the controller's name tables per
// refresh of the sheet.
#pragma once

#include "params/expand_panel.h"
#include "params/para_parent_dlg.h"
#include "core/controller_api.h"

#include <QString>

#include <vector>

class QComboBox;

namespace vcx {

// The controller's panel-size (kind 0) and cover-lens (kind 1) texts of indexes
// 0..maximum, read once per refresh; nullopt-like empty name with ok false for
// an index the controller did not answer.
struct PanelNameEntry {
    bool ok = false;
    QString text;
};
const std::vector<PanelNameEntry>& PanelNames(Controller& c, int kind, int maximum);
// Forgets the names read: the next PanelNames reads again (the sheet's refresh).
void InvalidatePanelNames();

// Fills a panel combo: lower-cased texts, "%sNot Test" for a text ending in a
// blank in engineer mode, `skipped` ("dummy", "film") left out otherwise; each
// entry remembers its index; the entry of `current` is selected; the combo is
// disabled when it holds only the current entry.
void FillPanelCombo(QComboBox* combo, const std::vector<PanelNameEntry>& names, const char* skipped, int current,
                    bool engineer);

class CQVOldPanelDlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 181;
    CQVOldPanelDlg(Controller& c, QWidget* parent);
    void LoadDlgItem() override;

protected:
    CQVOldPanelDlg(Controller& c, int templateId, QWidget* parent);
    void loadCombos();
    void connectCombos();
};

class CQVxF6PanelDlg : public CQVOldPanelDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 161;
    CQVxF6PanelDlg(Controller& c, QWidget* parent);

    void LoadDlgItem() override;
    void SaveDlgItem() override;
    void CheckDlgItem() override;

    // The minimum used sensor and driver counts (panel geometry bytes 64, 65).
    static int MinimumUsed(const ParameterPanel& p, int kind);
    // Button 450 (never shown): the customer panel dialog; on OK the selected
    // panel-size and cover-lens entries show the new description.
    void customerSetting();
    // The expand-panel files read at the last load, by panel index.
    const ExpandPanelCatalogue& catalogue() const { return catalogue_; }

private:
    void editChanged(int i);
    void writeEdit(int i, int value);
    void showUnused();
    bool coupling_ = false;
    ExpandPanelCatalogue catalogue_;
};

class CQVxF6Panel2Dlg : public CQVParaParentDlg {
    Q_OBJECT
public:
    static constexpr int kTemplate = 162;
    CQVxF6Panel2Dlg(Controller& c, QWidget* parent);
};

} // namespace vcx
