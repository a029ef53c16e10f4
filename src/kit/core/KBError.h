#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

// An error as the kit reports it: a domain, a code and user information.
struct KBError {
    std::string domain;
    int64_t code = 0;
    nlohmann::json userInfo = nlohmann::json::object();

    std::string localizedDescription() const
    {
        if (userInfo.is_object() && userInfo.contains("NSLocalizedDescription")
            && userInfo["NSLocalizedDescription"].is_string()) {
            return userInfo["NSLocalizedDescription"].get<std::string>();
        }
        return "The operation couldn't be completed. (" + domain + " error " + std::to_string(code) + ".)";
    }
    std::string description() const
    {
        return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" + localizedDescription() + "\"";
    }
};

// Transport errors carry the URL error domain and its codes.
namespace kb {
inline constexpr const char* kURLErrorDomain = "NSURLErrorDomain";
inline constexpr int64_t kURLErrorCancelled = -999;
inline constexpr int64_t kURLErrorBadURL = -1000;
inline constexpr int64_t kURLErrorTimedOut = -1001;
inline constexpr int64_t kURLErrorUnsupportedURL = -1002;
inline constexpr int64_t kURLErrorCannotConnectToHost = -1004;
inline constexpr int64_t kURLErrorNetworkConnectionLost = -1005;
inline constexpr int64_t kURLErrorDataLengthExceedsMaximum = -1103;
inline constexpr int64_t kURLErrorServerCertificateUntrusted = -1202;
inline constexpr int64_t kURLErrorCannotWriteToFile = -3003;
inline constexpr int64_t kURLErrorUnknown = -1;
} // namespace kb
