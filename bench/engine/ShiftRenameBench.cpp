// W3: moving the capture time of photos one hour on and renaming them by
// date. Lumetta's time shift and save followed by the rename engine (the
// photos imported beforehand), exiftool's two runs ("-AllDates+=1", then
// "-FileName<DateTimeOriginal"), and the floor: one atomic write and one
// rename per file.
#include "EngineBench.h"
#include "SameWorkCheck.h"

#include "foundation/FileServices.h"
#include "models/formats/ExivRuntime.h"
#include "models/image/TAVImageObject.h"
#include "models/values/TAVTimeOffsetInfo.h"
#include "tools/TAVRenameEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

namespace {

// The rename rules "CreateDate CreateTime" in the "YYYYMMDDHHMMSS" pattern.
TAVRenameRootItemPtr dateRules(TAVRenameEngine& engine)
{
    QList<TAVRenameRuleFieldPtr> rules;
    for (const TAVRenameRootItemPtr& root : TAVRenameEngine::getCanSelectExifTag()) {
        if (root->category() != TAVRenameEngine::kExif)
            continue;
        for (const QString& name : {TAVRenameEngine::kCreateDate, TAVRenameEngine::kCreateTime}) {
            for (const TAVRenameRuleFieldPtr& field : root->subRuleFields()) {
                if (field->field() == name)
                    rules.append(field);
            }
        }
    }
    engine.setEdittingRules(rules);
    engine.setDateFormatIndex(0);
    engine.setTimeFormatIndex(0);
    return engine.getherCurrentRenameSetting();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ExivRuntime::initialize();
    const int files = EngineBench::filesArgument(argc, argv, 500);
    const int rounds = EngineBench::roundsArgument(argc, argv);
    const QString root = EngineBench::scratchFolder();
    const auto corpusFor
        = [&](const QString& who, int round) { return EngineBench::makeRoundCorpus(root, who, round, files); };
    const auto checked
        = [&](const char* who) { return QStringLiteral("%1/%2-%3").arg(root, QLatin1String(who)).arg(rounds - 1); };

    std::vector<TAVImageObjectPtr> images;
    TAVRenameEngine engine;
    const TAVRenameRootItemPtr setting = dateRules(engine);
    int failed = 0;
    const std::vector<EngineBench::Contender> contenders = {
        {"lumetta",
            [&](int round) -> std::function<void()> {
                images.clear();
                const QStringList corpus = corpusFor("lumetta", round);
                // An empty folder for the round's working copies (the last round's go).
                EngineBench::makeRoundCorpus(root, QStringLiteral("lumetta-work"), round, 0);
                const QString work = QStringLiteral("%1/lumetta-work-%2").arg(root).arg(round);
                TAVTimeOffsetInfo hourOn;
                hourOn.setTimeUnit(TAVTimeOffsetInfo::Hour);
                hourOn.setTimeOffsetNum(1);
                for (const QString& path : corpus) {
                    const QString copy = QDir(work).filePath(QFileInfo(path).fileName());
                    FileServices::copyItem(path, copy);
                    auto image = TAVImageObject::create(copy);
                    image->setSrcPath(path);
                    image->exifData()->setCreatedDateTimeOffset(hourOn);
                    images.push_back(image);
                }
                return [&] {
                    // As the application's save loop does.
                    const TAVImageObject::ChangedFilesAlert loop(false);
                    for (int32_t i = 0; i < int32_t(images.size()); ++i) {
                        const auto& image = images[size_t(i)];
                        failed += image->saveMetadataToImage() ? 0 : 1;
                        const QString name = engine.getRenamedNameString(image.get(), setting, i);
                        const QString renamed = QFileInfo(image->srcPath()).dir().filePath(name);
                        failed += FileServices::moveItem(image->srcPath(), renamed) ? 0 : 1;
                    }
                };
            }},
        {"exiftool",
            [&](int round) -> std::function<void()> {
                const QString folder = QFileInfo(corpusFor("exiftool", round).first()).path();
                return [folder] {
                    EngineBench::run("exiftool", {"-q", "-q", "-overwrite_original", "-AllDates+=1", folder});
                    EngineBench::run(
                        "exiftool", {"-q", "-q", "-d", "%Y%m%d%H%M%S.%%e", "-FileName<DateTimeOriginal", folder});
                };
            }},
        {"floor",
            [&](int round) -> std::function<void()> {
                const QStringList corpus = corpusFor("floor", round);
                return [corpus] {
                    int index = 0;
                    for (const QString& path : corpus) {
                        QFile file(path);
                        file.open(QIODevice::ReadOnly);
                        FileServices::writeFileAtomically(path, file.readAll());
                        FileServices::moveItem(path, QFileInfo(path).dir().filePath(QString::number(index++)));
                    }
                };
            }},
    };
    const EngineBench::MachineLoad load;
    const std::vector<std::vector<double>> perRound = EngineBench::roundTimes(contenders, rounds);
    std::vector<double> times;
    for (const std::vector<double>& list : perRound) {
        times.push_back(EngineBench::spreadOf(list).median);
    }
    EngineBench::printHeader();
    EngineBench::printRow("W3 +1 h shift and rename by date", files, times[0], times[1], times[2],
        EngineBench::peakResidentKiB(),
        QStringLiteral("failed saves or renames: %1; %2").arg(failed).arg(load.describe()));
    EngineBench::printTargetRow(QStringLiteral("W3 time shift + rename vs its floor"), files,
        EngineBench::ratioSpread(perRound[0], perRound[2]), 1.5,
        QStringLiteral("on a quiet disk; %1").arg(load.describe()));
    const bool same = SameWorkCheck::sameNamesAndDates(checked("lumetta"), checked("exiftool"));
    return same && failed == 0 ? EngineBench::exitCode() : 1;
}
