#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

// The photo list's thumbnails, made on the worker pool so that neither a slow
// file nor a thousand of them holds up the window. The GUI thread asks; a
// thumbnail not made yet is started in the background and announced with
// thumbnailReady once it is there.
//
// Once the list says which cells it shows (setShownPaths), the loader holds
// the thumbnails of those cells only, at the size they are shown: a scroll,
// a resize or a zoom frees what went out of view and starts what came in.
// Until then made thumbnails are kept within a fixed bound.
class TAVThumbnailLoader : public QObject {
    Q_OBJECT

public:
    // Makes the picture of a file no larger than `side` pixels on its longer
    // side; runs on a worker thread. A null image means the file gave none
    // (the placeholder stays).
    using LoadFunction = std::function<QImage(const QString& path, int side)>;

    // The longer side of a thumbnail: what the largest icon size shows.
    static constexpr int kThumbnailSide = 256;
    // The most thumbnails ever take, shown or not.
    static constexpr qsizetype kDefaultMaxBytes = qsizetype(96) * 1024 * 1024;

    // Without a load function thumbnails are decoded by defaultLoad.
    explicit TAVThumbnailLoader(
        LoadFunction load = {}, qsizetype maxBytes = kDefaultMaxBytes, QObject* parent = nullptr);

    // The thumbnail when it is made; else a null image, and the thumbnail is
    // started (once, however often it is asked for meanwhile). A thumbnail
    // made for another size is given while the one of the shown size is made.
    QImage thumbnail(const QString& path);
    // Drops the thumbnail and ignores a load still running for it.
    void forget(const QString& path);

    // The cells on screen and the few rows around them kept ready for a
    // scroll, the ones in view first, and their pictures' longer side in
    // pixels. Thumbnails of other files are freed and their loads dropped;
    // those of these files not made yet are started. No paths: nothing shown.
    void setShownPaths(const QStringList& paths, int side);
    // The side thumbnails are made at now.
    int side() const { return side_; }
    // The bytes the thumbnails may take now.
    qsizetype maxBytes() const { return cache_.maxCost() * 1024; }
    qsizetype cachedCount() const { return cache_.count(); }
    bool isCached(const QString& path) const { return cache_.contains(path); }
    // The side the cached thumbnail of `path` was made for; 0 when none is.
    int cachedSide(const QString& path) const;

    // What a cell shows while its thumbnail is being made.
    static QImage placeholder();
    // The file's picture decoded at `side` (camera raw files through their
    // embedded preview).
    static QImage defaultLoad(const QString& path, int side = kThumbnailSide);

signals:
    void thumbnailReady(const QString& path);

private:
    // A thumbnail and the side it was made for (it is smaller when the
    // file's picture is).
    struct Entry {
        QImage image;
        int side = 0;
    };
    void start(const QString& path);
    void deliver(const QString& path, int side, const QImage& image);
    void keep(const QString& path, Entry* entry);
    void dropPending(const QString& path);

    LoadFunction load_;
    const qsizetype ceilingBytes_;
    int side_ = kThumbnailSide;
    QCache<QString, Entry> cache_; // cost in kilobytes
    // Each load running, with the flag that tells its worker it is no longer
    // wanted (the file scrolled out of view before the worker got to it).
    QHash<QString, std::shared_ptr<std::atomic<bool>>> pending_;
    QSet<QString> failed_;
};
