#include "support/MapServiceEnvironment.h"

#include <QtGlobal>

QStringList MapServiceEnvironment::variables()
{
    return {QStringLiteral("LUMETTA_TILEURL"), QStringLiteral("LUMETTA_SATELLITETILEURL"),
        QStringLiteral("LUMETTA_PLACESEARCHURL"), QStringLiteral("LUMETTA_GEOCODERURL"),
        QStringLiteral("LUMETTA_STATICMAPURL"), QStringLiteral("LUMETTA_LOCATIONURL")};
}

void MapServiceEnvironment::switchOff()
{
    for (const QString& name : variables()) {
        qputenv(name.toLatin1().constData(), QByteArray());
    }
}

void MapServiceEnvironment::switchOff(QProcessEnvironment& environment)
{
    for (const QString& name : variables()) {
        environment.insert(name, QString());
    }
}
