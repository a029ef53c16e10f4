#include "webmapkit/MapUserAgent.h"

#include "foundation/AppInfo.h"

#include <QCoreApplication>
#include <QFileInfo>

QByteArray mapPageUserAgent(const QJsonObject& appInfo, const QString& executableName)
{
    QString name = appInfo.value(QStringLiteral("CFBundleName")).toString();
    if (name.isEmpty()) {
        name = executableName;
    }
    return QStringLiteral("%1 AppleWebKit").arg(name).toUtf8();
}

QByteArray mapPageUserAgent()
{
    return mapPageUserAgent(AppInfo::builtIn(), QFileInfo(QCoreApplication::applicationFilePath()).fileName())
        + " Lumetta/" + AppInfo::version().toUtf8();
}
