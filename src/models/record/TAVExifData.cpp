#include "models/record/TAVExifData.h"

#include "foundation/KeyedArchive.h"
#include "models/tables/TAVKeyLists.h"

#include <QStringList>

#include <algorithm>

#include <mutex>

namespace {

bool isCreationDateKey(const QString& key)
{
    return key == TAVKeyLists::createDateKey() || key == TAVKeyLists::createTimeKey();
}

// Equal only when both texts are present and the same: an absent text differs
// from every text, the empty one included.
bool sameText(const QString& a, const QString& b)
{
    return !a.isNull() && !b.isNull() && a == b;
}

// A place: latitude and longitude, each followed by its hemisphere.
const QStringList& positionKeys()
{
    static const QStringList keys{QStringLiteral("Exif.GPSInfo.GPSLatitude"),
        QStringLiteral("Exif.GPSInfo.GPSLatitudeRef"), QStringLiteral("Exif.GPSInfo.GPSLongitude"),
        QStringLiteral("Exif.GPSInfo.GPSLongitudeRef")};
    return keys;
}

TAVEntityMap copiedEntries(const TAVEntityMap& map)
{
    TAVEntityMap copies;
    // In key order, each at the end: no search per entry.
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        copies.insert(copies.cend(), it.key(), it.value() ? it.value()->copy() : TAVEntityPtr());
    return copies;
}

TAVEntityPtr findEntity(const TAVCategoryMaps& maps, const QString& key, int32_t category)
{
    if (key.isEmpty())
        return nullptr;
    const QString categoryKey = TAVExifData::getKeyStrForType(category);
    if (categoryKey.isNull())
        return nullptr;
    const auto categoryIt = maps.constFind(categoryKey);
    if (categoryIt == maps.cend())
        return nullptr;
    return categoryIt->value(key);
}

// Serialises the making of owed copies; lookups on other threads read the
// read maps meanwhile, or the copies once made.
std::mutex& copiesMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

TAVExifData::TAVExifData() = default;

void TAVExifData::takeOtherCopies() const
{
    if (otherOwed_.load(std::memory_order_acquire) == OwesNothing)
        return;
    const std::lock_guard<std::mutex> lock(copiesMutex());
    const int owed = otherOwed_.load(std::memory_order_relaxed);
    if (owed == OwesNothing)
        return;
    const QString categoryKey = getKeyStrForType(CategoryOther);
    // The category's places exist already, so other threads looking up
    // other categories meanwhile see the same map structure.
    if (owed == OwesMapAndCopies) {
        TAVEntityMap& read = mdicExifDataInfo_[categoryKey];
        for (const auto& row : maryOrgExifData_) {
            if (row && !row->key().isEmpty() && !TAVKeyLists::isShownKey(row->key()))
                read.insert(row->key(), row);
        }
    }
    mdicUserSetExifDataInfo_[categoryKey] = copiedEntries(mdicExifDataInfo_.value(categoryKey));
    otherOwed_.store(OwesNothing, std::memory_order_release);
}

int TAVExifData::shownCategoryBit(int32_t category)
{
    return category >= CategorySummary && category <= CategoryGps ? 1 << category : 0;
}

bool TAVExifData::copiesOwed(int32_t category) const
{
    if (category == CategoryOther)
        return otherOwed_.load(std::memory_order_acquire) != OwesNothing;
    return (shownOwed_.load(std::memory_order_acquire) & shownCategoryBit(category)) != 0;
}

void TAVExifData::takeCopiesOf(int32_t category) const
{
    if (category == CategoryOther) {
        takeOtherCopies();
        return;
    }
    const int bit = shownCategoryBit(category);
    if ((shownOwed_.load(std::memory_order_acquire) & bit) == 0)
        return;
    const std::lock_guard<std::mutex> lock(copiesMutex());
    if ((shownOwed_.load(std::memory_order_relaxed) & bit) == 0)
        return;
    const QString categoryKey = getKeyStrForType(category);
    // The category's place exists already (see initImageExifData).
    mdicUserSetExifDataInfo_[categoryKey] = copiedEntries(mdicExifDataInfo_.value(categoryKey));
    shownOwed_.fetch_and(~bit, std::memory_order_release);
}

void TAVExifData::takeOwedCopies() const
{
    for (int32_t category = CategorySummary; category <= CategoryOther; ++category)
        takeCopiesOf(category);
}

const TAVCategoryMaps& TAVExifData::mdicExifDataInfo() const
{
    takeOtherCopies();
    return mdicExifDataInfo_;
}

void TAVExifData::setMdicExifDataInfo(const TAVCategoryMaps& maps)
{
    takeOwedCopies();
    mdicExifDataInfo_ = maps;
}

const TAVCategoryMaps& TAVExifData::mdicUserSetExifDataInfo() const
{
    takeOwedCopies();
    return mdicUserSetExifDataInfo_;
}

void TAVExifData::setMdicUserSetExifDataInfo(const TAVCategoryMaps& maps)
{
    // The read map the copies would come from is made all the same.
    takeOwedCopies();
    mdicUserSetExifDataInfo_ = maps;
}

bool TAVExifData::hasEditedEntries() const
{
    const QString otherKey = getKeyStrForType(CategoryOther);
    const bool otherOwed = otherOwed_.load(std::memory_order_acquire) != OwesNothing;
    for (auto category = mdicUserSetExifDataInfo_.cbegin(); category != mdicUserSetExifDataInfo_.cend(); ++category) {
        if (otherOwed && category.key() == otherKey)
            continue;
        for (const TAVEntityPtr& entity : category.value()) {
            if (entity && !entity->isGroup() && (entity->isModified() || entity->isClear()))
                return true;
        }
    }
    return false;
}

bool TAVExifData::hasUnsavedWork() const
{
    if (enuModifyState_ == StateModified || enuModifyState_ == StateSaveFailed || isClearAll_)
        return true;
    if (createdDateTimeOffset_ && createdDateTimeOffset_->isTimeOffsetVaild())
        return true;
    return hasEditedEntries();
}

const TAVEntityList& TAVExifData::maryOrgExifData() const
{
    return maryOrgExifData_;
}

TAVEntityList& TAVExifData::mutableOrgExifData()
{
    takeOtherCopies();
    return maryOrgExifData_;
}

TAVExifDataPtr TAVExifData::copy() const
{
    takeOwedCopies();
    auto record = create();
    record->strImagePath_ = strImagePath_;
    record->strName_ = strName_;
    record->setMaryOrgExifData(maryOrgExifData_);
    // The read entries stay shared with this record; the user-set ones are new.
    record->mdicExifDataInfo_ = mdicExifDataInfo_;
    for (auto it = mdicUserSetExifDataInfo_.cbegin(); it != mdicUserSetExifDataInfo_.cend(); ++it)
        record->mdicUserSetExifDataInfo_.insert(it.key(), copiedEntries(it.value()));
    record->isDefault_ = isDefault_;
    record->isClearAll_ = isClearAll_;
    record->isClearExif_ = isClearExif_;
    record->isClearGps_ = isClearGps_;
    record->isClearIptc_ = isClearIptc_;
    record->accessImgObj_ = accessImgObj_;
    record->enuModifyState_ = enuModifyState_;
    record->isApplyToFileCreatedDateTime_ = isApplyToFileCreatedDateTime_;
    record->createdDateTimeOffset_ = createdDateTimeOffset_;
    record->handsOutTimeShift_ = handsOutTimeShift_;
    return record;
}

QString TAVExifData::getKeyStrForType(int32_t category)
{
    switch (category) {
    case CategorySummary:
        return QStringLiteral("summaryDic");
    case CategoryExposure:
        return QStringLiteral("exposureDic");
    case CategoryGps:
        return QStringLiteral("geoDic");
    case CategoryOther:
        return QStringLiteral("other");
    default:
        return QString();
    }
}

int32_t TAVExifData::getKeyType(const QString& key)
{
    if (key.startsWith(QLatin1String("Exif")))
        return FamilyExif;
    if (key.startsWith(QLatin1String("Xmp")))
        return FamilyXmp;
    if (key.startsWith(QLatin1String("Iptc")))
        return FamilyIptc;
    return FamilyNone;
}

int32_t TAVExifData::getLocalShowKeyType(const QString& key)
{
    return TAVKeyLists::categoryOfKey(key);
}

QString TAVExifData::getClearValue(const QString& key)
{
    // The exposure keys whose tabs show a label table clear to its row 0.
    static const QStringList unknownKeys = {
        QStringLiteral("Exif.Photo.Flash"),
        QStringLiteral("Exif.Photo.ExposureProgram"),
        QStringLiteral("Exif.Photo.MeteringMode"),
        QStringLiteral("Exif.Photo.SubjectDistanceRange"),
        QStringLiteral("Exif.Photo.SensingMethod"),
        QStringLiteral("Exif.Photo.WhiteBalance"),
        QStringLiteral("Exif.Photo.Contrast"),
        QStringLiteral("Exif.Photo.Saturation"),
        QStringLiteral("Exif.Photo.Sharpness"),
    };
    return unknownKeys.contains(key) ? QStringLiteral("Unknown") : QStringLiteral("");
}

TAVEntityPtr TAVExifData::userSetEntity(const QString& key, int32_t category) const
{
    takeCopiesOf(category);
    return findEntity(mdicUserSetExifDataInfo_, key, category);
}

TAVEntityList TAVExifData::modifiedUserSetEntities(int32_t category) const
{
    TAVEntityList modified;
    if (copiesOwed(category))
        return modified;
    const auto found = mdicUserSetExifDataInfo_.constFind(getKeyStrForType(category));
    if (found == mdicUserSetExifDataInfo_.cend())
        return modified;
    for (const auto& entity : *found) {
        if (entity && entity->isModified())
            modified.append(entity);
    }
    return modified;
}

TAVEntityPtr TAVExifData::originalEntity(const QString& key, int32_t category) const
{
    if (category == CategoryOther)
        takeOtherCopies();
    return findEntity(mdicExifDataInfo_, key, category);
}

TAVEntityPtr TAVExifData::shownEntity(const QString& key, int32_t category) const
{
    // Until the other tags' copies are made none of them can have been
    // edited: the file's own entry answers a look, instead of every other tag
    // of the photo being copied for it (and kept) as a tab shows the photo.
    if (category == CategoryOther && !key.isEmpty()) {
        const int owed = otherOwed_.load(std::memory_order_acquire);
        if (owed == OwesCopies)
            return findEntity(mdicExifDataInfo_, key, category);
        if (owed == OwesMapAndCopies) {
            if (TAVKeyLists::isShownKey(key))
                return nullptr;
            // The map would keep the last row of a key.
            for (auto row = maryOrgExifData_.crbegin(); row != maryOrgExifData_.crend(); ++row) {
                if (*row && (*row)->key() == key)
                    return *row;
            }
            return nullptr;
        }
    }
    // So are the summary, exposure and GPS values until one is edited: the
    // values read answer for the copies they would be.
    if (category != CategoryOther && copiesOwed(category))
        return findEntity(mdicExifDataInfo_, key, category);
    return userSetEntity(key, category);
}

QString TAVExifData::getValueForKey(const QString& key, int32_t category) const
{
    const auto entity = shownEntity(key, category);
    return entity ? entity->value() : QString();
}

QString TAVExifData::getValueFromOriginalDataForKey(const QString& key, int32_t category) const
{
    const auto entity = originalEntity(key, category);
    return entity ? entity->value() : QString();
}

QString TAVExifData::getToolTipsForKey(const QString& key, int32_t category) const
{
    const auto entity = shownEntity(key, category);
    return entity ? entity->dispKey() : QString();
}

bool TAVExifData::isModifiedForKey(const QString& key, int32_t category) const
{
    const auto entity = shownEntity(key, category);
    return entity && entity->isModified();
}

bool TAVExifData::isGPSModified() const
{
    const TAVEntityMap gps = mdicUserSetExifDataInfo_.value(getKeyStrForType(CategoryGps));
    for (const auto& entity : gps) {
        if (entity && !TAVKeyLists::isDisplayOnlyKey(entity->key()) && entity->isModified())
            return true;
    }
    return false;
}

bool TAVExifData::isGpsClear() const
{
    const TAVEntityMap gps = mdicUserSetExifDataInfo_.value(getKeyStrForType(CategoryGps));
    for (const auto& entity : gps) {
        if (entity && !TAVKeyLists::isDisplayOnlyKey(entity->key()) && entity->isClear())
            return true;
    }
    return false;
}

void TAVExifData::initImageExifData(const std::optional<TAVEntityMap>& map, int32_t category)
{
    const QString categoryKey = getKeyStrForType(category);
    if (categoryKey.isNull())
        return;
    if (category == CategoryOther)
        otherOwed_ = OwesNothing;
    shownOwed_.fetch_and(~shownCategoryBit(category));
    mdicUserSetExifDataInfo_.insert(categoryKey, TAVEntityMap());
    if (!map) {
        mdicExifDataInfo_.remove(categoryKey);
        return;
    }
    mdicExifDataInfo_.insert(categoryKey, *map);
    if (map->isEmpty())
        return;
    if (category == CategoryOther)
        otherOwed_ = OwesCopies;
    else
        shownOwed_.fetch_or(shownCategoryBit(category));
}

void TAVExifData::initOtherFromRows()
{
    const QString categoryKey = getKeyStrForType(CategoryOther);
    mdicExifDataInfo_.insert(categoryKey, TAVEntityMap());
    mdicUserSetExifDataInfo_.insert(categoryKey, TAVEntityMap());
    otherOwed_ = OwesMapAndCopies;
}

void TAVExifData::setImageExifData(const TAVEntityMap& map, int32_t category)
{
    const QString categoryKey = getKeyStrForType(category);
    if (categoryKey.isNull())
        return;
    takeCopiesOf(category); // the read map still owed is made
    mdicUserSetExifDataInfo_.insert(categoryKey, map);
}

void TAVExifData::setMaryOrgExifData(const TAVEntityList& rows)
{
    takeOtherCopies();
    TAVEntityList copies;
    copies.reserve(rows.size());
    for (const auto& row : rows)
        copies.append(row ? row->copy() : TAVEntityPtr());
    maryOrgExifData_ = copies;
}

void TAVExifData::removeExifTag(const QString& key)
{
    // Each category map is replaced by one without the key, so maps that other
    // holders share are not changed under them.
    takeOwedCopies();
    for (auto it = mdicUserSetExifDataInfo_.begin(); it != mdicUserSetExifDataInfo_.end(); ++it) {
        TAVEntityMap without = it.value();
        without.remove(key);
        it.value() = without;
    }
}

bool TAVExifData::setValue(const QString& value, const QString& key, int32_t category, bool isForceUseModifiedState,
    bool modified, bool isOverWrite)
{
    if (key.isEmpty())
        return false;
    const auto entity = userSetEntity(key, category);
    if (entity) {
        entity->setIsOverwrite(isOverWrite);
        // An entry without a value is left as it is, as the readers never make one.
        if (!entity->value().isNull() && !sameText(entity->value(), value)) {
            entity->setValue(value.isNull() ? QStringLiteral("") : value);
            entity->setIsModified(true);
            entity->setIsClear(false);
            // The user's text, no longer a reading.
            entity->setIsReadOnAGuess(false);
            enuModifyState_ = StateModified;
        }
        if (isForceUseModifiedState)
            entity->setIsModified(modified);
    }
    isClearAll_ = false;
    if (TAVRecordOwner* image = accessImgObj())
        image->notiRefreshUIWhenModified();
    return entity && entity->isModified();
}

void TAVExifData::clear(int32_t kind)
{
    takeOwedCopies();
    for (auto it = mdicUserSetExifDataInfo_.cbegin(); it != mdicUserSetExifDataInfo_.cend(); ++it) {
        for (const auto& entity : it.value()) {
            if (!entity || TAVKeyLists::isDisplayOnlyKey(entity->key()))
                continue;
            const QString& key = entity->key();
            bool chosen = true;
            // A family's twins in XMP go with it.
            if (kind == ClearExif)
                chosen = (getKeyType(key) == FamilyExif && !TAVKeyLists::isOtherFamilyBlockKey(key))
                    || key == TAVKeyLists::createTimeKey() || TAVKeyLists::isExifTwinInXmp(key);
            else if (kind == ClearGps)
                chosen = TAVKeyLists::isLocationKey(key);
            else if (kind == ClearIptc)
                chosen = getKeyType(key) == FamilyIptc || TAVKeyLists::isIptcTwinInXmp(key);
            if (!chosen)
                continue;
            entity->setValue(getClearValue(key));
            entity->setIsModified(true);
            entity->setIsClear(true);
        }
    }
    enuModifyState_ = StateModified;
    // Only "clear all" erases the whole file on save; kinds above 3 clear every
    // entry but keep the file's other tags.
    if (kind == ClearAll)
        isClearAll_ = true;
    if (kind == ClearExif)
        isClearExif_ = true;
    isClearGps_ = isClearGps_ || kind == ClearGps;
    isClearIptc_ = isClearIptc_ || kind == ClearIptc;
}

void TAVExifData::clearGPS()
{
    // The GPS tab's Clear removes the place as the Clear menu's GPS item
    // does: every GPS tag of EXIF and XMP, not only the ones the tab shows.
    clear(ClearGps);
}

void TAVExifData::restore()
{
    // Copies still owed are what was read, unedited: nothing to restore, and
    // nothing to make for a restore of every photo.
    for (auto it = mdicUserSetExifDataInfo_.cbegin(); it != mdicUserSetExifDataInfo_.cend(); ++it) {
        const TAVEntityMap read = mdicExifDataInfo_.value(it.key());
        for (auto entry = it.value().cbegin(); entry != it.value().cend(); ++entry) {
            // An entry the read values lack (stored uncopied by a tab) keeps its value.
            const TAVEntityPtr original = read.value(entry.key());
            if (entry.value() && original)
                entry.value()->copyValueFromEntity(*original);
        }
    }
    enuModifyState_ = StateUnchanged;
    strName_ = QString();
    isClearAll_ = false;
    isClearExif_ = false;
    isClearGps_ = false;
    isClearIptc_ = false;
    // A shift armed and not yet saved is an edit too: left in place, the
    // next save would move the dates of a photo shown as unchanged.
    createdDateTimeOffset_.reset();
}

void TAVExifData::removeModifyFlag()
{
    // Copies still owed carry no flags.
    for (const auto& map : mdicUserSetExifDataInfo_) {
        for (const auto& entity : map) {
            if (!entity)
                continue;
            entity->setIsModified(false);
            entity->setIsClear(false);
        }
    }
    enuModifyState_ = StateUnchanged;
    isClearAll_ = false;
    isClearExif_ = false;
    isClearGps_ = false;
    isClearIptc_ = false;
}

void TAVExifData::resetEnityModifyFlag(int32_t category)
{
    const QString categoryKey = getKeyStrForType(category);
    // A category whose copies are still owed holds no edit to settle.
    if (categoryKey.isNull() || copiesOwed(category))
        return;
    const TAVEntityMap userSet = mdicUserSetExifDataInfo_.value(categoryKey);
    const TAVEntityMap read = mdicExifDataInfo_.value(categoryKey);
    // The read entries take the saved values in place: records sharing them
    // (copies of this one) see the saved values too.
    const auto settle = [&](const TAVEntityPtr& entity) {
        entity->setIsModified(false);
        if (const TAVEntityPtr original = read.value(entity->key()))
            original->setValue(entity->value());
    };
    for (const auto& entity : userSet) {
        if (!entity || !entity->isModified())
            continue;
        if (!isCreationDateKey(entity->key())) {
            settle(entity);
            continue;
        }
        // Date and time are written together as one tag, so both settle.
        for (const QString& dateKey : {TAVKeyLists::createDateKey(), TAVKeyLists::createTimeKey()}) {
            if (const TAVEntityPtr twin = userSet.value(dateKey))
                settle(twin);
        }
    }
}

void TAVExifData::takeTimeShiftFrom(const TAVExifData& source)
{
    isApplyToFileCreatedDateTime_ = source.isApplyToFileCreatedDateTime_;
    if (source.handsOutTimeShift_)
        createdDateTimeOffset_ = source.createdDateTimeOffset_;
    const bool shifts = createdDateTimeOffset_ && createdDateTimeOffset_->isTimeOffsetVaild();
    enuModifyState_ = shifts ? StateModified : StateUnchanged;
}

void TAVExifData::applySettingEntries(const TAVExifData& source, bool onlyChanged)
{
    takeOwedCopies();
    source.takeOwedCopies();
    for (auto it = mdicUserSetExifDataInfo_.cbegin(); it != mdicUserSetExifDataInfo_.cend(); ++it) {
        const TAVEntityMap from = source.mdicUserSetExifDataInfo_.value(it.key());
        for (auto entry = it.value().cbegin(); entry != it.value().cend(); ++entry) {
            const TAVEntityPtr& target = entry.value();
            if (!target || TAVKeyLists::isDisplayOnlyKey(entry.key()) || positionKeys().contains(entry.key()))
                continue;
            const TAVEntityPtr setting = from.value(entry.key());
            if (!setting || (onlyChanged && !isSettingEdit(*setting)))
                continue;
            // A row of nothing but white space is an empty one, also in
            // presets stored before they were kept empty: written as a text,
            // a blank description would empty the caption's other copies.
            if (setting->value().trimmed().isEmpty())
                removeBySetting(*target);
            else
                setBySetting(*target, setting->value(), setting->isClear());
        }
    }
    applySettingPosition(source, onlyChanged);
}

void TAVExifData::applySettingPosition(const TAVExifData& source, bool onlyChanged)
{
    const TAVEntityMap from = source.mdicUserSetExifDataInfo_.value(getKeyStrForType(CategoryGps));
    const TAVEntityMap target = mdicUserSetExifDataInfo_.value(getKeyStrForType(CategoryGps));
    // Hemispheres alone are no place to set or remove.
    if (!from.value(positionKeys().at(0)) && !from.value(positionKeys().at(2)))
        return;
    if (onlyChanged && std::none_of(positionKeys().cbegin(), positionKeys().cend(), [&from](const QString& key) {
            const TAVEntityPtr setting = from.value(key);
            return setting && isSettingEdit(*setting);
        }))
        return;
    const auto valueOf = [&from](const QString& key) {
        const TAVEntityPtr setting = from.value(key);
        return setting && !setting->isClear() && !setting->value().trimmed().isEmpty() ? setting->value() : QString();
    };
    const QString latitude = valueOf(positionKeys().at(0));
    const QString longitude = valueOf(positionKeys().at(2));
    if (latitude.isEmpty() != longitude.isEmpty())
        // Half a place would put the photo somewhere nobody was: the
        // photo keeps its own.
        return;
    for (qsizetype index = 0; index < positionKeys().size(); ++index) {
        const TAVEntityPtr entity = target.value(positionKeys().at(index));
        if (!entity)
            continue;
        if (latitude.isEmpty()) {
            removeBySetting(*entity);
            continue;
        }
        // A hemisphere the setting lacks is the one a coordinate without
        // one is taken in.
        const QString value = valueOf(positionKeys().at(index));
        setBySetting(*entity, !value.isEmpty() ? value : index == 1 ? QStringLiteral("N") : QStringLiteral("E"), false);
    }
}

bool TAVExifData::isSettingEdit(const TAVEntity& setting)
{
    return setting.isModified() || setting.isClear();
}

void TAVExifData::removeBySetting(TAVEntity& target)
{
    // Nothing to remove where the image holds no value: no tag is written
    // empty.
    const QString cleared = getClearValue(target.key());
    if (target.value().isEmpty() || sameText(target.value(), cleared))
        return;
    target.setValue(cleared);
    target.setIsModified(true);
    target.setIsClear(true);
    enuModifyState_ = StateModified;
}

void TAVExifData::setBySetting(TAVEntity& target, const QString& value, bool isClear)
{
    if (sameText(target.value(), value))
        return;
    target.setValue(value);
    target.setIsModified(true);
    target.setIsClear(isClear);
    enuModifyState_ = StateModified;
}

void TAVExifData::applyChangeValueFromExifData(const TAVExifData& source)
{
    takeTimeShiftFrom(source);
    // A category's copies of every photo an edit reaches are made only when
    // the edit holds one of its entries: a title typed for 5,000 photos
    // would otherwise copy all their other tags, once, and keep them.
    for (int32_t category = CategorySummary; category <= CategoryOther; ++category) {
        if (!source.modifiedUserSetEntities(category).isEmpty())
            takeCopiesOf(category);
    }

    for (auto it = source.mdicUserSetExifDataInfo_.cbegin(); it != source.mdicUserSetExifDataInfo_.cend(); ++it) {
        const TAVEntityMap target = mdicUserSetExifDataInfo_.value(it.key());
        for (auto entry = target.cbegin(); entry != target.cend(); ++entry) {
            if (!entry.value() || TAVKeyLists::isDisplayOnlyKey(entry.key()))
                continue;
            const TAVEntityPtr from = it.value().value(entry.key());
            if (!from || !from->isModified())
                continue;
            entry.value()->copyValueFromEntity(*from);
            enuModifyState_ = StateModified;
        }
    }
    // The GPS tab clears the shown record of several photos.
    isClearGps_ = isClearGps_ || source.isClearGps_;
    isClearIptc_ = isClearIptc_ || source.isClearIptc_;
    isClearAll_ = false;
}

void TAVExifData::applyToNewExifDataSetting(const TAVExifData& source)
{
    takeTimeShiftFrom(source);
    applySettingEntries(source, false);
    isClearAll_ = false;
    strName_ = source.strName_;
}

void TAVExifData::applyToNewExifDataSettingWithModifyFields(const TAVExifData& source)
{
    takeTimeShiftFrom(source);
    applySettingEntries(source, true);
    isClearAll_ = false;
    strName_ = source.strName_;
}

void TAVExifData::registerKeyedClass()
{
    KeyedClassRegistry::registerClass<TAVExifData>(QString::fromLatin1(kClassName));
    TAVEntity::registerKeyedClass();
    TAVTimeOffsetInfo::registerKeyedClass();
}

void TAVExifData::encode(KeyedArchiver& archiver) const
{
    takeOwedCopies();
    archiver.encodeList(QStringLiteral("_maryOrgExifData"), maryOrgExifData_);
    archiver.encodeMap(QStringLiteral("_mdicExifDataInfo"), mdicExifDataInfo_);
    archiver.encodeMap(QStringLiteral("_mdicUserSetExifDataInfo"), mdicUserSetExifDataInfo_);
    archiver.encodeInt32(QStringLiteral("enuModifyState"), enuModifyState_);
    archiver.encodeBool(QStringLiteral("isDefault"), isDefault_);
    archiver.encodeString(QStringLiteral("name"), strName_);
    archiver.encodeBool(QStringLiteral("isApplyToFileCreatedDateTime"), isApplyToFileCreatedDateTime_);
    if (createdDateTimeOffset_)
        archiver.encodeObject(QStringLiteral("createdDateTimeOffset"), &*createdDateTimeOffset_);
    archiver.encodeBool(QStringLiteral("isClearAll"), isClearAll_);
}

void TAVExifData::decode(KeyedUnarchiver& unarchiver)
{
    setMaryOrgExifData(unarchiver.decodeList<TAVEntityList>(QStringLiteral("_maryOrgExifData")));
    setMdicExifDataInfo(unarchiver.decodeMap<TAVCategoryMaps>(QStringLiteral("_mdicExifDataInfo")));
    setMdicUserSetExifDataInfo(unarchiver.decodeMap<TAVCategoryMaps>(QStringLiteral("_mdicUserSetExifDataInfo")));
    enuModifyState_ = unarchiver.decodeInt32(QStringLiteral("enuModifyState"));
    isDefault_ = unarchiver.decodeBool(QStringLiteral("isDefault"));
    strName_ = unarchiver.decodeString(QStringLiteral("name"));
    isApplyToFileCreatedDateTime_ = unarchiver.decodeBool(QStringLiteral("isApplyToFileCreatedDateTime"));
    createdDateTimeOffset_.reset();
    if (const auto offset = unarchiver.decodeObject<TAVTimeOffsetInfo>(QStringLiteral("createdDateTimeOffset")))
        createdDateTimeOffset_ = *offset;
    isClearAll_ = unarchiver.decodeBool(QStringLiteral("isClearAll"));
}
