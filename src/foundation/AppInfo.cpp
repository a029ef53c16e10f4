#include "foundation/AppInfo.h"

#include <LumettaAppInfo.h>

#include <QJsonDocument>
#include <QtGlobal>

QJsonObject AppInfo::builtIn()
{
    static const QJsonObject info = QJsonDocument::fromJson(QByteArray(lumetta::kAppInfoJson)).object();
    return info;
}

QString AppInfo::bundleIdentifier()
{
    return builtIn().value(QStringLiteral("CFBundleIdentifier")).toString();
}

QString AppInfo::version()
{
    return builtIn().value(QStringLiteral("CFBundleShortVersionString")).toString();
}

QString AppInfo::mapServiceEndpoint(const QString& name)
{
    const QByteArray variable = "LUMETTA_" + name.toUpper().toLatin1();
    if (qEnvironmentVariableIsSet(variable.constData())) {
        return qEnvironmentVariable(variable.constData());
    }
    return builtIn().value(QStringLiteral("MapServices")).toObject().value(name).toString();
}
