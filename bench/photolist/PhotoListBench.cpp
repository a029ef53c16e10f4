// Times the photo list with 1,000 photos: the longest time the window could
// not answer (the longest gap between ticks of a 1 ms GUI timer) while they
// are imported, while their thumbnails are scrolled through, and while they
// are sorted by camera. The import is set against the floor of copying the
// same files. Run by hand or by scripts/bench; never part of the tests.
#include "app/TAVImageBrowserView.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVPhotosViewCltrDelegate.h"
#include "commlib/VXPopUpButton.h"
#include "foundation/Dispatch.h"
#include "foundation/FileServices.h"
#include "models/formats/ExivRuntime.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int kPhotos = 1000;
constexpr int kScrollSteps = 300;

// The longest gap between two ticks of a fast GUI timer: how long the
// window could not have answered the user.
class StallMeter {
public:
    StallMeter()
    {
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        longest_ = 0;
        clock_.start();
        timer_.start();
    }
    double stopMilliseconds()
    {
        tick();
        timer_.stop();
        return double(longest_) / 1e6;
    }

private:
    void tick()
    {
        longest_ = std::max(longest_, clock_.nsecsElapsed());
        clock_.restart();
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

struct FinishDelegate : TAVPhotosViewCltrDelegate {
    void photosViewCltrDidImportedImage(TAVPhotosViewCltr*, const QList<TAVImageObjectPtr>&) override
    {
        finished = true;
    }
    bool finished = false;
};

bool writePhotos(const QString& folder)
{
    const char* cameras[] = {"Alpha 7", "EOS R5", "X-T4", "Z 6", "GR III"};
    for (int i = 0; i < kPhotos; ++i) {
        QImage image(480, 320, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((i * 37) % 360, 120, 200));
        QPainter painter(&image);
        painter.drawText(image.rect(), Qt::AlignCenter, QString::number(i));
        painter.end();
        const QString path = QStringLiteral("%1/photo_%2.jpg").arg(folder).arg(i, 4, 10, QLatin1Char('0'));
        if (!image.save(path, "JPG", 85)) {
            return false;
        }
        auto file = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        file->readMetadata();
        file->exifData()["Exif.Image.Model"] = cameras[(i * 7) % 5];
        file->exifData()["Exif.Photo.DateTimeOriginal"] = "2024:05:06 07:08:09";
        file->writeMetadata();
    }
    return true;
}

void waitFor(const std::function<bool()>& done)
{
    while (!done()) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Lumetta"));
    QApplication::setApplicationName(QStringLiteral("Lumetta"));
    ExivRuntime::initialize();
    QTemporaryDir temp;
    const QString sources = temp.filePath(QStringLiteral("photos"));
    const QString copies = temp.filePath(QStringLiteral("floor"));
    const QString working = temp.filePath(QStringLiteral("src_temp"));
    QDir().mkpath(sources);
    QDir().mkpath(copies);
    QDir().mkpath(working);
    if (!writePhotos(sources)) {
        std::fprintf(stderr, "cannot write the photos\n");
        return 1;
    }

    QElapsedTimer floorClock;
    floorClock.start();
    for (const QString& name : FileServices::contentsOfFolder(sources)) {
        FileServices::copyItem(sources + QLatin1Char('/') + name, copies + QLatin1Char('/') + name);
    }
    const double floorMs = double(floorClock.nsecsElapsed()) / 1e6;

    TAVPhotosViewCltr::setAnimationsEnabled(false);
    TAVPhotosViewCltr list(working);
    FinishDelegate delegate;
    list.setCustomDelegate(&delegate);
    list.resize(1100, 760);
    list.show();
    QApplication::processEvents();

    StallMeter meter;
    meter.start();
    QElapsedTimer importClock;
    importClock.start();
    list.addImagesFromDirectory({sources});
    waitFor([&] { return delegate.finished; });
    const double importMs = double(importClock.nsecsElapsed()) / 1e6;
    const double importStall = meter.stopMilliseconds();

    // Scrolling: thumbnails are asked for as cells come into view.
    QScrollBar* bar = list.imageBrowser()->verticalScrollBar();
    meter.start();
    for (int step = 0; step <= kScrollSteps; ++step) {
        bar->setValue(bar->maximum() * step / kScrollSteps);
        QApplication::processEvents();
    }
    Dispatch::waitForWorkers();
    QApplication::processEvents();
    const double scrollStall = meter.stopMilliseconds();

    list.popSort()->setCurrentText(QStringLiteral("Camera"));
    meter.start();
    QTimer::singleShot(0, [&list] { list.clickSortPop(); });
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const double sortStall = meter.stopMilliseconds();

    std::printf("photo list, %d photos of 480x320\n", kPhotos);
    std::printf("  import: %.0f ms in all (copying alone %.0f ms, ratio %.1f), longest GUI stall %.1f ms\n", importMs,
        floorMs, importMs / std::max(floorMs, 1.0), importStall);
    std::printf("  scrolling %d steps through the thumbnails: longest GUI stall %.1f ms\n", kScrollSteps, scrollStall);
    std::printf("  sorting by camera: longest GUI stall %.1f ms\n", sortStall);
    std::printf("  images in the list: %lld\n", static_cast<long long>(list.maryDataSource().size()));
    return list.maryDataSource().size() == kPhotos ? 0 : 1;
}
