#include "kit/core/KBNetworkOperation.h"

#include "kit/support/KBIdentifiers.h"

#include <cstdlib>

KBNetworkOperation::KBNetworkOperation(std::string apiKey)
    : apiKey_(std::move(apiKey))
{
}

KBURLRequest KBNetworkOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const std::string& url) const
{
    return mutableRequestWithDefaultHTTPHeadersForURL(url, 10.0);
}

KBURLRequest KBNetworkOperation::mutableRequestWithDefaultHTTPHeadersForURL(
    const std::string& url, double timeout) const
{
    KBURLRequest request;
    request.url = url;
    request.cachePolicy = 1;
    request.timeoutInterval = timeout;
    const std::string locale = localeIdentifier();
    request.setHeader("User-Agent", userAgentString());
    request.setHeader("Accept-Charset", "utf-8");
    request.setHeader("Accept-Language", locale);
    request.setHeader("Content-Language", locale);
    request.setHeader("X-Crashwatch-Developer-Token", kb::kDeveloperToken);
    request.setHeader("X-Crashwatch-API-Client-Id", kb::kCoreIdentifier);
    request.setHeader("X-Crashwatch-API-Client-Display-Version", kb::kCoreDisplayVersion);
    request.setHeader("X-Crashwatch-API-Client-Build-Version", kb::kCoreBuildVersion);
    request.setHeader("X-Crashwatch-API-Key", apiKey_);
    return request;
}

std::string KBNetworkOperation::userAgentString()
{
    return std::string(kb::kCoreIdentifier) + "/" + kb::kCoreDisplayVersion + " (" + kb::kCoreBuildVersion + ")";
}

std::string KBNetworkOperation::localeIdentifier()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || value[0] == '\0') {
            continue;
        }
        std::string locale(value);
        locale = locale.substr(0, locale.find_first_of(".@"));
        if (locale.empty() || locale == "C" || locale == "POSIX") {
            return "en_US_POSIX";
        }
        return locale;
    }
    return "en_US_POSIX";
}

const std::string& KBNetworkOperation::APIKey() const
{
    return apiKey_;
}
