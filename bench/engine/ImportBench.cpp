// W1: importing a shoot. Lumetta makes the working copy and the record of each
// photo, as the photo list does; exiftool reads every file ("-j -fast"); the
// floor copies each file (keeping its dates) and parses it once with Exiv2.
#include "EngineBench.h"

#include "foundation/FileServices.h"
#include "foundation/OrderedParallelLoop.h"
#include "models/ExivRuntime.h"
#include "models/TAVEntity.h"
#include "models/TAVImageObject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <exiv2/exiv2.hpp>

#include <malloc.h>

namespace {

// Every row of a record and its summary date, as one text.
QString recordText(const TAVImageObjectPtr& image)
{
    QString text;
    for (const TAVEntityPtr& row : image->exifData()->maryOrgExifData()) {
        text += row->key() + QLatin1Char('=') + row->value() + QLatin1Char('\n');
    }
    return text + image->exifData()->getValueForKey(QStringLiteral("Summary.CreateTime"), 0);
}

QString emptiedFolder(const QString& folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

// Import on four threads against one, in rotated rounds; the records of both
// must be the same.
void benchParallelImport(const QString& root, const QStringList& corpus)
{
    std::vector<double> serial;
    std::vector<double> parallel;
    bool same = true;
    for (int round = 0; round < 3; ++round) {
        for (int step = 0; step < 2; ++step) {
            const int threads = (step + round) % 2 == 0 ? 1 : 4;
            const QString folder = emptiedFolder(QStringLiteral("%1/threads%2").arg(root).arg(threads));
            std::vector<TAVImageObjectPtr> images;
            const double ms = EngineBench::timeMs([&] { images = EngineBench::importOn(threads, corpus, folder); });
            (threads == 1 ? serial : parallel).push_back(ms);
            if (threads == 4 && round == 0) {
                const QString again = emptiedFolder(root + QStringLiteral("/threads-check"));
                const std::vector<TAVImageObjectPtr> reference = EngineBench::importOn(1, corpus, again);
                for (size_t i = 0; i < images.size() && same; ++i) {
                    same = images.size() == reference.size() && recordText(images[i]) == recordText(reference[i]);
                }
            }
        }
    }
    std::sort(serial.begin(), serial.end());
    std::sort(parallel.begin(), parallel.end());
    const double speedUp = parallel[1] > 0 ? serial[1] / parallel[1] : 0.0;
    std::printf("engine import on 4 threads vs 1: %.2f ms vs %.2f ms per file, %.2fx faster; records %s\n",
        parallel[1] / corpus.size(), serial[1] / corpus.size(), speedUp, same ? "identical" : "DIFFER");
    std::printf("  target >= 2.5x faster with identical records: %s\n", speedUp >= 2.5 && same ? "met" : "not met");
}

// The memory an imported photo keeps, camera by camera: 200 imports of each
// sample, measured by the resident memory they add.
void benchMemoryPerCamera(const QString& root)
{
    static const char* const samples[] = {"npm-canon-s40.jpg", "npm-iphone6p.jpg", "npm-lumia.jpg",
        "npm-nikon-d90-photometric.jpg", "npm-windows-xmp.jpg", "gowebp-pentax.jpg", "npm-sony-a6000.jpg"};
    constexpr int kCopies = 200;
    bool allMet = true;
    for (const char* sample : samples) {
        const QString folder = emptiedFolder(root + QStringLiteral("/memory"));
        const QString source = QStringLiteral(LUMETTA_BENCH_DATA_DIR "/") + QLatin1String(sample);
        std::vector<TAVImageObjectPtr> kept;
        malloc_trim(0);
        const long before = EngineBench::residentKiB();
        EngineBench::timeMs([&] {
            for (int i = 0; i < kCopies; ++i) {
                const QString work = QDir(folder).filePath(QStringLiteral("%1-%2").arg(i).arg(QLatin1String(sample)));
                FileServices::copyItem(source, work);
                kept.push_back(TAVImageObject::create(work));
            }
        });
        malloc_trim(0);
        const double perPhoto = double(EngineBench::residentKiB() - before) / kCopies;
        allMet = allMet && perPhoto <= 128;
        std::printf("  memory kept per imported photo, %-30s %7.1f KiB  target <= 128 KiB: %s\n", sample, perPhoto,
            perPhoto <= 128 ? "met" : "not met");
        kept.clear();
    }
    std::printf("  memory per photo for every camera: %s\n", allMet ? "met" : "not met");
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ExivRuntime::initialize();
    const int files = EngineBench::filesArgument(argc, argv, 1000);
    const QString root = EngineBench::scratchFolder();
    const QStringList corpus = EngineBench::makeCorpus(root + "/corpus", files);

    std::vector<TAVImageObjectPtr> kept;
    long before = 0;
    long after = 0;
    const auto workFolder = [&](const QString& who, int round) {
        const QString folder = QStringLiteral("%1/%2-%3").arg(root, who).arg(round);
        QDir(folder).removeRecursively();
        QDir(QStringLiteral("%1/%2-%3").arg(root, who).arg(round - 1)).removeRecursively();
        QDir().mkpath(folder);
        return folder;
    };
    const std::vector<EngineBench::Contender> contenders = {
        {"lumetta",
            [&](int round) -> std::function<void()> {
                kept.clear();
                malloc_trim(0);
                before = EngineBench::residentKiB();
                const QString folder = workFolder("lumetta", round);
                return [&, folder] {
                    for (const QString& path : corpus) {
                        const QString work = QDir(folder).filePath(QFileInfo(path).fileName());
                        FileServices::copyItem(path, work);
                        auto image = TAVImageObject::create(work);
                        image->setSrcPath(path);
                        kept.push_back(image);
                    }
                    after = EngineBench::residentKiB();
                };
            }},
        {"exiftool",
            [&](int) -> std::function<void()> {
                return [&] { EngineBench::run("exiftool", {"-j", "-fast", "-q", root + "/corpus"}); };
            }},
        {"floor",
            [&](int round) -> std::function<void()> {
                const QString folder = workFolder("floor", round);
                return [&, folder] {
                    for (const QString& path : corpus) {
                        const QString work = QDir(folder).filePath(QFileInfo(path).fileName());
                        FileServices::copyItem(path, work);
                        auto image = Exiv2::ImageFactory::open(QFile::encodeName(work).toStdString());
                        image->readMetadata();
                    }
                };
            }},
    };
    const std::vector<double> times = EngineBench::medianTimes(contenders, 3);
    EngineBench::printHeader();
    EngineBench::printRow("W1 import", files, times[0], times[1], times[2], EngineBench::peakResidentKiB(),
        QStringLiteral("memory kept per imported image: %1 KiB")
            .arg(files > 0 ? double(after - before) / files : 0.0, 0, 'f', 1));
    const double w1 = times[2] > 0 ? times[0] / times[2] : 0.0;
    const double fasterThanExiftool = times[0] > 0 ? times[1] / times[0] : 0.0;
    std::printf("  target <= 1.5x the floor and >= 3x faster than exiftool: %s\n",
        w1 <= 1.5 && fasterThanExiftool >= 3 ? "met" : "not met");
    kept.clear();
    benchParallelImport(root, corpus);
    benchMemoryPerCamera(root);
    return 0;
}
