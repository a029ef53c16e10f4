// The save road: the working copy written and checked, the user's file
// replaced only when nothing else changed it, and the failures told once per loop.
#include "models/image/TAVImageObject.h"

#include "foundation/Dispatch.h"
#include "foundation/FileServices.h"
#include "foundation/UiServices.h"
#include "foundation/UserDefaults.h"
#include "models/formats/ExivMemoryFile.h"
#include "models/read/TAVMetadataReaderMgr.h"
#include "models/tables/TAVKeyLists.h"
#include "models/write/TAVMetadataWritterMgr.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The key the Summary tab's date and time are written under, as one EXIF date.
const QString kJoinedDateKey = QStringLiteral("Exif.Image.DateTime");

QString failureWithDetail(const QString& failure, const QString& detail)
{
    return detail.isEmpty() ? failure : failure + QStringLiteral(": ") + detail;
}

// The save ends with a rename in the file's folder, which a writable folder
// allows even for a file the user may not write (mode 0444, another user's
// file): the file's own permission is asked first, for the user the process
// acts as. Empty when the file may be written, or when the question has no
// answer (the save then fails on its own reason).
QString writeRefusal(const QString& path)
{
    if (path.isEmpty() || ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0)
        return QString();
    switch (errno) {
    case EACCES:
    case EPERM:
        return QStringLiteral(
            "The file is read-only: you do not have permission to change it, so it was left as it was");
    case EROFS:
        return QStringLiteral("The file is on a read-only disk, so it was left as it was");
    default:
        return QString();
    }
}

} // namespace

QString TAVImageObject::keptXmpNotice(const QStringList& names)
{
    return names.size() == 1
        ? QStringLiteral("The XMP metadata of this photo could not be read, so it was kept as it was: %1")
              .arg(names.first())
        : QStringLiteral("The XMP metadata of these photos could not be read, so it was kept as it was: %1")
              .arg(names.join(QStringLiteral(", ")));
}

bool TAVImageObject::saveMetadataToImage()
{
    std::unique_lock<std::recursive_mutex> record(recordInSave_);
    bool written = false;
    bool success = false;
    noteSaveFailure(QString());
    fileError_.clear();
    const bool unshiftable = shiftFindsNoDate();
    shiftFoundNoDate_ = false;
    keptXmpOnClear_ = false;
    // A saved clear of everything ends the record's flag: it is read here.
    const bool clearsAll = exifData_->isClearAll();
    bool clears = clearsAll;
    for (int32_t category = 0; category < 4 && !clears; ++category) {
        const TAVEntityList entities = exifData_->modifiedUserSetEntities(category);
        clears = std::any_of(
            entities.begin(), entities.end(), [](const TAVEntityPtr& entity) { return entity->isClear(); });
    }
    if (!userFileUnchanged()) {
        reportChangedUserFile();
    } else if (const QString refusal = writeRefusal(srcPath_); !refusal.isEmpty()) {
        reportSaveFailure(refusal);
    } else if (prepareWorkingCopy()) {
        // A fresh writer per save: edits of a failed save never linger in a
        // writer's memory to be written by a later save.
        writerMgr_ = std::make_unique<TAVMetadataWritterMgr>(path_);
        // The checked bytes go to the working copy and the user's file together.
        writerMgr_->setWritesFile(false);
        // A packet the library cannot decode keeps whatever twins of the
        // cleared tags it holds: the user is told. A clear of everything
        // takes the packet too, unless it is not XMP for certain (saveClearAll
        // tells). (The save lets the writer go once its bytes are written.)
        const bool xmpUndecodable = writerMgr_->isXmpUndecodable();
        success = clearsAll ? saveClearAll() : saveChangedEntities(written);
        keptXmpOnClear_ = success && (clearsAll ? keptXmpOnClear_ : clears && xmpUndecodable);
        writerMgr_.reset();
    } else {
        reportSaveFailure(
            failureWithDetail(QStringLiteral("The working copy could not be made again from the file"), fileError_));
    }

    if (success) {
        if (written || clearsAll)
            exifData_->setEnuModifyState(TAVExifData::StateSaved);
        else if (unshiftable)
            exifData_->setEnuModifyState(TAVExifData::StateUnchanged); // the shift was all it held
        if (unshiftable)
            reportUnshiftedPhoto();
        if (keptXmpOnClear_)
            nameInLoopAlert(&ChangedFilesAlert::keptXmpNames_, keptXmpNotice);
        reread();
    } else {
        if (lastSaveFailure().isEmpty())
            noteSaveFailure(QStringLiteral("The save failed"));
        exifData_->setEnuModifyState(TAVExifData::StateSaveFailed);
    }
    record.unlock();
    tellDelegate(&TAVImageObjectProtocol::imageObjectFinishSave);
    return success;
}

bool TAVImageObject::saveClearAll()
{
    // A refused clear is told as any other refused save is.
    if (!writerMgr_->clearAllMetadata()) {
        reportSaveFailure(
            failureWithDetail(QStringLiteral("The metadata could not be cleared"), writerMgr_->lastError()));
        return false;
    }
    keptXmpOnClear_ = writerMgr_->keptUnreadableXmp();
    const Publication published = publish(std::nullopt);
    if (published != Published) {
        if (published == PublishFailed)
            reportSaveFailure(failureWithDetail(QStringLiteral("The file could not be replaced"), fileError_));
        return false;
    }
    for (int32_t category = 0; category < 4; ++category)
        exifData_->resetEnityModifyFlag(category);
    // The clear is in the file now: the photo holds no unsaved work, so its
    // mark goes, Save All passes it by and quitting does not ask about it.
    exifData_->setIsClearAll(false);
    exifData_->setIsClearExif(false);
    exifData_->setIsClearGps(false);
    exifData_->setIsClearIptc(false);
    return true;
}

bool TAVImageObject::saveChangedEntities(bool& written)
{
    QStringList failedKeys;
    QList<int32_t> settled;
    if (exifData_->isClearExif()) {
        // Clear > EXIF takes the file's whole EXIF, also what the record
        // does not list; the edits made after the clear are then written
        // over it, and the clear of each key finds nothing left to stand
        // in for.
        if (!writerMgr_->clearExifMetadata()) {
            reportSaveFailure(
                failureWithDetail(QStringLiteral("The EXIF metadata could not be cleared"), writerMgr_->lastError()));
            return false;
        }
        written = true;
    }
    // Clear > GPS and Clear > IPTC take what the file keeps of the family
    // apart from the keys the record lists (which the clear marks, so the
    // save writes).
    if (exifData_->isClearGps())
        writerMgr_->clearGpsCopies();
    if (exifData_->isClearIptc())
        writerMgr_->clearIptcCopies();
    for (int32_t category = 0; category < 4; ++category) {
        const QList<TAVEntityPtr> entities = getProcessedEntitiesForSave(category);
        if (entities.isEmpty())
            continue;
        if (category == TAVExifData::CategorySummary && savesTimeWithoutDate()) {
            // Every family keeps a capture time with its day: the time alone
            // would be written nowhere.
            reportSaveFailure(QStringLiteral("A time needs a date: type the photo's date with its time, or clear "
                                             "the time"));
            return false;
        }
        written = true;
        if (category == TAVExifData::CategorySummary)
            writerMgr_->setDateShift(shiftOfUnsavedDate());
        QStringList failed = writerMgr_->batchWriteMetadata(entities, true);
        // The date written under that key is the capture date the user
        // typed; the key only routes it.
        if (category == TAVExifData::CategorySummary)
            std::replace(failed.begin(), failed.end(), kJoinedDateKey, QStringLiteral("Exif.Photo.DateTimeOriginal"));
        if (failed.isEmpty())
            settled.append(category);
        failedKeys.append(failed);
    }
    // A batch with failed keys is not saved into the working copy: half of a
    // failed save must not reach the user's file with a later save.
    const std::optional<QDateTime> fileDates = fileDatesAfterSave();
    const bool saved = !written || (failedKeys.isEmpty() && writerMgr_->saveMetadataToImage());

    bool success = saved && failedKeys.isEmpty();
    QString reason;
    if (!failedKeys.isEmpty()) {
        qWarning("Save of %s failed for: %s", qPrintable(path_), qPrintable(failedKeys.join(QStringLiteral(", "))));
        reason = QStringLiteral("These values could not be written: ") + failedKeys.join(QStringLiteral(", "));
        // A file the writer could not open at all fails every key for one reason.
        if (!writerMgr_->lastError().isEmpty())
            reason = failureWithDetail(reason, writerMgr_->lastError());
    } else if (!saved) {
        reason = failureWithDetail(QStringLiteral("The new metadata could not be written"), writerMgr_->lastError());
    }
    if (success) {
        const Publication published = publish(fileDates);
        if (published == UserFileChanged)
            return false;
        success = published == Published;
        reason = failureWithDetail(QStringLiteral("The file could not be replaced"), fileError_);
    }
    if (!success) {
        reportSaveFailure(reason);
        return false;
    }
    // The edits count as saved only once they are in the user's file.
    pendingShift_.reset();
    for (int32_t category : settled)
        exifData_->resetEnityModifyFlag(category);
    exifData_->setIsClearExif(false);
    exifData_->setIsClearGps(false);
    exifData_->setIsClearIptc(false);
    return true;
}

bool TAVImageObject::userFileUnchanged() const
{
    return FileServices::identityOf(srcPath_) == srcIdentity_;
}

bool TAVImageObject::prepareWorkingCopy()
{
    // A failed save may have left its edits in the working copy: it goes
    // back to what the user's file holds, so only what the record shows as
    // edited can reach the user's file.
    if (!workingCopyStale_)
        return true;
    QString error;
    workingCopyStale_ = !FileServices::replaceFile(path_, srcPath_, &error);
    // After a failed replacement of the user's file, its cause is the one the
    // user is told.
    if (workingCopyStale_ && fileError_.isEmpty())
        fileError_ = error;
    if (workingCopyStale_)
        qWarning("Could not bring %s back to %s: %s", qPrintable(path_), qPrintable(srcPath_), qPrintable(error));
    return !workingCopyStale_;
}

TAVImageObject::Publication TAVImageObject::publish(const std::optional<QDateTime>& fileDates)
{
    // The working copy holds the new content now; until the user's file has
    // it too, the working copy is ahead of what the record read.
    workingCopyStale_ = true;
    // Another program may have written the file, or put a link in its place,
    // since it was imported or while this save ran: neither is overwritten.
    const Publication published = writeSavedContent(fileDates);
    if (published == UserFileChanged)
        reportChangedUserFile();
    else if (published == PublishFailed)
        prepareWorkingCopy();
    return published;
}

TAVImageObject::Publication TAVImageObject::settlePublication(
    FileServices::Publication result, const FileServices::Identity& published, const QString& error)
{
    switch (result) {
    case FileServices::Publication::Published:
        srcIdentity_ = published;
        return Published;
    case FileServices::Publication::Changed:
        qWarning("%s", qPrintable(error));
        return UserFileChanged;
    case FileServices::Publication::Failed:
        break;
    }
    fileError_ = error;
    qWarning("Could not replace %s: %s", qPrintable(srcPath_), qPrintable(error));
    return PublishFailed;
}

namespace {

std::mutex changedFilesMutex;
TAVImageObject::ChangedFilesAlert* activeChangedFilesAlert = nullptr;

QString changedFilesMessage(const QStringList& names)
{
    return names.size() == 1
        ? QStringLiteral("The file was changed by another program since it was imported: %1").arg(names.first())
        : QStringLiteral("The files were changed by another program since they were imported: %1")
              .arg(names.join(QStringLiteral(", ")));
}

QString goneFileReason()
{
    return QStringLiteral("The file is gone: it was deleted or moved since it was imported");
}

// The user may no longer enter a folder on the file's path: the file may
// well be there still, so it is not "gone".
QString unreachableFileReason()
{
    return QStringLiteral(
        "The file cannot be reached: you do not have permission to open its folder, so it was left as it was");
}

// Whether the file at `path`, of `size` bytes, holds exactly `bytes`; read
// in small pieces, so a file that differs at its metadata, near its start,
// is read no further.
bool fileHolds(const QString& path, int64_t size, const QByteArray& bytes)
{
    if (size != bytes.size())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    static constexpr qsizetype kPiece = 64 * 1024;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const QByteArray piece = file.read(std::min(kPiece, bytes.size() - at));
        if (piece.isEmpty() || QByteArrayView(piece) != QByteArrayView(bytes).sliced(at, piece.size()))
            return false;
        at += piece.size();
    }
    return file.atEnd();
}

bool isReachRefused(const QString& path)
{
    struct stat status { };
    return ::lstat(QFile::encodeName(path).constData(), &status) != 0 && errno == EACCES;
}

QString changedFileReason()
{
    return QStringLiteral("The file was changed by another program since it was imported");
}

QString goneFilesMessage(const QStringList& names)
{
    return names.size() == 1
        ? QStringLiteral("The file is gone: it was deleted or moved since it was imported: %1").arg(names.first())
        : QStringLiteral("The files are gone: they were deleted or moved since they were imported: %1")
              .arg(names.join(QStringLiteral(", ")));
}

QString unshiftedPhotosMessage(const QStringList& names)
{
    return names.size() == 1
        ? QStringLiteral("The photo has no date to shift and was left as it was: %1").arg(names.first())
        : QStringLiteral("These photos have no date to shift and were left as they were: %1")
              .arg(names.join(QStringLiteral(", ")));
}

} // namespace

TAVImageObject::ChangedFilesAlert::ChangedFilesAlert(bool showsAlert)
    : folderFlush_(std::make_unique<FileServices::DeferredFolderFlush>())
    , showsAlert_(showsAlert)
{
    // The loop's files are read into the memory the last one was read into.
    ExivMemoryFile::beginLoop();
    const std::lock_guard<std::mutex> lock(changedFilesMutex);
    previous_ = activeChangedFilesAlert;
    activeChangedFilesAlert = this;
}

TAVImageObject::ChangedFilesAlert::~ChangedFilesAlert()
{
    // The saved files' names are on disk before the loop tells of anything.
    folderFlush_.reset();
    ExivMemoryFile::endLoop();
    {
        const std::lock_guard<std::mutex> lock(changedFilesMutex);
        activeChangedFilesAlert = previous_;
    }
    if (showsAlert_ && !names_.isEmpty())
        showAlert(changedFilesMessage(names_));
    if (showsAlert_ && !goneNames_.isEmpty())
        showAlert(goneFilesMessage(goneNames_));
    if (showsAlert_ && !unshiftedNames_.isEmpty())
        showAlert(unshiftedPhotosMessage(unshiftedNames_));
    if (showsAlert_ && !keptXmpNames_.isEmpty())
        showAlert(keptXmpNotice(keptXmpNames_));
}

void TAVImageObject::reportChangedUserFile()
{
    // Nothing at the path at all (not even a dangling link): the user deleted
    // or moved the file, which "changed" would hide.
    const FileServices::Identity now = FileServices::identityOf(srcPath_);
    if (!now.exists && !now.isLink && isReachRefused(srcPath_)) {
        reportSaveFailure(unreachableFileReason());
        return;
    }
    if (!now.exists && !now.isLink) {
        noteSaveFailure(goneFileReason());
        qWarning("%s is gone since it was imported; not saved", qPrintable(srcPath_));
        nameInLoopAlert(&ChangedFilesAlert::goneNames_, goneFilesMessage);
        return;
    }
    noteSaveFailure(changedFileReason());
    qWarning("%s was changed by another program since it was imported; not saved", qPrintable(srcPath_));
    nameInLoopAlert(&ChangedFilesAlert::names_, changedFilesMessage);
}

QString TAVImageObject::userFileChangeSinceImport() const
{
    const FileServices::Identity now = FileServices::identityOf(srcPath_);
    if (now == srcIdentity_)
        return QString();
    if (!now.exists && !now.isLink)
        return isReachRefused(srcPath_) ? unreachableFileReason() : goneFileReason();
    return changedFileReason();
}

void TAVImageObject::reportUnshiftedPhoto()
{
    shiftFoundNoDate_ = true;
    qWarning("%s holds no date to shift", qPrintable(srcPath_));
    nameInLoopAlert(&ChangedFilesAlert::unshiftedNames_, unshiftedPhotosMessage);
}

void TAVImageObject::nameInLoopAlert(QStringList ChangedFilesAlert::*list, QString (*message)(const QStringList&)) const
{
    const QString name = QFileInfo(srcPath_).fileName();
    {
        const std::lock_guard<std::mutex> lock(changedFilesMutex);
        if (activeChangedFilesAlert) {
            (activeChangedFilesAlert->*list).append(name);
            return;
        }
    }
    showAlert(message({name}));
}

void TAVImageObject::reportSaveFailure(const QString& reason)
{
    noteSaveFailure(reason);
    showAlert(QStringLiteral("Some error occurred when save modifications"));
}

void TAVImageObject::noteSaveFailure(const QString& reason)
{
    const std::lock_guard<std::mutex> lock(saveFailureMutex_);
    saveFailure_ = reason;
}

QString TAVImageObject::lastSaveFailure() const
{
    const std::lock_guard<std::mutex> lock(saveFailureMutex_);
    return saveFailure_;
}

void TAVImageObject::showAlert(const QString& message)
{
    if (UserDefaults::standard().boolForKey(QStringLiteral("save_continue_after_error")))
        return;
    UiServices* ui = UiServices::shared();
    if (!ui) {
        qWarning("%s", qPrintable(message));
        return;
    }
    // Modal: the save goes on only once the user has dismissed the alert.
    Dispatch::syncMain(
        [ui, message] { ui->showTipsAlert(QStringLiteral("Errors"), message, QStringLiteral("Dismiss")); });
}

void TAVImageObject::reread()
{
    // The rows of what the save wrote were read from its bytes in memory
    // (writeSavedContent); only a save that wrote nothing new reads the file.
    takeImageMetadata(path_, savedRows_ ? std::move(savedRows_) : readRows(path_, nullptr));
    refreshDispUIData();
    if (readerMgr_)
        readerMgr_->releaseFile();
}

QList<TAVEntityPtr> TAVImageObject::getProcessedEntitiesForSave(int32_t category)
{
    if (category == TAVExifData::CategorySummary)
        applyTimeOffsetSettingToDatetimeEntity();

    QList<TAVEntityPtr> entities;
    entities.reserve(10);
    TAVEntityPtr joined;
    const bool datesTyped = capturesDateTyped();
    for (const auto& entity : exifData_->modifiedUserSetEntities(category)) {
        const QString& key = entity->key();
        // A date typed after Clear > EXIF is the photo's new date: the
        // clear's removal of every date it moves would take it away again
        // and leave the photo without any.
        if (datesTyped && entity->isClear() && TAVMetadataWritterMgr::isDateTwinKey(key))
            continue;
        if (key == TAVKeyLists::createDateKey() || key == TAVKeyLists::createTimeKey()) {
            // Date and time travel together as one EXIF date, written once
            // (a refusal names it once); the later entry's clear stands, as
            // when each was written in turn. Clear > EXIF takes every EXIF
            // date, the modify date too; a date the user emptied takes the
            // capture date alone.
            if (joined) {
                joined->setIsClear(entity->isClear());
                continue;
            }
            const QString dateTime = processModifiedDatetime();
            joined = TAVEntity::entityWithValue(dateTime.isNull() ? QStringLiteral("") : dateTime, kJoinedDateKey);
            joined->setIsClear(entity->isClear());
            entities.append(joined);
        } else if (key == QLatin1String("Iptc.Application2.Keywords") && !entity->isOverwrite() && !entity->isClear()) {
            entities.append(mergedKeywords(entity));
        } else {
            entities.append(entity);
        }
    }
    return entities;
}

bool TAVImageObject::capturesDateTyped() const
{
    bool typed = false;
    for (const QString& key : {TAVKeyLists::createDateKey(), TAVKeyLists::createTimeKey()}) {
        if (!exifData_->isModifiedForKey(key, TAVExifData::CategorySummary))
            continue;
        const TAVEntityPtr entity = exifData_->userSetEntity(key, TAVExifData::CategorySummary);
        if (!entity || entity->isClear() || entity->value().trimmed().isEmpty())
            return false;
        typed = true;
    }
    return typed;
}

TAVEntityPtr TAVImageObject::mergedKeywords(const TAVEntityPtr& entity) const
{
    const QString key = entity->key();
    const QString oldText = exifData_->getValueFromOriginalDataForKey(key, TAVExifData::CategorySummary);
    QStringList oldWords;
    for (const QString& word : oldText.split(QLatin1Char(',')))
        oldWords.append(word.trimmed());

    QString merged = oldText.isNull() ? QStringLiteral("") : oldText;
    for (const QString& word : entity->value().split(QLatin1Char(','))) {
        const QString trimmed = word.trimmed();
        if (trimmed.isEmpty() || oldWords.contains(trimmed))
            continue;
        if (!merged.isEmpty())
            merged.append(QLatin1Char(','));
        merged.append(word);
    }
    auto result = TAVEntity::entityWithValue(merged, key);
    result->setIsOverwrite(entity->isOverwrite());
    result->setIsModified(entity->isModified());
    return result;
}

QString TAVImageObject::willWriteText(const QString& key) const
{
    return exifData_->isModifiedForKey(key, TAVExifData::CategorySummary)
        ? exifData_->getValueForKey(key, TAVExifData::CategorySummary)
        : exifData_->getValueFromOriginalDataForKey(key, TAVExifData::CategorySummary);
}

TAVImageObject::Publication TAVImageObject::writeSavedContent(const std::optional<QDateTime>& fileDates)
{
    auto written = writerMgr_ ? writerMgr_->writtenImage() : nullptr;
    if (const std::optional<Publication> kept = keepUnchangedUserFile(written ? &written->bytes : nullptr, fileDates))
        return *kept;
    if (!written || srcPath_.isEmpty()) {
        // Nothing new was written: the working copy as it is goes to the user.
        if (fileDates)
            FileServices::setFileDates(path_, *fileDates, *fileDates);
        const Publication published = copyToDestFolder();
        workingCopyStale_ = published != Published;
        return published;
    }
    // The user's file and then the working copy get the same checked bytes.
    // Only the user's file is forced to disk: the working copy is made again
    // from it whenever it may be behind.
    QString error;
    FileServices::Identity identity;
    std::unique_ptr<FileServices::PendingWrite> write
        = FileServices::prepareFileWrite(srcPath_, written->bytes, fileDates, &error);
    const FileServices::Publication result = write
        ? FileServices::commitFileWrite(std::move(write), srcIdentity_, &identity, &error)
        : FileServices::Publication::Failed;
    const Publication published = settlePublication(result, identity, error);
    if (published != Published)
        return published;
    const bool copied = FileServices::writeScratchFileAtomically(path_, written->bytes, &error)
        && (!fileDates || FileServices::setFileDates(path_, *fileDates, *fileDates));
    if (!copied)
        qWarning("Could not write the working copy %s: %s", qPrintable(path_), qPrintable(error));
    // The record's rows come from the check's parse of the new bytes; the
    // parse and the writer are let go once they are read.
    savedRows_ = readRows(path_, written, readerMgr_.get());
    savedRows_->releaseFile();
    written.reset();
    writerMgr_.reset();
    // A working copy that missed the new bytes is made again from the user's file.
    workingCopyStale_ = !copied;
    if (!copied)
        prepareWorkingCopy();
    return Published;
}

std::optional<TAVImageObject::Publication> TAVImageObject::keepUnchangedUserFile(
    const QByteArray* bytes, const std::optional<QDateTime>& fileDates)
{
    // A save that changes no byte of the user's file leaves the file itself
    // where it is: a copy of the same bytes would still be a new file, whose
    // hard links part and whose other names keep the old one. A shift armed
    // over photos without a date, or a Save All of files that are only to
    // take their photo's date, met that on every such file.
    if (srcPath_.isEmpty() || path_.isEmpty())
        return std::nullopt;
    if (FileServices::identityOf(srcPath_) != srcIdentity_)
        return UserFileChanged;
    if (!(bytes ? fileHolds(srcPath_, srcIdentity_.size, *bytes) : FileServices::contentsEqual(path_, srcPath_)))
        return std::nullopt;
    if (fileDates) {
        // A file the user may write but does not own takes no dates of its
        // own: it is replaced, as before, and the copy carries them.
        if (!FileServices::setFileDates(srcPath_, *fileDates, *fileDates))
            return std::nullopt;
        const FileServices::Identity dated = FileServices::identityOf(srcPath_);
        if (dated.device != srcIdentity_.device || dated.inode != srcIdentity_.inode || dated.size != srcIdentity_.size)
            return UserFileChanged;
        srcIdentity_ = dated;
        FileServices::setFileDates(path_, *fileDates, *fileDates);
    }
    // The working copy holds the same bytes: the writer wrote none into it.
    workingCopyStale_ = false;
    return Published;
}

TAVImageObject::Publication TAVImageObject::copyToDestFolder()
{
    if (srcPath_.isEmpty() || path_.isEmpty()) {
        qWarning("No user file to replace for %s", qPrintable(path_));
        return PublishFailed;
    }
    // A symbolic link stays a link: the file it points to gets the new content.
    QString error;
    FileServices::Identity published;
    const FileServices::Publication result
        = FileServices::replaceFile(srcPath_, path_, srcIdentity_, &published, &error);
    return settlePublication(result, published, error);
}
