#pragma once

#include "models/read/TAVImageMetadatReaderBase.h"

// Reads the IPTC rows of one file. All keyword datasets make one row.
class TAVIPTCReader : public TAVImageMetadatReaderBase {
public:
    // Opens the file; metadata is read only when asked for.
    explicit TAVIPTCReader(const QString& path, SharedImagePtr shared = nullptr);

    // Group row "IPTC", then one row per dataset with a key and a value text;
    // the keywords are joined into the first keyword row with ", ".
    std::optional<QList<TAVEntityPtr>> doReadImageMeatadata() override;
};
