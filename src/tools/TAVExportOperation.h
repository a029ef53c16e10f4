#pragma once

#include "tools/TAVExportCallbackTarget.h"

#include "models/image/TAVImageObject.h"
#include "models/read/SidecarExporter.h"
#include "models/record/TAVEntity.h"

#include <QHash>
#include <QList>
#include <QSet>
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
// - No file already in the folder is written over without a question: when
//   some would be, the user is asked once, before anything is written, to
//   Replace them, Keep Both (the new files of such an image all get the
//   name "<base> (2)", the next free number) or Cancel (nothing written).
//   Without a user interface both are kept.
// - Images of one base name ("same.jpg", "same.tif") get files of their own:
//   the first keeps "<base>", a later one is named after its whole file
//   name ("same.tif.exv").
// - A file is replaced only by a complete new one; a folder standing at a
//   CSV's path is reported and left alone.
// - The EXIF and XMP boxes choose what the sidecars and tables hold; a
//   custom export holds its chosen keys (SidecarExporter::Selection).
// - Every file written and every file that could not be written is in
//   outcome(); the result is false only for an empty folder path.
// - Export type 8 (the thumbnail alone) writes no CSV.
// - Beside the ".exv" sidecar, the XMP box (or all) writes "<base>.xmp" and
//   the Thumbnail box (or all) "<base>_thumb.jpg"; an image without a
//   thumbnail is noted in failures with nothing written for it.
// - A text whose character set the file does not declare for certain (an
//   undeclared IPTC block's text that is not plain ASCII) goes out only in
//   the ".exv" sidecar, as its bytes; the XMP sidecar and the CSV tables
//   leave it out, and the failures name it.
// - Runs synchronously on the calling thread, image after image.
class TAVExportOperation {
public:
    using Failure = TAVExportCallbackTarget::Failure;
    using Outcome = TAVExportCallbackTarget::Outcome;
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

    const Outcome& outcome() const { return outcome_; }
    const QList<Failure>& failures() const { return outcome_.failures; }

    // The last component of the image's source path without its extension.
    static QString baseName(const TAVImageObject& image);

private:
    using Selection = SidecarExporter::Selection;
    // What the user answered about files already in the folder.
    enum class Existing { Replace, KeepBoth, Cancel };

    // What the names of one export depend on.
    struct Plan {
        uint64_t type = 0;
        bool perImageCsv = false;
        QString folder;
    };

    // The names the export gives each image's files and the merged table,
    // settled with the user before anything is written; false for Cancel.
    bool planNames(uint64_t type, bool perImageCsv, bool mergedCsv, const QString& path);
    // Each image's name stem, apart from the other images'; the names of
    // those files already in the folder.
    QStringList pickStems(QSet<QString>& taken);
    // Keep Both: the images whose files are in the folder get a free stem.
    void nameApart(QSet<QString>& taken);
    // The file names a name stem stands for with the boxes chosen.
    QStringList namesOf(const QString& stem) const;
    static QStringList existingIn(const QString& path, const QStringList& names);
    static Existing askAboutExisting(const QString& path, const QStringList& names);
    // The first "<base> (n)" no image took and none of whose files is in the folder.
    QString freeStem(const QString& base, const QSet<QString>& taken) const;
    QString stemOf(const TAVImageObject& image) const;

    // Non-heading rows of an image the selection keeps, sorted by key when
    // keys were chosen; a row read on a guess (TAVEntity::isReadOnAGuess) is
    // left out, its key noted in `leftOut`.
    static TAVEntityList csvRows(const TAVImageObject& image, uint64_t type, const Selection& selection,
        const QStringList& keys, QStringList* leftOut);
    // Tells, in the failures, which texts a file left out as read on a guess.
    void noteGuessesLeftOut(const QString& file, const QStringList& keys);
    static void writeHeader(CSVWriter& writer, bool oneLine, const QStringList& keys);
    static void writeOneLine(
        CSVWriter& writer, const QString& name, const TAVEntityList& rows, const QStringList& keys);
    static void writeThreeColumns(CSVWriter& writer, const TAVEntityList& rows);
    void finish(CSVWriter& writer, const QString& path);
    // The ".exv" sidecar; then "<stem>.xmp" for the XMP box and
    // "<stem>_thumb.jpg" for the Thumbnail box (a note when there is none).
    void exportSidecar(const TAVImageObject& image, uint64_t type, const Selection& selection, const QString& path);
    void exportXmpSidecar(const TAVImageObject& image, const Selection& selection, const QString& target);
    void exportThumbnail(const TAVImageObject& image, const QString& stemPath);
    void noteWritten(const QString& file);

    QList<TAVImageObjectPtr> images_;
    Plan plan_;
    QHash<const TAVImageObject*, QString> stems_;
    QString mergedName_;
    Outcome outcome_;
};
