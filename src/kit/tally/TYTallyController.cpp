#include "kit/tally/TYTallyController.h"

#include "kit/core/KBMainBundle.h"
#include "kit/core/Kitbase.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/tally/TYFileUtils.h"
#include "kit/tally/TYLifecycleEvent.h"
#include "kit/tally/TYLogger.h"
#include "kit/tally/TYWriteEventOperation.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

const std::string kPrefix = kb::kTallyTimerActivityPrefix;
const std::string kEventQueueLabel = kPrefix + "event-queue";
const std::string kRecordCrashEventActivity = kPrefix + "record-crash-event";
const std::string kFlushTimerLabel = kPrefix + "flush-timer";

constexpr const char* kWillTerminateNotification = "NSApplicationWillTerminateNotification";
constexpr const char* kLifecycleNotifications[] = {
    kWillTerminateNotification,
    "NSApplicationWillResignActiveNotification",
    "NSApplicationDidBecomeActiveNotification",
};

TYLogger& logger()
{
    return TYLogger::sharedLogger();
}

} // namespace

TYTallyController::TYTallyController(std::optional<std::string> betaToken, std::string rootDirectory, Kitbase& kitbase)
    : betaToken_(std::move(betaToken))
    , rootDirectory_(std::move(rootDirectory))
    , kitbase_(kitbase)
{
}

TYTallyController::~TYTallyController()
{
    for (const auto token : observers_) {
        KBNotificationCenter::defaultCenter().removeObserver(token);
    }
}

std::string TYTallyController::rootDirectory()
{
    std::string root = KBFiles::cacheHome() + "/" + kb::kCrashDataFolder;
    if (auto identifier = KBMainBundle::bundleIdentifier()) {
        std::replace(identifier->begin(), identifier->end(), '/', '_');
        root += "/" + *identifier;
    }
    return root + "/analytics/v2";
}

std::string TYTallyController::eventDirectoryForRootDirectory(const std::string& root)
{
    return root + "/events";
}

std::string TYTallyController::crashMetadataPathForRootDirectory(const std::string& root)
{
    return root + "/crash_metadata";
}

std::shared_ptr<TYTallyController> TYTallyController::make(std::optional<std::string> betaToken, Kitbase& kitbase)
{
    auto controller = std::make_shared<TYTallyController>(std::move(betaToken), rootDirectory(), kitbase);
    controller->start();
    return controller;
}

void TYTallyController::start()
{
    eventQueue_ = KBOperationQueue::make(kEventQueueLabel);
    eventQueue_->setMaxConcurrentOperationCount(1);
    auto self = shared_from_this();
    eventQueue_->addOperationWithBlock([self] { self->runFirstBlock(); });

    registerForApplicationLifecycleEvents();
    std::weak_ptr<TYTallyController> weak = self;
    observers_.push_back(KBNotificationCenter::defaultCenter().addObserver(
        "KBSettingsAvailableNotification", nullptr, [weak](const KBNotification& notification) {
            if (auto controller = weak.lock()) {
                controller->kitbaseSettingsDidBecomeAvailable(notification);
            }
        }));
    if (kitbase_.isFirstInstall()) {
        enqueueEvent(TYLifecycleEvent::installEvent());
    }
    enqueueEvent(TYLifecycleEvent::appLaunchedEvent());
    initializeSettingsIfNeededWithKitbaseSettings(kitbase_.settings());
    kitbase_.setAdvertisingToken(TYMetadata::identifierForAdvertising());
}

void TYTallyController::runFirstBlock()
{
    rootEventDirectory_ = eventDirectoryForRootDirectory(rootDirectory_);
    std::string error;
    if (!KBFiles::makeFolders(rootEventDirectory_, &error)) {
        logger().log("Failed to create " + rootEventDirectory_ + ": " + error);
    }
    currentLogURL_ = generateNewLogPath();
    settings_ = std::make_shared<TYSettings>(std::nullopt);
    metadata_ = std::make_shared<TYMetadata>(kitbase_, betaToken_);
    previousExecutionMetadata_ = replacePreviousExecutionMetadataWithCurrentMetadata(metadata_, rootDirectory_);
    eventFilter_ = std::make_shared<TYEventFilter>();
    networkRetryHandler_ = makeNetworkRetryHandler();
    uploader_ = uploaderWithQueue(eventQueue_);
    cleanupAndProcessExistingFiles();
}

std::shared_ptr<TYNetworkRetryHandler> TYTallyController::makeNetworkRetryHandler()
{
    return std::make_shared<TYNetworkRetryHandler>();
}

void TYTallyController::registerForApplicationLifecycleEvents()
{
    std::weak_ptr<TYTallyController> weak = shared_from_this();
    for (const char* name : kLifecycleNotifications) {
        observers_.push_back(KBNotificationCenter::defaultCenter().addObserver(
            name, nullptr, [weak](const KBNotification& notification) {
                if (auto controller = weak.lock()) {
                    controller->applicationLifecycleEvent(notification);
                }
            }));
    }
}

void TYTallyController::applicationLifecycleEvent(const KBNotification& notification)
{
    enqueueEvent(TYLifecycleEvent::eventWithNotification(notification.name));
    if (notification.name == kWillTerminateNotification) {
        auto self = shared_from_this();
        eventQueue_->addOperationWithBlock([self] { self->reportDroppedBatchesAtQuit(); });
    }
}

void TYTallyController::kitbaseSettingsDidBecomeAvailable(const KBNotification&)
{
    initializeSettingsIfNeededWithKitbaseSettings(kitbase_.settings());
}

void TYTallyController::logEvent(const TYEventPtr& event)
{
    logger().log("Logging Tally event: " + event->description());
    enqueueEvent(event);
}

void TYTallyController::enqueueEvent(const TYEventPtr& event)
{
    auto activity = TYActivityOperation::operationByStartingActivityName(
        kb::kTallyRecordEventActivity, TYActivity::kRecordOptions);
    auto self = shared_from_this();
    // Weak: the activity holds this block as its dependency.
    std::weak_ptr<KBOperation> weakActivity = activity;
    auto block = std::make_shared<KBBlockOperation>([self, event, weakActivity] {
        if (auto activityOperation = weakActivity.lock()) {
            self->admitEvent(event, activityOperation);
        }
    });
    activity->addDependency(block);
    eventQueue_->addOperation(block);
    eventQueue_->addOperation(activity);
}

void TYTallyController::logCrashEvent(const std::shared_ptr<TYCrashEvent>& event)
{
    auto activity
        = TYActivityOperation::operationByStartingActivityName(kRecordCrashEventActivity, TYActivity::kRecordOptions);
    auto self = shared_from_this();
    std::weak_ptr<KBOperation> weakActivity = activity;
    auto block = std::make_shared<KBBlockOperation>([self, event, weakActivity] {
        if (auto activityOperation = weakActivity.lock()) {
            self->admitCrashEvent(event, activityOperation);
        }
    });
    activity->addDependency(block);
    eventQueue_->addOperation(block);
    eventQueue_->addOperation(activity);
}

bool TYTallyController::discardedBySampling(const TYEventPtr& event)
{
    if (!eventFilter_->shouldDiscardEvent(
            event, metadata_->betaToken(), metadata_->installationId(), settings_->samplingRate())) {
        return false;
    }
    logger().log("Application is enabled for sampling, skipping " + event->description());
    return true;
}

void TYTallyController::addWrite(const TYEventPtr& event, const std::shared_ptr<TYMetadataSerializable>& metadata,
    const std::shared_ptr<KBOperation>& activity)
{
    auto write = std::make_shared<TYWriteEventOperation>(event, metadata, currentLogURL_);
    activity->addDependency(write);
    eventQueue_->addOperation(write);
}

void TYTallyController::admitEvent(const TYEventPtr& event, const std::shared_ptr<KBOperation>& activity)
{
    if (!shouldLogEvent() || discardedBySampling(event)) {
        return;
    }
    // The size is read before this event's line is written.
    const bool oversized = shouldSubmitLogAtURL(currentLogURL_);
    addWrite(event, metadata_, activity);
    if (oversized || event->triggersFlush()) {
        rotateAndSubmitCurrentLog();
    }
}

void TYTallyController::admitCrashEvent(
    const std::shared_ptr<TYCrashEvent>& event, const std::shared_ptr<KBOperation>& activity)
{
    logger().log("Attempting to log " + event->name());
    if (!shouldLogEvent() || discardedBySampling(event)) {
        return;
    }
    // The crash travels alone in its own batch, headed by the crashed run's
    // metadata.
    if (TYFileUtils::isRegularFile(currentLogURL_)) {
        rotateAndSubmitCurrentLog();
    }
    addWrite(event, previousExecutionMetadata_, activity);
    rotateAndSubmitCurrentLog();
}

bool TYTallyController::shouldLogEvent() const
{
    if (!settings_) {
        return false;
    }
    return !settings_->valid() || settings_->shouldCollectAnalytics();
}

void TYTallyController::initializeSettingsIfNeededWithKitbaseSettings(const std::optional<nlohmann::json>& settings)
{
    auto self = shared_from_this();
    eventQueue_->addOperationWithBlock([self, settings] {
        // The first settings dictionary holds for the life of the process.
        if (!settings || (self->settings_ && self->settings_->valid())) {
            return;
        }
        self->applySettings(*settings);
    });
}

void TYTallyController::applySettings(const nlohmann::json& dictionary)
{
    settings_ = std::make_shared<TYSettings>(dictionary);
    if (!settings_->shouldCollectAnalytics()) {
        logger().log("Tally is disabled. Cleaning up.");
        removeAllLogs();
        return;
    }
    const nlohmann::json analytics
        = dictionary.is_object() ? dictionary.value("analytics", nlohmann::json()) : nlohmann::json();
    logger().log("Tally enabled with settings: " + analytics.dump());
    logger().log("Logging events to " + rootEventDirectory_);
    setupFlushTimer();
    uploader_->setDefaultUploadTimeout(settings_->defaultUploadTimeout());
    uploader_->setLowPowerUploadTimeout(settings_->lowPowerUploadTimeout());
    uploadAllMultipartFiles();
}

bool TYTallyController::shouldSubmitLogAtURL(const std::string& path) const
{
    const auto size = static_cast<int64_t>(TYFileUtils::fileSizeAtURL(path));
    return size > settings_->maximumPayloadSize();
}

void TYTallyController::checkQueue(const char* method) const
{
    const auto current = KBOperationQueue::currentQueue();
    if (current != eventQueue_) {
        logger().log(std::string("queuing bug in ") + method + ": " + eventQueue_->name()
            + " != " + (current ? current->name() : std::string("(null)")));
    }
}

void TYTallyController::setupFlushTimer()
{
    checkQueue("-[TYTallyController setupFlushTimer]");
    const double interval = settings_->flushInterval();
    if (interval <= 0.0) {
        flushTimer_.reset();
        return;
    }
    std::weak_ptr<TYTallyController> weak = shared_from_this();
    flushTimer_ = std::make_shared<TYTimer>(interval, eventQueue_, kFlushTimerLabel, [weak] {
        if (auto controller = weak.lock()) {
            controller->flushTimerFired();
        }
    });
}

void TYTallyController::flushTimerFired()
{
    checkQueue("-[TYTallyController flushTimerFired]");
    if (settings_->flushInterval() <= 0.0) {
        flushTimer_.reset();
        return;
    }
    reportDroppedBatches();
    if (shouldSubmitLogAtURL(currentLogURL_)) {
        rotateAndSubmitCurrentLog();
    }
}

void TYTallyController::removeAllLogs()
{
    for (const std::string& file : TYFileUtils::allFilesInDirectory(rootEventDirectory_)) {
        std::error_code ignored;
        std::filesystem::remove_all(file, ignored);
    }
}

const std::shared_ptr<KBOperationQueue>& TYTallyController::eventQueue() const
{
    return eventQueue_;
}

const std::string& TYTallyController::rootEventDirectory() const
{
    return rootEventDirectory_;
}

const std::string& TYTallyController::currentLogURL() const
{
    return currentLogURL_;
}

const std::shared_ptr<TYSettings>& TYTallyController::settings() const
{
    return settings_;
}

const std::shared_ptr<TYMetadata>& TYTallyController::metadata() const
{
    return metadata_;
}

const std::shared_ptr<TYCrashMetadata>& TYTallyController::previousExecutionMetadata() const
{
    return previousExecutionMetadata_;
}

const std::shared_ptr<TYTimer>& TYTallyController::flushTimer() const
{
    return flushTimer_;
}

const std::shared_ptr<TYNetworkRetryHandler>& TYTallyController::networkRetryHandler() const
{
    return networkRetryHandler_;
}

const std::shared_ptr<TYUploader>& TYTallyController::uploader() const
{
    return uploader_;
}

Kitbase& TYTallyController::sharedKitbaseSDK() const
{
    return kitbase_;
}
