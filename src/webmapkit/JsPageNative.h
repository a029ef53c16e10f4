#pragma once

#include <QJSValue>
#include <QObject>
#include <QString>
#include <QVariant>

class JsPageHost;

// What a page's own helpers (alert, loadScript, the message handlers, the
// error report of timers) call on the host. The page sees it only through
// those helpers.
class JsPageNative : public QObject {
    Q_OBJECT
public:
    explicit JsPageNative(JsPageHost* host, QObject* parent = nullptr)
        : QObject(parent)
        , host_(host)
    {
    }

    Q_INVOKABLE void alert(const QString& message);
    Q_INVOKABLE bool loadScript(const QString& path);
    Q_INVOKABLE void postMessage(const QString& handler, const QVariant& body);
    Q_INVOKABLE void uncaught(const QJSValue& error, const QString& where);

private:
    JsPageHost* host_;
};
