#pragma once

#include "webmapkit/DesktopLocationProvider.h"

class QDBusServiceWatcher;

// The user's location from GeoClue on the system bus: the manager gives this
// connection its client, which is told the application's desktop-file id (the
// agent asks the user or its rules about that id) and the exact accuracy, then
// started; each LocationUpdated names a location object whose latitude,
// longitude and accuracy make the fix. A refusal by the agent, or a service that
// is gone, fails as refused.
class GeoClueLocationProvider : public DesktopLocationProvider {
    Q_OBJECT
public:
    static QString serviceName() { return QStringLiteral("org.freedesktop.GeoClue2"); }
    // The accuracy level asked for: street-level or better, as a map marker needs.
    static constexpr uint kAccuracyExact = 8;

    GeoClueLocationProvider(const QDBusConnection& bus, const QString& desktopId, QObject* parent = nullptr);
    ~GeoClueLocationProvider() override;

protected:
    void begin() override;
    std::optional<QDBusMessage> endMessage() override;

private slots:
    // LocationUpdated(previous, current): object paths of the old and the new location.
    void locationUpdated(const QDBusMessage& signal);

private:
    QDBusMessage clientCall(const QString& method, const QVariantList& arguments = {}) const;
    QDBusMessage setClientProperty(const QString& name, const QVariant& value) const;
    void watchClient(const QString& path);

    QString desktopId_;
    QString client_;
    QDBusServiceWatcher* serviceWatcher_ = nullptr;
};
