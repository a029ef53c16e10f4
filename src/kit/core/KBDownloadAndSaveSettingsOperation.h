#pragma once

#include "kit/core/KBNetworkClient.h"
#include "kit/core/KBNetworkOperation.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class KBDownloadAndSaveSettingsOperation;

class KBDownloadAndSaveSettingsOperationDelegate {
public:
    virtual ~KBDownloadAndSaveSettingsOperationDelegate() = default;
    virtual void operationDidDownloadAndSaveSettingsWithError(
        KBDownloadAndSaveSettingsOperation& operation, const std::optional<KBError>& error)
        = 0;
};

// Downloads the settings and puts them in place as the cache file: the old
// file is replaced only by a complete new one.
class KBDownloadAndSaveSettingsOperation : public KBNetworkOperation {
public:
    struct Parameters {
        std::string apiKey;
        KBDownloadAndSaveSettingsOperationDelegate* delegate = nullptr;
        std::optional<std::string> settingsURL;
        std::string settingsDirectoryPath;
        std::string settingsFilePath;
        std::string installIdentifier;
        std::optional<std::string> advertisingToken;
        std::weak_ptr<KBNetworkClient> networkClient;
    };

    explicit KBDownloadAndSaveSettingsOperation(Parameters parameters);

    static constexpr uintmax_t kMaximumSettingsBytes = 1024 * 1024;

    KBURLRequest mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const std::string& url) const override;
    // Checks that the downloaded file holds a JSON object of at most
    // kMaximumSettingsBytes, copies it into the settings folder, flushes it,
    // renames it over the settings file and then removes the folder's other
    // entries. Nothing is lost on failure: the previous file stays.
    static std::optional<KBError> replaceSettingsFile(
        const std::string& downloadedPath, const std::string& directoryPath, const std::string& filePath);

    std::optional<KBError> error() const;
    const std::optional<std::string>& advertisingToken() const;

protected:
    void main() override;

private:
    void complete(const std::optional<KBError>& error);

    Parameters parameters_;
    std::optional<KBError> error_;
};
