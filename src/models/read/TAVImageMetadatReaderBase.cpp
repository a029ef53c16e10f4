#include "models/read/TAVImageMetadatReaderBase.h"

#include "foundation/BoundedMemo.h"
#include "models/formats/ExivRuntime.h"
#include "models/formats/PngKeptChunks.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUtf8StringView>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <iostream>

Q_LOGGING_CATEGORY(lcMetadataRows, "lumetta.metadata.rows", QtInfoMsg)

TAVImageMetadatReaderBase::SharedImage::~SharedImage() = default;

TAVImageMetadatReaderBase::TAVImageMetadatReaderBase(const QString& path, SharedImagePtr shared)
    : filePath_(path)
    , shared_(shared ? std::move(shared) : std::make_shared<SharedImage>())
    , readsOnce_(shared_.use_count() > 1)
{
}

void TAVImageMetadatReaderBase::releaseImage()
{
    shared_->image.reset();
    shared_->bytes = QByteArray();
    shared_->parsedBytes = QByteArray();
    // A save's written bytes live where the library wrote them: the whole
    // file, which a record kept for as long as the photo was listed.
    shared_->bytesOwner.reset();
    shared_->opened = false;
    shared_->metadataRead = false;
    shared_->xmpUndecodable = false;
}

void TAVImageMetadatReaderBase::reopenIfReleased()
{
    // A reader of its own reads the file as it is now at every call.
    if (!shared_->opened || (!readsOnce_ && shared_->metadataRead)) {
        shared_->opened = false;
        openImage();
    }
}

void TAVImageMetadatReaderBase::readMetadataOnce()
{
    if (readsOnce_ && shared_->metadataRead) {
        return;
    }
    const ExivRuntime::FileScope scope(filePath_);
    Exiv2::Image& image = *shared_->image;
    // The image reads from these bytes: their namespaces tell whether the read
    // may share the XMP lock.
    ExivRuntime::readMetadata(image, std::string_view(shared_->bytes.constData(), size_t(shared_->bytes.size())));
    shared_->metadataRead = true;
    // A packet that gave no properties may hold none; only such a packet is
    // decoded again, to tell that from one the library cannot decode.
    const Exiv2::Image& read = image;
    shared_->xmpUndecodable = read.xmpData().empty() && !ExivRuntime::xmpPacketDecodes(read.xmpPacket());
}

TAVImageMetadatReaderBase::~TAVImageMetadatReaderBase() = default;

std::optional<QList<TAVEntityPtr>> TAVImageMetadatReaderBase::doReadImageMeatadata()
{
    return std::nullopt;
}

void TAVImageMetadatReaderBase::printCaughtException(const char* message)
{
    std::cout << "Caught Exiv2 exception '" << message << "'\n" << std::flush;
}

QString TAVImageMetadatReaderBase::decodeUtf8(const std::string& bytes)
{
    const QUtf8StringView utf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return utf8.isValidUtf8() ? utf8.toString() : QString();
}

namespace {

// The most keys each reading thread keeps spelled.
constexpr size_t kMostKeys = 20000;

} // namespace

QString TAVImageMetadatReaderBase::internedKey(const std::string& key)
{
    // Files can carry keys of their own (XMP namespaces). One table per
    // reading thread; the texts themselves may be shared between threads.
    thread_local BoundedMemo<std::string, QString> keys(kMostKeys);
    return keys.get(key, [&key] { return decodeUtf8(key); });
}

QString TAVImageMetadatReaderBase::keyText(const Exiv2::Exifdatum& datum)
{
    // The library spells an EXIF key from its directory and tag number alone.
    thread_local BoundedMemo<uint32_t, QString> keys(kMostKeys);
    const uint32_t number = (uint32_t(datum.ifdId()) << 16) | datum.tag();
    return keys.get(number, [&datum] { return internedKey(datum.key()); });
}

QByteArray TAVImageMetadatReaderBase::readParsedBytes(QFile& file)
{
    // A JPEG's metadata comes before its compressed picture, where the
    // library's parse stops: reading the picture (most of a photo's bytes)
    // would only cost time. Segments are walked as the library walks them;
    // anything unexpected reads the whole file.
    // Small enough to stay in the heap's reused memory (a fresh mapping per
    // file costs a fault per page); photos need a few of them.
    constexpr qint64 kChunk = 32 * 1024;
    // The library reads a few dozen bytes past a segment's start.
    constexpr qsizetype kPastPicture = 64;
    QByteArray bytes = file.read(kChunk);
    const auto have = [&](qsizetype count) {
        while (bytes.size() < count && !file.atEnd()) {
            const QByteArray more = file.read(std::max<qint64>(kChunk, count - bytes.size()));
            if (more.isEmpty()) {
                break;
            }
            bytes += more;
        }
        return bytes.size() >= count;
    };
    const auto byteAt = [&bytes](qsizetype at) { return static_cast<uchar>(bytes.at(at)); };
    const auto whole = [&] {
        bytes += file.readAll();
        return bytes;
    };
    if (!have(2) || byteAt(0) != 0xff || byteAt(1) != 0xd8) {
        return whole();
    }
    qsizetype at = 2;
    for (int segment = 0; segment < 4096; ++segment) {
        while (have(at + 1) && byteAt(at) != 0xff) {
            ++at; // bytes between segments are passed over, as the library does
        }
        while (have(at + 1) && byteAt(at) == 0xff) {
            ++at;
        }
        if (!have(at + 1)) {
            return whole();
        }
        const uchar marker = byteAt(at++);
        if (marker == 0xda || marker == 0xd9) { // start of scan, end of image
            have(at + kPastPicture);
            bytes.truncate(std::min(bytes.size(), at + kPastPicture));
            return bytes;
        }
        if (!have(at + 2)) {
            return whole();
        }
        const qsizetype length = (qsizetype(byteAt(at)) << 8) | byteAt(at + 1);
        if (length < 2) {
            return whole();
        }
        at += length;
    }
    return whole();
}

void TAVImageMetadatReaderBase::openImage()
{
    if (shared_->opened) {
        return; // another reader of the same manager opened it already
    }
    shared_->opened = true;
    std::unique_ptr<Exiv2::Image>& image_ = shared_->image;
    image_.reset();
    // The library reads "-" as standard input and URLs over the network; an
    // absolute path always means the local file.
    const QString absolute = filePath_.isEmpty() ? QString() : QFileInfo(filePath_).absoluteFilePath();
    const ExivRuntime::FileScope scope(filePath_);
    try {
        if (absolute.isEmpty()) {
            throw Exiv2::Error(Exiv2::kerErrorMessage, "empty file path");
        }
        // Read in one go: the library opening the file by path opens it
        // several times (type check, then each parse).
        QFile file(absolute);
        if (!file.open(QIODevice::ReadOnly)) {
            throw Exiv2::Error(Exiv2::kerDataSourceOpenFailed, QFile::encodeName(absolute).toStdString(),
                file.errorString().toStdString());
        }
        shared_->bytes = readParsedBytes(file);
        file.close();
        // The library reads a PNG's EXIF, IPTC and XMP from the chunks that
        // hold them, not from others whose keywords begin alike.
        if (std::optional<QByteArray> view = PngKeptChunks::forLibrary(shared_->bytes)) {
            shared_->bytes = std::move(*view);
        }
        auto opened = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(shared_->bytes.constData()), static_cast<long>(shared_->bytes.size()));
        image_.reset(opened.release());
    } catch (const Exiv2::AnyError& error) {
        printCaughtException(error.what());
    } catch (const std::exception& error) {
        printCaughtException(error.what());
    }
}

std::optional<QList<TAVEntityPtr>> TAVImageMetadatReaderBase::readFamily(
    const QString& groupName, const RowCollector& appendRows)
{
    reopenIfReleased();
    Exiv2::Image* const image_ = image();
    if (!image_) {
        return std::nullopt;
    }
    QList<TAVEntityPtr> rows;
    rows.reserve(10);
    auto group = std::make_shared<TAVEntity>();
    // A one-part key is its own display key.
    group->setKey(groupName);
    group->setIsGroup(true);
    rows.append(group);
    try {
        readMetadataOnce();
        appendRows(*image_, rows);
    } catch (const Exiv2::AnyError& error) {
        printCaughtException(error.what());
    } catch (const std::exception& error) {
        printCaughtException(error.what());
    }
    return rows;
}

TAVEntityPtr TAVImageMetadatReaderBase::makeRow(int32_t kind, int32_t typeId, const QString& key, const QString& value)
{
    auto row = std::make_shared<TAVEntity>();
    row->setType(kind);
    row->setDataType(typeId);
    row->setKey(key);
    row->setValue(sharedShortValue(value));
    return row;
}

QString TAVImageMetadatReaderBase::sharedShortValue(const QString& value)
{
    // Most rows hold a short value ("0", "72/1", a camera's model) that
    // recurs from photo to photo of a shoot: one text serves them all. Past
    // this many texts no more are kept, so a stream of varied files cannot
    // grow the table without end.
    constexpr qsizetype kLongestShared = 24;
    constexpr qsizetype kMostValues = 50000;
    if (value.size() > kLongestShared || value.isEmpty()) {
        return value;
    }
    // One table per reading thread, as for the keys.
    thread_local QSet<QString> values;
    const auto found = values.constFind(value);
    if (found != values.constEnd()) {
        return *found;
    }
    if (values.size() < kMostValues) {
        values.insert(value);
    }
    return value;
}
