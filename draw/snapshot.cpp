#include "snapshot.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>

namespace qvdraw {

QString writePngSnapshot(const QImage& image, const QString& path) {
    if (image.isNull()) return QStringLiteral("the window has no picture to save");
    // The file is opened here so that a path that cannot be written reports the
    // system's reason ("Permission denied", "No such file or directory").
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return file.errorString();
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        const QString error = writer.errorString();
        file.close();
        file.remove();
        return error;
    }
    return {};
}

} // namespace qvdraw
