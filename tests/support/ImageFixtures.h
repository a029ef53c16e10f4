#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

// Makes real image files for tests: pixels through QImage, then metadata
// written through the metadata library exactly as a camera or another program
// would have left it.
namespace ImageFixtures {

// One tag to write. The family comes from the key's prefix ("Exif.", "Iptc.",
// "Xmp."). Without a type the library's default type for the key is used.
// A repeatable IPTC dataset (Keywords) gets one dataset per entry of `values`.
struct Tag {
    QString key;
    QString value;
    std::optional<int> typeId; // an Exiv2::TypeId
};

// Writes an image of `size` pixels filled with a gradient. The format follows
// the suffix (jpg, png, tif, bmp, ...). Returns false when Qt cannot write it.
bool makeImage(const QString& path, QSize size = QSize(64, 48));

// Adds or replaces the given tags in an existing image file. Returns false (and
// prints why) when the library refuses a key, a value or the write.
bool writeTags(const QString& path, const std::vector<Tag>& tags);

// Removes every EXIF entry, IPTC dataset and XMP property of the given keys.
bool eraseTags(const QString& path, const QStringList& keys);

// Adds one IPTC dataset per keyword (the way cameras and other programs do).
bool writeKeywords(const QString& path, const QStringList& keywords);

// makeImage followed by writeTags.
bool makeImageWithTags(const QString& path, const std::vector<Tag>& tags, QSize size = QSize(64, 48));

// Writes `packet` into the file as it stands, without decoding it.
bool writeXmpPacket(const QString& path, const std::string& packet);

// Gives the file an XMP packet the library cannot decode (a property given
// twice, with the title "Harbour" and the subject "sea", "sun"), as some
// phones write them; other readers still read it.
bool giveUndecodableXmpPacket(const QString& path);

// Damages the signature of the JPEG's XMP segment in place ("http" of the
// namespace becomes "ht\xffp", as a bad sector left one) and returns the
// damaged segment whole; empty when the file has no XMP segment.
QByteArray damageXmpSignature(const QString& path);

// A copy of the Windows photo tool's sample whose packet gives its
// MicrosoftPhoto prefix the URI of the photoshop namespace, as some programs
// misspell it: alone it reads cleanly, but its decode takes that URI's
// prefix away from every other packet in the toolkit's one table.
QString copyOfWindowsSampleWithMisspeltNamespace(const QString& folder, const QString& newName);

// Replaces the file's thumbnail by an uncompressed RGB one of `size`
// pixels, which the library hands out as a TIFF.
bool giveTiffThumbnail(const QString& path, QSize size = QSize(4, 3));

// A JPEG of `picture` with a second JPEG, `preview`, after it, listed in a
// multi-picture index (APP2 "MPF") after the picture's APP0, as cameras store
// the large preview of a photo.
QByteArray jpegWithStoredPreview(const QImage& picture, const QImage& preview);

// The path of a committed sample under tests/data.
QString sample(const QString& name);

// Copies a committed sample into `folder` (under `newName` when given) and
// returns the copy's path, or an empty string.
QString copySample(const QString& name, const QString& folder, const QString& newName = QString());

} // namespace ImageFixtures
