// Exporting photos: a metadata sidecar per photo and one merged CSV of all
// their rows. Lumetta's export operation (the photos imported beforehand, as
// the export sheet finds them), exiftool's two runs (sidecars, then "-csv" to its output),
// and the floor: one copy of each photo and one write of the table's size.
#include "EngineBench.h"

#include "foundation/FileServices.h"
#include "models/formats/ExivRuntime.h"
#include "models/image/TAVImageObject.h"
#include "tools/TAVExportOperation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ExivRuntime::initialize();
    const int files = EngineBench::filesArgument(argc, argv, 200);
    const QString root = EngineBench::scratchFolder();
    const auto corpusFor = [&](const QString& who, int round) {
        const QString folder = QStringLiteral("%1/%2-%3").arg(root, who).arg(round);
        QDir(folder).removeRecursively();
        return EngineBench::makeCorpus(folder, files);
    };
    const auto outFor = [&](const QString& who, int round) {
        const QString folder = QStringLiteral("%1/%2-out-%3").arg(root, who).arg(round);
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        return folder;
    };

    QList<TAVImageObjectPtr> images;
    int failed = 0;
    const std::vector<EngineBench::Contender> contenders = {
        {"lumetta",
            [&](int round) -> std::function<void()> {
                images.clear();
                for (const QString& path : corpusFor("lumetta", round)) {
                    auto image = TAVImageObject::create(path);
                    image->setSrcPath(path);
                    images.append(image);
                }
                const QString out = outFor("lumetta", round);
                return [&, out] {
                    TAVExportOperation operation(images);
                    operation.exportExif(15, true, out, false, true, std::nullopt);
                    failed += int(operation.failures().size());
                };
            }},
        {"exiftool",
            [&](int round) -> std::function<void()> {
                const QString folder = QFileInfo(corpusFor("exiftool", round).first()).path();
                const QString out = outFor("exiftool", round);
                return [folder, out] {
                    EngineBench::run("exiftool", {"-q", "-q", "-o", out + "/%f.exv", "-ext", "jpg", folder});
                    EngineBench::run("exiftool", {"-q", "-q", "-csv", "-G1", folder});
                };
            }},
        {"floor",
            [&](int round) -> std::function<void()> {
                const QStringList corpus = corpusFor("floor", round);
                const QString out = outFor("floor", round);
                return [corpus, out] {
                    for (const QString& path : corpus) {
                        FileServices::copyItem(path, QDir(out).filePath(QFileInfo(path).fileName()));
                    }
                };
            }},
    };
    const std::vector<double> times = EngineBench::medianTimes(contenders, 3);
    EngineBench::printHeader();
    EngineBench::printRow("Export: sidecars and a merged CSV", files, times[0], times[1], times[2],
        EngineBench::peakResidentKiB(), QStringLiteral("files not written: %1").arg(failed));
    QDir(root).removeRecursively();
    return failed == 0 ? 0 : 1;
}
