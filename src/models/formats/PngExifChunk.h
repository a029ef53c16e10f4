#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Puts a PNG file's EXIF block back into the standard `eXIf` chunk after the
// metadata library has written the file.
//
// When Exiv2 0.27 writes a PNG it drops the `eXIf` chunk and stores the EXIF
// block as a compressed text chunk with the keyword "Raw profile type exif"
// (zlib-compressed "\nexif\n<spaces><decimal length>\n<hex digits in lines>\n",
// the bytes starting with "Exif\0\0"). That form is a private convention of a
// few tools; readers that follow the PNG standard look only for `eXIf`, so to
// them a saved PNG would seem to have lost its camera data, dates and edits.
//
// The mend decodes that chunk and writes the block (without "Exif\0\0") as one
// `eXIf` chunk in the text chunk's place, or just before the first IDAT when
// the text chunk came after the image data. Any older `eXIf` chunk goes with
// it, since a PNG holds at most one. Every other chunk and any bytes after
// IEND stay byte-identical and in order. Exiv2 reads `eXIf` back itself.
class PngExifChunk {
public:
    // Mends the file at `path` in place, atomically. True when the file was
    // mended or needed nothing (not a PNG, or no raw EXIF profile in it). False
    // with the reason in `error` when the file cannot be read or written, its
    // chunk structure is broken, or the profile chunk is damaged (bad checksum,
    // zlib data, hex digits or length); the file is then left untouched.
    static bool restoreExifChunk(const QString& path, QString* error = nullptr);

    // The same on bytes in memory: the mended bytes, the input itself when it
    // needs nothing, or nothing with `error` filled when it cannot be mended.
    static std::optional<QByteArray> restoreExifChunkInData(const QByteArray& data, QString* error = nullptr);
};
