#include "models/write/UnreadableXmpPacket.h"

#include "models/formats/ExivRuntime.h"
#include "models/formats/JpegSegments.h"
#include "models/formats/XmpNamespaceTable.h"

#include <exiv2/image.hpp>
#include <exiv2/jpgimage.hpp>

#include <algorithm>
#include <iterator>
#include <set>
#include <vector>

namespace {

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
        || c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
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

// Reads the packet tag by tag, as far as names and quoted values go, and
// collects the prefixes of the names its tags use. A tag that is anything
// else (a quote lost runs a value on into the next name, a value holding a
// "<") ends the reading with nothing: what the damage hides is not known.
class TagNames {
public:
    explicit TagNames(std::string_view packet)
        : packet_(packet)
    {
    }

    std::optional<std::set<std::string_view>> usedPrefixes()
    {
        for (at_ = packet_.find('<'); at_ != std::string_view::npos; at_ = packet_.find('<', at_)) {
            if (!skipMarkup() && !readTag()) {
                return std::nullopt;
            }
        }
        return prefixes_;
    }

private:
    // Passes a declaration, a comment, a processing instruction or a
    // character section; false when the tag at `at_` is none of them.
    bool skipMarkup()
    {
        static constexpr std::pair<std::string_view, std::string_view> kMarkup[]
            = {{"<?", "?>"}, {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<!", ">"}};
        for (const auto& [open, close] : kMarkup) {
            if (packet_.substr(at_, open.size()) == open) {
                const size_t end = packet_.find(close, at_ + open.size());
                at_ = end == std::string_view::npos ? packet_.size() : end + close.size();
                return true;
            }
        }
        return false;
    }

    bool readTag()
    {
        ++at_;
        if (at_ < packet_.size() && packet_[at_] == '/') {
            ++at_;
        }
        if (!readName(false)) {
            return false;
        }
        while (true) {
            const bool spaced = skipSpaces();
            if (at_ >= packet_.size()) {
                return false;
            }
            if (packet_[at_] == '>' || packet_.substr(at_, 2) == "/>") {
                return true;
            }
            // An attribute starts after a space, its value is quoted.
            if (!spaced || !readName(true) || !readValue()) {
                return false;
            }
        }
    }

    bool readName(bool attribute)
    {
        const size_t start = at_;
        while (at_ < packet_.size() && (isNameCharacter(packet_[at_]) || packet_[at_] == ':')) {
            ++at_;
        }
        const std::string_view name = packet_.substr(start, at_ - start);
        if (name.empty() || name.front() == ':' || name.back() == ':') {
            return false;
        }
        const size_t colon = name.find(':');
        if (colon == std::string_view::npos) {
            return true;
        }
        const std::string_view prefix = name.substr(0, colon);
        // The prefix "xml" is bound by XML itself; "xmlns" declares.
        if (prefix != "xml" && !(attribute && prefix == "xmlns")) {
            prefixes_.insert(prefix);
        }
        return true;
    }

    bool readValue()
    {
        skipSpaces();
        if (at_ >= packet_.size() || packet_[at_] != '=') {
            return false;
        }
        ++at_;
        skipSpaces();
        if (at_ >= packet_.size() || (packet_[at_] != '"' && packet_[at_] != '\'')) {
            return false;
        }
        const size_t end = packet_.find(packet_[at_], at_ + 1);
        if (end == std::string_view::npos || packet_.substr(at_, end - at_).find('<') != std::string_view::npos) {
            return false;
        }
        at_ = end + 1;
        return true;
    }

    bool skipSpaces()
    {
        const size_t start = at_;
        while (at_ < packet_.size() && isSpace(packet_[at_])) {
            ++at_;
        }
        return at_ > start;
    }

    std::string_view packet_;
    size_t at_ = 0;
    std::set<std::string_view> prefixes_;
};

const QByteArray kExifSignature("Exif\0\0", 6);
const QByteArray kExtendedXmpSignature("http://ns.adobe.com/xmp/extension/\0", 35);

// The APP1 segments that are no EXIF and no XMP by their signature, yet
// hold an XMP packet by their content, in file order.
std::vector<JpegSegments::Segment> damagedSignatureSegments(const QByteArray& bytes)
{
    std::vector<JpegSegments::Segment> found;
    const auto header = JpegSegments::header(bytes);
    if (!header) {
        return found;
    }
    for (const JpegSegments::Segment& segment : header->segments) {
        if (segment.marker != 0xE1 || JpegSegments::isXmp(bytes, segment)) {
            continue;
        }
        const QByteArrayView data = QByteArrayView(bytes).sliced(segment.dataOffset(), segment.dataSize());
        if (data.startsWith(kExifSignature) || data.startsWith(kExtendedXmpSignature)) {
            continue;
        }
        for (const char* packetMark : {"xmpmeta", "xapmeta", "rdf:RDF"}) {
            if (data.contains(packetMark)) {
                found.push_back(segment);
                break;
            }
        }
    }
    return found;
}

// Whether the segment's data is an XMP packet whole: its wrapper opens
// where a signature as long as XMP's ends (no markup before it) and closes
// further on. Only then is it XMP for certain; a segment that merely
// mentions XMP's names may be another program's.
bool isWholePacket(QByteArrayView data)
{
    // The XMP signature is 29 bytes; damage may have added a few.
    constexpr qsizetype kLongestSignature = 64;
    static const std::pair<QByteArrayView, QByteArrayView> kWrappers[] = {
        {"<?xpacket begin=", "<?xpacket end="},
        {"<x:xmpmeta", "</x:xmpmeta>"},
        {"<x:xapmeta", "</x:xapmeta>"},
    };
    const qsizetype markup = data.indexOf('<');
    if (markup < 0 || markup > kLongestSignature) {
        return false;
    }
    const QByteArrayView packet = data.sliced(markup);
    return std::any_of(std::begin(kWrappers), std::end(kWrappers), [packet](const auto& wrapper) {
        return packet.startsWith(wrapper.first) && packet.indexOf(wrapper.second) > 0;
    });
}

} // namespace

bool UnreadableXmpPacket::mayHold(std::string_view packet, std::string_view uri, std::string_view name)
{
    const auto declared = ExivRuntime::declaredXmpNamespaces(packet);
    const auto used = TagNames(packet).usedPrefixes();
    if (!declared || !used) {
        return true;
    }
    // A prefix used and not declared had its declaration hidden by the
    // damage; that declaration may be the namespace asked for.
    for (const std::string_view prefix : *used) {
        const bool isDeclared = std::any_of(declared->begin(), declared->end(),
            [prefix](const XmpNamespaceTable::Declaration& d) { return d.prefix == prefix; });
        if (!isDeclared) {
            return true;
        }
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

std::optional<std::string> UnreadableXmpPacket::of(const Exiv2::Image& image, const QByteArray& fileBytes)
{
    // The image's properties are asked first: a packet that gave some read.
    if (!image.xmpData().empty()) {
        return std::nullopt;
    }
    if (!image.xmpPacket().empty()) {
        if (ExivRuntime::xmpPacketDecodes(image.xmpPacket())) {
            return std::nullopt;
        }
        return image.xmpPacket();
    }
    if (image.imageType() != Exiv2::ImageType::jpeg) {
        return std::nullopt;
    }
    const auto segments = damagedSignatureSegments(fileBytes);
    if (segments.empty()) {
        return std::nullopt;
    }
    return fileBytes.mid(segments.front().dataOffset(), segments.front().dataSize()).toStdString();
}

UnreadableXmpPacket::Cleared UnreadableXmpPacket::withoutDamagedSignatureSegments(const QByteArray& jpeg)
{
    Cleared cleared;
    qsizetype copied = 0;
    for (const JpegSegments::Segment& segment : damagedSignatureSegments(jpeg)) {
        if (!isWholePacket(QByteArrayView(jpeg).sliced(segment.dataOffset(), segment.dataSize()))) {
            cleared.keptSegment = true;
            continue;
        }
        cleared.bytes.append(QByteArrayView(jpeg).sliced(copied, segment.offset - copied));
        copied = segment.offset + segment.size;
    }
    if (copied == 0) {
        cleared.bytes = jpeg;
    } else {
        cleared.bytes.append(QByteArrayView(jpeg).sliced(copied));
    }
    return cleared;
}
