#include "pages/about_dlg.h"

#include "core/strings.h"
#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/device_text.h"
#include "pages/information_log.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "core/program_state.h"
#include "diag/diag_state.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

namespace vcx {

namespace {

QLabel* label(QWidget* parent, int id, const QString& text) {
    auto* l = new QLabel(text, parent);
    qvui::setControlId(l, id);
    return l;
}

struct FolderButton {
    int id;
    const char* text;
    const char* title;
    FolderIndex folder;
    enum Extra { None, Path, Disabled, SettingAndPath } extra;
};

const FolderButton kFolderButtons[] = {
    {420, "Open Short Test Log File Folder", "Select CSV File Folder", kDiagOSFolder, FolderButton::None},
    {421, "Noise Level Log File Folder", "Select CSV File Folder", kDiagNLFolder, FolderButton::None},
    {422, "Build System Reference Log File Folder", "Select Log File Folder", kDiagSRFolder, FolderButton::Path},
    {423, "Parameters File Folder", "Select INI File Folder", kParaIniFolder, FolderButton::Path},
    {424, "Firmware Update File Folder", "Select Firmware File Folder", kFUQVFFolder, FolderButton::Path},
    {425, "Save PNG File Folder", "Select PNG File Folder", kDrawPNGFolder, FolderButton::Disabled},
    {426, "Firmware Information Log File Folder", "Select Firmware Information Log File Folder", kDbgLogFolder,
     FolderButton::Path},
    {427, "Memory Dump Log File Folder", "Select Memory Dump Log File Folder", kDbgMDFolder, FolderButton::Disabled},
    {428, "Debug Command Log File Folder", "Select Debug Command Log File Folder", kDbgCmdFolder,
     FolderButton::Disabled},
    {429, "Process List Configure File Folder", "Select Process List Configure File Folder", kProcCfgFolder,
     FolderButton::Path},
    {430, "Process List Report File Folder", "Select Process List Report File Folder", kProcResFolder,
     FolderButton::SettingAndPath},
    {431, "UI Parameters Log File Folder", "Select Parameters log File Folder", kInfoLogFolder, FolderButton::None},
};

} // namespace

CQVAboutDlg::CQVAboutDlg(Controller& c, QWidget* parent) : CQVChdParentDlg(kTemplate, parent), c_(c) {
    addProgramStrings();
    auto* layout = new QVBoxLayout(this);
    auto* app = new QGroupBox(QStringLiteral("Application Version"), this);
    auto* appLayout = new QHBoxLayout(app);
    appLayout->addWidget(label(app, 314, {}));
    layout->addWidget(app);

    auto* core = new QGroupBox(QStringLiteral("Core Version"), this);
    qvui::setControlId(core, 344);
    auto* coreLayout = new QHBoxLayout(core);
    coreLayout->addWidget(label(core, 355, {}));
    layout->addWidget(core);

    // Version and time-stamp fields of the design that nothing fills.
    auto* extra = new QGridLayout;
    const std::pair<int, int> fields[] = {{340, 319}, {341, 354}, {342, 366}, {343, 367}};
    const char* const captions[] = {"0xF6 Version", "0xF9 Version", "Firmware Time Stamp", "Slave Time Stamp"};
    for (int i = 0; i < 4; ++i) {
        extra->addWidget(label(this, fields[i].first, QLatin1String(captions[i])), i, 0);
        extra->addWidget(label(this, fields[i].second, {}), i, 1);
    }
    layout->addLayout(extra);

    disableDataReport_ = new QCheckBox(QStringLiteral("Disable Data Report"), this);
    qvui::setControlId(disableDataReport_, kIdDisableDataReport);
    showMenuInDraw_ = new QCheckBox(QStringLiteral("Show Menu in Draw"), this);
    qvui::setControlId(showMenuInDraw_, kIdShowMenuInDraw);
    // The template's box with no behaviour of its own: nothing reads or sets it.
    auto* fwLog = new QCheckBox(QStringLiteral("FW Command Log"), this);
    qvui::setControlId(fwLog, kIdFwCommandLog);
    layout->addWidget(disableDataReport_);
    layout->addWidget(showMenuInDraw_);
    layout->addWidget(fwLog);

    folderConfigure_ = new QPushButton(QStringLiteral("Folder Configure"), this);
    qvui::setControlId(folderConfigure_, kIdFolderConfigure);
    layout->addWidget(folderConfigure_);
    layout->addStretch(1);

    connect(folderConfigure_, &QPushButton::clicked, this, [this] {
        CFolderCfgDlg dlg(this);
        qvui::execDialog(dlg);
    });
    connect(disableDataReport_, &QCheckBox::clicked, this,
            [this](bool checked) { DataReportSwitch(c_).SetReporting(!checked); });
    connect(showMenuInDraw_, &QCheckBox::clicked, this, [](bool checked) {
        uint32_t& options = appSettings().options;
        options = checked ? options | kOptDrawMenu : options & ~uint32_t(kOptDrawMenu);
    });
    initDialog();
}

void CQVAboutDlg::InitDlgItem() {
    SetDlgItemText(this, 314, QString::asprintf("%d.%d.%d.%d", kAppVersion[0], kAppVersion[1], kAppVersion[2],
                                                 kAppVersion[3]));
    // Restoring the check marks sends nothing to the controller.
    if (diagState().UseTabletPC != 0)
        disableDataReport_->setEnabled(false);
    else
        disableDataReport_->setChecked(appSettings().options & kOptDisableTouch);
    showMenuInDraw_->setChecked(appSettings().options & kOptDrawMenu);
}

void CQVAboutDlg::setButtonFont(const QFont& font) { folderConfigure_->setFont(font); }

void CQVAboutDlg::UpdateDlgItem() {
    if (diagState().UseTabletPC == 0) disableDataReport_->setEnabled(true);
    const FirmwareInformationW& info = c_.records.fwInformation;
    QWidget* caption = qvui::findControl(this, 344);
    if (info.info4Byte1) {
        caption->show();
        SetDlgItemText(this, 355, QString::asprintf("%d.%d.%d.%d", info.info4Byte1 >> 4, info.info4Byte1 & 15,
                                                     info.info4Byte2, info.info4Word));
    } else {
        caption->hide();
        SetDlgItemText(this, 355, {});
    }
}

void CQVAboutDlg::ClearDlgItem() {
    for (int id : {340, 341, 342, 343, 344, 319, 354, 366, 367})
        if (QWidget* w = qvui::findControl(this, id)) w->hide();
    SetDlgItemText(this, 355, {});
}

void CQVAboutDlg::ExitDlg() {
    if (diagState().UseTabletPC != 0) return;
    uint32_t& options = appSettings().options;
    if (disableDataReport_->isChecked()) {
        options |= kOptDisableTouch;
        // The controller reports touches again once the program has ended.
        DataReportSwitch(c_).SetReporting(true);
    } else {
        options &= ~uint32_t(kOptDisableTouch);
    }
}

void CQVAboutDlg::SetDataReportDisabled(bool disable) {
    if (!disableDataReport_->isChecked()) return;
    DataReportSwitch(c_).SetReporting(!disable);
}

bool CQVAboutDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e); m && m->message() == qvui::WM_TOOLBAR_ACTION) {
        if (m->lParam() == 0)
            OpenExportFolder();
        else if (m->lParam() == 1)
            WriteUiParametersLog();
        m->setResult(0);
        return true;
    }
    return CQVChdParentDlg::event(e);
}

void CQVAboutDlg::OpenExportFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' +
                           QLatin1String(kUtilityFolderName);
    // The desktop's file manager shows it; a desktop without a launcher cannot,
    // and the user is told where the folder is instead.
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) return;
    qvui::showMessageBox(this,
                         QStringLiteral("The folder cannot be opened: the desktop has no program to show it.\n%1")
                             .arg(QDir::toNativeSeparators(folder)),
                         QStringLiteral("Open Default Export File Folder"), qvui::MessageIcon::Warning);
}

QString CQVAboutDlg::WriteUiParametersLog() {
    // Without a controller there is nothing to log (the main window's button is
    // disabled then; a message from outside is answered the same way).
    if (c_.dev.device == INVALID_HANDLE_VALUE) return {};
    QString folder = workingFolders()[kInfoLogFolder];
    if (!BrowseForFolder(QStringLiteral("Select Parameters log File Folder"), this, folder)) return {};
    workingFolders()[kInfoLogFolder] = folder;
    return UiParametersLog(c_).WriteInto(folder);
}

CFolderCfgDlg::CFolderCfgDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Folder Configure"));
    auto* layout = new QVBoxLayout(this);
    const std::pair<const char*, std::vector<int>> groups[] = {
        {"Diagnostic", {420, 421, 422}}, {"Parameters", {423}}, {"Firmware Update", {424}}, {"Draw", {425}},
        {"Debug", {426, 427, 428}},      {"Process List", {429, 430}}, {"Information", {431}}};
    for (const auto& [caption, ids] : groups) {
        auto* box = new QGroupBox(QLatin1String(caption), this);
        auto* boxLayout = new QVBoxLayout(box);
        for (int id : ids) {
            const FolderButton& b = kFolderButtons[id - 420];
            auto* button = new QPushButton(QLatin1String(b.text), box);
            qvui::setControlId(button, id);
            button->setEnabled(b.extra != FolderButton::Disabled);
            connect(button, &QPushButton::clicked, this, [this, id] { pick(id); });
            boxLayout->addWidget(button);
        }
        layout->addWidget(box);
    }
}

bool CFolderCfgDlg::pick(int id) {
    if (id < 420 || id > 431) return false;
    const FolderButton& b = kFolderButtons[id - 420];
    QWidget* button = qvui::findControl(this, id);
    if (!button || !button->isEnabled()) return false;
    QString folder = workingFolders()[b.folder];
    if (!BrowseForFolder(QLatin1String(b.title), this, folder)) return false;
    workingFolders()[b.folder] = folder;
    if (b.extra == FolderButton::Path || b.extra == FolderButton::SettingAndPath)
        programState().toolPaths[b.folder] = folder;
    if (b.extra == FolderButton::SettingAndPath) appSettings().folders[b.folder] = folder;
    return true;
}

} // namespace vcx
