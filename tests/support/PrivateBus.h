#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A dbus-daemon of the test's own: a session-type configuration written into a
// temporary folder, its socket there too, gone with the object. Names listed as
// activatable can be started by the bus, and fail to start (the program exits
// at once), as a service that is installed but broken.
class PrivateBus {
public:
    explicit PrivateBus(const QStringList& activatable = {});
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the daemon did not start.
    QString address() const { return address_; }
    // A connection of the test's own to the bus, closed with the bus.
    QDBusConnection connect(const QString& name);

private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
    QStringList names_;
};
