#pragma once

#include "models/read/TAVImageMetadatReaderBase.h"

namespace Exiv2 {
class Iptcdatum;
}
class IptcCharacterSet;

// Reads the IPTC rows of one file. All keyword datasets make one row.
class TAVIPTCReader : public TAVImageMetadatReaderBase {
public:
    // Opens the file; metadata is read only when asked for.
    explicit TAVIPTCReader(const QString& path, SharedImagePtr shared = nullptr);

    // Group row "IPTC", then one row per dataset with a key and a value text;
    // the keywords are joined into the first keyword row with ", ".
    std::optional<QList<TAVEntityPtr>> doReadImageMeatadata() override;

    // The text shown for a dataset: in `set`, the block's own set, where the
    // block is shown as Latin-1 (IptcCharacterSet::showsAsLatin1), else as
    // UTF-8, or as Latin-1 where its bytes are not UTF-8.
    static QString textValue(const Exiv2::Iptcdatum& datum, const IptcCharacterSet* set);
};
