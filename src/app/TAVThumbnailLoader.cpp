#include "app/TAVThumbnailLoader.h"

#include "foundation/Dispatch.h"
#include "models/TAVImageCacheManager.h"

#include <QPainter>
#include <QPointer>

#include <algorithm>

TAVThumbnailLoader::TAVThumbnailLoader(LoadFunction load, qsizetype maxBytes, QObject* parent)
    : QObject(parent)
    , load_(load ? std::move(load) : LoadFunction(&TAVThumbnailLoader::defaultLoad))
    , cache_(std::max<qsizetype>(1, maxBytes / 1024))
{
}

QImage TAVThumbnailLoader::thumbnail(const QString& path)
{
    if (const QImage* made = cache_.object(path)) {
        return *made;
    }
    if (path.isEmpty() || failed_.contains(path) || pending_.contains(path)) {
        return QImage();
    }
    pending_.insert(path);
    // The worker never touches this object: it hands the picture to the GUI
    // thread, where the guard tells whether the loader is still there.
    const QPointer<TAVThumbnailLoader> guard(this);
    const LoadFunction load = load_;
    Dispatch::async([guard, load, path] {
        const QImage image = load(path);
        Dispatch::asyncMain([guard, path, image] {
            if (guard) {
                guard->deliver(path, image);
            }
        });
    });
    return QImage();
}

void TAVThumbnailLoader::forget(const QString& path)
{
    cache_.remove(path);
    pending_.remove(path);
    failed_.remove(path);
}

void TAVThumbnailLoader::deliver(const QString& path, const QImage& image)
{
    if (!pending_.remove(path)) {
        return; // forgotten while it was being made
    }
    if (image.isNull()) {
        failed_.insert(path);
        return;
    }
    const qsizetype cost = std::max<qsizetype>(1, image.sizeInBytes() / 1024);
    cache_.insert(path, new QImage(image), cost);
    emit thumbnailReady(path);
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

QImage TAVThumbnailLoader::defaultLoad(const QString& path)
{
    // Decoded straight at the thumbnail's size and kept only here: going
    // through the shared image cache would decode a picture four times larger
    // and keep it there for every photo scrolled past.
    return TAVImageCacheManager::decodeScaled(path, kThumbnailSide);
}
