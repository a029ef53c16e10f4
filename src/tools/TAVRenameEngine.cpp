#include "tools/TAVRenameEngine.h"

#include "foundation/DateServices.h"
#include "foundation/TextNumbers.h"
#include "models/image/TAVImageObject.h"
#include "models/record/TAVExifData.h"
#include "models/tables/TAVKeyLists.h"

#include <QLocale>

#include <optional>

const QString TAVRenameEngine::kCustom = QStringLiteral("Custom");
const QString TAVRenameEngine::kFileDetails = QStringLiteral("File Details");
const QString TAVRenameEngine::kNumericalSequences = QStringLiteral("Numerical Sequences");
const QString TAVRenameEngine::kExif = QStringLiteral("Exif");
const QString TAVRenameEngine::kIptc = QStringLiteral("Iptc");
const QString TAVRenameEngine::kCustomCharacters = QStringLiteral("Custom Character(s)");
const QString TAVRenameEngine::kFilename = QStringLiteral("Filename");
const QString TAVRenameEngine::kCreateDate = QStringLiteral("CreateDate");
const QString TAVRenameEngine::kCreateTime = QStringLiteral("CreateTime");
const QString TAVRenameEngine::kImageSize = QStringLiteral("ImageSize");

namespace {

const QString kAttrCustomCharacters = QStringLiteral("customCharacters");
const QString kAttrStart = QStringLiteral("start");
const QString kAttrIncrease = QStringLiteral("increase");
const QString kAttrDateFormat = QStringLiteral("dateFormat");
const QString kAttrTimeFormat = QStringLiteral("timeFormat");

// The formats that belong to a date-pattern title; none for an unknown title.
struct DatePattern {
    QString title;
    QString dateFormat;
    QString timeFormat;
    QString dateTimeSeparator;
};

const QList<DatePattern>& datePatterns()
{
    static const QList<DatePattern> patterns{
        {QStringLiteral("YYYYMMDDHHMMSS"), QStringLiteral("yyyyMMdd"), QStringLiteral("HHmmss"), QStringLiteral("")},
        {QStringLiteral("YYYYMM-DDHHMMSS"), QStringLiteral("yyyyMMdd"), QStringLiteral("HHmmss"), QStringLiteral("-")},
        {QStringLiteral("YYYY-MM-DD-HHhMMmSS"), QStringLiteral("yyyy-MM-dd"), QStringLiteral("HH:mm:ss"),
            QStringLiteral("-")},
        {QStringLiteral("YYYY-MM-DD HH.MM.SS"), QStringLiteral("yyyy-MM-dd"), QStringLiteral("HH.mm.ss"),
            QStringLiteral(" ")},
        {QStringLiteral("YYYY-MM-DD HH-MM-SS"), QStringLiteral("yyyy-MM-dd"), QStringLiteral("HH-mm-ss"),
            QStringLiteral(" ")},
        {QStringLiteral("YYYY-MM-DD_HH-MM-SS"), QStringLiteral("yyyy-MM-dd"), QStringLiteral("HH-mm-ss"),
            QStringLiteral("_")},
    };
    return patterns;
}

std::optional<DatePattern> datePatternForTitle(const QString& title)
{
    for (const DatePattern& pattern : datePatterns()) {
        if (pattern.title == title) {
            return pattern;
        }
    }
    return std::nullopt;
}

bool isTwelveHour(const QString& timeFormatTitle)
{
    return timeFormatTitle.startsWith(QLatin1String("12"));
}

// Metadata values, custom text and the separator go into file names: a "/"
// would leave the output folder and NUL ends a path, so both become "-".
QString safeNamePart(QString text)
{
    text.replace(QLatin1Char('/'), QLatin1Char('-'));
    text.replace(QChar(0), QLatin1Char('-'));
    return text;
}

QString titleAt(const QStringList& titles, int index)
{
    return index >= 0 && index < titles.size() ? titles.at(index) : QStringLiteral("");
}

// A stem that neither hides the file nor repeats its extension: leading dots,
// blanks and separators go ("._x" would be a hidden file, "_100" a name that
// starts with a separator), and so does the extension at its end ("IMG.jpg"
// would give "IMG.jpg.jpg"). May come out empty.
QString visibleStem(QString stem, const QString& separator, const QString& extension)
{
    const QString dotExtension = QLatin1Char('.') + extension;
    for (bool changed = true; changed && !stem.isEmpty();) {
        changed = false;
        if (!extension.isEmpty() && stem.endsWith(dotExtension, Qt::CaseInsensitive)) {
            stem.chop(dotExtension.size());
            changed = true;
        } else if (stem.at(0) == QLatin1Char('.') || stem.at(0).isSpace()) {
            stem.remove(0, 1);
            changed = true;
        } else if (!separator.isEmpty() && stem.startsWith(separator)) {
            stem.remove(0, separator.size());
            changed = true;
        }
    }
    return stem;
}

// The stem cut so that the name with its extension fits the 255 bytes a file
// system allows for one name, never inside a character (a metadata value can
// be any length).
QString fittingStem(QString stem, const QString& extensionWithDot)
{
    static constexpr qsizetype kMaxNameBytes = 255;
    const qsizetype room = kMaxNameBytes - extensionWithDot.toUtf8().size();
    while (!stem.isEmpty() && stem.toUtf8().size() > room) {
        stem.chop(stem.size() >= 2 && stem.at(stem.size() - 1).isLowSurrogate() ? 2 : 1);
    }
    return stem;
}

} // namespace

const QStringList& TAVRenameEngine::dateFormatTitles()
{
    static const QStringList titles = [] {
        QStringList list;
        for (const DatePattern& pattern : datePatterns()) {
            list.append(pattern.title);
        }
        return list;
    }();
    return titles;
}

const QStringList& TAVRenameEngine::timeFormatTitles()
{
    static const QStringList titles{QStringLiteral("24-Hour"), QStringLiteral("12-Hour")};
    return titles;
}

const QMap<QString, QStringList>& TAVRenameEngine::fieldTable()
{
    static const QMap<QString, QStringList> table{
        {kExif,
            {
                QStringLiteral("Exif.Image.CreateDate"),
                QStringLiteral("Summary.CreateTime"),
                QStringLiteral("Exif.Image.Make"),
                QStringLiteral("Exif.Photo.LensMake"),
                QStringLiteral("Exif.Photo.LensModel"),
                QStringLiteral("Exif.Image.Model"),
                QStringLiteral("Iptc.Application2.Caption"),
                QStringLiteral("Iptc.Application2.ObjectName"),
                QStringLiteral("Exif.Image.Software"),
                QStringLiteral("Exif.Image.Artist"),
                QStringLiteral("Exif.Image.DocumentName"),
                QStringLiteral("Summary.ImageSize"),
                QStringLiteral("Exif.Image.ImageDescription"),
            }},
        {kIptc,
            {
                QStringLiteral("Iptc.Application2.Writer"),
                QStringLiteral("Iptc.Application2.Copyright"),
                QStringLiteral("Iptc.Application2.Urgency"),
                QStringLiteral("Iptc.Application2.Keywords"),
                QStringLiteral("Iptc.Application2.Category"),
                QStringLiteral("Iptc.Application2.City"),
                QStringLiteral("Iptc.Application2.ProvinceState"),
                QStringLiteral("Iptc.Application2.CountryCode"),
                QStringLiteral("Iptc.Application2.CountryName"),
                QStringLiteral("Iptc.Application2.Copyright"),
                QStringLiteral("Iptc.Application2.Subject"),
            }},
    };
    return table;
}

QStringList TAVRenameEngine::getDispKeysForCategory(const QString& category)
{
    QStringList names;
    for (const QString& key : fieldTable().value(category)) {
        names.append(getDispKey(key));
    }
    return names;
}

QString TAVRenameEngine::getDispKey(const QString& key)
{
    if (key.isEmpty()) {
        return key;
    }
    return key.section(QLatin1Char('.'), -1);
}

TAVRenameRootItemPtr TAVRenameEngine::initRootItem(const QString& category, const QStringList& names)
{
    TAVRenameRootItemPtr root = TAVRenameRootItem::create(category);
    QList<TAVRenameRuleFieldPtr> fields;
    for (const QString& name : names) {
        fields.append(TAVRenameRuleField::create(name, root));
    }
    root->setSubRuleFields(fields);
    return root;
}

QList<TAVRenameRootItemPtr> TAVRenameEngine::getCanSelectExifTag()
{
    return {
        initRootItem(kCustom, {kCustomCharacters}),
        initRootItem(kFileDetails, {kFilename}),
        initRootItem(kNumericalSequences, {kNumericalSequences}),
        initRootItem(kExif, getDispKeysForCategory(kExif)),
        initRootItem(kIptc, getDispKeysForCategory(kIptc)),
    };
}

QString TAVRenameEngine::dateFormatTitle() const
{
    return titleAt(dateFormatTitles(), dateFormatIndex_);
}

QString TAVRenameEngine::timeFormatTitle() const
{
    return titleAt(timeFormatTitles(), timeFormatIndex_);
}

TAVRenameRootItemPtr TAVRenameEngine::getherCurrentRenameSetting()
{
    TAVRenameRootItemPtr setting = TAVRenameRootItem::create();
    if (separatorEnabled_) {
        setting->setSeperator(separatorText_.isNull() ? QStringLiteral("") : separatorText_);
    }
    const auto orEmpty = [](const QString& text) { return text.isNull() ? QStringLiteral("") : text; };
    for (const TAVRenameRuleFieldPtr& field : edittingRules_) {
        if (!field) {
            continue;
        }
        if (field->field() == kCustomCharacters) {
            field->setAttrInfo(kAttrCustomCharacters, orEmpty(customCharacters_));
        } else if (field->field() == kNumericalSequences) {
            field->setAttrInfo(kAttrStart, orEmpty(startText_));
            field->setAttrInfo(kAttrIncrease, orEmpty(increaseText_));
        } else if (field->field() == kCreateDate || field->field() == kCreateTime) {
            field->setAttrInfo(kAttrDateFormat, dateFormatTitle());
            field->setAttrInfo(kAttrTimeFormat, timeFormatTitle());
        }
    }
    setting->setSubRuleFields(edittingRules_);
    return setting;
}

QString TAVRenameEngine::getRenamedNameString(
    const TAVImageObject* image, const TAVRenameRootItemPtr& setting, int32_t imageIndex) const
{
    if (image == nullptr || !setting || image->srcPath().isEmpty()) {
        return QString();
    }
    const QString sourceName = image->srcPath().section(QLatin1Char('/'), -1);
    const qsizetype dot = sourceName.lastIndexOf(QLatin1Char('.'));
    // A leading dot marks a hidden file, not an extension.
    const QString base = dot > 0 ? sourceName.left(dot) : sourceName;
    const QString extension = dot > 0 ? sourceName.mid(dot + 1) : QStringLiteral("");
    if (edittingRules_.isEmpty()) {
        return sourceName;
    }

    const QString separator = setting->seperator().isNull() ? QStringLiteral("") : setting->seperator();
    const QList<TAVRenameRuleFieldPtr>& fields = setting->subRuleFields();
    int64_t counter = 0;
    int counterWidth = 1;
    if (const TAVRenameRuleFieldPtr numbers = findNumericalRenameField(fields)) {
        const QString start = numbers->attrInfo(kAttrStart);
        const int64_t first = TextNumbers::longLongValue(start);
        const int64_t step = TextNumbers::longLongValue(numbers->attrInfo(kAttrIncrease));
        // Wrapping (never undefined) arithmetic for absurd start and step texts.
        counter = static_cast<int64_t>(
            static_cast<uint64_t>(first) + static_cast<uint64_t>(step) * static_cast<uint64_t>(int64_t(imageIndex)));
        counterWidth = start.isEmpty() ? 1 : static_cast<int>(start.size());
    }
    const bool dateTimeClose = checkDateTimeClose(image, fields);

    QString name;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const TAVRenameRuleFieldPtr& field = fields.at(i);
        if (!field) {
            continue;
        }
        const QString text = fieldText(image, *field, base, counter, counterWidth);
        if (text.isEmpty()) {
            continue; // a field without text adds no separator either
        }
        QString leadIn = name.isEmpty() ? QStringLiteral("") : separator;
        if (dateTimeClose && field->field() == kCreateTime && i > 0 && fields.at(i - 1)
            && fields.at(i - 1)->field() == kCreateDate) {
            leadIn = getDateTimeSeperator(field->attrInfo(kAttrDateFormat));
        }
        name += safeNamePart(leadIn + text);
    }
    name = visibleStem(name, safeNamePart(separator), extension);
    if (name.isEmpty()) {
        name = base; // nothing of the rule applies to this photo: it keeps its name
    }
    name = fittingStem(name, QLatin1Char('.') + extension) + QLatin1Char('.') + extension;
    // "." and ".." would name the output folder or its parent.
    if (name == QLatin1String(".") || name == QLatin1String("..")) {
        name.fill(QLatin1Char('-'));
    }
    return name;
}

QString TAVRenameEngine::fieldText(const TAVImageObject* image, const TAVRenameRuleField& field, const QString& base,
    int64_t counter, int counterWidth) const
{
    const QString& name = field.field();
    if (field.rootCategory() == kCustom) {
        const QString custom = field.attrInfo(kAttrCustomCharacters);
        return custom.isEmpty() ? QString() : custom;
    }
    if (name == kFilename && field.rootCategory() == kFileDetails) {
        return base.isNull() ? QStringLiteral("") : base;
    }
    if (name == kNumericalSequences) {
        return getNumString(counter, counterWidth);
    }
    const QString value = getImageMetadatValue(image, name, field.rootCategory());
    if (name == kCreateDate) {
        return getDateString(value, field.attrInfo(kAttrDateFormat), field.attrInfo(kAttrTimeFormat));
    }
    if (name == kCreateTime) {
        return getTimeString(value, field.attrInfo(kAttrDateFormat), field.attrInfo(kAttrTimeFormat));
    }
    if (name == kImageSize) {
        // "W x H (S MB)": the text before the blank that precedes the "(".
        const qsizetype paren = value.indexOf(QLatin1Char('('));
        return paren < 2 ? QString() : value.left(paren - 1);
    }
    return value.isEmpty() ? QString() : value;
}

TAVRenameRuleFieldPtr TAVRenameEngine::findNumericalRenameField(const QList<TAVRenameRuleFieldPtr>& fields)
{
    for (const TAVRenameRuleFieldPtr& field : fields) {
        if (field && field->field() == kNumericalSequences) {
            return field;
        }
    }
    return nullptr;
}

QString TAVRenameEngine::getFullKey(const QString& fieldName, const QString& category)
{
    if (category != kExif && category != kIptc) {
        return fieldName;
    }
    for (const QString& key : fieldTable().value(category)) {
        if (getDispKey(key) == fieldName) {
            return key;
        }
    }
    return QString();
}

int TAVRenameEngine::getTypeForFullKey(const QString& fullKey)
{
    return TAVKeyLists::categoryOfKey(fullKey);
}

QString TAVRenameEngine::getImageMetadatValue(
    const TAVImageObject* image, const QString& fieldName, const QString& category)
{
    if (image == nullptr || fieldName.isEmpty() || category.isEmpty() || !image->exifData()) {
        return QStringLiteral("");
    }
    const QString key = getFullKey(fieldName, category);
    if (key.isEmpty()) {
        return QStringLiteral("");
    }
    const QString value = image->exifData()->getValueForKey(key, getTypeForFullKey(key));
    return value.isNull() ? QStringLiteral("") : value;
}

QString TAVRenameEngine::getNumString(int64_t number, int width)
{
    QString text = QString::number(number);
    if (text.size() < width) {
        text.prepend(QString(width - text.size(), QLatin1Char('0')));
    }
    return text;
}

QString TAVRenameEngine::formatDate(
    const QString& value, const QString& dateFormatTitle, const QString& timeFormatTitle, bool isDateFormat) const
{
    if (value.isEmpty() || dateFormatTitle.isNull() || timeFormatTitle.isNull()) {
        return QString();
    }
    const QDateTime date = DateServices::dateValue(value);
    if (!date.isValid()) {
        return QString();
    }
    const std::optional<DatePattern> pattern = datePatternForTitle(dateFormatTitle);
    const bool twelveHour = isTwelveHour(timeFormatTitle);
    if (!pattern) {
        // No pattern: the short time style alone, in the formatter's locale.
        const QLocale locale = isDateFormat ? QLocale()
            : twelveHour                    ? QLocale(QLocale::English, QLocale::UnitedStates)
                                            : QLocale(QLocale::English, QLocale::UnitedKingdom);
        return locale.toString(date.time(), QLocale::ShortFormat);
    }
    if (isDateFormat) {
        return DateServices::getStringFromDate(date, pattern->dateFormat);
    }
    // A 12-hour choice keeps the 00-23 hours and adds the AM/PM marker.
    const QString timeFormat = twelveHour ? pattern->timeFormat + QStringLiteral(" a") : pattern->timeFormat;
    return DateServices::getStringFromDate(date, timeFormat);
}

QString TAVRenameEngine::getDateString(
    const QString& value, const QString& dateFormatTitle, const QString& timeFormatTitle) const
{
    return formatDate(value, dateFormatTitle, timeFormatTitle, true);
}

QString TAVRenameEngine::getTimeString(
    const QString& value, const QString& dateFormatTitle, const QString& timeFormatTitle) const
{
    QString text = formatDate(value, dateFormatTitle, timeFormatTitle, false);
    if (text.isNull()) {
        return text;
    }
    if (dateFormatIndex_ == 2) {
        // "YYYY-MM-DD-HHhMMmSS": 10:11:12 becomes 10h11m12.
        const qsizetype first = text.indexOf(QLatin1Char(':'));
        if (first < 0) {
            return QString();
        }
        text[first] = QLatin1Char('h');
        const qsizetype second = text.indexOf(QLatin1Char(':'), first + 1);
        if (second >= 0) {
            text[second] = QLatin1Char('m');
        }
    }
    if (timeFormatIndex_ == 1) {
        text.replace(QLatin1String("am"), QLatin1String("AM"));
        text.replace(QLatin1String("pm"), QLatin1String("PM"));
    }
    return text;
}

QString TAVRenameEngine::getDateTimeSeperator(const QString& dateFormatTitle)
{
    const std::optional<DatePattern> pattern = datePatternForTitle(dateFormatTitle);
    return pattern ? pattern->dateTimeSeparator : QStringLiteral("");
}

bool TAVRenameEngine::checkDateTimeClose(const TAVImageObject* image, const QList<TAVRenameRuleFieldPtr>& fields) const
{
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const TAVRenameRuleFieldPtr& date = fields.at(i - 1);
        const TAVRenameRuleFieldPtr& time = fields.at(i);
        if (!date || !time || date->field() != kCreateDate || time->field() != kCreateTime) {
            continue;
        }
        const QString dateText = getDateString(getImageMetadatValue(image, kCreateDate, date->rootCategory()),
            date->attrInfo(kAttrDateFormat), date->attrInfo(kAttrTimeFormat));
        const QString timeText = getTimeString(getImageMetadatValue(image, kCreateTime, time->rootCategory()),
            time->attrInfo(kAttrDateFormat), time->attrInfo(kAttrTimeFormat));
        if (!dateText.isEmpty() && !timeText.isEmpty()) {
            return true;
        }
    }
    return false;
}
