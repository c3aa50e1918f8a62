#include "params/panel_dlg.h"

#include "params/csm_panel_dlg.h"
#include "params/expand_panel.h"
#include "params/page_build.h"
#include "core/controller_api.h"
#include "core/program_state.h"
#include "ui/string_table.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>

#include <algorithm>

namespace vcx {

using namespace pagebuild;

namespace {
// Combo boxes 502 and 503.
const char* const kCombos[] = {"panel.size", "panel.lens"};
} // namespace

namespace {
struct NameCache {
    HANDLE device = INVALID_HANDLE_VALUE;  // the controller the names came from
    bool read[2] = {false, false};
    std::vector<PanelNameEntry> names[2];
};
NameCache& cache() {
    static NameCache c;
    return c;
}
} // namespace

void InvalidatePanelNames() { cache() = NameCache{}; }

const std::vector<PanelNameEntry>& PanelNames(Controller& c, int kind, int maximum) {
    NameCache& k = cache();
    const int i = kind == 0 ? 0 : 1;
    if (k.device != c.dev.device) k = NameCache{};
    k.device = c.dev.device;
    if (k.read[i] && int(k.names[i].size()) == maximum + 1) return k.names[i];
    k.names[i].clear();
    auto get = i == 0 ? c.api.GetPanelSizeInfoW : c.api.GetCoverLensInfoW;
    for (int index = 0; index <= maximum; ++index) {
        QVWCHAR buffer[40] = {};
        PanelNameEntry e;
        e.ok = get && c.dev.device != INVALID_HANDLE_VALUE && get(c.dev.device, uint8_t(index), buffer);
        if (e.ok) e.text = wideField(buffer, 40);
        k.names[i].push_back(e);
    }
    k.read[i] = true;
    return k.names[i];
}

void FillPanelCombo(QComboBox* combo, const std::vector<PanelNameEntry>& names, const char* skipped, int current,
                    bool engineer) {
    QSignalBlocker quiet(combo);
    combo->clear();
    for (size_t index = 0; index < names.size(); ++index) {
        if (!names[index].ok) continue;
        QString text = names[index].text.toLower();
        if (engineer) {
            if (text.endsWith(QLatin1Char(' '))) text += QStringLiteral("Not Test");
        } else if (text == QLatin1String(skipped)) {
            continue;
        }
        combo->addItem(text, int(index));
        if (int(index) == current) combo->setCurrentIndex(combo->count() - 1);
    }
    if (combo->findData(current) < 0) combo->setCurrentIndex(-1);
    combo->setEnabled(!(combo->count() == 1 && combo->itemData(0).toInt() == current));
}

CQVOldPanelDlg::CQVOldPanelDlg(Controller& c, QWidget* parent) : CQVOldPanelDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    caption(this, grid, 0, 0, "Panel Size :");
    grid->addWidget(withId(new QComboBox(this), 502), 0, 1);
    caption(this, grid, 1, 0, "Cover Lens :");
    grid->addWidget(withId(new QComboBox(this), 503), 1, 1);
    grid->setRowStretch(2, 1);
    connectCombos();
    initDialog();
}

CQVOldPanelDlg::CQVOldPanelDlg(Controller& c, int templateId, QWidget* parent) : CQVParaParentDlg(c, templateId, parent) {}

void CQVOldPanelDlg::connectCombos() {
    for (int k = 0; k < 2; ++k) {
        auto* combo = qvui::findControl<QComboBox>(this, 502 + k);
        connect(combo, &QComboBox::currentIndexChanged, this, [this, combo, k](int i) {
            if (i < 0) return;
            c_.records.panel.item[k].value = uint8_t(combo->itemData(i).toInt());
            if (k == 0) {
                showId(this, 503, true);
                showId(this, 324, false);
            }
        });
    }
}

void CQVOldPanelDlg::loadCombos() {
    ParameterPanel& p = c_.records.panel;
    const bool engineer = programState().engineerMode;
    const char* skipped[2] = {"dummy", "film"};
    for (int k = 0; k < 2; ++k) {
        auto* combo = qvui::findControl<QComboBox>(this, 502 + k);
        if (!FieldPresent(c_.records, fieldRow(kCombos[k]))) {
            QSignalBlocker quiet(combo);
            combo->clear();
            combo->setEnabled(false);
            continue;
        }
        FillPanelCombo(combo, PanelNames(c_, k, p.item[k].maximum), skipped[k], p.item[k].value, engineer);
    }
}

void CQVOldPanelDlg::LoadDlgItem() { loadCombos(); }

CQVxF6PanelDlg::CQVxF6PanelDlg(Controller& c, QWidget* parent) : CQVOldPanelDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    caption(this, grid, 0, 0, "Panel Size :", 330);
    grid->addWidget(withId(new QComboBox(this), 502), 0, 1, 1, 2);
    caption(this, grid, 1, 0, "Cover Lens :", 331);
    grid->addWidget(withId(new QComboBox(this), 503), 1, 1, 1, 2);
    caption(this, grid, 1, 3, "Expand Cover Lens", 324);
    const char* captions[] = {"Skip Sensor :", "Skip Driver :", "Used Sensor :", "Used Driver :"};
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (int i = 0; i < 4; ++i) {
        caption(this, grid, 2 + i, 0, captions[i], 332 + i);
        CQVMyTipEdit* e = edit(this, grid, 2 + i, 1, 520 + i);
        e->setValidator(digits);
        e->SetTipValueShown(0);
        connect(e, &QLineEdit::textChanged, this, [this, i] { editChanged(i); });
    }
    label(this, grid, 2, 2, 320);
    label(this, grid, 3, 2, 321);
    caption(this, grid, 4, 2, "Unused Sensor :", 336);
    label(this, grid, 4, 3, 322);
    label(this, grid, 5, 3, 323);
    auto* customer = button(this, grid, 6, 0, 450, "Customer Setting");
    connect(customer, &QPushButton::clicked, this, [this] { customerSetting(); });
    auto* exportButton = button(this, grid, 6, 1, 451, "Export External Panel");
    connect(exportButton, &QPushButton::clicked, this, [this] { ExportExternalPanel(c_, this); });
    grid->setRowStretch(7, 1);
    connectCombos();
    initDialog();
}

int CQVxF6PanelDlg::MinimumUsed(const ParameterPanel& p, int kind) { return p.geometry[4 + (kind ? 1 : 0)]; }

void CQVxF6PanelDlg::CheckDlgItem() {
    // The counts are engineer controls; the customer setting button is never offered.
    const bool engineer = programState().engineerMode;
    for (int id : {320, 321, 322, 323, 520, 521, 522, 523, 330, 331, 332, 333, 334, 335, 336}) showId(this, id, engineer);
    showId(this, 450, false);
}

namespace {
// Edit i: 0 skip sensor, 1 skip driver, 2 used sensor, 3 used driver.
const char* const kCounts[] = {"panel.skipSensor", "panel.skipDriver", "panel.usedSensor", "panel.usedDriver"};
int partnerOf(int i) { return (i + 2) % 4; }
int kindOf(int i) { return i % 2; }
} // namespace

void CQVxF6PanelDlg::writeEdit(int i, int value) {
    auto* e = qvui::findControl<QLineEdit>(this, 520 + i);
    const bool was = coupling_;
    coupling_ = true;
    e->setText(QString::number(value));
    coupling_ = was;
}

void CQVxF6PanelDlg::showUnused() {
    const ParameterPanel& p = c_.records.panel;
    for (int kind = 0; kind < 2; ++kind) {
        const int total = p.item[4 + kind].maximum;
        setText(this, 322 + kind, QString::number(total - int(p.item[4 + kind].value) - int(p.item[2 + kind].value)));
    }
}

void CQVxF6PanelDlg::editChanged(int i) {
    if (coupling_) return;
    ParameterPanel& p = c_.records.panel;
    if (!FieldPresent(c_.records, fieldRow(kCounts[i]))) return;
    auto* e = qvui::findControl<QLineEdit>(this, 520 + i);
    const QString text = e->text().trimmed();
    if (text.isEmpty()) return;
    bool ok = false;
    long long n = text.toLongLong(&ok, 10);
    if (!ok || n < 0 || text.contains(QLatin1Char('+')) || text.contains(QLatin1Char('-'))) {
        writeEdit(i, p.item[2 + i].value);  // digits only: the stored value again
        return;
    }
    const int kind = kindOf(i);
    const bool used = i >= 2;
    const int total = p.item[4 + kind].maximum;
    const int minUsed = MinimumUsed(p, kind);
    const int ownMax = used ? total : std::max(0, total - minUsed);
    if (used && text.size() >= 2 && n < minUsed) {
        n = minUsed;
        writeEdit(i, int(n));
    }
    if (n > ownMax) {
        n = ownMax;
        writeEdit(i, int(n));
    }
    const int partner = partnerOf(i);
    ParameterItem& own = p.item[2 + i];
    ParameterItem& other = p.item[2 + partner];
    own.value = uint8_t(n);
    if (int(other.value) + n > total) {
        other.value = uint8_t(total - n);
        writeEdit(partner, other.value);
    }
    showUnused();
}

void CQVxF6PanelDlg::customerSetting() {
    ParameterPanel& p = c_.records.panel;
    if (!RunCustomerPanelDialog(c_, p.item[1].value != p.item[1].stored, this)) return;
    std::array<uint8_t, 12> d{};
    std::copy_n(p.text, 12, d.begin());
    // The selected entries take the new texts in place.
    const QString texts[2] = {PanelDisplayName(d), PanelLensText(d)};
    for (int k = 0; k < 2; ++k) {
        auto* combo = qvui::findControl<QComboBox>(this, 502 + k);
        const int at = combo->currentIndex();
        if (at < 0) continue;
        QSignalBlocker quiet(combo);
        const QVariant index = combo->itemData(at);
        combo->removeItem(at);
        combo->insertItem(at, texts[k], index);
        combo->setCurrentIndex(at);
    }
}

void CQVxF6PanelDlg::LoadDlgItem() {
    catalogue_ = ReadExpandPanelCatalogue(ExpandPanelFolder(c_));
    loadCombos();
    showId(this, 503, true);
    showId(this, 324, false);
    ParameterPanel& p = c_.records.panel;
    coupling_ = true;
    for (int i = 0; i < 4; ++i) {
        auto* e = dynamic_cast<CQVMyTipEdit*>(qvui::findControl(this, 520 + i));
        const bool on = FieldSupported(c_.records, fieldRow(kCounts[i]));
        e->setEnabled(on);
        if (on) e->setText(QString::number(p.item[2 + i].value));
        else e->clear();
        const int kind = kindOf(i);
        const int total = p.item[4 + kind].maximum, minUsed = MinimumUsed(p, kind);
        const int lo = i >= 2 ? minUsed : 0, hi = i >= 2 ? total : total - minUsed;
        e->SetTipValueText(QString::asprintf("Range : %d ~ %d", lo, hi));
    }
    coupling_ = false;
    setText(this, 320, QString::asprintf(qvui::loadString(1228).toUtf8().constData(), int(p.item[4].maximum)));
    setText(this, 321, QString::asprintf(qvui::loadString(1229).toUtf8().constData(), int(p.item[5].maximum)));
    showUnused();
    CheckDlgItem();
}

void CQVxF6PanelDlg::SaveDlgItem() {
    // A used count typed as one digit below its minimum is raised now, and the
    // skip count follows it, so Apply never sends fewer lines than the panel needs.
    ParameterPanel& p = c_.records.panel;
    if (!p.valid) return;
    for (int kind = 0; kind < 2; ++kind) {
        ParameterItem& used = p.item[4 + kind];
        ParameterItem& skip = p.item[2 + kind];
        if (!used.present) continue;
        const int total = used.maximum;
        const int minUsed = std::min(MinimumUsed(p, kind), total);
        if (used.value < minUsed) {
            used.value = uint8_t(minUsed);
            writeEdit(2 + kind, used.value);
        }
        if (skip.present && int(skip.value) + used.value > total) {
            skip.value = uint8_t(total - used.value);
            writeEdit(kind, skip.value);
        }
    }
    showUnused();
}

CQVxF6Panel2Dlg::CQVxF6Panel2Dlg(Controller& c, QWidget* parent) : CQVParaParentDlg(c, kTemplate, parent) {
    auto* grid = new QGridLayout(this);
    caption(this, grid, 0, 0, "Expand Panel :");
    grid->addWidget(withId(new QComboBox(this), 502), 0, 1);
    button(this, grid, 1, 0, 450, "Import Panel");
    button(this, grid, 1, 1, 451, "Export Panel");
    grid->setRowStretch(2, 1);
    initDialog();
}

} // namespace vcx
