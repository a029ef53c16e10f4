#pragma once

#include "kit/support/KBOperation.h"
#include "kit/tally/TYEvent.h"
#include "kit/tally/TYMetadataSerializable.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

// Appends one event's line to a log, heading a new log with the metadata
// line. A line that cannot be written whole is taken back out, so a failed
// append never leaves half a line for the next one to run into.
class TYWriteEventOperation : public KBOperation {
public:
    // How the bytes reach the file; tests replace it to cut writes short.
    using WriteCall = std::function<ssize_t(int fd, const void* bytes, size_t length)>;

    TYWriteEventOperation(TYEventPtr event, std::shared_ptr<TYMetadataSerializable> metadata, std::string logFileUrl);

    // "<ms>\t<name>\t<bytes>\t<json>" (without the line end); nothing without a payload.
    static std::optional<std::string> logLineWithTimestamp(
        double timestamp, const std::string& eventName, const std::optional<nlohmann::ordered_json>& payload);
    static std::optional<std::string> generateFormattedLogLineWithEvent(const TYEvent& event);
    static std::optional<std::string> generateFormattedLogLineWithMetdata(
        const TYMetadataSerializable& metadata, double timestamp);

    bool writeDataToDescriptor(int fd, bool preexistingFile);
    bool appendLogLine(const std::string& line, int fd);
    void setWriteCall(WriteCall call);

    // Events of this process that no log took (the log could not be opened or
    // written), counted so that their loss shows in the kit's log.
    static uint64_t lostEventCount();

    bool success() const;
    const TYEventPtr& event() const;
    const std::string& logFileUrl() const;
    const std::optional<std::string>& formattedEvent() const;
    const std::optional<std::string>& formattedMetadata() const;

protected:
    void main() override;

private:
    bool writeAll(const std::string& data, int fd);
    void writeToLog();
    void reportOpenFailure(int error) const;

    TYEventPtr event_;
    std::shared_ptr<TYMetadataSerializable> metadata_;
    std::string logFileUrl_;
    bool success_ = false;
    std::optional<std::string> formattedEvent_;
    std::optional<std::string> formattedMetadata_;
    WriteCall write_;
};
