#include "kit/crash/CWBetaController.h"

#include "kit/core/CWURLSessionConfiguration.h"
#include "kit/core/KBApplicationFacts.h"
#include "kit/core/KBMainBundle.h"
#include "kit/core/KBURLBuilder.h"
#include "kit/core/Kitbase.h"
#include "kit/crash/CWApplication.h"
#include "kit/crash/CWNetworkClient.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBMainQueue.h"

bool CWBetaController::isBetaSupported()
{
    return !CWApplication::isExtension() && KBInstallationSource() == 3;
}

std::shared_ptr<CWBetaController> CWBetaController::make(CWBetaControllerDelegate* delegate,
    std::optional<std::string> betaToken, std::optional<std::vector<KBCertificate>> pinned)
{
    std::shared_ptr<CWBetaController> controller(new CWBetaController(delegate, std::move(betaToken)));
    controller->networkClient_ = KBNetworkClient::make(
        CWURLSessionConfiguration::defaultSessionConfiguration(), nullptr, pinned ? *pinned : KBPinnedCertificates());
    if (!controller->networkClient_) {
        KBLog::debug("[Crashwatch:Beta] Failed to configure networking");
    }
    return controller;
}

CWBetaController::CWBetaController(CWBetaControllerDelegate* delegate, std::optional<std::string> betaToken)
    : delegate_(delegate)
    , betaToken_(std::move(betaToken))
    , queue_(std::make_shared<KBSerialQueue>(std::string(kb::kVendorPrefix) + ".crashwatch.beta"))
{
}

CWBetaController::~CWBetaController()
{
    if (observer_) {
        KBNotificationCenter::defaultCenter().removeObserver(*observer_);
    }
}

void CWBetaController::setDelegate(CWBetaControllerDelegate* delegate)
{
    std::lock_guard lock(delegateMutex_);
    delegate_ = delegate;
}

CWSettings CWBetaController::settings()
{
    std::lock_guard lock(delegateMutex_);
    return delegate_ ? delegate_->settingsForBetaController(*this) : CWSettings(std::nullopt);
}

std::optional<std::string> CWBetaController::APIKey()
{
    std::lock_guard lock(delegateMutex_);
    return delegate_ ? delegate_->APIKeyForBetaController(*this) : std::nullopt;
}

bool CWBetaController::start()
{
    if (!betaToken_) {
        return false;
    }
    std::weak_ptr<CWBetaController> weak = weak_from_this();
    observer_ = KBNotificationCenter::defaultCenter().addObserver(
        "KBSettingsAvailableNotification", nullptr, [weak](const KBNotification&) {
            if (auto self = weak.lock()) {
                self->checkForUpdate();
            }
        });
    return true;
}

void CWBetaController::checkForUpdate()
{
    std::weak_ptr<CWBetaController> weak = weak_from_this();
    maybeGetUpdate([weak](std::shared_ptr<CWBetaUpdate> update, std::optional<KBError>) {
        if (auto self = weak.lock()) {
            self->didGetUpdate(update);
        }
    });
}

void CWBetaController::applicationWillEnterForeground()
{
    checkForUpdate();
}

void CWBetaController::maybeGetUpdate(UpdateCompletion completion)
{
    auto self = shared_from_this();
    queue_->async([self, completion] {
        // With a token the controller checks; without one it never started.
        if (!self->betaToken_ || self->checksSuspended_ || self->retrying_) {
            return;
        }
        KBLog::debug("[Crashwatch:Beta] Loading beta update");
        self->loadUpdate(completion);
    });
}

std::optional<KBURLRequest> CWBetaController::betaUpdateRequest()
{
    auto builder = KBURLBuilder::URLWithBase(settings().betaEndpoint());
    builder.appendComponent("/spi/v2/platforms/");
    builder.appendComponent("linux");
    builder.appendComponent("/apps/");
    builder.appendComponent(KBMainBundle::bundleIdentifier().value_or(""));
    builder.appendComponent("/beta_update_check");
    builder.appendValue(KBApplicationBuildVersion(), "build_version");
    builder.appendValue(KBApplicationDisplayVersion(), "display_version");
    builder.appendValue(Kitbase::sharedSDK().instanceIdentifier(), "instance");
    builder.appendValue(nlohmann::json(KBInstallationSource()), "source");
    KBLog::debug("[Crashwatch:Beta] Beta Update-Check url string: '" + builder.URLString() + "'");
    KBURLRequest request;
    request.url = builder.URLString();
    request.cachePolicy = 1;
    request.timeoutInterval = 10.0;
    CWNetworkClient::setServiceHeaders(request, APIKey().value_or(""));
    request.setHeader("X-Crashwatch-Beta-Token", betaToken_.value_or(""));
    return request;
}

void CWBetaController::loadUpdate(UpdateCompletion completion)
{
    const auto request = betaUpdateRequest();
    if (!request || !networkClient_ || retrying_.exchange(true)) {
        return;
    }
    auto self = shared_from_this();
    networkClient_->startDataTaskWithRequest(*request, KBNetworkClient::kDefaultRetryLimit,
        [self, completion](
            std::optional<std::string> data, std::optional<KBHTTPURLResponse>, std::optional<KBError> error) {
            self->queue_->async([self, completion, data, error] {
                // Cleared whatever the outcome, so later checks of the process still run.
                self->retrying_ = false;
                if (error || !data || data->empty()) {
                    KBLog::debug("[Crashwatch:Beta] Failed to load update '"
                        + (error ? error->description() : std::string("(null)")) + "'");
                    return;
                }
                KBLog::debug("[Crashwatch:Beta] Beta update loaded");
                self->temporarilySuspendChecks();
                const auto parsed = nlohmann::json::parse(*data, nullptr, false);
                std::optional<KBError> failure;
                std::shared_ptr<CWBetaUpdate> update;
                if (parsed.is_discarded()) {
                    failure = KBError{"NSCocoaErrorDomain", 3840, nlohmann::json::object()};
                    KBLog::debug("[Crashwatch:Beta] Unable to deserialize beta update data: " + failure->description());
                } else {
                    update = CWBetaUpdate::betaUpdateWithDictionary(parsed, &failure);
                    if (!update) {
                        KBLog::debug("[Crashwatch:Beta] Unable to read beta update data: " + failure->description());
                    }
                }
                completion(update, failure);
            });
        });
}

void CWBetaController::temporarilySuspendChecks()
{
    const double duration = settings().betaSuspendDuration();
    std::weak_ptr<CWBetaController> weak = weak_from_this();
    KBMainQueue::shared()->async([weak, duration] {
        auto self = weak.lock();
        if (!self || duration <= 0.0) {
            return;
        }
        self->checksSuspended_ = true;
        KBClock::shared()->after(duration, KBMainQueue::shared(), [weak] {
            if (auto later = weak.lock()) {
                later->checksSuspended_ = false;
            }
        });
    });
}

void CWBetaController::didGetUpdate(const std::shared_ptr<CWBetaUpdate>& update)
{
    if (!update || update->url().empty()) {
        KBLog::debug("[Crashwatch:Beta] Beta update url is invalid");
        return;
    }
    std::weak_ptr<CWBetaController> weak = weak_from_this();
    KBMainQueue::shared()->async([weak, update] {
        if (auto self = weak.lock()) {
            std::lock_guard lock(self->mutex_);
            self->activeUpdate_ = update;
        }
    });
}

std::shared_ptr<CWBetaUpdate> CWBetaController::activeUpdate() const
{
    std::lock_guard lock(mutex_);
    return activeUpdate_;
}

bool CWBetaController::checksSuspended() const
{
    return checksSuspended_;
}

const std::optional<std::string>& CWBetaController::betaToken() const
{
    return betaToken_;
}
