#include "models/TAVMetadataWritterMgr.h"

#include "foundation/DateServices.h"
#include "foundation/TextNumbers.h"
#include "models/MakerNoteIdentifier.h"
#include "models/TAVDateTagForms.h"
#include "models/TAVExifWriter.h"
#include "models/TAVKeyLists.h"
#include "models/TAVMetadataHelper.h"

#include <QDateTime>
#include <QMap>
#include <QRegularExpression>

#include <optional>
#include <utility>

#include <exiv2/exif.hpp>

namespace {

const QString kExifPrefix = QStringLiteral("Exif.");
const QString kIptcPrefix = QStringLiteral("Iptc.");
const QString kXmpPrefix = QStringLiteral("Xmp.");

const QString kImageDateTime = QStringLiteral("Exif.Image.DateTime");
const QString kDateTimeOriginal = QStringLiteral("Exif.Photo.DateTimeOriginal");
const QString kDateTimeDigitized = QStringLiteral("Exif.Photo.DateTimeDigitized");
const QString kImageDateTimeOriginal = QStringLiteral("Exif.Image.DateTimeOriginal");
const QString kExposureTime = QStringLiteral("Exif.Photo.ExposureTime");
const QString kShutterSpeedValue = QStringLiteral("Exif.Photo.ShutterSpeedValue");
const QString kFNumber = QStringLiteral("Exif.Photo.FNumber");
const QString kIsoSpeedRatings = QStringLiteral("Exif.Photo.ISOSpeedRatings");
const QString kExposureIndex = QStringLiteral("Exif.Photo.ExposureIndex");
const QString kFlash = QStringLiteral("Exif.Photo.Flash");
const QString kExposureProgram = QStringLiteral("Exif.Photo.ExposureProgram");
const QString kSensingMethod = QStringLiteral("Exif.Photo.SensingMethod");
const QString kSubjectDistanceRange = QStringLiteral("Exif.Photo.SubjectDistanceRange");
const QString kMeteringMode = QStringLiteral("Exif.Photo.MeteringMode");
const QString kSubjectDistance = QStringLiteral("Exif.Photo.SubjectDistance");
const QString kFocalLength = QStringLiteral("Exif.Photo.FocalLength");
const QString kFocalLength35 = QStringLiteral("Exif.Photo.FocalLengthIn35mmFilm");
const QString kDigitalZoomRatio = QStringLiteral("Exif.Photo.DigitalZoomRatio");
const QString kWhiteBalance = QStringLiteral("Exif.Photo.WhiteBalance");
const QString kLightSource = QStringLiteral("Exif.Photo.LightSource");
const QString kContrast = QStringLiteral("Exif.Photo.Contrast");
const QString kSaturation = QStringLiteral("Exif.Photo.Saturation");
const QString kSharpness = QStringLiteral("Exif.Photo.Sharpness");

const QString kFujifilmFlashMode = QStringLiteral("Exif.Fujifilm.FlashMode");
const QString kCanonFlashMode = QStringLiteral("Exif.CanonCs.FlashMode");
const QString kCanonFlashActivity = QStringLiteral("Exif.CanonCs.FlashActivity");
const QString kNikon3VariProgram = QStringLiteral("Exif.Nikon3.VariProgram");
const QString kCanonEasyMode = QStringLiteral("Exif.CanonCs.EasyMode");
const QString kCanonExposureProgram = QStringLiteral("Exif.CanonCs.ExposureProgram");
const QString kCanonFocusType = QStringLiteral("Exif.CanonCs.FocusType");
// Canon's own "not available" (0xFFFF), which readers take for no value.
const QString kCanonNotAvailable = QStringLiteral("65535");

const QString kGpsVersion = QStringLiteral("Exif.GPSInfo.GPSVersionID");
const QString kGpsLatitudeRef = QStringLiteral("Exif.GPSInfo.GPSLatitudeRef");
const QString kGpsLongitudeRef = QStringLiteral("Exif.GPSInfo.GPSLongitudeRef");
const QString kXpPrefix = QStringLiteral("Exif.Image.XP");

const QString kExifDateFormat = QStringLiteral("yyyy:MM:dd HH:mm:ss");

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

QStringList list(std::initializer_list<const char*> texts)
{
    QStringList result;
    for (const char* text : texts) {
        result.append(QString::fromLatin1(text));
    }
    return result;
}

// The position of a label in its table; an empty text is "Unknown" (0), as
// an emptied pop-up or a preset without the field hands it over; -1 when the
// text is not in the table.
int positionOf(const QStringList& labels, const QString& text)
{
    // Presets stored before the label's spelling was mended name it the old way.
    if (text == QLatin1String("Aperature Priority")) {
        return labels.indexOf(QStringLiteral("Aperture Priority"));
    }
    return text.trimmed().isEmpty() ? 0 : labels.indexOf(text);
}

// "2.8", "35", ".5": a number as the number fields hold it. Text, "f/2.8" and
// "2,8" are not numbers (read leniently they would be saved as 0 or 2).
bool isNumberText(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*(\\d+(\\.\\d*)?|\\.\\d+)\\s*$"));
    return number.match(text).hasMatch();
}

// A whole number that a 16-bit field holds.
bool isShortText(const QString& text)
{
    static const QRegularExpression whole(QStringLiteral("^\\s*\\d{1,5}\\s*$"));
    return whole.match(text).hasMatch() && text.trimmed().toInt() <= 65535;
}

// A number field's text as a fraction, or nothing when it is not a number or
// cannot be one (negative, too large).
std::optional<QString> fractionOf(const QString& numberText)
{
    if (!isNumberText(numberText)) {
        return std::nullopt;
    }
    int32_t numerator = 0;
    int32_t denominator = 1;
    if (!TAVMetadataHelper::convertToRational(TextNumbers::floatValue(numberText), &numerator, &denominator)) {
        return std::nullopt;
    }
    return QStringLiteral("%1/%2").arg(numerator).arg(denominator);
}

// The label table of a labelled field.
const QStringList* labelsOfField(const QString& key)
{
    static const QMap<QString, const QStringList*> tables = {
        {kFlash, &TAVKeyLists::flashLabels()},
        {kSensingMethod, &TAVKeyLists::sensingMethodLabels()},
        {kSubjectDistanceRange, &TAVKeyLists::focusModeLabels()},
        {kMeteringMode, &TAVKeyLists::meteringModeLabels()},
        {kExposureProgram, &TAVKeyLists::exposureProgramLabels()},
        {kWhiteBalance, &TAVKeyLists::whiteBalanceLabels()},
        {kContrast, &TAVKeyLists::contrastLabels()},
        {kSaturation, &TAVKeyLists::saturationLabels()},
        {kSharpness, &TAVKeyLists::sharpnessLabels()},
    };
    return tables.value(key, nullptr);
}

// The exposure tab hands over its two shutter fields as "numerator/denominator"
// with either side possibly empty. One empty side reads as 1, as the tab's own
// shutter icon reads it; both empty give an empty text (the time is removed).
QString exposureTimeText(const QString& text)
{
    // The reader gives times derived from the APEX value as "1/128 sec".
    static const QRegularExpression seconds(QStringLiteral("\\s*sec\\s*$"), QRegularExpression::CaseInsensitiveOption);
    QString time = text;
    time.remove(seconds);
    const QStringList sides = time.split(QLatin1Char('/'));
    if (sides.size() != 2) {
        return text.trimmed();
    }
    const QString numerator = sides[0].trimmed();
    const QString denominator = sides[1].trimmed();
    if (numerator.isEmpty() && denominator.isEmpty()) {
        return QStringLiteral("");
    }
    const QString one = QStringLiteral("1");
    return (numerator.isEmpty() ? one : numerator) + QLatin1Char('/') + (denominator.isEmpty() ? one : denominator);
}

// An exposure time the tag can hold: "n/d" with whole numbers and d not 0, or
// whole seconds.
bool isExposureTimeText(const QString& time)
{
    static const QRegularExpression fraction(QStringLiteral("^(\\d{1,9})/(\\d{1,9})$"));
    const QRegularExpressionMatch match = fraction.match(time);
    if (match.hasMatch()) {
        return match.captured(2).toLongLong() != 0;
    }
    return isNumberText(time) && !time.contains(QLatin1Char('.')) && time.trimmed().size() <= 9;
}

// Canon's own program for an exposure-program label: the clear before a
// choice left the member "not available", which only "Unknown" may leave.
// Scenes are the camera's program 0 ("easy mode") with the easy mode naming
// the scene; Canon has no night portrait, its night mode comes nearest.
QList<QPair<QString, QString>> canonProgramPairs(int position)
{
    static const QStringList programs = list({"4", "1", "1", "3", "2", "5"});
    static const QStringList scenes = list({"9", "8", "2", "5", "5", "10"});
    if (position >= 1 && position <= 6) {
        return {{kCanonExposureProgram, programs[position - 1]}};
    }
    if (position >= 7 && position <= 12) {
        return {{kCanonExposureProgram, QStringLiteral("0")}, {kCanonEasyMode, scenes[position - 7]}};
    }
    return {};
}

// Whether a field converted by the manager accepts the text; nothing for
// keys that go to the writer as they are.
std::optional<bool> fieldAccepts(const QString& key, const QString& text)
{
    if (const QStringList* labels = labelsOfField(key)) {
        return positionOf(*labels, text) >= 0;
    }
    if (text.trimmed().isEmpty()) {
        return true;
    }
    if (key == kFNumber || key == kSubjectDistance || key == kFocalLength || key == kDigitalZoomRatio) {
        return fractionOf(text).has_value();
    }
    if (key == kIsoSpeedRatings || key == kFocalLength35) {
        return isShortText(text);
    }
    if (key == kExposureTime) {
        const QString time = exposureTimeText(text);
        return time.isEmpty() || isExposureTimeText(time);
    }
    if (key == kImageDateTime) {
        return TAVDateTagForms::dateOfFieldText(text).isValid();
    }
    return std::nullopt;
}

} // namespace

TAVMetadataWritterMgr::TAVMetadataWritterMgr(const QString& path)
    : exifWriter_(std::make_unique<TAVExifWriter>(path))
    , handleFilePath_(path)
{
}

TAVMetadataWritterMgr::~TAVMetadataWritterMgr() = default;

bool TAVMetadataWritterMgr::testValueVaild(const QString& value, const QString& key)
{
    // The fields this manager converts are checked as the save converts them,
    // so the editors accept exactly what can be saved.
    if (TAVKeyLists::isFileStructureKey(key)) {
        return false;
    }
    if (const std::optional<bool> accepted = fieldAccepts(key, value)) {
        return *accepted;
    }
    return TAVDateTagForms::acceptsText(key, value)
        && TAVExifWriter::testValue(TAVDateTagForms::tagText(key, value), key);
}

// ---------------------------------------------------------------- routing

QStringList TAVMetadataWritterMgr::batchWriteMetadata(const QList<TAVEntityPtr>& entities, bool igonreError)
{
    QStringList failedKeys;
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

bool TAVMetadataWritterMgr::writeRationalOf(const QString& numberText, const QString& key)
{
    if (numberText.trimmed().isEmpty()) {
        // An emptied number field removes the value rather than writing 0.
        return clearField(key);
    }
    // Aperture, distance, focal length and zoom are unsigned fractions: text,
    // a negative number (it would wrap to a huge value) and one that cannot be
    // made a fraction (it would become 0/1) are refused.
    const std::optional<QString> fraction = fractionOf(numberText);
    return fraction && writeValue(key, *fraction);
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
    // Some programs write a second DateTimeOriginal into the first directory,
    // where readers find it before the standard one: it moves with it.
    const bool hasImageDateTimeOriginal = !exifWriter_->currentValue(kImageDateTimeOriginal).isNull();
    const QString& text = entity->value();
    if (text.trimmed().isEmpty()) {
        // A cleared date arrives as a blank between an empty date and time:
        // the dates go rather than being set to blanks.
        QStringList keys{kDateTimeOriginal, kDateTimeDigitized, kImageDateTime};
        if (hasImageDateTimeOriginal) {
            keys.append(kImageDateTimeOriginal);
        }
        return exifWriter_->clearMetadata(keys);
    }
    const QDateTime date = TAVDateTagForms::dateOfFieldText(text);
    if (!date.isValid()) {
        return false;
    }
    if (dateShift_) {
        // The date and the time arrive as one date each: the shift moves
        // the file's dates once.
        const bool shifted = std::exchange(datesShifted_, true);
        return shifted || shiftDates(date);
    }
    const QString exifText = DateServices::getStringFromDate(date, kExifDateFormat);
    QList<QPair<QString, QString>> values{
        {kDateTimeOriginal, exifText}, {kDateTimeDigitized, exifText}, {kImageDateTime, exifText}};
    if (hasImageDateTimeOriginal) {
        values.append({kImageDateTimeOriginal, exifText});
    }
    return writeValues(values);
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

bool TAVMetadataWritterMgr::setExposureTime(const TAVEntityPtr& entity)
{
    QString text = exposureTimeText(entity->value());
    if (text.isEmpty()) {
        return clearField(kExposureTime);
    }
    if (!isExposureTimeText(text)) {
        return false;
    }
    if (!text.contains(QLatin1Char('/'))) {
        text = text.trimmed() + QStringLiteral("/1");
    }
    if (!writeValue(kExposureTime, text)) {
        return false;
    }
    // The APEX twin would otherwise show the old speed again.
    clearOneMetadata(kShutterSpeedValue);
    return true;
}

bool TAVMetadataWritterMgr::setAperture(const TAVEntityPtr& entity)
{
    // A new entity: the caller's is the record's own entry, which must keep
    // the number the user typed for a later retry.
    if (!writeRationalOf(entity->value(), kFNumber)) {
        return false;
    }
    // The APEX twin would otherwise show the old aperture again.
    exifWriter_->clearMetadata({QStringLiteral("Exif.Photo.ApertureValue")});
    return true;
}

bool TAVMetadataWritterMgr::setSensitivity(const TAVEntityPtr& entity)
{
    if (entity->value().trimmed().isEmpty()) {
        return clearField(kIsoSpeedRatings);
    }
    if (!isShortText(entity->value())) {
        return false;
    }
    const QString iso = QString::number(TextNumbers::intValue(entity->value()));
    const bool hasIso = exifWriter_->isKeyExistInCurrentImage(kIsoSpeedRatings);
    const bool hasIndex = exifWriter_->isKeyExistInCurrentImage(kExposureIndex);
    QList<QPair<QString, QString>> pairs;
    if (hasIso || !hasIndex) {
        pairs.append({kIsoSpeedRatings, iso});
    }
    if (hasIndex) {
        // The exposure index is a rational: a bare number does not parse as one.
        pairs.append({kExposureIndex, iso + QStringLiteral("/1")});
    }
    if (!writeValues(pairs)) {
        return false;
    }
    exifWriter_->clearMetadata(list({"Exif.CanonSi.ISOSpeed", "Exif.Nikon1.ISOSpeed", "Exif.Nikon2.ISOSpeed",
        "Exif.Nikon3.ISOSpeed", "Exif.Nikon3.ISOSetting"}));
    return true;
}

bool TAVMetadataWritterMgr::setSubjectDistance(const TAVEntityPtr& entity)
{
    if (!writeRationalOf(entity->value(), kSubjectDistance)) {
        return false;
    }
    clearOneMetadata(QStringLiteral("Exif.CanonSi.SubjectDistance"));
    return true;
}

bool TAVMetadataWritterMgr::setFocalLength(const TAVEntityPtr& entity)
{
    return writeRationalOf(entity->value(), kFocalLength);
}

bool TAVMetadataWritterMgr::setFocalLength35(const TAVEntityPtr& entity)
{
    // An emptied field removes the value, as for the other number fields.
    if (entity->value().trimmed().isEmpty()) {
        return clearField(kFocalLength35);
    }
    return isShortText(entity->value()) && writeValue(kFocalLength35, entity->value().trimmed());
}

bool TAVMetadataWritterMgr::setDigitalZoom(const TAVEntityPtr& entity)
{
    if (!writeRationalOf(entity->value(), kDigitalZoomRatio)) {
        return false;
    }
    exifWriter_->clearMetadata(list({"Exif.CanonCs.DigitalZoom", "Exif.Olympus.DigitalZoom", "Exif.Nikon1.DigitalZoom",
        "Exif.Nikon2.DigitalZoom"}));
    return true;
}

// ---------------------------------------------------------------- labelled values

bool TAVMetadataWritterMgr::setFlash(const TAVEntityPtr& entity)
{
    // Which maker tags the file carries is looked at before the clear below
    // erases them. The Canon tags are looked up under the names they are
    // written to: the library knows no older group names for them, and a
    // lookup that never succeeds would let the clear leave a Canon file's
    // notes saying "off" whatever flash the user chose.
    const bool hasFujifilm = exifWriter_->isKeyExistInCurrentImage(kFujifilmFlashMode);
    const bool hasCanonMode = exifWriter_->isKeyExistInCurrentImage(kCanonFlashMode);
    const bool hasCanonActivity = exifWriter_->isKeyExistInCurrentImage(kCanonFlashActivity);
    const int position = positionOf(TAVKeyLists::flashLabels(), entity->value());
    if (position < 0) {
        return false;
    }
    clearOneMetadata(kFlash);
    if (position == 0) {
        // Canon's flash members cannot be erased; left as the camera wrote
        // them they would answer for the erased standard tag. The user's
        // "Unknown" is Canon's "not available".
        QList<QPair<QString, QString>> notAvailable;
        if (hasCanonMode) {
            notAvailable.append({kCanonFlashMode, kCanonNotAvailable});
        }
        if (hasCanonActivity) {
            notAvailable.append({kCanonFlashActivity, kCanonNotAvailable});
        }
        return notAvailable.isEmpty() || writeValues(notAvailable);
    }
    if (position > 5) {
        return true;
    }
    static const QStringList flash = list({"24", "25", "9", "16", "65"});
    static const QStringList fujifilm = list({"0", "0", "1", "2", "3"});
    static const QStringList canonMode = list({"1", "1", "2", "0", "3"});
    static const QStringList canonActivity = list({"0", "1", "1", "0", "1"});
    const int row = position - 1;
    QList<QPair<QString, QString>> pairs = {{kFlash, flash[row]}};
    if (hasFujifilm) {
        pairs.append({kFujifilmFlashMode, fujifilm[row]});
    }
    if (hasCanonMode) {
        pairs.append({kCanonFlashMode, canonMode[row]});
    }
    if (hasCanonActivity) {
        pairs.append({kCanonFlashActivity, canonActivity[row]});
    }
    return writeValues(pairs);
}

bool TAVMetadataWritterMgr::setSensor(const TAVEntityPtr& entity)
{
    const int position = positionOf(TAVKeyLists::sensingMethodLabels(), entity->value());
    if (position <= 0) {
        return position == 0;
    }
    static const QStringList values = list({"2", "3", "4", "5", "7", "8"});
    return writeValue(kSensingMethod, values.value(position - 1));
}

bool TAVMetadataWritterMgr::setFocusMode(const TAVEntityPtr& entity)
{
    const int32_t maker = makerNoteIdentifier();
    const int position = positionOf(TAVKeyLists::focusModeLabels(), entity->value());
    if (position < 0) {
        return false;
    }
    clearOneMetadata(kSubjectDistanceRange);

    if (position >= 3 && position <= 5) {
        static const QStringList ranges = list({"1", "2", "3"});
        // Canon's focus type is not available after the clear above; the
        // choice is Canon's macro, close or far range.
        static const QStringList canonTypes = list({"3", "5", "7"});
        QList<QPair<QString, QString>> pairs = {{kSubjectDistanceRange, ranges[position - 3]}};
        if (MakerNoteIdentifier::isCanon(maker) && !exifWriter_->currentValue(kCanonFocusType).isNull()) {
            pairs.append({kCanonFocusType, canonTypes[position - 3]});
        }
        return writeValues(pairs);
    }
    if (position != 1 && position != 2) {
        return true;
    }
    const bool isAuto = position == 1;
    if (MakerNoteIdentifier::isCanon(maker)) {
        return writeValue(kCanonFocusType, isAuto ? QStringLiteral("1") : QStringLiteral("0"));
    }
    switch (maker) {
    case MakerNoteIdentifier::Fujifilm:
        return writeValue(
            QStringLiteral("Exif.Fujifilm.FocusMode"), isAuto ? QStringLiteral("0") : QStringLiteral("1"));
    case MakerNoteIdentifier::Nikon1:
        return writeValue(QStringLiteral("Exif.Nikon1.Focus"), isAuto ? QStringLiteral("AF") : QStringLiteral("MF"));
    case MakerNoteIdentifier::Nikon3:
        return writeValue(
            QStringLiteral("Exif.Nikon3.Focus"), isAuto ? QStringLiteral("AF") : QStringLiteral("MANUAL"));
    case MakerNoteIdentifier::Sigma:
        return writeValue(
            QStringLiteral("Exif.Sigma.FocusSetting"), isAuto ? QStringLiteral("AF") : QStringLiteral("M"));
    default:
        // The standard tag has no value for auto or manual focus; without a
        // maker note that does, there is nothing to write.
        return true;
    }
}

bool TAVMetadataWritterMgr::setMeteringMode(const TAVEntityPtr& entity)
{
    const int position = positionOf(TAVKeyLists::meteringModeLabels(), entity->value());
    if (position < 0) {
        return false;
    }
    clearOneMetadata(kMeteringMode);
    if (position == 0) {
        return true;
    }
    // The table lists Partial before Matrix; the standard numbers them 6 and 5.
    static const QStringList values = list({"1", "2", "3", "4", "6", "5"});
    return writeValue(kMeteringMode, values.value(position - 1));
}

bool TAVMetadataWritterMgr::setExposureProgram(const TAVEntityPtr& entity)
{
    const int32_t maker = makerNoteIdentifier();
    const int position = positionOf(TAVKeyLists::exposureProgramLabels(), entity->value());
    if (position < 0) {
        return false;
    }
    clearOneMetadata(kExposureProgram);
    if (position == 0) {
        return true;
    }
    if (maker == MakerNoteIdentifier::Nikon3 && position == 2) {
        return writeValue(kNikon3VariProgram, QStringLiteral("AUTO"));
    }
    if (maker == MakerNoteIdentifier::Nikon3 && position == 3) {
        return writeValue(kExposureProgram, QStringLiteral("2"));
    }
    if (position >= 1 && position <= 9) {
        static const QStringList values = list({"1", "2", "2", "3", "4", "5", "6", "7", "8"});
        QList<QPair<QString, QString>> pairs = {{kExposureProgram, values.value(position - 1)}};
        if (MakerNoteIdentifier::isCanon(maker) && !exifWriter_->currentValue(kCanonExposureProgram).isNull()) {
            pairs.append(canonProgramPairs(position));
        }
        return writeValues(pairs);
    }
    if (maker == MakerNoteIdentifier::Nikon3) {
        static const QStringList variPrograms = list({"NIGHT PORTRAIT", "NIGHT SCENE", "CLOSE UP"});
        if (position >= 10 && position <= 12) {
            return writeValue(kNikon3VariProgram, variPrograms.value(position - 10));
        }
        return true;
    }
    if (maker == MakerNoteIdentifier::Fujifilm) {
        return position == 11 ? writeValue(QStringLiteral("Exif.Fujifilm.PictureMode"), QStringLiteral("5")) : true;
    }
    if (MakerNoteIdentifier::isCanon(maker)) {
        const QList<QPair<QString, QString>> pairs = canonProgramPairs(position);
        return pairs.isEmpty() || writeValues(pairs);
    }
    return true;
}

bool TAVMetadataWritterMgr::setWhitebalance(const TAVEntityPtr& entity)
{
    const int position = positionOf(TAVKeyLists::whiteBalanceLabels(), entity->value());
    if (position < 0) {
        return false;
    }
    clearOneMetadata(kWhiteBalance);
    if (position == 0) {
        return true;
    }
    const QString balance = position == 1 ? QStringLiteral("0") : QStringLiteral("1");
    const bool balanceWritten = writeValue(kWhiteBalance, balance);
    static const QStringList lightSources = list({"0", "1", "11", "3", "2", "4"});
    const bool lightWritten = writeValues({{kWhiteBalance, balance}, {kLightSource, lightSources.value(position - 1)}});
    return balanceWritten && lightWritten;
}

bool TAVMetadataWritterMgr::setLabelledValue(
    const TAVEntityPtr& entity, const QString& key, const QStringList& labels, const QStringList& values)
{
    const int position = positionOf(labels, entity->value());
    if (position < 0) {
        return false;
    }
    clearOneMetadata(key);
    return position == 0 || writeValue(key, values.value(position - 1));
}

bool TAVMetadataWritterMgr::setContrast(const TAVEntityPtr& entity)
{
    return setLabelledValue(entity, kContrast, TAVKeyLists::contrastLabels(), list({"1", "0", "2"}));
}

bool TAVMetadataWritterMgr::setSaturation(const TAVEntityPtr& entity)
{
    return setLabelledValue(entity, kSaturation, TAVKeyLists::saturationLabels(), list({"1", "0", "2"}));
}

bool TAVMetadataWritterMgr::setSharpness(const TAVEntityPtr& entity)
{
    return setLabelledValue(entity, kSharpness, TAVKeyLists::sharpnessLabels(), list({"1", "0", "2"}));
}

// ---------------------------------------------------------------- clearing

bool TAVMetadataWritterMgr::replaceAndErase(const QString& key, const QString& value, const QStringList& makerKeys)
{
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
            return writeValue(kSensingMethod, QStringLiteral("1"));
        }
        const auto unknown = unknownValues().constFind(key);
        if (unknown != unknownValues().constEnd()) {
            return replaceAndErase(key, unknown->value, unknown->makerKeys);
        }
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

bool TAVMetadataWritterMgr::saveMetadataToImage()
{
    return exifWriter_->saveModifiedMetadata();
}

QString TAVMetadataWritterMgr::lastError() const
{
    return exifWriter_->lastError();
}

TAVImageMetadatReaderBase::SharedImagePtr TAVMetadataWritterMgr::writtenImage() const
{
    return exifWriter_->writtenImage();
}

void TAVMetadataWritterMgr::setWritesFile(bool writes)
{
    exifWriter_->setWritesFile(writes);
}

void TAVMetadataWritterMgr::setOnBytesMade(std::function<void(const QByteArray&)> onBytesMade)
{
    exifWriter_->setOnBytesMade(std::move(onBytesMade));
}
