#include "ui/file_chooser.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QtDebug>

namespace qvui {

namespace {

QString choose(const FileChooserRequest& r) {
    if (const auto responder = FileChooserResponder::current()) return responder(r);
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        qWarning().noquote() << "file chooser without a responder on the offscreen platform, cancelled:" << r.caption;
        return {};
    }
    switch (r.kind) {
    case FileChoice::OpenFile: return QFileDialog::getOpenFileName(r.owner, r.caption, r.directory, r.filter);
    case FileChoice::SaveFile: return QFileDialog::getSaveFileName(r.owner, r.caption, r.directory, r.filter);
    case FileChoice::Folder: return QFileDialog::getExistingDirectory(r.owner, r.caption, r.directory);
    }
    return {};
}

} // namespace

QString chooseOpenFile(QWidget* owner, const QString& caption, const QString& directory, const QString& filter) {
    return choose({FileChoice::OpenFile, owner, caption, directory, filter});
}

QString chooseSaveFile(QWidget* owner, const QString& caption, const QString& directory, const QString& filter) {
    return choose({FileChoice::SaveFile, owner, caption, directory, filter});
}

QString chooseFolder(QWidget* owner, const QString& caption, const QString& directory) {
    return choose({FileChoice::Folder, owner, caption, directory, {}});
}

} // namespace qvui
