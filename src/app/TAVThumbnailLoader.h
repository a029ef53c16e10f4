#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

// The photo list's thumbnails, made on the worker pool so that neither a slow
// file nor a thousand of them holds up the window. The GUI thread asks; a
// thumbnail not made yet is started in the background and announced with
// thumbnailReady once it is there. Made thumbnails are kept in a cache of
// bounded size; a dropped one is simply made again when asked for.
class TAVThumbnailLoader : public QObject {
    Q_OBJECT

public:
    // Makes the picture of a file; runs on a worker thread. A null image
    // means the file gave none (the placeholder stays).
    using LoadFunction = std::function<QImage(const QString& path)>;

    // The longer side of a thumbnail: what the largest icon size shows.
    static constexpr int kThumbnailSide = 256;
    static constexpr qsizetype kDefaultMaxBytes = qsizetype(96) * 1024 * 1024;

    // Without a load function thumbnails come from the shared image cache.
    explicit TAVThumbnailLoader(
        LoadFunction load = {}, qsizetype maxBytes = kDefaultMaxBytes, QObject* parent = nullptr);

    // The thumbnail when it is made; else a null image, and the thumbnail is
    // started (once, however often it is asked for meanwhile).
    QImage thumbnail(const QString& path);
    // Drops the thumbnail and ignores a load still running for it.
    void forget(const QString& path);
    qsizetype cachedCount() const { return cache_.count(); }

    // What a cell shows while its thumbnail is being made.
    static QImage placeholder();
    // The file's picture decoded at the thumbnail side (camera raw files
    // through their embedded preview).
    static QImage defaultLoad(const QString& path);

signals:
    void thumbnailReady(const QString& path);

private:
    void deliver(const QString& path, const QImage& image);

    LoadFunction load_;
    QCache<QString, QImage> cache_; // cost in kilobytes
    QSet<QString> pending_;
    QSet<QString> failed_;
};
