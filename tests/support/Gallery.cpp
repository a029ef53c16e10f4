#include "support/Gallery.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace {

bool holdsMoreThanOneColour(const QImage& image)
{
    if (image.isNull()) {
        return false;
    }
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != first) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

QString Gallery::folder()
{
    const QString path = QStringLiteral(LUMETTA_GALLERY_DIR);
    QDir().mkpath(path);
    return path;
}

::testing::AssertionResult Gallery::capture(QWidget* widget, const QString& name)
{
    if (widget == nullptr) {
        return ::testing::AssertionFailure() << "no widget for gallery picture " << name.toStdString();
    }
    widget->ensurePolished();
    if (!widget->isVisible()) {
        widget->show();
    }
    // Let layouts, queued updates and deferred view requests settle first.
    for (int turn = 0; turn < 3; ++turn) {
        QApplication::processEvents();
    }
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QString file = QDir(folder()).filePath(name + QStringLiteral(".png"));
    if (!image.save(file, "PNG")) {
        return ::testing::AssertionFailure() << "could not write " << file.toStdString();
    }
    if (!holdsMoreThanOneColour(image)) {
        return ::testing::AssertionFailure() << "gallery picture " << file.toStdString() << " is blank";
    }
    return ::testing::AssertionSuccess();
}
