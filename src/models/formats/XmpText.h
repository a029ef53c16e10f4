#pragma once

#include <string>

namespace Exiv2 {
class Xmpdatum;
}

// The text of an XMP property read without the library's own spelling, which
// goes through a stream and was the most of turning a packet's properties
// into text.
class XmpText {
public:
    // The value of a property that is plain text (not a container of an
    // array or a structure), as the library holds it: the same text the
    // library's toString gives. Nothing for any other property.
    static const std::string* plainOf(const Exiv2::Xmpdatum& datum);
};
