#include "kit/core/KBDownloadAndSaveSettingsOperation.h"

#include "kit/core/KBApplicationFacts.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBLog.h"

#include <filesystem>

namespace {

KBError fileError(const std::string& text)
{
    return KBError{"NSCocoaErrorDomain", 512, {{"NSLocalizedDescription", text}}};
}

} // namespace

KBDownloadAndSaveSettingsOperation::KBDownloadAndSaveSettingsOperation(Parameters parameters)
    : KBNetworkOperation(parameters.apiKey)
    , parameters_(std::move(parameters))
{
    if (!KBShouldCollectDeviceIdentifiers()) {
        KBLog::debug("[Kitbase] Suppressing device identifier reporting");
        parameters_.advertisingToken.reset();
    }
}

KBURLRequest KBDownloadAndSaveSettingsOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(
    const std::string& url) const
{
    KBURLRequest request = KBNetworkOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(url);
    request.method = "GET";
    request.setHeader("Accept", "application/json");
    request.setHeader("X-Crashwatch-Installation-ID", parameters_.installIdentifier);
    request.setHeader("X-Crashwatch-Device-Model", KBHardwareModel().value_or(""));
    request.setHeader("X-Crashwatch-OS-Build-Version", KBOSBuildVersion().value_or(""));
    request.setHeader("X-Crashwatch-OS-Display-Version", KBOSDisplayVersion());
    request.setHeader("X-Crashwatch-API-Client-Version", kb::kCoreDisplayVersion);
    if (parameters_.advertisingToken && !parameters_.advertisingToken->empty()) {
        request.setHeader("X-Crashwatch-Advertising-Token", *parameters_.advertisingToken);
    }
    return request;
}

void KBDownloadAndSaveSettingsOperation::main()
{
    auto client = parameters_.networkClient.lock();
    if (!client) {
        complete(KBError{"KBNetworkError", -3});
        return;
    }
    const KBURLRequest request
        = mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(parameters_.settingsURL.value_or(""));
    auto self = std::static_pointer_cast<KBDownloadAndSaveSettingsOperation>(shared_from_this());
    client->startDownloadTaskWithRequest(request, 1, [self](auto file, auto, auto error) {
        if (error || !file) {
            self->complete(error ? error : KBError{"KBNetworkError", -3});
            return;
        }
        const auto saved
            = replaceSettingsFile(*file, self->parameters_.settingsDirectoryPath, self->parameters_.settingsFilePath);
        if (saved) {
            KBLog::info("[Kitbase] Unable to complete settings download " + saved->description());
        }
        self->complete(saved);
    });
}

std::optional<KBError> KBDownloadAndSaveSettingsOperation::replaceSettingsFile(
    const std::string& downloadedPath, const std::string& directoryPath, const std::string& filePath)
{
    std::error_code sizeError;
    const auto size = std::filesystem::file_size(downloadedPath, sizeError);
    if (sizeError || size > kMaximumSettingsBytes) {
        return fileError("the downloaded settings are missing or too large: " + downloadedPath);
    }
    const auto bytes = KBFiles::read(downloadedPath);
    if (!bytes) {
        return fileError("cannot read the downloaded settings " + downloadedPath);
    }
    // The cached settings are replaced only by settings: an answer that does
    // not parse to an object keeps the ones we have.
    const auto parsed = nlohmann::json::parse(*bytes, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        return fileError("the downloaded settings are not a JSON object");
    }
    std::string problem;
    if (!KBFiles::makeFolders(directoryPath, &problem) || !KBFiles::writeAtomically(filePath, *bytes, &problem)) {
        return fileError(problem);
    }
    // Only once the new file is in place do the folder's other entries go.
    std::error_code code;
    const std::filesystem::path kept(filePath);
    for (const auto& entry : std::filesystem::directory_iterator(directoryPath, code)) {
        if (entry.path() != kept) {
            std::error_code ignored;
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }
    return std::nullopt;
}

void KBDownloadAndSaveSettingsOperation::complete(const std::optional<KBError>& error)
{
    error_ = error;
    if (parameters_.delegate != nullptr) {
        parameters_.delegate->operationDidDownloadAndSaveSettingsWithError(*this, error);
    }
    finishWithError(error);
}

std::optional<KBError> KBDownloadAndSaveSettingsOperation::error() const
{
    return error_;
}

const std::optional<std::string>& KBDownloadAndSaveSettingsOperation::advertisingToken() const
{
    return parameters_.advertisingToken;
}
