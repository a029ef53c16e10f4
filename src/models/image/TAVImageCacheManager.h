#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QString>

#include <condition_variable>
#include <mutex>

// The pictures of the imported files, keyed by path, so that the views that
// show a photo decode each file once. Pictures are kept at the size those
// views show them, in a least-recently-used cache whose bound follows what is
// on screen, and may be asked for from any thread.
class TAVImageCacheManager {
public:
    // The longer side of a cached image, in pixels.
    static constexpr int kDefaultMaxSide = 1024;
    // The most the cache ever holds: about ninety photos of the default size
    // (3:2, 32 bits a pixel).
    static constexpr qsizetype kDefaultMaxBytes = qsizetype(256) * 1024 * 1024;
    // The pictures held for each view that shows one: the shown one, the
    // next four decoded ahead, and the one shown before (stepping back).
    static constexpr int kPicturesPerView = 6;

    TAVImageCacheManager(int maxSide = kDefaultMaxSide, qsizetype maxBytes = kDefaultMaxBytes);

    // The process-wide cache, made on first use.
    static TAVImageCacheManager& sharedInstance();

    // The image for `path`: a named image of the application's resources
    // (not cached), else the cached image, else the file loaded, scaled and
    // kept. A null image for an empty path or a file that cannot be loaded;
    // failures are not kept, so the next call tries the file again.
    QImage getImage(const QString& path);
    // The same for a view that shows the picture no larger than `side`
    // pixels on its longer side (at most the cache's largest side): a cached
    // picture made for that side or a larger one is used, else the file is
    // decoded at that side and its picture takes the old one's place.
    QImage getImage(const QString& path, int side);
    // The cached picture for `side` (as getImage), or a null image without
    // decoding anything.
    QImage cachedImage(const QString& path, int side) const;

    // What `view` shows now: pictures up to `side` pixels on their longer
    // side, 0 when it shows none. Once a view has said so, the cache holds
    // kPicturesPerView pictures of each view's side and no more (within the
    // bound it was made with); until then it holds up to that bound.
    void setShownSide(const QString& view, int side);
    // The bytes the cache may hold now.
    qsizetype maxBytes() const;

    // Forgets the image of `path`. Always true.
    bool removeImageFromCache(const QString& path);

    // The number of images held and the bytes they take.
    qsizetype count() const;
    qsizetype totalBytes() const;

    // The picture of the file at `path` decoded no larger than `maxSide` on
    // its longer side, without keeping it: decoders that scale while decoding
    // (JPEG's DCT scaling) never hold the full-size picture. A JPEG is always
    // decoded from its own picture, never from a preview stored beside it,
    // which an edit of the picture leaves as it was. Camera raw files
    // give their largest embedded preview, formats without a decoder a generic
    // page; null when the file cannot be read. Any thread.
    static QImage decodeScaled(const QString& path, int maxSide);

    // The file extensions (lower case) whose image is the largest preview the
    // file embeds (turned upright by the file's orientation), since no image
    // decoder reads them.
    static bool isRawExtension(const QString& suffix);

private:
    // A picture and the side it was decoded for (it is smaller when the
    // file's own picture is).
    struct Entry {
        QImage image;
        int side = 0;
    };
    const Entry* entryFor(const QString& path, int side) const; // under mutex_
    void applyBound(); // under mutex_

    const int maxSide_;
    const qsizetype ceilingBytes_;
    mutable std::mutex mutex_;
    // The paths being decoded and for which side: a second view asking for
    // one waits for that picture instead of decoding the file again.
    QHash<QString, int> decoding_;
    std::condition_variable decoded_;
    QCache<QString, Entry> mdicCache_; // cost in kilobytes
    QHash<QString, int> shownSides_;
};
