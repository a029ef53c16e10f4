#include "models/write/TAVExifWriter.h"

#include "models/formats/ExivMemoryFile.h"
#include "models/formats/ExivRuntime.h"
#include "models/formats/IptcCharacterSet.h"
#include "models/read/TAVExifReader.h"
#include "models/read/TAVIPTCReader.h"
#include "models/read/TAVXmpReader.h"
#include "models/values/TAVDateTagForms.h"
#include "models/write/ExifBlockDamage.h"
#include "models/write/UnreadableBlocks.h"
#include "models/write/UnreadableXmpPacket.h"
#include "models/write/WrittenImageCheck.h"

#include "models/tables/TAVCVSParaser.h"
#include "models/tables/TAVExifTag.h"
#include "models/tables/TAVKeyLists.h"

#include <QLoggingCategory>
#include <QRegularExpression>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

Q_LOGGING_CATEGORY(lcExifWriter, "lumetta.models.writer")

namespace {

const QString kExifPrefix = QStringLiteral("Exif.");
const QString kIptcPrefix = QStringLiteral("Iptc.");
const QString kXmpPrefix = QStringLiteral("Xmp.");
const QString kKeywordsKey = QStringLiteral("Iptc.Application2.Keywords");
const QString kLatitudeKey = QStringLiteral("Exif.GPSInfo.GPSLatitude");
const QString kLongitudeKey = QStringLiteral("Exif.GPSInfo.GPSLongitude");
const char* const kNoImageMessage = "Exif writer get image is nil error...";

void printCaught(const std::string& message)
{
    std::cout << "Caught Exiv2 exception '" << message << "'\n" << std::flush;
}

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// The property of `xmpData` with the key "Xmp.prefix.property". The library
// compares keys by spelling each property's key anew, in several pieces;
// here its prefix and its name are compared as the library keeps them. A
// save looks its twins up in packets of hundreds of properties.
template <typename XmpData> auto findXmp(XmpData& xmpData, const std::string& key)
{
    const size_t prefixEnd = key.find('.', 4);
    if (key.compare(0, 4, "Xmp.") != 0 || prefixEnd == std::string::npos) {
        return std::find_if(
            xmpData.begin(), xmpData.end(), [&key](const Exiv2::Xmpdatum& datum) { return datum.key() == key; });
    }
    const std::string prefix = key.substr(4, prefixEnd - 4);
    const std::string property = key.substr(prefixEnd + 1);
    return std::find_if(xmpData.begin(), xmpData.end(), [&prefix, &property](const Exiv2::Xmpdatum& datum) {
        return datum.groupName() == prefix && datum.tagName() == property;
    });
}

// The editable-tag row of a key, or nothing for keys outside the tables (maker
// tags and the companions the writer manager writes beside a field).
TAVExifTagPtr tagRowForKey(const QString& key)
{
    return TAVCVSParaser::tagForKey(key);
}

// The value type a new value of the key gets: the table's type, else the type
// the library gives the key. Nothing when the table names a type the library
// does not know: such a row would accept any text as raw bytes.
std::optional<Exiv2::TypeId> typeForNewValue(const TAVExifTagPtr& row, Exiv2::TypeId libraryType)
{
    if (!row) {
        return libraryType;
    }
    if (!row->explicitType() || row->tagType() == TAVExifTag::kInvalidTypeId) {
        return std::nullopt;
    }
    return static_cast<Exiv2::TypeId>(row->tagType());
}

// One part of a coordinate, "2950/100": a rational with a non-zero denominator.
struct CoordinatePart {
    qint64 numerator = 0;
    qint64 denominator = 1;
};

// "37/1 46/1 2950/100": three rationals with non-zero denominators.
std::optional<std::vector<CoordinatePart>> parseCoordinate(const QString& text)
{
    static const QRegularExpression rational(QStringLiteral("^(\\d+)/(\\d+)$"));
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    const QStringList parts = text.split(spaces, Qt::SkipEmptyParts);
    if (parts.size() != 3) {
        return std::nullopt;
    }
    std::vector<CoordinatePart> numbers;
    for (const QString& part : parts) {
        const QRegularExpressionMatch match = rational.match(part);
        if (!match.hasMatch()) {
            return std::nullopt;
        }
        bool numeratorOk = false;
        bool denominatorOk = false;
        const qint64 numerator = match.captured(1).toLongLong(&numeratorOk);
        const qint64 denominator = match.captured(2).toLongLong(&denominatorOk);
        if (!numeratorOk || !denominatorOk || denominator == 0) {
            return std::nullopt;
        }
        numbers.push_back({numerator, denominator});
    }
    return numbers;
}

// A part that fits the file's unsigned rationals is kept exactly: the GPS tab
// gives seconds to a ten-thousandth (1e-7 degree and better), which hundredths
// would cut to 1/100 of a second. Only a part too large for the file becomes
// hundredths, cut rather than rounded so that 59.999 seconds never become 60.
QString coordinatePart(const CoordinatePart& part)
{
    constexpr qint64 kLargest = std::numeric_limits<uint32_t>::max();
    if (part.numerator <= kLargest && part.denominator <= kLargest) {
        return QStringLiteral("%1/%2").arg(part.numerator).arg(part.denominator);
    }
    const double value = static_cast<double>(part.numerator) / static_cast<double>(part.denominator);
    if (value == std::floor(value)) {
        return QStringLiteral("%1/1").arg(static_cast<qint64>(value));
    }
    return QStringLiteral("%1/100").arg(static_cast<qint64>(std::floor(value * 100.0 + 1e-6)));
}

QStringList keywordsOf(const QString& text)
{
    QStringList words;
    for (const QString& word : text.split(QLatin1Char(','))) {
        const QString trimmed = word.trimmed();
        if (!trimmed.isEmpty()) {
            words.append(trimmed);
        }
    }
    return words;
}

using ValuePtr = std::unique_ptr<Exiv2::Value>;

ValuePtr newValueOfType(Exiv2::TypeId type)
{
    auto value = Exiv2::Value::create(type);
    return ValuePtr(value.release());
}

ValuePtr copyOfValue(const Exiv2::Metadatum& datum)
{
    auto value = datum.getValue();
    return ValuePtr(value.release());
}

// Whether every number of an unsigned value came back as written. The library
// wraps what the type cannot hold instead of refusing it: "-100" becomes 65436
// in a Short, "300" becomes 44 in a Byte, "-1/250" becomes 4294967295/250.
bool keepsItsNumbers(const Exiv2::Value& value, const std::string& text)
{
    switch (value.typeId()) {
    case Exiv2::unsignedRational:
        return text.find('-') == std::string::npos;
    case Exiv2::unsignedByte:
    case Exiv2::undefined:
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
        break;
    default:
        return true;
    }
    std::istringstream numbers(text);
    long index = 0;
    for (long long number = 0; numbers >> number; ++index) {
        if (index >= value.count() || value.toLong(index) != number) {
            return false;
        }
    }
    return index == value.count();
}

// Parses the text into the value; false when the library refuses it or would
// store other numbers than the text holds.
bool readText(Exiv2::Value& value, const QString& text)
{
    const std::string bytes = utf8(text);
    return value.read(bytes) == 0 && keepsItsNumbers(value, bytes);
}

// The standard's maximum length of an IPTC dataset in bytes; 0 when the
// library lists none for it.
uint32_t iptcMaxBytes(const Exiv2::IptcKey& key)
{
    const Exiv2::DataSet* list = nullptr;
    if (key.record() == Exiv2::IptcDataSets::envelope) {
        list = Exiv2::IptcDataSets::envelopeRecordList();
    } else if (key.record() == Exiv2::IptcDataSets::application2) {
        list = Exiv2::IptcDataSets::application2RecordList();
    }
    for (; list && list->number_ != 0xffff; ++list) {
        if (list->number_ == key.tag()) {
            return list->maxbytes_;
        }
    }
    return 0;
}

// Other programs reject or cut an IPTC text longer than its dataset allows
// (a title holds 64 bytes): the text is cut to the limit on a character
// boundary, never inside a character's UTF-8 bytes. Only IPTC is cut; the
// EXIF and XMP twins keep the whole text.
QString withinIptcLength(const QString& text, const Exiv2::IptcKey& key, Exiv2::TypeId type)
{
    const uint32_t maxBytes = iptcMaxBytes(key);
    if (type != Exiv2::string || maxBytes == 0) {
        return text;
    }
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const bool pair = text.at(end).isHighSurrogate() && end + 1 < text.size() && text.at(end + 1).isLowSurrogate();
        const qsizetype units = pair ? 2 : 1;
        const qsizetype length = text.mid(end, units).toUtf8().size();
        if (bytes + length > qsizetype(maxBytes)) {
            break;
        }
        bytes += length;
        end += units;
    }
    return text.left(end);
}

void eraseAll(Exiv2::IptcData& iptcData, const Exiv2::IptcKey& key)
{
    for (auto found = iptcData.findKey(key); found != iptcData.end(); found = iptcData.findKey(key)) {
        iptcData.erase(found);
    }
}

// Erases every key in turn. A key the library rejects cannot be in the data:
// it is reported and skipped, and the remaining keys are still erased.
template <typename EraseOne> bool eraseEachKey(const QStringList& keys, EraseOne eraseOne)
{
    bool allKnown = true;
    for (const QString& key : keys) {
        try {
            eraseOne(utf8(key));
        } catch (const Exiv2::AnyError& error) {
            // Erase lists name maker tags of every camera; one the library
            // does not know cannot be in the file, which is no failure to print.
            qCDebug(lcExifWriter, "No such key %s: %s", qUtf8Printable(key), error.what());
            allKnown = false;
        } catch (const std::exception& error) {
            qCDebug(lcExifWriter, "No such key %s: %s", qUtf8Printable(key), error.what());
            allKnown = false;
        }
    }
    return allKnown;
}

// Canon keeps its camera settings and shot information as fixed arrays. The
// library cannot remove a member of such an array: "erasing" one writes 0,
// which reads back as a real setting ("Manual", "Full auto", flash off). A
// clear therefore leaves them as the camera wrote them.
bool isCanonArrayMember(const QString& key)
{
    static const QRegularExpression arrayGroup(QStringLiteral("^Exif\\.Canon[A-Z][A-Za-z]*\\."));
    return arrayGroup.match(key).hasMatch();
}

// The IPTC datasets that hold a time of day, with an optional zone.
bool isIptcTimeKey(const QString& key)
{
    static const QStringList keys = {QStringLiteral("Iptc.Envelope.TimeSent"),
        QStringLiteral("Iptc.Application2.TimeCreated"), QStringLiteral("Iptc.Application2.DigitizationTime"),
        QStringLiteral("Iptc.Application2.ReleaseTime"), QStringLiteral("Iptc.Application2.ExpirationTime")};
    return keys.contains(key);
}

// The library knows a maker note by the camera's make: with the make gone it
// writes the maker note in part or not at all (the Canon S40's and the Sony
// A6000's went whole, the Nikon D3's lost members), and says nothing. A clear
// of the make therefore takes the maker note along, so that the save writes
// what it meant to.
void eraseMakerNote(Exiv2::ExifData& exifData)
{
    for (auto it = exifData.begin(); it != exifData.end();) {
        const std::string group = it->groupName();
        const bool makerNote = Exiv2::ExifTags::isMakerGroup(group) || group == "MakerNote"
            || (group == "Photo" && it->tagName() == "MakerNote");
        it = makerNote ? exifData.erase(it) : std::next(it);
    }
}

} // namespace

TAVExifWriter::TAVExifWriter(const QString& path)
    : filePath_(path)
{
    const ExivRuntime::FileScope scope(filePath_);
    try {
        // The library works on a copy in memory; the file is written only as
        // a whole, by us, once the new bytes are checked.
        file_ = std::make_unique<ExivMemoryFile>(path);
        image_ = &file_->image();
        readMetadata();
        iptcCharacterSet_.emplace(image_->iptcData());
        // A packet the library read properties from decoded; only one that
        // gave none is tried again on its own. Asking the image for its packet
        // while it holds properties would encode them anew (and keep that
        // encoding as the packet).
        // A damaged packet reads as no properties at all.
        const auto unreadable = UnreadableXmpPacket::of(*image_, file_->originalBytes());
        xmpUndecodable_ = unreadable.has_value();
        unreadableXmp_ = unreadable.value_or(std::string());
        // In a TIFF structure the metadata holds the image data's directory:
        // a read that found none (a directory the library cannot parse) would
        // be saved as a file without its picture.
        if (WrittenImageCheck::isTiffBased(image_->imageType()) && image_->exifData().empty()
            && !file_->originalBytes().isEmpty()) {
            printCaught("the image's directory cannot be read");
            dropImage(QStringLiteral("the image's directory cannot be read"));
        } else if (WrittenImageCheck::isTiffBased(image_->imageType())) {
            pictureTags_ = std::make_unique<Exiv2::ExifData>(WrittenImageCheck::pictureTagsOf(image_->exifData()));
        }
    } catch (const Exiv2::AnyError& error) {
        printCaught(error.what());
        // A file whose metadata cannot be read keeps no image: saving would
        // otherwise replace that metadata with the edited tags alone.
        dropImage(QString::fromUtf8(error.what()));
    } catch (const std::exception& error) {
        printCaught(error.what());
        dropImage(QString::fromUtf8(error.what()));
    }
}

void TAVExifWriter::readMetadata()
{
    // The library reads an entry whose bytes lie out of its bounds, in part
    // or not at all, as a shorter or empty value and says so; a save would
    // write it back as read.
    const ExivRuntime::MessageCapture messages;
    ExivRuntime::readMetadata(*image_);
    exifDamageReported_ = ExifBlockDamage::fromLibraryMessages(messages.messages());
}

void TAVExifWriter::dropImage(const QString& why)
{
    image_ = nullptr;
    file_.reset();
    lastError_ = QStringLiteral("the file's metadata could not be read: %1").arg(why);
}

TAVExifWriter::~TAVExifWriter() = default;

bool TAVExifWriter::checkImage() const
{
    if (!image_) {
        printCaught(kNoImageMessage);
        return false;
    }
    return true;
}

QList<TAVEntityPtr> TAVExifWriter::doWriteMetadata(const QList<TAVEntityPtr>& entities)
{
    if (!checkImage()) {
        return entities;
    }
    QList<TAVEntityPtr> failed;
    for (const TAVEntityPtr& entity : entities) {
        if (!entity) {
            continue;
        }
        const QString& key = entity->key();
        bool written = true;
        if (key.startsWith(kExifPrefix)) {
            written = writeExifVale(entity->value(), key, image_->exifData());
        } else if (key.startsWith(kIptcPrefix)) {
            written = writeIptcVale(entity->value(), key, image_->iptcData());
        } else if (key.startsWith(kXmpPrefix)) {
            written = writeXmpVale(entity->value(), key, image_->xmpData());
        }
        if (!written) {
            failed.append(entity);
        }
    }
    return failed;
}

bool TAVExifWriter::writeExifVale(const QString& value, const QString& key, Exiv2::ExifData& exifData)
{
    exifEdited_ = true;
    try {
        if (key == kLatitudeKey || key == kLongitudeKey) {
            const Exiv2::ExifKey referenceKey(utf8(key + QStringLiteral("Ref")));
            const Exiv2::ExifKey coordinateKey(utf8(key));
            if (value.trimmed().isEmpty()) {
                // An empty coordinate is no place: the coordinate and its
                // hemisphere go together.
                for (const auto& gone : {coordinateKey, referenceKey}) {
                    const auto found = exifData.findKey(gone);
                    if (found != exifData.end()) {
                        exifData.erase(found);
                    }
                }
                return true;
            }
            const auto numbers = parseCoordinate(value);
            if (!numbers) {
                return false;
            }
            const QString text = coordinatePart((*numbers)[0]) + QLatin1Char(' ') + coordinatePart((*numbers)[1])
                + QLatin1Char(' ') + coordinatePart((*numbers)[2]);
            qCDebug(lcExifWriter, "the gps = %s", qUtf8Printable(text));
            const ValuePtr rationals = newValueOfType(Exiv2::unsignedRational);
            if (rationals->read(utf8(text)) != 0) {
                return false;
            }
            exifData[utf8(key)].setValue(rationals.get());
            return true;
        }

        const TAVExifTagPtr row = tagRowForKey(key);
        const Exiv2::ExifKey exifKey(utf8(row ? row->tagStr() : key));
        const auto found = exifData.findKey(exifKey);
        const auto newType = typeForNewValue(row, exifKey.defaultTypeId());
        if (!newType) {
            return false;
        }
        const auto isText = [](Exiv2::TypeId type) { return type == Exiv2::asciiString || type == Exiv2::comment; };
        if (value.isEmpty() && (isText(*newType) || (found != exifData.end() && isText(found->typeId())))) {
            // An emptied text is none: an empty tag would hold a lone NUL
            // (or a comment's bare character-set header), and the form would
            // show the text it falls back to as if it were this tag's.
            if (found != exifData.end()) {
                exifData.erase(found);
            }
            return true;
        }
        const ValuePtr newValue = found == exifData.end() || (row && found->typeId() != *newType)
            ? newValueOfType(*newType)
            : copyOfValue(*found);
        // A date typed as the editors list it goes in the tag's own form.
        if (!readText(*newValue, TAVDateTagForms::tagText(key, value))) {
            return false;
        }
        if (found != exifData.end()) {
            found->setValue(newValue.get());
        } else {
            exifData.add(exifKey, newValue.get());
        }
        return true;
    } catch (const Exiv2::AnyError&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

bool TAVExifWriter::writeIptcVale(const QString& value, const QString& key, Exiv2::IptcData& iptcData)
{
    iptcEditedKeys_.insert(key);
    static const QRegularExpression zonelessTime(QStringLiteral("^\\s*\\d{2}:?\\d{2}:?\\d{2}\\s*$"));
    if (isIptcTimeKey(key) && zonelessTime.match(value).hasMatch()) {
        zonelessIptcTimes_.insert(key);
    } else {
        zonelessIptcTimes_.remove(key);
    }
    try {
        const TAVExifTagPtr row = tagRowForKey(key);
        const Exiv2::IptcKey iptcKey(utf8(row ? row->tagStr() : key));
        const auto newType = typeForNewValue(row, Exiv2::IptcDataSets::dataSetType(iptcKey.tag(), iptcKey.record()));
        if (!newType) {
            return false;
        }

        if (key == kKeywordsKey) {
            // One dataset per keyword, as cameras and other programs write
            // them; a single dataset holding "a, b" would read as one keyword
            // elsewhere. Every value is made before the old ones go.
            std::vector<ValuePtr> words;
            for (const QString& word : keywordsOf(value)) {
                ValuePtr wordValue = newValueOfType(*newType);
                if (!readText(*wordValue, withinIptcLength(word, iptcKey, *newType))) {
                    return false;
                }
                words.push_back(std::move(wordValue));
            }
            eraseAll(iptcData, iptcKey);
            for (const auto& word : words) {
                iptcData.add(iptcKey, word.get());
            }
            return true;
        }

        if (value.isEmpty()) {
            // An empty dataset does not read back: an emptied text is none.
            eraseAll(iptcData, iptcKey);
            return true;
        }
        const auto found = iptcData.findKey(iptcKey);
        // A damaged date kept as its stored bytes is text: the typed date
        // goes in the dataset's own form, not cut into that text.
        const ValuePtr newValue
            = found == iptcData.end() || found->typeId() != *newType ? newValueOfType(*newType) : copyOfValue(*found);
        if (!readText(*newValue, withinIptcLength(value, iptcKey, newValue->typeId()))) {
            return false;
        }
        if (found != iptcData.end()) {
            found->setValue(newValue.get());
            return true;
        }
        return iptcData.add(iptcKey, newValue.get()) == 0;
    } catch (const Exiv2::AnyError&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

bool TAVExifWriter::writeXmpVale(const QString& value, const QString& key, Exiv2::XmpData& xmpData)
{
    // The properties of a packet the library cannot read are unknown to us:
    // writing one would replace the whole packet with it.
    if (xmpUndecodable_) {
        return false;
    }
    xmpEdited_ = true;
    try {
        const Exiv2::XmpKey xmpKey(utf8(key));
        const auto found = findXmp(xmpData, xmpKey.key());
        if (value.isEmpty()) {
            if (found != xmpData.end()) {
                xmpData.erase(found);
            }
            return true;
        }
        if (found != xmpData.end() && found->typeId() == Exiv2::langAlt) {
            // The text is the default-language entry; the other languages stay.
            const ValuePtr changed = copyOfValue(*found);
            static_cast<Exiv2::LangAltValue&>(*changed).value_["x-default"] = utf8(value);
            found->setValue(changed.get());
            return true;
        }
        const Exiv2::TypeId type
            = found != xmpData.end() ? found->typeId() : Exiv2::XmpProperties::propertyType(xmpKey);
        const ValuePtr newValue = newValueOfType(type);
        if (type == Exiv2::xmpBag || type == Exiv2::xmpSeq || type == Exiv2::xmpAlt) {
            // Lists are shown with their items joined by ", "; they go back
            // as the items, not as one item holding the whole text.
            for (const QString& item : value.split(QStringLiteral(", "), Qt::SkipEmptyParts)) {
                if (newValue->read(utf8(item)) != 0) {
                    return false;
                }
            }
        } else if (newValue->read(utf8(value)) != 0) {
            return false;
        }
        if (found != xmpData.end()) {
            // Replaced where it stands: erasing it would copy every property
            // after it one place back.
            found->setValue(newValue.get());
            return true;
        }
        return xmpData.add(xmpKey, newValue.get()) == 0;
    } catch (const Exiv2::AnyError&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

namespace {

// Whether the entry makes up the picture of a page of a TIFF structure: its
// size, samples and their coding, its strips or tiles, its palette and
// colour profile. The library keeps most of the first page's through a
// clear of its EXIF, but none of the pages after it (a document's second
// and third pages, which it names Thumbnail and Image2, and the SubIFDs'
// images): Clear All and Clear > EXIF erased them, and those pages with
// them.
bool isPagePicture(const Exiv2::Exifdatum& datum)
{
    static const std::set<uint16_t> tags = {0x00FE, 0x00FF, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0107, 0x0108,
        0x0109, 0x010A, 0x0111, 0x0115, 0x0116, 0x0117, 0x0118, 0x0119, 0x011A, 0x011B, 0x011C, 0x0122, 0x0123, 0x0124,
        0x0125, 0x0128, 0x0129, 0x012D, 0x013D, 0x013E, 0x013F, 0x0140, 0x0141, 0x0142, 0x0143, 0x0144, 0x0145, 0x014C,
        0x014D, 0x014E, 0x0150, 0x0152, 0x0153, 0x0154, 0x0155, 0x0156, 0x015B, 0x0200, 0x0201, 0x0202, 0x0203, 0x0205,
        0x0206, 0x0207, 0x0208, 0x0209, 0x0211, 0x0212, 0x0213, 0x0214, 0x8773};
    const std::string group = datum.groupName();
    const bool page = group == "Thumbnail" || group.rfind("Image", 0) == 0 || group.rfind("SubImage", 0) == 0;
    return page && tags.count(datum.tag()) > 0;
}

} // namespace

bool TAVExifWriter::clearMetadata(const QStringList& keys)
{
    if (!checkImage()) {
        return false;
    }
    exifEdited_ = true;
    Exiv2::ExifData& exifData = image_->exifData();
    QStringList erasable;
    for (const QString& key : keys) {
        if (!isCanonArrayMember(key)) {
            erasable.append(key);
        }
    }
    // A clear of every EXIF key the record lists reaches those of the
    // pages' pictures too.
    const bool tiffBased = WrittenImageCheck::isTiffBased(image_->imageType());
    return eraseEachKey(erasable, [&exifData, tiffBased](const std::string& key) {
        const auto found = exifData.findKey(Exiv2::ExifKey(key));
        if (found == exifData.end() || (tiffBased && isPagePicture(*found))) {
            return;
        }
        exifData.erase(found);
        if (key == "Exif.Image.Make") {
            eraseMakerNote(exifData);
        }
    });
}

bool TAVExifWriter::clearIPTCMetadata(const QStringList& keys)
{
    if (!checkImage()) {
        return false;
    }
    Exiv2::IptcData& iptcData = image_->iptcData();
    for (const QString& key : keys) {
        iptcEditedKeys_.insert(key);
    }
    return eraseEachKey(keys, [&iptcData](const std::string& key) { eraseAll(iptcData, Exiv2::IptcKey(key)); });
}

bool TAVExifWriter::clearXMPMetadata(const QStringList& keys)
{
    if (!checkImage()) {
        return false;
    }
    if (xmpUndecodable_) {
        return false;
    }
    xmpEdited_ = true;
    Exiv2::XmpData& xmpData = image_->xmpData();
    return eraseEachKey(keys, [&xmpData](const std::string& key) {
        const auto found = xmpData.findKey(Exiv2::XmpKey(key));
        if (found != xmpData.end()) {
            xmpData.erase(found);
        }
    });
}

bool TAVExifWriter::clearAllXMPMetadata()
{
    if (!checkImage()) {
        return false;
    }
    // What was asked is everything: a packet the library cannot read goes
    // whole, with the position, camera and dates other programs read in it.
    xmpEdited_ = true;
    xmpClearedAll_ = true;
    image_->xmpData().clear();
    return true;
}

bool TAVExifWriter::clearAllMetadata()
{
    if (!checkImage()) {
        return false;
    }
    pngCleared_ = PngKeptChunks::Cleared::All;
    if (!WrittenImageCheck::isTiffBased(image_->imageType())) {
        return eraseExifBut([](const QString&) { return false; });
    }
    // A JPEG's Photoshop segment stays through the same clear (its IPTC
    // goes): a TIFF's resources are kept alike.
    return eraseExifBut([](const QString& key) { return key == QLatin1String("Exif.Image.ImageResources"); });
}

bool TAVExifWriter::clearExifMetadata()
{
    if (!checkImage()) {
        return false;
    }
    pngCleared_ = std::max(pngCleared_, PngKeptChunks::Cleared::Exif);
    return eraseExifBut(&TAVKeyLists::isOtherFamilyBlockKey);
}

void TAVExifWriter::clearGpsCopies()
{
    pngCleared_ = std::max(pngCleared_, PngKeptChunks::Cleared::Gps);
}

void TAVExifWriter::clearIptcCopies()
{
    if (image_ && image_->imageType() == Exiv2::ImageType::png) {
        clearAllIPTCMetadata();
    }
}

bool TAVExifWriter::eraseExifBut(bool (*kept)(const QString& key))
{
    exifEdited_ = true;
    exifCleared_ = true;
    const bool tiffBased = WrittenImageCheck::isTiffBased(image_->imageType());
    Exiv2::ExifData& exifData = image_->exifData();
    for (auto datum = exifData.begin(); datum != exifData.end();) {
        const bool keep = kept(QString::fromStdString(datum->key())) || (tiffBased && isPagePicture(*datum));
        datum = keep ? std::next(datum) : exifData.erase(datum);
    }
    return true;
}

bool TAVExifWriter::holdsExifKey(const QString& key) const
{
    if (!image_) {
        return false;
    }
    const std::string wanted = utf8(key);
    const Exiv2::ExifData& exifData = image_->exifData();
    return std::any_of(
        exifData.begin(), exifData.end(), [&wanted](const Exiv2::Exifdatum& datum) { return datum.key() == wanted; });
}

bool TAVExifWriter::clearAllIPTCMetadata()
{
    if (!checkImage()) {
        return false;
    }
    iptcCleared_ = true;
    image_->iptcData().clear();
    return true;
}

int TAVExifWriter::iptcMaxBytes(const QString& key)
{
    try {
        return int(::iptcMaxBytes(Exiv2::IptcKey(utf8(key))));
    } catch (const Exiv2::AnyError&) {
        return 0;
    } catch (const std::exception&) {
        return 0;
    }
}

bool TAVExifWriter::canHoldXmp() const
{
    return image_ && !xmpUndecodable_ && (image_->checkMode(Exiv2::mdXmp) & Exiv2::amWrite) != 0;
}

bool TAVExifWriter::isKeyExistInCurrentImage(const QString& key)
{
    if (!checkImage()) {
        return false;
    }
    bool found = true;
    try {
        if (key.startsWith(kExifPrefix)) {
            const Exiv2::ExifData& exifData = image_->exifData();
            found = exifData.findKey(Exiv2::ExifKey(utf8(key))) != exifData.end();
        } else if (key.startsWith(kIptcPrefix)) {
            const Exiv2::IptcData& iptcData = image_->iptcData();
            found = iptcData.findKey(Exiv2::IptcKey(utf8(key))) != iptcData.end();
        } else if (key.startsWith(kXmpPrefix)) {
            const Exiv2::XmpData& xmpData = image_->xmpData();
            found = xmpData.findKey(Exiv2::XmpKey(utf8(key))) != xmpData.end();
        }
    } catch (const Exiv2::AnyError& error) {
        printCaught(error.what());
        return false;
    } catch (const std::exception& error) {
        printCaught(error.what());
        return false;
    }
    // An absent key is an answer, not a failure: nothing is printed for it,
    // so that a save that asks which tags a file holds says nothing.
    return found;
}

QString TAVExifWriter::currentValue(const QString& key) const
{
    if (!image_) {
        return QString();
    }
    const std::string wanted = utf8(key);
    const auto textOf = [&wanted](const auto& data) {
        for (const auto& datum : data) {
            if (datum.key() == wanted) {
                return QString::fromStdString(datum.toString());
            }
        }
        return QString();
    };
    if (key.startsWith(kExifPrefix)) {
        return textOf(image_->exifData());
    }
    if (key.startsWith(kIptcPrefix)) {
        return textOf(image_->iptcData());
    }
    const Exiv2::XmpData& xmpData = image_->xmpData();
    const auto found = findXmp(xmpData, wanted);
    return found == xmpData.end() ? QString() : QString::fromStdString(found->toString());
}

QMap<QString, std::optional<QString>> TAVExifWriter::shownTexts(const QSet<QString>& keys) const
{
    QMap<QString, std::optional<QString>> texts;
    for (const QString& key : keys) {
        texts.insert(key, QString());
    }
    if (!image_) {
        return texts;
    }
    // The texts found for each key, and their stored values.
    QMap<QString, QStringList> shown;
    QMap<QString, QString> stored;
    const auto note = [&shown, &stored](const QString& key, const QString& text, const std::string& value) {
        shown[key].append(text);
        stored[key] += QString::fromStdString(value);
    };
    // EXIF and IPTC entries are matched by their numbers: spelling each
    // entry's key would cost more than the rest of the look-up.
    std::map<std::pair<int, uint16_t>, QString> exifKeys;
    std::map<std::pair<uint16_t, uint16_t>, QString> iptcKeys;
    std::set<std::string> xmpKeys;
    for (const QString& key : keys) {
        try {
            if (key.startsWith(kExifPrefix)) {
                const Exiv2::ExifKey exifKey(utf8(key));
                exifKeys.emplace(std::make_pair(int(exifKey.ifdId()), exifKey.tag()), key);
            } else if (key.startsWith(kIptcPrefix)) {
                const Exiv2::IptcKey iptcKey(utf8(key));
                iptcKeys.emplace(std::make_pair(iptcKey.record(), iptcKey.tag()), key);
            } else if (key.startsWith(kXmpPrefix)) {
                xmpKeys.insert(utf8(key));
            }
        } catch (const Exiv2::AnyError&) {
        } catch (const std::exception&) {
        }
    }
    const Exiv2::ExifData& exifData = image_->exifData();
    for (const Exiv2::Exifdatum& datum : exifData) {
        const auto found = exifKeys.find({int(datum.ifdId()), datum.tag()});
        if (found != exifKeys.end() && !shown.contains(found->second)) {
            note(found->second, TAVExifReader::rowText(datum, exifData), datum.toString());
        }
    }
    const Exiv2::IptcData& iptcData = image_->iptcData();
    if (!iptcKeys.empty() && !iptcData.empty()) {
        const std::optional<IptcCharacterSet> set
            = IptcCharacterSet::showsAsLatin1(iptcData) ? std::optional<IptcCharacterSet>(iptcData) : std::nullopt;
        for (const Exiv2::Iptcdatum& datum : iptcData) {
            const auto found = iptcKeys.find({datum.record(), datum.tag()});
            if (found != iptcKeys.end()) {
                note(found->second, TAVIPTCReader::textValue(datum, set ? &*set : nullptr), datum.toString());
            }
        }
    }
    if (!xmpKeys.empty()) {
        for (const Exiv2::Xmpdatum& datum : image_->xmpData()) {
            const std::string key = "Xmp." + datum.groupName() + "." + datum.tagName();
            const QString name = QString::fromStdString(key);
            if (xmpKeys.count(key) > 0 && !shown.contains(name)) {
                note(name, TAVImageMetadatReaderBase::decodeUtf8(TAVXmpReader::textValue(datum)), datum.toString());
            }
        }
    }
    for (auto text = shown.cbegin(); text != shown.cend(); ++text) {
        // A repeated dataset reads as its texts joined, as the keywords row
        // shows them.
        const QString joined = text.value().join(QStringLiteral(", "));
        const bool unread = joined.trimmed().isEmpty() && !stored.value(text.key()).trimmed().isEmpty();
        texts.insert(text.key(), unread ? std::nullopt : std::optional<QString>(joined));
    }
    return texts;
}

bool TAVExifWriter::readsIptcOnAGuess() const
{
    if (!image_) {
        return false;
    }
    // A block not shown as Latin-1 reads as UTF-8, as it declares or
    // throughout; undeclared, its texts that other sets read too are UTF-8
    // only on a guess.
    const Exiv2::IptcData& iptc = image_->iptcData();
    if (TAVIPTCReader::readsAsUtf8Undeclared(iptc)) {
        return std::any_of(iptc.begin(), iptc.end(), [](const Exiv2::Iptcdatum& datum) {
            const std::string bytes = datum.typeId() == Exiv2::string ? datum.toString() : std::string();
            return TAVIPTCReader::isTextOnAGuess(bytes, false, true);
        });
    }
    if (!IptcCharacterSet::showsAsLatin1(iptc)) {
        return false;
    }
    return TAVIPTCReader::readsOnAGuess(image_->iptcData(), IptcCharacterSet(image_->iptcData()));
}

bool TAVExifWriter::unreadableXmpMayHold(const QString& key) const
{
    if (!image_ || !xmpUndecodable_) {
        return false;
    }
    try {
        const Exiv2::XmpKey xmpKey(utf8(key));
        return UnreadableXmpPacket::mayHold(unreadableXmp_, xmpKey.ns(), xmpKey.tagName());
    } catch (const Exiv2::AnyError&) {
        return true;
    } catch (const std::exception&) {
        return true;
    }
}

bool TAVExifWriter::holdsIptc() const
{
    // An IPTC block the library cannot read still holds the file's IPTC for
    // other programs: an edit whose twins reach IPTC must meet it there.
    return image_ && (!image_->iptcData().empty() || UnreadableBlocks::hasDamagedIptc(file_->originalBytes()));
}

Exiv2::ExifData TAVExifWriter::getExifData() const
{
    return image_ ? image_->exifData() : Exiv2::ExifData();
}

bool TAVExifWriter::testValue(const QString& value, const QString& key)
{
    if (value.isEmpty()) {
        return true;
    }
    // Keys of no metadata family (the application's own "Summary." keys)
    // hold nothing the library could check.
    if (!key.startsWith(QLatin1String("Exif")) && !key.startsWith(QLatin1String("Xmp"))
        && !key.startsWith(QLatin1String("Iptc"))) {
        return false;
    }
    try {
        int32_t type = 0;
        if (const TAVExifTagPtr row = tagRowForKey(key)) {
            if (!row->explicitType() || row->tagType() == TAVExifTag::kInvalidTypeId) {
                return false;
            }
            type = row->tagType();
        } else if (key.startsWith(kXmpPrefix)) {
            // XMP properties are written with the library's type for them, so
            // they are checked against that type too.
            type = Exiv2::XmpProperties::propertyType(Exiv2::XmpKey(utf8(key)));
        }
        const ValuePtr probe = newValueOfType(static_cast<Exiv2::TypeId>(type));
        return readText(*probe, value);
    } catch (const Exiv2::AnyError&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}
