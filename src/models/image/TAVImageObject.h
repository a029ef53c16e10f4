#pragma once

#include "models/read/TAVImageMetadatReaderBase.h"
#include "models/record/TAVExifData.h"
#include "models/tables/TAVExifTag.h"

#include "foundation/FileServices.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class TAVImageObject;
class TAVMetadataReaderMgr;
class TAVMetadataWritterMgr;

using TAVImageObjectPtr = std::shared_ptr<TAVImageObject>;

// What an image object tells its owner. Every operation has an empty default,
// so a delegate overrides only what it wants to hear about. Both arrive on the
// GUI thread, also when the edit or the save ran on a worker.
class TAVImageObjectProtocol {
public:
    virtual ~TAVImageObjectProtocol() = default;
    // The image's record was changed by an edit.
    virtual void imageObjectHasModified(TAVImageObject* imageObject) { (void)imageObject; }
    // A save of this image has finished, whatever its outcome.
    virtual void imageObjectFinishSave(TAVImageObject* imageObject) { (void)imageObject; }
};

// One imported image. All reading and writing happens on its working copy
// (`path`); a successful save replaces the user's file (`srcPath`) with it.
// The object owns its record, whose back reference points here, and the
// managers that read and write the working copy. The save road lies in
// TAVImageObject_Save.cpp, the dates a save writes in TAVImageObject_Shift.cpp.
class TAVImageObject : public TAVRecordOwner {
public:
    // Makes an empty record, takes the working copy's file dates as the import
    // dates and reads the file. Without a path the record holds the keys of the
    // summary, exposure and GPS categories with empty values.
    explicit TAVImageObject(const QString& path = QString());
    ~TAVImageObject() override;
    TAVImageObject(const TAVImageObject&) = delete;
    TAVImageObject& operator=(const TAVImageObject&) = delete;

    static TAVImageObjectPtr create(const QString& path = QString()) { return std::make_shared<TAVImageObject>(path); }
    // The image object a record belongs to; null for a record of no image
    // (the common values, a preset) and once the image is gone.
    static TAVImageObject* ownerOf(const TAVExifData& record);

    // --- Creation and reading ---
    const QString& path() const { return path_; }
    // Stores the path, reads the file and fills the record.
    void setPath(const QString& path);
    // Reads the file's rows into the record's row list, completed with empty
    // rows for the editable tags the file lacks. Replaces the reader manager
    // and removes the record's time shift.
    void loadImageMetadata(const QString& path);
    // As loadImageMetadata with the rows `reader` has read already.
    void takeImageMetadata(const QString& path, std::unique_ptr<TAVMetadataReaderMgr> reader);
    // A reading manager of the file (over `parsed` when given) that has read
    // its rows, sharing the packed long values of `earlier` it reads unchanged.
    static std::unique_ptr<TAVMetadataReaderMgr> readRows(const QString& path,
        const TAVImageMetadatReaderBase::SharedImagePtr& parsed, const TAVMetadataReaderMgr* earlier = nullptr);
    // Fills the four categories of the record from the reader manager.
    void refreshDispUIData();
    void refreshSummary();
    void refreshExposure();
    void refreshGeoInfo();
    void refreshOtherInfo();
    // The file's creation and modification dates become the import dates when
    // a file exists at the path.
    void readImageOriginalDatetimeInfo(const QString& path);
    // A fresh row list of the file (all families), for the export.
    QList<TAVEntityPtr> readAllMetadata(uint64_t exportType) const;

    // --- Record access and editing ---
    QString getValueForKey(const QString& key, int32_t category) const;
    void restore();
    void clear(uint64_t kind);
    // Throws the unsaved edits away, then applies the preset or setting.
    void applyToNewExifDataSetting(const TAVExifData& source);
    // Tells the delegate that the record was modified.
    void notiRefreshUIWhenModified() override;
    // One flag per row of the focus / exposure-program label tables: whether
    // the user may choose that row for this image (all false without a read).
    std::vector<bool> getVaildFocusSetting() const;
    std::vector<bool> getVaildExposurePrgmSetting() const;

    // --- Display and sorting ---
    // The name of the state image resource: "error.png" after a failed save,
    // "modified.png" while the record holds unsaved work (what Save All
    // writes and quitting asks about), "finish.png" after a save; null else.
    QString getImageForImageState() const;
    // -1, 0 or 1; 0 for equal values and for unknown sort keys (case-insensitive).
    int64_t compareWithObj(const TAVImageObject& other, const QString& sortKey) const;
    // Signed decimal degrees; NaN when the image has no position (no
    // coordinate, or one that is not three rationals).
    float getGPSFloat(bool latitude) const;
    float getAperture() const;
    // The exposure time in seconds (1/200 gives 0.005).
    float getShutterSpeed() const;
    // Dates in the record's forms; a text without a date sorts first.
    static int64_t compareDate(const QString& first, const QString& second);

    // --- Browser and preview items ---
    const QString& imageUID() const { return path_; }
    // The name of the user's file (of the working copy when there is none).
    QString imageTitle() const;
    // Deletes the working copy once the image leaves the list; never the
    // user's file. False when it could not be removed.
    bool removeWorkingCopy();
    QUrl previewItemURL() const { return QUrl::fromLocalFile(path_); }
    QString previewItemTitle() const { return imageTitle(); }
    QString description() const { return imageTitle(); }

    // --- Save ---
    // Writes the changed entities into the working copy, sets its file dates,
    // replaces the user's file with it and reads it again. False when anything
    // failed; the user's file is then untouched and the edits stay modified.
    // A user's file that another program changed (or replaced by a link)
    // since the import is never overwritten: that save fails with its own alert.
    bool saveMetadataToImage();
    // Why a save would refuse the user's file now: another program changed
    // it since the import (or the last save), or it is gone; empty while it
    // is still that file. The tools that write the user's file refuse it too.
    QString userFileChangeSinceImport() const;
    const FileServices::Identity& srcIdentity() const { return srcIdentity_; }
    // Why the last save of this image failed, for the user; empty when it
    // succeeded or none ran. Safe to read while a save runs.
    QString lastSaveFailure() const;
    // The last save had a time shift to apply and found no date to move:
    // nothing was shifted (the save itself may have written other edits).
    bool lastSaveFoundNoDateToShift() const { return shiftFoundNoDate_; }
    // The last save cleared tags of a photo whose XMP packet the library
    // cannot read: the packet, with any XMP twins of those tags, was kept.
    bool lastSaveKeptXmp() const { return keptXmpOnClear_; }
    // What the user is told of the photos (their file names) whose XMP a clear kept.
    static QString keptXmpNotice(const QStringList& names);
    QList<TAVEntityPtr> getProcessedEntitiesForSave(int32_t category);
    // "date time" of the creation date to write: each part from the user's
    // value when modified, else from the value read.
    QString processModifiedDatetime() const;
    // Moves the creation date and time forward by the record's time shift
    // (once: the shift is used up).
    void applyTimeOffsetSettingToDatetimeEntity();
    // The shift by which the writer moves the file's dates: the one applied
    // to a date the user did not type, as long as the record holds what it
    // gave (a save that failed leaves it there, and the retry starts again
    // from the file's own dates).
    std::optional<TAVTimeOffsetInfo> shiftOfUnsavedDate() const;
    // The creation date (YES) or time (NO) that a save would write.
    QDateTime getWillWriteDatetime(bool date) const;
    // The date a save gives the user's file and the working copy (as their
    // modification and access times), when the record or the settings ask
    // for one; nothing keeps the time of the write.
    std::optional<QDateTime> fileDatesAfterSave() const;
    // The record's creation date and time from the user-set (YES) or read
    // values; invalid when there is none.
    QDateTime getCreateDateTime(bool userSet) const;

    // A save loop holds one while it runs (the memory its files are read
    // into is kept from one file to the next meanwhile, and the folders of
    // the files it replaced are flushed to disk once, when it goes, before
    // any alert): the files it could not save
    // because another program changed them since the import, those that are
    // gone, and the photos whose time shift found no date to move, are named
    // in one alert each when it goes, instead of one alert per file. A loop that tells every
    // failure itself holds a silent one, which only keeps the alerts of the
    // single files away.
    class ChangedFilesAlert {
    public:
        explicit ChangedFilesAlert(bool showsAlert = true);
        ~ChangedFilesAlert();
        ChangedFilesAlert(const ChangedFilesAlert&) = delete;
        ChangedFilesAlert& operator=(const ChangedFilesAlert&) = delete;

    private:
        friend class TAVImageObject;
        ChangedFilesAlert* previous_ = nullptr;
        // Made on the loop's thread, where the loop's files are written.
        std::unique_ptr<FileServices::DeferredFolderFlush> folderFlush_;
        QStringList names_;
        QStringList goneNames_; // deleted or moved since the import
        bool showsAlert_ = true;
        QStringList unshiftedNames_;
        QStringList keptXmpNames_;
    };

    // --- Accessors ---
    const QString& srcPath() const { return srcPath_; }
    // The user's file; its creation date is the one the image had at import
    // (the working copy was made just now and has a birth time of its own).
    void setSrcPath(const QString& path);
    const TAVExifDataPtr& exifData() const { return exifData_; }
    // The record's back reference follows the record.
    void setExifData(const TAVExifDataPtr& record);
    // Not owned; the owner clears it when it goes.
    TAVImageObjectProtocol* delegate() const { return delegate_; }
    void setDelegate(TAVImageObjectProtocol* delegate) { delegate_ = delegate; }
    const QString& renamedPath() const { return renamedPath_; }
    void setRenamedPath(const QString& path) { renamedPath_ = path; }
    const QDateTime& fileOrignalCreateDate() const { return fileOrignalCreateDate_; }
    const QDateTime& fileOrignalModifiedDate() const { return fileOrignalModifiedDate_; }
    const TAVMetadataReaderMgr* readerMgr() const { return readerMgr_.get(); }

private:
    bool _isTag(const TAVExifTagPtr& tag, const TAVEntityList& rows) const;
    TAVEntityList _leftTagInExist(const QList<TAVExifTagPtr>& tags) const;
    void _composeAllEditEntities(const TAVEntityList& exifRest, const TAVEntityList& iptcRest);

    // Runs a delegate call on the GUI thread.
    void tellDelegate(void (TAVImageObjectProtocol::*call)(TAVImageObject*));
    bool saveClearAll();
    bool saveChangedEntities(bool& written);
    // The user's file is still the one imported (or last saved): same file,
    // same size and date, not turned into a link or pointed elsewhere.
    bool userFileUnchanged() const;
    // Brings a working copy that a failed save left ahead of the user's file
    // back to the user's file. False when that fails.
    bool prepareWorkingCopy();
    enum Publication { Published, UserFileChanged, PublishFailed };
    // Replaces the user's file by the saved working copy, unless another
    // program changed it since the import.
    Publication publish(const std::optional<QDateTime>& fileDates);
    // Writes what the save made into the user's file and the working copy,
    // both with `fileDates` when given: the checked bytes of the writer when
    // there are some (the writer is let go once they are written), else the
    // working copy as it is. The user's file is replaced only while it is
    // still the one imported (or last saved), up to the replacement itself.
    Publication writeSavedContent(const std::optional<QDateTime>& fileDates);
    // When the save would change no byte of the user's file (`bytes`, the
    // writer's, or else the working copy's), the file stays, given
    // `fileDates` in place when there are some; nothing when it is to be
    // written.
    std::optional<Publication> keepUnchangedUserFile(
        const QByteArray* bytes, const std::optional<QDateTime>& fileDates);
    // Replaces the user's file by the working copy as it is, atomically.
    Publication copyToDestFolder();
    // What a replacement of the user's file means for the save; a new file
    // becomes the one the next save expects.
    Publication settlePublication(
        FileServices::Publication result, const FileServices::Identity& published, const QString& error);
    // The rows of what the save wrote, read from the check's parse of its
    // bytes; the record is refreshed from them.
    std::unique_ptr<TAVMetadataReaderMgr> savedRows_;
    void reportChangedUserFile();
    // Shows the save-failure alert; `reason` is kept for lastSaveFailure.
    void reportSaveFailure(const QString& reason);
    void noteSaveFailure(const QString& reason);
    // A time shift is to be saved but the photo holds no date at all.
    bool shiftFindsNoDate() const;
    // The Summary's date and time are to be saved as a time with no date,
    // which no family can hold.
    bool savesTimeWithoutDate() const;
    void reportUnshiftedPhoto();
    // Adds the user's file name to the running loop's list, or alerts at once
    // when no loop runs.
    void nameInLoopAlert(QStringList ChangedFilesAlert::*list, QString (*message)(const QStringList&)) const;
    static void showAlert(const QString& message);
    // Builds the record again after a save, from the rows of the saved bytes
    // (savedRows_) when there are some, else from the file.
    void reread();
    // The keyword entity to write when new words are merged into the old ones.
    TAVEntityPtr mergedKeywords(const TAVEntityPtr& entity) const;
    // Whether the save writes a capture date the user typed (its day and
    // time, neither emptied).
    bool capturesDateTyped() const;
    // The user's text of a creation date entry when modified, else the one read.
    QString willWriteText(const QString& key) const;
    double sortNumber(const QString& key, int32_t category) const;

    // What the record (and its copies) know of this object; emptied when it goes.
    TAVRecordOwnerRef selfRef_;
    TAVExifDataPtr exifData_;
    QString path_;
    std::unique_ptr<TAVMetadataWritterMgr> writerMgr_;
    std::unique_ptr<TAVMetadataReaderMgr> readerMgr_;
    QString srcPath_;
    FileServices::Identity srcIdentity_;
    bool workingCopyStale_ = false;
    // The error of the last file operation of a save that failed (the save's worker only).
    QString fileError_;
    mutable std::mutex saveFailureMutex_;
    // Held while a save reads and rewrites the record, on the loop's worker:
    // the list's mark looks into the record only when it gets it at once.
    mutable std::recursive_mutex recordInSave_;
    QString saveFailure_;
    bool shiftFoundNoDate_ = false;
    bool keptXmpOnClear_ = false;
    // The time shift a save applied when the user had edited no date, with
    // the date and time texts it gave the record: until a save puts it in
    // the user's file, the writer moves each date the file holds by it,
    // and the texts it gave are no date the user typed.
    struct PendingShift {
        TAVTimeOffsetInfo shift;
        QString date;
        QString time;
    };
    std::optional<PendingShift> pendingShift_;
    TAVImageObjectProtocol* delegate_ = nullptr;
    QString renamedPath_;
    QDateTime fileOrignalCreateDate_;
    QDateTime fileOrignalModifiedDate_;
};
