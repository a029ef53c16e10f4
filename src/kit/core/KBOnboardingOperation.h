#pragma once

#include "kit/core/KBApplicationIdentiferModel.h"
#include "kit/core/KBMultipartMimeStreamEncoder.h"
#include "kit/core/KBNetworkClient.h"
#include "kit/core/KBNetworkOperation.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

class KBOnboardingOperation;

class KBOnboardingOperationDelegate {
public:
    virtual ~KBOnboardingOperationDelegate() = default;
    virtual void onboardingOperationDidCompleteAppCreationWithError(
        KBOnboardingOperation& operation, const std::optional<KBError>& error)
        = 0;
    virtual void onboardingOperationDidCompleteAppUpdateWithError(
        KBOnboardingOperation& operation, const std::optional<KBError>& error)
        = 0;
};

// Registers the application with the service (create) or brings its record
// up to date (update), with a multipart body describing the build.
class KBOnboardingOperation : public KBNetworkOperation {
public:
    static constexpr const char* kErrorDomain = "KBSDKOnboardingErrorDomain";

    struct Parameters {
        bool shouldCreate = true;
        std::string apiKey;
        std::map<std::string, std::string> kitVersionsByKitBundleIdentifier;
        std::shared_ptr<KBApplicationIdentiferModel> appIdentifierModel;
        std::string appEndpoint;
        KBOnboardingOperationDelegate* delegate = nullptr;
        std::weak_ptr<KBNetworkClient> networkClient;
    };

    explicit KBOnboardingOperation(Parameters parameters);

    // Writes the body's parts in their fixed order.
    void encodeBody(KBMultipartMimeStreamEncoder& encoder) const;
    std::optional<std::string> requestURL() const;
    bool shouldCreate() const;
    std::optional<KBError> error() const;

protected:
    void main() override;

private:
    void complete(const std::optional<KBError>& error);

    Parameters parameters_;
    std::optional<KBError> error_;
};
