#pragma once

#include "webmapkit/LocationProvider.h"

#include <QPointer>
#include <QUrl>

class QNetworkReply;

// A location service over HTTP: GET of the endpoint answering
// {"latitude", "longitude", "accuracy"}; one fix per start.
class HttpLocationProvider : public LocationProvider {
    Q_OBJECT
public:
    explicit HttpLocationProvider(const QString& endpoint, QObject* parent = nullptr);
    ~HttpLocationProvider() override;

    void start() override;
    void stop() override;

private:
    void answer(const QByteArray& body, bool ok, const QString& errorText);

    QUrl endpoint_;
    QPointer<QNetworkReply> reply_;
};
