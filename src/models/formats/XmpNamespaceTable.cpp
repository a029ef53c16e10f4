#include "models/formats/XmpNamespaceTable.h"

namespace {

constexpr std::string_view kOldDublinCore = "http://purl.org/dc/1.1/";
constexpr std::string_view kDublinCore = "http://purl.org/dc/elements/1.1/";
// The toolkit's prefix for a default namespace.
constexpr std::string_view kDefaultPrefix = "_dflt_";

XmpNamespaceTable::Declaration asRegistered(const XmpNamespaceTable::Declaration& declaration)
{
    return {declaration.prefix.empty() ? kDefaultPrefix : declaration.prefix,
        XmpNamespaceTable::registeredUri(declaration.uri)};
}

bool holds(const std::unordered_map<std::string, std::string>& map, std::string_view key, std::string_view value)
{
    const auto found = map.find(std::string(key));
    return found != map.end() && found->second == value;
}

} // namespace

std::string_view XmpNamespaceTable::registeredUri(std::string_view declared)
{
    return declared == kOldDublinCore ? kDublinCore : declared;
}

XmpNamespaceTable::XmpNamespaceTable(size_t mostEntries)
    : mostEntries_(mostEntries)
{
}

bool XmpNamespaceTable::holdsAll(const std::vector<Declaration>& declarations) const
{
    for (const Declaration& declared : declarations) {
        const Declaration registered = asRegistered(declared);
        if (!holds(uriOfPrefix_, registered.prefix, registered.uri)
            || !holds(prefixOfUri_, registered.uri, registered.prefix)) {
            return false;
        }
    }
    return true;
}

void XmpNamespaceTable::noteRegistered(const std::vector<Declaration>& declarations)
{
    for (const Declaration& declared : declarations) {
        const Declaration registered = asRegistered(declared);
        // Past the bound a declaration is only forgotten: its reads then
        // hold the lock alone.
        if (uriOfPrefix_.size() >= mostEntries_ || prefixOfUri_.size() >= mostEntries_) {
            forgetOne(registered);
            continue;
        }
        // The toolkit overwrites both entries and leaves the others: an
        // entry pointing elsewhere no longer holds both ways.
        uriOfPrefix_[std::string(registered.prefix)] = std::string(registered.uri);
        prefixOfUri_[std::string(registered.uri)] = std::string(registered.prefix);
    }
}

void XmpNamespaceTable::forget(const std::vector<Declaration>& declarations)
{
    for (const Declaration& declared : declarations) {
        forgetOne(asRegistered(declared));
    }
}

void XmpNamespaceTable::forgetOne(const Declaration& registered)
{
    uriOfPrefix_.erase(std::string(registered.prefix));
    prefixOfUri_.erase(std::string(registered.uri));
}

void XmpNamespaceTable::clear()
{
    uriOfPrefix_.clear();
    prefixOfUri_.clear();
}
