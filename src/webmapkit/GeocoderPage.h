#pragma once

#include "webmapkit/GMKPlacemark.h"
#include "webmapkit/JsPageHost.h"
#include "webmapkit/MapClock.h"
#include "webmapkit/MapError.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <optional>

// What both geocoders share: a hidden map page of their own, a query that runs
// from start() until an answer, a failure or cancel(), and the resends. The
// geocoder puts itself on the page's window under its name (only its
// Q_INVOKABLE callbacks are visible there), with the endpoint as GMKGeocoderURL.
class GeocoderPage : public QObject {
    Q_OBJECT
public:
    // How long a page that does not define its function is asked again.
    static constexpr double kResendInterval = 0.1;
    static constexpr double kQueryLimitDelay = 0.5;
    static constexpr double kGiveUpAfter = 10.0;

    ~GeocoderPage() override;

    void start();
    void cancel();

    // The page's answers that both kinds share.
    Q_INVOKABLE void didFailWithError(const QString& text);
    Q_INVOKABLE void didReachQueryLimit();
    bool isQuerying() const { return querying_; }
    JsPageHost* host() { return &host_; }

protected:
    GeocoderPage(const QString& windowName, const QString& pagePath, QObject* parent);

    // Calls the page function; undefined while the page does not define it.
    virtual QVariant sendToPage() = 0;
    virtual void reportFailure(const MapError& error) = 0;

    // For the callbacks: true when a query was running (it has ended now).
    bool finishQuery();
    void failQuery(const QString& text);
    // A success answer of the running query as a place; ends the query, and
    // reports an answer that cannot be read as a failure. Nothing when no query
    // runs or the answer is unreadable.
    std::optional<GMKPlacemark> takeSuccess(const QString& json);

private:
    void expose();
    void onLoadFinished();
    void onLoadFailed();
    void sendQuery();

    QString windowName_;
    MapClock* clock_;
    JsPageHost host_;
    QString endpoint_;
    bool querying_ = false;
    bool loaded_ = false;
    bool loadFailed_ = false;
    double firstSend_ = 0.0;
    MapClock::Handle resend_ = 0;
};
