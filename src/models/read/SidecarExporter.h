#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// Writes all metadata of an image file (EXIF, IPTC, XMP and the comment) into
// a metadata sidecar "<folder>/<base name>.exv", the file the export tool
// deletes beforehand and expects afterwards.
class SidecarExporter {
public:
    // What an export of the export sheet writes of an image's metadata: its
    // EXIF box chooses the EXIF rows (the position among them), its XMP box
    // the XMP rows; IPTC and the comment have no box and always go. A custom
    // export with chosen keys writes those keys alone.
    struct Selection {
        bool exif = true;
        bool xmp = true;
        std::optional<QSet<QString>> keys;

        // The selection of an export type of the sheet (1 all, 2 EXIF, 4 XMP,
        // 8 thumbnail, 16 custom) and a custom export's keys.
        static Selection forExportType(uint64_t type, const std::optional<QStringList>& customKeys);
        bool keeps(const QString& key) const;
        bool keepsComment() const { return !keys; }
    };

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

    // Writes the metadata sidecar of `srcPath` at `target` (any name),
    // holding what `selection` keeps; an older file there is replaced only
    // by a complete new one. False, with the reason in `error`, when it could not.
    static bool exportSidecar(
        const QString& srcPath, const QString& target, const Selection& selection, QString* error);

    // Writes "<folder>/<base name>.xmp", an XMP sidecar of the image's
    // metadata that other programs read: its XMP with its EXIF and IPTC in
    // their XMP forms. False, with the reason in `error`, when it could not.
    static bool exportXmpSidecar(const QString& srcPath, const QString& folder, QString* error);
    static QString xmpSidecarPath(const QString& srcPath, const QString& folder);
    // The same at `target`, of what `selection` keeps (EXIF not chosen is
    // not turned into XMP either). Texts whose character set the file does
    // not declare for certain (an undeclared IPTC block's texts that are not
    // plain ASCII, EXIF texts that are not UTF-8) would be turned into XMP on
    // a guess: they are left out, their keys listed in `leftOut`.
    static bool exportXmpSidecar(const QString& srcPath, const QString& target, const Selection& selection,
        QString* error, QStringList* leftOut = nullptr);

    // Writes the image's embedded EXIF thumbnail as "<stem path>_thumb.jpg"
    // (".tif" for an uncompressed one), the path written in `written`. An
    // image without a thumbnail writes nothing.
    enum class ThumbnailExport { Written, NoThumbnail, Failed };
    static ThumbnailExport exportThumbnail(
        const QString& srcPath, const QString& stemPath, QString* written, QString* error);
};
