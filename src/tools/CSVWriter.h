#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <cstdint>
#include <memory>

// Writes comma-separated text field by field and line by line, into a file or
// into a text held in memory.
//
// Callers rely on:
// - Lines end with a single line feed; there is no byte-order mark. A field is
//   quoted when it holds a newline character, a double quote, a backslash or the
//   delimiter, or begins with "#"; inside quotes double quotes and backslashes
//   are doubled.
// - In atomic mode the output is kept in memory and replaces the destination
//   (through the file services' atomic write) only when closeFile() succeeds;
//   on any failure the destination stays as it was.
// - Only a regular file at the destination is ever replaced or removed: a folder
//   (or anything else) there makes the writer fail instead.
// - Every failure (the file cannot be created, a write fails, the replace
//   fails) is kept in error() and makes closeFile() answer false.
class CSVWriter {
public:
    // Platform string-encoding codes understood by setEncoding(); any other code
    // writes UTF-8.
    static constexpr uint64_t UTF8StringEncoding = 4;
    static constexpr uint64_t ISOLatin1StringEncoding = 5;

    // A writer into `destinationFile`, through a temporary file when `atomic`.
    CSVWriter(const QString& destinationFile, bool atomic);
    // A writer that collects its output in stringValue().
    CSVWriter();
    // Closes the file first.
    ~CSVWriter();

    CSVWriter(const CSVWriter&) = delete;
    CSVWriter& operator=(const CSVWriter&) = delete;

    // The collected output of a writer without a file; null when nothing was written.
    QString stringValue() const { return stringValue_; }

    QString delimiter() const { return delimiter_; }
    // One character that is not a newline character, "#", a double quote or a
    // backslash, set before the first field. False (with `reason` set and the old
    // delimiter kept) otherwise.
    bool setDelimiter(const QString& delimiter, QString* reason = nullptr);

    // 0 until the first write, which makes it UTF-8 when still 0.
    uint64_t encoding() const { return encoding_; }
    void setEncoding(uint64_t encoding) { encoding_ = encoding; }

    // The first failure of the writer; null when there was none.
    QString error() const { return error_; }

    // One field of the current line; any value is written as its text.
    void writeField(const QVariant& field);
    // The fields up to the first invalid one; no line end.
    void writeFields(const QVariantList& fields);
    void writeLine();
    // The fields up to the first invalid one, then a line end; nothing at all
    // when the first is invalid or the list is empty.
    void writeLineOfFields(const QVariantList& fields);
    // Every field in order (an invalid one as an empty field), then a line end;
    // an empty list gives an empty line.
    void writeLineWithFields(const QVariantList& fields);
    // Ends a started line first, then "#" and the text unchanged on a line of its own.
    void writeCommentLine(const QString& comment);

    // Closes the file and, in atomic mode, replaces the destination. True when
    // everything the writer did succeeded. Closing again changes nothing.
    bool closeFile();

private:
    bool openDestination();
    bool openTemporaryBesideDestination();
    bool replaceDestination();
    bool isIllegal(QChar ch) const;
    QString quoted(const QString& field) const;
    void writeText(const QString& text);
    void fail(const QString& message);

    QString destinationFile_;
    QString handleFile_;
    std::unique_ptr<QIODevice> outputHandle_;
    // The text of an atomic writer until it is closed.
    QByteArray atomicText_;
    bool atomically_ = false;
    bool writesToString_ = true;
    QString stringValue_;
    bool hasStarted_ = false;
    uint64_t currentField_ = 0;
    uint64_t encoding_ = 0;
    QString delimiter_ = QStringLiteral(",");
    QString error_;
};
