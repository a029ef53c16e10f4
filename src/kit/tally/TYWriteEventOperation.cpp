#include "kit/tally/TYWriteEventOperation.h"

#include "kit/tally/TYLogger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

std::atomic<uint64_t> gLostEvents{0};

void logWrite(const std::string& text)
{
    TYLogger::sharedLogger().logWithLabel("WriteOperation", text);
}

} // namespace

TYWriteEventOperation::TYWriteEventOperation(
    TYEventPtr event, std::shared_ptr<TYMetadataSerializable> metadata, std::string logFileUrl)
    : event_(std::move(event))
    , metadata_(std::move(metadata))
    , logFileUrl_(std::move(logFileUrl))
    , write_([](int fd, const void* bytes, size_t length) { return ::write(fd, bytes, length); })
{
    if (event_) {
        formattedEvent_ = generateFormattedLogLineWithEvent(*event_);
        if (metadata_) {
            formattedMetadata_ = generateFormattedLogLineWithMetdata(*metadata_, event_->timestamp());
        }
    }
}

std::optional<std::string> TYWriteEventOperation::logLineWithTimestamp(
    double timestamp, const std::string& eventName, const std::optional<nlohmann::ordered_json>& payload)
{
    if (!payload) {
        return std::nullopt;
    }
    // Text that is not UTF-8 is replaced rather than failing the line.
    const std::string json = payload->dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    const double milliseconds = timestamp * 1000.0;
    const uint64_t time = milliseconds > 0.0 ? static_cast<uint64_t>(milliseconds) : 0;
    return std::to_string(time) + "\t" + eventName + "\t" + std::to_string(json.size()) + "\t" + json;
}

std::optional<std::string> TYWriteEventOperation::generateFormattedLogLineWithEvent(const TYEvent& event)
{
    return logLineWithTimestamp(event.timestamp(), event.name(), event.dictionaryRepresentation());
}

std::optional<std::string> TYWriteEventOperation::generateFormattedLogLineWithMetdata(
    const TYMetadataSerializable& metadata, double timestamp)
{
    const uint64_t startTime = timestamp > 0.0 ? static_cast<uint64_t>(timestamp) : 0;
    return logLineWithTimestamp(
        timestamp, metadata.eventName(), metadata.dictionaryRepresentationWithStartTime(startTime));
}

void TYWriteEventOperation::main()
{
    success_ = false;
    writeToLog();
    if (!success_) {
        ++gLostEvents;
    }
}

uint64_t TYWriteEventOperation::lostEventCount()
{
    return gLostEvents.load();
}

void TYWriteEventOperation::reportOpenFailure(int error) const
{
    TYLogger::printAlways("[Tally:WriteOperation] Failed to open " + logFileUrl_ + ": " + std::strerror(error)
        + "; the event '" + (event_ ? event_->name() : std::string("(null)")) + "' is lost ("
        + std::to_string(gLostEvents.load() + 1) + " events lost since the start)");
}

void TYWriteEventOperation::writeToLog()
{
    struct stat info { };
    const bool exists = stat(logFileUrl_.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        reportOpenFailure(EISDIR);
        return;
    }
    const int fd = open(logFileUrl_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        reportOpenFailure(errno);
        return;
    }
    // A file left empty by a failed first line still needs its metadata line.
    const bool preexisting = exists && info.st_size > 0;
    success_ = writeDataToDescriptor(fd, preexisting);
    if (close(fd) != 0) {
        logWrite(std::string("Failed to close file, error: ") + std::strerror(errno));
        success_ = false;
    }
}

bool TYWriteEventOperation::writeDataToDescriptor(int fd, bool preexistingFile)
{
    if (!formattedEvent_ || !formattedMetadata_) {
        return false;
    }
    if (!preexistingFile && !appendLogLine(*formattedMetadata_, fd)) {
        return false;
    }
    return appendLogLine(*formattedEvent_, fd);
}

bool TYWriteEventOperation::appendLogLine(const std::string& line, int fd)
{
    const std::string data = line + "\n";
    struct stat info { };
    const off_t sizeBefore = fstat(fd, &info) == 0 ? info.st_size : -1;
    if (writeAll(data, fd)) {
        return true;
    }
    // Take the torn line back out so the next line starts clean.
    if (sizeBefore >= 0 && ftruncate(fd, sizeBefore) != 0) {
        logWrite(std::string("Failed to write: ") + std::strerror(errno));
    }
    return false;
}

bool TYWriteEventOperation::writeAll(const std::string& data, int fd)
{
    const char* bytes = data.data();
    size_t remaining = data.size();
    for (int call = 0; call < 3; ++call) {
        const ssize_t written = write_(fd, bytes, remaining);
        if (written < 0) {
            logWrite(std::string("Failed to write: ") + std::strerror(errno));
        }
        if (written < 0 || static_cast<size_t>(written) > remaining) {
            logWrite("Error: length doesn't make sense (" + std::to_string(written) + ", " + std::to_string(remaining)
                + ")");
            return false;
        }
        if (static_cast<size_t>(written) == remaining) {
            return true;
        }
        if (written == 0) {
            break;
        }
        bytes += written;
        remaining -= static_cast<size_t>(written);
    }
    logWrite("Error: exited write loop without success");
    return false;
}

void TYWriteEventOperation::setWriteCall(WriteCall call)
{
    write_ = std::move(call);
}

bool TYWriteEventOperation::success() const
{
    return success_;
}

const TYEventPtr& TYWriteEventOperation::event() const
{
    return event_;
}

const std::string& TYWriteEventOperation::logFileUrl() const
{
    return logFileUrl_;
}

const std::optional<std::string>& TYWriteEventOperation::formattedEvent() const
{
    return formattedEvent_;
}

const std::optional<std::string>& TYWriteEventOperation::formattedMetadata() const
{
    return formattedMetadata_;
}
