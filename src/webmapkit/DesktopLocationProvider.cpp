#include "webmapkit/DesktopLocationProvider.h"

#include "foundation/AppInfo.h"
#include "webmapkit/GeoClueLocationProvider.h"
#include "webmapkit/MapLog.h"
#include "webmapkit/PortalLocationProvider.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QFile>
#include <QTimer>

#include <atomic>
#include <cmath>

namespace {

// The bus daemon answers at once; a daemon that does not is treated as absent.
constexpr int kDaemonTimeoutMs = 2000;

QDBusConnection connectBus(const QString& address, QDBusConnection::BusType type)
{
    static std::atomic<int> connections{0};
    const QString name = QStringLiteral("lumetta-location-%1").arg(++connections);
    return address.isEmpty() ? QDBusConnection::connectToBus(type, name) : QDBusConnection::connectToBus(address, name);
}

// Owned now, or started by the bus on the first call (GeoClue is usually only
// activatable and leaves when idle).
bool hasService(const QDBusConnection& bus, const QString& service)
{
    if (!bus.isConnected()) {
        return false;
    }
    QDBusConnectionInterface* daemon = bus.interface();
    daemon->setTimeout(kDaemonTimeoutMs);
    const QDBusReply<bool> owned = daemon->isServiceRegistered(service);
    if (owned.isValid() && owned.value()) {
        return true;
    }
    const QDBusReply<QStringList> activatable = daemon->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(service);
}

std::optional<double> number(const QVariantMap& fix, const QString& key)
{
    const QVariant value = fix.value(key);
    if (value.typeId() != QMetaType::Double || !std::isfinite(value.toDouble())) {
        return std::nullopt;
    }
    return value.toDouble();
}

} // namespace

std::unique_ptr<LocationProvider> DesktopLocationProvider::create(const LocationBuses& buses, QObject* parent)
{
    if (!buses.sandboxMarker.isEmpty() && QFile::exists(buses.sandboxMarker)) {
        const QDBusConnection session = connectBus(buses.sessionAddress, QDBusConnection::SessionBus);
        if (hasService(session, PortalLocationProvider::serviceName())) {
            return std::make_unique<PortalLocationProvider>(session, parent);
        }
        QDBusConnection::disconnectFromBus(session.name());
    }
    const QDBusConnection system = connectBus(buses.systemAddress, QDBusConnection::SystemBus);
    if (hasService(system, GeoClueLocationProvider::serviceName())) {
        return std::make_unique<GeoClueLocationProvider>(system, AppInfo::bundleIdentifier(), parent);
    }
    QDBusConnection::disconnectFromBus(system.name());
    return nullptr;
}

int DesktopLocationProvider::codeForError(const QString& errorName)
{
    static const QStringList refused{QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")};
    // Spawn errors: the bus could not start the service.
    return refused.contains(errorName) || errorName.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn."))
        ? kErrorDenied
        : kErrorUnknown;
}

DesktopLocationProvider::DesktopLocationProvider(const QDBusConnection& bus, QObject* parent)
    : LocationProvider(parent)
    , bus_(bus)
{
}

DesktopLocationProvider::~DesktopLocationProvider()
{
    QDBusConnection::disconnectFromBus(bus_.name());
}

void DesktopLocationProvider::start()
{
    if (state_ == State::Starting) {
        return;
    }
    if (state_ == State::Running) {
        // Turned on again while on: the map hears the last fix again, as it
        // would from a fresh start; the service sends only changes.
        if (last_) {
            const int generation = generation_;
            QTimer::singleShot(0, this, [this, generation, fix = *last_]() {
                if (generation == generation_) {
                    emit didUpdateLocation(fix);
                }
            });
        }
        return;
    }
    state_ = State::Starting;
    begin();
}

void DesktopLocationProvider::stop()
{
    if (state_ == State::Idle) {
        return;
    }
    ++generation_;
    state_ = State::Idle;
    last_.reset();
    sendEnd();
}

void DesktopLocationProvider::call(const QDBusMessage& message, Answer answer)
{
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, answer.timeoutMs), this);
    const int generation = generation_;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, generation, answer = std::move(answer)](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            const QDBusMessage reply = finished->reply();
            const bool ok = reply.type() == QDBusMessage::ReplyMessage;
            if (generation != generation_) {
                if (ok && answer.late) {
                    answer.late(reply);
                }
            } else if (ok) {
                answer.done(reply);
            } else if (answer.failed) {
                answer.failed(reply);
            } else {
                abandon(
                    codeForError(reply.errorName()), reply.errorName() + QStringLiteral(": ") + reply.errorMessage());
            }
        });
}

void DesktopLocationProvider::callInTurn(QList<QDBusMessage> messages, const std::function<void()>& done, int timeoutMs)
{
    if (messages.isEmpty()) {
        done();
        return;
    }
    const QDBusMessage first = messages.takeFirst();
    call(first,
        {.done = [this, messages, done, timeoutMs](const QDBusMessage&) { callInTurn(messages, done, timeoutMs); },
            .timeoutMs = timeoutMs});
}

void DesktopLocationProvider::started()
{
    if (state_ == State::Starting) {
        state_ = State::Running;
    }
}

void DesktopLocationProvider::deliver(const QVariantMap& fix)
{
    if (state_ == State::Idle) {
        return;
    }
    const std::optional<double> latitude = number(fix, QStringLiteral("Latitude"));
    const std::optional<double> longitude = number(fix, QStringLiteral("Longitude"));
    if (!latitude || !longitude || std::abs(*latitude) > 90.0 || std::abs(*longitude) > 180.0) {
        qCWarning(lcMap) << "user location: the location service sent an unreadable fix";
        emit didFail(MapError{errorDomain(), kErrorUnknown, QStringLiteral("unreadable location")});
        return;
    }
    MapLocation location;
    location.coordinate = MapCoordinate{*latitude, *longitude};
    // Only a horizontal accuracy comes; MapLocation::radius() ignores a negative one.
    location.horizontalAccuracy = number(fix, QStringLiteral("Accuracy")).value_or(location.horizontalAccuracy);
    last_ = location;
    emit didUpdateLocation(location);
}

void DesktopLocationProvider::abandon(int code, const QString& text)
{
    qCWarning(lcMap).noquote() << (code == kErrorDenied ? "user location refused:" : "user location failed:") << text;
    stop();
    emit didFail(MapError{errorDomain(), code, text});
}

void DesktopLocationProvider::sendEnd()
{
    // The answer does not matter. The call is written to the socket as it is
    // sent, so the connection may close right after it.
    if (const std::optional<QDBusMessage> end = endMessage()) {
        bus_.asyncCall(*end);
    }
}
