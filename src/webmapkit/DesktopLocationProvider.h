#pragma once

#include "webmapkit/LocationProvider.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

#include <functional>
#include <optional>

// What the providers over the desktop's location service on D-Bus share: a bus
// connection of their own, the start and stop states, answers that come after a
// stop are dropped, and bus errors become the codes of LocationProvider. Every
// call is asynchronous: the GUI never waits for the service, which may itself
// wait for the user to allow the location.
class DesktopLocationProvider : public LocationProvider {
    Q_OBJECT
public:
    ~DesktopLocationProvider() override;

    void start() override;
    void stop() override;

    // The desktop service that `buses` offer: the portal when the sandbox marker
    // exists and the portal is on the session bus, else GeoClue when it is on the
    // system bus; nullptr when neither is.
    static std::unique_ptr<LocationProvider> create(const LocationBuses& buses, QObject* parent);

    // The code of LocationProvider for a D-Bus error name: refused when the
    // service said no or is not there to ask.
    static int codeForError(const QString& errorName);

protected:
    using Reply = std::function<void(const QDBusMessage&)>;
    struct Answer {
        Reply done = {};
        // An error answer; when not given, the start is abandoned with the error's code.
        Reply failed = {};
        // A successful answer that came after a stop.
        Reply late = {};
        int timeoutMs = 25000;
    };

    // Takes over `bus`, a connection of the provider's own, closed with the
    // provider. The concrete providers stop() in their destructors, while
    // endMessage() still answers, so that a running service hears the end.
    DesktopLocationProvider(const QDBusConnection& bus, QObject* parent);

    QDBusConnection& bus() { return bus_; }
    const QDBusConnection& bus() const { return bus_; }
    bool isLive() const { return state_ != State::Idle; }

    // Asks the service for fixes; ends in started(), or abandon() on an error.
    virtual void begin() = 0;
    // The call that tells the service no more fixes are wanted, when one is due;
    // forgets the service's session.
    virtual std::optional<QDBusMessage> endMessage() = 0;

    void call(const QDBusMessage& message, Answer answer);
    // Calls `messages` one after the other, each after the last succeeded.
    void callInTurn(QList<QDBusMessage> messages, const std::function<void()>& done, int timeoutMs);
    void started();
    // A fix from the service's dictionary of "Latitude", "Longitude" and
    // "Accuracy"; one it cannot read fails with code 0 and updates go on.
    void deliver(const QVariantMap& fix);
    // Gives up this start: the service hears the end, the map hears `code`.
    void abandon(int code, const QString& text);

private:
    enum class State { Idle, Starting, Running };

    void sendEnd();

    QDBusConnection bus_;
    State state_ = State::Idle;
    int generation_ = 0;
    std::optional<MapLocation> last_;
};
