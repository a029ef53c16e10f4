#include "webmapkit/MapResources.h"

#include <QtGlobal>

#include <mutex>

// At global scope: the macro declares the generated initialiser, which is not
// in any namespace.
static void registerMapResources()
{
    Q_INIT_RESOURCE(MapResources);
}

void MapResources::ensureLoaded()
{
    static std::once_flag once;
    std::call_once(once, registerMapResources);
}

QString MapResources::pictureUrl(const QString& name)
{
    ensureLoaded();
    return QStringLiteral("qrc:/map/") + name + QStringLiteral(".png");
}

QImage MapResources::picture(const QString& name)
{
    ensureLoaded();
    QImage image(QStringLiteral(":/map/") + name + QStringLiteral(".png"));
    image.setDevicePixelRatio(2.0);
    return image;
}
