// Imports 1,000 real camera files (several makers, unicode names, sub-folders)
// into the main window, clears the list, imports them again and clears it
// again, and reports after each step the process's resident memory and the
// working-copy folder's size. Fails when a Clear leaves the process more
// than 100 MB above where it started, leaves working copies behind, or when
// a re-imported photo is listed under another name than the user's file.
// Run by hand or by scripts/bench; never part of the tests.
#include "MainWindowBench.h"

#include "app/TAVPhotosViewCltr.h"
#include "foundation/Dispatch.h"
#include "foundation/FileServices.h"
#include "models/TAVImageCacheManager.h"
#include "models/TAVImageObject.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr int kPhotos = 1000;
constexpr double kAllowedGrowthMb = 100;

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

void report(const char* step, double startMb, const QString& working)
{
    const FolderSize copies = sizeOf(working);
    std::printf("  %-26s %7.1f MB resident (%+7.1f MB), working copies: %5lld files, %7.1f MB\n", step, residentMb(),
        residentMb() - startMb, static_cast<long long>(copies.files), double(copies.bytes) / (1024.0 * 1024.0));
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
        list->addImagesFromDirectory(folders);
        QElapsedTimer waited;
        waited.start();
        pumpUntil([&] { return list->maryDataSource().size() == kPhotos || waited.elapsed() > 300000; });
        settle();
        if (list->maryDataSource().size() != kPhotos) {
            std::printf("  only %lld photos imported\n", static_cast<long long>(list->maryDataSource().size()));
            return 1;
        }
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
    std::printf("  %s\n", ok ? "within limits" : "OVER THE LIMITS");
    return ok ? 0 : 1;
}
