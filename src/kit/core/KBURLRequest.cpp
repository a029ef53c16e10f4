#include "kit/core/KBURLRequest.h"

#include <algorithm>
#include <cctype>

bool KBEqualsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<std::string> KBHTTPHeaders::value(const std::string& name) const
{
    for (const auto& [field, value] : fields_) {
        if (KBEqualsIgnoringCase(field, name)) {
            return value;
        }
    }
    return std::nullopt;
}

void KBHTTPHeaders::set(const std::string& name, const std::string& value)
{
    for (auto& [field, existing] : fields_) {
        if (KBEqualsIgnoringCase(field, name)) {
            existing = value;
            return;
        }
    }
    fields_.emplace_back(name, value);
}

void KBHTTPHeaders::add(const std::string& name, const std::string& value)
{
    for (auto& [field, existing] : fields_) {
        if (KBEqualsIgnoringCase(field, name)) {
            existing += "," + value;
            return;
        }
    }
    fields_.emplace_back(name, value);
}

void KBHTTPHeaders::remove(const std::string& name)
{
    fields_.erase(std::remove_if(fields_.begin(), fields_.end(),
                      [&](const auto& field) { return KBEqualsIgnoringCase(field.first, name); }),
        fields_.end());
}

const std::vector<std::pair<std::string, std::string>>& KBHTTPHeaders::fields() const
{
    return fields_;
}
