#pragma once

#include "tools/TAVExportCallbackTarget.h"

#include "models/image/TAVImageObject.h"
#include "models/record/TAVEntity.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class CSVWriter;

// The export of the selected images, without any window: for each image a
// metadata sidecar "<base>.exv" made from the user's file, and, when asked,
// CSV tables of the rows read from its working copy: one "<base>.csv" per
// image, or one file for all named after the current time.
//
// Callers rely on:
// - The output folder is made (with its parents) before anything is written;
//   when it cannot be made nothing is written and that is the one failure.
// - An earlier sidecar or CSV of the same name is replaced only by a complete
//   new one; a folder standing at a CSV's path is reported and left alone.
// - Every file that could not be written is in failures(); the result is
//   false only for an empty folder path.
// - Export type 8 (the thumbnail alone) writes no CSV.
// - Beside the ".exv" sidecar, the XMP box (or all) writes "<base>.xmp" and
//   the Thumbnail box (or all) "<base>_thumb.jpg"; an image without a
//   thumbnail is noted in failures() with nothing written for it.
// - Runs synchronously on the calling thread, image after image.
class TAVExportOperation {
public:
    using Failure = TAVExportCallbackTarget::Failure;
    using Keys = std::optional<QStringList>;

    // The export type bit of the thumbnail; alone it means "no CSV".
    static constexpr uint64_t kThumbnailOnly = 8;
    // Every family, and the XMP box's bit: each adds "<base>.xmp".
    static constexpr uint64_t kAllFamilies = 1;
    static constexpr uint64_t kXmp = 4;

    // The images in selection order.
    explicit TAVExportOperation(const QList<TAVImageObjectPtr>& images);

    bool exportExif(int32_t type, bool cvs, const QString& path, bool oneLineOneFileMode, bool isMergeInOneFile,
        const Keys& customSelectedKeys);

    // One CSV file for one image.
    void exportCVS(const TAVImageObject& image, uint64_t type, bool oneLineOneFileMode, const QString& path,
        const Keys& customSelectedKeys);
    // One CSV file for all the images.
    void exportCVSMerge(const QList<TAVImageObjectPtr>& images, uint64_t type, bool oneLineOneFileMode,
        const QString& path, const Keys& customSelectedKeys);

    // The CSV's type name of a row's Exiv2 type id ("UNDEFINED" for unknown ids).
    static QString getEntityDataTypeName(const TAVEntity& row);

    const QList<Failure>& failures() const { return failures_; }

    // The last component of the image's source path without its extension.
    static QString baseName(const TAVImageObject& image);

private:
    // Non-heading rows of an image, or only those with a chosen key sorted by key.
    static TAVEntityList csvRows(const TAVImageObject& image, uint64_t type, const QStringList& keys);
    static void writeHeader(CSVWriter& writer, bool oneLine, const QStringList& keys);
    static void writeOneLine(
        CSVWriter& writer, const QString& name, const TAVEntityList& rows, const QStringList& keys);
    static void writeThreeColumns(CSVWriter& writer, const TAVEntityList& rows);
    void finish(CSVWriter& writer, const QString& path);
    // The ".exv" sidecar; then "<base>.xmp" for the XMP box and
    // "<base>_thumb.jpg" for the Thumbnail box (a note when there is none).
    void exportSidecar(const TAVImageObject& image, uint64_t type, const QString& path);
    void exportXmpSidecar(const TAVImageObject& image, const QString& path);
    void exportThumbnail(const TAVImageObject& image, const QString& path);

    QList<TAVImageObjectPtr> images_;
    QList<Failure> failures_;
};
