#include "app/TAVThumbnailLoader.h"

#include "foundation/Dispatch.h"
#include "models/image/TAVImageCacheManager.h"

#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <memory>

namespace {

QImage fitted(const QImage& image, int side)
{
    if (std::max(image.width(), image.height()) <= side) {
        return image;
    }
    return image.scaled(QSize(side, side), Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

TAVThumbnailLoader::TAVThumbnailLoader(LoadFunction load, qsizetype maxBytes, QObject* parent)
    : QObject(parent)
    , load_(load ? std::move(load) : LoadFunction(&TAVThumbnailLoader::defaultLoad))
    , ceilingBytes_(std::max<qsizetype>(1024, maxBytes))
    , cache_(std::max<qsizetype>(1, maxBytes / 1024))
{
}

QImage TAVThumbnailLoader::thumbnail(const QString& path)
{
    if (const Entry* made = cache_.object(path)) {
        // Made for smaller cells: shown as it is until the sharper one is there.
        if (made->side < side_ && !pending_.contains(path) && !failed_.contains(path)) {
            start(path);
        }
        return made->image;
    }
    if (path.isEmpty() || failed_.contains(path) || pending_.contains(path)) {
        return QImage();
    }
    start(path);
    return QImage();
}

int TAVThumbnailLoader::cachedSide(const QString& path) const
{
    const Entry* made = cache_.object(path);
    return made ? made->side : 0;
}

void TAVThumbnailLoader::start(const QString& path)
{
    auto wanted = std::make_shared<std::atomic<bool>>(true);
    pending_.insert(path, wanted);
    // The worker never touches this object: it hands the picture to the GUI
    // thread, where the guard tells whether the loader is still there.
    const QPointer<TAVThumbnailLoader> guard(this);
    const LoadFunction load = load_;
    const int side = side_;
    Dispatch::async([guard, load, path, side, wanted] {
        // A cell scrolled past before its turn came costs no decoding.
        if (!wanted->load()) {
            return;
        }
        const QImage image = load(path, side);
        Dispatch::asyncMain([guard, path, side, image, wanted] {
            if (guard && wanted->load()) {
                guard->deliver(path, side, image);
            }
        });
    });
}

void TAVThumbnailLoader::dropPending(const QString& path)
{
    if (const auto running = pending_.take(path)) {
        running->store(false);
    }
}

void TAVThumbnailLoader::forget(const QString& path)
{
    cache_.remove(path);
    dropPending(path);
    failed_.remove(path);
}

void TAVThumbnailLoader::setShownPaths(const QStringList& paths, int side)
{
    side_ = std::clamp(side, 1, int(kThumbnailSide));
    const QSet<QString> shown(paths.cbegin(), paths.cend());
    for (const QString& path : cache_.keys()) {
        if (!shown.contains(path)) {
            cache_.remove(path);
            continue;
        }
        // Cells made smaller: the thumbnail shrinks with them at once rather
        // than being decoded again. Taken out first: a full cache that still
        // held it would make room for the smaller one by pushing out another
        // thumbnail, one this walk has yet to reach.
        const Entry* made = cache_.object(path);
        if (made && made->side > side_) {
            const std::unique_ptr<Entry> larger(cache_.take(path));
            keep(path, new Entry{fitted(larger->image, side_), side_});
        }
    }
    for (const QString& path : pending_.keys()) {
        if (!shown.contains(path)) {
            dropPending(path);
        }
    }
    // A thumbnail takes at most the square of its side.
    const qsizetype bytes = std::max<qsizetype>(1, paths.size()) * side_ * side_ * 4;
    cache_.setMaxCost(std::max<qsizetype>(1, std::min(bytes, ceilingBytes_) / 1024));
    // The rows around the view are made too, so that a scroll shows them at once.
    for (const QString& path : paths) {
        thumbnail(path);
    }
}

void TAVThumbnailLoader::deliver(const QString& path, int side, const QImage& image)
{
    pending_.remove(path);
    if (image.isNull()) {
        failed_.insert(path);
        return;
    }
    // The cells shrank while it was being made.
    keep(path, side > side_ ? new Entry{fitted(image, side_), side_} : new Entry{image, side});
    emit thumbnailReady(path);
}

void TAVThumbnailLoader::keep(const QString& path, Entry* entry)
{
    const qsizetype cost = std::max<qsizetype>(1, entry->image.sizeInBytes() / 1024);
    cache_.insert(path, entry, cost);
}

QImage TAVThumbnailLoader::placeholder()
{
    static const QImage picture = [] {
        QImage image(kThumbnailSide, kThumbnailSide * 3 / 4, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(200, 200, 200), 4));
        painter.setBrush(QColor(228, 228, 228));
        painter.drawRoundedRect(QRectF(image.rect()).adjusted(4, 4, -4, -4), 14, 14);
        // A small mountain and sun: "a picture goes here".
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 200, 200));
        painter.drawEllipse(QPointF(170, 70), 18, 18);
        painter.drawPolygon(QPolygonF({QPointF(40, 160), QPointF(100, 90), QPointF(150, 160)}));
        painter.drawPolygon(QPolygonF({QPointF(120, 160), QPointF(170, 110), QPointF(216, 160)}));
        return image;
    }();
    return picture;
}

QImage TAVThumbnailLoader::defaultLoad(const QString& path, int side)
{
    // Decoded straight at the thumbnail's size and kept only here: going
    // through the shared image cache would decode a picture four times larger
    // and keep it there for every photo scrolled past.
    return TAVImageCacheManager::decodeScaled(path, side);
}
