// The program's one way to ask for a file or a folder. Tests install a
// responder that returns the path a user would pick (empty: cancelled); without
// one the choice is a QFileDialog. On the headless "offscreen" platform an
// unanswered request is logged and cancelled instead of blocking.
#pragma once

#include "ui/responder.h"

#include <QString>

class QWidget;

namespace qvui {

enum class FileChoice { OpenFile, SaveFile, Folder };

struct FileChooserRequest {
    FileChoice kind = FileChoice::OpenFile;
    QWidget* owner = nullptr;
    QString caption;
    QString directory; // start folder or proposed path
    QString filter;    // QFileDialog filter text, e.g. "INI File (*.ini)"; empty for folders
};

// Each returns the chosen path, empty when cancelled.
QString chooseOpenFile(QWidget* owner, const QString& caption, const QString& directory, const QString& filter);
QString chooseSaveFile(QWidget* owner, const QString& caption, const QString& directory, const QString& filter);
QString chooseFolder(QWidget* owner, const QString& caption, const QString& directory);

// While it lives, every request goes to the responder.
using FileChooserResponder = ScopedResponder<QString(const FileChooserRequest&), FileChooserRequest>;

} // namespace qvui
