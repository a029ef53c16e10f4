#include "webmapkit/MapPictures.h"

#include "webmapkit/MapImageDecoder.h"
#include "webmapkit/MapResources.h"

#include <QFile>
#include <QHash>
#include <QUrl>

namespace {

constexpr QSize kMaxPicture{512, 512};
// A page could name any number of files; only this many are kept.
constexpr int kMaxKept = 64;

QImage readPicture(const QString& url)
{
    const QString resource = QStringLiteral("qrc:/map/");
    if (url.startsWith(resource) && url.endsWith(QLatin1String(".png"))) {
        return MapResources::picture(url.mid(resource.size()).chopped(4));
    }
    const QUrl parsed(url);
    const QString path
        = parsed.isLocalFile() ? parsed.toLocalFile() : (url.startsWith(QLatin1Char('/')) ? url : QString());
    QFile file(path);
    if (path.isEmpty() || file.size() > 8 * 1024 * 1024 || !file.open(QIODevice::ReadOnly)) {
        return QImage();
    }
    return MapImageDecoder::decode(file.readAll(), kMaxPicture);
}

} // namespace

QImage MapPictures::picture(const QString& url)
{
    static QHash<QString, QImage> kept;
    const auto found = kept.constFind(url);
    if (found != kept.constEnd()) {
        return found.value();
    }
    const QImage image = readPicture(url);
    if (kept.size() >= kMaxKept) {
        kept.clear();
    }
    kept.insert(url, image);
    return image;
}

QVariantMap MapPictures::size(const QString& url) const
{
    const QImage image = picture(url);
    if (image.isNull()) {
        return {};
    }
    const QSizeF shown = QSizeF(image.size()) / image.devicePixelRatio();
    return {{QStringLiteral("width"), shown.width()}, {QStringLiteral("height"), shown.height()}};
}
