#include "params/csm_panel_dlg.h"

#include "params/page_build.h"
#include "core/controller_api.h"
#include "ui/message_box.h"
#include "ui/modal_dialog.h"

#include <QButtonGroup>

#include <algorithm>
#include <QLineEdit>
#include <QPushButton>

namespace vcx {

using namespace pagebuild;

namespace {

bool digitsUpTo(const QString& s, int most, int* out) {
    if (s.isEmpty() || s.size() > 3) return false;
    for (QChar ch : s)
        if (ch < u'0' || ch > u'9') return false;
    *out = s.toInt();
    return *out <= most;
}

} // namespace

CustomerPanelTexts DecodeCustomerPanel(const uint8_t* d) {
    CustomerPanelTexts t;
    for (int i = 0; i < 8; ++i) t.name[size_t(i)] = d[i] ? QString(QChar(char16_t(d[i]))) : QString();
    t.sizeWhole = QString::asprintf("%x", d[8]);
    t.sizeTenths = QString::asprintf("%x", d[9] >> 4);
    t.wide = d[9] & 1;
    t.thickWhole = QString::number(d[10] >> 4);
    t.thickTenths = QString::number(d[10] & 15);
    t.glass = d[11] != 'P' && d[11] != 'p';
    const int w = d[14] | d[15] << 8, h = d[16] | d[17] << 8;
    t.widthWhole = QString::number(w / 100);
    t.widthHundredths = QString::asprintf("%02d", w % 100);
    t.heightWhole = QString::number(h / 100);
    t.heightHundredths = QString::asprintf("%02d", h % 100);
    return t;
}

bool EncodeCustomerPanel(const CustomerPanelTexts& t, uint8_t* d, QString* why) {
    auto refuse = [why](const char* text) {
        if (why) *why = QString::fromLatin1(text);
        return false;
    };
    uint8_t name[8];
    for (int i = 0; i < 8; ++i) {
        const QString& s = t.name[size_t(i)];
        if (s.size() != 1 || s[0] < u' ' || s[0] > u'~') return refuse("Panel Name is maximum 8 ASCII characters.");
        name[i] = uint8_t(s[0].unicode());
    }
    int sizeWhole = 0, sizeTenths = 0, thickWhole = 0, thickTenths = 0;
    if (!digitsUpTo(t.sizeWhole, 99, &sizeWhole) || !digitsUpTo(t.sizeTenths, 9, &sizeTenths))
        return refuse("Max size : 99.9 (mm)");
    if (!digitsUpTo(t.thickWhole, 15, &thickWhole) || !digitsUpTo(t.thickTenths, 9, &thickTenths))
        return refuse("Max thickness : 15.9 (mm)");
    int area[2] = {};
    const QString* parts[2][2] = {{&t.widthWhole, &t.widthHundredths}, {&t.heightWhole, &t.heightHundredths}};
    for (int k = 0; k < 2; ++k) {
        int whole = 0, hundredths = 0;
        if (!digitsUpTo(*parts[k][0], 999, &whole) || !digitsUpTo(*parts[k][1], 99, &hundredths))
            return refuse("Max size : 655.35 (cm)");
        // A key area above 655.35 cm is stored as the largest the 16 bits hold.
        area[k] = std::min(whole * 100 + hundredths, 65535);
    }
    std::copy(name, name + 8, d);
    d[8] = uint8_t((sizeWhole / 10) << 4 | (sizeWhole % 10));
    d[9] = uint8_t(sizeTenths << 4 | (d[9] & 0x08) | (t.wide ? 1 : 0));
    d[10] = uint8_t(thickWhole << 4 | thickTenths);
    d[11] = t.glass ? 'G' : 'P';
    d[14] = uint8_t(area[0] & 0xFF);
    d[15] = uint8_t(area[0] >> 8);
    d[16] = uint8_t(area[1] & 0xFF);
    d[17] = uint8_t(area[1] >> 8);
    return true;
}

CQVCSMPanelDlg::CQVCSMPanelDlg(uint8_t* description18, bool lensChanged, QWidget* parent)
    : QDialog(parent), description_(description18) {
    qvui::setControlScope(this);
    setWindowTitle(QStringLiteral("Customer Panel Setting"));
    auto* grid = new QGridLayout(this);
    caption(this, grid, 0, 0, "Panel Name :");
    for (int i = 0; i < 8; ++i) {
        CQVMyTipEdit* e = edit(this, grid, 0, 1 + i, 520 + i, 1);
        // A typed character moves on to the next field.
        if (i < 7)
            connect(e, &QLineEdit::textEdited, this, [this, i](const QString& s) {
                if (!s.isEmpty()) qvui::findControl(this, 521 + i)->setFocus();
            });
    }
    caption(this, grid, 1, 0, "Panel Size :");
    edit(this, grid, 1, 1, 528, 2);
    caption(this, grid, 1, 2, ".");
    edit(this, grid, 1, 3, 529, 1);
    radio(this, grid, 1, 4, 463, "16 : 9");
    radio(this, grid, 1, 5, 464, "4 : 3");
    caption(this, grid, 2, 0, "Cover Thickness :");
    edit(this, grid, 2, 1, 530, 2);
    caption(this, grid, 2, 2, ".");
    edit(this, grid, 2, 3, 531, 1);
    auto* glass = radio(this, grid, 3, 1, 460, "Glass");
    auto* polymer = radio(this, grid, 3, 2, 461, "Polymer");
    caption(this, grid, 4, 0, "Key Area :");
    edit(this, grid, 4, 1, 532, 3);
    caption(this, grid, 4, 2, ".");
    edit(this, grid, 4, 3, 533, 2);
    caption(this, grid, 4, 4, "x");
    edit(this, grid, 4, 5, 534, 3);
    caption(this, grid, 4, 6, ".");
    edit(this, grid, 4, 7, 535, 2);
    // The aspect radios and the material radios are two groups.
    auto* aspect = new QButtonGroup(this);
    aspect->addButton(qvui::findControl<QRadioButton>(this, 463));
    aspect->addButton(qvui::findControl<QRadioButton>(this, 464));
    auto* material = new QButtonGroup(this);
    material->addButton(glass);
    material->addButton(polymer);
    auto* ok = withId(new QPushButton(QStringLiteral("OK"), this), 1);
    auto* cancel = withId(new QPushButton(QStringLiteral("Cancel"), this), 2);
    grid->addWidget(ok, 5, 6);
    grid->addWidget(cancel, 5, 7);
    connect(ok, &QPushButton::clicked, this, [this] { okClicked(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    setTexts(DecodeCustomerPanel(description_));
    for (int id : {530, 531, 460, 461}) enableId(this, id, !lensChanged);
}

CustomerPanelTexts CQVCSMPanelDlg::texts() const {
    auto text = [this](int id) { return qvui::findControl<QLineEdit>(this, id)->text(); };
    CustomerPanelTexts t;
    for (int i = 0; i < 8; ++i) t.name[size_t(i)] = text(520 + i);
    t.sizeWhole = text(528);
    t.sizeTenths = text(529);
    t.wide = qvui::findControl<QRadioButton>(this, 463)->isChecked();
    t.thickWhole = text(530);
    t.thickTenths = text(531);
    t.glass = qvui::findControl<QRadioButton>(this, 460)->isChecked();
    t.widthWhole = text(532);
    t.widthHundredths = text(533);
    t.heightWhole = text(534);
    t.heightHundredths = text(535);
    return t;
}

void CQVCSMPanelDlg::setTexts(const CustomerPanelTexts& t) {
    auto set = [this](int id, const QString& s) { qvui::findControl<QLineEdit>(this, id)->setText(s); };
    for (int i = 0; i < 8; ++i) set(520 + i, t.name[size_t(i)]);
    set(528, t.sizeWhole);
    set(529, t.sizeTenths);
    qvui::findControl<QRadioButton>(this, t.wide ? 463 : 464)->setChecked(true);
    set(530, t.thickWhole);
    set(531, t.thickTenths);
    qvui::findControl<QRadioButton>(this, t.glass ? 460 : 461)->setChecked(true);
    set(532, t.widthWhole);
    set(533, t.widthHundredths);
    set(534, t.heightWhole);
    set(535, t.heightHundredths);
}

void CQVCSMPanelDlg::okClicked() {
    QString why;
    uint8_t bytes[18];
    std::copy(description_, description_ + 18, bytes);
    if (!EncodeCustomerPanel(texts(), bytes, &why)) {
        qvui::showMessageBox(this, why, windowTitle(), qvui::MessageIcon::Warning);
        return;
    }
    std::copy(bytes, bytes + 18, description_);
    accept();
}

bool RunCustomerPanelDialog(Controller& c, bool lensChanged, QWidget* parent) {
    CQVCSMPanelDlg dlg(c.records.panel.text, lensChanged, parent);
    return qvui::execDialog(dlg) == QDialog::Accepted;
}

} // namespace vcx
