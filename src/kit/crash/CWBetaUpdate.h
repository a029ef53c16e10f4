#pragma once

#include "kit/core/KBError.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>

// A newer test build the service offers, with the texts of its prompt.
class CWBetaUpdate {
public:
    static constexpr int64_t kInvalidUpdateError = -1017;

    // Nothing, and the error, when the dictionary names no build to fetch.
    static std::shared_ptr<CWBetaUpdate> betaUpdateWithDictionary(
        const nlohmann::json& dictionary, std::optional<KBError>* error);

    const std::string& url() const { return url_; }
    const std::optional<std::string>& version() const { return version_; }
    std::string promptTitle() const;
    std::string promptMessage() const;
    std::string cancelLabel() const;
    std::string installLabel() const;

private:
    std::string url_;
    std::optional<std::string> version_;
};
