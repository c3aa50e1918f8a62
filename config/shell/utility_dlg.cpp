#include "shell/utility_dlg.h"

#include "diag/diag_dlg.h"
#include "diag/silent_result_dlg.h"
#include "diag/diag_state.h"
#include "diag/draw_window.h"
#include "pages/about_dlg.h"
#include "pages/debug_dlg.h"
#include "pages/proc_dlg.h"
#include "params/firmware_file.h"
#include "core/chd_parent_dlg.h"
#include "shell/page_table.h"
#include "core/strings.h"
#include "core/app_settings.h"
#include "shell/app_startup.h"
#include "core/built_controls.h"
#include "core/device_finder.h"
#include "core/device_readout.h"
#include "core/device_text.h"
#include "shell/page_rules.h"
#include "update/update_dlg.h"
#include "core/program_hooks.h"
#include "core/process_items.h"
#include "ui/control_ids.h"
#include "ui/named_window.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"
#include "core/program_state.h"
#include "core/tip_controls.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>

namespace vcx {

namespace {

constexpr uint32_t kGreyRefresh = 0xA2A2A2;

QLabel* field(QWidget* parent, int id) {
    auto* l = new QLabel(parent);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setMinimumWidth(260);
    qvui::setControlId(l, id);
    return l;
}

QLabel* caption(QWidget* parent, int id, const QString& text) {
    auto* l = new QLabel(text, parent);
    qvui::setControlId(l, id);
    return l;
}

} // namespace

QColor colorRef(uint32_t v) { return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)); }

const std::array<PageButtonLook, kButtonCount>& pageButtonLooks() {
    static const std::array<PageButtonLook, kButtonCount> looks{{
        {kIdDraw, "Draw", colorRef(0x11A880), colorRef(0xADADAD)},
        {kIdRefresh, "Refresh", colorRef(0x538C01), colorRef(0xA2A2A2)},
        {pageButtonId(kPageDiagnostic), "Diagnostic", colorRef(0x783F12), colorRef(0xA2A2A2)},
        {pageButtonId(kPageParameters), "Parameters", colorRef(0xD5AE06), colorRef(0xB6B6B6)},
        {pageButtonId(kPageFieldUpdate), "Field Update", colorRef(0x008CF1), colorRef(0xBBBBBB)},
        {pageButtonId(kPageDebug), "Debug", colorRef(0x703FE9), colorRef(0xC9C9C9)},
        {pageButtonId(kPageProcessConfig), "Process Config", colorRef(0x893A7D), colorRef(0xB0B0B0)},
        {pageButtonId(kPageInformation), "Information", colorRef(0x2ABADD), colorRef(0xC1C1C1)},
    }};
    return looks;
}

CVCXUtilityDlg::CVCXUtilityDlg(QWidget* parent) : QDialog(parent), c_(controller()), finder_(&deviceFinder()) {
    addProgramStrings();
    setWindowTitle(QLatin1String(kMainWindowTitle));
    // Not application-modal while it runs (exec() makes a dialog with no
    // modality of its own application-modal): the drawing window and the 3-D
    // view beside it keep their input. Window-modal without a parent blocks
    // no other window.
    setWindowModality(Qt::WindowModal);
    InstallDrawWindowHooks();
    timers_ = new qvui::WindowTimers(this);
    buildControls();
    new qvui::NamedWindow(this, kMainWindowRemoteMessages);
    CQVChdParentDlg::setMessageFilter([this](QWidget* page, QEvent* e) { return keyFilter(page, e, 1); });
}

CVCXUtilityDlg::~CVCXUtilityDlg() {
    CQVChdParentDlg::setMessageFilter({});
    if (!ended_) CloseDrawWindow();
    if (!ended_ && bound_) {
        // Destroyed without its shut-down (a test, an aborted start): still let go of the library cleanly.
        unregisterNotifications(c_);
        if (c_.dev.device != INVALID_HANDLE_VALUE && c_.api.CloseDevice) c_.api.CloseDevice(c_.dev.device);
        c_.dev.device = INVALID_HANDLE_VALUE;
        unloadControllerLibrary(c_);
    }
}

void CVCXUtilityDlg::buildControls() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(false);
    scroll_->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll_);
    content_ = new QWidget;
    content_->setMouseTracking(true);
    auto* layout = new QVBoxLayout(content_);

    // The device read-out.
    auto* device = new QGroupBox(content_);
    auto* grid = new QGridLayout(device);
    grid->addWidget(caption(device, kIdFirmwareVersionLabel, {}), 0, 0);
    grid->addWidget(field(device, kIdMasterVersion), 0, 1);
    // The slave rows show only in the full layout.
    for (int i = 0; i < kMaxSlaves; ++i) {
        grid->addWidget(caption(device, kIdFirstSlaveVersionLabel + i, {}), 1 + i, 0);
        grid->addWidget(field(device, kIdFirstSlaveVersion + i), 1 + i, 1);
    }
    grid->addWidget(caption(device, kIdParamCrcLabel, QStringLiteral("Parameters CRC")), 5, 0);
    grid->addWidget(field(device, kIdParamCrc), 5, 1);
    grid->addWidget(caption(device, kIdHostInterfaceLabel, QStringLiteral("Interface")), 6, 0);
    grid->addWidget(field(device, kIdHostInterface), 6, 1);
    grid->addWidget(caption(device, kIdPanelInformationLabel, QStringLiteral("Panel Information")), 7, 0);
    grid->addWidget(field(device, kIdPanelInformation), 7, 1);
    auto* picture = new QLabel(device);
    qvui::setControlId(picture, kIdPicture);
    picture->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48));
    grid->addWidget(picture, 0, 2, 8, 1, Qt::AlignRight | Qt::AlignTop);
    layout->addWidget(device);

    // Page buttons.
    QFont bold = font();
    bold.setBold(true);
    buttonFont_ = bold;
    smallFont_ = font();
    smallFont_.setPointSize(8);
    auto* buttons = new QHBoxLayout;
    for (const PageButtonLook& look : pageButtonLooks()) {
        auto* b = new QPushButton(QLatin1String(look.text), content_);
        qvui::setControlId(b, look.id);
        b->setFont(bold);
        b->setMinimumHeight(36);
        b->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(b->text()) + 28);
        const int id = look.id;
        connect(b, &QPushButton::clicked, this, [this, id] { onPageButton(id); });
        buttons->addWidget(b);
    }
    if (!built::kDraw) qvui::findControl(content_, kIdDraw)->setToolTip(qvui::loadString(IDS_NOT_BUILT_TIP));
    layout->addLayout(buttons);

    // The page area and the command buttons beside it.
    auto* body = new QHBoxLayout;
    auto* pageArea = new QWidget(content_);
    pageArea->setMinimumSize(640, 420);
    auto* pageGrid = new QGridLayout(pageArea);
    pageGrid->setContentsMargins(0, 0, 0, 0);
    for (const PageRow& row : pageTable()) {
        CQVChdParentDlg* page = row.make(c_, row, pageArea);
        pages_[size_t(row.index)] = page;
        pageGrid->addWidget(page, 0, 0);
        page->hide();
    }
    about_ = qobject_cast<CQVAboutDlg*>(pages_[kPageInformation]);
    proc_ = new CQVProcDlg(c_, loadedFirmware(), diagState(), pageArea);
    pageGrid->addWidget(proc_, 0, 0);
    proc_->hide();
    body->addWidget(pageArea, 1);
    auto* commands = new QVBoxLayout;
    for (int id = kIdFirstCommand; id < kIdFirstCommand + kCommandCount; ++id) {
        auto* b = new QPushButton(content_);
        qvui::setControlId(b, id);
        b->setMinimumSize(240, 44);
        connect(b, &QPushButton::clicked, this, [this, id] { onCommandButton(id); });
        commands->addWidget(b);
    }
    // The two switches show their state as the button's checked look.
    auto* notify = new QPushButton(QStringLiteral("Show\nNotification"), content_);
    qvui::setControlId(notify, kIdShowNotification);
    notify->setCheckable(true);
    connect(notify, &QPushButton::clicked, this, [this] { onNotificationSwitch(); });
    auto* halt = new QPushButton(QStringLiteral("Touch and Halt"), content_);
    qvui::setControlId(halt, kIdTouchAndHalt);
    halt->setCheckable(true);
    connect(halt, &QPushButton::clicked, this, [this] { onTouchAndHalt(); });
    commands->addWidget(notify);
    commands->addWidget(halt);
    commands->addStretch(1);
    body->addLayout(commands);
    layout->addLayout(body);

    content_->adjustSize();
    scroll_->setWidget(content_);
}

QString CVCXUtilityDlg::fieldText(int id) const { return GetDlgItemText(content_, id); }

bool CVCXUtilityDlg::initDialog() {
    if (!loadControllerLibrary(this, c_, libraryCandidates(QCoreApplication::applicationDirPath()))) {
        error_ = c_.loadError.isEmpty() ? QStringLiteral("the controller library was refused") : c_.loadError;
        bound_ = c_.library != nullptr;
        return false;
    }
    bound_ = true;
    proposalTicks_ = 0;
    connection_ = DeviceConnection{};
    updateBusy_ = pageBusy_ = false;
    toolbarEnabled_ = {1, 1, 1, 1};

    // Tooltips of the command buttons.
    const std::pair<int, uint32_t> tips[] = {
        {kIdFirstCommand, 768}, {kIdFirstCommand + 1, 769}, {kIdFirstCommand + 2, 770}, {kIdShowNotification, 770}};
    for (const auto& [id, text] : tips) qvui::findControl(content_, id)->setToolTip(qvui::loadString(text));

    if (startupState().options.silentMode) setWindowOpacity(0.0);
    ProgramState& ps = programState();
    if (QScreen* s = screen()) ps.screenScale = int(s->logicalDotsPerInchY() * 100 / 96);
    ps.programFolder = QCoreApplication::applicationDirPath() + u'/';

    loadAppSettings(appSettings(), workingFolders(), SettingsEnvironment::forThisProgram());
    move(appSettings().utyPos.x, appSettings().utyPos.y);
    resize(content_->size());
    preferredPage_ = shownPage_ = std::clamp(int(appSettings().childIdx), 0, kPageCount - 1);
    currentPage_ = -1;
    debugButtonsAllowed_ = haltButtonAllowed_ = true;
    touchAndHalt_ = false;
    c_.dev.eventHaltSupported = false;
    c_.dev.rememberedKey.clear();
    about_->setButtonFont(buttonFont_);
    // The production-line page takes a process configuration named on the
    // command line (before timer 10 would give it to the Field Update page).
    proc_->setMainWindow(this);
    proc_->initDialog();
    processView_ = proc_->record().processList[0] != 0;
    proc_->setVisible(processView_);
    if (processView_) proc_->setFocus();  // Space starts a run
    if (auto* debug = qobject_cast<CQVDebugDlg*>(pages_[kPageDebug])) debug->setButtonFont(buttonFont_);

    for (const PageButtonLook& look : pageButtonLooks()) applyButtonLook(look.id, true);
    qvui::findControl<QPushButton>(content_, kIdShowNotification)->setChecked(appSettings().options & kOptAbnMsg);
    initNotifications();

    ClearDlgItem();
    if (FindQVDevice(c_, *finder_))
        UpdateDlgItem();
    else
        reportNoController();

    const CommandLineOptions& o = startupState().options;
    if (!startupState().fileArg.isEmpty()) {
        timers_->start(kTimerFileArgument, 100);
    } else if (o.optOS || o.optSR || o.optNL != 0xFF) {
        if (qvui::findControl(content_, pageButtonId(kPageDiagnostic))->isEnabled())
            timers_->start(kTimerCommandLineTest, 100);
        else
            timers_->start(kTimerExit, 10);
    } else if (o.silentMode) {
        // Nothing to update: "-s" (or "-enumfu", which found no listed controller) could not run.
        if (o.optS || o.optEnumFU) startupState().exitStatus = kExitCouldNotRun;
        timers_->start(kTimerExit, 10);
    }
    timers_->start(kTimerFitWorkArea, 50);
    if (QScreen* s = screen())
        connect(s, &QScreen::availableGeometryChanged, this, &CVCXUtilityDlg::onDisplayChange);
    return true;
}

void CVCXUtilityDlg::reportNoController() const {
    std::fprintf(stderr, "%s\n", noControllerLine(*finder_).toLocal8Bit().constData());
    std::fflush(stderr);
}

void CVCXUtilityDlg::UpdateDlgItem() {
    writeCommandLog(c_, u"\rCVCXUtilityDlg::UpdateDlgItem()\r");
    pageBusy_ = false;
    ProgramState& ps = programState();
    const DeviceReadout r = ReadDevice(c_, ps, !updateBusy_ && !pageBusy_ && !extraModeOn_);
    if (r.extraModeSwitched) extraModeOn_ = true;
    if (!r.complete) return;
    showReadout(r);

    for (CQVChdParentDlg* p : pages_) p->UpdateDlgItem();
    proc_->UpdateDlgItem();

    const bool diagUsable = pages_[kPageDiagnostic]->isUsable();
    const bool paraUsable = pages_[kPageParameters]->isUsable();
    PageRuleInput rules;
    rules.ostraModel = c_.dev.ostraModel;
    rules.masterInBoot = r.masterInBoot;
    rules.anySlaveInBoot = r.anySlaveInBoot;
    rules.engineerMode = ps.engineerMode;
    rules.serialDevice = ps.serialDevice;
    rules.rs232 = c_.dev.deviceType & QV_DEVICE_RS232;
    rules.diagnosticUsable = diagUsable;
    rules.parametersUsable = paraUsable;
    const PageButtonStates buttons = pageButtonsForDevice(rules);
    for (int id = kIdDraw; id <= kIdLastButton; ++id) setPageButton(id, buttons[id]);

    preferredPage_ = choosePage(preferredPage_, buttons,
                                {c_.dev.ostraModel, !startupState().fileArg.isEmpty(), diagUsable, paraUsable});
    SelectPage(preferredPage_, 1);
    SetDlgItemText(content_, kIdRefresh, qvui::loadString(1000));
    refreshHaltButtons();
    trayAfterReadout(r.masterInBoot);
    // The proposal, when the Diagnostic page's read of the system-reference
    // version (its status word) found one of at most 1.99.
    if (systemReferenceProposalWanted(appSettings().options, diagState().g_wSRVersion)) {
        proposalTicks_ = 0;
        timers_->start(kTimerProposal, 500);
    }
}

void CVCXUtilityDlg::showReadout(const DeviceReadout& r) {
    // Every field is written, those the read-out did not fill with an empty text:
    // nothing of an earlier controller stays on show.
    SetDlgItemText(content_, kIdParamCrc, r.parameterCrc);
    SetDlgItemText(content_, kIdMasterVersion, r.masterVersion);
    SetDlgItemText(content_, kIdFirmwareVersionLabel, r.versionLabel);
    const QSize before = layoutSize();
    for (int i = 0; i < kMaxSlaves; ++i) {
        const bool present = i < r.slaveCount;
        SetDlgItemText(content_, kIdFirstSlaveVersion + i, r.slaveVersions[size_t(i)]);
        SetDlgItemText(content_, kIdFirstSlaveVersionLabel + i, r.slaveLabels[size_t(i)]);
        qvui::findControl(content_, kIdFirstSlaveVersionLabel + i)->setVisible(present);
        qvui::findControl(content_, kIdFirstSlaveVersion + i)->setVisible(present);
    }
    fullLayout_ = r.slaveCount > 0;
    followLayout(before);
    SetDlgItemText(content_, kIdHostInterface, r.hostInterface);
    SetDlgItemText(content_, kIdPanelInformation, r.panelInformation);
}

void CVCXUtilityDlg::ClearDlgItem() {
    writeCommandLog(c_, u"\rCVCXUtilityDlg::ClearDlgItem()\r");
    // The drawing window forgets its contacts: the controller that sent them is gone.
    if (CQVDrawWnd* draw = DrawWindow()) qvui::sendMessage(draw, qvui::WM_CALIBRATION_POINT, 0xFFFF, 0xFFFF);
    for (int id : {kIdHostInterface, kIdPanelInformation, kIdFirmwareVersionLabel, kIdMasterVersion, kIdParamCrc})
        SetDlgItemText(content_, id, {});
    for (int i = 0; i < kMaxSlaves; ++i) {
        SetDlgItemText(content_, kIdFirstSlaveVersionLabel + i, {});
        SetDlgItemText(content_, kIdFirstSlaveVersion + i, {});
    }
    const QSize before = layoutSize();
    fullLayout_ = false;
    for (int i = 0; i < kMaxSlaves; ++i) {
        qvui::findControl(content_, kIdFirstSlaveVersionLabel + i)->hide();
        qvui::findControl(content_, kIdFirstSlaveVersion + i)->hide();
    }
    followLayout(before);
    extraModeOn_ = false;
    ForgetDevice(c_);
    const bool pending = connection_.reconnectPending();
    if (!pending) {
        // A Field Update that failed stays in view when its controller is gone:
        // its result says why, which the Information page would hide.
        auto* update = qobject_cast<CQVUpdateDlg*>(pages_[kPageFieldUpdate]);
        const bool updateFailureShown =
            currentPage_ == kPageFieldUpdate && update && update->resultShown() && !update->resultSuccess();
        if (!updateFailureShown) SelectPage(kPageInformation, 0);
        SetDlgItemText(content_, kIdRefresh, qvui::loadString(1001));
    }
    const PageButtonStates buttons = pageButtonsWithoutDevice(pending);
    for (int id = kIdDraw; id <= kIdLastButton; ++id) setPageButton(id, buttons[id]);
    trayAfterClear();
    HideAllTips();
    for (CQVChdParentDlg* p : pages_) p->ClearDlgItem();
    // The command buttons follow the pages' usable flags, which are cleared only now
    // ("Log UI Parameters Information" needs a read parameter set).
    refreshCommandButtons();
}

QSize CVCXUtilityDlg::layoutSize() const {
    // Rows shown or hidden a moment ago count only once their layouts ran: run
    // them now, inner first, instead of reading a size from before the change.
    for (QLayout* l : {qvui::findControl(content_, kIdMasterVersion)->parentWidget()->layout(), content_->layout()}) {
        l->invalidate();
        l->activate();
    }
    return content_->sizeHint();
}

void CVCXUtilityDlg::followLayout(const QSize& before) {
    const QSize after = layoutSize();
    content_->resize(after);
    // The window grows or shrinks by what the layout gained or lost (the slave
    // rows), so the size it has otherwise (the screen's, the user's) stays: a
    // reconnect leaves it as it was.
    if (after != before && (isVisible() || bound_)) resize(size() + (after - before));
}

void CVCXUtilityDlg::applyButtonLook(int id, bool face) {
    auto* b = qvui::findControl<QPushButton>(content_, id);
    if (!b) return;
    const PageButtonLook& look = pageButtonLooks()[size_t(id - kIdDraw)];
    const QColor fill = face ? look.face : look.idle;
    const QColor hover(255 - fill.red(), 255 - fill.green(), 255 - fill.blue());
    b->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: white; border: 1px solid #606060; "
                                    "padding: 4px 10px; } QPushButton:hover { color: %2; }")
                         .arg(fill.name(), hover.name()));
    b->setProperty("faceLook", face);
}

void CVCXUtilityDlg::setPageButton(int id, bool enabled) {
    buttonEnabled_[size_t(id - kIdDraw)] = enabled;
    const bool usable = buttonUsable(id);
    if (auto* b = qvui::findControl(content_, id)) b->setEnabled(usable);
    applyButtonLook(id, usable);
}

bool CVCXUtilityDlg::buttonUsable(int id) const {
    if (id == kIdDraw && !built::kDraw) return false;
    return buttonEnabled_[size_t(id - kIdDraw)];
}

void CVCXUtilityDlg::SelectPage(int index, int mode) {
    if (index >= kPageCount || index < 0) return;
    if (processView_) {
        // The production-line page stays in view until the user picks a page.
        if (mode != 2) {
            if (mode != 0) preferredPage_ = index;
            refreshCommandButtons();
            return;
        }
        processView_ = false;
        proc_->hide();
        if (currentPage_ >= 0) pages_[size_t(currentPage_)]->show();
    }
    if (index == currentPage_) {
        if (mode == 2 && programState().engineerMode && index == kPageParameters) {
            qvui::sendMessage(pages_[kPageDebug], qvui::WM_DEBUG_COMMAND, 12, 0);
            index = kPageDebug;
        } else {
            refreshCommandButtons();
            return;
        }
    }
    if (currentPage_ >= 0) {
        applyButtonLook(pageButtonId(currentPage_), false);
        pages_[size_t(currentPage_)]->hide();
    }
    applyButtonLook(pageButtonId(index), true);
    pages_[size_t(index)]->show();
    currentPage_ = index;
    if (mode != 0) preferredPage_ = index;
    shownPage_ = index;
    refreshCommandButtons();

    // The Debug page's parameter lock holds only while that page is shown: it
    // goes when another page comes, and comes back with the page when its
    // parameter list (which edits the controller's lists under the lock) is
    // the tool on show.
    const ParameterFunctionTable& table = c_.records.paraFuncTable;
    if (parameterLockOn_ && index != kPageDebug) {
        if (table.ParameterUpdateLock) table.ParameterUpdateLock(c_.dev.device, 0);
        parameterLockOn_ = false;
    } else if (!parameterLockOn_ && index == kPageDebug && c_.dev.device != INVALID_HANDLE_VALUE &&
               table.ParameterUpdateLock) {
        auto* debug = qobject_cast<CQVDebugDlg*>(pages_[kPageDebug]);
        if (debug && debug->ParameterListShown()) {
            table.ParameterUpdateLock(c_.dev.device, 1);
            parameterLockOn_ = true;
        }
    }
}

void CVCXUtilityDlg::refreshCommandButtons() {
    struct Row {
        std::array<uint32_t, 4> text; // 0: hidden
    };
    static const Row rows[kPageCount] = {
        {{1100, 1101, 1102, 1103}}, {{1200, 1201, 1202, 1203}}, {{1300, 1301, 1302, 0}},
        {{1400, 1401, 0, 0}},       {{1450, 1451, 0, 0}},       {{1550, 1551, 0, 0}},
    };
    if (processView_) {
        // The production-line page's Menu, Start, Open Report Folder and Load PFP File.
        for (int i = 0; i < kCommandCount; ++i) {
            auto* b = qvui::findControl<QPushButton>(content_, kIdFirstCommand + i);
            b->setText(qvui::loadString(CQVProcDlg::kCommandTexts[size_t(i)]));
            const bool enabled = i == 1 ? proc_->startEnabled() : i == 3 ? proc_->loadPfpEnabled() : true;
            b->setEnabled(enabled && !pageBusy_);
            b->setToolTip(QString());
            b->show();
        }
        refreshHaltButtons();
        return;
    }
    if (currentPage_ < 0) return;
    const Row& row = rows[currentPage_];
    const bool diagUsable = pages_[kPageDiagnostic]->isUsable();
    const bool paraUsable = pages_[kPageParameters]->isUsable();
    for (int i = 0; i < kCommandCount; ++i) {
        auto* b = qvui::findControl<QPushButton>(content_, kIdFirstCommand + i);
        uint32_t text = row.text[size_t(i)];
        bool shown = text != 0;
        bool enabled = true;
        const bool built = commandButtonBuilt(currentPage_, i);
        switch (currentPage_) {
        case kPageDiagnostic:
            enabled = startupState().options.optNL == 0xFF && (i != 3 || diagUsable);
            break;
        case kPageFieldUpdate:
            enabled = toolbarEnabled_[size_t(i)] != 0;
            break;
        case kPageDebug:
            if (i == 3) {
                shown = programState().engineerMode;
                enabled = c_.records.debug.valid && haltButtonAllowed_;
            } else {
                enabled = diagUsable;
            }
            break;
        case kPageInformation:
            enabled = i != 1 || (!updateBusy_ && paraUsable);
            break;
        default:
            break;
        }
        if (shown) {
            b->setText(text ? qvui::loadString(text) : QStringLiteral("Event Halt"));
            b->setEnabled(enabled && built && !pageBusy_);
        }
        b->setVisible(shown);
        // Tips only where the page's buttons have them; a button whose work is
        // not built says so instead.
        const bool tipsActive = currentPage_ >= 1 && currentPage_ <= 3;
        b->setToolTip(QString());
        if (!built) {
            b->setToolTip(qvui::loadString(IDS_NOT_BUILT_TIP));
        } else if (tipsActive) {
            if (currentPage_ == kPageParameters && (i == 1 || i == 2)) b->setToolTip(qvui::loadString(779 + i));
            if (currentPage_ == kPageFieldUpdate && i == 0)
                b->setToolTip(QStringLiteral("(*.qvf, *.qvc, *.pnf, *.pnc, *.pxf, *.pxc, *.pfp)"));
            if (currentPage_ == kPageDebug && i < 2) b->setToolTip(qvui::loadString(768 + i));
        }
    }
    refreshHaltButtons();
}

void CVCXUtilityDlg::refreshHaltButtons() {
    // The switch state is the debug record's halt-enable byte.
    touchAndHalt_ = c_.records.debug.eventHalt[0] != 0;
    QWidget* notify = qvui::findControl(content_, kIdShowNotification);
    auto* halt = qvui::findControl<QPushButton>(content_, kIdTouchAndHalt);
    const bool onDebug = currentPage_ == kPageDebug;
    notify->setVisible(onDebug);
    halt->setVisible(onDebug);
    if (!onDebug) return;
    const bool engineer = programState().engineerMode;
    const bool diagUsable = pages_[kPageDiagnostic]->isUsable();
    halt->setEnabled(!pageBusy_ && (engineer || (c_.records.debug.valid && haltButtonAllowed_)));
    halt->setChecked(touchAndHalt_);
    notify->setEnabled(!pageBusy_ && diagUsable && (engineer || (debugButtonsAllowed_ && haltButtonAllowed_)));
}

void CVCXUtilityDlg::onPageState(int state, int templateId) {
    if (templateId == kTemplateFieldUpdate) {
        updateBusy_ = state != 0;
        connection_.setUpdateBusy(updateBusy_);
    }
    const int own = pageOfTemplate(templateId);
    if (state != 0) busyTemplate_ = templateId;
    if (state != 0) {
        for (int id = kIdDraw; id <= kIdLastButton; ++id) {
            if (!pageButtonLockedWhileBusy(id, own)) continue;
            if (auto* b = qvui::findControl(content_, id)) b->setEnabled(false);
            applyButtonLook(id, false);
        }
        for (int id = kIdFirstCommand; id < kIdFirstCommand + kCommandCount; ++id)
            if (auto* b = qvui::findControl(content_, id)) b->setEnabled(false);
        for (int id : {kIdShowNotification, kIdTouchAndHalt})
            if (auto* b = qvui::findControl(content_, id)) b->setEnabled(false);
    } else {
        for (int id = kIdDraw; id <= kIdLastButton; ++id) {
            const bool enabled = buttonUsable(id);
            qvui::findControl(content_, id)->setEnabled(enabled);
            applyButtonLook(id, enabled && (id < kIdFirstPageButton || id == pageButtonId(currentPage_)));
        }
    }
    pageBusy_ = state != 0;
    if (state == 0) refreshCommandButtons();
    if (templateId == kTemplateFieldUpdate && state == 0) timers_->start(kTimerReread, 10);
    // A reload asked for the next arrival (state 2) stays asked when the page
    // reports idle after handing the controller to the reconnect; a new busy
    // state decides it again.
    if (templateId == kTemplateParameters && state != 0) connection_.setReloadDefaultsOnArrival(state == 2);
    // The Information page's Folder Configure waits while any page works.
    if (diagState().UseTabletPC == 0)
        if (QWidget* b = qvui::findControl(about_, CQVAboutDlg::kIdFolderConfigure)) b->setEnabled(state == 0);
}

void CVCXUtilityDlg::onToolbarFromPage(quint64 buttonId, qint64 enable) {
    if (buttonId < quint64(kIdFirstCommand) || buttonId >= quint64(kIdFirstCommand + kCommandCount) ||
        (enable != 0 && enable != 1))
        return;
    if (processView_) {
        // The production-line page's own states (startEnabled, loadPfpEnabled).
        refreshCommandButtons();
        return;
    }
    toolbarEnabled_[size_t(buttonId - kIdFirstCommand)] = int(enable);
    if (currentPage_ == kPageFieldUpdate) refreshCommandButtons();
}

void CVCXUtilityDlg::onPageButton(int id) {
    if (id == kIdDraw) {
        OpenDrawWindow(c_, this);
        return;
    }
    if (id == kIdRefresh) {
        onRefresh();
        return;
    }
    SelectPage(id - kIdFirstPageButton, 2);
}

void CVCXUtilityDlg::onCommandButton(int id) {
    if (processView_) {
        qvui::sendMessage(proc_, qvui::WM_TOOLBAR_ACTION, 0, id - kIdFirstCommand);
        return;
    }
    if (currentPage_ < 0) return;
    qvui::sendMessage(pages_[size_t(currentPage_)], qvui::WM_TOOLBAR_ACTION, 0, id - kIdFirstCommand);
}

void CVCXUtilityDlg::onNotificationSwitch() {
    uint32_t& options = appSettings().options;
    options ^= kOptAbnMsg;
    qvui::findControl<QPushButton>(content_, kIdShowNotification)->setChecked(options & kOptAbnMsg);
}

void CVCXUtilityDlg::onTouchAndHalt() {
    ParameterDebug& d = c_.records.debug;
    if (!touchAndHalt_) {
        QString folder = workingFolders()[kDbgLogFolder];
        if (!BrowseForFolder(QStringLiteral("Select Log File Folder"), this, folder)) {
            refreshHaltButtons(); // cancelled: the switch stays off
            return;
        }
        workingFolders()[kDbgLogFolder] = folder;
        // Halt on the touch events: items 1..3 and 11 on, 5..10 off, each only where it differs.
        auto prepare = [](ParameterItem& item, uint8_t value) {
            if (item.stored != value) item.value = value;
        };
        ParameterItem* items[11] = {&d.item[0], &d.item[1], &d.item[2], &d.item[3], &d.item[4], &d.item[5],
                                    &d.item[6], &d.item[7], &d.item[8], &d.item9[0], &d.item9[1]};
        for (int i : {0, 1, 2, 10}) prepare(*items[i], 1);
        for (int i = 4; i <= 9; ++i) prepare(*items[i], 0);
        d.eventHalt[0] = 1;
        touchAndHalt_ = true;
    } else {
        d.eventHalt[0] = 0;
        touchAndHalt_ = false;
        SetDiagnosticScanState(c_);
    }
    refreshHaltButtons();
}

void CVCXUtilityDlg::onRefresh() {
    if (updateBusy_ || connection_.reconnectPending()) return;
    if (c_.dev.device == INVALID_HANDLE_VALUE) {
        auto* b = qvui::findControl(content_, kIdRefresh);
        b->setEnabled(false);
        b->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: white; }")
                             .arg(colorRef(kGreyRefresh).name()));
        if (FindQVDevice(c_, *finder_))
            UpdateDlgItem();
        else
            reportNoController();
        timers_->start(kTimerRefreshRestore, 500);
    } else {
        DisconnectDevice();
    }
}

void CVCXUtilityDlg::DisconnectDevice() {
    c_.dev.rememberedKey = c_.dev.currentKey;
    parameterLockOn_ = false;
    if (c_.dev.device != INVALID_HANDLE_VALUE) {
        if (c_.api.ResetMPU) c_.api.ResetMPU(c_.dev.device);
        if (c_.api.CloseDevice) c_.api.CloseDevice(c_.dev.device);
    }
    c_.dev.device = INVALID_HANDLE_VALUE;
    run(connection_.disconnected());
}

void CVCXUtilityDlg::onDeviceChange(qvui::WindowMessage& m) {
    if (!c_.api.QVDeviceChange) return;
    int kind = -1;
    if (!c_.api.QVDeviceChange(uint32_t(m.wParam()), reinterpret_cast<const QVDeviceBroadcast*>(m.lParam()), &kind))
        return;
    if (kind == 1) {
        writeCommandLog(c_, u"\rCVCXUtilityDlg::OnDeviceChange(QVDC_ARRIVAL)\r");
        run(connection_.arrivalEvent());
    } else if (kind == 0) {
        writeCommandLog(c_, u"\rCVCXUtilityDlg::OnDeviceChange(QVDC_REMOVE)\r");
        run(connection_.removalEvent());
    }
    m.setResult(1);
}

void CVCXUtilityDlg::run(DeviceConnection::Actions actions) {
    using Step = DeviceConnection::Step;
    for (const DeviceConnection::Action& a : actions) {
        switch (a.step) {
        case Step::StartTimer: timers_->start(a.timer, a.ms); break;
        case Step::StopTimer: timers_->stop(a.timer); break;
        case Step::DeviceChanged: programState().deviceChanged = true; break;
        case Step::ForgetParameterLock: parameterLockOn_ = false; break;
        case Step::Clear: ClearDlgItem(); break;
        case Step::Search: run(connection_.searched(FindQVDevice(c_, *finder_))); break;
        case Step::ReadOut: UpdateDlgItem(); break;
        case Step::ReloadDefaults: reloadDefaultsAndReset(); break;
        case Step::EnableRefresh: setPageButton(kIdRefresh, true); break;
        case Step::ShowInformation:
            // The reconnect gave up: a page that ended its work on the reconnect
            // (Apply, Import, Reload Default) is not busy any more, so the program
            // can be closed; a reload asked for the next arrival stays asked.
            if (pageBusy_ && !updateBusy_) {
                const bool reload = connection_.reloadDefaultsOnArrival();
                onPageState(0, busyTemplate_);
                connection_.setReloadDefaultsOnArrival(reload);
            }
            SelectPage(kPageInformation, 0);
            break;
        }
    }
}

void CVCXUtilityDlg::reloadDefaultsAndReset() {
    // The Parameters page asked for the defaults: written now, and the controller
    // is reset so that it starts on them (it is found again after the reset).
    const ParameterFunctionTable& t = c_.records.paraFuncTable;
    if (t.ReloadAllDefaultParameter) t.ReloadAllDefaultParameter(c_.dev.device);
    uint8_t status = 0;
    if (t.FlushParameter) t.FlushParameter(c_.dev.device, &status);
    DisconnectDevice();
}

void CVCXUtilityDlg::fitToWorkArea() {
    QScreen* s = screen();
    if (!s) return;
    const QRect work = s->availableGeometry();
    const QSize layout = content_->sizeHint().expandedTo(content_->size());
    QSize size = this->size();
    if (size.width() > work.width() || size.height() > work.height()) {
        resize(size.boundedTo(work.size()));
    } else if ((size.width() < layout.width() || size.height() < layout.height()) &&
               layout.width() <= work.width() && layout.height() <= work.height()) {
        resize(layout);
        scroll_->verticalScrollBar()->setValue(0);
        scroll_->horizontalScrollBar()->setValue(0);
    }
    show();
}

void CVCXUtilityDlg::onTimer(int id) {
    switch (id) {
    case kTimerProcessExit:
    case kTimerExit:
        timers_->stop(id);
        ExitDlg();
        break;
    case kTimerReread:
        timers_->stop(kTimerReread);
        ClearDlgItem();
        UpdateDlgItem();
        break;
    case kTimerReconnect:
        run(connection_.reconnectTick());
        break;
    case kTimerRefreshRestore:
        timers_->stop(kTimerRefreshRestore);
        setPageButton(kIdRefresh, true);
        applyButtonLook(kIdRefresh, true);
        break;
    case kTimerEngineerMode:
        // The engineer-mode switch, reachable only from outside the program.
        timers_->stop(kTimerEngineerMode);
        if (updateBusy_ || connection_.reconnectPending()) break;
        programState().engineerMode = !programState().engineerMode;
        refreshCommandButtons(); // the command and halt buttons follow the mode
        if (programHooks().engineerModeChanged) programHooks().engineerModeChanged();
        break;
    case kTimerRestore:
        timers_->stop(kTimerRestore);
        connection_.setExclusive(true);
        onTimerRestoreTray();
        if (isVisible()) ExitDlg();
        break;
    case kTimerProposal:
        onProposalTick();
        break;
    case kTimerExtraMode:
        onExtraModeTick();
        break;
    case kTimerReconnectSettled:
        run(connection_.reconnectSettled());
        break;
    case kTimerArrival:
        run(connection_.arrivalTick());
        // The countdown is over: the Field Update page takes the arrival of its update.
        if (updateBusy_ && !timers_->isActive(kTimerArrival) && programHooks().updateResumeAfterArrival)
            programHooks().updateResumeAfterArrival();
        break;
    case kTimerFileArgument:
        timers_->stop(kTimerFileArgument);
        if (programHooks().updateStartWithFile && !startupState().fileArg.isEmpty()) {
            const QString file = startupState().fileArg;
            startupState().fileArg.clear();
            programHooks().updateStartWithFile(file);
        }
        break;
    case kTimerRemoval:
        run(connection_.removalTick());
        break;
    case kTimerFitWorkArea:
        timers_->stop(kTimerFitWorkArea);
        fitToWorkArea();
        break;
    case kTimerCommandLineTest:
        timers_->stop(kTimerCommandLineTest);
        if (startupState().options.optNL != 0xFF) SelectPage(kPageDiagnostic, 2);
        if (auto* diag = qobject_cast<CQVDiagDlg*>(pages_[kPageDiagnostic]); !diag || diag->RunCommandLineTest())
            timers_->start(kTimerExit, 10);
        break;
    case kTimerProcessStep:
        // From outside only: the process page's next step.
        timers_->stop(kTimerProcessStep);
        if (processPage().nextStep) processPage().nextStep();
        break;
    default:
        // Timers whose work belongs to pages of a later version (9, 10, 11): stop them.
        timers_->stop(id);
        break;
    }
}

bool CVCXUtilityDlg::keyFilter(QWidget*, QEvent* e, int) {
    if (startupState().pdLineState != 0) return false;
    if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return false;
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() != Qt::Key_Escape || k->isAutoRepeat()) return false;
    if (e->type() == QEvent::KeyPress) {
        escapeDown_ = true;
        return false;
    }
    if (!escapeDown_) return false;
    escapeDown_ = false;
    timers_->start(kTimerExit, 10);
    return true;
}

bool CVCXUtilityDlg::event(QEvent* e) {
    if (auto* m = qvui::WindowMessage::from(e)) {
        switch (m->message()) {
        case qvui::WM_CLOSE:
            ExitDlg();
            return true;
        case qvui::WM_TIMER:
            if (ended_) return true;
            onTimer(int(m->wParam()));
            return true;
        case QV_WM_DEVICECHANGE:
            onDeviceChange(*m);
            return true;
        case qvui::WM_PAGE_STATE:
            onPageState(int(m->wParam()), int(m->lParam()));
            return true;
        case qvui::WM_DISCONNECT_DEVICE:
            DisconnectDevice();
            return true;
        case qvui::WM_TOOLBAR_ACTION:
            onToolbarFromPage(m->wParam(), m->lParam());
            return true;
        case qvui::WM_PROCESS_STEP:
            onProcessStep(int(m->wParam()), int(m->lParam()));
            return true;
        case qvui::WM_SILENT_RESULT:
            // The unattended run is over: its result, then the end.
            ShowSilentResult(this, m->lParam());
            timers_->start(kTimerExit, 10);
            return true;
        case qvui::WM_DEBUG_FORWARD:
            if (!pageBusy_) qvui::sendMessage(pages_[kPageDebug], qvui::WM_DEBUG_COMMAND, 6, m->lParam());
            return true;
        case qvui::WM_DEBUG_COMMAND:
            onDebugCommand(int(m->wParam()), m->lParam());
            return true;
        case qvui::WM_ABNORMAL_STATE:
            onAbnormalState(int(m->wParam()), m->lParam());
            return true;
        case qvui::WM_TRAY_NOTIFY:
            onTrayNotify(m->wParam(), m->lParam());
            return true;
        case qvui::WM_ACTIVATE_INSTANCE:
            // A second instance asked this one to come forward; the icon goes.
            trayRemove();
            showNormal();
            raise();
            activateWindow();
            m->setResult(1);
            return true;
        default:
            break;
        }
    }
    if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) {
        if (keyFilter(this, e, 0)) return true;
    }
    return QDialog::event(e);
}

void CVCXUtilityDlg::mouseMoveEvent(QMouseEvent* e) {
    HideAllTips();
    QDialog::mouseMoveEvent(e);
}

void CVCXUtilityDlg::onDisplayChange() {
    writeCommandLog(c_, u"\rCVCXUtilityDlg::OnDisplayChange()\r");
    fitToWorkArea();
}

void CVCXUtilityDlg::closeEvent(QCloseEvent* e) {
    e->ignore();
    ExitDlg();
}

void CVCXUtilityDlg::reject() {
    // Esc goes through the key filter; the close button through ExitDlg.
}

Point CVCXUtilityDlg::normalFramePosition() const {
    if (!isMaximized() && !isMinimized() && !isFullScreen()) return {pos().x(), pos().y()};
    // Maximised or minimised: the normal geometry holds the client area; its
    // frame lies around it as it does now.
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QPoint p = normalGeometry().topLeft() - QPoint(frame.left(), frame.top());
    return {p.x(), p.y()};
}

bool CVCXUtilityDlg::ExitDlg() {
    if (ended_) return false;
    // The drawing window ends first; its idle state is taken at once.
    if (DrawWindow()) {
        CloseDrawWindow();
        QCoreApplication::sendPostedEvents(this, qvui::WindowMessage::eventType(qvui::WM_PAGE_STATE));
    }
    if (pageBusy_) return false;
    appSettings().childIdx = preferredPage_;
    // Saved as move() takes it back at the next start: the frame's top-left.
    appSettings().utyPos = normalFramePosition();
    exitNotifications();
    for (CQVChdParentDlg* p : pages_) p->ExitDlg();
    proc_->ExitDlg();
    if (bound_) {
        unregisterNotifications(c_);
        if (c_.dev.device != INVALID_HANDLE_VALUE && c_.api.CloseDevice) c_.api.CloseDevice(c_.dev.device);
        c_.dev.device = INVALID_HANDLE_VALUE;
        unloadControllerLibrary(c_);
    }
    if (bound_) saveAppSettings(appSettings(), workingFolders(), SettingsEnvironment::forThisProgram());
    ended_ = true;
    for (int id = 1; id <= kTimerCount; ++id) timers_->stop(id);
    done(QDialog::Accepted);
    return true;
}

} // namespace vcx
