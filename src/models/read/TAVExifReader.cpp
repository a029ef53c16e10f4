#include "models/read/TAVExifReader.h"

#include "models/read/MakerNoteIdentifier.h"

#include <QFileInfo>
#include <QLocale>

#include <exiv2/exiv2.hpp>

#include <QVarLengthArray>

#include <array>
#include <charconv>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <typeinfo>

TAVExifReader::TAVExifReader(const QString& path, SharedImagePtr shared)
    : TAVImageMetadatReaderBase(path, std::move(shared))
{
    openImage();
}

Exiv2::ExifData TAVExifReader::getExifData()
{
    reopenIfReleased();
    if (!image()) {
        return Exiv2::ExifData();
    }
    try {
        readMetadataOnce();
        return image()->exifData();
    } catch (const Exiv2::AnyError& error) {
        printCaughtException(error.what());
    } catch (const std::exception& error) {
        printCaughtException(error.what());
    }
    return Exiv2::ExifData();
}

bool TAVExifReader::isWindowsText(const Exiv2::Exifdatum& datum)
{
    // XPTitle, XPComment, XPAuthor, XPKeywords and XPSubject hold UCS-2 bytes;
    // their raw text would be a list of byte numbers. (XPosition, named
    // alike, is printed too.) The numbers are asked first: the library makes
    // the names anew at every call.
    return hasWindowsTextNumber(datum.tag()) && datum.groupName() == "Image" && datum.tagName().rfind("XP", 0) == 0;
}

std::string TAVExifReader::valueText(const Exiv2::Exifdatum& datum, const Exiv2::ExifData& exifData)
{
    if (isWindowsText(datum)) {
        return datum.print(&exifData);
    }
    return datum.toString();
}

namespace {

// The type of the rows this reader makes: the EXIF family.
constexpr int kExifRowType = 1;

void appendNumber(std::string& text, long long number)
{
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), number).ptr;
    text.append(digits, end);
}

template <typename Number> void appendNumber(std::string& text, const std::pair<Number, Number>& fraction)
{
    appendNumber(text, fraction.first);
    text += '/';
    appendNumber(text, fraction.second);
}

// The library's text of a list of numbers or fractions (each one as the
// stream writes it, one space between them), made without a stream; nothing
// when the value is not exactly that list type.
template <typename T> std::optional<QString> numbersText(const Exiv2::Value& value)
{
    if (typeid(value) != typeid(Exiv2::ValueType<T>)) {
        return std::nullopt;
    }
    const auto& numbers = static_cast<const Exiv2::ValueType<T>&>(value).value_;
    std::string text;
    text.reserve(numbers.size() * 6);
    for (auto number = numbers.begin(); number != numbers.end(); ++number) {
        if (number != numbers.begin()) {
            text += ' ';
        }
        appendNumber(text, *number);
    }
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// Each byte as a decimal number, one space between them, as the library
// writes its plain byte values.
QString bytesText(const Exiv2::Value& value)
{
    const long size = value.size();
    QVarLengthArray<Exiv2::byte, 1024> bytes(std::max(0L, size));
    if (size > 0) {
        value.copy(bytes.data(), Exiv2::invalidByteOrder);
    }
    return TAVEntity::spelledBytes(bytes.data(), bytes.size());
}

constexpr qsizetype kShortestCompactText = 64;
// The EXIF tag that holds the whole maker note.
constexpr uint16_t kMakerNoteTag = 0x927c;
// Sixteen bytes spell as about sixty characters.
constexpr long kShortestBytesKeptRaw = 16;

} // namespace

// The raw bytes of a plain byte value long enough to be worth keeping
// unspelled (maker notes, padding, binary blocks); none otherwise.
std::optional<QByteArray> TAVExifReader::longByteValue(const Exiv2::Exifdatum& datum)
{
    const Exiv2::TypeId type = datum.typeId();
    const bool byteType = type == Exiv2::undefined || type == Exiv2::unsignedByte || type == Exiv2::signedByte;
    if (!byteType || isWindowsText(datum)) {
        return std::nullopt;
    }
    // The value is looked up once, outside typeid, which would otherwise
    // evaluate a call for its dynamic type.
    const Exiv2::Value& value = datum.value();
    if (typeid(value) != typeid(Exiv2::DataValue) || value.size() < kShortestBytesKeptRaw) {
        return std::nullopt;
    }
    QByteArray bytes(qsizetype(value.size()), Qt::Uninitialized);
    value.copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), Exiv2::invalidByteOrder);
    return bytes;
}

QString TAVExifReader::rowText(const Exiv2::Exifdatum& datum, const Exiv2::ExifData& exifData)
{
    // The library's own values of the common types are turned into text here
    // without its stream formatting, which cost more than the parse itself.
    const Exiv2::TypeId type = datum.typeId();
    if (type == Exiv2::invalidTypeId || isWindowsText(datum)) {
        return decodeUtf8(valueText(datum, exifData));
    }
    const Exiv2::Value& value = datum.value();
    std::optional<QString> text;
    switch (type) {
    case Exiv2::undefined:
    case Exiv2::unsignedByte:
    case Exiv2::signedByte:
        if (typeid(value) == typeid(Exiv2::DataValue)) {
            return bytesText(value);
        }
        break;
    case Exiv2::asciiString:
        if (typeid(value) == typeid(Exiv2::AsciiValue)) {
            // The text ends at its first NUL.
            const std::string& ascii = static_cast<const Exiv2::AsciiValue&>(value).value_;
            return decodeUtf8(ascii.substr(0, ascii.find('\0')));
        }
        break;
    case Exiv2::unsignedShort:
        text = numbersText<uint16_t>(value);
        break;
    case Exiv2::signedShort:
        text = numbersText<int16_t>(value);
        break;
    case Exiv2::unsignedLong:
        text = numbersText<uint32_t>(value);
        break;
    case Exiv2::signedLong:
        text = numbersText<int32_t>(value);
        break;
    case Exiv2::unsignedRational:
        text = numbersText<Exiv2::URational>(value);
        break;
    case Exiv2::signedRational:
        text = numbersText<Exiv2::Rational>(value);
        break;
    default:
        break;
    }
    return text ? *text : decodeUtf8(valueText(datum, exifData));
}

std::optional<QList<TAVEntityPtr>> TAVExifReader::doReadImageMeatadata()
{
    std::optional<QList<TAVEntityPtr>> read = readFamily(
        QStringLiteral("EXIF"), [this](Exiv2::Image& image, QList<TAVEntityPtr>& rows) { appendRows(image, rows); });
    // The earlier rows served this read only: the record that keeps this
    // reader must not keep them too.
    earlierByKey_ = QHash<QString, TAVEntityPtr>();
    return read;
}

void TAVExifReader::shareLongValuesOf(const QList<TAVEntityPtr>& rows)
{
    earlierByKey_.clear();
    for (const TAVEntityPtr& row : rows) {
        if (row->type() == kExifRowType)
            earlierByKey_.insert(row->key(), row);
    }
}

void TAVExifReader::appendRows(Exiv2::Image& image, QList<TAVEntityPtr>& rows)
{
    pixelWidth_ = image.pixelWidth();
    pixelHeight_ = image.pixelHeight();
    const Exiv2::ExifData& exifData = image.exifData();
    makerNote_ = MakerNoteIdentifier::fromExifData(exifData);
    // A maker note the library took apart is kept as its members only:
    // its whole bytes beside them doubled what a record holds (37 KB a
    // photo for some cameras). One it could not read is kept whole.
    const bool makerNoteInMembers = *makerNote_ != MakerNoteIdentifier::None;
    for (const Exiv2::Exifdatum& datum : exifData) {
        if (makerNoteInMembers && datum.tag() == kMakerNoteTag && datum.groupName() == "Photo") {
            continue;
        }
        const QString key = keyText(datum);
        if (key.isEmpty()) {
            continue;
        }
        const int32_t typeId = static_cast<int32_t>(datum.typeId());
        if (const std::optional<QByteArray> bytes = longByteValue(datum)) {
            rows.append(makeRow(kExifRowType, typeId, key, QString()));
            if (const TAVEntityPtr earlier = earlierByKey_.value(key))
                rows.last()->setBytesValue(*bytes, *earlier);
            else
                rows.last()->setBytesValue(*bytes);
            continue;
        }
        const QString value = rowText(datum, exifData);
        if (value.isEmpty()) {
            continue;
        }
        rows.append(makeRow(kExifRowType, typeId, key, value));
        // Long texts (numbers spelled out) are kept in one byte per character.
        if (value.size() >= kShortestCompactText && QtPrivate::isLatin1(value)) {
            rows.last()->setLatin1Value(value.toLatin1());
        }
    }
}

std::optional<qint64> TAVExifReader::sizedFileBytes() const
{
    if (pixelWidth_ < 1 || pixelHeight_ < 1) {
        return std::nullopt;
    }
    return QFileInfo(filePath()).size();
}

QString TAVExifReader::getImageSize() const
{
    const std::optional<qint64> bytes = sizedFileBytes();
    if (!bytes) {
        return QString();
    }
    const QLocale locale;
    return QStringLiteral("%1 x %2 (%3 MB)")
        .arg(locale.toString(qlonglong(pixelWidth_)), locale.toString(qlonglong(pixelHeight_)),
            QString::asprintf("%.1f", double(*bytes) / 1000000.0));
}

float TAVExifReader::getImageSizeByte() const
{
    return float(sizedFileBytes().value_or(0));
}
