#include "kit/core/KBURLBuilder.h"

#include <curl/curl.h>

#include <cstring>

KBURLBuilder KBURLBuilder::URLWithBase(const std::string& base)
{
    KBURLBuilder builder;
    builder.URLString_ = base;
    return builder;
}

void KBURLBuilder::appendComponent(const std::string& component)
{
    URLString_ += component;
}

void KBURLBuilder::escapeAndAppendComponent(const std::string& component)
{
    URLString_ += escapeString(component);
}

void KBURLBuilder::appendValue(const std::optional<nlohmann::json>& value, const std::string& name)
{
    if (!value || value->is_null()) {
        return;
    }
    URLString_ += queryParams_ == 0 ? "?" : "&";
    ++queryParams_;
    const std::string text = value->is_string() ? value->get<std::string>() : value->dump();
    URLString_ += name + "=" + escapeString(text);
}

std::optional<std::string> KBURLBuilder::URL() const
{
    CURLU* parsed = curl_url();
    const CURLUcode result = curl_url_set(parsed, CURLUPART_URL, URLString_.c_str(), 0);
    curl_url_cleanup(parsed);
    if (result != CURLUE_OK) {
        return std::nullopt;
    }
    return URLString_;
}

std::string KBURLBuilder::escapeString(const std::string& text)
{
    static const char* kept = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~:/?#[]@!$&'()*+,;=";
    static const char* digits = "0123456789ABCDEF";
    std::string escaped;
    for (const char c : text) {
        if (c != '\0' && std::strchr(kept, c) != nullptr) {
            escaped += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        escaped += '%';
        escaped += digits[byte >> 4];
        escaped += digits[byte & 0x0f];
    }
    return escaped;
}

const std::string& KBURLBuilder::URLString() const
{
    return URLString_;
}

uint64_t KBURLBuilder::queryParams() const
{
    return queryParams_;
}
