#include "webmapkit/GeoClueLocationProvider.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace {

const QString kManagerPath = QStringLiteral("/org/freedesktop/GeoClue2/Manager");
const QString kManagerInterface = QStringLiteral("org.freedesktop.GeoClue2.Manager");
const QString kClientInterface = QStringLiteral("org.freedesktop.GeoClue2.Client");
const QString kLocationInterface = QStringLiteral("org.freedesktop.GeoClue2.Location");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// Start waits while the agent asks the user.
constexpr int kStartTimeoutMs = 5 * 60 * 1000;

} // namespace

GeoClueLocationProvider::GeoClueLocationProvider(const QDBusConnection& bus, const QString& desktopId, QObject* parent)
    : DesktopLocationProvider(bus, parent)
    , desktopId_(desktopId)
    , serviceWatcher_(new QDBusServiceWatcher(serviceName(), bus, QDBusServiceWatcher::WatchForUnregistration, this))
{
    connect(serviceWatcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this]() {
        if (isLive()) {
            client_.clear();
            abandon(kErrorDenied, QStringLiteral("the location service went away"));
        }
    });
}

GeoClueLocationProvider::~GeoClueLocationProvider()
{
    stop();
}

void GeoClueLocationProvider::begin()
{
    call(QDBusMessage::createMethodCall(serviceName(), kManagerPath, kManagerInterface, QStringLiteral("GetClient")),
        {.done = [this](const QDBusMessage& reply) {
            const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
            if (path.isEmpty()) {
                abandon(kErrorUnknown, QStringLiteral("the location service gave no client"));
                return;
            }
            watchClient(path);
            callInTurn(
                {setClientProperty(QStringLiteral("DesktopId"), desktopId_),
                    setClientProperty(QStringLiteral("RequestedAccuracyLevel"), kAccuracyExact),
                    clientCall(QStringLiteral("Start"))},
                [this]() { started(); }, kStartTimeoutMs);
        }});
}

std::optional<QDBusMessage> GeoClueLocationProvider::endMessage()
{
    if (client_.isEmpty()) {
        return std::nullopt;
    }
    return clientCall(QStringLiteral("Stop"));
}

void GeoClueLocationProvider::locationUpdated(const QDBusMessage& signal)
{
    const QString current = signal.arguments().value(1).value<QDBusObjectPath>().path();
    if (!isLive() || current.isEmpty()) {
        return;
    }
    QDBusMessage read
        = QDBusMessage::createMethodCall(serviceName(), current, kPropertiesInterface, QStringLiteral("GetAll"));
    read << kLocationInterface;
    call(read,
        {.done =
                [this](const QDBusMessage& reply) {
                    deliver(qdbus_cast<QVariantMap>(reply.arguments().value(0).value<QDBusArgument>()));
                },
            .failed =
                [this](const QDBusMessage& reply) {
                    // One fix that cannot be read; the next one may.
                    emit didFail(MapError{errorDomain(), kErrorUnknown, reply.errorMessage()});
                }});
}

QDBusMessage GeoClueLocationProvider::clientCall(const QString& method, const QVariantList& arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(serviceName(), client_, kClientInterface, method);
    message.setArguments(arguments);
    return message;
}

QDBusMessage GeoClueLocationProvider::setClientProperty(const QString& name, const QVariant& value) const
{
    QDBusMessage message
        = QDBusMessage::createMethodCall(serviceName(), client_, kPropertiesInterface, QStringLiteral("Set"));
    message << kClientInterface << name << QVariant::fromValue(QDBusVariant(value));
    return message;
}

void GeoClueLocationProvider::watchClient(const QString& path)
{
    if (path == client_) {
        return;
    }
    const QString signal = QStringLiteral("LocationUpdated");
    const char* slot = SLOT(locationUpdated(QDBusMessage));
    if (!client_.isEmpty()) {
        bus().disconnect(serviceName(), client_, kClientInterface, signal, this, slot);
    }
    client_ = path;
    bus().connect(serviceName(), client_, kClientInterface, signal, this, slot);
}
