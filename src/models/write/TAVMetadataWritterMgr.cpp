#include "models/write/TAVMetadataWritterMgr.h"

#include "foundation/DateServices.h"
#include "models/read/MakerNoteIdentifier.h"
#include "models/values/TAVDateTagForms.h"
#include "models/write/TAVExifWriter.h"
#include "models/write/TAVMetadataWritterMgr_Keys.h"

#include <QDateTime>
#include <QMap>
#include <QRegularExpression>

#include <utility>

#include <exiv2/exif.hpp>

using namespace WriterKeys;

namespace {

// The maker-note tags that repeat a standard tag; a clear of the standard tag
// takes them too.
const QMap<QString, QStringList>& alsoErased()
{
    static const QMap<QString, QStringList> keys = {
        {kImageDateTime, {kDateTimeOriginal, kDateTimeDigitized, kImageDateTimeOriginal}},
        {kExposureTime, {kShutterSpeedValue}},
        {kFNumber, {QStringLiteral("Exif.Photo.ApertureValue")}},
        {kIsoSpeedRatings,
            {kExposureIndex, QStringLiteral("Exif.CanonCs.ISOSpeed"), QStringLiteral("Exif.Nikon1.ISOSpeed"),
                QStringLiteral("Exif.Nikon2.ISOSpeed"), QStringLiteral("Exif.Nikon3.ISOSpeed"),
                QStringLiteral("Exif.Nikon3.ISOSetting")}},
        {kFlash, {kFujifilmFlashMode, kCanonFlashMode, kCanonFlashActivity}},
        {kMeteringMode, {QStringLiteral("Exif.Sigma.MeteringMode"), QStringLiteral("Exif.CanonCs.MeteringMode")}},
        {kSubjectDistance, {QStringLiteral("Exif.CanonSi.SubjectDistance")}},
        {kDigitalZoomRatio,
            {QStringLiteral("Exif.CanonCs.DigitalZoom"), QStringLiteral("Exif.Olympus.DigitalZoom"),
                QStringLiteral("Exif.Nikon1.DigitalZoom"), QStringLiteral("Exif.Nikon2.DigitalZoom")}},
    };
    return keys;
}

// Keys that keep an "unknown" value when cleared, and the maker-note tags that
// go instead of them.
struct UnknownValue {
    QString value;
    QStringList makerKeys;
};

const QMap<QString, UnknownValue>& unknownValues()
{
    static const QMap<QString, UnknownValue> values = {
        {kSubjectDistanceRange,
            {QStringLiteral("0"),
                {kCanonFocusType, QStringLiteral("Exif.Olympus.Macro"), QStringLiteral("Exif.Fujifilm.Macro"),
                    QStringLiteral("Exif.Fujifilm.FocusMode"), QStringLiteral("Exif.Nikon1.Focus"),
                    QStringLiteral("Exif.Nikon2.Focus"), QStringLiteral("Exif.Nikon3.Focus"),
                    QStringLiteral("Exif.Sigma.FocusSetting")}}},
        {kExposureProgram,
            {QStringLiteral("0"),
                {kCanonExposureProgram, kCanonEasyMode, QStringLiteral("Exif.Fujifilm.PictureMode"),
                    kNikon3VariProgram}}},
        {kWhiteBalance,
            {QStringLiteral("2"),
                {QStringLiteral("Exif.CanonSi.WhiteBalance"), QStringLiteral("Exif.Fujifilm.WhiteBalance"),
                    QStringLiteral("Exif.Nikon1.WhiteBalance"), QStringLiteral("Exif.Nikon2.WhiteBalance"),
                    QStringLiteral("Exif.Sigma.WhiteBalance"), kLightSource}}},
        {kContrast,
            {QStringLiteral("3"),
                {QStringLiteral("Exif.CanonCs.Contrast"), QStringLiteral("Exif.Fujifilm.Tone"),
                    QStringLiteral("Exif.Nikon1.ImageAdjustment"), QStringLiteral("Exif.Nikon2.ImageAdjustment"),
                    QStringLiteral("Exif.Sigma.Contrast")}}},
        {kSaturation,
            {QStringLiteral("3"),
                {QStringLiteral("Exif.CanonCs.Saturation"), QStringLiteral("Exif.Fujifilm.Color"),
                    QStringLiteral("Exif.Sigma.Saturation")}}},
        {kSharpness,
            {QStringLiteral("3"),
                {QStringLiteral("Exif.CanonCs.Sharpness"), QStringLiteral("Exif.Fujifilm.Sharpness"),
                    QStringLiteral("Exif.Nikon1.Sharpening"), QStringLiteral("Exif.Sigma.Sharpness")}}},
    };
    return values;
}

} // namespace

TAVMetadataWritterMgr::TAVMetadataWritterMgr(const QString& path)
    : exifWriter_(std::make_unique<TAVExifWriter>(path))
    , handleFilePath_(path)
{
}

TAVMetadataWritterMgr::~TAVMetadataWritterMgr() = default;

// ---------------------------------------------------------------- routing

QStringList TAVMetadataWritterMgr::batchWriteMetadata(const QList<TAVEntityPtr>& entities, bool igonreError)
{
    QStringList failedKeys;
    beginBatch(entities);
    for (const TAVEntityPtr& entity : entities) {
        if (!entity || entity->key().isNull() || entity->value().isNull()) {
            continue;
        }
        if (entity->isClear()) {
            // EXIF clears count as done: their erase lists name maker tags
            // this library does not know, which can never be present anyway.
            // An XMP clear names only its own key and can fail for real (a
            // packet the library cannot decode).
            const bool cleared = clearOneMetadata(entity->key());
            if (!cleared && entity->key().startsWith(kXmpPrefix)) {
                failedKeys.append(entity->key());
                if (!igonreError) {
                    break;
                }
            }
            continue;
        }
        if (!writeMetadat(entity->value(), entity->key()) || !updateTwins(entity->key(), entity->value())) {
            failedKeys.append(entity->key());
            if (!igonreError) {
                break;
            }
        }
    }
    return failedKeys;
}

bool TAVMetadataWritterMgr::writeMetadat(const QString& value, const QString& key)
{
    if (key.isEmpty()) {
        return false;
    }
    const TAVEntityPtr entity = TAVEntity::entityWithValue(value, key);
    if (isExifTag(key)) {
        return handleExifMetadataWrite({entity}).isEmpty();
    }
    if (isIPTCTag(key)) {
        return handleIptcMetadataWrite({entity}).isEmpty();
    }
    if (key.startsWith(kXmpPrefix)) {
        return setOneKeyValuePair(entity);
    }
    // The application's own keys ("Summary.ImageSize") are never written.
    return true;
}

QList<TAVEntityPtr> TAVMetadataWritterMgr::handleExifMetadataWrite(const QList<TAVEntityPtr>& entities)
{
    using Setter = bool (TAVMetadataWritterMgr::*)(const TAVEntityPtr&);
    static const QMap<QString, Setter> setters = {
        {kImageDateTime, &TAVMetadataWritterMgr::setDateAndTime},
        {kDateTimeOriginal, &TAVMetadataWritterMgr::setDateTimeTag},
        {kDateTimeDigitized, &TAVMetadataWritterMgr::setDateTimeTag},
        {kGpsVersion, &TAVMetadataWritterMgr::setGpsVersion},
        {kGpsLatitudeRef, &TAVMetadataWritterMgr::setGpsReference},
        {kGpsLongitudeRef, &TAVMetadataWritterMgr::setGpsReference},
        {kExposureTime, &TAVMetadataWritterMgr::setExposureTime},
        {kFNumber, &TAVMetadataWritterMgr::setAperture},
        {kIsoSpeedRatings, &TAVMetadataWritterMgr::setSensitivity},
        {kFlash, &TAVMetadataWritterMgr::setFlash},
        {kExposureProgram, &TAVMetadataWritterMgr::setExposureProgram},
        {kSensingMethod, &TAVMetadataWritterMgr::setSensor},
        {kSubjectDistanceRange, &TAVMetadataWritterMgr::setFocusMode},
        {kMeteringMode, &TAVMetadataWritterMgr::setMeteringMode},
        {kSubjectDistance, &TAVMetadataWritterMgr::setSubjectDistance},
        {kFocalLength, &TAVMetadataWritterMgr::setFocalLength},
        {kFocalLength35, &TAVMetadataWritterMgr::setFocalLength35},
        {kDigitalZoomRatio, &TAVMetadataWritterMgr::setDigitalZoom},
        {kWhiteBalance, &TAVMetadataWritterMgr::setWhitebalance},
        {kContrast, &TAVMetadataWritterMgr::setContrast},
        {kSaturation, &TAVMetadataWritterMgr::setSaturation},
        {kSharpness, &TAVMetadataWritterMgr::setSharpness},
    };
    QList<TAVEntityPtr> failed;
    for (const TAVEntityPtr& entity : entities) {
        const Setter fallback = entity->key().startsWith(kXpPrefix) ? &TAVMetadataWritterMgr::setXpText
                                                                    : &TAVMetadataWritterMgr::setOneKeyValuePair;
        const Setter setter = setters.value(entity->key(), fallback);
        if (!(this->*setter)(entity)) {
            failed.append(entity);
        }
    }
    return failed;
}

bool TAVMetadataWritterMgr::setXpText(const TAVEntityPtr& entity)
{
    const QString text = entity->value();
    if (text.isEmpty()) {
        // No bytes at all would be no text either: an emptied title removes the tag.
        clearField(entity->key());
        const Exiv2::ExifData exifData = exifWriter_->getExifData();
        return exifData.findKey(Exiv2::ExifKey(entity->key().toStdString())) == exifData.end();
    }
    // A Byte value is written from its numbers, one per byte.
    QStringList bytes;
    for (const QChar unit : text) {
        bytes.append(QString::number(unit.unicode() & 0xff));
        bytes.append(QString::number(unit.unicode() >> 8));
    }
    bytes.append({QStringLiteral("0"), QStringLiteral("0")});
    return writeValue(entity->key(), bytes.join(QLatin1Char(' ')));
}

QList<TAVEntityPtr> TAVMetadataWritterMgr::handleIptcMetadataWrite(const QList<TAVEntityPtr>& entities)
{
    return setKeysAndValues(entities);
}

bool TAVMetadataWritterMgr::isExifTag(const QString& key) const
{
    return key.startsWith(kExifPrefix);
}

bool TAVMetadataWritterMgr::isIPTCTag(const QString& key) const
{
    return key.startsWith(kIptcPrefix);
}

// ---------------------------------------------------------------- writer calls

bool TAVMetadataWritterMgr::setOneKeyValuePair(const TAVEntityPtr& entity)
{
    return exifWriter_->doWriteMetadata({entity}).isEmpty();
}

QList<TAVEntityPtr> TAVMetadataWritterMgr::setKeysAndValues(const QList<TAVEntityPtr>& entities)
{
    return exifWriter_->doWriteMetadata(entities);
}

bool TAVMetadataWritterMgr::writeValues(const QList<QPair<QString, QString>>& pairs)
{
    QList<TAVEntityPtr> entities;
    for (const auto& [key, value] : pairs) {
        entities.append(TAVEntity::entityWithValue(value, key));
    }
    return setKeysAndValues(entities).isEmpty();
}

bool TAVMetadataWritterMgr::writeValue(const QString& key, const QString& value)
{
    return writeValues({{key, value}});
}

bool TAVMetadataWritterMgr::clearField(const QString& key)
{
    // The clear also names maker tags this library does not know (which can
    // never be present) and then answers NO; only the key's own erase counts.
    clearOneMetadata(key);
    return exifWriter_->clearMetadata({key});
}

int32_t TAVMetadataWritterMgr::makerNoteIdentifier() const
{
    return MakerNoteIdentifier::fromExifData(exifWriter_->getExifData());
}

// ---------------------------------------------------------------- numbers and dates

bool TAVMetadataWritterMgr::setDateAndTime(const TAVEntityPtr& entity)
{
    const QString& text = entity->value();
    if (text.trimmed().isEmpty()) {
        // A cleared date arrives as a blank between an empty date and time:
        // the capture date goes from every family rather than being set to
        // blanks.
        return clearCaptureDates();
    }
    const QDateTime date = TAVDateTagForms::dateOfFieldText(text);
    if (!date.isValid()) {
        return false;
    }
    if (dateShift_) {
        // The date and the time arrive as one date each: the shift moves
        // the file's dates once.
        const bool shifted = std::exchange(datesShifted_, true);
        return shifted || moveDates({QDateTime(), dateShift_});
    }
    return moveDates({date, std::nullopt});
}

bool TAVMetadataWritterMgr::setDateTimeTag(const TAVEntityPtr& entity)
{
    const QDateTime date = TAVDateTagForms::dateOfFieldText(entity->value());
    if (!date.isValid()) {
        return setOneKeyValuePair(entity);
    }
    return writeValue(entity->key(), DateServices::getStringFromDate(date, kExifDateFormat));
}

bool TAVMetadataWritterMgr::setGpsVersion(const TAVEntityPtr& entity)
{
    // The GPS tab shows the version as "version 2.2.0.0"; the tag holds the
    // four bytes "2 2 0 0".
    static const QRegularExpression shown(QStringLiteral("^\\s*version\\s+(\\d+)\\.(\\d+)\\.(\\d+)\\.(\\d+)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = shown.match(entity->value());
    if (!match.hasMatch()) {
        return setOneKeyValuePair(entity);
    }
    const QStringList bytes = {match.captured(1), match.captured(2), match.captured(3), match.captured(4)};
    return writeValue(kGpsVersion, bytes.join(QLatin1Char(' ')));
}

bool TAVMetadataWritterMgr::setGpsReference(const TAVEntityPtr& entity)
{
    static const QMap<QString, QString> letters = {
        {QStringLiteral("north"), QStringLiteral("N")},
        {QStringLiteral("south"), QStringLiteral("S")},
        {QStringLiteral("east"), QStringLiteral("E")},
        {QStringLiteral("west"), QStringLiteral("W")},
    };
    const QString word = entity->value().trimmed().toLower();
    const QString letter = word.size() == 1 ? word.toUpper() : letters.value(word);
    if (letter.isEmpty() || !letters.values().contains(letter)) {
        return setOneKeyValuePair(entity);
    }
    return writeValue(entity->key(), letter);
}

// ---------------------------------------------------------------- clearing

bool TAVMetadataWritterMgr::replaceAndErase(const QString& key, const QString& value, const QStringList& makerKeys)
{
    // The "unknown" stands in for the key so that a maker-note value does
    // not show through it. With neither in the file there is nothing to
    // hide, and a clear adds no entry: only the standard tags that go with
    // the key (the light source of a white balance) are erased.
    const auto isMakerKey = [](const QString& makerKey) {
        return !makerKey.startsWith(QLatin1String("Exif.Photo.")) && !makerKey.startsWith(QLatin1String("Exif.Image."));
    };
    QStringList held;
    bool hidesMakerValue = false;
    for (const QString& makerKey : makerKeys) {
        if (exifWriter_->holdsExifKey(makerKey)) {
            held.append(makerKey);
            hidesMakerValue = hidesMakerValue || isMakerKey(makerKey);
        }
    }
    if (!exifWriter_->holdsExifKey(key) && !hidesMakerValue) {
        return held.isEmpty() || exifWriter_->clearMetadata(held);
    }
    if (!writeValue(key, value)) {
        return exifWriter_->clearMetadata({key});
    }
    // Members of Canon's camera-settings array cannot be erased (the clear
    // leaves them as the camera wrote them), and the camera's value would
    // show again. They get Canon's own "not available" (0xFFFF) instead,
    // which the readers, and other programs, take for no value.
    static const QStringList notErasable = {kCanonExposureProgram, kCanonFocusType};
    QStringList erased;
    QList<QPair<QString, QString>> notAvailable;
    for (const QString& makerKey : makerKeys) {
        if (notErasable.contains(makerKey) && !exifWriter_->currentValue(makerKey).isNull()) {
            notAvailable.append({makerKey, kCanonNotAvailable});
        } else {
            erased.append(makerKey);
        }
    }
    exifWriter_->clearMetadata(erased);
    return notAvailable.isEmpty() || writeValues(notAvailable);
}

bool TAVMetadataWritterMgr::clearOneMetadata(const QString& key)
{
    if (isExifTag(key)) {
        if (key == kSensingMethod) {
            // "Not defined" replaces a method the file holds; none is added.
            return !exifWriter_->holdsExifKey(kSensingMethod) || writeValue(kSensingMethod, QStringLiteral("1"));
        }
        const auto unknown = unknownValues().constFind(key);
        if (unknown != unknownValues().constEnd()) {
            return replaceAndErase(key, unknown->value, unknown->makerKeys);
        }
        clearGpsTwin(key);
        return exifWriter_->clearMetadata(QStringList{key} + alsoErased().value(key));
    }
    if (isIPTCTag(key)) {
        return exifWriter_->clearIPTCMetadata({key});
    }
    if (key.startsWith(kXmpPrefix)) {
        return exifWriter_->clearXMPMetadata({key});
    }
    return true;
}

bool TAVMetadataWritterMgr::clearExifMetadata()
{
    return exifWriter_->clearExifMetadata();
}

void TAVMetadataWritterMgr::clearGpsCopies()
{
    exifWriter_->clearGpsCopies();
}

void TAVMetadataWritterMgr::clearIptcCopies()
{
    exifWriter_->clearIptcCopies();
}

bool TAVMetadataWritterMgr::clearAllMetadata()
{
    exifWriter_->clearAllMetadata();
    exifWriter_->clearAllIPTCMetadata();
    exifWriter_->clearAllXMPMetadata();
    return saveMetadataToImage();
}

bool TAVMetadataWritterMgr::isXmpUndecodable() const
{
    return exifWriter_->isXmpUndecodable();
}

bool TAVMetadataWritterMgr::keptUnreadableXmp() const
{
    return exifWriter_->keptUnreadableXmp();
}

bool TAVMetadataWritterMgr::saveMetadataToImage()
{
    // A later batch compares with what this save wrote.
    textsAsRead_.reset();
    return exifWriter_->saveModifiedMetadata();
}

QString TAVMetadataWritterMgr::lastError() const
{
    return refusal_.isEmpty() ? exifWriter_->lastError() : refusal_;
}

TAVImageMetadatReaderBase::SharedImagePtr TAVMetadataWritterMgr::writtenImage() const
{
    return exifWriter_->writtenImage();
}

void TAVMetadataWritterMgr::setWritesFile(bool writes)
{
    exifWriter_->setWritesFile(writes);
}
