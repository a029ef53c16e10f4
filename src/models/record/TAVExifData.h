#pragma once

#include "foundation/KeyedCodable.h"
#include "models/record/TAVEntity.h"
#include "models/record/TAVRecordOwner.h"
#include "models/values/TAVTimeOffsetInfo.h"

#include <QList>
#include <QMap>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

class TAVExifData;

using TAVExifDataPtr = std::shared_ptr<TAVExifData>;
// Metadata key -> entity of one category; ordered so that walks are deterministic.
using TAVEntityMap = QMap<QString, TAVEntityPtr>;
// Category key ("summaryDic", "exposureDic", "geoDic", "other") -> its entities.
using TAVCategoryMaps = QMap<QString, TAVEntityMap>;
using TAVEntityList = QList<TAVEntityPtr>;
// The metadata record of one image, of the common values of several images, of
// the default setting or of one preset. It keeps the values as read and the
// values the user set, both grouped by category, plus the flat row list as read.
//
// Sharing is part of the behaviour: maps hold shared entities, and the read
// entities of a record are shared with its copies (resetEnityModifyFlag changes
// them for every record that shares them). Copy only through copy().
class TAVExifData : public KeyedCodable {
public:
    enum ModifyState : int32_t {
        StateNone = 0,
        StateUnchanged = 1,
        StateModified = 2,
        StateSaved = 3,
        StateSaveFailed = 4,
        StateShown = 5,
    };

    enum Category : int32_t { CategorySummary = 0, CategoryExposure = 1, CategoryGps = 2, CategoryOther = 3 };

    enum ClearKind : int32_t { ClearAll = 0, ClearExif = 1, ClearGps = 2, ClearIptc = 3 };

    // Family codes derived from a key's prefix (getKeyType).
    enum KeyFamily : int32_t { FamilyNone = 0, FamilyIptc = 1, FamilyExif = 2, FamilyXmp = 3 };

    TAVExifData();
    TAVExifData(const TAVExifData&) = delete;
    TAVExifData& operator=(const TAVExifData&) = delete;

    static TAVExifDataPtr create() { return std::make_shared<TAVExifData>(); }

    // A new record: copies of path, name, rows and time shift; the read
    // entities shared with this record; new copies of the user-set entities.
    TAVExifDataPtr copy() const;

    // "summaryDic", "exposureDic", "geoDic", "other"; null for any other number.
    static QString getKeyStrForType(int32_t category);
    // 2 "Exif...", else 3 "Xmp...", else 1 "Iptc...", else 0 (case-sensitive).
    static int32_t getKeyType(const QString& key);
    // 0 summary list, else 1 exposure list, else 2 GPS list, else 3.
    static int32_t getLocalShowKeyType(const QString& key);
    // "Unknown" for the nine exposure keys shown with a label table, else "".
    static QString getClearValue(const QString& key);

    // Reading; every getter finds nothing for an empty key or unknown category.
    QString getValueForKey(const QString& key, int32_t category) const;
    QString getValueFromOriginalDataForKey(const QString& key, int32_t category) const;
    QString getToolTipsForKey(const QString& key, int32_t category) const;
    bool isModifiedForKey(const QString& key, int32_t category) const;
    bool isGPSModified() const;
    // Whether any user-set entry (no group row) is modified or cleared. A
    // category's copies, when not made yet, are not made for it: they would
    // be fresh copies of what was read, none edited, and a walk over every
    // photo would keep them all.
    bool hasEditedEntries() const;
    // Whether a save has anything to write for this record: a state that
    // says so (modified, or its last save failed), a clear of everything, a
    // time shift that moves the dates, or an edited entry (an apply from a
    // record without a shift leaves the state unchanged over edited
    // entries). Makes none of the copies still owed.
    bool hasUnsavedWork() const;
    bool isGpsClear() const;

    // The user-set / read entity itself, or null.
    TAVEntityPtr userSetEntity(const QString& key, int32_t category) const;
    TAVEntityPtr originalEntity(const QString& key, int32_t category) const;
    // The user-set entities of the category that are modified, in key order:
    // what a save writes. Asking does not make the category's user-set
    // copies: until they are made, none can be modified.
    TAVEntityList modifiedUserSetEntities(int32_t category) const;

    // Filling.
    // Keeps `map` as the read values and copies of its entries as the user-set
    // values; an absent map (nullopt) removes the read category and leaves an
    // empty user-set one. The copies are made when first needed: those of a
    // category when one of its entries is to be set (an edit, a setting
    // applied), every category's when the user-set maps themselves are
    // reached (a tab listing them, a copy of the record). The lookups (the
    // getters, the modified entries, the questions about edits), a restore
    // and a read of the rows answer from the values read meanwhile: a window
    // of thousands of photos keeps one entity per value read, not two.
    void initImageExifData(const std::optional<TAVEntityMap>& map, int32_t category);
    // The "other" category from the rows: every row with a key that is not
    // on the summary, exposure or GPS lists (a key of two rows keeps the
    // later one), its read entries being the rows themselves. Built, with its
    // user-set copies, when first reached as initImageExifData describes.
    void initOtherFromRows();
    // Stores the map uncopied (its entities shared) as the user-set values.
    void setImageExifData(const TAVEntityMap& map, int32_t category);
    void removeExifTag(const QString& key);

    // Editing.
    bool setValue(const QString& value, const QString& key, int32_t category, bool isForceUseModifiedState,
        bool modified, bool isOverWrite);
    void clear(int32_t kind);
    void clearGPS();
    // Back to what was read: the values, the modified state and the time shift.
    void restore();
    void removeModifyFlag();
    void resetEnityModifyFlag(int32_t category);
    void applyChangeValueFromExifData(const TAVExifData& source);
    void applyToNewExifDataSetting(const TAVExifData& source);
    void applyToNewExifDataSettingWithModifyFields(const TAVExifData& source);

    // Keyed coding; the image path and the image object are not archived.
    static constexpr const char* kClassName = "TAVExifData";
    // Lets archives name this class, its entities and its time shift; safe to
    // call any number of times.
    static void registerKeyedClass();
    QString className() const override { return QString::fromLatin1(kClassName); }
    void encode(KeyedArchiver& archiver) const override;
    void decode(KeyedUnarchiver& unarchiver) override;

    // Fields.
    const QString& strName() const { return strName_; }
    void setStrName(const QString& name) { strName_ = name; }

    const QString& strImagePath() const { return strImagePath_; }
    void setStrImagePath(const QString& path) { strImagePath_ = path; }

    const TAVCategoryMaps& mdicExifDataInfo() const;
    void setMdicExifDataInfo(const TAVCategoryMaps& maps);

    const TAVCategoryMaps& mdicUserSetExifDataInfo() const;
    void setMdicUserSetExifDataInfo(const TAVCategoryMaps& maps);

    // The rows as read. Reading them makes nothing: a tool that walks every
    // photo's rows (an export, a search) leaves the records as they were,
    // the other tags' map and copies still owed.
    const TAVEntityList& maryOrgExifData() const;
    // Stores copies of the given rows.
    void setMaryOrgExifData(const TAVEntityList& rows);
    // The row list itself, for the image object that builds it.
    TAVEntityList& mutableOrgExifData();

    const std::optional<TAVTimeOffsetInfo>& createdDateTimeOffset() const { return createdDateTimeOffset_; }
    void setCreatedDateTimeOffset(const std::optional<TAVTimeOffsetInfo>& offset) { createdDateTimeOffset_ = offset; }
    // Whether an apply of this record gives each photo this record's time
    // shift, none included. Off for the shown record of several photos that
    // do not share a shift: it shows none, and each photo keeps its own until
    // the user sets the shift in that form.
    bool handsOutTimeShift() const { return handsOutTimeShift_; }
    void setHandsOutTimeShift(bool handsOut) { handsOutTimeShift_ = handsOut; }

    bool isClearAll() const { return isClearAll_; }
    void setIsClearAll(bool isClearAll) { isClearAll_ = isClearAll; }
    // Whether the next save takes the whole EXIF of the file (Clear > EXIF),
    // not only the keys the record lists; edits made after the clear are
    // written over it. Stays through those edits, goes with a restore or
    // once a save has done it.
    bool isClearExif() const { return isClearExif_; }
    void setIsClearExif(bool isClearExif) { isClearExif_ = isClearExif; }
    // Whether the next save takes the whole GPS (Clear > GPS) or IPTC
    // (Clear > IPTC) family, also what the file keeps of it apart from the
    // keys the record lists (a PNG's text copies of the GPS tags, its IPTC
    // among Photoshop resources). Carried to the photos an edit of the shown
    // record reaches; ends as the Clear > EXIF flag does.
    bool isClearGps() const { return isClearGps_; }
    void setIsClearGps(bool isClearGps) { isClearGps_ = isClearGps; }
    bool isClearIptc() const { return isClearIptc_; }
    void setIsClearIptc(bool isClearIptc) { isClearIptc_ = isClearIptc; }

    // The image the record belongs to (not owned); null once it is gone.
    TAVRecordOwner* accessImgObj() const { return accessImgObj_ ? *accessImgObj_ : nullptr; }
    const TAVRecordOwnerRef& accessImgObjRef() const { return accessImgObj_; }
    void setAccessImgObj(const TAVRecordOwnerRef& imageObject) { accessImgObj_ = imageObject; }

    int32_t enuModifyState() const { return enuModifyState_; }
    void setEnuModifyState(int32_t state) { enuModifyState_ = state; }

    bool isDefault() const { return isDefault_; }
    void setIsDefault(bool isDefault) { isDefault_ = isDefault; }

    bool isApplyToFileCreatedDateTime() const { return isApplyToFileCreatedDateTime_; }
    void setIsApplyToFileCreatedDateTime(bool apply) { isApplyToFileCreatedDateTime_ = apply; }

private:
    // Takes the source's apply-to-file-date flag and, when it hands its
    // shift out, its time shift; the state becomes "modified" when the shift
    // kept moves anything, else "unchanged".
    void takeTimeShiftFrom(const TAVExifData& source);
    // Gives every entry whose value differs from the source's entry of the
    // same category and key the source's value (only the source's changed or
    // cleared entries when `onlyChanged`); an empty value of the source, or
    // one of nothing but white space, removes the entry's tag. The place goes
    // by applySettingPosition.
    void applySettingEntries(const TAVExifData& source, bool onlyChanged);
    // The source's latitude, longitude and their hemispheres as one: set
    // together when it holds both coordinates, removed together when it
    // holds neither, and left as they are for half a place.
    void applySettingPosition(const TAVExifData& source, bool onlyChanged);
    static bool isSettingEdit(const TAVEntity& setting);
    // Marks the entry's tag removed, where it holds a value.
    void removeBySetting(TAVEntity& target);
    void setBySetting(TAVEntity& target, const QString& value, bool isClear);
    // Whether the category's user-set copies are still to be made.
    bool copiesOwed(int32_t category) const;
    // Makes the category's copies when still owed.
    void takeCopiesOf(int32_t category) const;
    // Makes every category's copies still owed.
    void takeOwedCopies() const;
    // The bit of a summary, exposure or GPS category in shownOwed_; 0 for any other.
    static int shownCategoryBit(int32_t category);
    // Makes what is still owed of the "other" category: its read map (from
    // the rows) and its user-set copies. Safe from any thread: the rows and
    // read entries cannot have changed before, as every way to change them
    // makes them first (the rows read through maryOrgExifData are only read).
    void takeOtherCopies() const;
    // The entry a getter reads; never to be changed.
    TAVEntityPtr shownEntity(const QString& key, int32_t category) const;

    enum OtherOwed : int { OwesNothing = 0, OwesCopies = 1, OwesMapAndCopies = 2 };

    QString strName_;
    QString strImagePath_;
    // Mutable only for takeOtherCopies.
    mutable TAVCategoryMaps mdicExifDataInfo_;
    mutable TAVCategoryMaps mdicUserSetExifDataInfo_;
    mutable std::atomic<int> otherOwed_{OwesNothing};
    // One bit per summary, exposure and GPS category whose copies are owed.
    mutable std::atomic<int> shownOwed_{0};
    TAVEntityList maryOrgExifData_;
    std::optional<TAVTimeOffsetInfo> createdDateTimeOffset_;
    bool handsOutTimeShift_ = true;
    bool isClearAll_ = false;
    bool isClearExif_ = false;
    bool isClearGps_ = false;
    bool isClearIptc_ = false;
    TAVRecordOwnerRef accessImgObj_;
    int32_t enuModifyState_ = StateNone;
    bool isDefault_ = false;
    bool isApplyToFileCreatedDateTime_ = false;
};
