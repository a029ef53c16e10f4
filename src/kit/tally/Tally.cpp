#include "kit/tally/Tally.h"

#include "kit/core/Kitbase.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBLog.h"
#include "kit/tally/TYCrashEvent.h"
#include "kit/tally/TYCustomEvent.h"
#include "kit/tally/TYLogger.h"
#include "kit/tally/TYPredefinedEvent.h"

Tally& Tally::sharedInstance()
{
    static Tally* shared = new Tally();
    return *shared;
}

KBKitClass Tally::kitDescriptor()
{
    static const KBKitClass descriptor = [] {
        auto kit = std::make_shared<KBKitDescriptor>();
        kit->className = "Tally";
        kit->kit = KBKitDescriptor::KitProtocol{
            bundleIdentifier(), kitDisplayVersion(), kitBuildVersion(), [] { Tally::initializeIfNeeded(); }};
        return kit;
    }();
    return descriptor;
}

std::string Tally::bundleIdentifier()
{
    return std::string(kb::kVendorPrefix) + ".tally";
}

std::string Tally::kitDisplayVersion()
{
    return "1.3.4";
}

std::string Tally::kitBuildVersion()
{
    return "26";
}

void Tally::startWithBetaToken(const std::optional<std::string>& betaToken)
{
    sharedInstance().startWithBetaTokenOnce(betaToken);
}

void Tally::startWithBetaTokenOnce(const std::optional<std::string>& betaToken)
{
    std::call_once(started_, [this, &betaToken] {
        Kitbase& kitbase = kitbase_ ? kitbase_() : Kitbase::sharedSDK();
        configureLogging(kitbase);
        TYLogger::sharedLogger().log("Initialized");
        setTallyController(TYTallyController::make(betaToken, kitbase));
    });
}

void Tally::configureLogging(Kitbase& kitbase)
{
    TYLogger::sharedLogger().setDebugMode(kitbase.debug());
}

void Tally::initializeIfNeeded()
{
    Tally& tally = sharedInstance();
    std::shared_ptr<KBKitRegistry> registry;
    {
        std::lock_guard lock(tally.mutex_);
        registry = tally.registry_ ? tally.registry_ : KBKitRegistry::shared();
    }
    const KBKitClass crashKit = registry->classNamed("Crashwatch");
    if (crashKit && crashKit->kit && crashKit->kit->initializeIfNeeded) {
        crashKit->kit->initializeIfNeeded();
        return;
    }
    startWithBetaToken(std::nullopt);
}

std::shared_ptr<TYTallyController> Tally::tallyController() const
{
    std::lock_guard lock(mutex_);
    return tallyController_;
}

void Tally::setTallyController(std::shared_ptr<TYTallyController> controller)
{
    std::lock_guard lock(mutex_);
    tallyController_ = std::move(controller);
}

void Tally::setKitbaseProvider(std::function<Kitbase&()> provider)
{
    std::lock_guard lock(mutex_);
    kitbase_ = std::move(provider);
}

void Tally::setRegistry(std::shared_ptr<KBKitRegistry> registry)
{
    std::lock_guard lock(mutex_);
    registry_ = std::move(registry);
}

void Tally::log(const TYEventPtr& event)
{
    if (auto controller = sharedInstance().tallyController()) {
        controller->logEvent(event);
    }
}

void Tally::logPreviousSessionCrashedOnDate(std::optional<double> date)
{
    if (!date) {
        return;
    }
    if (auto controller = sharedInstance().tallyController()) {
        controller->logCrashEvent(std::make_shared<TYCrashEvent>(*date, 0));
    }
}

void Tally::logCustomEventWithName(const Text& name, const Json& customAttributes)
{
    // The service needs a name for every custom event.
    if (!name) {
        TYLogger::printAlways("[Tally] Custom event name is missing. Ignoring event");
        return;
    }
    log(std::make_shared<TYCustomEvent>(*name, customAttributes));
}

void Tally::logSignUpWithMethod(const Text& method, std::optional<bool> success, const Json& custom)
{
    log(TYPredefinedEvent::signUpEventWithMethod(method, success, custom));
}

void Tally::logLoginWithMethod(const Text& method, std::optional<bool> success, const Json& custom)
{
    log(TYPredefinedEvent::loginEventWithMethod(method, success, custom));
}

void Tally::logShareWithMethod(
    const Text& method, const Text& contentName, const Text& contentType, const Text& contentId, const Json& custom)
{
    log(TYPredefinedEvent::shareEventWithMethod(method, contentName, contentType, contentId, custom));
}

void Tally::logInviteWithMethod(const Text& method, const Json& custom)
{
    log(TYPredefinedEvent::inviteEventWithMethod(method, custom));
}

void Tally::logPurchaseWithPrice(const std::optional<TYDecimal>& price, const Text& currency,
    std::optional<bool> success, const Text& itemName, const Text& itemType, const Text& itemId, const Json& custom)
{
    log(TYPredefinedEvent::purchaseEventWithPrice(price, currency, success, itemName, itemType, itemId, custom));
}

void Tally::logLevelStart(const Text& levelName, const Json& custom)
{
    log(TYPredefinedEvent::levelStartEventWithLevelName(levelName, custom));
}

void Tally::logLevelEnd(const Text& levelName, const Json& score, std::optional<bool> success, const Json& custom)
{
    log(TYPredefinedEvent::levelEndEventWithLevelName(levelName, score, success, custom));
}

void Tally::logAddToCartWithPrice(const std::optional<TYDecimal>& price, const Text& currency, const Text& itemName,
    const Text& itemType, const Text& itemId, const Json& custom)
{
    log(TYPredefinedEvent::addToCartEventWithPrice(price, currency, itemName, itemType, itemId, custom));
}

void Tally::logStartCheckoutWithPrice(
    const std::optional<TYDecimal>& price, const Text& currency, const Json& itemCount, const Json& custom)
{
    log(TYPredefinedEvent::startCheckoutEventWithPrice(price, currency, itemCount, custom));
}

void Tally::logRating(
    const Json& rating, const Text& contentName, const Text& contentType, const Text& contentId, const Json& custom)
{
    log(TYPredefinedEvent::ratingEventWithRating(rating, contentName, contentType, contentId, custom));
}

void Tally::logContentViewWithName(
    const Text& contentName, const Text& contentType, const Text& contentId, const Json& custom)
{
    log(TYPredefinedEvent::contentViewEventWithName(contentName, contentType, contentId, custom));
}

void Tally::logSearchWithQuery(const Text& query, const Json& custom)
{
    log(TYPredefinedEvent::searchEventWithQuery(query, custom));
}
