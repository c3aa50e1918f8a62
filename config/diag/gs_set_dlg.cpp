#include "diag/gs_set_dlg.h"

#include "core/chd_parent_dlg.h"
#include "core/controller_api.h"
#include "core/program_hooks.h"
#include "core/program_state.h"
#include "diag/diag_state.h"
#include "ui/control_ids.h"
#include "ui/window_message.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace vcx {

CGSSetDlg::CGSSetDlg(DiagState& s, QWidget* parent, std::function<GoldenSampleDevice()> device)
    : QWidget(parent), s_(s), device_(std::move(device)) {
    if (!device_) device_ = [] { return GoldenSampleDeviceOf(controller(), programState()); };
    qvui::setControlScope(this);
    setWindowTitle(QLatin1String(kTitle));
    auto* grid = new QGridLayout(this);
    const std::pair<int, const char*> rows[] = {
        {kIdVersion, "Firmware Version :"}, {kIdCrc, "Parameters CRC :"}, {kIdCount, "Average Count :"}};
    int row = 0;
    for (const auto& [id, caption] : rows) {
        grid->addWidget(new QLabel(QLatin1String(caption), this), row, 0);
        auto* field = new QLabel(this);
        qvui::setControlId(field, id);
        grid->addWidget(field, row++, 1);
    }
    take_ = new QPushButton(QLatin1String(kTextCreate), this);
    qvui::setControlId(take_, kIdTake);
    connect(take_, &QPushButton::clicked, this, &CGSSetDlg::onTake);
    auto* exit = new QPushButton(QStringLiteral("&Exit"), this);
    qvui::setControlId(exit, kIdExit);
    connect(exit, &QPushButton::clicked, this, &CGSSetDlg::onExit);
    grid->addWidget(take_, row, 0);
    grid->addWidget(exit, row, 1);
    hide();
    // The main window refreshes the caption after a golden-sample scan.
    programHooks().refreshGoldenSampleCaption = [this] { UpdateCaption(true); };
}

CGSSetDlg::~CGSSetDlg() { programHooks().refreshGoldenSampleCaption = nullptr; }

void CGSSetDlg::UpdateCaption(bool force) {
    if (!force && visible_) return;
    visible_ = true;
    if (LoadAverageGoldenSample(device_(), s_)) {
        take_->setText(QLatin1String(kTextUpdate));
        SetDlgItemText(this, kIdVersion, QString::fromStdString(s_.golden.firmwareVersion));
        SetDlgItemText(this, kIdCrc, QString::asprintf("x%04X", unsigned(s_.golden.parametersCrc)));
        SetDlgItemText(this, kIdCount, QString::number(int(s_.golden.averageCount)));
    } else {
        take_->setText(QLatin1String(kTextCreate));
        for (int id : {kIdVersion, kIdCrc, kIdCount}) SetDlgItemText(this, id, {});
    }
    show();
}

void CGSSetDlg::onTake() {
    // The main window starts the golden-sample scan through the Diagnostic page.
    QObject* w = main_ ? main_.data() : window();
    if (w && w != this) qvui::sendMessage(w, qvui::WM_DEBUG_COMMAND, 13, 6);
}

void CGSSetDlg::onExit() {
    if (!visible_) return;
    visible_ = false;
    hide();
}

}  // namespace vcx
