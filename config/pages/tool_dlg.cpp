#include "pages/tool_dlg.h"

#include "core/program_state.h"
#include "ui/control_ids.h"
#include "ui/window_message.h"

#include <algorithm>

namespace vcx {

CQVToolDlg::CQVToolDlg(Controller& c, QWidget* parent) : QWidget(parent), c_(c) {
    // The tool's control ids are its own, apart from the page's.
    qvui::setControlScope(this);
    scale_ = std::max(programState().screenScale, 1);
    resize(scaled(kToolWidth), scaled(kToolHeight));
}

QObject* CQVToolDlg::mainWindow() const {
    if (main_) return main_;
    QWidget* top = window();
    return top != this ? top : nullptr;
}

void CQVToolDlg::sendMain(quint32 message, quint64 wParam, qint64 lParam) {
    if (QObject* w = mainWindow()) qvui::sendMessage(w, message, wParam, lParam);
}

QRect CQVToolDlg::scaled(int x, int y, int w, int h) const { return {scaled(x), scaled(y), scaled(w), scaled(h)}; }

} // namespace vcx
