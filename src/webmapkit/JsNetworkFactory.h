#pragma once

#include <QByteArray>
#include <QQmlNetworkAccessManagerFactory>

// Gives a script page's engine its network access: the map network's rules with
// the page owner's User-Agent.
class JsNetworkFactory : public QQmlNetworkAccessManagerFactory {
public:
    explicit JsNetworkFactory(QByteArray userAgent)
        : userAgent_(std::move(userAgent))
    {
    }
    QNetworkAccessManager* create(QObject* parent) override;

private:
    QByteArray userAgent_;
};
