// The import through the real main window against the engine's import of the
// same real camera files on as many threads, and the window's peak memory.
// Prints only; run by scripts/bench with 1,000 and 5,000 photos.
#include "MainWindowBench.h"

#include "../engine/EngineBench.h"

#include "app/TAVSummaryViewCtlr.h"
#include "foundation/FileServices.h"
#include "foundation/OrderedParallelLoop.h"
#include "models/image/TAVImageObject.h"

#include <QFileInfo>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QString freshFolder(const QString& root, const QString& name)
{
    const QString folder = root + QLatin1Char('/') + name;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

// What stepping through photos one by one on the Summary tab gave.
struct Viewing {
    std::vector<double> stepsMs; // from the selection until the picture shows
    long peakKiB = 0; // the process's peak after the viewing
};

constexpr int kViewedPhotos = 150;
// A user stepping with the arrow keys looks at each photo a moment.
constexpr int kLookMs = 40;

// Selects the photos one after the other from the second, as the arrow keys
// do, timing each until the Summary tab shows its picture.
Viewing viewPhotos(TAVMainWindowCtlr& window, int count)
{
    Viewing viewing;
    TAVPhotosViewCltr* list = window.photosViewCltr();
    TAVSummaryViewCtlr* summary = window.summaryTab();
    for (int index = 1; index <= count && index < list->maryDataSource().size(); ++index) {
        QElapsedTimer timer;
        timer.start();
        list->selectIndexes({index});
        pumpUntil([&] {
            return (!summary->curDispImagePath().isEmpty()
                       && summary->shownPreviewPath() == summary->curDispImagePath())
                || timer.elapsed() > 10000;
        });
        viewing.stepsMs.push_back(msSince(timer));
        QElapsedTimer look;
        look.start();
        pumpUntil([&] { return look.elapsed() >= kLookMs; });
    }
    viewing.peakKiB = EngineBench::peakResidentKiB();
    return viewing;
}

// The window imports the corpus, shown at 1280 x 800 as a user sees it: the
// list asks for the thumbnails of the rows in view. Ends when every photo is
// in the list and the first is selected. With `viewing`, the photos are then
// looked at one by one.
double windowImportMs(const QString& root, const QStringList& corpus, long* peakKiB, Viewing* viewing = nullptr)
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
    if (viewing)
        *viewing = viewPhotos(*window, kViewedPhotos);
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

    // The window goes first, so that its peak memory is its own; then the
    // engine and the window take turns, round by round.
    const int rounds = std::max(2, EngineBench::roundsArgument(argc, argv) - 2);
    long peakKiB = 0;
    Viewing viewing;
    std::vector<double> windowMs;
    std::vector<double> engineMs;
    for (int round = 0; round < rounds; ++round) {
        for (int step = 0; step < 2; ++step) {
            if ((step + round) % 2 == 0) {
                long laterPeakKiB = 0; // after the first round no longer the window's own
                windowMs.push_back(windowImportMs(
                    root, corpus, round == 0 ? &peakKiB : &laterPeakKiB, round == 0 ? &viewing : nullptr));
            } else {
                malloc_trim(0);
                engineMs.push_back(engineImportMs(root, corpus));
            }
        }
    }
    const EngineBench::Spread ratio = EngineBench::ratioSpread(windowMs, engineMs);
    std::printf("window import, %d photos: %.2f ms per photo; the engine's import on %d threads %.2f ms per photo\n",
        files, EngineBench::spreadOf(windowMs).median / files, OrderedParallelLoop<int>::defaultThreadCount(),
        EngineBench::spreadOf(engineMs).median / files);
    EngineBench::printTargetRow(QStringLiteral("window import vs the engine's, same photos"), files, ratio, 1.0);
    const long viewedMiB = viewing.peakKiB / 1024;
    EngineBench::printMetRow(QStringLiteral("the window's peak at %1 photos after viewing %2 of them: %3 MiB (%4 MiB "
                                            "right after the import) (target <= 400 MiB at 5,000; %5)")
                                 .arg(files)
                                 .arg(viewing.stepsMs.size())
                                 .arg(viewedMiB)
                                 .arg(peakKiB / 1024)
                                 .arg(files >= 5000 ? QStringLiteral("this size") : QStringLiteral("held here too")),
        viewedMiB <= 400);
    std::vector<double> steps = viewing.stepsMs;
    std::sort(steps.begin(), steps.end());
    if (!steps.empty()) {
        const double median = steps[steps.size() / 2];
        const double p99 = steps[std::min(steps.size() - 1, steps.size() * 99 / 100)];
        EngineBench::printMetRow(
            QStringLiteral("next photo on the Summary tab over %1 steps (a look of %2 ms each): %3 ms median, %4 ms "
                           "p90, %5 ms p99, %6 ms min, %7 ms max (target <= 8 ms median, <= 25 ms at p99)")
                .arg(steps.size())
                .arg(kLookMs)
                .arg(median, 0, 'f', 1)
                .arg(steps[steps.size() * 9 / 10], 0, 'f', 1)
                .arg(p99, 0, 'f', 1)
                .arg(steps.front(), 0, 'f', 1)
                .arg(steps.back(), 0, 'f', 1),
            median <= 8 && p99 <= 25);
    }
    return EngineBench::exitCode();
}
