#pragma once

#include <string>
#include <string_view>

// A packet the library cannot decode (a phone's packet repeating a property)
// still holds properties other programs read. Which ones is told from its
// text alone: a property is there unless no declaration of its namespace
// is followed by its name.
class UnreadableXmpPacket {
public:
    // Whether `packet` may hold the property `name` of the namespace `uri`;
    // true when its declarations cannot be told.
    static bool mayHold(std::string_view packet, std::string_view uri, std::string_view name);
};
