#pragma once

#include "kit/core/KBURLRequest.h"
#include "kit/support/KBClock.h"

#include <cstdint>
#include <optional>
#include <string>

// The one back-off of the kit's uploaders (crash reports and analytics
// batches): the first retry waits kFirstDelay, each later one twice the one
// before, at most kMaximumDelay, and never less than the server asked for in
// "Retry-After" (seconds or an HTTP date). A failing service is then neither
// called in a tight loop nor called sooner than it said it could answer.
class KBRetryBackoff {
public:
    static constexpr double kFirstDelay = 2.0;
    static constexpr double kMaximumDelay = 3600.0;

    // The wait, in seconds from now, that the response's "Retry-After" asks
    // for: a non-negative number of seconds, or an HTTP date read against the
    // kit clock's calendar time (0 for a date already past). Nothing when the
    // header is absent or unreadable.
    static std::optional<double> requestedDelay(const std::optional<KBHTTPURLResponse>& response);
    // The same, with a date read against `calendar` (the clock that will wait).
    static std::optional<double> requestedDelay(
        const std::optional<KBHTTPURLResponse>& response, const KBClock& calendar);

    // The wait before the next try after `earlierRetries` retries of the same
    // item: the doubled delay times `jitter` (a factor near 1 that spreads
    // clients that failed together), capped, then raised to what was asked.
    static double delay(std::optional<double> requested, uint64_t earlierRetries, double jitter = 1.0);
    static double delayForResponse(
        const std::optional<KBHTTPURLResponse>& response, uint64_t earlierRetries, double jitter = 1.0);

    // An HTTP date in any of the three forms a server may send ("Sun, 06 Nov
    // 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6
    // 08:49:37 1994"), as seconds since 1970; the names are English whatever
    // the process's locale.
    static std::optional<double> secondsSince1970ForHTTPDate(const std::string& text);
};
