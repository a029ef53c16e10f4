#include "tools/CSVWriter.h"

#include "foundation/FileServices.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMetaType>

#include <algorithm>

Q_LOGGING_CATEGORY(lcCSVWriter, "lumetta.tools.csv")

namespace {

bool isNewline(QChar ch)
{
    switch (ch.unicode()) {
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x85:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

QString fieldText(const QVariant& field)
{
    // A boolean reads as a number, 1 or 0, as numbers do.
    if (field.typeId() == QMetaType::Bool) {
        return field.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    }
    return field.toString();
}

// Nothing but an absent path or a regular file may be replaced.
bool isReplaceable(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        return false;
    }
    return !info.exists() || info.isFile();
}

} // namespace

CSVWriter::CSVWriter(const QString& destinationFile, bool atomic)
    : destinationFile_(destinationFile)
    , atomically_(atomic)
    , writesToString_(false)
{
    const bool opened = atomic ? openTemporaryBesideDestination() : openDestination();
    if (!opened) {
        qCWarning(lcCSVWriter, "create fiel error");
    }
}

CSVWriter::CSVWriter() = default;

CSVWriter::~CSVWriter()
{
    closeFile();
}

bool CSVWriter::openDestination()
{
    handleFile_ = destinationFile_;
    if (!isReplaceable(handleFile_)) {
        fail(QStringLiteral("%1 is not a file and is not replaced").arg(handleFile_));
        return false;
    }
    QFile::remove(handleFile_);
    auto file = std::make_unique<QFile>(handleFile_);
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        fail(QStringLiteral("cannot create %1: %2").arg(handleFile_, file->errorString()));
        return false;
    }
    outputHandle_ = std::move(file);
    return true;
}

// In atomic mode the text is collected in memory; closing hands it to the
// file services' atomic write, whose temporary file is flushed and renamed over
// the destination (and keeps the destination's permissions, owner and extended
// attributes), whatever the length of the destination's name.
bool CSVWriter::openTemporaryBesideDestination()
{
    handleFile_ = destinationFile_;
    if (!isReplaceable(destinationFile_)) {
        fail(QStringLiteral("%1 is not a file and is not replaced").arg(destinationFile_));
        return false;
    }
    if (!QFileInfo(QFileInfo(destinationFile_).absolutePath()).isDir()) {
        fail(QStringLiteral("cannot write beside %1: no such folder").arg(destinationFile_));
        return false;
    }
    auto buffer = std::make_unique<QBuffer>(&atomicText_);
    buffer->open(QIODevice::WriteOnly);
    outputHandle_ = std::move(buffer);
    return true;
}

bool CSVWriter::setDelimiter(const QString& delimiter, QString* reason)
{
    QString refusal;
    if (hasStarted_) {
        refusal = QStringLiteral("You cannot set a delimiter after writing has started");
    } else if (delimiter.size() != 1 || isNewline(delimiter.at(0)) || delimiter == QLatin1String("#")
        || delimiter == QLatin1String("\"") || delimiter == QLatin1String("\\")) {
        refusal = QStringLiteral("%1 cannot be used as a delimiter").arg(delimiter);
    }
    if (!refusal.isNull()) {
        if (reason) {
            *reason = refusal;
        }
        return false;
    }
    delimiter_ = delimiter;
    return true;
}

bool CSVWriter::isIllegal(QChar ch) const
{
    return isNewline(ch) || ch == QLatin1Char('"') || ch == QLatin1Char('\\') || ch == delimiter_.at(0);
}

QString CSVWriter::quoted(const QString& field) const
{
    const bool needsQuotes = field.startsWith(QLatin1Char('#'))
        || std::any_of(field.cbegin(), field.cend(), [this](QChar ch) { return isIllegal(ch); });
    if (!needsQuotes) {
        return field;
    }
    QString text = field;
    text.replace(QLatin1String("\""), QLatin1String("\"\""));
    text.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

void CSVWriter::writeField(const QVariant& field)
{
    hasStarted_ = true;
    if (currentField_ != 0) {
        writeText(delimiter_);
    }
    writeText(quoted(fieldText(field)));
    ++currentField_;
}

void CSVWriter::writeFields(const QVariantList& fields)
{
    for (const QVariant& field : fields) {
        if (!field.isValid()) {
            return;
        }
        writeField(field);
    }
}

void CSVWriter::writeLine()
{
    writeText(QStringLiteral("\n"));
    currentField_ = 0;
}

void CSVWriter::writeLineOfFields(const QVariantList& fields)
{
    if (fields.isEmpty() || !fields.first().isValid()) {
        return;
    }
    writeFields(fields);
    writeLine();
}

void CSVWriter::writeLineWithFields(const QVariantList& fields)
{
    for (const QVariant& field : fields) {
        writeField(field);
    }
    writeLine();
}

void CSVWriter::writeCommentLine(const QString& comment)
{
    if (currentField_ != 0) {
        writeLine();
    }
    writeText(QLatin1Char('#') + comment);
    writeLine();
}

void CSVWriter::writeText(const QString& text)
{
    if (encoding_ == 0) {
        encoding_ = UTF8StringEncoding;
    }
    if (!outputHandle_) {
        // A file writer whose file could not be made has already failed; its
        // output goes nowhere rather than into memory nobody reads.
        if (writesToString_) {
            if (stringValue_.isNull()) {
                stringValue_ = QStringLiteral("");
            }
            stringValue_.append(text);
        }
        return;
    }
    const QByteArray bytes = encoding_ == ISOLatin1StringEncoding ? text.toLatin1() : text.toUtf8();
    if (outputHandle_->write(bytes) != bytes.size()) {
        fail(QStringLiteral("cannot write %1: %2").arg(destinationFile_, outputHandle_->errorString()));
    }
}

bool CSVWriter::closeFile()
{
    if (!outputHandle_) {
        return error_.isNull();
    }
    outputHandle_->close();
    const auto* file = qobject_cast<QFile*>(outputHandle_.get());
    if (file && file->error() != QFileDevice::NoError) {
        fail(QStringLiteral("cannot finish %1: %2").arg(handleFile_, file->errorString()));
    }
    outputHandle_.reset();
    if (atomically_ && error_.isNull()) {
        replaceDestination();
    }
    atomicText_.clear();
    return error_.isNull();
}

// The complete text takes the destination's place in one rename. On failure
// the destination is untouched.
bool CSVWriter::replaceDestination()
{
    if (!isReplaceable(destinationFile_)) {
        fail(QStringLiteral("%1 is not a file and is not replaced").arg(destinationFile_));
        return false;
    }
    QString reason;
    if (!FileServices::writeFileAtomically(destinationFile_, atomicText_, &reason)) {
        fail(reason);
        return false;
    }
    return true;
}

void CSVWriter::fail(const QString& message)
{
    // The first failure is the one that explains the rest.
    if (error_.isNull()) {
        error_ = message;
    }
}
