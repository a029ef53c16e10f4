#pragma once

#include <QByteArray>
#include <QString>

#include <exiv2/image.hpp>

#include <memory>
#include <optional>

// Runs the metadata library on an in-memory copy of a file, so that what it
// writes reaches the disk only as a whole: the new bytes go to a temporary file
// in the same folder, which is flushed and then renamed over the old one. A
// failure at any step leaves the old file as it was.
class ExivMemoryFile {
public:
    // Reads the file at `path` into memory and opens it. Throws the library's
    // error when the file cannot be read or its format is not known.
    explicit ExivMemoryFile(const QString& path);
    ~ExivMemoryFile();
    ExivMemoryFile(const ExivMemoryFile&) = delete;
    ExivMemoryFile& operator=(const ExivMemoryFile&) = delete;

    // While a save loop runs (between these two calls; loops may nest or run
    // side by side), the memory a file was read into is kept for the next
    // file read instead of being given back and asked for again, page by
    // page, for every photo. It is given back when the last loop ends.
    static void beginLoop();
    static void endLoop();

    Exiv2::Image& image() { return *image_; }
    // The file's bytes as they were read. (The library may read a PNG
    // without some of its text chunks: see PngKeptChunks.)
    const QByteArray& originalBytes() const { return bytes_; }

    // The bytes the image's memory holds (after `writeMetadata`), a PNG's EXIF
    // moved into its standard chunk. Nothing, with `error` filled, on failure.
    static std::optional<QByteArray> writtenBytes(Exiv2::Image& image, QString* error);

    // writtenBytes without a copy of a whole file: the library's memory moves
    // into `owner`, `bytes` read it there, and the image goes on reading it
    // from there too, so the image is valid only while `owner` lives. (A
    // PNG's bytes are made anew for its EXIF chunk.)
    struct TakenBytes {
        std::shared_ptr<Exiv2::MemIo> owner;
        QByteArray bytes;
    };
    static std::optional<TakenBytes> takeWrittenBytes(Exiv2::Image& image, QString* error);
    // Replaces the file at `path` with the bytes the image's memory holds
    // (after `writeMetadata`). False with `error` filled on failure.
    static bool commit(Exiv2::Image& image, const QString& path, QString* error);

private:
    // The image reads from these bytes until its first write, so they are
    // declared first and outlive it.
    QByteArray bytes_;
    // What the library reads when it is not `bytes_`: a PNG without the
    // chunks it would mistake (see PngKeptChunks), or a copy of its own where
    // its writer changes the bytes it read in place.
    QByteArray libraryBytes_;
    std::unique_ptr<Exiv2::Image> image_;
};
