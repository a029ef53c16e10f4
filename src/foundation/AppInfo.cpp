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

namespace {

// The value of LUMETTA_<NAME>, null when the variable is not set.
QString environmentOverride(const QString& name)
{
    const QByteArray variable = "LUMETTA_" + name.toUpper().toLatin1();
    return qEnvironmentVariableIsSet(variable.constData()) ? qEnvironmentVariable(variable.constData()) : QString();
}

} // namespace

QString AppInfo::mapServiceEndpoint(const QString& name)
{
    const QString overridden = environmentOverride(name);
    if (!overridden.isNull()) {
        return overridden;
    }
    return builtIn().value(QStringLiteral("MapServices")).toObject().value(name).toString();
}

QString AppInfo::makerAddress(const QString& name)
{
    const QString overridden = environmentOverride(name);
    return overridden.isNull() ? builtIn().value(name).toString() : overridden;
}
