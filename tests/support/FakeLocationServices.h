#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// The desktop's location services as small fakes on a private bus. Each writes
// down the calls it gets ("GetClient", "Start", "Stop", "Close") and sends a fix
// whenever it is started and the test moves it.
class FakeLocationService : public QDBusVirtualObject {
public:
    QStringList calls;

    ~FakeLocationService() override;
    QString introspect(const QString&) const override { return {}; }

    // The desk's new position; sent at once while started.
    void move(double latitude, double longitude, double accuracy);
    bool isStarted() const { return started_; }
    // Gives up the bus name, as a service that quits.
    void quit();

protected:
    FakeLocationService(QDBusConnection bus, const QString& service, const QString& root);

    virtual void sendFix() = 0;
    void answer(const QDBusMessage& call, const QVariantList& values = {});
    void refuse(const QDBusMessage& call);
    void emitSignal(const QString& path, const QString& interface, const QString& name, const QVariantList& values);
    QVariantMap fix() const { return fix_.value_or(QVariantMap()); }
    bool hasFix() const { return fix_.has_value(); }

    QDBusConnection bus_;
    QString service_;
    QString root_;
    bool started_ = false;

private:
    std::optional<QVariantMap> fix_;
};

// GeoClue: a manager whose one client takes its desktop id and accuracy level as
// properties and is started and stopped; each fix is a new location object.
class FakeGeoClue : public FakeLocationService {
public:
    static constexpr const char* kClientPath = "/org/freedesktop/GeoClue2/Client/1";

    // When set, Start fails as when the agent says no.
    bool refuses = false;
    QVariant desktopId;
    QVariant accuracyLevel;

    explicit FakeGeoClue(QDBusConnection bus);
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

protected:
    void sendFix() override;

private:
    int locations_ = 0;
};

// The desktop portal's Location: sessions made with an accuracy, started through
// a request whose response is `response` (0 allowed, 1 refused), closed by Close.
class FakeLocationPortal : public FakeLocationService {
public:
    uint response = 0;
    QVariant accuracy;

    explicit FakeLocationPortal(QDBusConnection bus);
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

protected:
    void sendFix() override;

private:
    QString path(const QString& kind, const QDBusMessage& call, const QString& token) const;

    QString session_;
};
