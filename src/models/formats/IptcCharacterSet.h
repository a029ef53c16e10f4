#pragma once

#include <QSet>
#include <QString>

#include <string>

namespace Exiv2 {
class IptcData;
}

// The character set of an IPTC block's texts. IPTC text carries no encoding
// of its own: a block declares UTF-8 by its coded character set (ESC % G),
// and older programs wrote Latin-1 without saying so. Other programs read a
// block in one set, so a block holds one: UTF-8 text put into a Latin-1 block
// showed "Fuzz title Ã©" everywhere else.
class IptcCharacterSet {
public:
    // Whether a block's texts are Latin-1: it does not declare UTF-8 and a
    // text dataset's bytes are not valid UTF-8.
    static bool isLatin1(const Exiv2::IptcData& iptc);

    // Before a write, settles the block on one set. The datasets of
    // `editedKeys` hold our texts, in UTF-8; the others the file's bytes, in
    // Latin-1 when `latin1`. A Latin-1 block stays so where every edited
    // character fits; otherwise the whole block turns UTF-8 and says so, as
    // a block does whose texts need it and whose bytes are valid UTF-8.
    static void settle(Exiv2::IptcData& iptc, const QSet<QString>& editedKeys, bool latin1);
};
