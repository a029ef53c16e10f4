#pragma once

#include "kit/support/KBNotificationCenter.h"
#include "kit/support/KBOperationQueue.h"
#include "kit/tally/TYActivityOperation.h"
#include "kit/tally/TYCrashEvent.h"
#include "kit/tally/TYCrashMetadata.h"
#include "kit/tally/TYEventFilter.h"
#include "kit/tally/TYMetadata.h"
#include "kit/tally/TYNetworkRetryHandler.h"
#include "kit/tally/TYSettings.h"
#include "kit/tally/TYTimer.h"
#include "kit/tally/TYUploader.h"

#include <atomic>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class Kitbase;

// The analytics pipeline of one process: admits events from any thread into
// its serial event queue, where they are written to the current log; logs
// are rotated, compressed, packaged and uploaded there too. Every file of the
// events folder and every field below is touched only on that queue.
class TYTallyController : public std::enable_shared_from_this<TYTallyController>, public TYUploaderDelegate {
public:
    // Made on a root folder; start() runs the start-up.
    TYTallyController(std::optional<std::string> betaToken, std::string rootDirectory, Kitbase& kitbase);
    virtual ~TYTallyController();
    TYTallyController(const TYTallyController&) = delete;
    TYTallyController& operator=(const TYTallyController&) = delete;

    // A started controller on the process's root folder.
    static std::shared_ptr<TYTallyController> make(std::optional<std::string> betaToken, Kitbase& kitbase);

    // <XDG cache>/<crash kit data folder>/<bundle id, "/" as "_">/analytics/v2
    static std::string rootDirectory();
    static std::string eventDirectoryForRootDirectory(const std::string& root);
    static std::string crashMetadataPathForRootDirectory(const std::string& root);

    // The start-up sequence: queue, first block, observers, launch events,
    // settings.
    void start();

    void logEvent(const TYEventPtr& event);
    void enqueueEvent(const TYEventPtr& event);
    void logCrashEvent(const std::shared_ptr<TYCrashEvent>& event);

    bool shouldLogEvent() const;
    void initializeSettingsIfNeededWithKitbaseSettings(const std::optional<nlohmann::json>& settings);
    bool shouldSubmitLogAtURL(const std::string& path) const;

    // Event-queue operations.
    void setupFlushTimer();
    void flushTimerFired();
    void removeAllLogs();
    void rotateAndSubmitCurrentLog();
    std::vector<std::shared_ptr<KBOperation>> operationsForUncompressedLog(const std::string& log);
    std::vector<std::shared_ptr<KBOperation>> operationsForCompressedLog(const std::string& compressed);
    void cleanupAndProcessExistingFiles();
    // Keeps the newest batches up to the start-up limit while running too, so
    // that a server failing for hours costs bounded disk, memory and
    // descriptors; the oldest go first, their retries and uploads with them.
    void boundPendingBatches();
    // Batches dropped by that bound since the start.
    uint64_t droppedBatchCount() const;
    // Writes the count of batches dropped since the start, when it grew since
    // it was last written. With a flush timer (against a failing server a
    // batch may go with every flush) the count is written with the first drop
    // and then at most once per firing; without one, with every drop.
    void reportDroppedBatches();
    // At quit: writes the count once more, when any batch was dropped.
    void reportDroppedBatchesAtQuit();
    static std::shared_ptr<TYCrashMetadata> replacePreviousExecutionMetadataWithCurrentMetadata(
        const std::shared_ptr<TYMetadata>& metadata, const std::string& root);
    std::string multipartMimeURLWithBoundary(const std::string& boundary) const;
    std::string generateNewLogPath() const;

    // The upload step for one batch; run while the settings are not valid it
    // sends nothing, and the batch waits on disk for them.
    virtual std::shared_ptr<KBOperation> uploadOperationForFileAtURL(
        const std::string& batch, const std::string& boundary);
    std::shared_ptr<TYUploader> uploaderWithQueue(std::shared_ptr<KBOperationQueue> queue);

    // The uploader's questions, on the event queue.
    std::string filePathForUniqueName(TYUploader& uploader, const std::string& uniqueName) override;
    void didFinishUploadWithUniqueName(
        TYUploader& uploader, const std::string& uniqueName, const std::optional<KBError>& error) override;
    void completedRequest(TYUploader& uploader, const KBURLRequest& request,
        const std::optional<KBHTTPURLResponse>& response, const std::string& uniqueName,
        const std::optional<KBError>& error, RetryAnswer completion) override;
    bool respondsToChallenges() const override;
    void didReceiveChallenge(TYUploader& uploader, CWURLSession& session, const KBURLAuthenticationChallenge& challenge,
        const CWURLSessionDelegate::ChallengeCompletion& completion) override;
    void uploadAllMultipartFiles();
    void uploadMultipartFiles(const std::set<std::string>& batches);
    static std::optional<std::string> boundaryFromURL(const std::string& path);

    const std::shared_ptr<KBOperationQueue>& eventQueue() const;
    const std::string& rootEventDirectory() const;
    const std::string& currentLogURL() const;
    const std::shared_ptr<TYSettings>& settings() const;
    const std::shared_ptr<TYMetadata>& metadata() const;
    const std::shared_ptr<TYCrashMetadata>& previousExecutionMetadata() const;
    const std::shared_ptr<TYTimer>& flushTimer() const;
    const std::shared_ptr<TYNetworkRetryHandler>& networkRetryHandler() const;
    const std::shared_ptr<TYUploader>& uploader() const;
    Kitbase& sharedKitbaseSDK() const;

protected:
    // The pinned roots by default; tests give their own.
    virtual std::shared_ptr<TYNetworkRetryHandler> makeNetworkRetryHandler();

private:
    void runFirstBlock();
    void registerForApplicationLifecycleEvents();
    void applicationLifecycleEvent(const KBNotification& notification);
    void kitbaseSettingsDidBecomeAvailable(const KBNotification& notification);
    void applySettings(const nlohmann::json& dictionary);
    void admitEvent(const TYEventPtr& event, const std::shared_ptr<KBOperation>& activity);
    void admitCrashEvent(const std::shared_ptr<TYCrashEvent>& event, const std::shared_ptr<KBOperation>& activity);
    bool discardedBySampling(const TYEventPtr& event);
    void addWrite(const TYEventPtr& event, const std::shared_ptr<TYMetadataSerializable>& metadata,
        const std::shared_ptr<KBOperation>& activity);
    void addTogether(
        const std::vector<std::shared_ptr<KBOperation>>& operations, const std::shared_ptr<KBOperation>& activity);
    void checkQueue(const char* method) const;
    void writeDroppedBatchCount(uint64_t dropped) const;

    std::optional<std::string> betaToken_;
    std::string rootDirectory_;
    Kitbase& kitbase_;
    std::vector<KBNotificationCenter::Token> observers_;

    std::shared_ptr<KBOperationQueue> eventQueue_;
    std::string rootEventDirectory_;
    std::string currentLogURL_;
    std::shared_ptr<TYSettings> settings_;
    std::shared_ptr<TYMetadata> metadata_;
    std::shared_ptr<TYCrashMetadata> previousExecutionMetadata_;
    std::shared_ptr<TYEventFilter> eventFilter_;
    std::shared_ptr<TYTimer> flushTimer_;
    std::shared_ptr<TYNetworkRetryHandler> networkRetryHandler_;
    std::shared_ptr<TYUploader> uploader_;
    int64_t maximumPendingBatches_ = 0;
    std::atomic<uint64_t> droppedBatchCount_{0};
    std::atomic<uint64_t> reportedDropCount_{0};
};
