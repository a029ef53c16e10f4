#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// What the XMP toolkit's one table of namespaces holds, as far as the decodes
// we watched tell. The toolkit's parse writes every declaration it meets into
// the table, both ways (prefix to URI, URI to prefix), over whatever was
// there: a packet that spells a namespace's URI wrongly under a common prefix
// takes that prefix away from the right URI until the next packet declaring
// it puts it back. A decode beside such a write reads a half-changed table
// ("Schema namespace URI and prefix mismatch") and loses the photo's XMP, so
// only a packet whose every declaration the table already holds both ways,
// whose parse then writes nothing new, may be decoded beside others.
class XmpNamespaceTable {
public:
    // A declaration as the parse registers it: the default namespace under
    // the toolkit's own prefix for it.
    struct Declaration {
        std::string_view prefix;
        std::string_view uri;
        bool operator==(const Declaration&) const = default;
    };

    explicit XmpNamespaceTable(size_t mostEntries);

    // The URI the toolkit registers for a declared one: it reads the Dublin
    // Core's old URI as its current one.
    static std::string_view registeredUri(std::string_view declared);

    // Whether the table holds each declaration both ways.
    bool holdsAll(const std::vector<Declaration>& declarations) const;

    // A decode parsed every one of the declarations.
    void noteRegistered(const std::vector<Declaration>& declarations);
    // A decode may have written the declarations, or not (a parse that stopped
    // part way): what the table held for their prefixes and URIs is unknown.
    void forget(const std::vector<Declaration>& declarations);
    // The table may have changed in any way (the library registered its own
    // namespaces, or a packet's declarations could not be told).
    void clear();

private:
    void forgetOne(const Declaration& declaration);

    size_t mostEntries_;
    std::unordered_map<std::string, std::string> uriOfPrefix_;
    std::unordered_map<std::string, std::string> prefixOfUri_;
};
