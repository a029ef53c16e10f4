#include "models/TAVExifReader.h"

#include "models/MakerNoteIdentifier.h"

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

void appendNumber(std::string& text, long long number)
{
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), number).ptr;
    text.append(digits, end);
}

template <typename Number>
void appendNumber(std::string& text, const std::pair<Number, Number>& fraction)
{
    appendNumber(text, fraction.first);
    text += '/';
    appendNumber(text, fraction.second);
}

// The library's text of a list of numbers or fractions (each one as the
// stream writes it, one space between them), made without a stream; nothing
// when the value is not exactly that list type.
template <typename T>
std::optional<QString> numbersText(const Exiv2::Value& value)
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
    if (size <= 0) {
        return QStringLiteral("");
    }
    // Every byte's digits and a space, once per process: maker notes run to
    // thousands of bytes.
    struct Digits {
        char16_t text[4];
        qsizetype length;
    };
    static const std::array<Digits, 256> table = [] {
        std::array<Digits, 256> digits{};
        for (unsigned byte = 0; byte < 256; ++byte) {
            const std::string text = std::to_string(byte) + ' ';
            for (size_t i = 0; i < text.size(); ++i) {
                digits[byte].text[i] = char16_t(text[i]);
            }
            digits[byte].length = qsizetype(text.size());
        }
        return digits;
    }();
    QVarLengthArray<Exiv2::byte, 1024> bytes(size);
    value.copy(bytes.data(), Exiv2::invalidByteOrder);
    // Sized exactly (no space after the last byte): the text is kept for as
    // long as the image is listed.
    qsizetype length = -1;
    for (const Exiv2::byte byte : bytes) {
        length += table[byte].length;
    }
    QString text(length + 4, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (const Exiv2::byte byte : bytes) {
        std::memcpy(out, table[byte].text, sizeof(table[byte].text));
        out += table[byte].length;
    }
    text.truncate(length);
    return text;
}

constexpr qsizetype kShortestCompactText = 64;

}  // namespace

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
    return readFamily(QStringLiteral("EXIF"), [this](Exiv2::Image& image, QList<TAVEntityPtr>& rows) {
        pixelWidth_ = image.pixelWidth();
        pixelHeight_ = image.pixelHeight();
        const Exiv2::ExifData& exifData = image.exifData();
        makerNote_ = MakerNoteIdentifier::fromExifData(exifData);
        const auto textOf = [&exifData](const Exiv2::Exifdatum& datum) { return rowText(datum, exifData); };
        forEachTextDatum(exifData, "Exif", textOf, [&rows](const QString& key, const QString& value, int32_t typeId) {
            rows.append(makeRow(1, typeId, key, value));
            // Long texts (maker notes and padding spelled as numbers) are
            // kept in one byte per character.
            if (value.size() >= kShortestCompactText && QtPrivate::isLatin1(value)) {
                rows.last()->setLatin1Value(value.toLatin1());
            }
        });
    });
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
