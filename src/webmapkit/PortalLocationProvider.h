#pragma once

#include "webmapkit/DesktopLocationProvider.h"

// The user's location inside a sandbox, from the desktop portal on the session
// bus: a location session at exact accuracy, started through a request whose
// response says whether the user allowed it; fixes come as LocationUpdated of
// that session. Stopping closes the session; a response other than success fails
// as refused.
class PortalLocationProvider : public DesktopLocationProvider {
    Q_OBJECT
public:
    static QString serviceName() { return QStringLiteral("org.freedesktop.portal.Desktop"); }
    // On the portal's own scale (0 none, 1 country ... 5 exact).
    static constexpr uint kAccuracyExact = 5;

    explicit PortalLocationProvider(const QDBusConnection& bus, QObject* parent = nullptr);
    ~PortalLocationProvider() override;

protected:
    void begin() override;
    std::optional<QDBusMessage> endMessage() override;

private slots:
    // LocationUpdated(session, fix) of every session of this connection.
    void locationUpdated(const QDBusMessage& signal);
    // Response(code, results) of the start request.
    void responded(const QDBusMessage& signal);

private:
    void requestStart();
    // The path the portal gives the request with `token`: known before the call,
    // so that no response can come before it is listened for.
    QString requestPath(const QString& token) const;
    void listenToRequest(const QString& path);
    QString nextToken();

    QString session_;
    QString request_;
    int tokens_ = 0;
};
