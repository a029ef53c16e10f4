#include "webmapkit/PortalLocationProvider.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>

namespace {

const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kLocationInterface = QStringLiteral("org.freedesktop.portal.Location");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const char* const kResponseSlot = SLOT(responded(QDBusMessage));

QDBusMessage portalCall(const QString& method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        PortalLocationProvider::serviceName(), kPortalPath, kLocationInterface, method);
    message.setArguments(arguments);
    return message;
}

QDBusMessage closeCall(const QString& session)
{
    return QDBusMessage::createMethodCall(
        PortalLocationProvider::serviceName(), session, kSessionInterface, QStringLiteral("Close"));
}

} // namespace

PortalLocationProvider::PortalLocationProvider(const QDBusConnection& bus, QObject* parent)
    : DesktopLocationProvider(bus, parent)
{
    this->bus().connect(serviceName(), kPortalPath, kLocationInterface, QStringLiteral("LocationUpdated"), this,
        SLOT(locationUpdated(QDBusMessage)));
}

PortalLocationProvider::~PortalLocationProvider()
{
    stop();
}

void PortalLocationProvider::begin()
{
    const QVariantMap options{
        {QStringLiteral("session_handle_token"), nextToken()}, {QStringLiteral("accuracy"), kAccuracyExact}};
    call(portalCall(QStringLiteral("CreateSession"), {options}),
        {.done =
                [this](const QDBusMessage& reply) {
                    session_ = reply.arguments().value(0).value<QDBusObjectPath>().path();
                    requestStart();
                },
            .late =
                [this](const QDBusMessage& reply) {
                    // Made after a stop: nobody wants it.
                    bus().asyncCall(closeCall(reply.arguments().value(0).value<QDBusObjectPath>().path()));
                }});
}

void PortalLocationProvider::requestStart()
{
    const QString token = nextToken();
    listenToRequest(requestPath(token));
    const QVariantList arguments{QVariant::fromValue(QDBusObjectPath(session_)), QString(),
        QVariantMap{{QStringLiteral("handle_token"), token}}};
    call(portalCall(QStringLiteral("Start"), arguments), {.done = [this](const QDBusMessage& reply) {
        // Older portals choose the path themselves.
        listenToRequest(reply.arguments().value(0).value<QDBusObjectPath>().path());
    }});
}

std::optional<QDBusMessage> PortalLocationProvider::endMessage()
{
    listenToRequest(QString());
    if (session_.isEmpty()) {
        return std::nullopt;
    }
    const QString session = session_;
    session_.clear();
    return closeCall(session);
}

void PortalLocationProvider::locationUpdated(const QDBusMessage& signal)
{
    const QList<QVariant> arguments = signal.arguments();
    if (!session_.isEmpty() && arguments.value(0).value<QDBusObjectPath>().path() == session_) {
        deliver(qdbus_cast<QVariantMap>(arguments.value(1).value<QDBusArgument>()));
    }
}

void PortalLocationProvider::responded(const QDBusMessage& signal)
{
    const QVariant code = signal.arguments().value(0);
    const uint response = code.typeId() == QMetaType::UInt ? code.toUInt() : 2;
    listenToRequest(QString());
    if (response == 0) {
        started();
    } else {
        // 1: the user said no; 2: the portal ended it another way (no permission,
        // no location service behind it). Either way no fix will come.
        abandon(kErrorDenied, QStringLiteral("the location portal answered %1").arg(response));
    }
}

QString PortalLocationProvider::requestPath(const QString& token) const
{
    QString sender = bus().baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

void PortalLocationProvider::listenToRequest(const QString& path)
{
    if (path == request_) {
        return;
    }
    if (!request_.isEmpty()) {
        bus().disconnect(serviceName(), request_, kRequestInterface, QStringLiteral("Response"), this, kResponseSlot);
    }
    request_ = path;
    if (!request_.isEmpty()) {
        bus().connect(serviceName(), request_, kRequestInterface, QStringLiteral("Response"), this, kResponseSlot);
    }
}

QString PortalLocationProvider::nextToken()
{
    return QStringLiteral("lumetta%1").arg(++tokens_);
}
