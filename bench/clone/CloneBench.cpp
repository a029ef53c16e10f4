// Clones one source's metadata onto 100 photos through the clone sheet, as the
// user's "Clone" does, and compares it with exiftool copying all tags onto
// the same photos in one run, and with the floor of copying the files.
#include "tools/TAVClonWindowController.h"

#include "foundation/FileServices.h"
#include "foundation/UiServices.h"
#include "models/formats/ExivRuntime.h"
#include "models/image/TAVImageObject.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>

#include <cstdio>

namespace {

constexpr int kPhotos = 100;

// Answers every alert with its first button ("OK", "Dismiss").
class SilentUi : public UiServices {
public:
    int runAlert(const AlertRequest&) override { return FirstButton; }
    QStringList runOpenPanel(const OpenPanelRequest&) override { return {}; }
    void beep() override { }
    void runAlertSheet(
        const AlertRequest&, const std::function<void(int)>&, const std::function<void()>& onCancel) override
    {
        if (onCancel) {
            onCancel();
        }
    }
};

QString writePhoto(const QString& path, int index)
{
    QImage image(1600, 1067, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, image.width(), image.height());
    gradient.setColorAt(0, QColor::fromHsv(index * 7 % 360, 160, 200));
    gradient.setColorAt(1, QColor::fromHsv(index * 13 % 360, 200, 90));
    painter.fillRect(image.rect(), gradient);
    painter.end();
    image.save(path, "JPEG", 85);
    return path;
}

void tagSource(const QString& path)
{
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    Exiv2::ExifData& exif = image->exifData();
    exif["Exif.Image.Make"] = "Canon";
    exif["Exif.Image.Model"] = "Canon EOS 5D";
    exif["Exif.Image.DateTime"] = "2021:05:06 07:08:09";
    exif["Exif.Photo.FNumber"] = Exiv2::URational(28, 10);
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "S";
    Exiv2::URationalValue latitude;
    latitude.read("33/1 52/1 0/1");
    exif["Exif.GPSInfo.GPSLatitude"] = latitude;
    image->iptcData()["Iptc.Application2.Caption"] = "Harbour";
    image->xmpData()["Xmp.dc.title"] = "Harbour";
    image->writeMetadata();
}

QStringList makeTargets(const QString& folder)
{
    QStringList paths;
    for (int i = 0; i < kPhotos; ++i) {
        paths << writePhoto(folder + QStringLiteral("/target%1.jpg").arg(i), i);
    }
    return paths;
}

double cloneSheet(const QString& source, const QStringList& targets)
{
    TAVClonWindowController sheet(nullptr);
    sheet.doImportFile(QUrl::fromLocalFile(source));
    QList<TAVImageObjectPtr> objects;
    for (const QString& path : targets) {
        TAVImageObjectPtr object = TAVImageObject::create();
        object->setSrcPath(path);
        objects << object;
    }
    QElapsedTimer timer;
    timer.start();
    const bool ok = sheet.doClone(objects);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (!ok) {
        std::printf("clone reported a failure\n");
    }
    return ms;
}

double exiftool(const QString& source, const QStringList& targets)
{
    QStringList arguments{QStringLiteral("-q"), QStringLiteral("-overwrite_original"), QStringLiteral("-TagsFromFile"),
        source, QStringLiteral("-all:all")};
    arguments << targets;
    QElapsedTimer timer;
    timer.start();
    QProcess::execute(QStringLiteral("exiftool"), arguments);
    return double(timer.nsecsElapsed()) / 1e6;
}

double copyFloor(const QStringList& targets, const QString& folder)
{
    QElapsedTimer timer;
    timer.start();
    int i = 0;
    for (const QString& path : targets) {
        FileServices::copyItem(path, folder + QStringLiteral("/copy%1.jpg").arg(i++));
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);
    ExivRuntime::initialize();
    SilentUi ui;
    UiServices::setShared(&ui);

    QTemporaryDir folder;
    const QString source = writePhoto(folder.filePath(QStringLiteral("source.jpg")), 999);
    tagSource(source);
    QDir().mkpath(folder.filePath(QStringLiteral("sheet")));
    QDir().mkpath(folder.filePath(QStringLiteral("exiftool")));
    QDir().mkpath(folder.filePath(QStringLiteral("copies")));

    const double sheetMs = cloneSheet(source, makeTargets(folder.filePath(QStringLiteral("sheet"))));
    const double toolMs = QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty()
        ? -1.0
        : exiftool(source, makeTargets(folder.filePath(QStringLiteral("exiftool"))));
    const double floorMs = copyFloor(makeTargets(folder.filePath(QStringLiteral("copies"))), folder.path());

    std::printf("clone onto %d JPEGs (1600x1067): sheet %.0f ms (%.1f ms each), exiftool %.0f ms, copy floor %.0f ms\n",
        kPhotos, sheetMs, sheetMs / kPhotos, toolMs, floorMs);
    if (toolMs > 0) {
        std::printf("ratio sheet/exiftool %.2f, sheet/floor %.1f\n", sheetMs / toolMs, sheetMs / floorMs);
    }
    UiServices::setShared(nullptr);
    return 0;
}
