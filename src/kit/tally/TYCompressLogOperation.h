#pragma once

#include "kit/support/KBOperation.h"

#include <string>

// Compresses a log into its ".gz" beside it. The compressed file appears
// only whole (written under a ".partial" name, then renamed), and only whole
// lines go in: a log cut off mid-line by a kill loses just that line.
class TYCompressLogOperation : public KBOperation {
public:
    enum class Outcome {
        NotRun,
        Compressed, // a whole ".gz" is in place: the log may go
        NothingToSend, // the log holds no whole line: it may go, no ".gz"
        Missing, // no log at the path
        Failed, // no ".gz"; the log must stay
    };

    TYCompressLogOperation(std::string uncompressedLogURL, std::string compressedLogURL);
    static std::string compressedURLForUncompressedURL(const std::string& url);

    Outcome outcome() const;
    // True when the log is no longer needed.
    bool logConsumed() const;
    const std::string& uncompressedLogURL() const;
    const std::string& compressedLogURL() const;

protected:
    void main() override;

private:
    bool writeCompressed(const std::string& bytes, const std::string& partial);

    std::string uncompressedLogURL_;
    std::string compressedLogURL_;
    Outcome outcome_ = Outcome::NotRun;
};
