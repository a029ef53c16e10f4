#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The User-Agent of the map pages: "<CFBundleName> AppleWebKit", or
// "<executable> AppleWebKit" when the information dictionary has no name.
QByteArray mapPageUserAgent(const QJsonObject& appInfo, const QString& executableName);
// The same for this process (its built-in dictionary and executable),
// followed by "Lumetta/<version>": the map services ask a client to name
// itself and its version.
QByteArray mapPageUserAgent();
