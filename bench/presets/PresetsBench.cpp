// Times what every action of the presets pop-up costs: the store reads the
// whole folder again each time. With 200 presets of a full setting each,
// `loadPresets` and `presetWithName` (the last name in the listing, and a
// name nobody has) are set against the floor of reading the same bytes
// without decoding them, and against 100 ms, about where a user starts to
// notice a menu lagging.
#include "tools/TAVPrestManager.h"

#include "models/formats/ExivRuntime.h"
#include "models/image/TAVImageObject.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kPresets = 200;
constexpr int kRuns = 30;
constexpr double kNoticeableMs = 100.0;

struct Timing {
    double medianMs;
    double worstMs;
};

Timing timeRuns(const std::function<void()>& run)
{
    run(); // warm-up: page cache, class registry
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

// A setting as the tabs collect it: every editable key, a few of them set.
bool storePresets(TAVPrestManager& store)
{
    for (int i = 0; i < kPresets; ++i) {
        const TAVImageObjectPtr image = TAVImageObject::create();
        const TAVExifDataPtr record = image->exifData()->copy();
        record->setValue(QStringLiteral("Maker %1").arg(i), "Exif.Image.Make", 0, false, true, true);
        record->setValue(QStringLiteral("Artist %1").arg(i), "Exif.Image.Artist", 0, false, true, true);
        record->setStrName(QStringLiteral("Preset %1").arg(i, 3, 10, QLatin1Char('0')));
        if (!store.addPreset(record)) {
            return false;
        }
    }
    return true;
}

qint64 readAllBytes(const QString& folder)
{
    qint64 total = 0;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly)) {
            total += file.readAll().size();
        }
    }
    return total;
}

void print(const char* what, const Timing& timing, const Timing& floor)
{
    std::printf("%-34s median %8.3f ms, worst %8.3f ms, %6.1fx the floor, %5.1f%% of %.0f ms\n", what, timing.medianMs,
        timing.worstMs, timing.medianMs / floor.medianMs, 100.0 * timing.medianMs / kNoticeableMs, kNoticeableMs);
}

} // namespace

int main(int argc, char** argv)
{
    // Never the user's own presets: a private data folder.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Lumetta"));
    QCoreApplication::setApplicationName(QStringLiteral("Lumetta"));
    QLoggingCategory::setFilterRules(QStringLiteral("lumetta.*=false"));
    ExivRuntime::initialize();

    TAVPrestManager& store = *TAVPrestManager::sharedInstance();
    if (!storePresets(store)) {
        std::fprintf(stderr, "could not store the presets in %s\n", qPrintable(store.presetsDataSavePath()));
        return 1;
    }
    const QString folder = store.presetsDataSavePath();
    const qint64 bytes = readAllBytes(folder);
    std::printf("%d presets, %.1f KiB on disk\n", kPresets, static_cast<double>(bytes) / 1024.0);

    const Timing floor = timeRuns([&] { readAllBytes(folder); });
    const Timing load = timeRuns([&] { store.loadPresets(); });
    const Timing last = timeRuns([&] { store.presetWithName(QStringLiteral("Preset 199")); });
    const Timing missing = timeRuns([&] { store.presetWithName(QStringLiteral("Nobody's")); });
    std::printf("%-34s median %8.3f ms, worst %8.3f ms\n", "floor: read the files", floor.medianMs, floor.worstMs);
    print("loadPresets", load, floor);
    print("presetWithName, last listed", last, floor);
    print("presetWithName, no such preset", missing, floor);
    return 0;
}
