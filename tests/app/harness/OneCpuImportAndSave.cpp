// The main window, shown, imports the photos of a folder and saves an edit of
// every one with the process on one CPU and Qt's global thread pool down to
// one thread, as on a one-core machine. Prints how many photos came in and how
// many were saved; the test that starts it bounds the time it may take, since
// what it guards against is a hang.
//
//   app_one_cpu_import_and_save <photo folder> <working-copy folder> <artist>
#include "app/DMSplitView.h"
#include "app/TAVMainWindowCtlr.h"
#include "app/TAVPhotosViewCltr.h"
#include "models/formats/ExivRuntime.h"
#include "models/tables/TAVKeyLists.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMainWindow>
#include <QStandardPaths>
#include <QThreadPool>

#include <sched.h>

#include <cstdio>
#include <functional>

namespace {

// Keeps this thread, and so every thread started after it, on the first CPU
// the process may use.
bool keepToOneCpu()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return false;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu, &one);
            return sched_setaffinity(0, sizeof one, &one) == 0;
        }
    }
    return false;
}

bool pumpUntil(const std::function<bool()>& done, int msecs)
{
    const QDeadlineTimer deadline(msecs);
    while (!done() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || !keepToOneCpu()) {
        std::fprintf(stderr, "usage: %s <photo folder> <working-copy folder> <artist> (on one CPU)\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    ExivRuntime::initialize();
    TAVKeyLists::loadExifTag();
    TAVPhotosViewCltr::setAnimationsEnabled(false);
    DMSplitView::setAnimationsEnabled(false);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString artist = QString::fromLocal8Bit(argv[3]);
    const qsizetype expected = QDir(folder).entryList(QDir::Files).size();

    TAVMainWindowCtlr window(QString::fromLocal8Bit(argv[2]));
    window.mainWindow()->resize(1280, 800);
    window.mainWindow()->show();
    TAVPhotosViewCltr* list = window.photosViewCltr();
    list->addImagesFromDirectory({folder});
    // Waits past any sensible time: the test's own bound ends a hang first.
    pumpUntil([&] { return list->maryDataSource().size() == expected && !window.selectedImages().isEmpty(); }, 600000);
    const QList<TAVImageObjectPtr> images = list->maryDataSource();
    std::printf("imported %lld\n", static_cast<long long>(images.size()));

    for (const TAVImageObjectPtr& image : images)
        image->exifData()->setValue(artist, QStringLiteral("Exif.Image.Artist"), 0, false, true, true);
    window.clickSaveAll();
    pumpUntil([&] { return !window.isLoopRunning(); }, 600000);
    int saved = 0;
    for (const TAVImageObjectPtr& image : images)
        saved += image->exifData()->enuModifyState() == TAVExifData::StateSaved ? 1 : 0;
    std::printf("saved %d\n", saved);
    std::fflush(stdout);
    return 0;
}
