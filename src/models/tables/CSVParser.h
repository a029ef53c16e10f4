#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringConverter>
#include <QStringList>

#include <cstdint>
#include <functional>

// A small CSV reader. It reads its input (an open file or bytes in memory) in
// chunks, detects the delimiter when none is set, honours double-quoted fields
// (delimiters, line breaks and doubled quotes inside them), skips empty lines
// and remembers the line ending of the first record.
//
// The detected delimiter and line ending stay set between uses, so a parser
// that read one table reads the next one with the same delimiter.
class CSVParser {
public:
    using Records = QList<QStringList>;

    CSVParser();
    ~CSVParser();
    CSVParser(const CSVParser&) = delete;
    CSVParser& operator=(const CSVParser&) = delete;

    // Opens `path` read-only (closing a file opened before) and switches to file
    // mode. Returns whether the file could be opened.
    bool openFile(const QString& path);
    // Every record of the open file; empty when no file is open.
    Records parseFile();
    void closeFile();
    int fileHandle() const { return fileHandle_; }
    bool fileMode() const { return fileMode_; }

    // Parses the bytes set with setData (nothing when none are set).
    Records parseData();
    // Stores a copy of `bytes` and parses them; empty for null bytes.
    Records parseData(const QByteArray& bytes);

    // The delimiter and the line ending as text; null when not set or detected.
    QString delimiterString() const;
    QString endOfLine() const;

    const QByteArray& data() const { return data_; }
    void setData(const QByteArray& bytes) { data_ = bytes; }
    // 0 means "detect it from the input".
    char delimiter() const { return delimiter_; }
    void setDelimiter(char delimiter) { delimiter_ = delimiter; }
    QStringConverter::Encoding encoding() const { return encoding_; }
    void setEncoding(QStringConverter::Encoding encoding) { encoding_ = encoding; }
    // Bytes per read plus one.
    uint64_t bufferSize() const { return bufferSize_; }
    void setBufferSize(uint64_t size) { bufferSize_ = size; }
    bool verbose() const { return verbose_; }
    void setVerbose(bool verbose) { verbose_ = verbose; }

    static QStringList supportedDelimiters();
    static QStringList supportedDelimiterLocalizedNames();
    static QStringList supportedLineEndings();
    static QStringList supportedLineEndingLocalizedNames();

private:
    // Reads up to `max` bytes into `buffer`: the count read, 0 at the end of the
    // input, -1 on a read error.
    using ChunkReader = std::function<int64_t(char* buffer, int64_t max)>;

    Records parseInto(const ChunkReader& read);
    QString makeField(const QByteArray& raw) const;
    uint64_t chunkSize() const;

    uint64_t bufferSize_ = 2049;
    int fileHandle_ = 0;
    char delimiter_ = 0;
    char endOfLine_[2] = {0, 0};
    QStringConverter::Encoding encoding_ = QStringConverter::Utf8;
    bool verbose_ = false;
    QByteArray data_;
    bool fileMode_ = false;
};
