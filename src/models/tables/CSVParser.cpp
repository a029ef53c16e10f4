#include "models/tables/CSVParser.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <new>
#include <unistd.h>

namespace {

constexpr char kQuote = '"';
constexpr char kCR = '\r';
constexpr char kLF = '\n';

bool isLineBreak(char c)
{
    return c == kCR || c == kLF;
}

bool isSupportedDelimiter(char c)
{
    return c == ',' || c == ';' || c == '\t' || c == '|';
}

// The byte-level state of one parse. Input arrives chunk by chunk; every piece
// of state that a chunk boundary can cut (an open quote, a quote that may be
// the first of a doubled pair, a CR that may be followed by LF) lives here, so
// a record cut by the end of a chunk is completed by the next one.
class RecordBuilder {
public:
    RecordBuilder(char delimiter, std::function<QString(const QByteArray&)> makeField)
        : delimiter_(delimiter)
        , makeField_(std::move(makeField))
    {
    }

    void feed(const char* bytes, int64_t count)
    {
        for (int64_t i = 0; i < count; ++i) {
            take(bytes[i]);
        }
    }

    // The input ended: a record without a final line break is complete too.
    void finish()
    {
        quotePending_ = false;
        if (recordOpen_) {
            endRecord();
        }
    }

    CSVParser::Records& records() { return records_; }
    // The line break that ended the first record ("" when none did).
    QByteArray firstLineEnding() const { return firstLineEnding_; }

private:
    void take(char c)
    {
        if (awaitingSecondLineByte_) {
            awaitingSecondLineByte_ = false;
            if (isLineBreak(c) && c != firstLineEnding_.at(0)) {
                firstLineEnding_.append(c);
            }
        }
        if (quotePending_) {
            quotePending_ = false;
            if (c == kQuote) {
                // A doubled quote inside quotes stands for one quote; both bytes
                // are kept and folded when the field is made.
                field_.append(c);
                return;
            }
            inQuotes_ = false;
        }
        if (inQuotes_) {
            field_.append(c);
            quotePending_ = (c == kQuote);
            return;
        }
        if (delimiter_ != 0 && c == delimiter_) {
            endField();
            recordOpen_ = true;
            return;
        }
        if (isLineBreak(c)) {
            if (recordOpen_) {
                endRecord();
                if (records_.size() == 1 && firstLineEnding_.isEmpty()) {
                    firstLineEnding_.append(c);
                    awaitingSecondLineByte_ = true;
                }
            }
            return; // runs of line breaks between records give no records
        }
        if (c == kQuote && field_.isEmpty()) {
            inQuotes_ = true;
        }
        field_.append(c);
        recordOpen_ = true;
    }

    void endField()
    {
        record_.append(makeField_(field_));
        field_.clear();
    }

    void endRecord()
    {
        endField();
        const qsizetype width = record_.size();
        records_.append(std::move(record_));
        record_ = QStringList();
        record_.reserve(width);
        recordOpen_ = false;
        inQuotes_ = false;
    }

    char delimiter_;
    std::function<QString(const QByteArray&)> makeField_;
    CSVParser::Records records_;
    QStringList record_;
    QByteArray field_;
    bool recordOpen_ = false;
    bool inQuotes_ = false;
    bool quotePending_ = false;
    bool awaitingSecondLineByte_ = false;
    QByteArray firstLineEnding_;
};

} // namespace

CSVParser::CSVParser() = default;

CSVParser::~CSVParser()
{
    closeFile();
}

bool CSVParser::openFile(const QString& path)
{
    closeFile();
    const QByteArray native = QFile::encodeName(path);
    int fd = -1;
    do {
        fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    fileHandle_ = fd > 0 ? fd : 0;
    fileMode_ = true;
    return fd > 0;
}

CSVParser::Records CSVParser::parseFile()
{
    if (fileHandle_ <= 0) {
        return {};
    }
    const int fd = fileHandle_;
    return parseInto([fd](char* buffer, int64_t max) -> int64_t {
        ssize_t count = -1;
        do {
            count = ::read(fd, buffer, static_cast<size_t>(max));
        } while (count < 0 && errno == EINTR);
        return count;
    });
}

void CSVParser::closeFile()
{
    if (fileHandle_ > 0) {
        ::close(fileHandle_);
    }
    fileHandle_ = 0;
}

CSVParser::Records CSVParser::parseData()
{
    if (data_.isNull()) {
        return {};
    }
    const QByteArray input = data_;
    int64_t offset = 0;
    fileMode_ = false;
    return parseInto([&input, &offset](char* buffer, int64_t max) -> int64_t {
        const int64_t count = std::min<int64_t>(max, input.size() - offset);
        std::copy_n(input.constData() + offset, count, buffer);
        offset += count;
        return count;
    });
}

CSVParser::Records CSVParser::parseData(const QByteArray& bytes)
{
    setData(bytes);
    return parseData();
}

QString CSVParser::delimiterString() const
{
    return delimiter_ == 0 ? QString() : QString(QLatin1Char(delimiter_));
}

QString CSVParser::endOfLine() const
{
    if (endOfLine_[0] == 0) {
        return QString();
    }
    QString text{QLatin1Char(endOfLine_[0])};
    if (endOfLine_[1] != 0) {
        text.append(QLatin1Char(endOfLine_[1]));
    }
    return text;
}

uint64_t CSVParser::chunkSize() const
{
    // A buffer size below 2 would read nothing per chunk and never end.
    return bufferSize_ < 2 ? 1 : bufferSize_ - 1;
}

CSVParser::Records CSVParser::parseInto(const ChunkReader& read)
{
    try {
        const auto chunk = static_cast<int64_t>(chunkSize());
        QByteArray buffer(chunk, Qt::Uninitialized);
        QByteArray pending; // read while the delimiter is still unknown
        bool atEnd = false;
        bool failed = false;

        auto readChunk = [&]() -> int64_t {
            const int64_t count = read(buffer.data(), chunk);
            if (count <= 0) {
                atEnd = true;
                failed = count < 0;
                return 0;
            }
            return count;
        };

        // The delimiter is decided on the first byte that can be one; until then
        // input is held back, so a delimiter that first appears in a later chunk
        // still splits the records before it.
        while (delimiter_ == 0 && !atEnd) {
            const int64_t count = readChunk();
            const qsizetype scanFrom = pending.size();
            pending.append(buffer.constData(), count);
            for (qsizetype i = scanFrom; i < pending.size(); ++i) {
                if (isSupportedDelimiter(pending.at(i))) {
                    delimiter_ = pending.at(i);
                    if (verbose_) {
                        std::printf("delimiter is %c / %d :-)\n", delimiter_, delimiter_);
                    }
                    break;
                }
            }
        }

        RecordBuilder builder(delimiter_, [this](const QByteArray& raw) { return makeField(raw); });
        builder.feed(pending.constData(), pending.size());
        pending = QByteArray();
        while (!atEnd) {
            const int64_t count = readChunk();
            builder.feed(buffer.constData(), count);
        }
        if (failed) {
            // A read error keeps only the records that were complete.
            return std::move(builder.records());
        }
        builder.finish();

        const QByteArray lineEnding = builder.firstLineEnding();
        if (!lineEnding.isEmpty()) {
            endOfLine_[0] = lineEnding.at(0);
            endOfLine_[1] = lineEnding.size() > 1 ? lineEnding.at(1) : 0;
        }
        return std::move(builder.records());
    } catch (const std::bad_alloc&) {
        return Records{QStringList{QStringLiteral("ERROR: Could not allocate bytes for buffer")}};
    }
}

QString CSVParser::makeField(const QByteArray& raw) const
{
    QByteArray bytes = raw;
    if (bytes.size() >= 2 && bytes.startsWith(kQuote) && bytes.endsWith(kQuote)) {
        bytes = bytes.mid(1, bytes.size() - 2);
    }
    // Stateless: a sequence cut at the end of the field is an error, not pending input.
    QStringDecoder decoder(encoding_, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        // Latin 1 maps every byte, so it is the last try: the field is shown
        // with a note instead of being lost.
        text = QString::fromLatin1(bytes)
            + QStringLiteral(" (%1)").arg(QCoreApplication::translate("CSVParser", "**encoding or data invalid**"));
    }
    text.replace(QStringLiteral("\"\""), QStringLiteral("\""));
    return text;
}

QStringList CSVParser::supportedDelimiters()
{
    return {QStringLiteral(","), QStringLiteral(";"), QStringLiteral("\t"), QStringLiteral("|")};
}

QStringList CSVParser::supportedDelimiterLocalizedNames()
{
    return {QCoreApplication::translate("CSVParser", "Comma (,)"),
        QCoreApplication::translate("CSVParser", "Semicolon (;)"),
        QCoreApplication::translate("CSVParser", "Tab Symbol (\u21e5)"),
        QCoreApplication::translate("CSVParser", "Pipe Symbol (|)")};
}

QStringList CSVParser::supportedLineEndings()
{
    return {QStringLiteral("\n"), QStringLiteral("\r"), QStringLiteral("\r\n")};
}

QStringList CSVParser::supportedLineEndingLocalizedNames()
{
    return {QCoreApplication::translate("CSVParser", "Unix/Mac OS X Line Endings (LF)"),
        QCoreApplication::translate("CSVParser", "Classic Mac Line Endings (CR)"),
        QCoreApplication::translate("CSVParser", "Windows Line Endings (CRLF)")};
}
