#include "support/FakeLocationServices.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

FakeLocationService::FakeLocationService(QDBusConnection bus, const QString& service, const QString& root)
    : bus_(bus)
    , service_(service)
    , root_(root)
{
    bus_.registerVirtualObject(root_, this, QDBusConnection::SubPath);
    bus_.registerService(service_);
}

FakeLocationService::~FakeLocationService()
{
    bus_.unregisterObject(root_, QDBusConnection::UnregisterTree);
    bus_.unregisterService(service_);
}

void FakeLocationService::move(double latitude, double longitude, double accuracy)
{
    fix_ = QVariantMap{{QStringLiteral("Latitude"), latitude}, {QStringLiteral("Longitude"), longitude},
        {QStringLiteral("Accuracy"), accuracy}, {QStringLiteral("Altitude"), -1.7976931348623157e308}};
    if (started_) {
        sendFix();
    }
}

void FakeLocationService::quit()
{
    bus_.unregisterService(service_);
}

void FakeLocationService::answer(const QDBusMessage& call, const QVariantList& values)
{
    bus_.send(call.createReply(values));
}

void FakeLocationService::refuse(const QDBusMessage& call)
{
    bus_.send(call.createErrorReply(QDBusError::AccessDenied, QStringLiteral("not allowed for this application")));
}

void FakeLocationService::emitSignal(
    const QString& path, const QString& interface, const QString& name, const QVariantList& values)
{
    QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
    signal.setArguments(values);
    bus_.send(signal);
}

FakeGeoClue::FakeGeoClue(QDBusConnection bus)
    : FakeLocationService(bus, QStringLiteral("org.freedesktop.GeoClue2"), QStringLiteral("/org/freedesktop/GeoClue2"))
{
}

bool FakeGeoClue::handleMessage(const QDBusMessage& message, const QDBusConnection&)
{
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    if (message.path() == QLatin1String("/org/freedesktop/GeoClue2/Manager") && member == QLatin1String("GetClient")) {
        calls << member;
        answer(message, {QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kClientPath)))});
    } else if (message.path() == QLatin1String(kClientPath) && member == QLatin1String("Set") && args.size() == 3) {
        const QVariant value = args[2].value<QDBusVariant>().variant();
        (args[1].toString() == QLatin1String("DesktopId") ? desktopId : accuracyLevel) = value;
        answer(message);
    } else if (message.path() == QLatin1String(kClientPath) && member == QLatin1String("Start")) {
        calls << member;
        if (refuses) {
            refuse(message);
            return true;
        }
        started_ = true;
        answer(message);
        if (hasFix()) {
            sendFix();
        }
    } else if (message.path() == QLatin1String(kClientPath) && member == QLatin1String("Stop")) {
        calls << member;
        started_ = false;
        answer(message);
    } else if (message.path().startsWith(QLatin1String(kClientPath) + QStringLiteral("/Location/"))
        && member == QLatin1String("GetAll")) {
        answer(message, {fix()});
    } else {
        return false;
    }
    return true;
}

void FakeGeoClue::sendFix()
{
    const QString previous
        = locations_ == 0 ? QStringLiteral("/") : QStringLiteral("%1/Location/%2").arg(kClientPath).arg(locations_);
    const QString current = QStringLiteral("%1/Location/%2").arg(kClientPath).arg(++locations_);
    emitSignal(QString::fromLatin1(kClientPath), QStringLiteral("org.freedesktop.GeoClue2.Client"),
        QStringLiteral("LocationUpdated"),
        {QVariant::fromValue(QDBusObjectPath(previous)), QVariant::fromValue(QDBusObjectPath(current))});
}

FakeLocationPortal::FakeLocationPortal(QDBusConnection bus)
    : FakeLocationService(
        bus, QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"))
{
}

bool FakeLocationPortal::handleMessage(const QDBusMessage& message, const QDBusConnection&)
{
    const QString member = message.member();
    const QList<QVariant> args = message.arguments();
    const auto options = [&](int index) { return qdbus_cast<QVariantMap>(args.value(index).value<QDBusArgument>()); };
    if (member == QLatin1String("CreateSession") && args.size() == 1) {
        calls << member;
        accuracy = options(0).value(QStringLiteral("accuracy"));
        session_ = path(
            QStringLiteral("session"), message, options(0).value(QStringLiteral("session_handle_token")).toString());
        answer(message, {QVariant::fromValue(QDBusObjectPath(session_))});
    } else if (member == QLatin1String("Start") && args.size() == 3) {
        calls << member;
        const QString request
            = path(QStringLiteral("request"), message, options(2).value(QStringLiteral("handle_token")).toString());
        answer(message, {QVariant::fromValue(QDBusObjectPath(request))});
        emitSignal(request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"),
            {response, QVariantMap()});
        started_ = response == 0;
        if (started_ && hasFix()) {
            sendFix();
        }
    } else if (member == QLatin1String("Close") && message.path() == session_) {
        calls << member;
        started_ = false;
        answer(message);
    } else {
        return false;
    }
    return true;
}

void FakeLocationPortal::sendFix()
{
    emitSignal(root_, QStringLiteral("org.freedesktop.portal.Location"), QStringLiteral("LocationUpdated"),
        {QVariant::fromValue(QDBusObjectPath(session_)), fix()});
}

QString FakeLocationPortal::path(const QString& kind, const QDBusMessage& call, const QString& token) const
{
    QString sender = call.service().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("%1/%2/%3/%4").arg(root_, kind, sender, token);
}
