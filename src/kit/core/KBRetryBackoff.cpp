#include "kit/core/KBRetryBackoff.h"

#include "kit/core/KBNetworkResponseHandler.h"
#include "kit/support/KBClock.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

std::vector<std::string> tokensOf(const std::string& text)
{
    std::vector<std::string> tokens;
    std::string token;
    for (const char character : text) {
        if (character == ' ' || character == ',' || character == '-' || character == '\t') {
            if (!token.empty()) {
                tokens.push_back(token);
            }
            token.clear();
        } else {
            token += character;
        }
    }
    if (!token.empty()) {
        tokens.push_back(token);
    }
    return tokens;
}

bool allDigits(const std::string& text)
{
    return !text.empty()
        && std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

std::optional<int> monthOf(const std::string& token)
{
    static const char* const names[]
        = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() != 3) {
        return std::nullopt;
    }
    std::string lower;
    for (const char c : token) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (int month = 0; month < 12; ++month) {
        if (lower == names[month]) {
            return month + 1;
        }
    }
    return std::nullopt;
}

// Days from 1970-01-01 to the date (proleptic Gregorian calendar).
int64_t daysSince1970(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

} // namespace

std::optional<double> KBRetryBackoff::secondsSince1970ForHTTPDate(const std::string& text)
{
    std::optional<int> day;
    std::optional<int> month;
    std::optional<int> year;
    std::optional<int> hour;
    int minute = 0;
    int second = 0;
    for (const std::string& token : tokensOf(text)) {
        if (token.find(':') != std::string::npos) {
            if (hour || token.size() != 8 || token[2] != ':' || token[5] != ':' || !allDigits(token.substr(0, 2))
                || !allDigits(token.substr(3, 2)) || !allDigits(token.substr(6, 2))) {
                return std::nullopt;
            }
            hour = std::stoi(token.substr(0, 2));
            minute = std::stoi(token.substr(3, 2));
            second = std::stoi(token.substr(6, 2));
        } else if (allDigits(token)) {
            if (token.size() > 4) {
                return std::nullopt;
            }
            const int value = std::stoi(token);
            if (token.size() <= 2 && !day) {
                day = value;
            } else if (!year && (token.size() == 4 || token.size() == 2)) {
                // Two-digit years: the RFC 850 form, read as the nearest century.
                year = token.size() == 4 ? value : (value < 70 ? 2000 + value : 1900 + value);
            } else {
                return std::nullopt;
            }
        } else if (const auto named = monthOf(token)) {
            if (month) {
                return std::nullopt;
            }
            month = named;
        }
        // Weekday names and the "GMT" zone carry nothing more.
    }
    if (!day || !month || !year || !hour || *hour > 23 || minute > 59 || second > 60 || *day < 1
        || *day > daysInMonth(*year, *month)) {
        return std::nullopt;
    }
    const int64_t days = daysSince1970(*year, *month, *day);
    return static_cast<double>(days * 86400 + *hour * 3600 + minute * 60 + second);
}

std::optional<double> KBRetryBackoff::requestedDelay(const std::optional<KBHTTPURLResponse>& response)
{
    return requestedDelay(response, *KBClock::shared());
}

std::optional<double> KBRetryBackoff::requestedDelay(
    const std::optional<KBHTTPURLResponse>& response, const KBClock& calendar)
{
    auto header = KBNetworkResponseHandler::headerForResponse(response, "Retry-After");
    if (!header) {
        return std::nullopt;
    }
    const auto first = header->find_first_not_of(" \t");
    const auto last = header->find_last_not_of(" \t");
    const std::string value = first == std::string::npos ? std::string() : header->substr(first, last - first + 1);
    if (!value.empty() && (std::isdigit(static_cast<unsigned char>(value[0])) || value[0] == '.')) {
        char* end = nullptr;
        const double seconds = std::strtod(value.c_str(), &end);
        if (end != nullptr && *end == '\0' && std::isfinite(seconds)) {
            return seconds;
        }
    }
    if (const auto then = secondsSince1970ForHTTPDate(value)) {
        return std::max(0.0, *then - calendar.wallSeconds());
    }
    return std::nullopt;
}

double KBRetryBackoff::delay(std::optional<double> requested, uint64_t earlierRetries, double jitter)
{
    const double doubled = kFirstDelay * std::ldexp(1.0, static_cast<int>(std::min<uint64_t>(earlierRetries, 30)));
    const double spread = std::min(kMaximumDelay, doubled * jitter);
    return std::max(spread, requested.value_or(0.0));
}

double KBRetryBackoff::delayForResponse(
    const std::optional<KBHTTPURLResponse>& response, uint64_t earlierRetries, double jitter)
{
    return delay(requestedDelay(response), earlierRetries, jitter);
}
