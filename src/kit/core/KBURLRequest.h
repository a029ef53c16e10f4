#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Header fields in the order they were set; names compare without case.
class KBHTTPHeaders {
public:
    std::optional<std::string> value(const std::string& name) const;
    // Replaces the field's value (or adds the field).
    void set(const std::string& name, const std::string& value);
    // Appends to a field of the same name ("a,b"), or adds the field.
    void add(const std::string& name, const std::string& value);
    void remove(const std::string& name);
    const std::vector<std::pair<std::string, std::string>>& fields() const;

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

// An HTTP request of the kit.
struct KBURLRequest {
    std::string url;
    std::string method = "GET";
    KBHTTPHeaders headers;
    std::string body;
    // Seconds without progress before the request fails with a time-out.
    double timeoutInterval = 60.0;
    // 1: reload, ignoring any local cache (the kit's requests never use one).
    int cachePolicy = 0;

    std::optional<std::string> header(const std::string& name) const { return headers.value(name); }
    void setHeader(const std::string& name, const std::string& value) { headers.set(name, value); }
};

// An HTTP response: the final one after redirects.
struct KBHTTPURLResponse {
    std::string url;
    int statusCode = 0;
    KBHTTPHeaders headers;

    std::optional<std::string> header(const std::string& name) const { return headers.value(name); }
};

bool KBEqualsIgnoringCase(const std::string& a, const std::string& b);
