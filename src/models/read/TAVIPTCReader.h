#pragma once

#include "models/read/TAVImageMetadatReaderBase.h"

namespace Exiv2 {
class Iptcdatum;
class IptcData;
} // namespace Exiv2
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
    // UTF-8, or as Latin-1 where its bytes are not UTF-8 (U+FFFD for the
    // bytes 0x80 to 0x9F, where Latin-1 has control codes).
    static QString textValue(const Exiv2::Iptcdatum& datum, const IptcCharacterSet* set);
    // Whether the texts of the block `iptc`, of the set `set`, are read on a
    // guess: it declares no set the reading is sure of (UTF-8, or Latin-1
    // declared) and its bytes are not all UTF-8. Its rows that are not plain
    // ASCII are marked so (TAVEntity::isReadOnAGuess).
    static bool readsOnAGuess(const Exiv2::IptcData& iptc, const IptcCharacterSet& set);
    // Whether a block read as UTF-8 is so only on the strength of its bytes:
    // it declares no set. Its texts that are not plain ASCII and that other
    // sets read too (IptcCharacterSet::readsAsUtf8Alone) are read on a guess.
    static bool readsAsUtf8Undeclared(const Exiv2::IptcData& iptc);
    // Whether a text of a block is read on a guess, its bytes (or its
    // reading's UTF-8, which is as plain ASCII as they are) given: any text
    // but plain ASCII of a block read on a guess (`latin1Guess`), and one
    // that other sets read too of a block read as UTF-8 undeclared
    // (`utf8Undeclared`).
    static bool isTextOnAGuess(const std::string& bytes, bool latin1Guess, bool utf8Undeclared);
};
