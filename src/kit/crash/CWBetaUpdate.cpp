#include "kit/crash/CWBetaUpdate.h"

#include "kit/core/KBApplicationFacts.h"

std::shared_ptr<CWBetaUpdate> CWBetaUpdate::betaUpdateWithDictionary(
    const nlohmann::json& dictionary, std::optional<KBError>* error)
{
    const auto url = dictionary.is_object() ? dictionary.find("url") : dictionary.end();
    if (!dictionary.is_object() || url == dictionary.end() || !url->is_string() || url->get<std::string>().empty()) {
        if (error != nullptr) {
            *error = KBError{"NSURLErrorDomain", kInvalidUpdateError, nlohmann::json::object()};
        }
        return nullptr;
    }
    auto update = std::make_shared<CWBetaUpdate>();
    update->url_ = url->get<std::string>();
    const auto version = dictionary.find("version_string");
    if (version != dictionary.end() && version->is_string()) {
        update->version_ = version->get<std::string>();
    }
    return update;
}

std::string CWBetaUpdate::promptTitle() const
{
    return "New Build Available";
}

std::string CWBetaUpdate::promptMessage() const
{
    return "A new version of " + KBApplicationName().value_or("(null)") + " is available for testing.";
}

std::string CWBetaUpdate::cancelLabel() const
{
    return "Cancel";
}

std::string CWBetaUpdate::installLabel() const
{
    return "Install";
}
