#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

// Builds the kit's request URLs piece by piece.
class KBURLBuilder {
public:
    static KBURLBuilder URLWithBase(const std::string& base);

    void appendComponent(const std::string& component);
    void escapeAndAppendComponent(const std::string& component);
    // An absent value adds nothing; others add "?name=value" or "&name=value",
    // numbers in decimal.
    void appendValue(const std::optional<nlohmann::json>& value, const std::string& name);
    // The URL; nothing when the text is not a valid absolute URL.
    std::optional<std::string> URL() const;

    // Keeps the unreserved and reserved characters of URLs and escapes every
    // other byte of the UTF-8 text, "%" included.
    static std::string escapeString(const std::string& text);

    const std::string& URLString() const;
    uint64_t queryParams() const;

private:
    std::string URLString_;
    uint64_t queryParams_ = 0;
};
