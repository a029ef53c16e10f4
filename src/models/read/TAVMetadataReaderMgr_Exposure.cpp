#include "models/read/TAVMetadataReaderMgr.h"

#include "models/read/MakerNoteIdentifier.h"
#include "models/read/TAVExifReader.h"
#include "models/tables/TAVKeyLists.h"
#include "models/values/TAVMetadataHelper.h"

#include "foundation/TextNumbers.h"

#include <QRegularExpression>
#include <QStringList>

#include <array>
#include <cmath>
#include <optional>
#include <utility>

// The exposure facet: what the camera did (shutter, aperture, sensitivity, flash,
// focus, metering, program, white balance and the picture adjustments), read from
// the standard tags and, where they say nothing, from the maker notes.

namespace {

bool hasText(const QString& text)
{
    return !text.isEmpty();
}

// The number a tag holds, or nothing when the file lacks the tag: a rule that
// maps tag values to codes never fires on a missing tag (which would read as 0).
std::optional<int32_t> numberIn(const QString& text)
{
    if (!hasText(text)) {
        return std::nullopt;
    }
    return TextNumbers::intValue(text);
}

using CodeTable = std::initializer_list<std::pair<int32_t, int>>;

// The code the table gives for the value; 0 for no value or no entry.
int codeFor(std::optional<int32_t> value, CodeTable table)
{
    if (!value) {
        return 0;
    }
    for (const auto& [from, to] : table) {
        if (*value == from) {
            return to;
        }
    }
    return 0;
}

bool splitRational(const QString& text, int32_t& num, int32_t& denom)
{
    return TAVMetadataHelper::extractRational(text, &num, &denom);
}

// A fraction "0/d" with any d, "0/0" included: cameras write it for "no digital
// zoom", and it needs no division.
bool hasZeroNumerator(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    return parts.size() == 2 && TextNumbers::intValue(parts.at(0)) == 0;
}

// Whole part of a float, or nothing where the conversion to int is undefined.
std::optional<int32_t> wholePart(double value)
{
    if (!std::isfinite(value) || value >= 2147483648.0 || value <= -2147483649.0) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

QString wholeNumberText(double value)
{
    return QString::asprintf("%.0f", value);
}

using WordTable = std::initializer_list<std::pair<const char*, int>>;

// The code the table gives for a text equal to one of its words; 0 for none.
int wordCode(const QString& text, WordTable table)
{
    for (const auto& [word, code] : table) {
        if (text == QLatin1String(word)) {
            return code;
        }
    }
    return 0;
}

QString tagText(const TAVMetadataReaderMgr& manager, const char* key)
{
    return manager.getOneValueForKey(QLatin1String(key));
}

int tagCode(const TAVMetadataReaderMgr& manager, const char* key, CodeTable table)
{
    return codeFor(numberIn(tagText(manager, key)), table);
}

// Contrast, saturation and sharpness start alike: the standard tag decides
// whenever present (0 normal, 1 soft, 2 hard), then Canon's setting, then
// Fujifilm's. Nothing when none of them gives a code.
std::optional<int> commonAdjustmentCode(const TAVMetadataReaderMgr& manager, const char* standardKey,
    const char* canonKey, const char* fujifilmKey, CodeTable fujifilmTable)
{
    const QString standard = tagText(manager, standardKey);
    if (hasText(standard)) {
        return codeFor(numberIn(standard), {{0, 2}, {1, 1}, {2, 3}});
    }
    // 0xFFFF ("low") reads as -1 where the array member is typed signed.
    if (const int code = tagCode(manager, canonKey, {{0, 2}, {1, 3}, {65535, 1}, {-1, 1}})) {
        return code;
    }
    if (const int code = tagCode(manager, fujifilmKey, fujifilmTable)) {
        return code;
    }
    return std::nullopt;
}

// Sigma's texts "cont:+1.0", "satu:-0.3", "shar:+0.0": soft below zero, hard
// above, normal at zero; 0 for a text without the label.
int sigmaAdjustmentCode(const QString& text, const char* label, Qt::CaseSensitivity labelCase)
{
    if (text.size() <= 5 || text.left(5).compare(QLatin1String(label), labelCase) != 0) {
        return 0;
    }
    const QChar sign = text.at(5);
    if (sign == QLatin1Char('-')) {
        return 1;
    }
    if (sign == QLatin1Char('+') && text.mid(6, 3) != QLatin1String("0.0")) {
        return 3;
    }
    return 2;
}

QString labelOf(const QStringList& labels, int code)
{
    return labels.value(code, labels.value(0));
}

TAVMetadataReaderMgr::LabelAndIcon labelAndIcon(const QStringList& labels, const QStringList& icons, int code)
{
    return {{QLatin1String(TAVMetadataReaderMgr::kValueKey), labelOf(labels, code)},
        {QLatin1String(TAVMetadataReaderMgr::kImageNameKey), icons.value(code, icons.value(0))}};
}

// Nikon ISO texts hold two numbers, the first of them 0 ("0 200").
std::optional<int32_t> nikonIso(const QString& text)
{
    if (text.size() > 2 && TextNumbers::intValue(text.left(2)) == 0) {
        return TextNumbers::intValue(text.mid(2));
    }
    return std::nullopt;
}

// Camera dates are wall-clock times without a zone: the date services keep
// them as they are, so no daylight-saving change can move them.
} // namespace

int32_t TAVMetadataReaderMgr::makerNoteIdentifier() const
{
    if (!makerNote_) {
        if (!exifReader_) {
            makerNote_ = MakerNoteIdentifier::None;
        } else if (const std::optional<int32_t> read = exifReader_->makerNoteOfLastRead()) {
            makerNote_ = read; // the rows' own parse: no copy of the EXIF data
        } else {
            makerNote_ = MakerNoteIdentifier::fromExifData(exifReader_->getExifData());
        }
    }
    return *makerNote_;
}

QString TAVMetadataReaderMgr::getShutterSpeed() const
{
    int32_t num = 0;
    int32_t denom = 0;
    if (splitRational(tagText(*this, "Exif.Photo.ExposureTime"), num, denom)) {
        if (num >= 2 && denom >= 2 && denom >= num) {
            denom = static_cast<int32_t>(float(denom) / float(num) + 0.5f);
            num = 1;
        }
        if (denom > 1 && denom < num) {
            num = static_cast<int32_t>(float(num) / float(denom) + 0.5f);
            denom = 1;
        }
        return QString::asprintf("%d/%d", num, denom);
    }
    if (splitRational(tagText(*this, "Exif.Photo.ShutterSpeedValue"), num, denom)) {
        // APEX: the exposure lasts 2^-value seconds. Values below 0 are longer
        // than a second and show as whole seconds instead of "1/0".
        const float apex = float(num) / float(denom);
        if (apex < 0) {
            const std::optional<int32_t> seconds = wholePart(std::round(std::pow(2.0f, -apex)));
            return seconds ? QString::asprintf("%d/1 sec", *seconds) : QString();
        }
        const std::optional<int32_t> fraction = wholePart(std::pow(2.0f, apex) + 0.5f);
        return fraction ? QString::asprintf("%d/%d sec", 1, *fraction) : QString();
    }
    return QString();
}

QString TAVMetadataReaderMgr::getAperture() const
{
    int32_t num = 0;
    int32_t denom = 0;
    if (splitRational(tagText(*this, "Exif.Photo.FNumber"), num, denom)) {
        return QString::asprintf("%.2f", double(float(num) / float(denom)));
    }
    if (splitRational(tagText(*this, "Exif.Photo.ApertureValue"), num, denom)) {
        // APEX: the f-number is sqrt(2)^value.
        const double fNumber = std::sqrt(std::pow(2.0, double(float(num) / float(denom))));
        return std::isfinite(fNumber) ? QString::asprintf("%.2f", fNumber) : QString();
    }
    return QString();
}

QString TAVMetadataReaderMgr::getSensitivity() const
{
    std::optional<int32_t> iso;
    QString text = tagText(*this, "Exif.Photo.ISOSpeedRatings");
    if (!hasText(text)) {
        text = tagText(*this, "Exif.Photo.ExposureIndex");
    }
    const QString canonIso = tagText(*this, "Exif.CanonSi.ISOSpeed");
    const QString nikon1Iso = tagText(*this, "Exif.Nikon1.ISOSpeed");
    const QString nikon2Iso = tagText(*this, "Exif.Nikon2.ISOSpeed");
    if (hasText(text)) {
        iso = TextNumbers::intValue(text);
    } else if (hasText(canonIso) && TextNumbers::longLongValue(canonIso) != 0) {
        // Code 0 is no reading (a cleared member of the array reads 0, which
        // would otherwise show ISO 3).
        const float ev = evFromStepCode(TextNumbers::longLongValue(canonIso));
        if (const std::optional<int32_t> whole = wholePart(std::pow(2.0f, ev))) {
            iso = wholePart(double(*whole) * 3.125);
        }
    } else if (nikonIso(nikon1Iso)) {
        iso = nikonIso(nikon1Iso);
    } else if (hasText(nikon2Iso)) {
        const int code = codeFor(numberIn(nikon2Iso), {{1, 80}, {2, 160}, {4, 320}, {5, 100}});
        iso = code ? std::optional<int32_t>(code) : std::nullopt;
    } else {
        QString nikon3Iso = tagText(*this, "Exif.Nikon3.ISOSpeed");
        if (!hasText(nikon3Iso)) {
            nikon3Iso = tagText(*this, "Exif.Nikon3.ISOSetting");
        }
        iso = nikonIso(nikon3Iso);
    }
    if (!iso || *iso == -1) {
        return QString();
    }
    return QString::asprintf("%d", *iso);
}

int TAVMetadataReaderMgr::flashCode() const
{
    const std::optional<int32_t> flash = numberIn(tagText(*this, "Exif.Photo.Flash"));
    if (flash) {
        const int32_t bits = *flash;
        const auto hasAll = [bits](int32_t mask) { return (bits & mask) == mask; };
        if (hasAll(0x41)) {
            return 5; // red-eye reduction
        }
        if (hasAll(0x19)) {
            return 2; // fired in auto mode
        }
        if (hasAll(0x18)) {
            return 1; // auto mode, did not fire
        }
        if (hasAll(0x09)) {
            return 3; // forced on, fired
        }
        if (bits & 0x10) {
            return 4;
        }
        return (bits & 0x01) ? 2 : 1;
    }
    if (const int code = tagCode(*this, "Exif.Fujifilm.FlashMode", {{1, 3}, {2, 4}, {3, 5}})) {
        return code;
    }
    const std::optional<int32_t> mode = numberIn(tagText(*this, "Exif.CanonCs.FlashMode"));
    const std::optional<int32_t> activity = numberIn(tagText(*this, "Exif.CanonCs.FlashActivity"));
    if (!mode || !activity) {
        return 0;
    }
    switch (*mode) {
    case 0:
        return 4;
    case 1:
        return codeFor(activity, {{0, 1}, {1, 2}});
    case 2:
        return 3;
    case 3:
    case 5:
    case 6:
        return codeFor(activity, {{0, 1}, {1, 5}});
    default:
        return codeFor(activity, {{0, 1}, {1, 3}});
    }
}

QString TAVMetadataReaderMgr::getFlash() const
{
    return labelOf(TAVKeyLists::flashLabels(), flashCode());
}

int TAVMetadataReaderMgr::sensingMethodCode() const
{
    const QString camera = getCameraMakeAndModel();
    const QString method = tagText(*this, "Exif.Photo.SensingMethod");
    const std::optional<int32_t> value = numberIn(method);
    if (value == 2
        && (isString(camera, QStringLiteral("Sigma"), true) || isString(camera, QStringLiteral("SD9"), true)
            || isString(camera, QStringLiteral("SD10"), true))) {
        return 3;
    }
    if (value && isString(camera, QStringLiteral("OLYMPUS"), true)
        && (isString(camera, QStringLiteral("C3030Z"), true) || isString(camera, QStringLiteral("C3040Z"), true))) {
        return 1;
    }
    return codeFor(value, {{2, 1}, {3, 2}, {4, 3}, {5, 4}, {7, 5}, {8, 6}});
}

QString TAVMetadataReaderMgr::getSensor() const
{
    return labelOf(TAVKeyLists::sensingMethodLabels(), sensingMethodCode());
}

int TAVMetadataReaderMgr::focusModeCode() const
{
    const QString range = tagText(*this, "Exif.Photo.SubjectDistanceRange");
    const QString nikon3 = tagText(*this, "Exif.Nikon3.Focus");
    if (hasText(range) && !hasText(nikon3)) {
        if (const int code = codeFor(numberIn(range), {{1, 3}, {2, 4}, {3, 5}})) {
            return code;
        }
    }
    if (const int code = tagCode(*this, "Exif.CanonCs.FocusType", {{0, 2}, {1, 1}, {2, 1}, {8, 1}, {3, 3}, {7, 5}})) {
        return code;
    }
    const QString olympusMacro = tagText(*this, "Exif.Olympus.Macro");
    if (hasText(olympusMacro)) {
        return codeFor(numberIn(olympusMacro), {{1, 3}});
    }
    const QString fujiMacro = tagText(*this, "Exif.Fujifilm.Macro");
    if (hasText(fujiMacro)) {
        return codeFor(numberIn(fujiMacro), {{1, 3}});
    }
    const QString fujiFocus = tagText(*this, "Exif.Fujifilm.FocusMode");
    if (hasText(fujiFocus)) {
        return codeFor(numberIn(fujiFocus), {{0, 1}, {1, 2}});
    }
    const QString nikon1 = tagText(*this, "Exif.Nikon1.Focus");
    if (isString(nikon1, QStringLiteral("AF"), true)) {
        return 1;
    }
    if (isString(nikon1, QStringLiteral("MF"), true) || isString(nikon1, QStringLiteral("MANUAL"), true)) {
        return 2;
    }
    if (tagText(*this, "Exif.Nikon2.Focus") == QLatin1String("1/0")) {
        return 5;
    }
    if (isString(nikon3, QStringLiteral("AF"), true)) {
        return 1;
    }
    if (nikon3.toUpper() == QLatin1String("MANUAL")) {
        return 2;
    }
    return wordCode(tagText(*this, "Exif.Sigma.FocusSetting").toUpper(), {{"AF", 1}, {"M", 2}});
}

QString TAVMetadataReaderMgr::getFocusMode() const
{
    return labelOf(TAVKeyLists::focusModeLabels(), focusModeCode());
}

int TAVMetadataReaderMgr::meteringModeCode() const
{
    const QString metering = tagText(*this, "Exif.Photo.MeteringMode");
    if (hasText(metering)) {
        return codeFor(numberIn(metering), {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 6}, {6, 5}});
    }
    if (const int code
        = wordCode(tagText(*this, "Exif.Sigma.MeteringMode").toUpper(), {{"A", 1}, {"C", 2}, {"8", 6}})) {
        return code;
    }
    return wordCode(tagText(*this, "Exif.CanonCs.MeteringMode"), {{"3", 6}, {"4", 5}, {"5", 2}});
}

QString TAVMetadataReaderMgr::getMeteringMode() const
{
    return labelOf(TAVKeyLists::meteringModeLabels(), meteringModeCode());
}

int TAVMetadataReaderMgr::exposureProgramCode() const
{
    const QString variProgram = tagText(*this, "Exif.Nikon3.VariProgram");
    const std::optional<int32_t> program = numberIn(tagText(*this, "Exif.Photo.ExposureProgram"));
    if (makerNoteIdentifier() == MakerNoteIdentifier::Nikon3) {
        if (isString(variProgram, QStringLiteral("AUTO"), true)) {
            return 2;
        }
        if (program == 2) {
            return 3; // Nikon's flexible program
        }
    }
    if (const int code = codeFor(program, {{1, 1}, {2, 2}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 9}})) {
        return code;
    }
    // 0xFFFF is Canon's "not available" (a program the user chose to be
    // unknown), read as -1 where the member is typed signed.
    const std::optional<int32_t> canon = numberIn(tagText(*this, "Exif.CanonCs.ExposureProgram"));
    if (canon && *canon != 65535 && *canon != -1) {
        if (*canon == 0) {
            // The camera's easy mode names the scene instead.
            const int32_t easy = TextNumbers::intValue(tagText(*this, "Exif.CanonCs.EasyMode"));
            if (const int code = codeFor(easy, {{0, 2}, {2, 9}, {3, 5}, {4, 5}, {5, 11}, {8, 8}, {9, 7}, {10, 12}})) {
                return code;
            }
            return 1;
        }
        if (const int code = *canon >= 4 ? 1 : codeFor(canon, {{1, 2}, {2, 5}, {3, 4}})) {
            return code;
        }
    }
    if (const int code = tagCode(*this, "Exif.Fujifilm.PictureMode",
            {{0, 2}, {1, 8}, {2, 9}, {4, 7}, {5, 11}, {6, 6}, {256, 4}, {512, 5}, {768, 1}})) {
        return code;
    }
    if (const int code
        = wordCode(tagText(*this, "Exif.Sigma.ExposureMode").toUpper(), {{"P", 2}, {"A", 4}, {"S", 5}, {"M", 1}})) {
        return code;
    }
    for (const auto& [scene, code] : {std::pair{"SPORT", 7}, {"NIGHT PORTRAIT", 10}, {"PORTRAIT", 8}, {"LANDSCAPE", 9},
             {"LAND SCAPE", 9}, {"CLOSE UP", 12}, {"NIGHT SCENE", 11}}) {
        if (isString(variProgram, QLatin1String(scene), true)) {
            return code;
        }
    }
    return 0;
}

QString TAVMetadataReaderMgr::getExposureProgram() const
{
    return labelOf(TAVKeyLists::exposureProgramLabels(), exposureProgramCode());
}

QString TAVMetadataReaderMgr::getSubjectDistance() const
{
    const QString text = tagText(*this, "Exif.Photo.SubjectDistance");
    double distance = 0;
    if (hasText(text)) {
        // Read as 64-bit: the "infinity" marker 0xFFFFFFFF does not fit 32 bits.
        const QStringList parts = text.split(QLatin1Char('/'));
        if (parts.size() == 2) {
            const int64_t num = TextNumbers::longLongValue(parts.at(0));
            const int64_t denom = TextNumbers::longLongValue(parts.at(1));
            if (num != 0 && denom != 0 && num != 4294967295LL && num != -1) {
                distance = double(float(double(num) / double(denom)));
            }
        }
    } else {
        distance = 0.01 * TextNumbers::intValue(tagText(*this, "Exif.CanonSi.SubjectDistance"));
    }
    return distance > 0 ? wholeNumberText(distance) : QStringLiteral("");
}

QString TAVMetadataReaderMgr::getFocalLength() const
{
    int32_t num = 0;
    int32_t denom = 0;
    double length = 0;
    if (splitRational(tagText(*this, "Exif.Photo.FocalLength"), num, denom) && denom != 0) {
        length = double(num) / double(denom);
    }
    return length > 0 ? wholeNumberText(length) : QStringLiteral("");
}

QString TAVMetadataReaderMgr::getFocalLength35() const
{
    const int32_t length = TextNumbers::intValue(tagText(*this, "Exif.Photo.FocalLengthIn35mmFilm"));
    return length > 0 ? wholeNumberText(length) : QStringLiteral("");
}

QString TAVMetadataReaderMgr::getDigitalZoom() const
{
    int32_t num = 0;
    int32_t denom = 0;
    double zoom = 0;
    const QString ratio = tagText(*this, "Exif.Photo.DigitalZoomRatio");
    if (hasText(ratio)) {
        if (hasZeroNumerator(ratio)) {
            zoom = 1.0;
        } else if (splitRational(ratio, num, denom)) {
            zoom = double(num) / double(denom);
        }
    } else if (const int code = tagCode(*this, "Exif.CanonCs.DigitalZoom", {{0, 1}, {1, 2}, {2, 4}})) {
        zoom = code;
    } else {
        const char* const keys[] = {"Exif.Olympus.DigitalZoom", "Exif.Nikon1.DigitalZoom", "Exif.Nikon2.DigitalZoom"};
        for (const char* key : keys) {
            const QString text = getOneValueForKey(QLatin1String(key));
            if (!hasText(text)) {
                continue;
            }
            if (key == keys[2] && hasZeroNumerator(text)) {
                zoom = 1.0; // Nikon's second maker-note format writes 0 for no zoom
            } else if (splitRational(text, num, denom)) {
                zoom = double(num) / double(denom);
            }
            break;
        }
    }
    return zoom > 0 ? wholeNumberText(zoom) : QStringLiteral("");
}

int TAVMetadataReaderMgr::whiteBalanceCode() const
{
    const int32_t balance = numberIn(tagText(*this, "Exif.Photo.WhiteBalance")).value_or(-1);
    const QString light = tagText(*this, "Exif.Photo.LightSource");
    // No white balance, or a manual one without a light source, says nothing:
    // ask the maker notes.
    if (balance == -1 || (balance == 1 && !hasText(light))) {
        if (const int code = tagCode(*this, "Exif.CanonSi.WhiteBalance",
                {{0, 1}, {1, 2}, {2, 3}, {8, 3}, {3, 4}, {4, 5}, {14, 5}, {5, 6}})) {
            return code;
        }
        if (const int code = tagCode(*this, "Exif.Fujifilm.WhiteBalance",
                {{0, 1}, {256, 2}, {512, 3}, {768, 5}, {769, 5}, {770, 5}, {1024, 4}})) {
            return code;
        }
        if (isString(tagText(*this, "Exif.Nikon1.WhiteBalance"), QStringLiteral("AUTO"), true)) {
            return 1;
        }
        if (const int code
            = tagCode(*this, "Exif.Nikon2.WhiteBalance", {{0, 1}, {2, 2}, {3, 4}, {4, 5}, {5, 3}, {6, 6}})) {
            return code;
        }
        if (const int code = wordCode(tagText(*this, "Exif.Sigma.WhiteBalance").toLower(),
                {{"daylight", 2}, {"sunlight", 2}, {"auto", 1}, {"fluorescent", 5}, {"incandescent", 4}, {"flash", 6},
                    {"shade", 3}})) {
            return code;
        }
    }
    if (balance == 0) {
        return 1;
    }
    if (balance != 2 && hasText(light)) {
        const std::optional<int32_t> source = numberIn(light);
        if (source == 20 && isString(getCameraMakeAndModel(), QStringLiteral("OLYMPUS"), true)) {
            return 3;
        }
        return codeFor(source,
            {{0, 1}, {1, 2}, {9, 2}, {2, 5}, {12, 5}, {13, 5}, {14, 5}, {15, 5}, {3, 4}, {24, 4}, {4, 6}, {10, 3},
                {11, 3}});
    }
    return 0;
}

TAVMetadataReaderMgr::LabelAndIcon TAVMetadataReaderMgr::getWhitebalance() const
{
    return labelAndIcon(TAVKeyLists::whiteBalanceLabels(), TAVKeyLists::whiteBalanceIcons(), whiteBalanceCode());
}

int TAVMetadataReaderMgr::contrastCode() const
{
    if (const std::optional<int> code = commonAdjustmentCode(*this, "Exif.Photo.Contrast", "Exif.CanonCs.Contrast",
            "Exif.Fujifilm.Tone", {{0, 2}, {256, 3}, {512, 1}})) {
        return *code;
    }
    const QString nikon1 = tagText(*this, "Exif.Nikon1.ImageAdjustment");
    if (hasText(nikon1)) {
        if (isString(nikon1, QStringLiteral("CONTRAST+"), true)) {
            if (TextNumbers::floatValue(nikon1.mid(9)) != 0) {
                return 3;
            }
        } else {
            return isString(nikon1, QStringLiteral("CONTRAST-"), true) ? 1 : 2;
        }
    }
    const QString nikon2 = tagText(*this, "Exif.Nikon2.ImageAdjustment");
    if (hasText(nikon2)) {
        const int32_t adjustment = TextNumbers::intValue(nikon2);
        return adjustment == 3 ? 3 : adjustment == 4 ? 1 : 2;
    }
    return sigmaAdjustmentCode(tagText(*this, "Exif.Sigma.Contrast"), "cont:", Qt::CaseSensitive);
}

TAVMetadataReaderMgr::LabelAndIcon TAVMetadataReaderMgr::getContrast() const
{
    return labelAndIcon(TAVKeyLists::contrastLabels(), TAVKeyLists::contrastIcons(), contrastCode());
}

int TAVMetadataReaderMgr::saturationCode() const
{
    if (const std::optional<int> code = commonAdjustmentCode(*this, "Exif.Photo.Saturation", "Exif.CanonCs.Saturation",
            "Exif.Fujifilm.Color", {{0, 2}, {256, 3}, {512, 1}})) {
        return *code;
    }
    return sigmaAdjustmentCode(tagText(*this, "Exif.Sigma.Saturation"), "satu:", Qt::CaseInsensitive);
}

TAVMetadataReaderMgr::LabelAndIcon TAVMetadataReaderMgr::getSaturation() const
{
    return labelAndIcon(TAVKeyLists::saturationLabels(), TAVKeyLists::saturationIcons(), saturationCode());
}

int TAVMetadataReaderMgr::sharpnessCode() const
{
    if (const std::optional<int> code = commonAdjustmentCode(*this, "Exif.Photo.Sharpness", "Exif.CanonCs.Sharpness",
            "Exif.Fujifilm.Sharpness", {{1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 3}})) {
        return *code;
    }
    const QString nikon1 = tagText(*this, "Exif.Nikon1.Sharpening");
    if (isString(nikon1, QStringLiteral("AUTO"), true)) {
        return 2;
    }
    if (isString(nikon1, QStringLiteral("HIGH"), true)) {
        return 3;
    }
    return sigmaAdjustmentCode(tagText(*this, "Exif.Sigma.Sharpness"), "shar:", Qt::CaseSensitive);
}

TAVMetadataReaderMgr::LabelAndIcon TAVMetadataReaderMgr::getSharpness() const
{
    return labelAndIcon(TAVKeyLists::sharpnessLabels(), TAVKeyLists::sharpnessIcons(), sharpnessCode());
}

std::array<bool, 13> TAVMetadataReaderMgr::validExposureProgramSettings() const
{
    std::array<bool, 13> valid{};
    for (int code : {0, 1, 2, 4, 5, 6, 7, 8, 9}) {
        valid[code] = true;
    }
    const int32_t maker = makerNoteIdentifier();
    if (maker == MakerNoteIdentifier::Nikon3) {
        valid[3] = valid[10] = valid[11] = valid[12] = true;
    } else if (MakerNoteIdentifier::isCanon(maker)) {
        valid[11] = valid[12] = true;
    } else if (maker == MakerNoteIdentifier::Fujifilm) {
        valid[11] = true;
    }
    return valid;
}

std::array<bool, 6> TAVMetadataReaderMgr::validFocusSettings() const
{
    std::array<bool, 6> valid{true, false, false, true, true, true};
    const int32_t maker = makerNoteIdentifier();
    // Only cameras whose maker notes say how they focused may be set to auto or manual.
    if (MakerNoteIdentifier::isCanon(maker) || maker == MakerNoteIdentifier::Fujifilm
        || maker == MakerNoteIdentifier::Nikon1 || maker == MakerNoteIdentifier::Nikon3
        || maker == MakerNoteIdentifier::Sigma) {
        valid[1] = valid[2] = true;
    }
    return valid;
}
