#pragma once

#include "kit/core/KBError.h"
#include "kit/core/KBURLRequest.h"

#include <functional>
#include <optional>
#include <string>

// Turns a finished request into success, failure or "retry".
class KBNetworkResponseHandler {
public:
    enum ResponseType { Success = 0, Error = 1, ClientError = 2, Retry = 3, Throttled = 4 };
    static constexpr const char* kErrorDomain = "KBNetworkError";

    static std::optional<std::string> headerForResponse(
        const std::optional<KBHTTPURLResponse>& response, const std::string& key);
    // Retry-After in seconds; 2.0 when absent or negative.
    static double retryValueForResponse(const std::optional<KBHTTPURLResponse>& response);
    static std::optional<std::string> requestIdForResponse(const std::optional<KBHTTPURLResponse>& response);
    static bool contentTypeForResponse(const std::optional<KBHTTPURLResponse>& response, const KBURLRequest& request);
    static ResponseType clientResponseType(const std::optional<KBHTTPURLResponse>& response);
    static std::optional<KBError> errorForResponse(
        const std::optional<KBHTTPURLResponse>& response, ResponseType type, int status);
    static KBError errorForCode(int64_t code, nlohmann::json userInfo = nlohmann::json::object());
    // The block gets (retry, error or nothing).
    static void handleCompletedResponse(const std::optional<KBHTTPURLResponse>& response, const KBURLRequest& request,
        const std::optional<KBError>& error, const std::function<void(bool, const std::optional<KBError>&)>& block);
};
