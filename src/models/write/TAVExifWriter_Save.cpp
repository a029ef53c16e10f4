// The save: the edited metadata written into the file's bytes in memory, the
// blocks the library cannot read put back as the file held them, and the bytes
// checked before they replace the working copy.
#include "models/write/TAVExifWriter.h"

#include "models/formats/ExivMemoryFile.h"
#include "models/formats/ExivRuntime.h"
#include "models/formats/IptcCharacterSet.h"
#include "models/formats/JpegSegments.h"
#include "models/formats/PngKeptChunks.h"
#include "models/formats/PngPhotoshopChunk.h"
#include "models/formats/PngProfileChunk.h"
#include "models/formats/SonyPreviewImage.h"
#include "models/formats/TiffIptcEntries.h"
#include "models/write/ExifBlockDamage.h"
#include "models/write/ExifEntryCleaner.h"
#include "models/write/FileXmpPacket.h"
#include "models/write/PhotoshopIptcDigest.h"
#include "models/write/RepeatedExifBlocks.h"
#include "models/write/UnreadableBlocks.h"
#include "models/write/UnreadableXmpPacket.h"

#include "foundation/FileServices.h"

#include <QFileInfo>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cstring>
#include <iostream>

namespace {

// The APP13 marker of the segments that hold a JPEG's Photoshop resources.
constexpr uint8_t kPhotoshopMarker = 0xED;

// A JPEG's EXIF segment holds at most this many bytes of TIFF structure: its
// length field counts up to 65535 bytes, itself and "Exif\0\0" included. The
// library writes a PNG's EXIF block to the same measure.
constexpr size_t kMaxJpegExifSize = 65535 - 2 - 6;

// The size of the EXIF data written as a TIFF structure with no tag left out;
// 0 when the library cannot write it.
size_t encodedExifSize(const Exiv2::Image& image)
{
    try {
        Exiv2::MemIo io;
        const Exiv2::ByteOrder order
            = image.byteOrder() == Exiv2::invalidByteOrder ? Exiv2::littleEndian : image.byteOrder();
        Exiv2::TiffParser::encode(io, nullptr, 0, order, image.exifData(), Exiv2::IptcData(), Exiv2::XmpData());
        return size_t(io.size());
    } catch (const Exiv2::AnyError&) {
        return 0;
    } catch (const std::exception&) {
        return 0;
    }
}

// Appends the raw values of one IPTC dataset found in `bytes`, in order.
// IPTC blocks are stored uncompressed, so the datasets are found by their
// tag marker (0x1C, record, dataset, two length bytes).
void appendRawIptcTimes(QByteArrayView bytes, int record, int dataset, QList<QByteArray>& values)
{
    const char* const end = bytes.data() + bytes.size();
    for (const char* at = bytes.data(); end - at >= 5; ++at) {
        at = static_cast<const char*>(std::memchr(at, 0x1c, size_t(end - at)));
        if (at == nullptr || end - at < 5) {
            return;
        }
        if (uint8_t(at[1]) != record || uint8_t(at[2]) != dataset || at[3] != 0) {
            continue;
        }
        const qsizetype length = uint8_t(at[4]);
        const QByteArray value(at + 5, std::min(length, qsizetype(end - at - 5)));
        const bool digitsAndZone = std::all_of(
            value.begin(), value.end(), [](char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-'; });
        if ((length == 6 || length == 11) && value.size() == length && digitsAndZone) {
            values.append(value);
        }
    }
}

// The raw values of one IPTC dataset in the file, in file order. A JPEG's
// IPTC is the one its Photoshop segments hold, the only one the library
// reads: a copy elsewhere (in the EXIF block's IPTC tag) would shift the
// values against the library's, and the picture's bytes could hold the
// marker by chance.
QList<QByteArray> rawIptcTimes(const QByteArray& file, int record, int dataset)
{
    QList<QByteArray> values;
    const std::optional<JpegSegments::Header> jpeg = JpegSegments::header(file);
    if (!jpeg) {
        appendRawIptcTimes(file, record, dataset, values);
        return values;
    }
    for (const JpegSegments::Segment& segment : jpeg->segments) {
        if (segment.marker == kPhotoshopMarker) {
            appendRawIptcTimes(
                QByteArrayView(file).sliced(segment.dataOffset(), segment.dataSize()), record, dataset, values);
        }
    }
    return values;
}

// Why the library gave up on a write. It cannot write a JPEG whose Photoshop
// resources run past their segments (an IPTC resource's size 1000 bytes too
// large, which other programs read whole, gave "Input data does not contain
// a valid image"): the user is told what is damaged.
QString libraryFailure(const char* what, const QByteArray& original)
{
    if (UnreadableBlocks::hasDamagedIptc(original)) {
        return QStringLiteral("the file's IPTC block is damaged, so the library cannot write the file");
    }
    return QString::fromUtf8(what);
}

// The name users know a file's format by; the file's suffix for a format
// not named here.
QString formatName(int type, const QString& path)
{
    switch (type) {
    case Exiv2::ImageType::eps:
        return QStringLiteral("EPS");
    case Exiv2::ImageType::gif:
        return QStringLiteral("GIF");
    case Exiv2::ImageType::bmp:
        return QStringLiteral("BMP");
    case Exiv2::ImageType::tga:
        return QStringLiteral("TGA");
    case Exiv2::ImageType::psd:
        return QStringLiteral("Photoshop");
    case Exiv2::ImageType::jp2:
        return QStringLiteral("JPEG 2000");
    default:
        return QFileInfo(path).suffix().toUpper();
    }
}

// Why the library wrote nothing into a file it reads but cannot write (an
// EPS file of an old Illustrator, a GIF, a BMP): its write gives only "Failed
// to write image" or "Writing to ... images is not supported", and logs its
// reason, if any, just before. Empty for any other failure.
QString unwritableFormat(
    const Exiv2::AnyError& caught, int type, const QString& path, const std::vector<std::string>& messages)
{
    if (caught.code() != Exiv2::kerImageWriteFailed && caught.code() != Exiv2::kerWritingImageFormatUnsupported) {
        return QString();
    }
    const QString format = formatName(type, path);
    QString reason = messages.empty() ? QString() : QString::fromStdString(messages.back()).trimmed();
    while (reason.endsWith(QLatin1Char('.'))) {
        reason.chop(1);
    }
    return QStringLiteral("the image library cannot write metadata into this %1file%2, so the file was left as it "
                          "was")
        .arg(format.isEmpty() ? QString() : format + QLatin1Char(' '),
            reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason));
}

} // namespace

bool TAVExifWriter::saveModifiedMetadata()
{
    if (!checkImage()) {
        return false;
    }
    lastError_.clear();
    QString error;
    const ExivRuntime::FileScope scope(filePath_);
    const ExivRuntime::MessageCapture messages;
    try {
        if (writeAndConfirm(&error)) {
            return true;
        }
    } catch (const Exiv2::AnyError& caught) {
        error = unwritableFormat(caught, image_->imageType(), filePath_, messages.messages());
        if (error.isEmpty()) {
            error = libraryFailure(caught.what(), file_->originalBytes());
        }
    } catch (const std::exception& caught) {
        error = libraryFailure(caught.what(), file_->originalBytes());
    }
    const int type = image_->imageType();
    if (type == Exiv2::ImageType::jpeg || type == Exiv2::ImageType::png) {
        // The library leaves tags out of an EXIF block that outgrows its
        // segment, or gives up; either way the reason is the size. It holds
        // a PNG's block to the same size: with the Sony PNG's block grown by
        // a description, 65,526 bytes were written whole and 65,528 not.
        const size_t needed = encodedExifSize(*image_);
        if (needed > kMaxJpegExifSize) {
            const QString holder = type == Exiv2::ImageType::jpeg ? QStringLiteral("segment") : QStringLiteral("block");
            error = QStringLiteral("the metadata no longer fits in the file's EXIF %1 (it needs %2 bytes, the %1 "
                                   "holds at most %3)")
                        .arg(holder)
                        .arg(needed)
                        .arg(kMaxJpegExifSize);
        }
    }
    std::cout << "Caught Exiv2 exception when save exif data'" << error.toStdString() << "'\n" << std::flush;
    lastError_ = error;
    return false;
}

std::optional<TAVExifWriter::KeptBlocks> TAVExifWriter::prepareBlocks(const QByteArray& original, QString* error)
{
    const int type = image_->imageType();
    const bool jpeg = type == Exiv2::ImageType::jpeg;
    const bool iptcChanged = !iptcEditedKeys_.isEmpty() || iptcCleared_;
    // A converter's PNG holds its IPTC among its Photoshop resources too: a
    // change is written there as well.
    KeptBlocks kept;
    if (iptcChanged && type == Exiv2::ImageType::png && PngPhotoshopChunk::holdsIptc(original)) {
        *error = PngPhotoshopChunk::iptcChangeRefusal(original, iptcCleared_);
        if (!error->isEmpty()) {
            return std::nullopt;
        }
        kept.photoshopIptc = true;
    }
    // The IPTC block goes back as the file holds it when the save edits no
    // IPTC: the library would encode it anew, with its datasets sorted by
    // record and the padding after them dropped, and would lose what it
    // cannot read of a damaged one (the check refuses that outcome). Kept
    // are a JPEG's Photoshop segments, a TIFF's IPTC entry and Photoshop
    // resources (where the library read datasets, so it writes both
    // entries) and a PNG's IPTC chunk, in its place.
    if (!iptcChanged) {
        if (jpeg) {
            kept.iptc = UnreadableBlocks::photoshopBlock(original).has_value();
        } else if (type == Exiv2::ImageType::png) {
            kept.iptc = PngKeptChunks::holdsIptc(original);
        } else if (WrittenImageCheck::isTiffBased(type) && !image_->iptcData().empty()) {
            kept.iptc = !TiffIptcEntries::of(original).value_or(QByteArray()).isEmpty();
        }
    }
    // A JPEG's or PNG's EXIF block that is cleared goes whole, its damage
    // with it: nothing of it is left to lose. A TIFF keeps its first
    // directory, which describes the picture.
    const bool exifGoesWhole = exifCleared_ && (jpeg || type == Exiv2::ImageType::png);
    if (!exifGoesWhole) {
        kept.exifDamage = ExifBlockDamage::in(original);
        if (kept.exifDamage.isEmpty()) {
            kept.exifDamage = exifDamageReported_;
        }
    }
    kept.exif = jpeg && !exifEdited_ && JpegSegments::exifSegments(original).size() == 1 && !kept.exifDamage.isEmpty();
    if (!jpeg && !kept.exifDamage.isEmpty()) {
        // The check refuses what the library would write; told before it
        // writes, with the reason (an IPTC edit of a TIFF whose Photoshop
        // resources are damaged was told only that its title did not read
        // back).
        *error = WrittenImageCheck::unkeptDamage(kept.exifDamage);
        return std::nullopt;
    }
    if (!kept.iptc) {
        *error = iptcCharacterSet_->settle(image_->iptcData(), iptcEditedKeys_);
        if (!error->isEmpty()) {
            return std::nullopt;
        }
    }
    if (!kept.exif) {
        RepeatedExifBlocks::mergeInto(original, *image_);
        ExifEntryCleaner::removeEntriesOfUnknownType(image_->exifData());
    }
    return kept;
}

bool TAVExifWriter::writeAndConfirm(QString* error)
{
    const QByteArray& original = file_->originalBytes();
    const std::optional<KeptBlocks> prepared = prepareBlocks(original, error);
    if (!prepared) {
        return false;
    }
    const KeptBlocks kept = *prepared;
    // Asking for the packet and writing may encode the XMP.
    auto xmpLock = ExivRuntime::lockXmp();
    keepUntouchedXmpPacket();
    // The packet matters to the check only when it is kept as read; an
    // edited one would be encoded here only to be encoded again.
    const WrittenImageCheck::Expected expected{image_->exifData(), image_->iptcData(), image_->xmpData(), xmpEdited_,
        xmpEdited_ ? std::string() : image_->xmpPacket(), iptcCleared_, pictureTags_.get(), kept.exifDamage,
        pngCleared_, kept.iptc};
    if (!kept.iptc) {
        keepUntouchedIptcTimes();
    }
    image_->writeMetadata();
    xmpLock.unlock();
    std::optional<QByteArray> written = bytesToWrite(original, kept, error);
    if (!written || !SonyPreviewImage::keepPreview(original, *written, error)) {
        return false;
    }
    return confirmAndKeep(original, std::move(*written), expected, error);
}

std::optional<QByteArray> TAVExifWriter::bytesToWrite(const QByteArray& original, KeptBlocks kept, QString* error)
{
    // The library's memory is read where it lies, not copied: the writer and
    // the bytes handed on keep it.
    std::optional<ExivMemoryFile::TakenBytes> taken = ExivMemoryFile::takeWrittenBytes(*image_, error);
    writtenMemory_ = taken ? taken->owner : nullptr;
    std::optional<QByteArray> written = taken ? std::optional<QByteArray>(std::move(taken->bytes)) : std::nullopt;
    if (written) {
        *written = RepeatedExifBlocks::withoutLaterBlocks(*written);
        PhotoshopIptcDigest::refresh(*written, original);
    }
    const int type = image_->imageType();
    if (written && kept.iptc && type == Exiv2::ImageType::jpeg) {
        written = UnreadableBlocks::withPhotoshopSegmentsOf(*written, original);
    } else if (written && kept.iptc && type != Exiv2::ImageType::png) {
        written = TiffIptcEntries::withEntriesOf(*written, original);
    }
    if (written && kept.exif) {
        written = UnreadableBlocks::withExifSegmentOf(*written, original);
    }
    if (written && PngProfileChunk::isDamaged(original)) {
        written = PngProfileChunk::withChunksOf(*written, original);
    }
    if (written) {
        // A PNG's chunks go back as the file held them, bar the EXIF, IPTC
        // and XMP the library wrote and what a clear takes.
        *written = PngKeptChunks::withKeptChunks(*written, original, pngCleared_, kept.iptc);
    }
    if (written && kept.photoshopIptc) {
        written = PngPhotoshopChunk::withIptcInStep(*written);
    }
    if (written && UnreadableBlocks::hasDamagedProfile(original)) {
        written = UnreadableBlocks::withProfileSegmentsOf(*written, original);
    }
    keptUnreadableXmp_ = false;
    if (written && xmpClearedAll_ && image_->imageType() == Exiv2::ImageType::jpeg) {
        // The library keeps a segment whose XMP signature is damaged as
        // another program's; a clear of everything takes it when it is XMP.
        UnreadableXmpPacket::Cleared cleared = UnreadableXmpPacket::withoutDamagedSignatureSegments(*written);
        written = std::move(cleared.bytes);
        keptUnreadableXmp_ = cleared.keptSegment;
    }
    if (!written && error->isEmpty()) {
        *error = QStringLiteral("a metadata block the library cannot read could not be kept");
    }
    return written;
}

bool TAVExifWriter::confirmAndKeep(
    const QByteArray& original, QByteArray written, const WrittenImageCheck::Expected& expected, QString* error)
{
    auto readBack = std::make_shared<TAVImageMetadatReaderBase::SharedImage>();
    readBack->bytesOwner = writtenMemory_;
    readBack->bytes = std::move(written);
    WrittenImageCheck::ReadBack check;
    if (!WrittenImageCheck::confirm(original, readBack->bytes, expected, error, &check)
        || (writesFile_ && !FileServices::writeScratchFileAtomically(filePath_, readBack->bytes, error))) {
        return false;
    }
    readBack->parsedBytes = std::move(check.parsedBytes);
    readBack->image = std::move(check.image);
    readBack->opened = true;
    readBack->metadataRead = true;
    written_ = std::move(readBack);
    return true;
}

void TAVExifWriter::keepUntouchedIptcTimes()
{
    // The library reads an IPTC time written without its zone ("083852") as
    // UTC and would write it back as "083852+0000": a photo taken at UTC+2
    // would then claim UTC. Times this save does not edit go back as the
    // file holds them.
    for (const auto& [record, dataset] : {std::pair{1, 80}, {2, 35}, {2, 38}, {2, 60}, {2, 63}}) {
        const std::string key = Exiv2::IptcKey(uint16_t(dataset), uint16_t(record)).key();
        if (iptcEditedKeys_.contains(QString::fromStdString(key))) {
            continue;
        }
        // Most files hold none of these times; only those they hold are
        // searched for in the file's bytes.
        if (image_->iptcData().findKey(Exiv2::IptcKey(uint16_t(dataset), uint16_t(record)))
            == image_->iptcData().end()) {
            continue;
        }
        const QList<QByteArray> raw = rawIptcTimes(file_->originalBytes(), record, dataset);
        int index = 0;
        for (auto& datum : image_->iptcData()) {
            if (datum.key() != key) {
                continue;
            }
            if (index < raw.size() && raw.at(index).size() == 6) {
                Exiv2::StringValue text(raw.at(index).toStdString());
                datum.setValue(&text);
            }
            ++index;
        }
    }
    // An edited time given without a zone keeps having none: the library
    // would declare it UTC.
    for (auto& datum : image_->iptcData()) {
        if (!zonelessIptcTimes_.contains(QString::fromStdString(datum.key()))) {
            continue;
        }
        const auto* time = dynamic_cast<const Exiv2::TimeValue*>(&datum.value());
        if (time) {
            const Exiv2::TimeValue::Time& clock = time->getTime();
            Exiv2::StringValue text(
                QString::asprintf("%02d%02d%02d", clock.hour, clock.minute, clock.second).toStdString());
            datum.setValue(&text);
        }
    }
}

bool TAVExifWriter::iptcTimeHasZone(const QString& key) const
{
    if (!file_) {
        return true;
    }
    try {
        const Exiv2::IptcKey iptcKey(key.toStdString());
        const QList<QByteArray> raw = rawIptcTimes(file_->originalBytes(), iptcKey.record(), iptcKey.tag());
        return raw.isEmpty() || raw.first().size() != 6;
    } catch (const Exiv2::AnyError&) {
        return true;
    } catch (const std::exception&) {
        return true;
    }
}

void TAVExifWriter::keepUntouchedXmpPacket()
{
    // A save that edits no XMP property writes the packet back as it was
    // read, byte for byte: re-encoding it would lose a packet the library
    // could not decode and reformat one it could.
    const bool fromPacket = !xmpEdited_;
    image_->writeXmpFromPacket(fromPacket);
    if (fromPacket) {
        // The library's packet is not the file's (see FileXmpPacket): the
        // file's own bytes go back.
        if (const auto raw = FileXmpPacket::of(file_->originalBytes(), image_->imageType())) {
            image_->xmpPacket() = raw->toStdString();
        }
        image_->xmpData().setPacket(image_->xmpPacket());
    }
    image_->xmpData().usePacket(fromPacket);
}
