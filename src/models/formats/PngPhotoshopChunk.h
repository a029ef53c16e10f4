#pragma once

#include "models/formats/PngChunks.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A PNG's Photoshop resources, kept as a text chunk "Raw profile type 8bim"
// (hex digits of the resource block after a line naming the profile and one
// giving its length), as an image converter writes a JPEG's Photoshop segment
// into a PNG. Readers find the IPTC block among those resources; the metadata
// library does not. A converter writes the same IPTC block a second time, in
// a "Raw profile type iptc" chunk, which the library reads and writes: the two
// are copies, kept in step as a JPEG's IPTC and its Photoshop segment are.
class PngPhotoshopChunk {
public:
    // Whether a PNG holds a Photoshop resources chunk with an IPTC block.
    static bool holdsIptc(const QByteArray& png);

    // Why a save that changes the IPTC of `png` cannot keep its Photoshop
    // resources in step; empty when it can, or when they hold no IPTC. A
    // clear of all IPTC (`clearsAll`) takes the block from every copy; any
    // other change needs the library's copy to hold what the resources hold,
    // as the change is written into both.
    static QString iptcChangeRefusal(const QByteArray& png, bool clearsAll);

    // `written` with every Photoshop resources chunk whose IPTC block is not
    // the one `written`'s IPTC chunk holds made to hold that one, in its
    // place, its other resources byte for byte; without the block when
    // `written` holds no IPTC, and without the chunk when no resource is
    // left. An IPTC digest beside the block (resource 0x0425) follows it.
    // Nothing when such a chunk's resources do not read whole.
    static std::optional<QByteArray> withIptcInStep(const QByteArray& written);

    // The resource block of a Photoshop resources chunk; nothing for another
    // chunk or one that does not read as a raw profile.
    static std::optional<QByteArray> resourcesOf(const PngChunks::Chunk& chunk);

    // What the resources `held` become in step with the IPTC that `png`
    // holds in its IPTC chunk (none when it has none), as withIptcInStep
    // makes them: empty when none is left. Nothing when `held` holds no IPTC
    // block or does not read whole.
    static std::optional<QByteArray> resourcesInStep(const QByteArray& held, const QByteArray& png);

    // Whether the IPTC block among `resources` is the one `png` holds in its
    // IPTC chunk (none when it has none); nothing when they hold no IPTC.
    static std::optional<bool> holdsIptcOf(const QByteArray& resources, const QByteArray& png);
};
