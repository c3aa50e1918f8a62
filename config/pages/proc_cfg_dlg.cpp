#include "pages/proc_cfg_dlg.h"

#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "diag/diag_state.h"
#include "diag/gs_set_dlg.h"
#include "diag/log_dlg.h"
#include "diag/process_report.h"
#include "params/firmware_file.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/string_table.h"
#include "ui/window_message.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

namespace vcx {

QString& ProcessReportFolderRoot() {
    static QString root;
    return root;
}

namespace {

constexpr int kMaxField = 260;

QString hex4(uint16_t v) { return QStringLiteral("x%1").arg(v, 4, 16, QLatin1Char('0')).toUpper().replace(u'X', u'x'); }

template <class T> T* with(T* w, int id) {
    qvui::setControlId(w, id);
    return w;
}

// The report folder root: the configuration's folder when it exists, else
// what it was (the process result folder until then).
QString& reportRoot() {
    QString& root = ProcessReportFolderRoot();
    if (root.isEmpty()) root = programState().toolPaths[kProcResFolder];
    return root;
}

}  // namespace

CQVPrcoCfgDlg::CQVPrcoCfgDlg(Controller& c, LoadedFirmware& fw, QWidget* parent)
    : CQVChdParentDlg(kTemplate, parent), c_(c), fw_(fw) {
    auto* grid = new QGridLayout(this);
    for (int item = 1; item <= kProcessItemCount; ++item) {
        auto* box = with(new QCheckBox(QLatin1String(ProcessItemName(item)), this), kIdFirstItem + item - 1);
        connect(box, &QCheckBox::clicked, this, [this, item] { toggleItem(item); });
        grid->addWidget(box, item - 1, 0);
    }
    list_ = with(new QTableWidget(0, 1, this), kIdList);
    list_->setHorizontalHeaderLabels({QStringLiteral("Process")});
    list_->setColumnWidth(0, 280);
    list_->setShowGrid(true);
    list_->verticalHeader()->hide();
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->addWidget(list_, 0, 1, 7, 2);

    serial_ = with(new QRadioButton(QStringLiteral("Serial Number"), this), kIdSerial);
    batch_ = with(new QRadioButton(QStringLiteral("Batch Number"), this), kIdBatch);
    batch2_ = with(new QCheckBox(QStringLiteral("Use Batch Number 2"), this), kIdBatch2);
    lowerAccuracy_ = with(new QCheckBox(QStringLiteral("Lower Accuracy in Drawing Test"), this), kIdLowerAccuracy);
    connect(serial_, &QRadioButton::clicked, this, [this] { batch2_->setEnabled(false); });
    connect(batch_, &QRadioButton::clicked, this, [this] { batch2_->setEnabled(true); });
    grid->addWidget(serial_, 7, 0);
    grid->addWidget(batch_, 8, 0);
    grid->addWidget(batch2_, 8, 1);
    grid->addWidget(lowerAccuracy_, 9, 0, 1, 2);

    workOrder_ = with(new QLineEdit(this), kIdWorkOrder);
    company_ = with(new QLineEdit(this), kIdCompany);
    for (QLineEdit* e : {workOrder_, company_}) e->setMaxLength(kMaxField);
    grid->addWidget(new QLabel(QStringLiteral("Work Order Number"), this), 10, 0);
    grid->addWidget(workOrder_, 10, 1);
    grid->addWidget(new QLabel(QStringLiteral("Company"), this), 11, 0);
    grid->addWidget(company_, 11, 1);
    for (int id : {kIdClearWorkOrder, kIdClearCompany}) {
        auto* b = with(new QPushButton(QStringLiteral("Clear"), this), id);
        QLineEdit* edit = id == kIdClearWorkOrder ? workOrder_ : company_;
        connect(b, &QPushButton::clicked, edit, &QLineEdit::clear);
        grid->addWidget(b, 10 + id - kIdClearWorkOrder, 2);
    }

    auto* load = with(new QPushButton(QStringLiteral("Load PFP File"), this), kIdLoadPfp);
    connect(load, &QPushButton::clicked, this, [this] {
        if (OpenFirmwareFile(this, c_, fw_, true, false)) {
            ShowConfigPackageInfo();
        } else {
            for (int id = kIdMasterVersion; id <= kIdKeyCrc; ++id) SetDlgItemText(this, id, {});
            qvui::findControl(this, kIdSlaveLabel)->hide();
            qvui::findControl(this, kIdKeyLabel)->hide();
        }
    });
    auto* golden = with(new QPushButton(QStringLiteral("Golden Sample Setting"), this), kIdGoldenSample);
    connect(golden, &QPushButton::clicked, this, [this] { golden_->UpdateCaption(true); });
    grid->addWidget(load, 12, 0);
    grid->addWidget(golden, 12, 1);
    grid->addWidget(new QLabel(QStringLiteral("Firmware Version :"), this), 13, 0);
    grid->addWidget(with(new QLabel(this), kIdMasterVersion), 13, 1);
    grid->addWidget(with(new QLabel(QStringLiteral("Slave   Firmware Version :"), this), kIdSlaveLabel), 14, 0);
    grid->addWidget(with(new QLabel(this), kIdSlaveVersion), 14, 1);
    grid->addWidget(new QLabel(QStringLiteral("Parameters CRC :"), this), 15, 0);
    grid->addWidget(with(new QLabel(this), kIdParaCrc), 15, 1);
    grid->addWidget(with(new QLabel(QStringLiteral("Virtual Key CRC :"), this), kIdKeyLabel), 16, 0);
    grid->addWidget(with(new QLabel(this), kIdKeyCrc), 16, 1);
    grid->setRowStretch(17, 1);

    programHooks().engineerModeChanged.join(this, [this] { showEngineerControls(); });
    initDialog();
}

CQVPrcoCfgDlg::~CQVPrcoCfgDlg() { programHooks().engineerModeChanged.leave(this); }

void CQVPrcoCfgDlg::InitDlgItem() {
    if (!golden_) {
        golden_ = new CGSSetDlg(diagState(), this);
        if (auto* grid = qobject_cast<QGridLayout*>(layout())) grid->addWidget(golden_, 18, 0, 1, 3);
    }
    golden_->hide();
    ClearPage();
    record_ = ProcessListConfig{};
    showEngineerControls();
}

void CQVPrcoCfgDlg::ClearDlgItem() {
    qvui::findControl(this, kIdGoldenSample)->setEnabled(false);
    if (golden_) golden_->hide();
}

void CQVPrcoCfgDlg::UpdateDlgItem() { qvui::findControl(this, kIdGoldenSample)->setEnabled(true); }

void CQVPrcoCfgDlg::showEngineerControls() {
    const bool engineer = programState().engineerMode;
    qvui::findControl(this, kIdFirstItem + 6)->setVisible(engineer);
    qvui::findControl(this, kIdGoldenSample)->setVisible(engineer);
}

void CQVPrcoCfgDlg::toggleItem(int item) {
    // The list keeps the clicking order: a new item goes last, a removed one
    // closes its gap and the last byte becomes 0.
    auto& list = record_.processList;
    const QString caption = qvui::findControl<QCheckBox>(this, kIdFirstItem + item - 1)->text();
    int found = -1;
    for (int r = 0; r < list_->rowCount(); ++r)
        if (list_->item(r, 0) && list_->item(r, 0)->text().startsWith(caption)) {
            found = r;
            break;
        }
    if (found < 0) {
        const int row = list_->rowCount();
        if (row >= kMaxProcessSteps) return;
        list_->insertRow(row);
        list_->setItem(row, 0, new QTableWidgetItem(caption));
        list[size_t(row)] = uint8_t(item);
        return;
    }
    list_->removeRow(found);
    for (int p = found; p + 1 < kMaxProcessSteps; ++p) list[size_t(p)] = list[size_t(p + 1)];
    list[kMaxProcessSteps - 1] = 0;
}

void CQVPrcoCfgDlg::rebuildList() {
    list_->setRowCount(0);
    for (int p = 0; p < kMaxProcessSteps && record_.processList[size_t(p)] != 0; ++p) {
        list_->insertRow(p);
        list_->setItem(p, 0, new QTableWidgetItem(qvui::loadString(1452 + record_.processList[size_t(p)])));
    }
}

void CQVPrcoCfgDlg::ShowConfigPackageInfo() {
    const bool two = (fw_.FirmwareFileKind & 0x01) != 0;
    const LoadedFirmwareSection& shown = fw_.LoadedFirmware[two ? 1 : 0];
    qvui::findControl(this, kIdSlaveLabel)->setVisible(two);
    SetDlgItemText(this, kIdMasterVersion, shown.versionText);
    SetDlgItemText(this, kIdSlaveVersion, two ? fw_.LoadedFirmware[0].versionText : QString());
    SetDlgItemText(this, kIdParaCrc, hex4(fw_.PfpPara.crc));
    const bool keys = shown.flags & 0x08;
    qvui::findControl(this, kIdKeyLabel)->setVisible(keys);
    SetDlgItemText(this, kIdKeyCrc, keys ? hex4(fw_.PfpVKey.crc) : QString());
}

void CQVPrcoCfgDlg::ClearPage() {
    workOrder_->clear();
    company_->clear();
    serial_->setChecked(true);
    batch_->setChecked(false);
    batch2_->setChecked(false);
    batch2_->setEnabled(false);
    lowerAccuracy_->setChecked(false);
    for (int id = kIdMasterVersion; id <= kIdKeyCrc; ++id) SetDlgItemText(this, id, {});
    qvui::findControl(this, kIdSlaveLabel)->hide();
    qvui::findControl(this, kIdKeyLabel)->hide();
    list_->setRowCount(0);
}

void CQVPrcoCfgDlg::LoadConfiguration() {
    QString path;
    const QString caption = QStringLiteral("Load Configure Failed");
    switch (LoadProcessConfigFile(this, c_, fw_, true, &path, &record_)) {
    case 0: {
        ShowConfigPackageInfo();
        workOrder_->setText(record_.workOrderNumber);
        company_->setText(record_.company);
        rebuildList();
        const uint8_t flag = record_.processListFlag;
        serial_->setChecked(!(flag & 1));
        batch_->setChecked(flag & 1);
        batch2_->setEnabled(flag & 1);
        if (flag & 1) batch2_->setChecked(flag & 2);
        lowerAccuracy_->setChecked(flag & 4);
        if (!record_.reportFolderPath.isEmpty() && QFileInfo(record_.reportFolderPath).isDir())
            ProcessReportFolderRoot() = record_.reportFolderPath;
        break;
    }
    case 2:
        qvui::showMessageBox(this, QStringLiteral("Configure file not valid."), caption, qvui::MessageIcon::Error);
        ClearPage();
        break;
    case 3:
        qvui::showMessageBox(this, QStringLiteral("PFP file path in Configure file not found."), caption,
                             qvui::MessageIcon::Error);
        break;
    default:
        break;
    }
}

void CQVPrcoCfgDlg::saveFailed(const QString& text, int focusId) {
    qvui::showMessageBox(this, text, QStringLiteral("Save Configure Failed"), qvui::MessageIcon::Error);
    if (focusId) qvui::findControl(this, focusId)->setFocus();
}

void CQVPrcoCfgDlg::SaveConfiguration() {
    ProcessListConfig r = record_;
    if (r.processList[0] == 0) return saveFailed(QStringLiteral("Please select Process List Item."), kIdFirstItem);
    if (GetDlgItemText(this, kIdMasterVersion).isEmpty()) return saveFailed(QStringLiteral("Please select PFP file."), 0);
    r.pfpFileName = QFileInfo(fw_.szFirmwarePath).fileName();
    r.workOrderNumber = workOrder_->text().left(kMaxField);
    r.company = company_->text().left(kMaxField);
    if (r.workOrderNumber.isEmpty()) return saveFailed(QStringLiteral("Please input work order number."), kIdWorkOrder);
    if (r.company.isEmpty()) return saveFailed(QStringLiteral("Please input company."), kIdCompany);
    // Both become the name of the production run's work-order folder.
    if (!IsSafeBatchNumber(r.workOrderNumber))
        return saveFailed(QStringLiteral("Please input work order number."), kIdWorkOrder);
    if (!IsSafeBatchNumber(r.company)) return saveFailed(QStringLiteral("Please input company."), kIdCompany);
    r.processListFlag &= uint8_t(~0x07);
    if (batch_->isChecked()) {
        r.processListFlag |= 1;
        if (batch2_->isChecked()) r.processListFlag |= 2;
    }
    if (lowerAccuracy_->isChecked()) r.processListFlag |= 4;
    r.reportFolderPath = reportRoot();
    if (!SaveProcessConfigFile(this, fw_, r)) return;
    record_ = r;
}

bool CQVPrcoCfgDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e); m && m->message() == qvui::WM_TOOLBAR_ACTION) {
        if (m->lParam() == 0) LoadConfiguration();
        if (m->lParam() == 1) SaveConfiguration();
        return true;
    }
    return CQVChdParentDlg::event(e);
}

}  // namespace vcx
