#include "tools/TAVPrestManager.h"

#include "foundation/FileServices.h"
#include "foundation/KeyedArchiver.h"
#include "foundation/KeyedUnarchiver.h"
#include "foundation/SafePaths.h"
#include "foundation/VXFileLocalManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcPresets, "lumetta.presets")

// A stored preset holds values, not edits: the modified flags go. A cleared
// key stays a clear, so that applying the preset removes that tag wherever
// it goes instead of leaving it in place. A value of nothing but white space
// (the blank description many cameras write) is stored empty, as the sheet
// shows it: kept, it would be written as a text and stand for the caption.
void makeStoredForm(TAVExifData& record)
{
    QList<TAVEntityPtr> cleared;
    for (const TAVEntityMap& category : record.mdicUserSetExifDataInfo()) {
        for (const TAVEntityPtr& entity : category) {
            if (!entity)
                continue;
            if (!entity->value().isEmpty() && entity->value().trimmed().isEmpty())
                entity->setValue(QStringLiteral(""));
            if (entity->isClear())
                cleared.append(entity);
        }
    }
    record.removeModifyFlag();
    for (const TAVEntityPtr& entity : cleared)
        entity->setIsClear(true);
}

const QString kFolderName = QStringLiteral("Presets");
const QString kExtension = QStringLiteral(".data");
// The longest file name the file systems we run on accept, in bytes.
constexpr qsizetype kMaxFileNameBytes = 255;

bool listedBefore(const QString& a, const QString& b)
{
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
}

// The preset files of the folder in listing order: regular "*.data" files
// that are not hidden. Other entries belong to someone else and are left be.
QStringList presetFileNames(const QString& folder)
{
    QStringList names;
    const QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QString& entry : entries) {
        if (!entry.startsWith(QLatin1Char('.')) && entry.endsWith(kExtension)) {
            names.append(entry);
        }
    }
    std::sort(names.begin(), names.end(), listedBefore);
    return names;
}

TAVExifDataPtr readPreset(const QString& path)
{
    QString error;
    const KeyedCodablePtr root = KeyedUnarchiver::unarchiveObjectWithFile(path, &error);
    if (!root) {
        qCWarning(lcPresets).noquote() << "Skipped unreadable preset file" << path << ":" << error;
        return nullptr;
    }
    auto record = std::dynamic_pointer_cast<TAVExifData>(root);
    if (!record) {
        qCWarning(lcPresets).noquote() << "Skipped preset file" << path << "holding a" << root->className();
    }
    return record;
}

} // namespace

TAVPrestManager::TAVPrestManager()
{
    // Reading an archive needs the classes it names.
    TAVExifData::registerKeyedClass();
}

TAVPrestManager* TAVPrestManager::sharedInstance()
{
    static TAVPrestManager instance;
    return &instance;
}

bool TAVPrestManager::isValidPresetName(const QString& name)
{
    return SafePaths::isSafeName(name) && !name.startsWith(QLatin1Char('.'))
        && QFile::encodeName(name + kExtension).size() <= kMaxFileNameBytes;
}

QString TAVPrestManager::folderPath()
{
    return QDir(VXFileLocalManager::appSupportDirectory()).filePath(kFolderName);
}

QString TAVPrestManager::presetsDataSavePath() const
{
    return VXFileLocalManager::makeSureCreatCustomDir(VXFileLocalManager::appSupportDirectory(), kFolderName);
}

QString TAVPrestManager::presetFilePath(const QString& folder, const QString& name)
{
    return folder + QLatin1Char('/') + name + kExtension;
}

bool TAVPrestManager::writePreset(const TAVExifData& record, const QString& path)
{
    QString error;
    if (!KeyedArchiver::archiveRootObject(&record, path, &error)) {
        qCWarning(lcPresets).noquote() << "Could not store preset file" << path << ":" << error;
        return false;
    }
    return true;
}

bool TAVPrestManager::readPresets(const std::function<bool(const TAVExifDataPtr&)>& visit)
{
    // Reading does not create the folder: a missing one simply holds nothing.
    const QString folder = folderPath();
    if (!FileServices::isFolder(folder) || FileServices::contentsOfFolder(folder).isEmpty()) {
        return false;
    }
    for (const QString& name : presetFileNames(folder)) {
        const TAVExifDataPtr record = readPreset(QDir(folder).filePath(name));
        if (record && !visit(record)) {
            break;
        }
    }
    return true;
}

std::optional<QList<TAVExifDataPtr>> TAVPrestManager::loadPresets() const
{
    QList<TAVExifDataPtr> presets;
    const bool listed = readPresets([&presets](const TAVExifDataPtr& record) {
        presets.append(record);
        return true;
    });
    return listed ? std::optional(presets) : std::nullopt;
}

bool TAVPrestManager::addPreset(const TAVExifDataPtr& record) const
{
    if (!record || !isValidPresetName(record->strName())) {
        return false;
    }
    makeStoredForm(*record);
    const QString folder = presetsDataSavePath();
    return !folder.isNull() && writePreset(*record, presetFilePath(folder, record->strName()));
}

void TAVPrestManager::deletePreset(const QString& name) const
{
    if (!isValidPresetName(name)) {
        return;
    }
    const QString path = presetFilePath(folderPath(), name);
    // Only a preset file goes, never a folder that happens to carry the name.
    if (QFileInfo(path).isFile()) {
        QFile::remove(path);
    }
}

bool TAVPrestManager::updatePreset(const TAVExifDataPtr& record, const QString& newName) const
{
    if (!record || !isValidPresetName(newName)) {
        return false;
    }
    const QString folder = presetsDataSavePath();
    if (folder.isNull()) {
        return false;
    }
    const QString oldName = record->strName();
    const bool renamed = newName != oldName;
    const QString newPath = presetFilePath(folder, newName);
    // A name is a file: taking another preset's name would replace that preset.
    if (renamed && QFileInfo(newPath).isFile()) {
        return false;
    }
    // The record changes only once its new file is complete.
    const TAVExifDataPtr stored = record->copy();
    stored->setStrName(newName);
    makeStoredForm(*stored);
    if (!writePreset(*stored, newPath)) {
        return false;
    }
    record->setStrName(newName);
    makeStoredForm(*record);
    if (renamed) {
        deletePreset(oldName);
    }
    return true;
}

TAVExifDataPtr TAVPrestManager::presetWithName(const QString& name) const
{
    if (!isValidPresetName(name)) {
        return nullptr;
    }
    // The files after the first match need not be read.
    TAVExifDataPtr found;
    readPresets([&found, &name](const TAVExifDataPtr& record) {
        if (record->strName() == name) {
            found = record;
        }
        return !found;
    });
    return found;
}
