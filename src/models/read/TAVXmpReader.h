#pragma once

#include "models/read/TAVImageMetadatReaderBase.h"

namespace Exiv2 {
class Xmpdatum;
}

// Reads the XMP rows of one file.
class TAVXmpReader : public TAVImageMetadatReaderBase {
public:
    // Opens the file; metadata is read only when asked for.
    explicit TAVXmpReader(const QString& path, SharedImagePtr shared = nullptr);

    // Group row "XMP", then one row per datum with a key and a value text.
    std::optional<QList<TAVEntityPtr>> doReadImageMeatadata() override;

    // The text shown for an XMP datum: a language alternative reads as its
    // "x-default" text, an array as its items joined by ", ", anything else
    // as the value's text.
    static std::string textValue(const Exiv2::Xmpdatum& datum);
};
