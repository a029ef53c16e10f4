#include "models/formats/XmpText.h"

#include <exiv2/exiv2.hpp>

#include <typeinfo>

const std::string* XmpText::plainOf(const Exiv2::Xmpdatum& datum)
{
    // A property without a value has no type, and asking it for its value throws.
    if (datum.typeId() != Exiv2::xmpText) {
        return nullptr;
    }
    const Exiv2::Value& value = datum.value();
    if (typeid(value) != typeid(Exiv2::XmpTextValue)) {
        return nullptr;
    }
    // A container's text leads with its kind ("type=\"Bag\"", "type=\"Struct\"").
    const auto& text = static_cast<const Exiv2::XmpTextValue&>(value);
    if (text.xmpArrayType() != Exiv2::XmpValue::xaNone || text.xmpStruct() != Exiv2::XmpValue::xsNone) {
        return nullptr;
    }
    return &text.value_;
}
