#include "models/write/LikenessList.h"

#include "foundation/BoundedMemo.h"
#include "models/formats/XmpText.h"

#include <exiv2/value.hpp>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <memory>

namespace {

// The library spells a key anew at every call (its text does not fit in a
// short string's own room). An EXIF key follows from the tag's number and its
// directory, an IPTC key from the dataset's number and its record: each
// thread keeps the keys it has spelled.
uint64_t keyId(const Exiv2::Exifdatum& datum)
{
    return (uint64_t(uint32_t(datum.ifdId())) << 16) | datum.tag();
}

uint64_t keyId(const Exiv2::Iptcdatum& datum)
{
    return (uint64_t(1) << 48) | (uint64_t(datum.record()) << 16) | datum.tag();
}

} // namespace

template <typename Datum> void LikenessList::addKeyOf(const Datum& datum)
{
    thread_local BoundedMemo<uint64_t, std::string> keys(20000);
    buffer_ += keys.get(keyId(datum), [&datum] { return datum.key(); });
    buffer_ += '\x1f';
}

void LikenessList::addType(int typeId)
{
    char digits[16];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), typeId).ptr;
    buffer_.append(digits, size_t(end - digits));
    buffer_ += '\x1f';
}

void LikenessList::close()
{
    const size_t start = spans_.empty() ? 0 : spans_.back().first + spans_.back().second;
    spans_.emplace_back(start, buffer_.size() - start);
}

template <typename Datum> void LikenessList::addTextOf(const Datum& datum)
{
    addKeyOf(datum);
    buffer_ += datum.toString();
    close();
}

void LikenessList::addText(const Exiv2::Exifdatum& datum)
{
    addTextOf(datum);
}

void LikenessList::addText(const Exiv2::Iptcdatum& datum)
{
    addTextOf(datum);
}

template <typename Datum> void LikenessList::addBytesOf(const Datum& datum)
{
    addKeyOf(datum);
    addType(int(datum.typeId()));
    const size_t at = buffer_.size();
    buffer_.resize(at + size_t(std::max(0L, datum.size())));
    if (buffer_.size() > at) {
        datum.copy(reinterpret_cast<Exiv2::byte*>(&buffer_[at]), Exiv2::littleEndian);
    }
    close();
}

void LikenessList::addBytes(const Exiv2::Exifdatum& datum)
{
    addBytesOf(datum);
}

void LikenessList::addBytes(const Exiv2::Iptcdatum& datum)
{
    addBytesOf(datum);
}

void LikenessList::addPointedBytes(const Exiv2::Exifdatum& datum)
{
    addKeyOf(datum);
    const Exiv2::DataBuf data = datum.dataArea();
    buffer_ += '@';
    buffer_.append(reinterpret_cast<const char*>(data.pData_), size_t(std::max(0L, data.size_)));
    close();
}

void LikenessList::addXmp(const Exiv2::Xmpdatum& datum)
{
    // The key as the library spells it ("Xmp.prefix.property"), from the
    // pieces it keeps.
    buffer_ += "Xmp.";
    buffer_ += datum.groupName();
    buffer_ += '.';
    buffer_ += datum.tagName();
    buffer_ += '\x1f';
    addType(int(datum.typeId()));
    if (const std::string* plain = XmpText::plainOf(datum)) {
        buffer_ += *plain;
        close();
        return;
    }
    const std::unique_ptr<Exiv2::Value> value(datum.getValue().release());
    if (!value) {
        close();
        return;
    }
    if (value->typeId() == Exiv2::langAlt) {
        for (const auto& [language, entry] : static_cast<const Exiv2::LangAltValue&>(*value).value_) {
            buffer_ += language;
            buffer_ += '\x1e';
            buffer_ += entry;
            buffer_ += '\x1e';
        }
    } else if (value->typeId() == Exiv2::xmpBag || value->typeId() == Exiv2::xmpSeq
        || value->typeId() == Exiv2::xmpAlt) {
        for (long i = 0; i < value->count(); ++i) {
            buffer_ += value->toString(i);
            buffer_ += '\x1e';
        }
    } else {
        buffer_ += value->toString();
    }
    close();
}

std::vector<std::string_view> LikenessList::sorted() const
{
    std::vector<std::string_view> views;
    views.reserve(spans_.size());
    for (const auto& [start, length] : spans_) {
        views.emplace_back(buffer_.data() + start, length);
    }
    std::sort(views.begin(), views.end());
    return views;
}
