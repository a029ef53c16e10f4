#include "webmapkit/GeocoderPage.h"

#include "foundation/AppInfo.h"
#include "webmapkit/GMKMapView.h"
#include "webmapkit/MapLog.h"
#include "webmapkit/MapPageAnswer.h"
#include "webmapkit/MapSearchPacing.h"
#include "webmapkit/MapUserAgent.h"

#include <QTimer>

GeocoderPage::GeocoderPage(const QString& windowName, const QString& pagePath, QObject* parent)
    : QObject(parent)
    , windowName_(windowName)
    , clock_(MapClock::defaultClock())
{
    host_.setClock(clock_);
    host_.setUserAgent(mapPageUserAgent());
    connect(&host_, &ScriptBridge::windowObjectCleared, this, &GeocoderPage::expose);
    connect(&host_, &ScriptBridge::loadFinished, this, &GeocoderPage::onLoadFinished);
    connect(&host_, &ScriptBridge::loadFailed, this, &GeocoderPage::onLoadFailed);
    host_.load(pagePath.isEmpty() ? GMKMapView::defaultPagePath() : pagePath);
}

GeocoderPage::~GeocoderPage()
{
    clock_->cancel(resend_);
}

void GeocoderPage::expose()
{
    endpoint_ = AppInfo::mapServiceEndpoint(QStringLiteral("GeocoderURL"));
    host_.setWindowObject(windowName_, this);
    host_.setWindowValue(QStringLiteral("GMKGeocoderURL"), endpoint_);
    host_.setWindowObject(QStringLiteral("GMKServices"), MapSearchPacing::shared());
}

void GeocoderPage::onLoadFinished()
{
    expose();
    loaded_ = true;
    if (querying_) {
        firstSend_ = clock_->now();
        sendQuery();
    }
}

void GeocoderPage::onLoadFailed()
{
    // Nothing will ever answer: end a running query instead of waiting.
    loadFailed_ = true;
    if (querying_) {
        failQuery(QStringLiteral("map page failed to load"));
    }
}

void GeocoderPage::start()
{
    if (querying_) {
        return;
    }
    querying_ = true;
    firstSend_ = clock_->now();
    if (loadFailed_) {
        QTimer::singleShot(0, this, [this]() {
            if (querying_) {
                failQuery(QStringLiteral("map page failed to load"));
            }
        });
    } else if (loaded_) {
        sendQuery();
    }
}

void GeocoderPage::cancel()
{
    querying_ = false;
    clock_->cancel(resend_);
    resend_ = 0;
}

void GeocoderPage::sendQuery()
{
    resend_ = 0;
    if (!querying_) {
        return;
    }
    if (sendToPage().isValid()) {
        if (endpoint_.isEmpty()) {
            // The page answers with a failure by itself; the log says why.
            qCWarning(lcMap).noquote() << "network error: no geocoder endpoint is configured (" + windowName_ + ")";
        }
        return;
    }
    // The page does not define its function (yet): ask again shortly, but not
    // for ever.
    if (clock_->now() - firstSend_ >= kGiveUpAfter) {
        failQuery(QStringLiteral("page function not defined"));
        return;
    }
    resend_ = clock_->callAfter(kResendInterval, this, [this]() { sendQuery(); });
}

bool GeocoderPage::finishQuery()
{
    const bool was = querying_;
    cancel();
    return was;
}

void GeocoderPage::failQuery(const QString& text)
{
    if (finishQuery()) {
        reportFailure(MapError{text, 0, text});
    }
}

std::optional<GMKPlacemark> GeocoderPage::takeSuccess(const QString& json)
{
    if (!querying_) {
        return std::nullopt;
    }
    const auto result = MapPageAnswer::object(json);
    auto placemark = result ? GMKPlacemark::fromWebGeocoderResult(*result) : std::nullopt;
    if (!placemark) {
        // Never a found place at (0, 0).
        failQuery(QStringLiteral("unreadable geocoder answer"));
        return std::nullopt;
    }
    finishQuery();
    return placemark;
}

void GeocoderPage::didFailWithError(const QString& text)
{
    failQuery(text);
}

void GeocoderPage::didReachQueryLimit()
{
    if (querying_) {
        clock_->cancel(resend_);
        resend_ = clock_->callAfter(kQueryLimitDelay, this, [this]() { sendQuery(); });
    }
}
