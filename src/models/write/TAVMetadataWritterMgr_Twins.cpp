// The twins of an edited value: the same information kept in another family
// of the file, and the dates a typed, shifted or cleared capture date moves.
#include "models/write/TAVMetadataWritterMgr.h"

#include "foundation/DateServices.h"
#include "models/write/TAVExifWriter.h"
#include "models/write/TAVMetadataWritterMgr_Keys.h"

#include <QDateTime>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <iterator>

using namespace WriterKeys;

namespace {

const QString kIptcByline = QStringLiteral("Iptc.Application2.Byline");
const QString kIptcCopyrightNotice = QStringLiteral("Iptc.Application2.Copyright");
const QString kIptcCaption = QStringLiteral("Iptc.Application2.Caption");
const QString kIptcKeywords = QStringLiteral("Iptc.Application2.Keywords");
const QString kImageDescription = QStringLiteral("Exif.Image.ImageDescription");
const QString kExposureBias = QStringLiteral("Exif.Photo.ExposureBiasValue");
const QString kXpKeywords = QStringLiteral("Exif.Image.XPKeywords");
const QString kXpTitle = QStringLiteral("Exif.Image.XPTitle");
const QString kXpSubject = QStringLiteral("Exif.Image.XPSubject");
const QString kXpAuthor = QStringLiteral("Exif.Image.XPAuthor");
const QString kXpComment = QStringLiteral("Exif.Image.XPComment");
const QString kIptcDigitizationDate = QStringLiteral("Iptc.Application2.DigitizationDate");
const QString kXmpDescription = QStringLiteral("Xmp.dc.description");

const QString kIptcObjectName = QStringLiteral("Iptc.Application2.ObjectName");
const QString kArtist = QStringLiteral("Exif.Image.Artist");
const QString kExifCopyright = QStringLiteral("Exif.Image.Copyright");

// The tags each text field of the form shows, in the order the readers take
// them: the field's own tag, then those it falls back to where the ones
// before hold no text (the description shows the caption of a file without
// one). The text a field showed is what its twins are compared with.
const QMap<QString, QStringList>& shownThrough()
{
    static const QMap<QString, QStringList> keys = {
        {kIptcCaption, {kIptcCaption}},
        {kImageDescription, {kImageDescription, kIptcCaption, kXmpDescription}},
        {kIptcObjectName,
            {kIptcObjectName, QStringLiteral("Xmp.dc.title"), kXpTitle,
                QStringLiteral("Iptc.Application2.BylineTitle")}},
        {kArtist, {kArtist}},
        {kExifCopyright, {kExifCopyright, kIptcCopyrightNotice, QStringLiteral("Xmp.dc.copyright")}},
        {kIptcKeywords, {kIptcKeywords, QStringLiteral("Xmp.dc.subject")}},
    };
    return keys;
}

bool isShownText(const QString& key)
{
    return shownThrough().contains(key);
}

// The names of a list (keywords, photographers), whichever separator its
// tag uses (Windows' keywords are separated by ";", a repeated dataset or an
// XMP list reads joined with ", "), in order.
QStringList namesOf(const QString& list)
{
    static const QRegularExpression separators(QStringLiteral("[,;]"));
    QStringList names;
    for (const QString& name : list.split(separators)) {
        if (!name.trimmed().isEmpty()) {
            names.append(name.trimmed());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Whether `cut` is what IPTC keeps of `whole`, a text past the length of
// the dataset `iptcKey`: its start, up to the last whole character within it.
bool isIptcCutOf(const QString& cut, const QString& whole, const QString& iptcKey)
{
    const qsizetype maxBytes = TAVExifWriter::iptcMaxBytes(iptcKey);
    const qsizetype bytes = cut.toUtf8().size();
    if (maxBytes <= 0 || cut.isEmpty() || cut.size() >= whole.size() || bytes > maxBytes || !whole.startsWith(cut)) {
        return false;
    }
    const qsizetype units = whole.at(cut.size()).isHighSurrogate() ? 2 : 1;
    return bytes + whole.mid(cut.size(), units).toUtf8().size() > maxBytes;
}

bool isSameText(const QString& held, const QString& shown, const QString& iptcKey)
{
    return held.trimmed() == shown.trimmed() || isIptcCutOf(held, shown, iptcKey) || isIptcCutOf(shown, held, iptcKey);
}

// Whether a twin holding `held` is a copy of the text the field `key`
// showed: the same text, IPTC's cut of it, the same names in any order (the
// keywords, the photographers), or nothing. Bytes that read as no text are
// another text, kept as they are.
bool isCopyOf(const std::optional<QString>& held, const QString& shown, const QString& key)
{
    if (!held) {
        return false;
    }
    if (held->trimmed().isEmpty()) {
        return true;
    }
    // The IPTC dataset whose cut a copy may be.
    const QString iptcKey = key == kImageDescription ? kIptcCaption : key;
    if (key != kIptcKeywords && key != kArtist) {
        return isSameText(*held, shown, iptcKey);
    }
    const QStringList heldNames = namesOf(*held);
    const QStringList shownNames = namesOf(shown);
    if (heldNames.size() != shownNames.size()) {
        return false;
    }
    for (qsizetype i = 0; i < heldNames.size(); ++i) {
        if (!isSameText(heldNames.at(i), shownNames.at(i), iptcKey)) {
            return false;
        }
    }
    return true;
}

// The same information kept in another family, which programs that read
// that family first would otherwise show with its old value.
const QMap<QString, QStringList>& textTwins()
{
    static const QMap<QString, QStringList> twins = {
        // Windows keeps the keywords in an XP tag and in its own XMP
        // schema, and shows those first.
        {kIptcKeywords,
            {QStringLiteral("Xmp.dc.subject"), kXpKeywords, QStringLiteral("Xmp.MicrosoftPhoto.LastKeywordXMP"),
                QStringLiteral("Xmp.MicrosoftPhoto.LastKeywordIPTC")}},
        // Its title and author likewise, where the file holds them, and the
        // caption, which Windows shows as the subject and the comments.
        {kIptcObjectName, {QStringLiteral("Xmp.dc.title"), kXpTitle}},
        {kIptcCaption, {kXmpDescription, kImageDescription, kXpSubject, kXpComment}},
        {kImageDescription, {kXmpDescription, kIptcCaption, kXpSubject, kXpComment}},
        {kArtist, {QStringLiteral("Xmp.dc.creator"), kIptcByline, kXpAuthor}},
        {kExifCopyright, {QStringLiteral("Xmp.dc.rights"), kIptcCopyrightNotice}},
        {kExposureBias, {QStringLiteral("Xmp.exif.ExposureBiasValue")}},
    };
    return twins;
}

// The texts IPTC cuts to its dataset's length, with the XMP twin that keeps
// the whole text. The EXIF image description keeps it too; its IPTC twin is
// the caption.
const QMap<QString, QString>& wholeTextTwins()
{
    static const QMap<QString, QString> twins = {
        {QStringLiteral("Iptc.Application2.ObjectName"), QStringLiteral("Xmp.dc.title")},
        {kIptcCaption, QStringLiteral("Xmp.dc.description")},
        {kImageDescription, QStringLiteral("Xmp.dc.description")},
        {kIptcKeywords, QStringLiteral("Xmp.dc.subject")},
    };
    return twins;
}

bool isAscii(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

QStringList wordsOf(const QString& keywords)
{
    QStringList words;
    for (const QString& word : keywords.split(QLatin1Char(','))) {
        if (!word.trimmed().isEmpty()) {
            words.append(word.trimmed());
        }
    }
    return words;
}

// The Windows texts among a key's twins.
QStringList windowsTwins(const QStringList& twins)
{
    QStringList found;
    std::copy_if(twins.begin(), twins.end(), std::back_inserter(found),
        [](const QString& twin) { return twin.startsWith(kXpPrefix); });
    return found;
}

const QString kGpsInfoPrefix = QStringLiteral("Exif.GPSInfo.");
const QString kXmpExifPrefix = QStringLiteral("Xmp.exif.");

// The XMP property that restates an EXIF coordinate, altitude or reference,
// and the EXIF tag whose value it takes: XMP keeps a coordinate's
// hemisphere in the coordinate's own text.
struct PositionTwin {
    QString xmpKey;
    QString exifKey;
    bool isCoordinate = false;
};

const QMap<QString, PositionTwin>& positionTwins()
{
    const auto coordinate = [](const char* name) {
        return PositionTwin{kXmpExifPrefix + QLatin1String(name), kGpsInfoPrefix + QLatin1String(name), true};
    };
    const auto sameForm = [](const char* name) {
        return PositionTwin{kXmpExifPrefix + QLatin1String(name), kGpsInfoPrefix + QLatin1String(name), false};
    };
    static const QMap<QString, PositionTwin> twins = {
        {kGpsInfoPrefix + QStringLiteral("GPSLatitude"), coordinate("GPSLatitude")},
        {kGpsInfoPrefix + QStringLiteral("GPSLatitudeRef"), coordinate("GPSLatitude")},
        {kGpsInfoPrefix + QStringLiteral("GPSLongitude"), coordinate("GPSLongitude")},
        {kGpsInfoPrefix + QStringLiteral("GPSLongitudeRef"), coordinate("GPSLongitude")},
        {kGpsInfoPrefix + QStringLiteral("GPSAltitude"), sameForm("GPSAltitude")},
        {kGpsInfoPrefix + QStringLiteral("GPSAltitudeRef"), sameForm("GPSAltitudeRef")},
    };
    return twins;
}

// The EXIF coordinate ("36/1 35/1 5079/100") in XMP's form of degrees and
// decimal minutes with the hemisphere ("36,35.8465N"); null when it is not
// three numbers.
QString xmpCoordinate(const QString& exifText, const QString& reference, bool latitude)
{
    const QStringList parts = exifText.simplified().split(QLatin1Char(' '));
    if (parts.size() != 3) {
        return QString();
    }
    double degrees = 0.0;
    double scale = 1.0;
    for (const QString& part : parts) {
        const QStringList fraction = part.split(QLatin1Char('/'));
        bool numeratorOk = false;
        bool denominatorOk = fraction.size() == 1;
        const double numerator = fraction.at(0).toDouble(&numeratorOk);
        const double denominator = fraction.size() == 2 ? fraction.at(1).toDouble(&denominatorOk) : 1.0;
        if (!numeratorOk || !denominatorOk || fraction.size() > 2 || denominator == 0.0) {
            return QString();
        }
        degrees += numerator / denominator / scale;
        scale *= 60.0;
    }
    // Whole hundred-millionths of a minute (under a millimetre), so the
    // minutes never round up to 60.
    constexpr qint64 kUnitsPerMinute = 100000000;
    const qint64 units = std::llround(degrees * 60.0 * double(kUnitsPerMinute));
    QString fractionDigits = QStringLiteral("%1").arg(units % kUnitsPerMinute, 8, 10, QLatin1Char('0'));
    while (fractionDigits.size() > 1 && fractionDigits.endsWith(QLatin1Char('0'))) {
        fractionDigits.chop(1);
    }
    const QString letter = reference.trimmed().left(1).toUpper();
    const QString hemisphere = letter.isEmpty() ? (latitude ? QStringLiteral("N") : QStringLiteral("E")) : letter;
    return QStringLiteral("%1,%2.%3%4")
        .arg(units / (60 * kUnitsPerMinute))
        .arg((units / kUnitsPerMinute) % 60, 2, 10, QLatin1Char('0'))
        .arg(fractionDigits, hemisphere);
}

// Whether IPTC keeps only the start of the text (of a keyword, for keywords).
bool iptcCuts(const QString& key, const QString& value)
{
    const QString iptcKey = key == kImageDescription ? kIptcCaption : key;
    const int maxBytes = TAVExifWriter::iptcMaxBytes(iptcKey);
    if (maxBytes <= 0) {
        return false;
    }
    const QStringList texts = iptcKey == kIptcKeywords ? wordsOf(value) : QStringList{value};
    return std::any_of(
        texts.begin(), texts.end(), [maxBytes](const QString& text) { return text.toUtf8().size() > maxBytes; });
}

// An XMP date ("yyyy-MM-ddTHH:mm:ss") in the form of the value it replaces:
// a date alone stays a date alone, minutes stay minutes, and the fraction and
// the zone ("-07:00", "Z") are kept as they stand, since the wall-clock time
// was moved in that zone. Any other current text gets the full form.
const QRegularExpression& xmpDateForm()
{
    static const QRegularExpression form(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}(T\\d{2}:\\d{2}(:\\d{2})?(\\.\\d+)?)?(Z|[+-]\\d{2}:\\d{2})?$"));
    return form;
}

QString xmpDateInFormOf(const QDateTime& date, const QString& current)
{
    const QRegularExpressionMatch match = xmpDateForm().match(current.trimmed());
    if (!match.hasMatch()) {
        return DateServices::getStringFromDate(date, QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    }
    if (match.captured(1).isEmpty()) {
        return DateServices::getStringFromDate(date, QStringLiteral("yyyy-MM-dd")) + match.captured(4);
    }
    const QString clock
        = match.captured(2).isEmpty() ? QStringLiteral("yyyy-MM-ddTHH:mm") : QStringLiteral("yyyy-MM-ddTHH:mm:ss");
    return DateServices::getStringFromDate(date, clock) + match.captured(3) + match.captured(4);
}

// The wall-clock moment of an XMP date with a day, and whether it names a
// time of day; invalid for any other text (a year or a month alone).
QDateTime xmpMoment(const QString& text, bool* hasTime)
{
    const QRegularExpressionMatch match = xmpDateForm().match(text.trimmed());
    if (!match.hasMatch()) {
        return {};
    }
    *hasTime = !match.captured(1).isEmpty();
    // Hours and minutes, then the seconds or none; a fraction stays as it is.
    const QString clock
        = match.captured(1).mid(1, 5) + (match.captured(2).isEmpty() ? QStringLiteral(":00") : match.captured(2));
    const QDate day = QDate::fromString(text.trimmed().left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = *hasTime ? QTime::fromString(clock, QStringLiteral("HH:mm:ss")) : QTime(0, 0);
    return day.isValid() && time.isValid() ? QDateTime(day, time, Qt::UTC) : QDateTime();
}

// The IPTC time text of a moment in the form the file keeps: with the zone
// of the current value ("08:38:52+02:00") or, where the file names none,
// without one.
QString iptcTimeText(const QDateTime& date, const QString& current, bool hasZone)
{
    const QString clock = DateServices::getStringFromDate(date, QStringLiteral("HH:mm:ss"));
    if (!hasZone) {
        return clock;
    }
    // A damaged time has no zone to keep: it takes the dataset's standard
    // form, with the zone the library gives a time typed without one.
    static const QRegularExpression zone(QStringLiteral("^[+-]\\d{2}:\\d{2}$"));
    const QString kept = current.mid(8);
    return clock + (zone.match(kept).hasMatch() ? kept : QStringLiteral("+00:00"));
}

// Every date of the moment a photo was taken that a file may keep, in each
// family, with its own form: a typed or shifted capture date moves them all,
// and a cleared one takes the capture dates. The modify dates move with it
// but stay when it is cleared: the user cleared when the photo was taken,
// not when the file was last changed. IPTC keeps a day and a time apart.
struct DateTwin {
    enum Family { Exif, Xmp, Iptc };
    Family family;
    QString key;
    QString timeKey;
    bool capture = true;
};

const QList<DateTwin>& dateTwins()
{
    static const QList<DateTwin> twins = {
        {DateTwin::Exif, kDateTimeOriginal, {}},
        {DateTwin::Exif, kDateTimeDigitized, {}},
        {DateTwin::Exif, kImageDateTime, {}, false},
        {DateTwin::Exif, kImageDateTimeOriginal, {}},
        {DateTwin::Xmp, QStringLiteral("Xmp.photoshop.DateCreated"), {}},
        {DateTwin::Xmp, QStringLiteral("Xmp.xmp.CreateDate"), {}},
        {DateTwin::Xmp, QStringLiteral("Xmp.exif.DateTimeOriginal"), {}},
        {DateTwin::Xmp, QStringLiteral("Xmp.exif.DateTimeDigitized"), {}},
        {DateTwin::Xmp, QStringLiteral("Xmp.xmp.ModifyDate"), {}, false},
        {DateTwin::Xmp, QStringLiteral("Xmp.tiff.DateTime"), {}, false},
        {DateTwin::Iptc, QStringLiteral("Iptc.Application2.DateCreated"),
            QStringLiteral("Iptc.Application2.TimeCreated")},
        {DateTwin::Iptc, kIptcDigitizationDate, QStringLiteral("Iptc.Application2.DigitizationTime")},
    };
    return twins;
}

// The XMP dates of the table, the capture dates alone or all of them.
QStringList xmpDateTwins(bool captureOnly)
{
    QStringList keys;
    for (const DateTwin& twin : dateTwins()) {
        if (twin.family == DateTwin::Xmp && (twin.capture || !captureOnly)) {
            keys.append(twin.key);
        }
    }
    return keys;
}

} // namespace

bool TAVMetadataWritterMgr::updateTwins(const QString& key, const QString& value)
{
    const QMap<QString, QStringList>& twins = textTwins();
    if (isPositionKey(key)) {
        return updatePositionTwin(key);
    }
    if (key == kImageDateTime) {
        // The capture date's twins moved, or went, with it (setDateAndTime).
        return true;
    }
    QStringList keyTwins = copiesAmong(key, twins.value(key));
    if (key.startsWith(kIptcPrefix) && iptcReadOnAGuess_ && textsAsRead_ && !isAscii(value)) {
        // A text of an IPTC block whose set is not known for certain was
        // shown on a guess, and what the user made of it goes back into the
        // block alone, in its own bytes: the twins of other families, which
        // hold UTF-8 or UTF-16, would take the guess as the text. Only a twin
        // already holding that reading takes it; none is made.
        const QMap<QString, std::optional<QString>>& held = *textsAsRead_;
        keyTwins.erase(std::remove_if(keyTwins.begin(), keyTwins.end(),
                           [&held](const QString& twin) {
                               return !isIptcTwin(twin) && held.value(twin).value_or(QString()).trimmed().isEmpty();
                           }),
            keyTwins.end());
    }
    if (!reachesTextTwins(keyTwins)) {
        return false;
    }
    if (value.trimmed().isEmpty()) {
        // Windows would still show an emptied text, and the title falls
        // back to its XP twin when read.
        return clearTextTwins(wholeTextTwins().contains(key) ? keyTwins : windowsTwins(keyTwins))
            && updateIptcTwins(keyTwins, value);
    }
    if (!keepsWholeText(key, value, keyTwins)) {
        return false;
    }
    QList<QPair<QString, QString>> pairs;
    for (const QString& twin : keyTwins) {
        if (isIptcTwin(twin)) {
            if (!updateIptcTwins({twin}, value)) {
                return false;
            }
            continue;
        }
        const QString current = exifWriter_->currentValue(twin);
        if (current.isNull() && !createsTwin(key, twin, value)) {
            continue;
        }
        QString text = value;
        if (key == kIptcKeywords) {
            text = wordsOf(value).join(twin == kXpKeywords ? QStringLiteral(";") : QStringLiteral(", "));
        } else if (key == kExposureBias) {
            // The number as EXIF now holds it ("-1/3"), the form XMP's
            // rationals take, whatever form the field was given in.
            text = exifWriter_->currentValue(key);
        }
        if (twin.startsWith(kXpPrefix)) {
            // Windows' texts go in as their UTF-16 bytes.
            if (!setXpText(TAVEntity::entityWithValue(text, twin))) {
                return false;
            }
            continue;
        }
        pairs.append({twin, text});
    }
    return pairs.isEmpty() || writeValues(pairs);
}

bool TAVMetadataWritterMgr::isPositionKey(const QString& key)
{
    return positionTwins().contains(key);
}

bool TAVMetadataWritterMgr::updatePositionTwin(const QString& key)
{
    const PositionTwin twin = positionTwins().value(key);
    if (exifWriter_->currentValue(twin.xmpKey).isNull()) {
        return true;
    }
    const QString exifText = exifWriter_->currentValue(twin.exifKey);
    if (exifText.isNull() || !twin.isCoordinate) {
        // No value erases the twin.
        return writeValue(twin.xmpKey, exifText);
    }
    // A coordinate XMP cannot state goes too, rather than leave the old
    // place beside the new one.
    return writeValue(twin.xmpKey,
        xmpCoordinate(exifText, exifWriter_->currentValue(twin.exifKey + QStringLiteral("Ref")),
            twin.exifKey.endsWith(QLatin1String("Latitude"))));
}

void TAVMetadataWritterMgr::clearGpsTwin(const QString& key)
{
    // Each GPS tag of EXIF has its namesake in XMP's EXIF schema, and a
    // coordinate's hemisphere is part of its XMP text.
    if (!key.startsWith(kGpsInfoPrefix)) {
        return;
    }
    const auto position = positionTwins().constFind(key);
    const QString twin
        = position != positionTwins().constEnd() ? position->xmpKey : kXmpExifPrefix + key.mid(kGpsInfoPrefix.size());
    if (!exifWriter_->currentValue(twin).isNull()) {
        exifWriter_->clearXMPMetadata({twin});
    }
}

QStringList TAVMetadataWritterMgr::copiesAmong(const QString& key, const QStringList& twins) const
{
    if (!isShownText(key) || !textsAsRead_) {
        return twins;
    }
    const QMap<QString, std::optional<QString>>& held = *textsAsRead_;
    // The text the field showed: its own tag's, or where that holds no text
    // the first tag it falls back to that does.
    QString shown;
    for (const QString& shownKey : shownThrough().value(key)) {
        const QString text = held.value(shownKey).value_or(QString());
        if (!text.trimmed().isEmpty()) {
            shown = text;
            break;
        }
    }
    QStringList copies;
    std::copy_if(twins.begin(), twins.end(), std::back_inserter(copies),
        [&](const QString& twin) { return !batchKeys_.contains(twin) && isCopyOf(held.value(twin), shown, key); });
    return copies;
}

void TAVMetadataWritterMgr::beginBatch(const QList<TAVEntityPtr>& entities)
{
    batchKeys_.clear();
    for (const TAVEntityPtr& entity : entities) {
        if (entity) {
            batchKeys_.insert(entity->key());
        }
    }
    if (textsAsRead_ || std::none_of(batchKeys_.begin(), batchKeys_.end(), isShownText)) {
        return;
    }
    QSet<QString> keys;
    for (auto field = shownThrough().begin(); field != shownThrough().end(); ++field) {
        keys.insert(field.key());
        for (const QString& key : field.value()) {
            keys.insert(key);
        }
        for (const QString& twin : textTwins().value(field.key())) {
            keys.insert(twin);
        }
    }
    textsAsRead_ = exifWriter_->shownTexts(keys);
    iptcReadOnAGuess_ = exifWriter_->readsIptcOnAGuess();
}

bool TAVMetadataWritterMgr::keepsWholeText(const QString& key, const QString& value, const QStringList& twins)
{
    if (!key.startsWith(QLatin1String("Iptc.")) || !iptcCuts(key, value)) {
        return true;
    }
    if (key == kIptcCaption) {
        // The caption is kept whole by its EXIF or XMP copy; where both hold
        // another text (a credit), IPTC's cut would be all that is left of it.
        if (twins.contains(kImageDescription) || (twins.contains(kXmpDescription) && exifWriter_->canHoldXmp())) {
            return true;
        }
        refusal_ = QStringLiteral("IPTC cuts the caption to %1 bytes, and the description that would keep it whole "
                                  "holds another text, so the whole caption could not be kept")
                       .arg(TAVExifWriter::iptcMaxBytes(key));
        return false;
    }
    // A title or keyword only XMP keeps whole cannot go into a packet the
    // library cannot decode (a phone photo's packet with a repeated
    // property): cut to its IPTC dataset, its text would be kept nowhere.
    if (!wholeTextTwins().value(key).startsWith(kXmpPrefix) || !exifWriter_->isXmpUndecodable()) {
        return true;
    }
    refusal_ = QStringLiteral("the file's XMP cannot be read, so the whole text, which IPTC cuts to %1 bytes, "
                              "could not be kept")
                   .arg(TAVExifWriter::iptcMaxBytes(key));
    return false;
}

bool TAVMetadataWritterMgr::reachesTextTwins(const QStringList& twins)
{
    // The title, keywords, description, photographer and copyright that
    // other programs read from XMP.
    QStringList texts;
    std::copy_if(twins.begin(), twins.end(), std::back_inserter(texts), [](const QString& twin) {
        return twin.startsWith(QLatin1String("Xmp.dc.")) || twin.startsWith(QLatin1String("Xmp.MicrosoftPhoto."));
    });
    return reachesXmpTwins(texts, QStringLiteral("text"));
}

bool TAVMetadataWritterMgr::reachesXmpTwins(const QStringList& twins, const QString& what)
{
    // Where a twin sits in a packet the library cannot decode, the edit
    // could not reach it, and the file would go on showing the old value
    // there to the programs that read XMP first.
    for (const QString& twin : twins) {
        if (exifWriter_->unreadableXmpMayHold(twin)) {
            refusal_ = QStringLiteral("the file's XMP cannot be read, so its copy of the %1 (%2) could not be "
                                      "changed with it")
                           .arg(what, twin);
            return false;
        }
    }
    return true;
}

bool TAVMetadataWritterMgr::createsTwin(const QString& key, const QString& twin, const QString& value) const
{
    // A file without a description takes the caption as its description.
    if (twin == kImageDescription) {
        return true;
    }
    // Otherwise no family is created, but for the XMP that keeps whole a
    // text IPTC cuts.
    return wholeTextTwins().value(key) == twin && exifWriter_->canHoldXmp()
        && (key != kImageDescription || exifWriter_->holdsIptc()) && iptcCuts(key, value);
}

bool TAVMetadataWritterMgr::clearTextTwins(const QStringList& twins)
{
    // An emptied title, caption or keyword list would otherwise show again
    // from its twin, which readers fall back to.
    QStringList exifKeys;
    QList<QPair<QString, QString>> xmpKeys;
    for (const QString& twin : twins) {
        if (twin.startsWith(kXmpPrefix)) {
            if (!exifWriter_->currentValue(twin).isNull()) {
                xmpKeys.append({twin, QString()});
            }
        } else if (!isIptcTwin(twin)) {
            exifKeys.append(twin);
        }
    }
    return exifWriter_->clearMetadata(exifKeys) && (xmpKeys.isEmpty() || writeValues(xmpKeys));
}

bool TAVMetadataWritterMgr::isDateTwinKey(const QString& key)
{
    return std::any_of(dateTwins().begin(), dateTwins().end(),
        [&key](const DateTwin& twin) { return twin.key == key || twin.timeKey == key; });
}

bool TAVMetadataWritterMgr::isIptcTwin(const QString& twin)
{
    return twin == kIptcByline || twin == kIptcCopyrightNotice || twin == kIptcCaption;
}

bool TAVMetadataWritterMgr::updateIptcTwins(const QStringList& twins, const QString& value)
{
    // A file that holds IPTC names its photographer and copyright there too,
    // and its caption, and programs that read IPTC first show those. The
    // photographer is the one of EXIF, so every other By-line goes; an
    // emptied field empties them.
    if (!exifWriter_->holdsIptc()) {
        return true;
    }
    for (const QString& twin : twins) {
        if (!isIptcTwin(twin)) {
            continue;
        }
        if (!exifWriter_->clearIPTCMetadata({twin})) {
            return false;
        }
        if (!value.trimmed().isEmpty() && !writeValue(twin, value)) {
            return false;
        }
    }
    return true;
}

std::optional<QDateTime> TAVMetadataWritterMgr::DateMove::of(const QDateTime& current, bool hasDay, bool hasTime) const
{
    if (typed.isValid()) {
        return typed;
    }
    if (!shift || !current.isValid()) {
        return std::nullopt;
    }
    return shift->shifted(current, hasDay, hasTime);
}

bool TAVMetadataWritterMgr::moveDates(const DateMove& move)
{
    if (!reachesXmpTwins(xmpDateTwins(false), QStringLiteral("date"))) {
        return false;
    }
    QList<QPair<QString, QString>> pairs;
    for (const DateTwin& twin : dateTwins()) {
        const QString current = exifWriter_->currentValue(twin.key);
        switch (twin.family) {
        case DateTwin::Exif: {
            // Always a day and a time. A typed date makes the ones a file
            // lacks (or holds blank), but for a second one in the first
            // directory; a shift moves only those that hold a date.
            if (current.isNull() && twin.key == kImageDateTimeOriginal) {
                break;
            }
            const QDateTime moment = DateServices::dateWithDateFormateString(current.trimmed(), kExifDateFormat);
            if (const auto moved = move.of(
                    moment.isValid() ? QDateTime(moment.date(), moment.time(), Qt::UTC) : QDateTime(), true, true)) {
                pairs.append({twin.key, DateServices::getStringFromDate(*moved, kExifDateFormat)});
            }
            break;
        }
        case DateTwin::Xmp: {
            // A day, with or without a time, keeping its form; one the file
            // lacks is not made.
            if (current.isNull()) {
                break;
            }
            bool hasTime = false;
            const QDateTime moment = xmpMoment(current, &hasTime);
            if (const auto moved = move.of(moment, true, hasTime)) {
                pairs.append({twin.key, xmpDateInFormOf(*moved, current)});
            }
            break;
        }
        case DateTwin::Iptc:
            pairs.append(movedIptcDate(twin.key, twin.timeKey, move));
            break;
        }
    }
    return pairs.isEmpty() || writeValues(pairs);
}

QList<QPair<QString, QString>> TAVMetadataWritterMgr::movedIptcDate(
    const QString& dateKey, const QString& timeKey, const DateMove& move) const
{
    // The day and the time move as one moment; each is written where the
    // file holds it, and a shift leaves a text that is no day or time.
    const QString dateText = exifWriter_->currentValue(dateKey);
    const QString timeText = exifWriter_->currentValue(timeKey);
    const QDate day = QDate::fromString(dateText.trimmed(), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(timeText.left(8), QStringLiteral("HH:mm:ss"));
    const QDateTime current = day.isValid() || time.isValid()
        ? QDateTime(day.isValid() ? day : QDate(2000, 1, 1), time.isValid() ? time : QTime(0, 0), Qt::UTC)
        : QDateTime();
    const bool typed = move.typed.isValid();
    QList<QPair<QString, QString>> pairs;
    // A shift moves the pair only where each part the file holds reads: a
    // time moved beside a day that does not read could need another day.
    if (!typed && ((!dateText.isNull() && !day.isValid()) || (!timeText.isNull() && !time.isValid()))) {
        return pairs;
    }
    const auto moved = move.of(current, day.isValid(), time.isValid());
    if (!moved) {
        return pairs;
    }
    if (!dateText.isNull() && (typed || day.isValid())) {
        pairs.append({dateKey, DateServices::getStringFromDate(*moved, QStringLiteral("yyyy-MM-dd"))});
    }
    if (!timeText.isNull() && (typed || time.isValid())) {
        pairs.append({timeKey, iptcTimeText(*moved, timeText, exifWriter_->iptcTimeHasZone(timeKey))});
    }
    return pairs;
}

bool TAVMetadataWritterMgr::clearCaptureDates()
{
    if (!reachesXmpTwins(xmpDateTwins(true), QStringLiteral("date"))) {
        return false;
    }
    QStringList exifKeys;
    QStringList iptcKeys;
    QList<QPair<QString, QString>> xmpKeys;
    for (const DateTwin& twin : dateTwins()) {
        if (!twin.capture) {
            continue;
        }
        if (twin.family == DateTwin::Exif) {
            exifKeys.append(twin.key);
            continue;
        }
        for (const QString& key : {twin.key, twin.timeKey}) {
            if (key.isEmpty() || exifWriter_->currentValue(key).isNull()) {
                continue;
            }
            if (twin.family == DateTwin::Xmp) {
                xmpKeys.append({key, QString()});
            } else {
                iptcKeys.append(key);
            }
        }
    }
    return exifWriter_->clearMetadata(exifKeys) && (iptcKeys.isEmpty() || exifWriter_->clearIPTCMetadata(iptcKeys))
        && (xmpKeys.isEmpty() || writeValues(xmpKeys));
}
