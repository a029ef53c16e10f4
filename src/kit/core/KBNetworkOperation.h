#pragma once

#include "kit/core/KBAsyncOperation.h"
#include "kit/core/KBURLRequest.h"

#include <string>

// A network operation of the kit: prepares requests with the kit's standard
// headers and its API key.
class KBNetworkOperation : public KBAsyncOperation {
public:
    explicit KBNetworkOperation(std::string apiKey);

    virtual KBURLRequest mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const std::string& url) const;
    KBURLRequest mutableRequestWithDefaultHTTPHeadersForURL(const std::string& url, double timeout) const;
    static std::string userAgentString();
    // The current locale from LC_ALL, LC_MESSAGES or LANG without its
    // encoding ("de_DE"); "C", "POSIX" or none give "en_US_POSIX".
    static std::string localeIdentifier();
    const std::string& APIKey() const;

private:
    std::string apiKey_;
};
