#include "support/ExifTool.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>

namespace ExifTool {

namespace {

QByteArray run(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("exiftool"), arguments);
    if (!process.waitForFinished(60000)) {
        return {};
    }
    return process.readAllStandardOutput();
}

} // namespace

bool available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty();
}

QJsonObject read(const QString& path, const QStringList& extraArguments)
{
    QStringList arguments{QStringLiteral("-j"), QStringLiteral("-G1"), QStringLiteral("-struct"),
        QStringLiteral("-charset"), QStringLiteral("UTF8")};
    arguments += extraArguments;
    arguments << path;
    const QJsonArray list = QJsonDocument::fromJson(run(arguments)).array();
    return list.isEmpty() ? QJsonObject() : list.first().toObject();
}

QMap<QString, QString> dates(const QString& path)
{
    const QJsonObject tags = read(path, {QStringLiteral("-a"), QStringLiteral("-time:all")});
    QMap<QString, QString> found;
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (it.key().contains(QLatin1Char(':')) && !it.key().startsWith(QLatin1String("System:"))
            && !it.key().startsWith(QLatin1String("Composite:"))) {
            found.insert(it.key(), it.value().toVariant().toString());
        }
    }
    return found;
}

QStringList warnings(const QString& path)
{
    const QJsonObject tags = read(path, {QStringLiteral("-warning"), QStringLiteral("-error")});
    QStringList result;
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (it.key().endsWith(QLatin1String(":Warning")) || it.key().endsWith(QLatin1String(":Error"))) {
            result << it.value().toString();
        }
    }
    return result;
}

QByteArray binary(const QString& path, const QString& tag)
{
    return run({QStringLiteral("-b"), QStringLiteral("-") + tag, path});
}

} // namespace ExifTool
