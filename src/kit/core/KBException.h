#pragma once

#include <stdexcept>
#include <string>

// The exception that ends a start with a faulty configuration or kit list.
class KBException : public std::runtime_error {
public:
    explicit KBException(const std::string& reason)
        : std::runtime_error(reason)
    {
    }
    static const char* name() { return "KBException"; }
    std::string reason() const { return what(); }
};
