// Imports 1,000 photos into the main window, then times what a user waits
// for: selecting all of them (the common record of every image built and
// every tab rebuilt) and stepping the selection one image at a time. The
// floor is building the common record alone, without any tab.
#include "app/DMSplitView.h"
#include "app/TAVMainWindowCtlr.h"
#include "app/TAVPhotosViewCltr.h"

#include "models/ExivRuntime.h"
#include "models/TAVKeyLists.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kPhotos = 1000;

double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

QStringList writePhotos(const QString& folder)
{
    QStringList paths;
    for (int i = 0; i < kPhotos; ++i) {
        QImage image(160, 120, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 7 % 360, 160, 200));
        const QString path = QStringLiteral("%1/photo%2.jpg").arg(folder).arg(i, 4, 10, QLatin1Char('0'));
        image.save(path, "JPEG", 80);
        paths.append(path);
    }
    return paths;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);
    ExivRuntime::initialize();
    TAVKeyLists::loadExifTag();
    TAVPhotosViewCltr::setAnimationsEnabled(false);
    DMSplitView::setAnimationsEnabled(false);

    QTemporaryDir folder;
    QDir().mkpath(folder.filePath(QStringLiteral("in")));
    QDir().mkpath(folder.filePath(QStringLiteral("src_temp")));
    const QStringList paths = writePhotos(folder.filePath(QStringLiteral("in")));

    TAVMainWindowCtlr window(folder.filePath(QStringLiteral("src_temp")));
    window.mainWindow()->resize(1280, 800);
    window.mainWindow()->show();
    TAVPhotosViewCltr* list = window.photosViewCltr();
    list->addImagesFromDirectory(paths);
    while (list->maryDataSource().size() < kPhotos || window.selectedImages().isEmpty()) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }

    QList<int> all;
    for (int i = 0; i < kPhotos; ++i)
        all.append(i);
    QElapsedTimer timer;
    timer.start();
    list->selectIndexes(all);
    QApplication::processEvents();
    const double selectAll = msSince(timer);

    timer.restart();
    const TAVExifDataPtr common = window.extractCommExifDataFromImages(window.selectedImages());
    const double floor = msSince(timer);

    std::vector<double> steps;
    for (int i = 0; i < 200; ++i) {
        timer.restart();
        list->selectIndexes({i});
        QApplication::processEvents();
        steps.push_back(msSince(timer));
    }
    double total = 0;
    for (double ms : steps)
        total += ms;
    std::printf("select all %d photos: %.1f ms (common record alone %.1f ms, ratio %.2f)\n", kPhotos, selectAll,
        floor, selectAll / floor);
    std::printf("select one photo: mean %.2f ms, worst %.2f ms over %zu steps (a frame is 16.7 ms)\n",
        total / double(steps.size()), *std::max_element(steps.begin() + 1, steps.end()), steps.size());
    return common ? 0 : 1;
}
