#include "kit/core/KBOnboardingOperation.h"

#include "kit/core/KBApplicationFacts.h"
#include "kit/core/KBSettings.h"
#include "kit/core/KBURLBuilder.h"
#include "kit/support/KBLog.h"

namespace {

std::optional<nlohmann::json> textValue(const std::optional<std::string>& text)
{
    return text ? std::optional<nlohmann::json>(*text) : std::nullopt;
}

} // namespace

KBOnboardingOperation::KBOnboardingOperation(Parameters parameters)
    : KBNetworkOperation(parameters.apiKey)
    , parameters_(std::move(parameters))
{
}

void KBOnboardingOperation::encodeBody(KBMultipartMimeStreamEncoder& encoder) const
{
    const auto& model = parameters_.appIdentifierModel;
    encoder.addValue(textValue(KBEscapedBundleIdentifier()), "app[identifier]");
    encoder.addValue(
        textValue(model ? std::optional(model->instanceIdentifier()) : std::nullopt), "app[instance_identifier]");
    encoder.addValue(textValue(KBApplicationName()), "app[name]");
    encoder.addValue(textValue(KBApplicationBuildVersion()), "app[build_version]");
    encoder.addValue(textValue(KBApplicationDisplayVersion()), "app[display_version]");
    encoder.addValue(nlohmann::json(KBInstallationSource()), "app[source]");
    encoder.addValue(
        textValue(model ? std::optional(model->minimumSDKString()) : std::nullopt), "app[minimum_sdk_version]");
    encoder.addValue(
        textValue(model ? std::optional(model->builtSDKString()) : std::nullopt), "app[built_sdk_version]");
    for (const auto& [kit, version] : parameters_.kitVersionsByKitBundleIdentifier) {
        encoder.addValue(nlohmann::json(version), "app[build][libraries][" + kit + "]");
    }
    if (!model) {
        return;
    }
    for (const auto& [architecture, uuid] : model->architectureUUIDMap()) {
        encoder.addValue(nlohmann::json(architecture), "app[slices][][arch]");
        encoder.addValue(nlohmann::json(uuid), "app[slices][][uuid]");
    }
    const auto& icon = model->icon();
    if (icon && !icon->data().empty() && !icon->dataHash().empty()) {
        encoder.addValue(nlohmann::json(icon->dataHash()), "app[icon][hash]");
        encoder.addValue(nlohmann::json(icon->prerendered() ? "true" : "false"), "app[icon][prerendered]");
        encoder.addValue(
            nlohmann::json(std::to_string(static_cast<unsigned long>(icon->size().width))), "app[icon][width]");
        encoder.addValue(
            nlohmann::json(std::to_string(static_cast<unsigned long>(icon->size().height))), "app[icon][height]");
        encoder.addFileData(icon->data(), "icon.png", "image/png", "app[icon][data]");
    }
}

std::optional<std::string> KBOnboardingOperation::requestURL() const
{
    auto builder = KBURLBuilder::URLWithBase(parameters_.appEndpoint);
    builder.appendComponent("/spi/v1/platforms/");
    builder.escapeAndAppendComponent(KBSettings::appPlatform());
    builder.appendComponent("/apps");
    if (!parameters_.shouldCreate) {
        builder.appendComponent("/");
        builder.escapeAndAppendComponent(KBSettings::appBundleIdentifier().value_or(""));
    }
    return builder.URL();
}

void KBOnboardingOperation::main()
{
    auto stream = std::make_shared<KBMemoryOutputStream>();
    auto encoder
        = KBMultipartMimeStreamEncoder::encoderWithStream(stream, KBMultipartMimeStreamEncoder::generateBoundary());
    if (!encoder) {
        KBLog::info("[Kitbase] configure failed during onboarding");
        complete(KBError{kErrorDomain, 0, {{"NSLocalizedDescription", "Multipart mime encoder was nil"}}});
        return;
    }
    encoder->encode([&] { encodeBody(*encoder); });
    // A body the stream did not take whole is never sent.
    if (encoder->failed()) {
        KBLog::info("[Kitbase] configure failed during onboarding");
        complete(KBError{kErrorDomain, 0, {{"NSLocalizedDescription", "Multipart mime encoding failed"}}});
        return;
    }
    KBURLRequest request = mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(requestURL().value_or(""));
    request.method = parameters_.shouldCreate ? "POST" : "PUT";
    request.setHeader("Content-Type", encoder->contentTypeHTTPHeaderValue());
    request.setHeader("Content-Length", encoder->contentLengthHTTPHeaderValue());
    request.body = stream->data();
    auto client = parameters_.networkClient.lock();
    if (!client) {
        complete(KBError{"KBNetworkError", -3});
        return;
    }
    auto self = std::static_pointer_cast<KBOnboardingOperation>(shared_from_this());
    client->startDataTaskWithRequest(
        request, parameters_.shouldCreate ? 10 : 1, [self](auto, auto, auto error) { self->complete(error); });
}

void KBOnboardingOperation::complete(const std::optional<KBError>& error)
{
    error_ = error;
    if (parameters_.delegate != nullptr) {
        if (parameters_.shouldCreate) {
            parameters_.delegate->onboardingOperationDidCompleteAppCreationWithError(*this, error);
        } else {
            parameters_.delegate->onboardingOperationDidCompleteAppUpdateWithError(*this, error);
        }
    }
    finishWithError(error);
}

bool KBOnboardingOperation::shouldCreate() const
{
    return parameters_.shouldCreate;
}

std::optional<KBError> KBOnboardingOperation::error() const
{
    return error_;
}
