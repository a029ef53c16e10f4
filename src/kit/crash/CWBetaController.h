#pragma once

#include "kit/core/KBNetworkClient.h"
#include "kit/crash/CWBetaUpdate.h"
#include "kit/crash/CWSettings.h"
#include "kit/support/KBNotificationCenter.h"
#include "kit/support/KBSerialQueue.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class CWBetaController;

class CWBetaControllerDelegate {
public:
    virtual ~CWBetaControllerDelegate() = default;
    virtual CWSettings settingsForBetaController(CWBetaController& controller) = 0;
    virtual std::optional<std::string> APIKeyForBetaController(CWBetaController& controller) = 0;
};

// Asks the service whether a newer test build exists, once the kit's settings
// arrive and when the application comes forward, and keeps the answer. It
// works only with a beta token, which this platform's builds never carry.
class CWBetaController : public std::enable_shared_from_this<CWBetaController> {
public:
    using UpdateCompletion = std::function<void(std::shared_ptr<CWBetaUpdate>, std::optional<KBError>)>;

    static bool isBetaSupported();
    static std::shared_ptr<CWBetaController> make(CWBetaControllerDelegate* delegate,
        std::optional<std::string> betaToken, std::optional<std::vector<KBCertificate>> pinned = std::nullopt);
    ~CWBetaController();

    // The owner clears the delegate before it goes. Returns once no call into
    // the old delegate is under way; none starts afterwards, also from answers
    // still on their way.
    void setDelegate(CWBetaControllerDelegate* delegate);

    bool start();
    void checkForUpdate();
    void maybeGetUpdate(UpdateCompletion completion);
    void applicationWillEnterForeground();
    std::optional<KBURLRequest> betaUpdateRequest();
    std::shared_ptr<CWBetaUpdate> activeUpdate() const;
    bool checksSuspended() const;
    const std::optional<std::string>& betaToken() const;

private:
    CWBetaController(CWBetaControllerDelegate* delegate, std::optional<std::string> betaToken);
    void loadUpdate(UpdateCompletion completion);
    void temporarilySuspendChecks();
    void didGetUpdate(const std::shared_ptr<CWBetaUpdate>& update);
    // The delegate's answers, asked under delegateMutex_ (defaults without one).
    CWSettings settings();
    std::optional<std::string> APIKey();

    // Held across every call into the delegate, so that clearing it waits
    // for a call under way.
    std::mutex delegateMutex_;
    CWBetaControllerDelegate* delegate_;
    std::optional<std::string> betaToken_;
    std::shared_ptr<KBNetworkClient> networkClient_;
    std::shared_ptr<KBSerialQueue> queue_;
    std::atomic<bool> checksSuspended_{false};
    std::atomic<bool> retrying_{false};
    mutable std::mutex mutex_;
    std::shared_ptr<CWBetaUpdate> activeUpdate_;
    std::optional<KBNotificationCenter::Token> observer_;
};
