#include "pages/proc_dlg.h"

#include "core/app_settings.h"
#include "core/controller_api.h"
#include "core/device_text.h"
#include "core/pictures.h"
#include "core/process_items.h"
#include "core/program_state.h"
#include "diag/diag_config.h"
#include "diag/diag_state.h"
#include "diag/golden_sample.h"
#include "diag/log_dlg.h"
#include "diag/scan_dlg.h"
#include "pages/device_log.h"
#include "pages/proc_cfg_dlg.h"
#include "params/firmware_file.h"
#include "text/ini_file.h"
#include "text/text_file.h"
#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"
#include "ui/popup_menu.h"
#include "ui/string_table.h"
#include "ui/window_message.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QTableWidget>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace vcx {

namespace {

constexpr int kWorkOrderControls[] = {341, 334, 324, 335, 325};

QString hex4(uint16_t v) { return QStringLiteral("x%1").arg(v, 4, 16, QLatin1Char('0')).toUpper().replace(u'X', u'x'); }

std::string local(const QString& s) { return QFile::encodeName(s).toStdString(); }

QTableWidget* makeList(QWidget* parent, int id, const QStringList& titles, const std::initializer_list<int>& widths) {
    auto* t = new QTableWidget(0, int(titles.size()), parent);
    qvui::setControlId(t, id);
    t->setHorizontalHeaderLabels(titles);
    int i = 0;
    for (int w : widths) t->setColumnWidth(i++, w);
    t->verticalHeader()->hide();
    t->setShowGrid(true);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Space belongs to the page (it starts a run), not to the lists.
    t->setFocusPolicy(Qt::NoFocus);
    return t;
}

void setCell(QTableWidget* t, int row, int column, const QString& text) {
    if (row >= t->rowCount()) return;
    auto* item = new QTableWidgetItem(text);
    if (column > 0) item->setTextAlignment(Qt::AlignCenter);
    t->setItem(row, column, item);
}

QLabel* label(QWidget* parent, int id, const QString& text = {}) {
    auto* l = new QLabel(text, parent);
    qvui::setControlId(l, id);
    return l;
}

QRect frameOf(const QWidget* w) {
    const QWidget* top = w->window();
    if (top == w) return w->frameGeometry();
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

}  // namespace

// ---- banner ---------------------------------------------------------------------

CMyMsgDlg::CMyMsgDlg(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QString());
    hide();
}

int CMyMsgDlg::fontPixelHeight() const { return programState().screenScale * 90 / 100; }

void CMyMsgDlg::showAt(const BannerPlace& place) {
    setGeometry(place.x, place.y, std::max(place.width, 1), std::max(place.height, 1));
    show();
}

void CMyMsgDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(255, 0, 0));
    QFont font(QStringLiteral("Tahoma"));
    font.setWeight(QFont::Bold);
    font.setPixelSize(std::max(fontPixelHeight(), 1));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(rect(), Qt::AlignCenter, qvui::loadString(1515));
}

// ---- page -----------------------------------------------------------------------

CQVProcDlg::CQVProcDlg(Controller& c, LoadedFirmware& fw, DiagState& s, QWidget* parent)
    : CQVChdParentDlg(kTemplate, parent), c_(c), fw_(fw), s_(s), main_(parent ? parent->window() : nullptr) {
    setFocusPolicy(Qt::StrongFocus);
    auto* grid = new QGridLayout(this);
    list_ = makeList(this, kIdList, {QStringLiteral("Process"), QStringLiteral("PASS")}, {180, 100});
    countersList_ = makeList(this, kIdCounters, {QStringLiteral("Test"), QStringLiteral("Count")}, {34, 55});
    countersList_->setRowCount(3);
    const char* rows[3] = {"Test", "Pass", "Fail"};
    for (int r = 0; r < 3; ++r) setCell(countersList_, r, 0, QLatin1String(rows[r]));
    grid->addWidget(list_, 0, 0, 8, 1);
    grid->addWidget(label(this, 340, QStringLiteral("Firmware")), 0, 1);
    grid->addWidget(label(this, 330, QStringLiteral("Firmware Version :")), 1, 1);
    grid->addWidget(label(this, kIdMasterVersion), 1, 2);
    grid->addWidget(label(this, kIdSlaveLabel), 2, 1);
    grid->addWidget(label(this, kIdSlaveVersion), 2, 2);
    grid->addWidget(label(this, 332, QStringLiteral("Parameters CRC :")), 3, 1);
    grid->addWidget(label(this, kIdParaCrc), 3, 2);
    grid->addWidget(label(this, kIdKeyLabel), 4, 1);
    grid->addWidget(label(this, kIdKeyCrc), 4, 2);
    grid->addWidget(label(this, 341, QStringLiteral("Work Order")), 5, 1);
    grid->addWidget(label(this, 334, QStringLiteral("Work Order Number :")), 6, 1);
    grid->addWidget(label(this, kIdWorkOrder), 6, 2);
    grid->addWidget(label(this, 335, QStringLiteral("Company :")), 7, 1);
    grid->addWidget(label(this, kIdCompany), 7, 2);
    grid->addWidget(label(this, 342, QStringLiteral("Report")), 8, 0);
    grid->addWidget(countersList_, 9, 0, 3, 1);
    grid->addWidget(label(this, 343, QStringLiteral("Result")), 8, 1);
    grid->addWidget(label(this, kIdResultPicture), 9, 1, 1, 2);
    grid->addWidget(label(this, kIdResultText), 10, 1, 1, 2);
    auto* progress = new QProgressBar(this);
    qvui::setControlId(progress, kIdProgress);
    grid->addWidget(progress, 11, 1, 1, 2);
    grid->addWidget(label(this, 344, QStringLiteral("Version")), 12, 1);
    grid->addWidget(label(this, kIdVersion), 12, 2);

    menu_ = new QMenu(this);
    QAction* load = menu_->addAction(QStringLiteral("Load Process Config File"));
    qvui::setMenuId(load, kMenuLoadConfig);
    connect(load, &QAction::triggered, this, [this] { LoadConfiguration(); });
    QAction* show = menu_->addAction(QStringLiteral("Show Work Order Number"));
    show->setCheckable(true);
    qvui::setMenuId(show, kMenuShowWorkOrder);
    connect(show, &QAction::triggered, this, [this] { toggleWorkOrder(); });

    scan_ = new CVCXScanDlg(c_, s_, this);
    scan_->hide();
    banner_ = new CMyMsgDlg(parent ? parent->window() : nullptr);

    ProcessPageLink& link = processPage();
    link.window = this;
    link.showScanForOpenShort = [this] { ShowScanForOpenShort(); };
    link.showScanForDiagnostic = [this] { ShowScanForDiagnostic(); };
    // A tick from outside (main timer 14) starts the next product's run, as Space does.
    link.nextStep = [this] {
        if (!busy_ && record_.processList[0] != 0) StartProcess();
    };
    link.hideBanner = [this] { HideBanner(); };
}

CQVProcDlg::~CQVProcDlg() {
    if (processPage().window == this) processPage() = ProcessPageLink{};
    delete banner_.data();
}

void CQVProcDlg::setMainWindow(QObject* window) {
    main_ = window;
    scan_->setMainWindow(window);
}

void CQVProcDlg::toMain(quint32 message, quint64 wParam, qint64 lParam, bool post) {
    if (!main_) return;
    if (post)
        qvui::postMessage(main_, message, wParam, lParam);
    else
        qvui::sendMessage(main_, message, wParam, lParam);
}

void CQVProcDlg::InitDlgItem() {
    SetDlgItemText(this, kIdVersion, QStringLiteral("%1.%2.%3.%4").arg(2).arg(7).arg(3).arg(13));
    const bool showWN = appSettings().options & kOptProcShowWN;
    qvui::findMenuAction(*menu_, kMenuShowWorkOrder)->setChecked(showWN);
    if (!showWN)
        for (int id : kWorkOrderControls) qvui::findControl(this, id)->hide();
    const int scale = programState().screenScale;
    scan_->setGeometry(scale * 9 / 100, 1, scale * 725 / 100, scale * 390 / 100);
    scan_->hide();
    if (banner_) banner_->resize(scale * 725 / 100, scale * 390 / 100);
    serialNumber_ = 0;
    folderPrepared_ = false;
    record_ = ProcessListConfig{};
    passed_ = {};
    ClearProcessPage();
    if (LoadStartupProcessConfig()) ApplyProcessConfig();
}

void CQVProcDlg::ExitDlg() { delete banner_.data(); }

void CQVProcDlg::emptyPackageTexts() {
    for (int id : {kIdMasterVersion, kIdSlaveVersion, kIdParaCrc, kIdKeyCrc, kIdSlaveLabel, kIdKeyLabel})
        SetDlgItemText(this, id, {});
}

void CQVProcDlg::UpdateDlgItem() {
    scan_->ResetCounters();
    const FirmwareInformationW& info = c_.records.fwInformation;
    uint32_t code = 0;
    if (!c_.records.fwVersion.masterInBoot) {
        code = FirmwareIdentityCode(info);
        appSettings().productInfo = decltype(appSettings().productInfo)(code);
    } else {
        code = uint32_t(appSettings().productInfo);
    }
    // Without a configuration the loaded file is the Field Update page's: left alone.
    if (record_.pfpFileName.isEmpty() && record_.odmCodes.empty()) return;
    const auto& odm = record_.odmCodes;
    if (code > 0 && std::find(odm.begin(), odm.end(), code) != odm.end() && FindFirmwareFileInFolder(c_, fw_, true, code)) {
        ShowPackageInfo();
        return;
    }
    if (!record_.pfpFileName.isEmpty() && OpenFirmwareFileByName(c_, fw_, record_.pfpFileName, false) &&
        fw_.PfpPara.present) {
        ShowPackageInfo();
        return;
    }
    ClearFirmwareFileData(fw_, true);
    emptyPackageTexts();
}

void CQVProcDlg::ShowPackageInfo() {
    const bool two = (fw_.FirmwareFileKind & 0x01) != 0;
    const LoadedFirmwareSection& shown = fw_.LoadedFirmware[two ? 1 : 0];
    SetDlgItemText(this, kIdSlaveLabel, two ? qvui::loadString(1518) : QString());
    SetDlgItemText(this, kIdSlaveVersion, two ? fw_.LoadedFirmware[0].versionText : QString());
    SetDlgItemText(this, kIdMasterVersion, shown.versionText);
    SetDlgItemText(this, kIdParaCrc, hex4(fw_.PfpPara.crc));
    const bool keys = shown.flags & 0x08;
    SetDlgItemText(this, kIdKeyLabel, keys ? qvui::loadString(1519) : QString());
    SetDlgItemText(this, kIdKeyCrc, keys ? hex4(fw_.PfpVKey.crc) : QString());
}

void CQVProcDlg::ClearProcessPage() {
    for (int id : {320, 321, 322, 323, 324, 325, kIdSlaveLabel, kIdKeyLabel}) SetDlgItemText(this, id, {});
    setStartEnabled(false);
    setLoadPfpEnabled(false);
    list_->setRowCount(0);
    qvui::findControl(this, kIdResultPicture)->hide();
    SetDlgItemText(this, kIdResultText, qvui::loadString(1362));
    for (int r = 0; r < 3; ++r) setCell(countersList_, r, 1, {});
}

// The command buttons are the page's only while it is on show: a hidden page
// leaves the other pages' enable states alone.
void CQVProcDlg::setStartEnabled(bool enabled) {
    startEnabled_ = enabled;
    if (!isHidden()) toMain(qvui::WM_TOOLBAR_ACTION, kButtonStart, enabled ? 1 : 0);
}

void CQVProcDlg::setLoadPfpEnabled(bool enabled) {
    loadPfpEnabled_ = enabled;
    if (!isHidden()) toMain(qvui::WM_TOOLBAR_ACTION, kButtonLoadPfp, enabled ? 1 : 0);
}

void CQVProcDlg::showCounters() {
    const uint32_t values[3] = {counters_.test, counters_.pass, counters_.fail};
    for (int r = 0; r < 3; ++r) setCell(countersList_, r, 1, QString::number(values[r]));
}

void CQVProcDlg::ApplyProcessConfig() {
    list_->setRowCount(0);
    for (int p = 0; p < kProcessListLength && record_.processList[size_t(p)] != 0; ++p) {
        list_->insertRow(p);
        setCell(list_, p, 0, qvui::loadString(1452 + record_.processList[size_t(p)]));
    }
    SetDlgItemText(this, kIdWorkOrder, record_.workOrderNumber);
    SetDlgItemText(this, kIdCompany, record_.company);
    setStartEnabled(true);
    setLoadPfpEnabled(false);
    if (fw_.LoadedFirmware[0].dataSize != 0) ShowPackageInfo();
    if (!record_.reportFolderPath.isEmpty() && QFileInfo(record_.reportFolderPath).isDir())
        ProcessReportFolderRoot() = record_.reportFolderPath;
    if (ProcessReportFolderRoot().isEmpty()) ProcessReportFolderRoot() = programState().toolPaths[kProcResFolder];
    folderPrepared_ = false;
    // The work order and company name a folder: a name that would leave the
    // report folder makes none (StartProcess refuses to run with it).
    if (!IsSafeBatchNumber(record_.company) || !IsSafeBatchNumber(record_.workOrderNumber)) {
        workOrderFolder_.clear();
        summaryPath_.clear();
        counters_ = {};
        showCounters();
        return;
    }
    workOrderFolder_ = QDir::cleanPath(ProcessReportFolderRoot()) + u'/' + record_.company + u'_' + record_.workOrderNumber;
    QDir().mkpath(workOrderFolder_);
    summaryPath_ = QStringLiteral("%1/%2_%3_ProcessListReport.csv")
                       .arg(workOrderFolder_, record_.company, record_.workOrderNumber);
    if (QFileInfo::exists(summaryPath_)) {
        counters_ = ReadSummaryCounters(local(summaryPath_));
    } else {
        counters_ = {};
        const qvtext::LocalTime t = qvtext::localTimeNow();
        char date[16];
        std::snprintf(date, sizeof date, "%02d/%02d/%04d", t.day, t.month, t.year);
        qvtext::TextWriter w(local(summaryPath_).c_str(), qvtext::TextWriter::Mode::Create);
        w.write(SummaryHeaderText(date, record_.workOrderNumber.toStdString(), record_.company.toStdString()));
    }
    showCounters();
}

void CQVProcDlg::takeConfiguration(const ProcessListConfig& r) {
    record_ = r;
    ApplyProcessConfig();
}

bool CQVProcDlg::LoadStartupProcessConfig() {
    ProgramState& ps = programState();
    const QString savedFolder = ps.toolPaths[kProcCfgFolder];
    const QString warning =
        QStringLiteral("Configure file in command line not valid.\nApplication may load configure file by default.");
    auto isProcessConfig = [](const QString& path) {
        return QFileInfo(path).isFile() &&
               qvui::IniFile::readInt(path, QLatin1String(kProcessSection), QStringLiteral("Process List"), 0) >= 1;
    };
    QString& fileArg = startupState().fileArg;
    if (!fileArg.isEmpty()) {
        QString path;
        for (const QString& candidate : {fileArg, ps.programFolder + fileArg, ps.programFolder + fileArg + ".ini"})
            if (isProcessConfig(candidate)) {
                path = candidate;
                break;
            }
        // Any other file is the Field Update page's (main timer 10).
        if (!path.isEmpty()) {
            fileArg.clear();
            ps.toolPaths[kProcCfgFolder] = QFileInfo(path).absolutePath();
            if (LoadProcessConfigFile(this, c_, fw_, false, &path, &record_) == 0) return true;
            ps.toolPaths[kProcCfgFolder] = savedFolder;
            qvui::showMessageBox(this, warning, QStringLiteral("Configure file in command line not valid"),
                                 qvui::MessageIcon::Warning);
        }
    }
    const QString ini = ps.programFolder + QLatin1String(kDiagConfigFileName);
    const QString name = qvui::IniFile::readString(ini, QStringLiteral("Process List Setting"),
                                                   QStringLiteral("Default Config File Name"),
                                                   QStringLiteral("ProcessConfig"));
    QString path = QFileInfo(ini).absolutePath() + u'/' + name + QStringLiteral(".ini");
    ps.toolPaths[kProcCfgFolder] = QFileInfo(path).absolutePath();
    if (LoadProcessConfigFile(this, c_, fw_, false, &path, &record_) == 0) return true;
    ps.toolPaths[kProcCfgFolder] = savedFolder;
    record_ = ProcessListConfig{};
    return false;
}

void CQVProcDlg::LoadConfiguration() {
    folderPrepared_ = false;
    QString path;
    const QString caption = QStringLiteral("Load Configure Failed");
    switch (LoadProcessConfigFile(this, c_, fw_, true, &path, &record_)) {
    case 0:
        ApplyProcessConfig();
        break;
    case 2: {
        const QString text = QStringLiteral("Configure file not valid.");
        qvui::showMessageBox(this, text, caption, qvui::MessageIcon::Error);
        SetDlgItemText(this, kIdResultText, text);
        record_ = ProcessListConfig{};
        ClearProcessPage();
        break;
    }
    case 3: {
        const QString text = QStringLiteral("PFP file path in Configure file not valid.");
        qvui::showMessageBox(this, text, caption, qvui::MessageIcon::Error);
        SetDlgItemText(this, kIdResultText, text);
        break;
    }
    default:
        break;
    }
}

void CQVProcDlg::toggleWorkOrder() {
    uint32_t& options = appSettings().options;
    const bool wasShown = options & kOptProcShowWN;
    options ^= kOptProcShowWN;
    for (int id : kWorkOrderControls) qvui::findControl(this, id)->setVisible(!wasShown);
    qvui::findMenuAction(*menu_, kMenuShowWorkOrder)->setChecked(!wasShown);
}

std::string CQVProcDlg::productPrefix(const QString& folder) const {
    std::string prefix = local(folder) + "/QV" + GetProductNameString(c_.records.fwInformation).toStdString() + "_";
    if (!(record_.processListFlag & 1)) {
        char number[16];
        std::snprintf(number, sizeof number, "%03u_", unsigned(serialNumber_));
        return prefix + number;
    }
    prefix += batch1_ + "_";
    if (record_.processListFlag & 2) prefix += batch2_ + "_";
    return prefix;
}

void CQVProcDlg::StartProcess() {
    if (busy_ || (record_.company.isEmpty() && record_.workOrderNumber.isEmpty())) return;
    if (!folderPrepared_) {
        // The work order and company come from a file: neither may lead the
        // reports out of the report folder.
        if (workOrderFolder_.isEmpty() || !IsSafeBatchNumber(record_.company) ||
            !IsSafeBatchNumber(record_.workOrderNumber)) {
            const QString text = QStringLiteral("Work order number or company cannot name a folder.");
            qvui::showMessageBox(this, text, text, qvui::MessageIcon::Error);
            return;
        }
        if (!QFileInfo(workOrderFolder_).isDir()) {
            serialNumber_ = 0;
            QDir().mkpath(workOrderFolder_);
        } else {
            serialNumber_ = uint32_t(qvui::IniFile::readInt(workOrderFolder_ + QStringLiteral("/Serial Number.ini"),
                                                            QStringLiteral("Serial Number"),
                                                            QStringLiteral("Serial Number"), 0));
        }
        folderPrepared_ = true;
    }
    busy_ = true;
    passed_ = {};
    runTime_.clear();
    qvui::findControl(this, kIdResultPicture)->hide();
    toMain(qvui::WM_PAGE_STATE, 1, kTemplate);
    setStartEnabled(false);
    for (int r = 0; r < 7 && r < list_->rowCount(); ++r) setCell(list_, r, 1, {});
    if (c_.dev.device == INVALID_HANDLE_VALUE) return FinishProcess(kNoDevice);
    ScanViewShared& shared = scanShared();
    if (record_.processListFlag & 1) {
        CLogDlg log(c_.dev.modelName, s_.AutoSaveBarcode != 0, record_.processListFlag & 2, this);
        if (qvui::execDialog(log) != QDialog::Accepted) return FinishProcess(kNumberingCancelled);
        batch1_ = shared.g_strBatch1;
        batch2_ = shared.g_strBatch2;
        runTime_ = log.times().t2;
        shared.serialNumber.clear();
    } else {
        ++serialNumber_;
        shared.serialNumber = QString::number(serialNumber_);
    }
    prefix_ = productPrefix(workOrderFolder_);
    shared.processReportFolder = prefix_;
    // A run whose detail report could not be written left its item files: they
    // are not this product's.
    RemoveItemReports(prefix_);
    if (record_.processList[0] == 0) return FinishProcess(0);
    StartProcessItem(main_, record_.processList[0]);
}

void CQVProcDlg::onItemResult(int result, int item) {
    if (!busy_) return;
    int p = -1;
    for (int i = 0; i < kProcessListLength; ++i)
        if (record_.processList[size_t(i)] == item) {
            p = i;
            break;
        }
    if (p < 0) return;
    if (item == kItemOpenShort || item == kItemDiagnostic) ShowScanView(false);
    if (item == kItemFirmwareUpdate) {
        // The update ends with the controller found again; the product's files
        // stay in the work-order folder.
        prefix_ = productPrefix(workOrderFolder_);
        scanShared().processReportFolder = prefix_;
    }
    const bool pass = result == kProcessPass;
    passed_[size_t(p)] = pass;
    setCell(list_, p, 1, qvui::loadString(pass ? 1516 : 1517));
    if (!pass) return FinishProcess(result > 0 && result < kNoDevice ? result : kProcessFail);
    if (p + 1 < kProcessListLength && record_.processList[size_t(p + 1)] != 0)
        return StartProcessItem(main_, record_.processList[size_t(p + 1)]);
    FinishProcess(0);
}

void CQVProcDlg::showResultPicture(bool pass) {
    auto* picture = qvui::findControl<QLabel>(this, kIdResultPicture);
    picture->setPixmap(programPicture(pass ? 222 : 223));
    picture->show();
}

void CQVProcDlg::FinishProcess(int r) {
    lastResult_ = r;
    showResultPicture(r == 0);
    SetDlgItemText(this, kIdResultText, qvui::loadString(r == 0 ? 1511 : 1512));
    setStartEnabled(true);
    const bool automatic = !(record_.processListFlag & 1);
    if (automatic)
        qvui::IniFile::writeString(workOrderFolder_ + QStringLiteral("/Serial Number.ini"), QStringLiteral("Serial Number"),
                                   QStringLiteral("Serial Number"), QString::number(serialNumber_));
    // No product prefix (no run was started): no report of a product.
    if (r < kNoDevice && !prefix_.empty()) {
        const std::string detailPath = prefix_ + "ProcessListReport.csv";
        qvtext::TextWriter w(detailPath.c_str(), qvtext::TextWriter::Mode::Append);
        if (w.isOpen()) {
            DeviceLog log(c_, [](int, qint64) {});
            log.WriteLogDeviceInterface(w, 5);
            ResumeTouchScanning(c_);
            DetailRun run;
            run.workOrder = record_.workOrderNumber.toStdString();
            run.company = record_.company.toStdString();
            run.batchNumbering = !automatic;
            run.secondBatch = record_.processListFlag & 2;
            run.batch1 = batch1_;
            run.batch2 = batch2_;
            run.serialNumber = serialNumber_;
            run.list = record_.processList;
            run.passed = passed_;
            w.write(DetailRunText(run));
            w.close();
            AppendItemReports(detailPath, prefix_, run);

            ++counters_.test;
            if (r == 0)
                ++counters_.pass;
            else
                ++counters_.fail;
            showCounters();
            WriteSummaryCounters(local(summaryPath_), counters_);
            SummaryRow row;
            if (automatic)
                row.numbering = std::to_string(serialNumber_) + ",";
            else
                row.numbering = (record_.processListFlag & 2) ? batch1_ + "," + batch2_ : batch1_ + ",";
            row.firmware = masterVersionText(c_.records.fwVersion).toStdString();
            row.parameterCrc = c_.dev.parameterCrc;
            if (runTime_.empty()) {
                const qvtext::LocalTime t = qvtext::localTimeNow();
                char time[16];
                std::snprintf(time, sizeof time, "%02d:%02d:%02d", t.hour, t.minute, t.second);
                runTime_ = time;
            }
            row.time = runTime_;
            row.result = r == 0 ? "Pass" : "Fail";
            if (const char* failed = ProcessItemName(FirstFailedItem(run))) row.failedItem = failed;
            qvtext::TextWriter summary(local(summaryPath_).c_str(), qvtext::TextWriter::Mode::Append);
            summary.write(SummaryRowText(row));
        }
    }
    busy_ = false;
    toMain(qvui::WM_PAGE_STATE, 0, kTemplate);
}

void CQVProcDlg::ShowScanView(bool show) {
    // The scan view and the form are never on show together.
    static constexpr int kForm[] = {320, 321, 322, 323, 324, 325, 330, 331, 332, 333, 334, 335, 340,
                                    341, 342, 343, 344, kIdVersion, kIdResultText, kIdProgress, kIdList, kIdCounters};
    // The view takes the checks' reports while it is on show; the Diagnostic
    // page's view has them back afterwards.
    if (show && s_.g_pActiveScanDlg != scan_) {
        previousActive_ = s_.g_pActiveScanDlg;
        s_.g_pActiveScanDlg = scan_;
    } else if (!show && s_.g_pActiveScanDlg == scan_) {
        s_.g_pActiveScanDlg = previousActive_;
    }
    scan_->setVisible(show);
    const bool showWN = appSettings().options & kOptProcShowWN;
    for (int id : kForm) {
        const bool workOrder = std::find(std::begin(kWorkOrderControls), std::end(kWorkOrderControls), id) !=
                               std::end(kWorkOrderControls);
        if (QWidget* w = qvui::findControl(this, id)) w->setVisible(!show && (showWN || !workOrder));
    }
}

void CQVProcDlg::HideBanner() {
    if (banner_) banner_->hide();
}

void CQVProcDlg::placeBanner() {
    if (!banner_) return;
    const QRect page = frameOf(this), main = frameOf(window());
    banner_->showAt(PlaceBanner({page.left(), page.top(), page.right() + 1, page.bottom() + 1},
                                {main.left(), main.top(), main.right() + 1, main.bottom() + 1}));
}

void CQVProcDlg::ShowScanForOpenShort() {
    placeBanner();
    ShowScanView(true);
    scan_->SetRunState(1);
}

void CQVProcDlg::ShowScanForDiagnostic() {
    if (!LoadAverageGoldenSample(GoldenSampleDeviceOf(c_, programState()), s_)) {
        qvui::postMessage(this, qvui::WM_PROCESS_STEP, kProcessFail, kItemDiagnostic);
        return;
    }
    placeBanner();
    ShowScanView(true);
    scan_->SetRunState(4);
}

void CQVProcDlg::onToolbar(qint64 action) {
    switch (action) {
    case 0: {
        QWidget* button = main_ ? qvui::findControl(qobject_cast<QWidget*>(main_.data()), kButtonMenu) : nullptr;
        const QPoint at = button ? button->mapToGlobal(QPoint(button->width(), 0)) : mapToGlobal(QPoint(width(), 0));
        qvui::popupMenu(*menu_, at);
        break;
    }
    case 1:
        StartProcess();
        break;
    case 2:
        QDesktopServices::openUrl(QUrl::fromLocalFile(ProcessReportFolderRoot()));
        break;
    case 3:
        if (OpenFirmwareFile(this, c_, fw_, true, false)) {
            setStartEnabled(true);
            ShowPackageInfo();
        } else {
            setStartEnabled(false);
            emptyPackageTexts();
        }
        break;
    default:
        break;
    }
}

void CQVProcDlg::keyPressEvent(QKeyEvent* e) {
    // The main window's accelerator: Space starts a run; the key goes no further.
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat()) {
        StartProcess();
        e->accept();
        return;
    }
    CQVChdParentDlg::keyPressEvent(e);
}

bool CQVProcDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        switch (m->message()) {
        case qvui::WM_PROCESS_STEP:
            onItemResult(int(m->wParam()), int(m->lParam()));
            return true;
        case qvui::WM_TOOLBAR_ACTION:
            onToolbar(m->lParam());
            return true;
        case qvui::WM_SILENT_RESULT:
            if (record_.processList[0] == 0) {
                qvui::showMessageBox(this, QStringLiteral("Invalid configure file. Stop auto start process list."),
                                     QStringLiteral("Invalid configure file."), qvui::MessageIcon::Error);
            } else {
                StartProcess();
            }
            return true;
        default:
            break;
        }
    }
    return CQVChdParentDlg::event(e);
}

}  // namespace vcx
