#include "models/image/FDMetadataContainer.h"
#include "models/formats/ExivRuntime.h"

#include "models/formats/ExivMemoryFile.h"
#include "models/formats/PngKeptChunks.h"
#include "models/formats/PngPhotoshopChunk.h"
#include "models/tables/TAVKeyLists.h"
#include "models/write/ExifEntryCleaner.h"
#include "models/write/UnreadableXmpPacket.h"
#include "models/write/WrittenImageCheck.h"

#include "foundation/FileServices.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <exiv2/exiv2.hpp>

#include <iostream>
#include <optional>

Q_LOGGING_CATEGORY(lcMetadataContainer, "lumetta.models.container")

namespace {

const char* const kOrientationKey = "Exif.Image.Orientation";

void reportLibraryError(const char* message)
{
    std::cout << "Caught Exiv2 exception '" << message << "'\n" << std::flush;
}

// Whether the read image's file holds XMP the library cannot decode. Only a
// JPEG's segments are looked at in its bytes.
bool unreadableXmpIn(const Exiv2::Image& image, const QString& path)
{
    QByteArray bytes;
    if (image.imageType() == Exiv2::ImageType::jpeg) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            bytes = file.readAll();
        }
    }
    return UnreadableXmpPacket::of(image, bytes).has_value();
}

// The source's entries without those that describe its pixels, plus the
// target's entries that describe the target's.
template <typename Data> Data withOwnPixelTags(const Data& source, const Data& target)
{
    Data merged;
    for (const auto& datum : source) {
        if (!TAVKeyLists::isPixelDescriptionKey(QString::fromStdString(datum.key()))) {
            merged.add(datum);
        }
    }
    for (const auto& datum : target) {
        if (TAVKeyLists::isPixelDescriptionKey(QString::fromStdString(datum.key()))) {
            merged.add(datum);
        }
    }
    return merged;
}

// The orientation turns the target's own pixels: whatever the list of such
// tags holds, the merged data has the target's orientation, or none.
template <typename Data, typename Key> void keepOwnOrientation(Data& merged, const Data& target, const Key& key)
{
    for (auto found = merged.findKey(key); found != merged.end(); found = merged.findKey(key)) {
        merged.erase(found);
    }
    const auto own = target.findKey(key);
    if (own != target.end()) {
        merged.add(*own);
    }
}

// Finds the first entry of `key` in the collection its prefix names, without
// adding one. Throws the library's error for a key it does not know.
const Exiv2::Metadatum* findDatum(const FDMetadataContainer& container, const std::string& key)
{
    if (key.rfind("Exif", 0) == 0) {
        const auto& exif = container.exifData();
        const auto found = exif.findKey(Exiv2::ExifKey(key));
        return found == exif.end() ? nullptr : &*found;
    }
    if (key.rfind("Iptc", 0) == 0) {
        const auto& iptc = container.iptcData();
        const auto found = iptc.findKey(Exiv2::IptcKey(key));
        return found == iptc.end() ? nullptr : &*found;
    }
    if (key.rfind("Xmp", 0) == 0) {
        const auto& xmp = container.xmpData();
        const auto found = xmp.findKey(Exiv2::XmpKey(key));
        return found == xmp.end() ? nullptr : &*found;
    }
    return nullptr;
}

template <typename Collection> void appendKeys(const Collection& collection, QStringList& keys)
{
    for (const auto& datum : collection) {
        keys.append(QString::fromStdString(datum.key()));
    }
}

} // namespace

FDMetadataContainerPtr FDMetadataContainer::metadataForImageAtPath(const QString& path)
{
    if (path.isEmpty()) {
        return nullptr;
    }
    FDMetadataContainerPtr container;
    const ExivRuntime::FileScope scope(path);
    try {
        // As an absolute path "-" is a file, never standard input, and a URL
        // is never fetched.
        const auto image
            = Exiv2::ImageFactory::open(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString());
        ExivRuntime::readMetadata(*image);
        container = std::make_shared<FDMetadataContainer>();
        container->exifData_ = image->exifData();
        container->iptcData_ = image->iptcData();
        container->xmpData_ = image->xmpData();
        container->xmpUndecodable_ = container->xmpData_.empty() && unreadableXmpIn(*image, path);
    } catch (const Exiv2::AnyError& error) {
        reportLibraryError(error.what());
    } catch (const std::exception& error) {
        reportLibraryError(error.what());
    }
    return container;
}

QStringList FDMetadataContainer::allKeys() const
{
    QStringList keys;
    appendKeys(exifData_, keys);
    appendKeys(iptcData_, keys);
    appendKeys(xmpData_, keys);
    return keys;
}

FDDataBitPtr FDMetadataContainer::valueForKey(const QString& key) const
{
    if (key.isNull()) {
        qCWarning(lcMetadataContainer, "nil key argument");
        return nullptr;
    }
    try {
        const Exiv2::Metadatum* datum = findDatum(*this, key.toStdString());
        if (datum == nullptr || datum->typeId() == Exiv2::invalidTypeId) {
            return nullptr;
        }
        return FDDataBit::dataBitWithDatum(*datum);
    } catch (const Exiv2::AnyError&) {
        // A key the library does not know names no entry.
    } catch (const std::exception&) {
    }
    return nullptr;
}

QMap<QString, FDDataBitPtr> FDMetadataContainer::dictionary() const
{
    QMap<QString, FDDataBitPtr> values;
    for (const QString& key : allKeys()) {
        if (values.contains(key)) {
            continue;
        }
        if (FDDataBitPtr value = valueForKey(key)) {
            values.insert(key, value);
        }
    }
    return values;
}

namespace {

bool writeOver(const QString& path, const QByteArray& bytes, const FileServices::Identity* expected, QString* error)
{
    if (expected == nullptr) {
        return FileServices::writeFileAtomically(path, bytes, error);
    }
    std::unique_ptr<FileServices::PendingWrite> pending
        = FileServices::prepareFileWrite(path, bytes, std::nullopt, error);
    return pending
        && FileServices::commitFileWrite(std::move(pending), *expected, nullptr, error)
        == FileServices::Publication::Published;
}

} // namespace

bool FDMetadataContainer::saveMetadataToFileAtPath(const QString& path, const FileServices::Identity* imported)
{
    const ExivRuntime::FileScope scope(path);
    try {
        // The source's orientation describes the source's pixels, not the
        // target's, so it is never cloned.
        const auto sourceOrientation = exifData_.findKey(Exiv2::ExifKey(kOrientationKey));
        if (sourceOrientation != exifData_.end()) {
            exifData_.erase(sourceOrientation);
        }

        // Reading the target first keeps what is not metadata proper: its
        // colour profile, its comment and its own orientation.
        ExivMemoryFile target(path);
        // A converter's PNG holds its IPTC among its Photoshop resources too:
        // the cloned IPTC replaces both copies alike, as an edit's does, and
        // is refused where that edit would be (copies that differ, or the
        // resources alone holding the IPTC).
        const bool photoshopIptc = PngPhotoshopChunk::holdsIptc(target.originalBytes());
        if (photoshopIptc) {
            const QString refusal = PngPhotoshopChunk::iptcChangeRefusal(target.originalBytes(), false);
            if (!refusal.isEmpty()) {
                qCWarning(
                    lcMetadataContainer, "Could not replace %s: %s", qUtf8Printable(path), qUtf8Printable(refusal));
                return false;
            }
        }
        Exiv2::Image& image = target.image();
        ExivRuntime::readMetadata(image);

        // The tags that describe the source's own pixels (dimensions,
        // compression, strips, thumbnail...) are left out; the target keeps
        // its own, which describe the pixels it has.
        Exiv2::ExifData exif = exifData_;
        Exiv2::ExifThumb(exif).erase();
        ExifEntryCleaner::removeEntriesOfUnknownType(exif);
        exif = withOwnPixelTags(exif, image.exifData());
        keepOwnOrientation(exif, image.exifData(), Exiv2::ExifKey(kOrientationKey));
        Exiv2::XmpData xmp = withOwnPixelTags(xmpData_, image.xmpData());
        keepOwnOrientation(xmp, image.xmpData(), Exiv2::XmpKey("Xmp.tiff.Orientation"));
        // Every family is set, empty ones too, so that a family the source
        // lacks is removed from the target.
        image.setExifData(exif);
        image.setIptcData(iptcData_);
        image.setXmpData(xmp);
        // The target's IPTC is replaced whole, a block the library could not
        // read included.
        const WrittenImageCheck::Expected expected{image.exifData(), image.iptcData(), image.xmpData(), true, {}, true};
        ExivRuntime::writeMetadata(image);

        // The new bytes replace the target only once they read back whole.
        QString error;
        std::optional<QByteArray> written = ExivMemoryFile::writtenBytes(image, &error);
        if (written) {
            // A PNG keeps its other chunks as they were.
            *written = PngKeptChunks::withKeptChunks(*written, target.originalBytes());
        }
        if (written && photoshopIptc) {
            written = PngPhotoshopChunk::withIptcInStep(*written);
            if (!written) {
                error = QStringLiteral("its Photoshop resources could not take the cloned IPTC");
            }
        }
        if (!written || !WrittenImageCheck::confirm(target.originalBytes(), *written, expected, &error)
            || !writeOver(path, *written, imported, &error)) {
            qCWarning(lcMetadataContainer, "Could not replace %s: %s", qUtf8Printable(path), qUtf8Printable(error));
            return false;
        }
        return true;
    } catch (const Exiv2::AnyError& error) {
        reportLibraryError(error.what());
    } catch (const std::exception& error) {
        reportLibraryError(error.what());
    }
    return false;
}
