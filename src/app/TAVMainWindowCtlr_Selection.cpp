// The selection, the record the tabs show and how edits reach the images.
#include "app/TAVMainWindowCtlr.h"

#include "app/TAVDetailViewCtlr.h"
#include "app/TAVExposureViewCtlr.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/TAVBaseTabViewCltr.h"
#include "models/record/TAVEntity.h"
#include "models/tables/TAVCVSParaser.h"
#include "models/tables/TAVKeyLists.h"

#include <algorithm>

namespace {

// The photos after the one shown whose pictures are decoded ahead: a large
// camera photo's own picture takes a few steps of a held arrow key to decode
// (measured: with two ahead one step in ten still waited for its picture).
constexpr int kPreviewsDecodedAhead = 4;

const QStringList& commonSummaryKeys()
{
    static const QStringList keys{QStringLiteral("Exif.Image.Make"), QStringLiteral("Exif.Image.Model"),
        QStringLiteral("Exif.Image.Software"), QStringLiteral("Exif.Image.CreateDate"),
        QStringLiteral("Iptc.Application2.Keywords"), QStringLiteral("Exif.Photo.LensMake"),
        QStringLiteral("Iptc.Application2.Caption"), QStringLiteral("Iptc.Application2.ObjectName"),
        QStringLiteral("Exif.Photo.LensModel"), QStringLiteral("Summary.CreateTime"),
        QStringLiteral("Exif.Image.ImageDescription"), QStringLiteral("Exif.Image.Copyright"),
        QStringLiteral("Exif.Image.Artist")};
    return keys;
}

const QStringList& commonExposureKeys()
{
    static const QStringList keys{QStringLiteral("Exif.Photo.FocalLengthIn35mmFilm"),
        QStringLiteral("Exif.Photo.FNumber"), QStringLiteral("Exif.Photo.Contrast"),
        QStringLiteral("Exif.Photo.DigitalZoomRatio"), QStringLiteral("Exif.Photo.Flash"),
        QStringLiteral("Exif.Photo.FocalLength"), QStringLiteral("Exif.Photo.SubjectDistanceRange"),
        QStringLiteral("Exif.Photo.MeteringMode"), QStringLiteral("Exif.Photo.Saturation"),
        QStringLiteral("Exif.Photo.ISOSpeedRatings"), QStringLiteral("Exif.Photo.SensingMethod"),
        QStringLiteral("Exif.Photo.Sharpness"), QStringLiteral("Exif.Photo.ExposureProgram"),
        QStringLiteral("Exif.Photo.ExposureTime"), QStringLiteral("Exif.Photo.SubjectDistance"),
        QStringLiteral("Exif.Photo.WhiteBalance")};
    return keys;
}

const QStringList& commonGpsKeys()
{
    static const QStringList keys{QStringLiteral("Exif.GPSInfo.GPSLatitudeRef"),
        QStringLiteral("Exif.GPSInfo.GPSLatitude"), QStringLiteral("Exif.GPSInfo.GPSLongitudeRef"),
        QStringLiteral("Exif.GPSInfo.GPSLongitude")};
    return keys;
}

// The editable tags outside the three shown lists, in key order: the keys of
// the detail tab's own rows. Read each time rather than kept, so a window
// made before the tag tables were loaded still gets them.
QStringList otherEditableKeys()
{
    QStringList list;
    for (auto it = TAVCVSParaser::tagsByKey().cbegin(); it != TAVCVSParaser::tagsByKey().cend(); ++it) {
        if (!TAVKeyLists::shownKeys().contains(it.key()))
            list.append(it.key());
    }
    return list;
}

// Whether the photos all have the same time shift, or all none.
bool shareTimeShift(const QList<TAVImageObjectPtr>& images)
{
    const std::optional<TAVTimeOffsetInfo> first = images.first()->exifData()->createdDateTimeOffset();
    return std::all_of(images.cbegin(), images.cend(),
        [&first](const TAVImageObjectPtr& image) { return image->exifData()->createdDateTimeOffset() == first; });
}

} // namespace

TAVExifDataPtr TAVMainWindowCtlr::getClearEmptyExifData()
{
    return TAVImageObject::create()->exifData();
}

void TAVMainWindowCtlr::setDefaultSetting(const TAVExifDataPtr& setting)
{
    defaultSetting_ = setting ? setting : getClearEmptyExifData();
    if (marySelectedImgs_.isEmpty())
        refreshUI();
}

void TAVMainWindowCtlr::photosViewCltrDidSelectedImages(TAVPhotosViewCltr* cltr, const QList<int>& indexes)
{
    // Text typed for the photos shown so far goes to them, not to the next ones.
    commitTypedText();
    const QList<TAVImageObjectPtr>& shown = cltr->getDataSourceForCurrentState();
    QList<TAVImageObjectPtr> images;
    images.reserve(indexes.size());
    for (int index : indexes) {
        if (index >= 0 && index < shown.size())
            images.append(shown.at(index));
    }
    // The list reports the rows a removal took out of the selection as a
    // selection change of its own; that is the removal, not a new choice,
    // and the shown record stays until the user selects again, unless none of
    // its photos is left: a photo gone from the list is not shown any more.
    const bool onlyRemoved = images.size() < marySelectedImgs_.size()
        && std::all_of(images.cbegin(), images.cend(),
            [this](const TAVImageObjectPtr& image) { return marySelectedImgs_.contains(image); })
        && std::none_of(marySelectedImgs_.cbegin(), marySelectedImgs_.cend(), [&](const TAVImageObjectPtr& image) {
               return !images.contains(image) && cltr->maryDataSource().contains(image);
           });
    if (onlyRemoved) {
        marySelectedImgs_ = images;
        if (images.isEmpty())
            refreshUI();
        else
            refreshButtonsEnable();
        return;
    }
    handleSelectedImages(images);
    refreshButtonsEnable();
    // One photo shown: the next ones in the list are the likely next to show.
    if (summary_ && indexes.size() == 1 && indexes.first() >= 0) {
        QStringList ahead;
        for (int next = indexes.first() + 1; next < shown.size() && ahead.size() < kPreviewsDecodedAhead; ++next) {
            if (shown.at(next)->exifData())
                ahead.append(shown.at(next)->exifData()->strImagePath());
        }
        summary_->preparePreview(ahead);
    }
}

void TAVMainWindowCtlr::photosViewCltrWillRemoveImages(TAVPhotosViewCltr*)
{
    commitTypedText();
}

void TAVMainWindowCtlr::photosViewCltrDidRemoveImages(TAVPhotosViewCltr*, const QList<TAVImageObjectPtr>& images)
{
    commitTypedText();
    bool shownGoes = false;
    for (const auto& image : images)
        shownGoes = marySelectedImgs_.removeAll(image) > 0 || shownGoes;
    // Photos that left the list are no longer shown: once none of the shown
    // ones is left, the tabs let go of their record and picture.
    if (shownGoes && marySelectedImgs_.isEmpty())
        refreshUI();
    else
        refreshButtonsEnable();
}

void TAVMainWindowCtlr::handleSelectedImages(const QList<TAVImageObjectPtr>& images)
{
    commitTypedText();
    marySelectedImgs_ = images;
    refreshUI();
    TAVBaseTabViewCltr::setPendingEdits(false);
}

void TAVMainWindowCtlr::refreshUI()
{
    // A rebuild shows the records anew: typed text reaches them first.
    commitTypedText();
    TAVExifDataPtr record;
    if (marySelectedImgs_.isEmpty())
        record = defaultSetting_;
    else if (marySelectedImgs_.size() == 1)
        record = marySelectedImgs_.first()->exifData();
    else
        record = extractCommExifDataFromImages(marySelectedImgs_);
    updateDispByExifData(record);
    photos_->reload();
    refreshButtonsEnable();
}

void TAVMainWindowCtlr::updateDispByExifData(const TAVExifDataPtr& record)
{
    curExifData_ = record;
    refreshSettingByExifData(curExifData_);
}

void TAVMainWindowCtlr::refreshSettingByExifData(const TAVExifDataPtr& record)
{
    for (TAVBaseTabViewCltr* tab : {static_cast<TAVBaseTabViewCltr*>(summary_),
             static_cast<TAVBaseTabViewCltr*>(exposure_), static_cast<TAVBaseTabViewCltr*>(detail_), gps_}) {
        if (tab)
            tab->setImgExifData(record);
    }
}

std::optional<QString> TAVMainWindowCtlr::isValueTheSame(
    const QString& key, int32_t category, const QList<TAVImageObjectPtr>& images, bool* modified)
{
    if (images.isEmpty() || TAVKeyLists::isDisplayOnlyKey(key))
        return std::nullopt;
    const QString candidate = images.first()->exifData()->getValueForKey(key, category);
    bool allModified = true;
    for (qsizetype i = 1; i < images.size(); ++i) {
        const TAVExifData& record = *images.at(i)->exifData();
        const QString value = record.getValueForKey(key, category);
        // An absent value equals nothing, not even another absent one.
        if (candidate.isNull() || value.isNull() || value != candidate) {
            if (modified)
                *modified = false;
            return std::nullopt;
        }
        if (allModified)
            allModified = record.isModifiedForKey(key, category);
    }
    if (modified)
        *modified = allModified;
    return candidate;
}

TAVExifDataPtr TAVMainWindowCtlr::extractCommExifDataFromImages(const QList<TAVImageObjectPtr>& images) const
{
    TAVExifDataPtr record = getClearEmptyExifData();
    // The empty record has no rows of the other category, and the setter
    // ignores keys without a row: give every editable key its row first, so
    // the detail tab lists the common values and an edit there reaches every
    // image (each image has a row for each of these keys).
    const QStringList otherKeys = otherEditableKeys();
    TAVEntityMap others;
    for (const QString& key : otherKeys)
        others.insert(key, TAVEntity::entityWithValue(QStringLiteral(""), key));
    // The family headings, as an image's own rows have them.
    for (const char* family : {"EXIF", "IPTC", "XMP"}) {
        auto group = std::make_shared<TAVEntity>();
        group->setKey(QString::fromLatin1(family));
        group->setIsGroup(true);
        others.insert(group->key(), group);
    }
    record->initImageExifData(others, TAVExifData::CategoryOther);

    auto store = [&](const QStringList& keys, int32_t category) {
        for (const QString& key : keys) {
            bool modified = false;
            const std::optional<QString> value = isValueTheSame(key, category, images, &modified);
            record->setValue(value.value_or(QStringLiteral("")), key, category, true, modified, true);
        }
    };
    store(commonSummaryKeys(), TAVExifData::CategorySummary);
    store(commonExposureKeys(), TAVExifData::CategoryExposure);
    store(commonGpsKeys(), TAVExifData::CategoryGps);
    store(otherKeys, TAVExifData::CategoryOther);
    record->setIsApplyToFileCreatedDateTime(summary_->isApplyToFileCreatedDatetime());
    // The shift the photos share, or none: a shift shown for photos that do
    // not all have it would reach the others with the next edit. Nor does
    // that "none" reach them: each keeps its own armed shift until the user
    // sets the shift in this form.
    const bool sharedShift = shareTimeShift(images);
    record->setCreatedDateTimeOffset(sharedShift ? images.first()->exifData()->createdDateTimeOffset() : std::nullopt);
    record->setHandsOutTimeShift(sharedShift);
    // A preset applied to every selected image stays chosen in the pop-up,
    // so it can be updated or deleted from the selection.
    const QString name = images.first()->exifData()->strName();
    if (std::all_of(images.cbegin(), images.cend(),
            [&name](const TAVImageObjectPtr& image) { return image->exifData()->strName() == name; }))
        record->setStrName(name);
    return record;
}

void TAVMainWindowCtlr::applyModifyToSelectedImages(bool refresh)
{
    if (!TAVBaseTabViewCltr::isPendingEdits())
        return;
    // Keep the shown record alive while the images take its values: a
    // refresh replaces it.
    const TAVExifDataPtr shown = curExifData_;
    for (const auto& image : marySelectedImgs_) {
        if (image && image->exifData())
            image->exifData()->applyChangeValueFromExifData(*shown);
    }
    if (refresh)
        refreshUI();
    TAVBaseTabViewCltr::setPendingEdits(false);
}

void TAVMainWindowCtlr::handleHasModified(const Notification& notification)
{
    if (!notification.userInfo.value(QStringLiteral("hasModify")).toBool())
        return;
    applyModifyToSelectedImages(notification.userInfo.value(QStringLiteral("needRefresh")).toBool());
    photos_->reload();
}
