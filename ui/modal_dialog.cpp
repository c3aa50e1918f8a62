#include "ui/modal_dialog.h"

#include <QDialog>
#include <QGuiApplication>
#include <QtDebug>

namespace qvui {

int execDialog(QDialog& dialog) {
    const auto responder = DialogResponder::current();
    if (!responder && QGuiApplication::platformName() == QLatin1String("offscreen")) {
        qWarning().noquote() << "dialog without a responder on the offscreen platform, rejected:"
                             << dialog.windowTitle();
        dialog.setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    // Modal to its own window only (unless it chose otherwise): a top-level
    // window of the program without a parent, like the drawing window, keeps
    // its input while a page's dialog runs.
    if (dialog.parentWidget() && !dialog.testAttribute(Qt::WA_SetWindowModality))
        dialog.setWindowModality(Qt::WindowModal);
    if (!responder) return dialog.exec();

    dialog.setResult(QDialog::Rejected);
    dialog.show();
    const DialogChoice choice = responder(dialog);
    if (dialog.isVisible()) {
        if (choice == DialogChoice::Accept)
            dialog.accept();
        else
            dialog.reject();
    }
    if (dialog.isVisible()) {
        qWarning().noquote() << "dialog stayed open when the responder ended it, rejected:" << dialog.windowTitle();
        dialog.QDialog::done(QDialog::Rejected);
    }
    return dialog.result();
}

} // namespace qvui
