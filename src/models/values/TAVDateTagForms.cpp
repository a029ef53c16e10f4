#include "models/values/TAVDateTagForms.h"

#include "foundation/DateServices.h"
#include "models/values/TAVMetadataHelper.h"

#include <QDate>
#include <QRegularExpression>
#include <QStringList>
#include <QTime>

#include <exiv2/exiv2.hpp>

namespace {

enum class Form { None, ExifDateTime, ExifDate, IptcDate, IptcTime, XmpDate };

int number(const QRegularExpressionMatch& match, const char* name)
{
    return match.captured(QLatin1String(name)).toInt();
}

bool validDate(const QRegularExpressionMatch& match)
{
    return QDate(number(match, "y"), number(match, "mo"), number(match, "d")).isValid();
}

bool validTime(const QRegularExpressionMatch& match)
{
    return QTime(number(match, "h"), number(match, "mi"), number(match, "s")).isValid();
}

// A zone of at most 14 hours, whole minutes.
bool validZone(const QRegularExpressionMatch& match)
{
    return match.captured(QLatin1String("zh")).isEmpty() || (number(match, "zh") <= 14 && number(match, "zm") < 60);
}

Form formOfExifKey(const QString& key)
{
    static const QStringList dateTimes = {QStringLiteral("Exif.Image.DateTime"),
        QStringLiteral("Exif.Image.DateTimeOriginal"), QStringLiteral("Exif.Photo.DateTimeOriginal"),
        QStringLiteral("Exif.Photo.DateTimeDigitized"), QStringLiteral("Exif.Image.PreviewDateTime")};
    if (dateTimes.contains(key)) {
        return Form::ExifDateTime;
    }
    return key == QLatin1String("Exif.GPSInfo.GPSDateStamp") ? Form::ExifDate : Form::None;
}

Form formOfIptcKey(const QString& key)
{
    try {
        const Exiv2::IptcKey iptcKey(key.toStdString());
        switch (Exiv2::IptcDataSets::dataSetType(iptcKey.tag(), iptcKey.record())) {
        case Exiv2::date:
            return Form::IptcDate;
        case Exiv2::time:
            return Form::IptcTime;
        default:
            return Form::None;
        }
    } catch (const Exiv2::AnyError&) {
        return Form::None;
    } catch (const std::exception&) {
        return Form::None;
    }
}

Form formOfXmpKey(const QString& key)
{
    try {
        const Exiv2::XmpPropertyInfo* info = Exiv2::XmpProperties::propertyInfo(Exiv2::XmpKey(key.toStdString()));
        return info && info->xmpValueType_ && std::string(info->xmpValueType_) == "Date" ? Form::XmpDate : Form::None;
    } catch (const Exiv2::AnyError&) {
        return Form::None;
    } catch (const std::exception&) {
        return Form::None;
    }
}

Form formOfKey(const QString& key)
{
    if (key.startsWith(QLatin1String("Exif."))) {
        return formOfExifKey(key);
    }
    if (key.startsWith(QLatin1String("Iptc."))) {
        return formOfIptcKey(key);
    }
    if (key.startsWith(QLatin1String("Xmp."))) {
        return formOfXmpKey(key);
    }
    return Form::None;
}

bool matchesExifDateTime(const QString& text)
{
    static const QRegularExpression form(
        QStringLiteral("^(?<y>\\d{4}):(?<mo>\\d{2}):(?<d>\\d{2}) (?<h>\\d{2}):(?<mi>\\d{2}):(?<s>\\d{2})$"));
    const QRegularExpressionMatch match = form.match(text);
    return match.hasMatch() && validDate(match) && validTime(match);
}

bool matchesExifDate(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(?<y>\\d{4}):(?<mo>\\d{2}):(?<d>\\d{2})$"));
    const QRegularExpressionMatch match = form.match(text);
    return match.hasMatch() && validDate(match);
}

bool matchesIptcDate(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(?<y>\\d{4})(?<sep>-?)(?<mo>\\d{2})\\k<sep>(?<d>\\d{2})$"));
    const QRegularExpressionMatch match = form.match(text);
    return match.hasMatch() && validDate(match);
}

bool matchesIptcTime(const QString& text)
{
    static const QRegularExpression form(QStringLiteral(
        "^(?<h>\\d{2})(?<sep>:?)(?<mi>\\d{2})\\k<sep>(?<s>\\d{2})(?:[+-](?<zh>\\d{2})\\k<sep>(?<zm>\\d{2}))?$"));
    const QRegularExpressionMatch match = form.match(text);
    return match.hasMatch() && validTime(match) && validZone(match);
}

bool matchesXmpDate(const QString& text)
{
    static const QRegularExpression form(QStringLiteral(
        "^(?<y>\\d{4})(?:-(?<mo>\\d{2})(?:-(?<d>\\d{2})(?:T(?<h>\\d{2}):(?<mi>\\d{2})(?::(?<s>\\d{2})(?:\\.\\d+)?)?"
        "(?:Z|[+-](?<zh>\\d{2}):(?<zm>\\d{2}))?)?)?)?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch() || !validZone(match)) {
        return false;
    }
    const bool hasMonth = !match.captured(QLatin1String("mo")).isEmpty();
    const bool hasDay = !match.captured(QLatin1String("d")).isEmpty();
    const int month = hasMonth ? number(match, "mo") : 1;
    const int day = hasDay ? number(match, "d") : 1;
    if (!QDate(number(match, "y"), month, day).isValid()) {
        return false;
    }
    return match.captured(QLatin1String("h")).isEmpty() || validTime(match);
}

} // namespace

bool TAVDateTagForms::isDateKey(const QString& key)
{
    return formOfKey(key) != Form::None;
}

bool TAVDateTagForms::acceptsText(const QString& key, const QString& text)
{
    if (text.isEmpty()) {
        return true;
    }
    switch (formOfKey(key)) {
    case Form::ExifDateTime:
        return matchesExifDateTime(tagText(key, text));
    case Form::ExifDate:
        return matchesExifDate(tagText(key, text));
    case Form::IptcDate:
        return matchesIptcDate(text);
    case Form::IptcTime:
        return matchesIptcTime(text);
    case Form::XmpDate:
        return matchesXmpDate(text);
    case Form::None:
        break;
    }
    return true;
}

QString TAVDateTagForms::tagText(const QString& key, const QString& text)
{
    static const QRegularExpression shownDateTime(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2})$"));
    static const QRegularExpression shownDate(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    const Form form = formOfKey(key);
    const QString trimmed = text.trimmed();
    if (form == Form::ExifDateTime && shownDateTime.match(trimmed).hasMatch()) {
        return trimmed.left(10).replace(QLatin1Char('-'), QLatin1Char(':')) + trimmed.mid(10);
    }
    if (form == Form::ExifDate && shownDate.match(trimmed).hasMatch()) {
        return QString(trimmed).replace(QLatin1Char('-'), QLatin1Char(':'));
    }
    return text;
}

QString TAVDateTagForms::formHint(const QString& key)
{
    switch (formOfKey(key)) {
    case Form::ExifDateTime:
        return QStringLiteral("a date and time as YYYY-MM-DD HH:MM:SS, such as 2014-09-01 15:03:47");
    case Form::ExifDate:
    case Form::IptcDate:
        return QStringLiteral("a date as YYYY-MM-DD, such as 2014-09-01");
    case Form::IptcTime:
        return QStringLiteral("a time as HH:MM:SS with an optional zone, such as 15:03:47+02:00");
    case Form::XmpDate:
        return QStringLiteral("a date as YYYY-MM-DD, optionally with a time, such as 2014-09-01T15:03:47");
    case Form::None:
        break;
    }
    return QString();
}

QDateTime TAVDateTagForms::dateOfFieldText(const QString& text)
{
    const QString trimmed = text.trimmed();
    for (const QString& format : {TAVMetadataHelper::getAppDatetimeFormateString(4),
             TAVMetadataHelper::getAppDatetimeFormateString(1), QStringLiteral("yyyy:MM:dd HH:mm:ss")}) {
        const QDateTime date = DateServices::dateWithDateFormateString(trimmed, format);
        if (date.isValid()) {
            return date;
        }
    }
    return {};
}
