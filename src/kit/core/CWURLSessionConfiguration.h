#pragma once

#include "kit/core/KBURLRequest.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// How a session's requests are made. Linux has no system session facility,
// so the kit's own session always plays its part and there are no background
// configurations.
class CWURLSessionConfiguration {
public:
    static std::shared_ptr<CWURLSessionConfiguration> defaultSessionConfiguration();
    static std::shared_ptr<CWURLSessionConfiguration> ephemeralSessionConfiguration();
    static std::shared_ptr<CWURLSessionConfiguration> backgroundSessionConfigurationWithIdentifier(
        const std::string& identifier);
    static std::shared_ptr<CWURLSessionConfiguration> backgroundSessionConfiguration(const std::string& identifier);

    // A copy carries only the additional headers.
    std::shared_ptr<CWURLSessionConfiguration> copy() const;

    // Added to every request (to a field of the same name, not replacing it).
    KBHTTPHeaders HTTPAdditionalHeaders;
    uint64_t HTTPCookieAcceptPolicy = 0;
    // Total time a request may take, whatever its progress: a server that
    // sends a byte now and then must not hold a request for ever.
    double timeoutIntervalForResource = 600.0;
    // The most bytes of an answer's body a request takes; a longer answer
    // fails the request. The kit's answers (settings, checks, upload
    // receipts) are small.
    int64_t maximumResponseBytes = 1024 * 1024;
    // Trusted roots for the default trust handling; empty means the system's.
    std::string caFile;

    bool sessionSendsLaunchEvents() const { return false; }
    void setSessionSendsLaunchEvents(bool) { }
};
