#include "models/write/TAVMetadataWritterMgr.h"

#include "foundation/TextNumbers.h"
#include "models/read/MakerNoteIdentifier.h"
#include "models/tables/TAVKeyLists.h"
#include "models/values/TAVDateTagForms.h"
#include "models/values/TAVMetadataHelper.h"
#include "models/write/TAVExifWriter.h"
#include "models/write/TAVMetadataWritterMgr_Keys.h"

#include <QMap>
#include <QRegularExpression>

#include <optional>

// The camera facet: the exposure fields a user may edit (shutter, aperture,
// sensitivity, flash, focus, metering, program, white balance and the picture
// adjustments), checked and converted as the save writes them, with the maker
// notes' own members kept in step.

using namespace WriterKeys;

namespace {

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
