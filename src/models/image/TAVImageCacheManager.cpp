#include "models/image/TAVImageCacheManager.h"
#include "models/formats/ExivRuntime.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <exiv2/exiv2.hpp>

#include <algorithm>

Q_LOGGING_CATEGORY(lcImageCache, "lumetta.models.imagecache")

namespace {

// Application images are compiled into the resources under this prefix and
// asked for by name, with or without their ".png" suffix.
QImage namedResourceImage(const QString& name)
{
    if (name.contains(QLatin1String(".."))) {
        return QImage();
    }
    const QString base = QStringLiteral(":/images/") + name;
    for (const QString& candidate : {base, base + QStringLiteral(".png")}) {
        if (QFileInfo(candidate).isFile()) {
            return QImage(candidate);
        }
    }
    return QImage();
}

// What a file shows when no decoder reads its format: a plain page with a
// folded corner, made once and shared.
QImage genericFileImage()
{
    static const QImage image = [] {
        QImage page(QSize(256, 256), QImage::Format_ARGB32_Premultiplied);
        page.fill(Qt::transparent);
        QPainter painter(&page);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath outline;
        outline.moveTo(48, 16);
        outline.lineTo(168, 16);
        outline.lineTo(208, 56);
        outline.lineTo(208, 240);
        outline.lineTo(48, 240);
        outline.closeSubpath();
        painter.setPen(QPen(QColor(120, 120, 120), 4));
        painter.setBrush(QColor(245, 245, 245));
        painter.drawPath(outline);
        painter.drawPolyline(QPolygonF({QPointF(168, 16), QPointF(168, 56), QPointF(208, 56)}));
        return page;
    }();
    return image;
}

QSize boundedSize(const QSize& size, int maxSide)
{
    if (!size.isValid() || std::max(size.width(), size.height()) <= maxSide) {
        return size;
    }
    return size.scaled(maxSide, maxSide, Qt::KeepAspectRatio);
}

QImage bounded(const QImage& image, int maxSide)
{
    const QSize size = boundedSize(image.size(), maxSide);
    if (image.isNull() || size == image.size()) {
        return image;
    }
    return image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// The image turned as an EXIF orientation (1 to 8) asks, so that it shows the
// way decoded pictures do (their reader applies the orientation itself).
QImage oriented(const QImage& image, long orientation)
{
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 3:
        return image.mirrored(true, true);
    case 4:
        return image.mirrored(false, true);
    case 5:
        return image.mirrored(false, true).transformed(QTransform().rotate(90));
    case 6:
        return image.transformed(QTransform().rotate(90));
    case 7:
        return image.mirrored(true, false).transformed(QTransform().rotate(90));
    case 8:
        return image.transformed(QTransform().rotate(270));
    default:
        return image;
    }
}

long orientationOf(const Exiv2::Image& image)
{
    const Exiv2::ExifData& exif = image.exifData();
    const auto found = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    return found == exif.end() || found->count() == 0 ? 1 : found->toLong();
}

// The largest preview a camera raw file embeds, turned upright by the file's
// orientation; null when it has none.
QImage largestPreview(const QString& path, bool* readable)
{
    *readable = false;
    const ExivRuntime::FileScope scope(path);
    try {
        const auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        ExivRuntime::readMetadata(*image);
        *readable = true;
        Exiv2::PreviewManager previews(*image);
        const Exiv2::PreviewPropertiesList list = previews.getPreviewProperties();
        // The library lists previews from the smallest to the largest.
        for (auto properties = list.rbegin(); properties != list.rend(); ++properties) {
            const Exiv2::PreviewImage preview = previews.getPreviewImage(*properties);
            QImage decoded = QImage::fromData(preview.pData(), static_cast<int>(preview.size()));
            if (!decoded.isNull()) {
                return oriented(decoded, orientationOf(*image));
            }
        }
    } catch (const Exiv2::AnyError& error) {
        qCWarning(lcImageCache, "No preview in %s: %s", qUtf8Printable(path), error.what());
    } catch (const std::exception& error) {
        qCWarning(lcImageCache, "No preview in %s: %s", qUtf8Printable(path), error.what());
    }
    return QImage();
}

qsizetype costOf(const QImage& image)
{
    return std::max<qsizetype>(1, (image.sizeInBytes() + 1023) / 1024);
}

} // namespace

TAVImageCacheManager::TAVImageCacheManager(int maxSide, qsizetype maxBytes)
    : maxSide_(maxSide)
    , ceilingBytes_(maxBytes)
    , mdicCache_(std::max<qsizetype>(1, maxBytes / 1024))
{
}

TAVImageCacheManager& TAVImageCacheManager::sharedInstance()
{
    static TAVImageCacheManager instance;
    return instance;
}

bool TAVImageCacheManager::isRawExtension(const QString& suffix)
{
    static const QStringList raw = {QStringLiteral("cr2"), QStringLiteral("crw"), QStringLiteral("nef"),
        QStringLiteral("orf"), QStringLiteral("raf"), QStringLiteral("rw2"), QStringLiteral("pef"),
        QStringLiteral("sr2"), QStringLiteral("srw"), QStringLiteral("dng"), QStringLiteral("raw")};
    return raw.contains(suffix.toLower());
}

QImage TAVImageCacheManager::getImage(const QString& path)
{
    return getImage(path, maxSide_);
}

const TAVImageCacheManager::Entry* TAVImageCacheManager::entryFor(const QString& path, int side) const
{
    const Entry* entry = mdicCache_.object(path);
    return entry && entry->side >= std::min(side, maxSide_) ? entry : nullptr;
}

QImage TAVImageCacheManager::cachedImage(const QString& path, int side) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Entry* entry = entryFor(path, side);
    return entry ? entry->image : QImage();
}

QImage TAVImageCacheManager::getImage(const QString& path, int side)
{
    if (path.isEmpty()) {
        return QImage();
    }
    QImage named = namedResourceImage(path);
    if (!named.isNull()) {
        return named;
    }
    side = std::clamp(side, 1, maxSide_);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        // A picture decoded ahead and still on its way is waited for.
        decoded_.wait(lock, [&] { return decoding_.value(path, 0) < side; });
        if (const Entry* cached = entryFor(path, side)) {
            return cached->image;
        }
        decoding_.insert(path, std::max(side, decoding_.value(path, 0)));
    }
    // Decoding runs outside the lock so that one slow file does not hold up
    // the views asking for others.
    QImage image = decodeScaled(path, side);
    std::lock_guard<std::mutex> lock(mutex_);
    if (decoding_.value(path) == side) {
        decoding_.remove(path);
    }
    decoded_.notify_all();
    if (image.isNull()) {
        return image;
    }
    // Another thread may have kept a larger one meanwhile.
    if (const Entry* kept = mdicCache_.object(path); kept && kept->side > side) {
        return image;
    }
    if (!mdicCache_.insert(path, new Entry{image, side}, costOf(image)) && shownSides_.isEmpty()) {
        qCWarning(lcImageCache, "Image of %s is larger than the whole cache", qUtf8Printable(path));
    }
    return image;
}

void TAVImageCacheManager::setShownSide(const QString& view, int side)
{
    std::lock_guard<std::mutex> lock(mutex_);
    shownSides_.insert(view, std::clamp(side, 0, maxSide_));
    applyBound();
}

void TAVImageCacheManager::applyBound()
{
    if (shownSides_.isEmpty()) {
        mdicCache_.setMaxCost(std::max<qsizetype>(1, ceilingBytes_ / 1024));
        return;
    }
    // A picture of a given longer side takes at most a square of it.
    qsizetype bytes = 0;
    for (const int side : std::as_const(shownSides_)) {
        bytes += qsizetype(side) * side * 4 * kPicturesPerView;
    }
    mdicCache_.setMaxCost(std::max<qsizetype>(1, std::min(bytes, ceilingBytes_) / 1024));
}

qsizetype TAVImageCacheManager::maxBytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return mdicCache_.maxCost() * 1024;
}

bool TAVImageCacheManager::removeImageFromCache(const QString& path)
{
    if (!path.isEmpty()) {
        std::lock_guard<std::mutex> lock(mutex_);
        mdicCache_.remove(path);
    }
    return true;
}

qsizetype TAVImageCacheManager::count() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return mdicCache_.count();
}

qsizetype TAVImageCacheManager::totalBytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return mdicCache_.totalCost() * 1024;
}

QImage TAVImageCacheManager::decodeScaled(const QString& path, int maxSide)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        return QImage();
    }
    if (isRawExtension(info.suffix())) {
        bool readable = false;
        const QImage preview = largestPreview(path, &readable);
        if (!readable) {
            return QImage();
        }
        return preview.isNull() ? genericFileImage() : bounded(preview, maxSide);
    }

    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (!reader.canRead()) {
        // A format no decoder knows shows as a generic page; a file of a known
        // format that does not decode is a failed load.
        const QByteArray suffix = info.suffix().toLower().toUtf8();
        if (!QImageReader::supportedImageFormats().contains(suffix)) {
            return genericFileImage();
        }
        qCWarning(lcImageCache, "Cannot read %s: %s", qUtf8Printable(path), qUtf8Printable(reader.errorString()));
        return QImage();
    }
    // Always the file's own picture: a preview the camera stored beside it
    // shows the picture as it was shot, not as it was edited since. Decoders
    // that can scale while decoding (JPEG's DCT scaling) then never hold the
    // full picture in memory and take a fraction of a full decode.
    const QSize scaled = boundedSize(reader.size(), maxSide);
    if (scaled.isValid() && scaled != reader.size()) {
        reader.setScaledSize(scaled);
    }
    QImage image = reader.read();
    if (image.isNull()) {
        qCWarning(lcImageCache, "Cannot read %s: %s", qUtf8Printable(path), qUtf8Printable(reader.errorString()));
        return image;
    }
    return bounded(image, maxSide);
}
