#include "kit/core/KBNetworkResponseHandler.h"

#include <cstdlib>

std::optional<std::string> KBNetworkResponseHandler::headerForResponse(
    const std::optional<KBHTTPURLResponse>& response, const std::string& key)
{
    return response ? response->header(key) : std::nullopt;
}

double KBNetworkResponseHandler::retryValueForResponse(const std::optional<KBHTTPURLResponse>& response)
{
    const auto header = headerForResponse(response, "Retry-After");
    if (!header) {
        return 2.0;
    }
    const double seconds = std::strtod(header->c_str(), nullptr);
    return seconds < 0 ? 2.0 : seconds;
}

std::optional<std::string> KBNetworkResponseHandler::requestIdForResponse(
    const std::optional<KBHTTPURLResponse>& response)
{
    return headerForResponse(response, "X-Request-Id");
}

bool KBNetworkResponseHandler::contentTypeForResponse(
    const std::optional<KBHTTPURLResponse>& response, const KBURLRequest& request)
{
    const auto accept = request.header("Accept");
    if (!accept) {
        return true;
    }
    const auto contentType = headerForResponse(response, "Content-Type");
    if (!contentType) {
        return false;
    }
    const std::string separator = "; charset=";
    const auto at = contentType->find(separator);
    if (!KBEqualsIgnoringCase(contentType->substr(0, at), *accept)) {
        return false;
    }
    const auto charset = request.header("Accept-Charset");
    if (charset && at != std::string::npos) {
        return KBEqualsIgnoringCase(contentType->substr(at + separator.size()), *charset);
    }
    return true;
}

KBNetworkResponseHandler::ResponseType KBNetworkResponseHandler::clientResponseType(
    const std::optional<KBHTTPURLResponse>& response)
{
    if (!response || response->statusCode == 0) {
        return Error;
    }
    switch (response->statusCode) {
    // No request of the kit is conditional (none carries a validator, none
    // reads a cache), so a 304 confirms nothing: taken for a success it
    // would let an uploader delete a report no server ever accepted.
    case 200:
    case 201:
    case 202:
    case 204:
        return Success;
    case 400:
    case 401:
    case 403:
    case 404:
    case 406:
    case 410:
    case 411:
    case 413:
    case 419:
    case 422:
    case 431:
        return ClientError;
    case 420:
    case 429:
        return Throttled;
    case 408:
        return Retry;
    default:
        return response->statusCode >= 500 && response->statusCode <= 599 ? Retry : Error;
    }
}

KBError KBNetworkResponseHandler::errorForCode(int64_t code, nlohmann::json userInfo)
{
    return KBError{kErrorDomain, code, std::move(userInfo)};
}

std::optional<KBError> KBNetworkResponseHandler::errorForResponse(
    const std::optional<KBHTTPURLResponse>& response, ResponseType type, int status)
{
    int64_t code = 0;
    switch (type) {
    case Success:
        return std::nullopt;
    case Error:
        code = -4;
        break;
    case ClientError:
        code = -5;
        break;
    case Retry:
    case Throttled:
        code = -1;
        break;
    }
    return errorForCode(code,
        {{"type", static_cast<int>(type)}, {"status_code", status},
            {"request_id", requestIdForResponse(response).value_or("")},
            {"content_type", headerForResponse(response, "Content-Type").value_or("")}});
}

void KBNetworkResponseHandler::handleCompletedResponse(const std::optional<KBHTTPURLResponse>& response,
    const KBURLRequest& request, const std::optional<KBError>& error,
    const std::function<void(bool, const std::optional<KBError>&)>& block)
{
    if (error) {
        block(error->domain == kb::kURLErrorDomain && error->code == kb::kURLErrorTimedOut, error);
        return;
    }
    const ResponseType type = clientResponseType(response);
    const int status = response ? response->statusCode : 0;
    switch (type) {
    case Success:
        if (contentTypeForResponse(response, request)) {
            block(false, std::nullopt);
        } else {
            block(false, errorForResponse(response, Error, status));
        }
        return;
    case Error:
    case ClientError:
        block(false, errorForResponse(response, type, status));
        return;
    case Retry:
    case Throttled:
        block(true, errorForResponse(response, type, status));
        return;
    }
}
