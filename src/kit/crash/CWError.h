#pragma once

#include <cstdint>
#include <map>
#include <string>

// An error the application records with a report: its domain, code and user
// information, kept in key order.
struct CWError {
    std::string domain;
    int64_t code = 0;
    std::map<std::string, std::string> userInfo;
};
