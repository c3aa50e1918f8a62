#include "shell/utility_dlg.h"

#include "pages/about_dlg.h"
#include "pages/chd_parent_dlg.h"
#include "res/strings.h"
#include "shell/app_settings.h"
#include "shell/app_startup.h"
#include "shell/device_finder.h"
#include "shell/device_text.h"
#include "ui/control_ids.h"
#include "ui/named_window.h"
#include "ui/string_table.h"
#include "ui/window_message.h"
#include "ui/window_timers.h"
#include "shell/program_state.h"
#include "shell/tip_controls.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

namespace vcx {

namespace {

constexpr uint32_t kGreyRefresh = 0xA2A2A2;

const char* const kPageNames[kPageCount] = {"Diagnostic", "Parameters", "Field Update",
                                            "Debug",      "Process Config", "Information"};
const int kPageTemplates[kPageCount] = {105, 104, 103, 106, 155, 109};

// A page that a later version of the program fills: it takes part in the
// main window's operations and says what it is.
class PlainPage : public CQVChdParentDlg {
public:
    PlainPage(int templateId, const QString& name, QWidget* parent) : CQVChdParentDlg(templateId, parent) {
        auto* layout = new QVBoxLayout(this);
        auto* text = new QLabel(QStringLiteral("%1: this page is not part of this version of VCXMSet.").arg(name),
                                this);
        text->setAlignment(Qt::AlignCenter);
        layout->addWidget(text);
        initDialog();
    }
};

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

const std::array<PageButtonLook, 8>& pageButtonLooks() {
    static const std::array<PageButtonLook, 8> looks{{
        {401, "Draw", colorRef(0x11A880), colorRef(0xADADAD)},
        {402, "Refresh", colorRef(0x538C01), colorRef(0xA2A2A2)},
        {403, "Diagnostic", colorRef(0x783F12), colorRef(0xA2A2A2)},
        {404, "Parameters", colorRef(0xD5AE06), colorRef(0xB6B6B6)},
        {405, "Field Update", colorRef(0x008CF1), colorRef(0xBBBBBB)},
        {406, "Debug", colorRef(0x703FE9), colorRef(0xC9C9C9)},
        {407, "Process Config", colorRef(0x893A7D), colorRef(0xB0B0B0)},
        {408, "Information", colorRef(0x2ABADD), colorRef(0xC1C1C1)},
    }};
    return looks;
}

CVCXUtilityDlg::CVCXUtilityDlg(QWidget* parent) : QDialog(parent), c_(controller()), finder_(&deviceFinder()) {
    addProgramStrings();
    addTipStrings();
    setWindowTitle(QLatin1String(kMainWindowTitle));
    timers_ = new qvui::WindowTimers(this);
    buildControls();
    new qvui::NamedWindow(this);
    CQVChdParentDlg::setMessageFilter([this](QWidget* page, QEvent* e) { return keyFilter(page, e, 1); });
}

CVCXUtilityDlg::~CVCXUtilityDlg() {
    CQVChdParentDlg::setMessageFilter({});
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
    grid->addWidget(caption(device, 303, {}), 0, 0);
    grid->addWidget(field(device, 308), 0, 1);
    // The slave rows show only in the full layout.
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(caption(device, 304 + i, {}), 1 + i, 0);
        grid->addWidget(field(device, 309 + i), 1 + i, 1);
    }
    grid->addWidget(caption(device, 349, QStringLiteral("Parameters CRC")), 5, 0);
    grid->addWidget(field(device, 368), 5, 1);
    grid->addWidget(caption(device, 340, QStringLiteral("Interface")), 6, 0);
    grid->addWidget(field(device, 300), 6, 1);
    grid->addWidget(caption(device, 341, QStringLiteral("Panel Information")), 7, 0);
    grid->addWidget(field(device, 302), 7, 1);
    auto* picture = new QLabel(device);
    qvui::setControlId(picture, 313);
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
    layout->addLayout(buttons);

    // The page area and the command buttons beside it.
    auto* body = new QHBoxLayout;
    auto* pageArea = new QWidget(content_);
    pageArea->setMinimumSize(640, 420);
    auto* pageGrid = new QGridLayout(pageArea);
    pageGrid->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < kPageCount; ++i) {
        if (i == kPageInformation) {
            about_ = new CQVAboutDlg(c_, pageArea);
            pages_[size_t(i)] = about_;
        } else {
            pages_[size_t(i)] = new PlainPage(kPageTemplates[i], QLatin1String(kPageNames[i]), pageArea);
        }
        pageGrid->addWidget(pages_[size_t(i)], 0, 0);
        pages_[size_t(i)]->hide();
    }
    body->addWidget(pageArea, 1);
    auto* commands = new QVBoxLayout;
    for (int id = 420; id <= 423; ++id) {
        auto* b = new QPushButton(content_);
        qvui::setControlId(b, id);
        b->setMinimumSize(240, 44);
        connect(b, &QPushButton::clicked, this, [this, id] { onCommandButton(id); });
        commands->addWidget(b);
    }
    // The two switches show their state as the button's checked look.
    auto* notify = new QPushButton(QStringLiteral("Show\nNotification"), content_);
    qvui::setControlId(notify, 438);
    notify->setCheckable(true);
    connect(notify, &QPushButton::clicked, this, [this] { onNotificationSwitch(); });
    auto* halt = new QPushButton(QStringLiteral("Touch and Halt"), content_);
    qvui::setControlId(halt, 439);
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
    devicePresence_ = -1;
    arrivalCountdown_ = removalCountdown_ = 0;
    updateBusy_ = reconnectPending_ = exclusiveMode_ = reloadDefaultsOnArrival_ = pageBusy_ = false;
    toolbarEnabled_ = {1, 1, 1, 1};

    // Tooltips of the command buttons.
    const std::pair<int, uint32_t> tips[] = {{420, 768}, {421, 769}, {422, 770}, {438, 770}};
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

    for (const PageButtonLook& look : pageButtonLooks()) applyButtonLook(look.id, true);
    qvui::findControl<QPushButton>(content_, 438)->setChecked(appSettings().options & kOptAbnMsg);

    ClearDlgItem();
    if (FindQVDevice(c_, *finder_)) UpdateDlgItem();

    const CommandLineOptions& o = startupState().options;
    if (!startupState().fileArg.isEmpty()) {
        timers_->start(10, 100);
    } else if (o.optOS || o.optSR || o.optNL != 0xFF) {
        if (qvui::findControl(content_, 403)->isEnabled())
            timers_->start(15, 100);
        else
            timers_->start(6, 10);
    } else if (o.silentMode) {
        timers_->start(6, 10);
    }
    timers_->start(16, 50);
    if (QScreen* s = screen())
        connect(s, &QScreen::availableGeometryChanged, this, &CVCXUtilityDlg::onDisplayChange);
    return true;
}

bool CVCXUtilityDlg::baseRule() const { return !c_.dev.ostraModel && !c_.records.fwVersion.masterInBoot; }

bool CVCXUtilityDlg::icRule() const {
    const FirmwareVersionInfoW& v = c_.records.fwVersion;
    bool slaveInBoot = false;
    for (int i = 0; i < std::clamp(int(v.slaveCount), 0, 4); ++i) slaveInBoot |= v.slaveInBoot[i] != 0;
    const bool master = programState().engineerMode ? !v.masterInBoot : baseRule();
    return master && !slaveInBoot;
}

void CVCXUtilityDlg::UpdateDlgItem() {
    Controller& c = c_;
    writeCommandLog(c, u"\rCVCXUtilityDlg::UpdateDlgItem()\r");
    pageBusy_ = false;
    ProgramRecords& r = c.records;
    if (c.api.GetFWVersionW && !c.api.GetFWVersionW(c.dev.device, &r.fwVersion)) return;
    if (c.api.GetFWInformationW && !c.api.GetFWInformationW(c.dev.device, &r.fwInformation)) return;
    const int model = r.fwInformation.productNumber;
    c.dev.ostraModel = model >= 6000 && model <= 6999 && !(model >= 6600 && model <= 6699);

    const bool masterInBoot = r.fwVersion.masterInBoot != 0;
    if (!masterInBoot) {
        uint8_t features[8] = {};
        if (c.api.GetFeatureFlag && !c.api.GetFeatureFlag(c.dev.device, features)) return;
        if (c.api.GetDiagnosticInfo) c.api.GetDiagnosticInfo(c.dev.device, &r.diagInfo);
        c.dev.newFirmware = features[0] & 0x02;
        if (c.dev.newFirmware && !updateBusy_ && !pageBusy_ && !extraModeOn_ && r.paraFuncTable.ExtraModeSwitch) {
            r.paraFuncTable.ExtraModeSwitch(c.dev.device, 1);
            extraModeOn_ = true;
        }
        if (!c.dev.ostraModel) SendCmdReadE7(c);
        uint8_t bridge[8] = {};
        if (c.api.GetBridgeFeatureFlag) c.api.GetBridgeFeatureFlag(c.dev.device, bridge);
        c.dev.listsRead = c.api.GetAPBTParaList && c.api.GetAPBTParaList(c.dev.device, &r.paraList);
        if (c.api.GetParameterList) c.api.GetParameterList(c.dev.device, &r.paraList);
        uint16_t crc[2] = {0, 0};
        CheckParameterCRC(c, crc);
        SetDlgItemText(content_, 368, QString::asprintf("x%04X", unsigned(crc[0])));
    }

    // The debug group: which groups exist comes from the general group.
    const ParameterFunctionTable& t = r.paraFuncTable;
    c.dev.eventHaltSupported = false;
    if (t.GetParameterGeneralInfo && t.GetParameterDebug && !masterInBoot) {
        r.generalInfo.cbSize = sizeof r.generalInfo;
        if (t.GetParameterGeneralInfo(c.dev.device, &r.generalInfo) && r.generalInfo.valid) {
            r.debug.cbSize = sizeof r.debug;
            if (t.GetParameterDebug(c.dev.device, r.generalInfo.groupMask, &r.debug) && r.debug.valid &&
                t.ClearEventHalt)
                c.dev.eventHaltSupported = t.ClearEventHalt(c.dev.device) != 0;
        }
    }

    ProgramState& ps = programState();
    ps.serialDevice = (c.dev.deviceType & QV_DEVICE_RS232) && (r.fwInformation.interfaceBits & 3) < 2;

    // Versions.
    const int slaveCount = masterInBoot ? 0 : std::clamp(int(r.fwVersion.slaveCount), 0, 4);
    SetDlgItemText(content_, 308, masterVersionText(r.fwVersion));
    SetDlgItemText(content_, 303, formatOne(qvui::loadString(slaveCount ? 1003 : 1002), QString()));
    for (int i = 0; i < 4; ++i) {
        const bool present = i < slaveCount;
        SetDlgItemText(content_, 309 + i, present ? wideField(r.fwVersion.slave[i], 50).trimmed() : QString());
        SetDlgItemText(content_, 304 + i,
                       !present           ? QString()
                       : slaveCount == 1  ? qvui::loadString(1004)
                                          : formatOne(qvui::loadString(1005), i + 1));
        qvui::findControl(content_, 304 + i)->setVisible(present);
        qvui::findControl(content_, 309 + i)->setVisible(present);
    }
    setLayoutFull(slaveCount > 0);
    content_->adjustSize();

    SetDlgItemText(content_, 300, interfaceName(c.dev.deviceType, r.fwInformation.interfaceBits));
    SetDlgItemText(content_, 302, QStringLiteral("%1 %2").arg(wideField(r.fwInformation.panelSize, 40),
                                                              wideField(r.fwInformation.coverLens, 40)));

    for (CQVChdParentDlg* p : pages_) p->UpdateDlgItem();

    // Page buttons.
    const bool base = baseRule();
    const bool ic = icRule();
    setPageButton(401, !ps.serialDevice && !masterInBoot);
    setPageButton(402, true);
    setPageButton(403, pages_[kPageDiagnostic]->isUsable() && ic);
    setPageButton(404, pages_[kPageParameters]->isUsable() && base);
    setPageButton(405, !(c.dev.ostraModel && (c.dev.deviceType & QV_DEVICE_RS232)));
    setPageButton(406, ic);
    setPageButton(407, true);
    setPageButton(408, true);

    int choice = preferredPage_;
    if (!buttonEnabled_[405 - 401])
        choice = kPageInformation;
    else if (c.dev.ostraModel || !buttonEnabled_[406 - 401] || !startupState().fileArg.isEmpty())
        choice = kPageFieldUpdate;
    if (choice == kPageDiagnostic && !pages_[kPageDiagnostic]->isUsable()) choice = kPageParameters;
    if (choice == kPageParameters && !pages_[kPageParameters]->isUsable()) choice = kPageFieldUpdate;
    preferredPage_ = choice;
    SelectPage(preferredPage_, 1);
    SetDlgItemText(content_, 402, qvui::loadString(1000));
    refreshHaltButtons();
}

void CVCXUtilityDlg::ClearDlgItem() {
    writeCommandLog(c_, u"\rCVCXUtilityDlg::ClearDlgItem()\r");
    for (int id : {300, 302, 303, 304, 305, 306, 307, 308, 309, 310, 311, 312, 368}) SetDlgItemText(content_, id, {});
    setLayoutFull(false);
    extraModeOn_ = false;
    c_.dev.newFirmware = false;
    if (!reconnectPending_) {
        SelectPage(kPageInformation, 0);
        SetDlgItemText(content_, 402, qvui::loadString(1001));
    }
    setPageButton(401, true);
    setPageButton(402, !reconnectPending_);
    setPageButton(407, true);
    setPageButton(408, true);
    for (int id : {403, 404, 405, 406}) setPageButton(id, false);
    HideAllTips();
    for (CQVChdParentDlg* p : pages_) p->ClearDlgItem();
}

void CVCXUtilityDlg::setLayoutFull(bool full) {
    if (fullLayout_ == full && content_->size() == content_->sizeHint()) return;
    fullLayout_ = full;
    if (!full)
        for (int i = 0; i < 4; ++i) {
            qvui::findControl(content_, 304 + i)->hide();
            qvui::findControl(content_, 309 + i)->hide();
        }
    content_->adjustSize();
    // The window follows the layout unless the screen is too small for it.
    if (isVisible() || bound_) resize(content_->size());
}

void CVCXUtilityDlg::applyButtonLook(int id, bool face) {
    auto* b = qvui::findControl<QPushButton>(content_, id);
    if (!b) return;
    const PageButtonLook& look = pageButtonLooks()[size_t(id - 401)];
    const QColor fill = face ? look.face : look.idle;
    const QColor hover(255 - fill.red(), 255 - fill.green(), 255 - fill.blue());
    b->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: white; border: 1px solid #606060; "
                                    "padding: 4px 10px; } QPushButton:hover { color: %2; }")
                         .arg(fill.name(), hover.name()));
    b->setProperty("faceLook", face);
}

void CVCXUtilityDlg::setPageButton(int id, bool enabled) {
    buttonEnabled_[size_t(id - 401)] = enabled;
    if (auto* b = qvui::findControl(content_, id)) b->setEnabled(enabled);
    applyButtonLook(id, enabled);
}

void CVCXUtilityDlg::SelectPage(int index, int mode) {
    if (index >= kPageCount || index < 0) return;
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
        applyButtonLook(403 + currentPage_, false);
        pages_[size_t(currentPage_)]->hide();
    }
    applyButtonLook(403 + index, true);
    pages_[size_t(index)]->show();
    currentPage_ = index;
    if (mode != 0) preferredPage_ = index;
    shownPage_ = index;
    refreshCommandButtons();

    // The Debug page's parameter lock holds only while that page is shown.
    if (parameterLockOn_ && index != kPageDebug) {
        if (c_.records.paraFuncTable.ParameterUpdateLock)
            c_.records.paraFuncTable.ParameterUpdateLock(c_.dev.device, 0);
        parameterLockOn_ = false;
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
    if (currentPage_ < 0) return;
    const Row& row = rows[currentPage_];
    const bool diagUsable = pages_[kPageDiagnostic]->isUsable();
    const bool paraUsable = pages_[kPageParameters]->isUsable();
    for (int i = 0; i < 4; ++i) {
        auto* b = qvui::findControl<QPushButton>(content_, 420 + i);
        uint32_t text = row.text[size_t(i)];
        bool shown = text != 0;
        bool enabled = true;
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
            b->setEnabled(enabled && !pageBusy_);
        }
        b->setVisible(shown);
        // Tips only where the page's buttons have them.
        const bool tipsActive = currentPage_ >= 1 && currentPage_ <= 3;
        b->setToolTip(QString());
        if (tipsActive) {
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
    QWidget* notify = qvui::findControl(content_, 438);
    auto* halt = qvui::findControl<QPushButton>(content_, 439);
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

int CVCXUtilityDlg::pageOfTemplate(int templateId) const {
    for (int i = 0; i < kPageCount; ++i)
        if (kPageTemplates[i] == templateId) return i;
    return -1;
}

void CVCXUtilityDlg::onPageState(int state, int templateId) {
    if (templateId == 103) updateBusy_ = state != 0;
    const int own = pageOfTemplate(templateId);
    if (state != 0) {
        for (int id = 401; id <= 408; ++id) {
            if (id == 401 || id == 408 || (own >= 0 && id == 403 + own)) continue;
            if (auto* b = qvui::findControl(content_, id)) b->setEnabled(false);
            applyButtonLook(id, false);
        }
        for (int id : {420, 421, 422, 423, 438, 439})
            if (auto* b = qvui::findControl(content_, id)) b->setEnabled(false);
    } else {
        for (int id = 401; id <= 408; ++id) {
            const bool enabled = buttonEnabled_[size_t(id - 401)];
            qvui::findControl(content_, id)->setEnabled(enabled);
            applyButtonLook(id, enabled && (id < 403 || id - 403 == currentPage_));
        }
    }
    pageBusy_ = state != 0;
    if (state == 0) refreshCommandButtons();
    if (templateId == 103 && state == 0) timers_->start(2, 10);
    if (templateId == 104) reloadDefaultsOnArrival_ = state == 2;
    // The Information page's Folder Configure waits while any page works.
    if (!programState().useTabletPC)
        if (QWidget* b = qvui::findControl(about_, 420)) b->setEnabled(state == 0);
}

void CVCXUtilityDlg::onToolbarFromPage(quint64 buttonId, qint64 enable) {
    if (buttonId < 420 || buttonId > 423 || (enable != 0 && enable != 1)) return;
    toolbarEnabled_[size_t(buttonId - 420)] = int(enable);
    if (currentPage_ == kPageFieldUpdate) refreshCommandButtons();
}

void CVCXUtilityDlg::onPageButton(int id) {
    if (id == 401) return; // the drawing window belongs to a later version of the program
    if (id == 402) {
        onRefresh();
        return;
    }
    SelectPage(id - 403, 2);
}

void CVCXUtilityDlg::onCommandButton(int id) {
    if (currentPage_ < 0) return;
    qvui::sendMessage(pages_[size_t(currentPage_)], qvui::WM_TOOLBAR_ACTION, 0, id - 420);
}

void CVCXUtilityDlg::onNotificationSwitch() {
    uint32_t& options = appSettings().options;
    options ^= kOptAbnMsg;
    qvui::findControl<QPushButton>(content_, 438)->setChecked(options & kOptAbnMsg);
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
    if (updateBusy_ || reconnectPending_) return;
    if (c_.dev.device == INVALID_HANDLE_VALUE) {
        auto* b = qvui::findControl(content_, 402);
        b->setEnabled(false);
        b->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: white; }")
                             .arg(colorRef(kGreyRefresh).name()));
        if (FindQVDevice(c_, *finder_)) UpdateDlgItem();
        timers_->start(4, 500);
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
    reconnectPending_ = true;
    ClearDlgItem();
    reconnectRetries_ = 0;
    timers_->start(3, 1500);
}

void CVCXUtilityDlg::onDeviceChange(qvui::WindowMessage& m) {
    if (!c_.api.QVDeviceChange) return;
    int kind = -1;
    if (!c_.api.QVDeviceChange(uint32_t(m.wParam()), reinterpret_cast<const QVDeviceBroadcast*>(m.lParam()), &kind))
        return;
    if (kind == 1) {
        writeCommandLog(c_, u"\rCVCXUtilityDlg::OnDeviceChange(QVDC_ARRIVAL)\r");
        const bool idle = arrivalCountdown_ < 1;
        arrivalCountdown_ = 3;
        if (idle) timers_->start(12, 100);
    } else if (kind == 0) {
        writeCommandLog(c_, u"\rCVCXUtilityDlg::OnDeviceChange(QVDC_REMOVE)\r");
        const bool idle = removalCountdown_ < 1;
        removalCountdown_ = 3;
        if (idle) timers_->start(13, 100);
    }
    m.setResult(1);
}

void CVCXUtilityDlg::arrivalTick() {
    if (--arrivalCountdown_ > 0) return;
    timers_->stop(12);
    devicePresence_ = 1;
    programState().deviceChanged = true;
    if (updateBusy_) return; // the Field Update page resumes its work on the controller
    if (exclusiveMode_ || reconnectRetries_ == 0xABCD) return;
    if (!FindQVDevice(c_, *finder_)) return;
    if (reconnectPending_) {
        reconnectRetries_ = 0xFFFF;
        timers_->stop(3);
        timers_->start(8, 500);
    }
    if (reloadDefaultsOnArrival_) {
        reloadDefaultsOnArrival_ = false;
        const ParameterFunctionTable& t = c_.records.paraFuncTable;
        if (t.ReloadAllDefaultParameter) t.ReloadAllDefaultParameter(c_.dev.device);
        uint8_t status = 0;
        if (t.FlushParameter) t.FlushParameter(c_.dev.device, &status);
        DisconnectDevice();
    } else {
        UpdateDlgItem();
    }
}

void CVCXUtilityDlg::removalTick() {
    if (--removalCountdown_ > 0) return;
    timers_->stop(13);
    devicePresence_ = 0;
    parameterLockOn_ = false;
    programState().deviceChanged = true;
    if (exclusiveMode_ || updateBusy_ || reconnectPending_) return;
    ClearDlgItem();
    if (FindQVDevice(c_, *finder_)) UpdateDlgItem();
}

void CVCXUtilityDlg::reconnectTick() {
    if (FindQVDevice(c_, *finder_)) {
        reconnectRetries_ = 0xABCD;
        timers_->stop(3);
        UpdateDlgItem();
        timers_->start(8, 500);
        return;
    }
    if (++reconnectRetries_ >= 5) {
        timers_->stop(3);
        reconnectPending_ = false;
        setPageButton(402, true);
        SelectPage(kPageInformation, 0);
    }
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
    case 1:
    case 6:
        timers_->stop(id);
        ExitDlg();
        break;
    case 2:
        timers_->stop(2);
        ClearDlgItem();
        UpdateDlgItem();
        break;
    case 3:
        reconnectTick();
        break;
    case 4:
        timers_->stop(4);
        setPageButton(402, true);
        applyButtonLook(402, true);
        break;
    case 5:
        // The engineer-mode switch, reachable only from outside the program.
        timers_->stop(5);
        if (updateBusy_ || reconnectPending_) break;
        programState().engineerMode = !programState().engineerMode;
        refreshCommandButtons();
        break;
    case 7:
        timers_->stop(7);
        exclusiveMode_ = true;
        if (isVisible()) ExitDlg();
        break;
    case 8:
        timers_->stop(8);
        reconnectPending_ = false;
        setPageButton(402, true);
        break;
    case 12:
        arrivalTick();
        break;
    case 13:
        removalTick();
        break;
    case 16:
        timers_->stop(16);
        fitToWorkArea();
        break;
    default:
        // Timers whose work belongs to pages of a later version (9, 10, 11, 14, 15): stop them.
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
    timers_->start(6, 10);
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
        case qvui::WM_DEBUG_FORWARD:
            if (!pageBusy_) qvui::sendMessage(pages_[kPageDebug], qvui::WM_DEBUG_COMMAND, 6, m->lParam());
            return true;
        case qvui::WM_ACTIVATE_INSTANCE:
            // A second instance asked this one to come forward.
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

bool CVCXUtilityDlg::ExitDlg() {
    if (pageBusy_ || ended_) return false;
    appSettings().childIdx = preferredPage_;
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    appSettings().utyPos = {normal.left(), normal.top()};
    for (CQVChdParentDlg* p : pages_) p->ExitDlg();
    if (bound_) {
        unregisterNotifications(c_);
        if (c_.dev.device != INVALID_HANDLE_VALUE && c_.api.CloseDevice) c_.api.CloseDevice(c_.dev.device);
        c_.dev.device = INVALID_HANDLE_VALUE;
        unloadControllerLibrary(c_);
    }
    if (bound_) saveAppSettings(appSettings(), workingFolders(), SettingsEnvironment::forThisProgram());
    ended_ = true;
    for (int id = 1; id <= 16; ++id) timers_->stop(id);
    done(QDialog::Accepted);
    return true;
}

} // namespace vcx
