// An edit of each metadata family through the engine's save road, on a copy of
// every image file of a supported type under the folders given (by default
// the project's own sample photos in tests/data): saved, refused with its
// reason, or crashed. Each refusal is printed beside exiftool's warnings about the
// original, so a refusal of a file no other reader finds damaged stands out.
//
//   edit_sweep [--jobs N] [folder...]
//
// The files are shared among N worker processes (this program again, with
// "--worker"); a worker that crashes is started again after the file it was
// saving, which is reported as a crash.
#include "foundation/FileServices.h"
#include "foundation/Utils.h"
#include "models/formats/ExivRuntime.h"
#include "models/image/TAVImageObject.h"
#include "models/record/TAVExifData.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <vector>

namespace {

struct Edit {
    const char* family;
    const char* key;
    QString value;
};

// One edit per family; the title is longer than IPTC's 64 bytes, so the
// save writes it whole into XMP.
const std::vector<Edit>& edits()
{
    static const std::vector<Edit> list = {
        {"EXIF", "Exif.Image.Artist", QStringLiteral("Sweep Artist")},
        {"IPTC", "Iptc.Application2.ObjectName", QStringLiteral("Café")},
        {"XMP", "Iptc.Application2.ObjectName", QStringLiteral("A harbour at dawn, ") + QString(60, QLatin1Char('t'))},
        {"date", "Exif.Image.CreateDate", QStringLiteral("2024-03-28")},
    };
    return list;
}

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1String(" / ")).replace(QLatin1Char('\t'), QLatin1Char(' '));
}

// Saves each edit into a fresh copy of `path` and prints one line per edit:
// "RESULT <family>\t<saved|refused|no field>\t<path>\t<reason>".
void sweepFile(const QString& path, const QString& scratch)
{
    const QString ext = QFileInfo(path).suffix();
    const QString user = scratch + QStringLiteral("/user.") + ext;
    const QString work = scratch + QStringLiteral("/work.") + ext;
    for (const Edit& edit : edits()) {
        QFile::remove(user);
        QFile::remove(work);
        QString outcome;
        QString reason;
        if (!FileServices::copyItem(path, user) || !FileServices::copyItem(path, work)) {
            outcome = QStringLiteral("no copy");
        } else {
            const TAVImageObjectPtr image = TAVImageObject::create(work);
            image->setSrcPath(user);
            if (!image->exifData()->setValue(
                    edit.value, QLatin1String(edit.key), TAVExifData::CategorySummary, false, false, true)) {
                outcome = QStringLiteral("no field");
            } else {
                const TAVImageObject::ChangedFilesAlert loop(false);
                const bool saved = image->saveMetadataToImage();
                outcome = saved ? QStringLiteral("saved") : QStringLiteral("refused");
                reason = saved ? QString() : oneLine(image->lastSaveFailure());
            }
        }
        std::printf("RESULT %s\t%s\t%s\t%s\n", edit.family, qPrintable(outcome), qPrintable(path), qPrintable(reason));
        std::fflush(stdout);
    }
}

int runWorker(const QStringList& files)
{
    QTemporaryDir scratch;
    for (const QString& path : files) {
        std::printf("BEGIN %s\n", qPrintable(path));
        std::fflush(stdout);
        sweepFile(path, scratch.path());
    }
    return 0;
}

QStringList imageFiles(const QStringList& roots)
{
    const QStringList types = Utils::supportFileTypes();
    QStringList files;
    for (const QString& root : roots) {
        QDirIterator it(root, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            if (types.contains(info.suffix().toLower()) && info.size() > 0)
                files.append(info.filePath());
        }
    }
    files.sort();
    return files;
}

QString exiftoolWarnings(const QString& path)
{
    QProcess exiftool;
    exiftool.start(QStringLiteral("exiftool"), {"-validate", "-warning", "-a", "-s", path});
    exiftool.waitForFinished(60000);
    // "Validate : OK" and no Warning line when exiftool finds nothing amiss.
    const QString out = QString::fromUtf8(exiftool.readAllStandardOutput()).trimmed();
    return out.contains(QLatin1String("Warning")) ? oneLine(out).simplified() : QStringLiteral("exiftool: no warning");
}

struct Row {
    QString family;
    QString outcome;
    QString path;
    QString reason;
};

// Runs workers over `files` until every file is done; a crash is recorded
// against the file that was being saved, and the worker goes on after it.
void runWorkers(const QStringList& files, int jobs, std::vector<Row>& rows)
{
    std::vector<QStringList> slices(size_t(std::max(jobs, 1)));
    for (qsizetype i = 0; i < files.size(); ++i)
        slices[size_t(i) % slices.size()].append(files.at(i));
    std::vector<std::unique_ptr<QProcess>> workers;
    std::vector<QString> current(slices.size());
    std::vector<qsizetype> done(slices.size(), 0);
    const auto start = [&](size_t slot) {
        auto worker = std::make_unique<QProcess>();
        // The library's and the engine's log lines of every file would bury the table.
        worker->setStandardErrorFile(QProcess::nullDevice());
        worker->start(QCoreApplication::applicationFilePath(),
            QStringList{QStringLiteral("--worker")} + slices[slot].mid(done[slot]));
        workers[slot] = std::move(worker);
    };
    workers.resize(slices.size());
    for (size_t slot = 0; slot < slices.size(); ++slot)
        start(slot);
    bool running = true;
    while (running) {
        running = false;
        for (size_t slot = 0; slot < slices.size(); ++slot) {
            QProcess* worker = workers[slot].get();
            if (!worker)
                continue;
            running = true;
            worker->waitForReadyRead(50);
            while (worker->canReadLine()) {
                const QString line = QString::fromUtf8(worker->readLine()).chopped(1);
                if (line.startsWith(QLatin1String("BEGIN "))) {
                    current[slot] = line.mid(6);
                    ++done[slot];
                } else if (line.startsWith(QLatin1String("RESULT "))) {
                    const QStringList parts = line.mid(7).split(QLatin1Char('\t'));
                    if (parts.size() == 4)
                        rows.push_back({parts[0], parts[1], parts[2], parts[3]});
                }
            }
            if (worker->state() != QProcess::NotRunning || worker->bytesAvailable() > 0)
                continue;
            const bool crashed = worker->exitStatus() == QProcess::CrashExit || worker->exitCode() != 0;
            workers[slot].reset();
            if (crashed) {
                rows.push_back({QStringLiteral("-"), QStringLiteral("crash"), current[slot], QString()});
                if (done[slot] < slices[slot].size())
                    start(slot);
            }
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.value(0) == QLatin1String("--worker")) {
        ExivRuntime::initialize();
        return runWorker(arguments.mid(1));
    }
    int jobs = 3;
    if (arguments.value(0) == QLatin1String("--jobs")) {
        jobs = arguments.value(1).toInt();
        arguments = arguments.mid(2);
    }
    if (arguments.isEmpty())
        arguments = {QStringLiteral(LUMETTA_SWEEP_DATA_DIR)};
    const QStringList files = imageFiles(arguments);
    std::fprintf(stderr, "%lld image files\n", static_cast<long long>(files.size()));
    std::vector<Row> rows;
    runWorkers(files, jobs, rows);

    std::map<QString, int> counts;
    for (const Row& row : rows)
        ++counts[row.family + QLatin1Char(' ') + row.outcome];
    std::printf("files: %lld\n", static_cast<long long>(files.size()));
    for (const auto& [what, count] : counts)
        std::printf("%-24s %d\n", qPrintable(what), count);
    std::printf("\nrefusals and crashes (family | file | reason | exiftool -validate -warning -a):\n");
    QMap<QString, QString> warnings;
    for (const Row& row : rows) {
        if (row.outcome != QLatin1String("refused") && row.outcome != QLatin1String("crash"))
            continue;
        if (!warnings.contains(row.path))
            warnings.insert(row.path, exiftoolWarnings(row.path));
        std::printf("%s | %s | %s | %s\n", qPrintable(row.family), qPrintable(row.path),
            qPrintable(row.outcome == QLatin1String("crash") ? QStringLiteral("CRASH") : row.reason),
            qPrintable(warnings.value(row.path)));
    }
    return 0;
}
