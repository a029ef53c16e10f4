#pragma once

#include <QByteArray>

#include <optional>
#include <string>
#include <string_view>

namespace Exiv2 {
class Image;
}

// A packet the library cannot decode (a phone's packet repeating a property)
// still holds properties other programs read. Which ones is told from its
// text alone: a property is there unless no declaration of its namespace
// is followed by its name. Damage that may hide a declaration (a quote
// lost, a misspelt "xmlns") leaves it untold.
class UnreadableXmpPacket {
public:
    // Whether `packet` may hold the property `name` of the namespace `uri`;
    // true when its declarations cannot be told: a tag that cannot be read
    // as names and quoted values, or a prefix used and not declared.
    static bool mayHold(std::string_view packet, std::string_view uri, std::string_view name);

    // The XMP of a file that other programs read and the library cannot:
    // the library's packet when it does not decode, or, when the library
    // found none, the data of a JPEG segment whose XMP signature is damaged
    // (readers that go by the content still read it). Nothing when the file's
    // XMP reads, or there is none. `fileBytes` are the file's bytes.
    static std::optional<std::string> of(const Exiv2::Image& image, const QByteArray& fileBytes);

    // A JPEG without the segments of `of` whose data is an XMP packet whole,
    // which a clear of all XMP takes; one that only mentions XMP's names is
    // not XMP for certain and stays, which `keptSegment` tells.
    struct Cleared {
        QByteArray bytes;
        bool keptSegment = false;
    };
    static Cleared withoutDamagedSignatureSegments(const QByteArray& jpeg);
};
