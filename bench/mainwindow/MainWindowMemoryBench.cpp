// Imports 1,000 real camera files (several makers, unicode names, sub-folders)
// into the main window, clears the list, imports them again and clears it
// again, and reports after each step the process's resident memory and the
// working-copy folder's size. Fails when a Clear leaves the process more
// than 100 MB above where it started, leaves working copies behind, or when
// a re-imported photo is listed under another name than the user's file.
// Then imports them a third time and saves them all in ten rounds (each
// round edits every photo, then Save All): fails when a round ends more than
// 50 MB above the first, since a save keeps nothing once it has ended.
// Run by hand or by scripts/bench; never part of the tests.
#include "MainWindowBench.h"

#include "app/TAVPhotosViewCltr.h"
#include "foundation/Dispatch.h"
#include "foundation/FileServices.h"
#include "models/image/TAVImageCacheManager.h"
#include "models/image/TAVImageObject.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <string>

namespace {

constexpr int kPhotos = 1000;
constexpr double kAllowedGrowthMb = 100;
constexpr int kSaveRounds = 10;
constexpr double kAllowedSaveGrowthMb = 50;
// The heap the saved photos' records may take beyond what the imported ones
// took (0.6 MB measured; a record that kept its rows from before the save
// took 38 MB more).
constexpr double kAllowedSavedRecordsGrowthMb = 10;

// The resident set of this process, in MB, as the kernel counts it.
double residentMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return -1;
}

struct FolderSize {
    qint64 files = 0;
    qint64 bytes = 0;
};

FolderSize sizeOf(const QString& folder)
{
    FolderSize size;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++size.files;
        size.bytes += it.fileInfo().size();
    }
    return size;
}

// Copies of the committed camera samples under names a user has: accents,
// other scripts and blanks, spread over sub-folders.
bool writeCorpus(const QString& folder)
{
    static const char* const samples[] = {
        "npm-canon-s40.jpg", "npm-iphone6p.jpg", "npm-lumia.jpg", "png-nikon-d3.png", "goexif.tif", "png-sony-gps.png"};
    static const char* const stems[] = {"Urlaub Süd", "фото", "写真", "Île de Ré", "IMG"};
    for (int i = 0; i < kPhotos; ++i) {
        const QString sample = QString::fromLatin1(samples[i % 6]);
        const QString sub = QStringLiteral("%1/Tag %2").arg(folder).arg(i / 250 + 1);
        QDir().mkpath(sub);
        const QString name = QStringLiteral("%1 %2.%3")
                                 .arg(QString::fromUtf8(stems[i % 5]))
                                 .arg(i, 4, 10, QLatin1Char('0'))
                                 .arg(QFileInfo(sample).suffix());
        if (!QFile::copy(QStringLiteral(LUMETTA_BENCH_DATA_DIR "/") + sample, sub + QLatin1Char('/') + name))
            return false;
    }
    return true;
}

void settle()
{
    Dispatch::waitForWorkers();
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// What the program holds on the heap, in MB, as the allocator counts it: the
// resident set also counts memory freed but not yet given back.
double heapInUseMb()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

void report(const char* step, double startMb, const QString& working)
{
    const FolderSize copies = sizeOf(working);
    std::printf("  %-26s %7.1f MB resident (%+7.1f MB), %7.1f MB heap in use, working copies: %5lld files, %7.1f MB\n",
        step, residentMb(), residentMb() - startMb, heapInUseMb(), static_cast<long long>(copies.files),
        double(copies.bytes) / (1024.0 * 1024.0));
}

// The photos listed under a name that is not their user's file name.
int misnamed(TAVPhotosViewCltr* list)
{
    int count = 0;
    for (const auto& image : list->maryDataSource()) {
        if (image->imageTitle() != QFileInfo(image->srcPath()).fileName())
            ++count;
    }
    return count;
}

bool importAll(TAVPhotosViewCltr* list, const QStringList& folders)
{
    list->addImagesFromDirectory(folders);
    QElapsedTimer waited;
    waited.start();
    pumpUntil([&] { return list->maryDataSource().size() == kPhotos || waited.elapsed() > 300000; });
    settle();
    if (list->maryDataSource().size() != kPhotos) {
        std::printf("  only %lld photos imported\n", static_cast<long long>(list->maryDataSource().size()));
        return false;
    }
    return true;
}

// Ten rounds of an edit of every photo and Save All; true when every round
// saved every photo and ended within the allowed growth of the first, and the
// records of the saved photos hold about what they held after the import.
bool saveRounds(TAVMainWindowCtlr& window, double startMb, const QString& working)
{
    TAVPhotosViewCltr* list = window.photosViewCltr();
    const double heapBeforeMb = heapInUseMb();
    double savedRecordsGrowthMb = 0;
    double firstMb = 0;
    double worstMb = 0;
    bool ok = true;
    for (int round = 1; round <= kSaveRounds; ++round) {
        const QString artist = QStringLiteral("Round %1").arg(round);
        for (const auto& image : list->maryDataSource())
            image->exifData()->setValue(artist, QStringLiteral("Exif.Image.Artist"), 0, false, true, true);
        QElapsedTimer timer;
        timer.start();
        window.clickSaveAll();
        pumpUntil([&] { return !window.isLoopRunning(); });
        const double seconds = double(timer.elapsed()) / 1000.0;
        settle();
        int saved = 0;
        for (const auto& image : list->maryDataSource())
            saved += image->exifData()->enuModifyState() == TAVExifData::StateSaved ? 1 : 0;
        const double nowMb = residentMb();
        if (round == 1) {
            firstMb = nowMb;
            savedRecordsGrowthMb = heapInUseMb() - heapBeforeMb;
        }
        worstMb = std::max(worstMb, nowMb - firstMb);
        char step[40];
        std::snprintf(step, sizeof step, "save round %d (%.1f s)", round, seconds);
        report(step, startMb, working);
        if (saved != kPhotos) {
            std::printf("  only %d of %d photos saved\n", saved, kPhotos);
            ok = false;
        }
    }
    std::printf("  save rounds: the last ended %+.1f MB from the first, the largest growth %.1f MB (limit %.0f MB)\n",
        residentMb() - firstMb, worstMb, kAllowedSaveGrowthMb);
    // A photo read again after its save keeps its new rows only.
    std::printf("  heap in use after the first save round: %+.1f MB from before the saves (limit %.0f MB)\n",
        savedRecordsGrowthMb, kAllowedSavedRecordsGrowthMb);
    return ok && worstMb <= kAllowedSaveGrowthMb && savedRecordsGrowthMb <= kAllowedSavedRecordsGrowthMb;
}

} // namespace

int main(int argc, char** argv)
{
    prepareMainWindowBenchProcess();
    QApplication application(argc, argv);
    prepareMainWindowBench();
    QTemporaryDir temp;
    const QString corpus = temp.filePath(QStringLiteral("corpus"));
    const QString working = temp.filePath(QStringLiteral("src_temp"));
    QDir().mkpath(working);
    if (!writeCorpus(corpus)) {
        std::fprintf(stderr, "cannot write the corpus\n");
        return 1;
    }

    TAVMainWindowCtlr window(working);
    window.mainWindow()->resize(1280, 800);
    window.mainWindow()->show();
    settle();
    TAVPhotosViewCltr* list = window.photosViewCltr();
    const double startMb = residentMb();
    std::printf("main window, %d real camera files (JPEG, PNG, TIFF) in sub-folders with unicode names\n", kPhotos);
    report("start", startMb, working);

    // The sub-folders are dropped as a user drops them: the list takes what
    // each holds.
    QStringList folders;
    for (const QString& name : QDir(corpus).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        folders.append(corpus + QLatin1Char('/') + name);
    bool ok = true;
    for (int round = 1; round <= 2; ++round) {
        if (!importAll(list, folders))
            return 1;
        report(round == 1 ? "imported" : "imported again", startMb, working);
        const int wrongNames = misnamed(list);
        if (wrongNames > 0) {
            std::printf("  %d photos listed under another name than the user's file\n", wrongNames);
            ok = false;
        }
        std::vector<std::weak_ptr<TAVImageObject>> listed;
        for (const auto& image : list->maryDataSource())
            listed.push_back(image);
        list->clearAllImageObjects();
        settle();
        int alive = 0;
        for (const auto& image : listed)
            alive += image.expired() ? 0 : 1;
        std::printf("  photo objects left: %d, cached pictures: %lld (%lld bytes)\n", alive,
            static_cast<long long>(TAVImageCacheManager::sharedInstance().count()),
            static_cast<long long>(TAVImageCacheManager::sharedInstance().totalBytes()));
        report(round == 1 ? "cleared" : "cleared again", startMb, working);
        ok = ok && alive == 0 && list->maryDataSource().isEmpty() && sizeOf(working).files == 0
            && residentMb() - startMb <= kAllowedGrowthMb;
    }

    if (!importAll(list, folders))
        return 1;
    report("imported for saving", startMb, working);
    ok = saveRounds(window, startMb, working) && ok;
    list->clearAllImageObjects();
    settle();
    report("cleared after saving", startMb, working);
    std::printf("  %s\n", ok ? "within limits" : "OVER THE LIMITS");
    return ok ? 0 : 1;
}
