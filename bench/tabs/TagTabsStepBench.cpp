// Steps the summary and exposure tabs through 1,000 photos, as holding the
// arrow key in the photo list does, and times each step: the rebuild of both
// tabs plus the events of that step. The comparison is the same stepping with the
// preview decoded on the GUI thread, which is what a step would cost if the
// preview were loaded in place.
#include "app/TAVExposureViewCtlr.h"
#include "app/TAVSummaryViewCtlr.h"

#include "foundation/Dispatch.h"
#include "models/formats/ExivRuntime.h"
#include "models/image/TAVImageCacheManager.h"
#include "models/image/TAVImageObject.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kPhotos = 1000;

QString writePhoto(const QTemporaryDir& folder, int index)
{
    QImage image(1600, 1067, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, image.width(), image.height());
    gradient.setColorAt(0, QColor::fromHsv(index * 7 % 360, 160, 200));
    gradient.setColorAt(1, QColor::fromHsv(index * 13 % 360, 200, 90));
    painter.fillRect(image.rect(), gradient);
    painter.end();
    const QString path = folder.filePath(QStringLiteral("photo%1.jpg").arg(index));
    image.save(path, "JPEG", 85);
    return path;
}

struct Timing {
    double meanMs;
    double worstMs;
};

Timing step(const std::vector<TAVExifDataPtr>& records, TAVSummaryViewCtlr& summary, TAVExposureViewCtlr& exposure,
    bool decodeInPlace)
{
    std::vector<double> steps;
    for (const TAVExifDataPtr& record : records) {
        QElapsedTimer timer;
        timer.start();
        if (decodeInPlace)
            TAVImageCacheManager::sharedInstance().getImage(record->strImagePath());
        summary.setImgExifData(record);
        exposure.setImgExifData(record);
        QApplication::processEvents();
        steps.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    double total = 0;
    for (const double ms : steps)
        total += ms;
    // The first step lays the tabs out and loads fonts; it says nothing of stepping.
    return {total / double(steps.size()), *std::max_element(steps.begin() + 1, steps.end())};
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ExivRuntime::initialize();
    QTemporaryDir folder;
    std::vector<TAVImageObjectPtr> images;
    std::vector<TAVExifDataPtr> records;
    for (int i = 0; i < kPhotos; ++i) {
        images.push_back(TAVImageObject::create());
        records.push_back(images.back()->exifData());
        records.back()->setStrImagePath(writePhoto(folder, i));
        records.back()->setValue(QStringLiteral("1/%1").arg(30 + i), "Exif.Photo.ExposureTime", 1, false, false, true);
    }
    TAVSummaryViewCtlr summary;
    TAVExposureViewCtlr exposure;
    summary.show();
    exposure.show();

    const Timing tabs = step(records, summary, exposure, false);
    Dispatch::waitForWorkers();
    // Emptied cache for the blocking run, so it decodes as much as the first run did.
    for (const TAVExifDataPtr& record : records)
        TAVImageCacheManager::sharedInstance().removeImageFromCache(record->strImagePath());
    const Timing blocking = step(records, summary, exposure, true);
    Dispatch::waitForWorkers();

    std::printf("tabs, preview off the GUI thread: %.3f ms per step, worst %.3f ms\n", tabs.meanMs, tabs.worstMs);
    std::printf(
        "blocking, preview decoded in place: %.3f ms per step, worst %.3f ms\n", blocking.meanMs, blocking.worstMs);
    std::printf("ratio (tabs / blocking): mean %.2f, worst %.2f\n", tabs.meanMs / blocking.meanMs,
        tabs.worstMs / blocking.worstMs);
    return 0;
}
