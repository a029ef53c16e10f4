#include "models/write/UnreadableXmpPacket.h"

#include "models/formats/ExivRuntime.h"
#include "models/formats/XmpNamespaceTable.h"

namespace {

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
        || c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

// Whether `qualified` stands in the packet as a whole name (an element or
// an attribute), not as the start of a longer one.
bool namesWhole(std::string_view packet, std::string_view qualified)
{
    for (size_t at = packet.find(qualified); at != std::string_view::npos; at = packet.find(qualified, at + 1)) {
        const size_t end = at + qualified.size();
        const bool startsWhole = at == 0 || !isNameCharacter(packet[at - 1]);
        if (startsWhole && (end == packet.size() || !isNameCharacter(packet[end]))) {
            return true;
        }
    }
    return false;
}

} // namespace

bool UnreadableXmpPacket::mayHold(std::string_view packet, std::string_view uri, std::string_view name)
{
    const auto declared = ExivRuntime::declaredXmpNamespaces(packet);
    if (!declared) {
        return true;
    }
    for (const XmpNamespaceTable::Declaration& declaration : *declared) {
        if (XmpNamespaceTable::registeredUri(declaration.uri) != uri) {
            continue;
        }
        const std::string qualified = declaration.prefix.empty()
            ? std::string(name)
            : std::string(declaration.prefix) + ':' + std::string(name);
        if (namesWhole(packet, qualified)) {
            return true;
        }
    }
    return false;
}
