#pragma once

#include "kit/support/KBOperation.h"
#include "kit/tally/TYCrashMetadata.h"
#include "kit/tally/TYMetadata.h"

#include <memory>
#include <string>

// Swaps the stored metadata: takes the previous run's (for its crash event)
// and stores this run's with the current time as its start.
class TYRotateCrashMetadataOperation : public KBOperation {
public:
    TYRotateCrashMetadataOperation(std::string crashMetadataURL, std::shared_ptr<TYMetadata> currentMetadata);

    const std::shared_ptr<TYCrashMetadata>& crashMetadata() const;
    const std::string& crashMetadataURL() const;
    const std::shared_ptr<TYMetadata>& currentMetadata() const;
    const std::optional<nlohmann::ordered_json>& currentMetadataDictionary() const;

    void main() override;

private:
    std::string crashMetadataURL_;
    std::shared_ptr<TYMetadata> currentMetadata_;
    std::optional<nlohmann::ordered_json> currentMetadataDictionary_;
    std::shared_ptr<TYCrashMetadata> crashMetadata_;
};
