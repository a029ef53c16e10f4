#pragma once

#include <QCache>
#include <QImage>
#include <QString>

#include <mutex>

// The images of the imported files, keyed by path, so that the photo list's
// browser and the summary tab decode each file once. Images are kept scaled
// to what those views show, in a least-recently-used cache of bounded size,
// and may be asked for from any thread.
class TAVImageCacheManager {
public:
    // The longer side of a cached image, in pixels.
    static constexpr int kDefaultMaxSide = 1024;
    // Room for about ninety photos of the default size (3:2, 32 bits a pixel).
    static constexpr qsizetype kDefaultMaxBytes = qsizetype(256) * 1024 * 1024;

    TAVImageCacheManager(int maxSide = kDefaultMaxSide, qsizetype maxBytes = kDefaultMaxBytes);

    // The process-wide cache, made on first use.
    static TAVImageCacheManager& sharedInstance();

    // The image for `path`: a named image of the application's resources
    // (not cached), else the cached image, else the file loaded, scaled and
    // kept. A null image for an empty path or a file that cannot be loaded;
    // failures are not kept, so the next call tries the file again.
    QImage getImage(const QString& path);

    // Forgets the image of `path`. Always true.
    bool removeImageFromCache(const QString& path);

    // The number of images held and the bytes they take.
    qsizetype count() const;
    qsizetype totalBytes() const;

    // The picture of the file at `path` decoded no larger than `maxSide` on
    // its longer side, without keeping it: decoders that scale while decoding
    // (JPEG's DCT scaling) never hold the full-size picture. Camera raw files
    // give their largest embedded preview, formats without a decoder a generic
    // page; null when the file cannot be read. Any thread.
    static QImage decodeScaled(const QString& path, int maxSide);

    // The file extensions (lower case) whose image is the largest preview the
    // file embeds (turned upright by the file's orientation), since no image
    // decoder reads them.
    static bool isRawExtension(const QString& suffix);

private:
    const int maxSide_;
    mutable std::mutex mutex_;
    QCache<QString, QImage> mdicCache_; // cost in kilobytes
};
