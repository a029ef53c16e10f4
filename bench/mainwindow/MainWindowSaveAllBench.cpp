// Save All in the real main window over 5,000 real camera files by default:
// with 3 of them edited (the others have nothing to write), with none
// edited, and with every one edited. Each is timed from the click until the
// loop's last step has run and its progress sheet is gone. The few edited
// photos among many are held to a target of 1 s, beside every photo edited;
// exits non-zero when the target is not met. Run by scripts/bench.
//
//   mainwindow_saveall_bench [--files N] [--rounds R] [--all-rounds A]
//       R rounds of the few edited and of none edited (5), A of every photo
//       edited (1: a round saves every file).
#include "MainWindowBench.h"

#include "../engine/EngineBench.h"

#include "commlib/VXProgressWindowController.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr double kFewEditedTargetMs = 1000;
constexpr int kFewEdited = 3;
const QString kArtist = QStringLiteral("Exif.Image.Artist");

int intArgument(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]) == QLatin1String(name)) {
            const int value = QString::fromLocal8Bit(argv[i + 1]).toInt();
            return value > 0 ? value : fallback;
        }
    }
    return fallback;
}

void edit(const TAVImageObjectPtr& image, const QString& artist)
{
    image->exifData()->setValue(artist, kArtist, TAVExifData::CategorySummary, false, true, true);
}

// How long the user waits for Save All: from the click until the sheet is gone.
double saveAllMs(TAVMainWindowCtlr& window)
{
    QElapsedTimer timer;
    timer.start();
    window.clickSaveAll();
    pumpUntil([&] { return !window.isLoopRunning() && !window.progressWindowController()->isSheetUp(); });
    return msSince(timer);
}

int savedAmong(const QList<TAVImageObjectPtr>& images)
{
    return int(std::count_if(images.begin(), images.end(),
        [](const TAVImageObjectPtr& image) { return image->exifData()->enuModifyState() == TAVExifData::StateSaved; }));
}

// Photos spread over the list, other ones each round.
QList<TAVImageObjectPtr> fewOf(const QList<TAVImageObjectPtr>& images, int round)
{
    const qsizetype count = images.size();
    QList<TAVImageObjectPtr> few;
    for (int i = 0; i < kFewEdited; ++i)
        few.append(images.at((count * i / kFewEdited + 7 * round + 1) % count));
    return few;
}

} // namespace

int main(int argc, char** argv)
{
    prepareMainWindowBenchProcess();
    QApplication application(argc, argv);
    prepareMainWindowBench();
    const int files = EngineBench::filesArgument(argc, argv, 5000);
    const int rounds = EngineBench::roundsArgument(argc, argv);
    const int allRounds = intArgument(argc, argv, "--all-rounds", 1);
    const QString root = EngineBench::scratchFolder();
    // The smaller mix: the photos and their working copies both stay on disk.
    const QStringList corpus
        = EngineBench::makeCorpus(root + QStringLiteral("/corpus"), files, EngineBench::CorpusMix::FewerLargeFiles);

    auto shown = mainWindowImporting(root + QStringLiteral("/window-work"), corpus);
    TAVMainWindowCtlr& window = *shown;
    const QList<TAVImageObjectPtr> images = window.photosViewCltr()->maryDataSource();

    const EngineBench::MachineLoad fewLoad;
    std::vector<double> few;
    std::vector<double> none;
    bool fewAllSaved = true;
    for (int round = 0; round < rounds; ++round) {
        const QList<TAVImageObjectPtr> edited = fewOf(images, round);
        for (const TAVImageObjectPtr& image : edited)
            edit(image, QStringLiteral("Few %1").arg(round));
        few.push_back(saveAllMs(window));
        fewAllSaved = fewAllSaved && savedAmong(edited) == kFewEdited;
        none.push_back(saveAllMs(window));
    }
    const QString fewLoadText = fewLoad.describe();
    const EngineBench::MachineLoad allLoad;
    std::vector<double> all;
    bool allSaved = true;
    for (int round = 0; round < allRounds; ++round) {
        for (const TAVImageObjectPtr& image : images)
            edit(image, QStringLiteral("All %1").arg(round));
        all.push_back(saveAllMs(window));
        allSaved = allSaved && savedAmong(images) == files;
        EngineBench::noteScratchUse();
    }

    const EngineBench::Spread fewSpread = EngineBench::spreadOf(few);
    const EngineBench::Spread allSpread = EngineBench::spreadOf(all);
    std::printf("Save All in the main window, %d real camera photos listed\n", files);
    std::printf("Save All, none edited among %d: %s (%s, with the row below)\n", files,
        qPrintable(EngineBench::describe(EngineBench::spreadOf(none), " ms")), qPrintable(fewLoadText));
    std::printf("Save All, all %d edited: %s (%.1f ms a photo; %s)%s\n", files,
        qPrintable(EngineBench::describe(allSpread, " ms")), allSpread.median / files, qPrintable(allLoad.describe()),
        allSaved ? "" : " - NOT every photo was saved");
    EngineBench::printMetRow(QStringLiteral("Save All, %1 edited among %2: %3 (%4 ms for all %2 edited; target "
                                            "<= %5 ms)%6")
                                 .arg(kFewEdited)
                                 .arg(files)
                                 .arg(EngineBench::describe(fewSpread, " ms"))
                                 .arg(allSpread.median, 0, 'f', 0)
                                 .arg(kFewEditedTargetMs, 0, 'f', 0)
                                 .arg(fewAllSaved ? QString() : QStringLiteral(" - NOT every edited photo was saved")),
        fewSpread.median <= kFewEditedTargetMs && fewAllSaved);
    std::printf("scratch used: %.1f GB\n", double(EngineBench::peakScratchBytes()) / 1e9);
    shown.reset();
    QDir(root).removeRecursively();
    return EngineBench::exitCode();
}
