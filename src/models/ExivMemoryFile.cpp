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

bool ExivMemoryFile::commit(Exiv2::Image& image, const QString& path, QString* error)
{
    Exiv2::BasicIo& io = image.io();
    if (io.open() != 0) {
        *error = QStringLiteral("cannot read the written metadata back");
        return false;
    }
    io.seek(0, Exiv2::BasicIo::beg);
    const Exiv2::DataBuf bytes = io.read(io.size());
    io.close();

    const QByteArray data(reinterpret_cast<const char*>(bytes.pData_), static_cast<qsizetype>(bytes.size_));
    // A PNG's EXIF goes back into its standard chunk, where other programs look.
    const std::optional<QByteArray> mended = PngExifChunk::restoreExifChunkInData(data, error);
    return mended && FileServices::writeFileAtomically(path, *mended, error);
}
