// W2: editing title, keywords, capture date and position of photos and saving
// them. Lumetta's save phase (the photos imported beforehand, as in the
// application) against exiftool writing the same tags, a lean Exiv2 save with
// the same atomic replace, and the floor: copy, fsync and rename of each file.
#include "EngineBench.h"
#include "SameWorkCheck.h"

#include "foundation/FileServices.h"
#include "models/formats/ExivRuntime.h"
#include "models/image/TAVImageObject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <algorithm>

#include <exiv2/exiv2.hpp>

namespace {

const char* const kTitle = "Harbour at dawn";
const char* const kDate = "2020:01:02 03:04:05";

void editInLumetta(const TAVImageObjectPtr& image)
{
    const auto set = [&](const char* value, const char* key, int category) {
        image->exifData()->setValue(QString::fromUtf8(value), QString::fromLatin1(key), category, false, false, true);
    };
    set(kTitle, "Iptc.Application2.ObjectName", 0);
    set("sea, boat", "Iptc.Application2.Keywords", 0);
    set("2020-01-02", "Exif.Image.CreateDate", 0);
    set("03:04:05", "Summary.CreateTime", 0);
    set("N", "Exif.GPSInfo.GPSLatitudeRef", 2);
    set("37/1 46/1 2900/100", "Exif.GPSInfo.GPSLatitude", 2);
    set("W", "Exif.GPSInfo.GPSLongitudeRef", 2);
    set("122/1 25/1 0/1", "Exif.GPSInfo.GPSLongitude", 2);
}

// The same tags straight through Exiv2 in memory, then the atomic replace.
void leanSave(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.constData()), long(bytes.size()));
    image->readMetadata();
    Exiv2::ExifData& exif = image->exifData();
    for (const char* key : {"Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime"}) {
        exif[key] = std::string(kDate);
    }
    exif["Exif.GPSInfo.GPSLatitudeRef"] = std::string("N");
    exif["Exif.GPSInfo.GPSLatitude"] = Exiv2::URationalValue();
    exif["Exif.GPSInfo.GPSLatitude"].setValue("37/1 46/1 2900/100");
    exif["Exif.GPSInfo.GPSLongitudeRef"] = std::string("W");
    exif["Exif.GPSInfo.GPSLongitude"] = Exiv2::URationalValue();
    exif["Exif.GPSInfo.GPSLongitude"].setValue("122/1 25/1 0/1");
    Exiv2::IptcData& iptc = image->iptcData();
    iptc["Iptc.Application2.ObjectName"] = std::string(kTitle);
    for (auto found = iptc.findKey(Exiv2::IptcKey("Iptc.Application2.Keywords")); found != iptc.end();
         found = iptc.findKey(Exiv2::IptcKey("Iptc.Application2.Keywords"))) {
        iptc.erase(found);
    }
    for (const char* word : {"sea", "boat"}) {
        Exiv2::StringValue value(word);
        iptc.add(Exiv2::IptcKey("Iptc.Application2.Keywords"), &value);
    }
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    io.open();
    io.seek(0, Exiv2::BasicIo::beg);
    const Exiv2::DataBuf written = io.read(io.size());
    io.close();
    FileServices::writeFileAtomically(
        path, QByteArray(reinterpret_cast<const char*>(written.pData_), qsizetype(written.size_)));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ExivRuntime::initialize();
    const int files = EngineBench::filesArgument(argc, argv, 200);
    const int rounds = EngineBench::roundsArgument(argc, argv);
    const QString root = EngineBench::scratchFolder();
    // "--fewer-large-files": the largest save's corpus, with the 6.6 MB Sony
    // file at half its usual share, so that its photos and their working
    // copies fit in the scratch space the bench may take.
    const EngineBench::CorpusMix mix = EngineBench::hasFlag(argc, argv, "--fewer-large-files")
        ? EngineBench::CorpusMix::FewerLargeFiles
        : EngineBench::CorpusMix::AllCameras;
    const auto corpusFor
        = [&](const QString& who, int round) { return EngineBench::makeRoundCorpus(root, who, round, files, mix); };
    const auto checked
        = [&](const char* who) { return QStringLiteral("%1/%2-%3").arg(root, QLatin1String(who)).arg(rounds - 1); };

    // "--no-peers": Lumetta and the lean save alone, each round's files given
    // back as soon as it is timed (the largest size: its corpus alone takes
    // gigabytes); exiftool, the floor and the same-work check run at the
    // other sizes.
    const bool peers = !EngineBench::hasFlag(argc, argv, "--no-peers");
    const auto workFolder = [&](int round) { return QStringLiteral("%1/lumetta-work-%2").arg(root).arg(round); };
    const auto giveBack = [&](const QString& who) {
        return [&, who](int round) {
            if (!peers) {
                QDir(QStringLiteral("%1/%2-%3").arg(root, who).arg(round)).removeRecursively();
            }
        };
    };

    std::vector<TAVImageObjectPtr> images;
    int failed = 0;
    std::vector<EngineBench::Contender> contenders = {
        {"lumetta",
            [&](int round) -> std::function<void()> {
                const QStringList corpus = corpusFor("lumetta", round);
                // An empty folder for the round's working copies.
                EngineBench::makeRoundCorpus(root, QStringLiteral("lumetta-work"), round, 0);
                for (const QString& path : corpus) {
                    const QString copy = QDir(workFolder(round)).filePath(QFileInfo(path).fileName());
                    FileServices::copyItem(path, copy);
                    auto image = TAVImageObject::create(copy);
                    image->setSrcPath(path);
                    editInLumetta(image);
                    images.push_back(image);
                }
                return [&] {
                    // As the application's save loop does.
                    const TAVImageObject::ChangedFilesAlert loop(false);
                    for (const auto& image : images) {
                        failed += image->saveMetadataToImage() ? 0 : 1;
                    }
                };
            },
            // The working copies are not checked: they go at once.
            [&](int round) {
                images.clear();
                QDir(workFolder(round)).removeRecursively();
                giveBack(QStringLiteral("lumetta"))(round);
            }},
        {"lean exiv2",
            [&](int round) -> std::function<void()> {
                const QStringList corpus = corpusFor("lean", round);
                return [corpus] {
                    for (const QString& path : corpus) {
                        leanSave(path);
                    }
                };
            },
            giveBack(QStringLiteral("lean"))},
    };
    if (peers) {
        contenders.push_back(
            {"exiftool", [&](int round) -> std::function<void()> {
                 const QString folder = QFileInfo(corpusFor("exiftool", round).first()).path();
                 return [folder] {
                     EngineBench::run("exiftool",
                         {"-q", "-q", "-overwrite_original", QStringLiteral("-IPTC:ObjectName=%1").arg(kTitle),
                             "-IPTC:Keywords=sea", "-IPTC:Keywords=boat", QStringLiteral("-AllDates=%1").arg(kDate),
                             "-GPSLatitude=37 46 29", "-GPSLatitudeRef=N", "-GPSLongitude=122 25 0",
                             "-GPSLongitudeRef=W", folder});
                 };
             }});
        contenders.push_back({"floor", [&](int round) -> std::function<void()> {
                                  const QStringList corpus = corpusFor("floor", round);
                                  return [corpus] {
                                      for (const QString& path : corpus) {
                                          FileServices::replaceFile(path, path);
                                      }
                                  };
                              }});
    }
    const EngineBench::MachineLoad load;
    const std::vector<std::vector<double>> perRound = EngineBench::roundTimes(contenders, rounds);
    std::vector<double> times;
    for (const std::vector<double>& list : perRound) {
        times.push_back(EngineBench::spreadOf(list).median);
    }
    EngineBench::printHeader();
    EngineBench::printRow("W2 edit and save (save phase)", files, times[0], peers ? times[2] : 0, peers ? times[3] : 0,
        EngineBench::peakResidentKiB(),
        QStringLiteral("lean Exiv2 save: %1 ms per file; failed saves: %2; scratch used: %3 MB at most; %4%5")
            .arg(times[1] / std::max(1, files), 0, 'f', 2)
            .arg(failed)
            .arg(EngineBench::peakScratchBytes() / 1000000)
            .arg(load.describe())
            .arg(mix == EngineBench::CorpusMix::FewerLargeFiles
                    ? QStringLiteral("; the Sony's 6.6 MB file is one photo in 13, not one in 7")
                    : QString()));
    EngineBench::printTargetRow(QStringLiteral("W2 save vs a lean Exiv2 save into memory with the same atomic replace"),
        files, EngineBench::ratioSpread(perRound[0], perRound[1]), 1.2);
    if (!peers) {
        return failed == 0 ? EngineBench::exitCode() : 1;
    }
    const EngineBench::Spread againstExiftool = EngineBench::ratioSpread(perRound[0], perRound[2]);
    EngineBench::printMetRow(QStringLiteral("W2 save per file against exiftool's: %1 ms against %2 ms, %3 at %4 files "
                                            "(target: faster, below 1x)")
                                 .arg(times[0] / std::max(1, files), 0, 'f', 1)
                                 .arg(times[2] / std::max(1, files), 0, 'f', 1)
                                 .arg(EngineBench::describe(againstExiftool))
                                 .arg(files),
        againstExiftool.median < 1.0);
    const bool same = SameWorkCheck::sameTags(checked("lumetta"), checked("exiftool"))
        && SameWorkCheck::sameTags(checked("lumetta"), checked("lean"));
    return same && failed == 0 ? EngineBench::exitCode() : 1;
}
