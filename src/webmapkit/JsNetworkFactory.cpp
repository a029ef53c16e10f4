#include "webmapkit/JsNetworkFactory.h"

#include "webmapkit/MapNetwork.h"

QNetworkAccessManager* JsNetworkFactory::create(QObject* parent)
{
    return MapNetwork::createAccessManager(userAgent_, parent);
}
