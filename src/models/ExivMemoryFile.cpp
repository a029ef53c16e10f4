#include "models/ExivMemoryFile.h"

#include "models/PngExifChunk.h"

#include "foundation/FileServices.h"

#include <QFile>

#include <exiv2/exiv2.hpp>

ExivMemoryFile::ExivMemoryFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Exiv2::Error(
            Exiv2::kerDataSourceOpenFailed, QFile::encodeName(path).toStdString(), file.errorString().toStdString());
    }
    bytes_ = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw Exiv2::Error(Exiv2::kerFailedToReadImageData);
    }
    // The library hands out a deprecated owning pointer; take ownership at once.
    auto image = Exiv2::ImageFactory::open(
        reinterpret_cast<const Exiv2::byte*>(bytes_.constData()), static_cast<long>(bytes_.size()));
    image_.reset(image.release());
}

std::optional<QByteArray> ExivMemoryFile::writtenBytes(Exiv2::Image& image, QString* error)
{
    Exiv2::BasicIo& io = image.io();
    if (io.open() != 0) {
        *error = QStringLiteral("cannot read the written metadata back");
        return std::nullopt;
    }
    // One copy out of the library's memory, not two through a read buffer.
    const qsizetype size = static_cast<qsizetype>(io.size());
    const Exiv2::byte* mapped = size > 0 ? io.mmap(false) : nullptr;
    const QByteArray data = mapped ? QByteArray(reinterpret_cast<const char*>(mapped), size) : QByteArray();
    if (mapped) {
        io.munmap();
    }
    io.close();
    // A PNG's EXIF goes back into its standard chunk, where other programs look.
    return PngExifChunk::restoreExifChunkInData(data, error);
}

bool ExivMemoryFile::commit(Exiv2::Image& image, const QString& path, QString* error)
{
    const std::optional<QByteArray> data = writtenBytes(image, error);
    return data && FileServices::writeFileAtomically(path, *data, error);
}
