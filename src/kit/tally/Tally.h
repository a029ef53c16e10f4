#pragma once

#include "kit/core/KBKitRegistry.h"
#include "kit/tally/TYDecimal.h"
#include "kit/tally/TYTallyController.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class Kitbase;

// The analytics kit's entry: starts once per process and takes the caller's
// events. An event logged before the start is dropped.
class Tally {
public:
    using Text = std::optional<std::string>;
    using Json = nlohmann::ordered_json;

    static Tally& sharedInstance();
    // The kit as the registry knows it ("Tally").
    static KBKitClass kitDescriptor();
    static std::string bundleIdentifier();
    static std::string kitDisplayVersion();
    static std::string kitBuildVersion();

    static void startWithBetaToken(const std::optional<std::string>& betaToken);
    // Lets the crash kit start first (it starts this one with its token);
    // without it, starts here with no token.
    static void initializeIfNeeded();
    // Seconds since 1970; nothing does nothing.
    static void logPreviousSessionCrashedOnDate(std::optional<double> date);
    static void logCustomEventWithName(const Text& name, const Json& customAttributes);
    static void logSignUpWithMethod(const Text& method, std::optional<bool> success, const Json& customAttributes);
    static void logLoginWithMethod(const Text& method, std::optional<bool> success, const Json& customAttributes);
    static void logShareWithMethod(const Text& method, const Text& contentName, const Text& contentType,
        const Text& contentId, const Json& customAttributes);
    static void logInviteWithMethod(const Text& method, const Json& customAttributes);
    static void logPurchaseWithPrice(const std::optional<TYDecimal>& price, const Text& currency,
        std::optional<bool> success, const Text& itemName, const Text& itemType, const Text& itemId,
        const Json& customAttributes);
    static void logLevelStart(const Text& levelName, const Json& customAttributes);
    static void logLevelEnd(
        const Text& levelName, const Json& score, std::optional<bool> success, const Json& customAttributes);
    static void logAddToCartWithPrice(const std::optional<TYDecimal>& price, const Text& currency, const Text& itemName,
        const Text& itemType, const Text& itemId, const Json& customAttributes);
    static void logStartCheckoutWithPrice(const std::optional<TYDecimal>& price, const Text& currency,
        const Json& itemCount, const Json& customAttributes);
    static void logRating(const Json& rating, const Text& contentName, const Text& contentType, const Text& contentId,
        const Json& customAttributes);
    static void logContentViewWithName(
        const Text& contentName, const Text& contentType, const Text& contentId, const Json& customAttributes);
    static void logSearchWithQuery(const Text& query, const Json& customAttributes);

    // The body runs on the first call only.
    void startWithBetaTokenOnce(const std::optional<std::string>& betaToken);
    std::shared_ptr<TYTallyController> tallyController() const;
    void setTallyController(std::shared_ptr<TYTallyController> controller);
    // Where the kit core comes from (the process's Kitbase unless a test
    // gives its own) and the registry asked for the crash kit.
    void setKitbaseProvider(std::function<Kitbase&()> provider);
    void setRegistry(std::shared_ptr<KBKitRegistry> registry);

private:
    Tally() = default;
    void configureLogging(Kitbase& kitbase);
    static void log(const TYEventPtr& event);

    mutable std::mutex mutex_;
    std::once_flag started_;
    std::shared_ptr<TYTallyController> tallyController_;
    std::function<Kitbase&()> kitbase_;
    std::shared_ptr<KBKitRegistry> registry_;
};
