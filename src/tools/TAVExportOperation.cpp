#include "tools/TAVExportOperation.h"

#include "tools/CSVWriter.h"

#include "foundation/FileServices.h"
#include "foundation/UiServices.h"
#include "foundation/VXFileLocalManager.h"
#include "foundation/VXGlobalFunctions.h"

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

QString numberedStem(const QString& base, int number)
{
    return QStringLiteral("%1 (%2)").arg(base).arg(number);
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
        outcome_.failures.append({path, QStringLiteral("The folder could not be created.")});
        qCWarning(lcExport, "Cannot create the export folder %s", qUtf8Printable(path));
        return true;
    }
    const auto exportType = static_cast<uint64_t>(static_cast<uint32_t>(type));
    if (!planNames(exportType, cvs && !isMergeInOneFile, cvs && isMergeInOneFile, path)) {
        outcome_.cancelled = true;
        return true;
    }
    const Selection selection = Selection::forExportType(exportType, customSelectedKeys);
    for (const TAVImageObjectPtr& image : std::as_const(images_)) {
        if (!image) {
            continue;
        }
        exportSidecar(*image, exportType, selection, path);
        if (cvs && !isMergeInOneFile) {
            exportCVS(*image, exportType, oneLineOneFileMode, path, customSelectedKeys);
        }
    }
    if (cvs && isMergeInOneFile) {
        exportCVSMerge(images_, exportType, oneLineOneFileMode, path, customSelectedKeys);
    }
    return true;
}

bool TAVExportOperation::planNames(uint64_t type, bool perImageCsv, bool mergedCsv, const QString& path)
{
    plan_ = {type, perImageCsv, path};
    QSet<QString> taken;
    QStringList existing = pickStems(taken);
    mergedName_ = VXGlobalFunctions::getFolderNameForCurrentTime();
    const bool mergedExists
        = mergedCsv && type != kThumbnailOnly && !existingIn(path, {csvName(mergedName_)}).isEmpty();
    if (mergedExists) {
        existing.append(csvName(mergedName_));
    }
    if (existing.isEmpty()) {
        return true;
    }
    const Existing answer = askAboutExisting(path, existing);
    if (answer == Existing::KeepBoth) {
        nameApart(taken);
        const QString mergedBase = mergedName_;
        for (int number = 2; mergedExists && !existingIn(path, {csvName(mergedName_)}).isEmpty(); ++number) {
            mergedName_ = numberedStem(mergedBase, number);
        }
    }
    return answer != Existing::Cancel;
}

QStringList TAVExportOperation::pickStems(QSet<QString>& taken)
{
    stems_.clear();
    QStringList existing;
    for (const TAVImageObjectPtr& image : std::as_const(images_)) {
        if (!image || image->srcPath().isEmpty()) {
            continue;
        }
        QString stem = baseName(*image);
        if (taken.contains(stem)) {
            stem = QFileInfo(image->srcPath()).fileName();
        }
        if (taken.contains(stem)) {
            stem = freeStem(baseName(*image), taken);
        }
        taken.insert(stem);
        stems_.insert(image.get(), stem);
        existing.append(existingIn(plan_.folder, namesOf(stem)));
    }
    return existing;
}

void TAVExportOperation::nameApart(QSet<QString>& taken)
{
    for (const TAVImageObjectPtr& image : std::as_const(images_)) {
        const auto stem = image ? stems_.find(image.get()) : stems_.end();
        if (stem != stems_.end() && !existingIn(plan_.folder, namesOf(stem.value())).isEmpty()) {
            stem.value() = freeStem(baseName(*image), taken);
            taken.insert(stem.value());
        }
    }
}

QStringList TAVExportOperation::namesOf(const QString& stem) const
{
    QStringList names{stem + QStringLiteral(".exv")};
    if (plan_.type & (kAllFamilies | kXmp)) {
        names.append(stem + QStringLiteral(".xmp"));
    }
    // The thumbnail's kind is known only once it is read: either name counts.
    if (plan_.type & (kAllFamilies | kThumbnailOnly)) {
        names.append(stem + QStringLiteral("_thumb.jpg"));
        names.append(stem + QStringLiteral("_thumb.tif"));
    }
    if (plan_.perImageCsv && plan_.type != kThumbnailOnly) {
        names.append(csvName(stem));
    }
    return names;
}

QStringList TAVExportOperation::existingIn(const QString& path, const QStringList& names)
{
    QStringList existing;
    for (const QString& name : names) {
        const FileServices::Identity identity = FileServices::identityOf(QDir(path).filePath(name));
        if (identity.exists || identity.isLink) {
            existing.append(name);
        }
    }
    return existing;
}

TAVExportOperation::Existing TAVExportOperation::askAboutExisting(const QString& path, const QStringList& names)
{
    UiServices* ui = UiServices::shared();
    if (ui == nullptr) {
        return Existing::KeepBoth;
    }
    UiServices::AlertRequest question;
    question.title = names.size() == 1
        ? QStringLiteral("Replace the file already in the folder?")
        : QStringLiteral("Replace the %1 files already in the folder?").arg(names.size());
    const QString intro = names.size() == 1
        ? QStringLiteral("This export writes a file that is already in \"%1\":").arg(path)
        : QStringLiteral("This export writes %1 files that are already in \"%2\":").arg(names.size()).arg(path);
    question.message = intro + QStringLiteral("\n") + names.join(QLatin1Char('\n'))
        + QStringLiteral("\n\nKeep Both writes the new files under names of their own; Replace writes over these.");
    question.buttons = {QStringLiteral("Keep Both"), QStringLiteral("Replace"), QStringLiteral("Cancel")};
    switch (ui->runAlert(question)) {
    case UiServices::FirstButton:
        return Existing::KeepBoth;
    case UiServices::SecondButton:
        return Existing::Replace;
    default:
        return Existing::Cancel;
    }
}

QString TAVExportOperation::freeStem(const QString& base, const QSet<QString>& taken) const
{
    for (int number = 2;; ++number) {
        const QString stem = numberedStem(base, number);
        if (!taken.contains(stem) && existingIn(plan_.folder, namesOf(stem)).isEmpty()) {
            return stem;
        }
    }
}

QString TAVExportOperation::stemOf(const TAVImageObject& image) const
{
    return stems_.value(&image, baseName(image));
}

void TAVExportOperation::noteWritten(const QString& file)
{
    outcome_.written.append(QFileInfo(file).fileName());
}

void TAVExportOperation::exportSidecar(
    const TAVImageObject& image, uint64_t type, const Selection& selection, const QString& path)
{
    if (image.srcPath().isEmpty()) {
        outcome_.failures.append({image.path(), QStringLiteral("The metadata could not be exported.")});
        return;
    }
    const QString stemPath = QDir(path).filePath(stemOf(image));
    // The exporter writes beside the old sidecar and renames over it, so a
    // failed export keeps the sidecar an earlier one left.
    const QString sidecar = stemPath + QStringLiteral(".exv");
    QString error;
    if (SidecarExporter::exportSidecar(image.srcPath(), sidecar, selection, &error)) {
        noteWritten(sidecar);
    } else {
        outcome_.failures.append({sidecar, QStringLiteral("The metadata could not be exported.")});
        qCWarning(lcExport, "Cannot write %s: %s", qUtf8Printable(sidecar), qUtf8Printable(error));
    }
    if (type & (kAllFamilies | kXmp)) {
        exportXmpSidecar(image, selection, stemPath + QStringLiteral(".xmp"));
    }
    if (type & (kAllFamilies | kThumbnailOnly)) {
        exportThumbnail(image, stemPath);
    }
}

void TAVExportOperation::exportXmpSidecar(
    const TAVImageObject& image, const Selection& selection, const QString& target)
{
    QString error;
    QStringList leftOut;
    if (SidecarExporter::exportXmpSidecar(image.srcPath(), target, selection, &error, &leftOut)) {
        noteWritten(target);
        noteGuessesLeftOut(target, leftOut);
        return;
    }
    outcome_.failures.append({target, QStringLiteral("The XMP sidecar could not be written: %1").arg(error)});
    qCWarning(lcExport, "Cannot write %s: %s", qUtf8Printable(target), qUtf8Printable(error));
}

void TAVExportOperation::noteGuessesLeftOut(const QString& file, const QStringList& keys)
{
    if (!keys.isEmpty()) {
        outcome_.failures.append({file,
            QStringLiteral("The file does not declare the character set of these texts, so they were left out "
                           "rather than written as a guess: %1")
                .arg(keys.join(QStringLiteral(", ")))});
    }
}

void TAVExportOperation::exportThumbnail(const TAVImageObject& image, const QString& stemPath)
{
    QString error;
    QString written;
    switch (SidecarExporter::exportThumbnail(image.srcPath(), stemPath, &written, &error)) {
    case SidecarExporter::ThumbnailExport::Written:
        noteWritten(written);
        return;
    case SidecarExporter::ThumbnailExport::NoThumbnail:
        outcome_.failures.append({image.srcPath(), QStringLiteral("The image has no embedded thumbnail to export.")});
        return;
    case SidecarExporter::ThumbnailExport::Failed:
        outcome_.failures.append({written.isEmpty() ? stemPath + QStringLiteral("_thumb.jpg") : written,
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
    const QString file = QDir(path).filePath(csvName(stemOf(image)));
    const QStringList keys = chosenKeys(customSelectedKeys);
    CSVWriter writer(file, true);
    QStringList leftOut;
    const TAVEntityList rows = csvRows(image, type, Selection::forExportType(type, customSelectedKeys), keys, &leftOut);
    noteGuessesLeftOut(file, leftOut);
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
    const QString merged = mergedName_.isEmpty() ? VXGlobalFunctions::getFolderNameForCurrentTime() : mergedName_;
    const QString file = QDir(path).filePath(csvName(merged));
    const QStringList keys = chosenKeys(customSelectedKeys);
    const Selection selection = Selection::forExportType(type, customSelectedKeys);
    CSVWriter writer(file, true);
    // Without chosen keys the columns differ from image to image, so the
    // merged file always lists rows, each image under its own name.
    const bool oneLine = oneLineOneFileMode && !keys.isEmpty();
    writeHeader(writer, oneLine, keys);
    for (const TAVImageObjectPtr& image : images) {
        if (!image) {
            continue;
        }
        QStringList leftOut;
        const TAVEntityList rows = csvRows(*image, type, selection, keys, &leftOut);
        noteGuessesLeftOut(file, leftOut);
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

TAVEntityList TAVExportOperation::csvRows(const TAVImageObject& image, uint64_t type, const Selection& selection,
    const QStringList& keys, QStringList* leftOut)
{
    TAVEntityList rows;
    for (const TAVEntityPtr& row : image.readAllMetadata(type)) {
        if (!row || row->isGroup() || !selection.keeps(row->key())) {
            continue;
        }
        // A reading taken on a guess would go out as if it were the text.
        if (row->isReadOnAGuess()) {
            leftOut->append(row->key());
            continue;
        }
        rows.append(row);
    }
    if (!keys.isEmpty()) {
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
    if (writer.closeFile()) {
        noteWritten(path);
        return;
    }
    outcome_.failures.append({path, writer.error()});
    qCWarning(lcExport, "Cannot write %s: %s", qUtf8Printable(path), qUtf8Printable(writer.error()));
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
