#pragma once

#include <QString>

#include <cstdint>

// Writes all metadata of an image file (EXIF, IPTC, XMP and the comment) into
// a metadata sidecar "<folder>/<base name>.exv", the file the export tool
// deletes beforehand and expects afterwards.
class SidecarExporter {
public:
    // Exports `srcPath` into `folder`. The export type (the bit set of the
    // export sheet) does not change what is written: the sidecar always holds
    // every family. 0 on success; non-zero on failure, empty paths included.
    static int32_t exportMetadata(uint64_t type, const QString& srcPath, const QString& folder);

    // The same export driven by an argument vector: argv[0] is a program name,
    // then "-ea" (or "-e" "a"), "-l" with the folder, and one or more source
    // files, all UTF-8. Runs every file, keeps the first failure, and returns
    // it limited to 0..255 like a process exit code; 1 for a vector it does
    // not understand.
    static int32_t doExportMetadata(int32_t argc, const char* const argv[]);

    // The sidecar path an export of `srcPath` into `folder` writes.
    static QString sidecarPath(const QString& srcPath, const QString& folder);

    // Writes "<folder>/<base name>.xmp", an XMP sidecar of the image's
    // metadata that other programs read: its XMP with its EXIF and IPTC in
    // their XMP forms. False, with the reason in `error`, when it could not.
    static bool exportXmpSidecar(const QString& srcPath, const QString& folder, QString* error);
    static QString xmpSidecarPath(const QString& srcPath, const QString& folder);

    // Writes the image's embedded EXIF thumbnail as "<folder>/<base
    // name>_thumb.jpg" (".tif" for an uncompressed one). An image without a
    // thumbnail writes nothing.
    enum class ThumbnailExport { Written, NoThumbnail, Failed };
    static ThumbnailExport exportThumbnail(const QString& srcPath, const QString& folder, QString* error);
    static QString thumbnailPath(const QString& srcPath, const QString& folder, const QString& extension = ".jpg");
};
