#include "tools/TAVExportOperation.h"

#include "tools/CSVWriter.h"

#include "foundation/VXFileLocalManager.h"
#include "foundation/VXGlobalFunctions.h"
#include "models/read/SidecarExporter.h"
#include "models/read/TAVMetadataReaderMgr.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>

Q_LOGGING_CATEGORY(lcExport, "lumetta.tools.export")

namespace {

QString csvName(const QString& base)
{
    return QStringLiteral("%1.csv").arg(base);
}

QString valueText(const TAVEntity& row)
{
    return row.value().isNull() ? QStringLiteral("") : row.value();
}

// A chosen key with several rows (a repeated IPTC dataset) fills its one
// column with all of them, as the keywords row reads.
QString valuesOfKey(const TAVEntityList& rows, const QString& key)
{
    QStringList values;
    for (const TAVEntityPtr& row : rows) {
        if (row->key() == key) {
            values.append(valueText(*row));
        }
    }
    return values.join(QStringLiteral(", "));
}

QStringList chosenKeys(const TAVExportOperation::Keys& keys)
{
    return keys ? *keys : QStringList();
}

} // namespace

TAVExportOperation::TAVExportOperation(const QList<TAVImageObjectPtr>& images)
    : images_(images)
{
}

bool TAVExportOperation::exportExif(int32_t type, bool cvs, const QString& path, bool oneLineOneFileMode,
    bool isMergeInOneFile, const Keys& customSelectedKeys)
{
    if (path.isEmpty()) {
        return false;
    }
    // Made once, before the first sidecar, so the sidecars of a new folder
    // have somewhere to go whether or not CSV tables follow.
    if (!VXFileLocalManager::makeSureDirCreated(path)) {
        failures_.append({path, QStringLiteral("The folder could not be created.")});
        qCWarning(lcExport, "Cannot create the export folder %s", qUtf8Printable(path));
        return true;
    }
    const auto exportType = static_cast<uint64_t>(static_cast<uint32_t>(type));
    for (const TAVImageObjectPtr& image : std::as_const(images_)) {
        if (!image) {
            continue;
        }
        exportSidecar(*image, exportType, path);
        if (cvs && !isMergeInOneFile) {
            exportCVS(*image, exportType, oneLineOneFileMode, path, customSelectedKeys);
        }
    }
    if (cvs && isMergeInOneFile) {
        exportCVSMerge(images_, exportType, oneLineOneFileMode, path, customSelectedKeys);
    }
    return true;
}

void TAVExportOperation::exportSidecar(const TAVImageObject& image, uint64_t type, const QString& path)
{
    // The exporter writes beside the old sidecar and renames over it, so a
    // failed export keeps the sidecar an earlier one left.
    if (TAVMetadataReaderMgr::exportMetadata(type, image.srcPath(), path) != 0) {
        const QString file
            = image.srcPath().isEmpty() ? image.path() : SidecarExporter::sidecarPath(image.srcPath(), path);
        failures_.append({file, QStringLiteral("The metadata could not be exported.")});
    }
    if (image.srcPath().isEmpty()) {
        return;
    }
    if (type & (kAllFamilies | kXmp)) {
        exportXmpSidecar(image, path);
    }
    if (type & (kAllFamilies | kThumbnailOnly)) {
        exportThumbnail(image, path);
    }
}

void TAVExportOperation::exportXmpSidecar(const TAVImageObject& image, const QString& path)
{
    QString error;
    if (!SidecarExporter::exportXmpSidecar(image.srcPath(), path, &error)) {
        const QString file = SidecarExporter::xmpSidecarPath(image.srcPath(), path);
        failures_.append({file, QStringLiteral("The XMP sidecar could not be written: %1").arg(error)});
        qCWarning(lcExport, "Cannot write %s: %s", qUtf8Printable(file), qUtf8Printable(error));
    }
}

void TAVExportOperation::exportThumbnail(const TAVImageObject& image, const QString& path)
{
    QString error;
    switch (SidecarExporter::exportThumbnail(image.srcPath(), path, &error)) {
    case SidecarExporter::ThumbnailExport::Written:
        return;
    case SidecarExporter::ThumbnailExport::NoThumbnail:
        failures_.append({image.srcPath(), QStringLiteral("The image has no embedded thumbnail to export.")});
        return;
    case SidecarExporter::ThumbnailExport::Failed:
        failures_.append({SidecarExporter::thumbnailPath(image.srcPath(), path),
            QStringLiteral("The thumbnail could not be written: %1").arg(error)});
        qCWarning(
            lcExport, "Cannot export the thumbnail of %s: %s", qUtf8Printable(image.srcPath()), qUtf8Printable(error));
        return;
    }
}

void TAVExportOperation::exportCVS(const TAVImageObject& image, uint64_t type, bool oneLineOneFileMode,
    const QString& path, const Keys& customSelectedKeys)
{
    if (image.srcPath().isEmpty() || path.isEmpty() || type == kThumbnailOnly) {
        return;
    }
    const QString base = baseName(image);
    const QString file = QDir(path).filePath(csvName(base));
    const QStringList keys = chosenKeys(customSelectedKeys);
    CSVWriter writer(file, true);
    const TAVEntityList rows = csvRows(image, type, keys);
    if (!keys.isEmpty()) {
        writeHeader(writer, oneLineOneFileMode, keys);
    }
    if (oneLineOneFileMode) {
        writeOneLine(writer, base, rows, keys);
    } else {
        writeThreeColumns(writer, rows);
    }
    finish(writer, file);
}

void TAVExportOperation::exportCVSMerge(const QList<TAVImageObjectPtr>& images, uint64_t type, bool oneLineOneFileMode,
    const QString& path, const Keys& customSelectedKeys)
{
    if (images.isEmpty() || path.isEmpty() || type == kThumbnailOnly) {
        return;
    }
    const QString file = QDir(path).filePath(csvName(VXGlobalFunctions::getFolderNameForCurrentTime()));
    const QStringList keys = chosenKeys(customSelectedKeys);
    CSVWriter writer(file, true);
    // Without chosen keys the columns differ from image to image, so the
    // merged file always lists rows, each image under its own name.
    const bool oneLine = oneLineOneFileMode && !keys.isEmpty();
    writeHeader(writer, oneLine, keys);
    for (const TAVImageObjectPtr& image : images) {
        if (!image) {
            continue;
        }
        const TAVEntityList rows = csvRows(*image, type, keys);
        if (keys.isEmpty()) {
            writer.writeLineWithFields({QStringLiteral(""), QStringLiteral(""), QStringLiteral("")});
            writer.writeCommentLine(QStringLiteral("############### %1 ##############").arg(baseName(*image)));
        }
        if (oneLine) {
            writeOneLine(writer, baseName(*image), rows, keys);
        } else {
            writeThreeColumns(writer, rows);
        }
    }
    finish(writer, file);
}

TAVEntityList TAVExportOperation::csvRows(const TAVImageObject& image, uint64_t type, const QStringList& keys)
{
    const QSet<QString> chosen(keys.cbegin(), keys.cend());
    TAVEntityList rows;
    for (const TAVEntityPtr& row : image.readAllMetadata(type)) {
        if (row && !row->isGroup() && (chosen.isEmpty() || chosen.contains(row->key()))) {
            rows.append(row);
        }
    }
    if (!chosen.isEmpty()) {
        std::stable_sort(rows.begin(), rows.end(), [](const TAVEntityPtr& a, const TAVEntityPtr& b) {
            return QString::compare(a->key(), b->key(), Qt::CaseSensitive) < 0;
        });
    }
    return rows;
}

void TAVExportOperation::writeHeader(CSVWriter& writer, bool oneLine, const QStringList& keys)
{
    if (!oneLine) {
        writer.writeLineWithFields({QStringLiteral("Field Name"), QStringLiteral("Type"), QStringLiteral("Value")});
        return;
    }
    QVariantList header{QStringLiteral("File Name")};
    for (const QString& key : keys) {
        header.append(key);
    }
    writer.writeLineWithFields(header);
}

void TAVExportOperation::writeOneLine(
    CSVWriter& writer, const QString& name, const TAVEntityList& rows, const QStringList& keys)
{
    QVariantList line{name};
    if (keys.isEmpty()) {
        for (const TAVEntityPtr& row : rows) {
            line.append(valueText(*row));
        }
    } else {
        // One field per column of the header, empty where the image lacks the key.
        for (const QString& key : keys) {
            line.append(valuesOfKey(rows, key));
        }
    }
    writer.writeLineWithFields(line);
}

void TAVExportOperation::writeThreeColumns(CSVWriter& writer, const TAVEntityList& rows)
{
    for (const TAVEntityPtr& row : rows) {
        writer.writeLineWithFields({row->key(), getEntityDataTypeName(*row), valueText(*row)});
    }
}

void TAVExportOperation::finish(CSVWriter& writer, const QString& path)
{
    if (!writer.closeFile()) {
        failures_.append({path, writer.error()});
        qCWarning(lcExport, "Cannot write %s: %s", qUtf8Printable(path), qUtf8Printable(writer.error()));
    }
}

QString TAVExportOperation::baseName(const TAVImageObject& image)
{
    return QFileInfo(image.srcPath()).completeBaseName();
}

QString TAVExportOperation::getEntityDataTypeName(const TAVEntity& row)
{
    static const QHash<int32_t, QString> names{
        {1, QStringLiteral("BYTE")},
        {2, QStringLiteral("ASCII")},
        {3, QStringLiteral("SHORT")},
        {4, QStringLiteral("LONG")},
        {5, QStringLiteral("RATIONAL")},
        {6, QStringLiteral("SBYTE")},
        {7, QStringLiteral("UNDEFINED")},
        {8, QStringLiteral("SSHORT")},
        {9, QStringLiteral("SLONG")},
        {10, QStringLiteral("SRATIONAL")},
        {11, QStringLiteral("FLOAT")},
        {12, QStringLiteral("DOUBLE")},
        {13, QStringLiteral("IFD")},
        {0x10000, QStringLiteral("string")},
        {0x10001, QStringLiteral("date")},
        {0x10002, QStringLiteral("time")},
        {0x10003, QStringLiteral("comment")},
        {0x10004, QStringLiteral("directory")},
        {0x10005, QStringLiteral("text")},
        {0x10006, QStringLiteral("alternative")},
        {0x10007, QStringLiteral("Bag")},
        {0x10008, QStringLiteral("sequence")},
        {0x10009, QStringLiteral("language alternative")},
        {0x1fffe, QStringLiteral("Invalid")},
        {0x1ffff, QStringLiteral("Last")},
    };
    return names.value(row.dataType(), QStringLiteral("UNDEFINED"));
}
