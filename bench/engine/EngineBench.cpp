#include "EngineBench.h"

#include "foundation/FileServices.h"
#include "foundation/OrderedParallelLoop.h"

#include <QFileInfo>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

namespace EngineBench {

int filesArgument(int argc, char** argv, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]) == QLatin1String("--files")) {
            const int files = QString::fromLocal8Bit(argv[i + 1]).toInt();
            return files > 0 ? files : fallback;
        }
    }
    return fallback;
}

QStringList makeRoundCorpus(const QString& root, const QString& who, int round, int count, CorpusMix mix)
{
    const QString folder = QStringLiteral("%1/%2-%3").arg(root, who).arg(round);
    QDir(folder).removeRecursively();
    // Only each contender's latest corpus is kept: at 5,000 photos a round's
    // corpus takes gigabytes. The last round's are the ones checked.
    QDir(QStringLiteral("%1/%2-%3").arg(root, who).arg(round - 1)).removeRecursively();
    return makeCorpus(folder, count, mix);
}

namespace {

// Real camera files of seven makers, from a 30 KB compact's to a 6.6 MB
// file with a large maker note and one with a 23 KB XMP packet.
const char* const kSamples[] = {"npm-canon-s40.jpg", "npm-iphone6p.jpg", "npm-lumia.jpg",
    "npm-nikon-d90-photometric.jpg", "npm-windows-xmp.jpg", "gowebp-pentax.jpg", "npm-sony-a6000.jpg"};
constexpr int kSampleCount = int(sizeof(kSamples) / sizeof(kSamples[0]));
// The Sony's file is 84% of the mix's bytes.
constexpr int kSonySample = kSampleCount - 1;

// The photo dates are "YYYY:MM:DD HH:MM:SS" wherever EXIF keeps them, so a
// photo's own date replaces this one byte for byte in a copy of its
// sample, without a parse and a write of each file.
const QByteArray kTemplateDate("1999:12:31 23:59:58");

// Each sample with its three capture dates set to kTemplateDate, read once.
const std::vector<QByteArray>& datedSamples()
{
    static const std::vector<QByteArray> samples = [] {
        std::vector<QByteArray> made;
        for (const char* name : kSamples) {
            QFile file(QStringLiteral(LUMETTA_BENCH_DATA_DIR "/") + QLatin1String(name));
            file.open(QIODevice::ReadOnly);
            const QByteArray bytes = file.readAll();
            auto image = Exiv2::ImageFactory::open(
                reinterpret_cast<const Exiv2::byte*>(bytes.constData()), long(bytes.size()));
            image->readMetadata();
            for (const char* key :
                {"Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime"})
                image->exifData()[key] = kTemplateDate.toStdString();
            image->writeMetadata();
            Exiv2::BasicIo& io = image->io();
            io.open();
            const Exiv2::DataBuf written = io.read(io.size());
            io.close();
            made.emplace_back(reinterpret_cast<const char*>(written.pData_), qsizetype(written.size_));
        }
        return made;
    }();
    return samples;
}

// Which sample photo `index` of the corpus is a copy of.
int sampleFor(int index, CorpusMix mix)
{
    if (mix == CorpusMix::AllCameras)
        return index % kSampleCount;
    // Two cycles of the six smaller files, then the Sony's.
    const int cycle = 2 * kSonySample + 1;
    const int at = index % cycle;
    return at == cycle - 1 ? kSonySample : at % kSonySample;
}

} // namespace

QStringList makeCorpus(const QString& folder, int count, CorpusMix mix)
{
    QDir().mkpath(folder);
    QStringList paths;
    const QDateTime first(QDate(2019, 6, 1), QTime(8, 0, 0), Qt::UTC);
    for (int i = 0; i < count; ++i) {
        QByteArray bytes = datedSamples().at(size_t(sampleFor(i, mix)));
        const QByteArray date = first.addSecs(i).toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1();
        bytes.replace(kTemplateDate, date);
        const QString path = QDir(folder).filePath(QStringLiteral("IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        file.close();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        paths.append(path);
    }
    return paths;
}

// Runs `work` with standard output silenced: the engine's own progress lines
// ("the gps = ...", files without IPTC) would bury the table.
void quietly(const std::function<void()>& work)
{
    std::fflush(stdout);
    std::cout.flush();
    const int saved = ::dup(STDOUT_FILENO);
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(quiet, STDOUT_FILENO);
    work();
    std::fflush(stdout);
    std::cout.flush();
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(quiet);
}

std::vector<TAVImageObjectPtr> importOn(int threads, const QStringList& corpus, const QString& folder)
{
    std::vector<TAVImageObjectPtr> images;
    std::atomic<bool> cancel{false};
    OrderedParallelLoop<TAVImageObjectPtr>(int(corpus.size()), threads, cancel)
        .run(
            [&](int index) {
                const QString work = QDir(folder).filePath(QFileInfo(corpus.at(index)).fileName());
                FileServices::copyItem(corpus.at(index), work);
                auto image = TAVImageObject::create(work);
                image->setSrcPath(corpus.at(index));
                return image;
            },
            [&](int, TAVImageObjectPtr& image) { images.push_back(image); });
    return images;
}

double timeMs(const std::function<void()>& work)
{
    double elapsed = 0;
    quietly([&] {
        const auto start = std::chrono::steady_clock::now();
        work();
        elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    });
    return elapsed;
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

long peakResidentKiB()
{
    struct rusage usage { };
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool run(const QString& program, const QStringList& arguments)
{
    std::vector<QByteArray> storage{QFile::encodeName(program)};
    for (const QString& argument : arguments) {
        storage.push_back(argument.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& item : storage) {
        argv.push_back(item.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return false;
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child) {
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::vector<double>> roundTimes(const std::vector<Contender>& contenders, int rounds)
{
    std::vector<std::vector<double>> times(contenders.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t step = 0; step < contenders.size(); ++step) {
            const size_t which = (step + size_t(round)) % contenders.size();
            std::function<void()> work;
            quietly([&] { work = contenders[which].prepare(round); });
            times[which].push_back(timeMs(work));
            noteScratchUse();
            if (contenders[which].finish) {
                quietly([&] { contenders[which].finish(round); });
            }
        }
    }
    return times;
}

std::vector<double> medianTimes(const std::vector<Contender>& contenders, int rounds)
{
    std::vector<double> medians;
    for (const std::vector<double>& list : roundTimes(contenders, rounds)) {
        medians.push_back(spreadOf(list).median);
    }
    return medians;
}

Spread spreadOf(std::vector<double> values)
{
    Spread spread;
    if (values.empty()) {
        return spread;
    }
    std::sort(values.begin(), values.end());
    spread.median = values[values.size() / 2];
    spread.min = values.front();
    spread.max = values.back();
    spread.rounds = int(values.size());
    return spread;
}

Spread ratioSpread(const std::vector<double>& numerator, const std::vector<double>& denominator)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(numerator.size(), denominator.size()); ++i) {
        if (denominator[i] > 0) {
            ratios.push_back(numerator[i] / denominator[i]);
        }
    }
    return spreadOf(ratios);
}

QString describe(const Spread& spread, const char* unit)
{
    return QStringLiteral("%1%2 median (%3-%4 over %5 rounds)")
        .arg(spread.median, 0, 'f', 2)
        .arg(QLatin1String(unit))
        .arg(spread.min, 0, 'f', 2)
        .arg(spread.max, 0, 'f', 2)
        .arg(spread.rounds);
}

int roundsArgument(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]) == QLatin1String("--rounds")) {
            const int rounds = QString::fromLocal8Bit(argv[i + 1]).toInt();
            return rounds > 0 ? rounds : kRounds;
        }
    }
    return kRounds;
}

void printHeader()
{
    std::printf("%-34s %6s %12s %12s %12s %10s %10s %10s\n", "workload", "files", "lumetta/file", "exiftool/file",
        "floor/file", "lum/exift", "lum/floor", "peak RSS");
}

void printRow(const QString& workload, int files, double lumettaMs, double exiftoolMs, double floorMs, long peakKiB,
    const QString& note)
{
    const double n = files > 0 ? files : 1;
    std::printf("%-34s %6d %9.2f ms %9.2f ms %9.2f ms %9.2fx %9.2fx %7ld MiB\n", qPrintable(workload), files,
        lumettaMs / n, exiftoolMs / n, floorMs / n, exiftoolMs > 0 ? lumettaMs / exiftoolMs : 0.0,
        floorMs > 0 ? lumettaMs / floorMs : 0.0, peakKiB / 1024);
    if (!note.isEmpty()) {
        std::printf("  %s\n", qPrintable(note));
    }
    std::fflush(stdout);
}

namespace {

double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Milliseconds each whole disk has spent doing I/O since boot.
std::vector<std::pair<QString, long>> diskBusyTicks()
{
    std::vector<std::pair<QString, long>> ticks;
    QFile stats(QStringLiteral("/proc/diskstats"));
    if (!stats.open(QIODevice::ReadOnly)) {
        return ticks;
    }
    for (const QByteArray& line : stats.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 12 && !fields.at(2).startsWith("loop") && !fields.at(2).startsWith("ram")) {
            ticks.emplace_back(QString::fromLatin1(fields.at(2)), fields.at(12).toLong());
        }
    }
    return ticks;
}

} // namespace

MachineLoad::MachineLoad()
    : diskTicks_(diskBusyTicks())
    , startMs_(nowMs())
{
}

QString MachineLoad::describe() const
{
    const double elapsed = std::max(1.0, nowMs() - startMs_);
    long busiest = 0;
    for (const auto& [disk, ticks] : diskBusyTicks()) {
        for (const auto& [before, then] : diskTicks_) {
            if (before == disk) {
                busiest = std::max(busiest, ticks - then);
            }
        }
    }
    QFile loadAverage(QStringLiteral("/proc/loadavg"));
    const QByteArray load = loadAverage.open(QIODevice::ReadOnly) ? loadAverage.readAll().split(' ').first() : "?";
    return QStringLiteral("load %1, busiest disk busy %2% of the run")
        .arg(QString::fromLatin1(load))
        .arg(std::min(100.0, 100.0 * double(busiest) / elapsed), 0, 'f', 0);
}

namespace {

std::atomic<int> rowsNotMet{0};

const char* metText(bool met)
{
    rowsNotMet += met ? 0 : 1;
    return met ? "met" : "not met";
}

qint64 bytesUnder(const QString& folder)
{
    qint64 bytes = 0;
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        bytes += files.nextFileInfo().size();
    }
    return bytes;
}

qint64 peakScratch = 0;

} // namespace

void printMetRow(const QString& text, bool met)
{
    std::printf("%s: %s\n", qPrintable(text), metText(met));
    std::fflush(stdout);
}

int exitCode()
{
    return rowsNotMet == 0 ? 0 : 1;
}

bool hasFlag(int argc, char** argv, const char* flag)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], flag) == 0) {
            return true;
        }
    }
    return false;
}

void noteScratchUse()
{
    peakScratch = std::max(peakScratch, bytesUnder(scratchFolder()));
}

qint64 peakScratchBytes()
{
    return peakScratch;
}

void printTargetRow(const QString& row, int files, double ratio, double target, const QString& condition)
{
    std::printf("%s: %.2fx at %d files (target <= %gx%s): %s\n", qPrintable(row), ratio, files, target,
        condition.isEmpty() ? "" : qPrintable(QStringLiteral(" ") + condition), metText(ratio <= target));
    std::fflush(stdout);
}

void printTargetRow(const QString& row, int files, const Spread& ratio, double target, const QString& condition)
{
    std::printf("%s: %s at %d files (target <= %gx%s): %s\n", qPrintable(row), qPrintable(describe(ratio)), files,
        target, condition.isEmpty() ? "" : qPrintable(QStringLiteral(" ") + condition),
        metText(ratio.median <= target));
    std::fflush(stdout);
}

QString scratchFolder()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/lumetta-bench-XXXXXX"));
    return folder.path();
}

} // namespace EngineBench
