#pragma once

// What the main window benchmarks share: photos to import and a shown main
// window holding them.
#include "app/DMSplitView.h"
#include "app/TAVMainWindowCtlr.h"
#include "app/TAVPhotosViewCltr.h"

#include "models/formats/ExivRuntime.h"
#include "models/tables/TAVKeyLists.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>

#include <functional>
#include <memory>

// Small coloured photos written as JPEG files: photo0000.jpg, photo0001.jpg...
inline QStringList writeBenchPhotos(const QString& folder, int count)
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        QImage image(160, 120, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 7 % 360, 160, 200));
        const QString path = QStringLiteral("%1/photo%2.jpg").arg(folder).arg(i, 4, 10, QLatin1Char('0'));
        image.save(path, "JPEG", 80);
        paths.append(path);
    }
    return paths;
}

inline double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Before the application is made: offscreen, settings kept apart from the
// user's, and no map service, so a bench neither waits on nor loads a public
// tile or search server (the GPS tab then draws its plain grid).
inline void prepareMainWindowBenchProcess()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    for (const char* service : {"LUMETTA_TILEURL", "LUMETTA_SATELLITETILEURL", "LUMETTA_PLACESEARCHURL",
             "LUMETTA_GEOCODERURL", "LUMETTA_STATICMAPURL", "LUMETTA_LOCATIONURL"}) {
        qputenv(service, QByteArray());
    }
}

// After the application is made: the tag tables loaded and animations off.
inline void prepareMainWindowBench()
{
    ExivRuntime::initialize();
    TAVKeyLists::loadExifTag();
    TAVPhotosViewCltr::setAnimationsEnabled(false);
    DMSplitView::setAnimationsEnabled(false);
}

inline void pumpUntil(const std::function<bool()>& done)
{
    while (!done()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
}

// A 1280 x 800 main window over the working-copy folder `work` that has
// imported `paths`, the first one selected.
inline std::unique_ptr<TAVMainWindowCtlr> mainWindowImporting(const QString& work, const QStringList& paths)
{
    QDir().mkpath(work);
    auto window = std::make_unique<TAVMainWindowCtlr>(work);
    window->mainWindow()->resize(1280, 800);
    window->mainWindow()->show();
    TAVPhotosViewCltr* list = window->photosViewCltr();
    list->addImagesFromDirectory(paths);
    const qsizetype count = paths.size();
    pumpUntil([&] { return list->maryDataSource().size() == count && !window->selectedImages().isEmpty(); });
    return window;
}

// The same over <root>/src_temp with `count` photos written to <root>/in.
inline std::unique_ptr<TAVMainWindowCtlr> mainWindowWithPhotos(const QString& root, int count)
{
    QDir().mkpath(root + QStringLiteral("/in"));
    return mainWindowImporting(
        root + QStringLiteral("/src_temp"), writeBenchPhotos(root + QStringLiteral("/in"), count));
}
