#pragma once

#include <exiv2/exif.hpp>
#include <exiv2/iptc.hpp>
#include <exiv2/xmp_exiv2.hpp>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A collection of metadata values as likenesses: texts that are equal when
// the values are, each "key\x1f" and what is compared. They are written one
// after the other into one buffer: a file's hundreds of values (a maker note's
// members) take a few allocations instead of one or more each, which was most
// of comparing what a save wrote with what it meant to write.
class LikenessList {
public:
    // The value's text, as the library spells it.
    void addText(const Exiv2::Exifdatum& datum);
    void addText(const Exiv2::Iptcdatum& datum);
    // The value's type and bytes: equal bytes of one type make equal texts,
    // and come far cheaper than the text.
    void addBytes(const Exiv2::Exifdatum& datum);
    void addBytes(const Exiv2::Iptcdatum& datum);
    // An offset's likeness: the bytes it points to, which the library carries
    // with the value.
    void addPointedBytes(const Exiv2::Exifdatum& datum);
    // An XMP property's type and each item of an array or each language of an
    // alternative on its own, in order, so that neither the kind of array,
    // nor the order of its items, nor a language can change unseen.
    void addXmp(const Exiv2::Xmpdatum& datum);

    // The likenesses in order, as views into this list.
    std::vector<std::string_view> sorted() const;

private:
    template <typename Datum> void addKeyOf(const Datum& datum);
    template <typename Datum> void addTextOf(const Datum& datum);
    template <typename Datum> void addBytesOf(const Datum& datum);
    void addType(int typeId);
    void close();

    std::string buffer_;
    // Where each likeness starts in the buffer and how long it is.
    std::vector<std::pair<size_t, size_t>> spans_;
};
