// W1: importing a shoot. Lumetta makes the working copy and the record of each
// photo, as the photo list does; exiftool reads every file ("-j -fast"); the
// floor copies each file (keeping its dates) and parses it once with Exiv2.
#include "EngineBench.h"

#include "foundation/FileServices.h"
#include "models/ExivRuntime.h"
#include "models/TAVImageObject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <exiv2/exiv2.hpp>

#include <malloc.h>

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
    return 0;
}
