#include "support/PrivateBus.h"
#include "support/Patience.h"

#include <QDir>
#include <QFile>

namespace {

bool writeFile(const QString& path, const QString& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

PrivateBus::PrivateBus(const QStringList& activatable)
{
    if (!folder_.isValid()) {
        return;
    }
    const QString services = folder_.filePath(QStringLiteral("services"));
    QString serviceDir;
    if (!activatable.isEmpty() && QDir().mkpath(services)) {
        serviceDir = QStringLiteral("  <servicedir>%1</servicedir>\n").arg(services);
        for (const QString& name : activatable) {
            writeFile(services + QLatin1Char('/') + name + QStringLiteral(".service"),
                QStringLiteral("[D-BUS Service]\nName=%1\nExec=/bin/false\n").arg(name));
        }
    }
    const QString config = folder_.filePath(QStringLiteral("bus.conf"));
    const QString text
        = QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                         "<busconfig>\n"
                         "  <type>session</type>\n"
                         "  <listen>unix:path=%1</listen>\n"
                         "  <auth>EXTERNAL</auth>\n"
                         "%2"
                         "  <policy context=\"default\">\n"
                         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                         "    <allow eavesdrop=\"true\"/>\n"
                         "    <allow own=\"*\"/>\n"
                         "  </policy>\n"
                         "</busconfig>\n")
              .arg(folder_.filePath(QStringLiteral("bus")), serviceDir);
    if (!writeFile(config, text)) {
        return;
    }
    daemon_.start(QStringLiteral("dbus-daemon"),
        {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (daemon_.waitForStarted(kPatientMs) && daemon_.waitForReadyRead(kPatientMs)) {
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
}

PrivateBus::~PrivateBus()
{
    for (const QString& name : names_) {
        QDBusConnection::disconnectFromBus(name);
    }
    daemon_.kill();
    daemon_.waitForFinished(5000);
}

QDBusConnection PrivateBus::connect(const QString& name)
{
    names_ << name;
    return QDBusConnection::connectToBus(address_, name);
}
