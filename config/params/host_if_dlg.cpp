#include "params/host_if_dlg.h"

#include "params/page_build.h"
#include "core/controller_api.h"
#include "ui/message_box.h"

#include <QComboBox>
#include <QLineEdit>

namespace vcx {

using namespace pagebuild;

namespace {
constexpr uint8_t kInterfaceValue[4] = {0x08, 0x00, 0x01, 0x02};  // 460 auto, 461 USB, 462 RS232, 463 I2C
constexpr int kInterfaceBit[4] = {7, 0, 1, 2};
constexpr const char* kBaud = "host.baudRate";
} // namespace

bool ProductWithoutI2C(unsigned n) {
    return n == 1201 || n == 1301 || n == 1302 || n == 1400 || n == 1401 || n == 1500;
}

CQVOldHostIFDlg::CQVOldHostIFDlg(Controller& c, int templateId, QWidget* parent)
    : CQVParaParentDlg(c, templateId, parent) {
    if (templateId == kTemplate) {
        auto* grid = new QGridLayout(this);
        buildInterfaceControls(grid);
        grid->setRowStretch(6, 1);
        initDialog();
    }
}

void CQVOldHostIFDlg::buildInterfaceControls(QGridLayout* grid) {
    auto* change = withId(new QCheckBox(QStringLiteral("  Change Interface"), this), 470);
    grid->addWidget(change, 0, 0, 1, 2);
    const char* names[] = {"Auto Detect", "USB", "RS232 / UART", "I2C"};
    for (int i = 0; i < 4; ++i) {
        QRadioButton* r = radio(this, grid, 1 + i, 0, 460 + i, names[i]);
        connect(r, &QRadioButton::clicked, this, [this, i] { interfaceRadioClicked(460 + i); });
    }
    connect(change, &QCheckBox::clicked, this, [this] { changeInterfaceClicked(); });
}

void CQVOldHostIFDlg::loadInterface() {
    auto* change = qvui::findControl<QCheckBox>(this, 470);
    change->show();
    change->setEnabled(true);
    change->setChecked(false);
    for (int id = 460; id <= 463; ++id) {
        showId(this, id, true);
        enableId(this, id, false);
    }
    checkRadio(this, 460, 463, -1);
    const int current = ReadField(c_.records, *FindField("host.current")).value;
    if (current & 0x04) change->setEnabled(false);
    else if (current & 0x08) checkRadio(this, 460, 463, 460);
    else checkRadio(this, 460, 463, 461 + (current & 15));  // a value past I2C checks none
    uint32_t pid = 0;
    const bool havePid = c_.api.GetProductID && c_.dev.device != INVALID_HANDLE_VALUE &&
                         c_.api.GetProductID(c_.dev.device, &pid);
    qvui::findControl<QRadioButton>(this, 461)->setText(havePid ? QString::asprintf("USB (PID : %d)", int(pid))
                                                                : QStringLiteral("USB"));
}

void CQVOldHostIFDlg::LoadDlgItem() { loadInterface(); }

void CQVOldHostIFDlg::changeInterfaceClicked() {
    auto* change = qvui::findControl<QCheckBox>(this, 470);
    if (change->isChecked()) {
        const auto answer = qvui::showMessageBox(
            this,
            QStringLiteral("Please ensure you have the necessary cables \nbefore applying the host connection change "
                           "\nto your selected interface.\n\n"),
            QStringLiteral("Warning! Change Host Interface"), qvui::MessageIcon::Warning,
            qvui::MessageButtons::OkCancel, qvui::MessageAnswer::Cancel);
        if (answer != qvui::MessageAnswer::Ok) change->setChecked(false);
    }
    const bool on = change->isChecked();
    const int maximum = c_.records.hostInterface.item[0].maximum;
    const bool noI2C = ProductWithoutI2C(c_.records.fwInformation.productNumber);
    for (int i = 0; i < 4; ++i) {
        bool usable = on && ((maximum >> kInterfaceBit[i]) & 1);
        if (i == 3 && noI2C) usable = false;
        enableId(this, 460 + i, usable);
    }
}

void CQVOldHostIFDlg::interfaceRadioClicked(int id) {
    if (id < 460 || id > 463) return;
    c_.records.hostInterface.item[0].value = kInterfaceValue[id - 460];
}

CQVxF6HostIFDlg::CQVxF6HostIFDlg(Controller& c, QWidget* parent) : CQVOldHostIFDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    buildInterfaceControls(grid);
    for (int i = 0; i < 4; ++i)
        connect(qvui::findControl<QRadioButton>(this, 460 + i), &QRadioButton::clicked, this,
                [this, i] { interfaceChosen(460 + i); });
    caption(this, grid, 5, 0, "I2C Address :   0x");
    auto* hex = withId(new CQVMyHexTipEdit(this), 520);
    hex->setMaxLength(2);
    grid->addWidget(hex, 5, 1);
    connect(hex, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty()) return;
        ParameterItem& a = c_.records.hostInterface.item[1];
        bool ok = false;
        const int v = text.toInt(&ok, 16);
        if (!ok) return;
        a.value = uint8_t(std::clamp(v, 1, std::max<int>(1, a.maximum)));
    });
    label(this, grid, 6, 0, 320)->setText(QStringLiteral("Baud Rate:"));
    auto* baud = withId(new QComboBox(this), 502);
    for (const char* b : {"115200", " 57600", " 38400", " 19200", "  9600"}) baud->addItem(QLatin1String(b));
    grid->addWidget(baud, 6, 1);
    box(this, grid, 7, 0, 340, "HID Report", 2);
    const char* reports[] = {"Digitizer Mode", "Mouse Mode", "Digitizer Touch", "Digitizer Pen"};
    for (int i = 0; i < 4; ++i) {
        QRadioButton* r = radio(this, grid, 8 + i, 0, 464 + i, reports[i]);
        connect(r, &QRadioButton::clicked, this, [this, i] { reportRadioClicked(464 + i); });
    }
    grid->setRowStretch(12, 1);
    initDialog();
    for (int id : {466, 467, 340, 320, 502}) showId(this, id, false);
}

void CQVxF6HostIFDlg::LoadDlgItem() {
    loadInterface();
    const ParameterHostInterface& h = c_.records.hostInterface;
    const FieldStep report = fieldStep(c_.records, "host.hidReport");
    checkRadio(this, 464, 467, report.present ? 464 + *report.value : -1);
    auto* hex = qvui::findControl<QLineEdit>(this, 520);
    const bool addr = FieldPresent(c_.records, fieldRow("host.i2cAddress"));
    showId(this, 520, addr);
    hex->setEnabled(addr);
    QSignalBlocker quiet(hex);
    hex->setText(addr ? QString::asprintf("%02X", h.item[1].value) : QString());
    if (auto* e = dynamic_cast<CQVMyTipEdit*>(static_cast<QWidget*>(hex)))
        e->SetTipValueText(QString::asprintf("Range : 0x01 ~ 0x%02X", h.item[1].maximum));
    const bool baudPresent = FieldPresent(c_.records, fieldRow(kBaud));
    showId(this, 320, baudPresent);
    showId(this, 502, baudPresent);
    auto* baud = qvui::findControl<QComboBox>(this, 502);
    if (baudPresent && h.item[2].value < baud->count()) baud->setCurrentIndex(h.item[2].value);
    updateBaudEnable();
}

void CQVxF6HostIFDlg::updateBaudEnable() {
    enableId(this, 502, FieldPresent(c_.records, fieldRow(kBaud)) && isChecked(this, 462));
}

void CQVxF6HostIFDlg::interfaceChosen(int) { updateBaudEnable(); }

void CQVxF6HostIFDlg::reportRadioClicked(int id) {
    if (id < 464 || id > 467) return;
    c_.records.hostInterface.item3.value = uint8_t(id - 464);
}

void CQVxF6HostIFDlg::SaveDlgItem() {
    const FieldStep baud = fieldStep(c_.records, kBaud);
    const int i = qvui::findControl<QComboBox>(this, 502)->currentIndex();
    if (baud.present && i >= 0) *baud.value = uint8_t(i);
}

} // namespace vcx
