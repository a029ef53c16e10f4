#pragma once

#include "webmapkit/MapClock.h"
#include "webmapkit/ScriptBridge.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <map>
#include <memory>

class QJSValue;
class QQmlError;
class QQmlEngine;
class JsNetworkFactory;
class JsPageNative;

// A map page run by a script engine of our own, without a browser: the page is
// an html wrapper naming its scripts, which run in a fresh engine at every load
// (a new generation). `window` is the global object, with setTimeout and
// clearTimeout on the map clock and XMLHttpRequest through the map network with
// the owner's User-Agent. Calls into the page are synchronous.
//
// load() answers on later turns: willStartLoading, then windowObjectCleared
// (the new window is ready for native objects), the scripts run, then
// loadFinished; a missing file, a syntax error or an exception at the top
// level of a script gives loadFailed instead. Before loadFinished the user
// scripts run (at the end of the document), then the page's window.onload.
//
// Like a browser, the page has alert (logged as "alert: <message>"),
// window.onerror (called with message, URL, line, column and the error for
// every exception the page leaves uncaught: in its scripts, its timers, its
// requests' callbacks, calls into it and the scripts it loads) and window.webkit.messageHandlers.<name>
// .postMessage(body) for the handlers added; loadScript(path) runs a local
// script file in the page.
class JsPageHost : public ScriptBridge {
    Q_OBJECT
public:
    explicit JsPageHost(QObject* parent = nullptr);
    ~JsPageHost() override;

    void setClock(MapClock* clock) { clock_ = clock; }
    void setUserAgent(const QByteArray& userAgent) { userAgent_ = userAgent; }
    QByteArray userAgent() const { return userAgent_; }

    using MessageHandler = std::function<void(const QVariant& body)>;

    // Scripts that every later load of every page runs at the end of the
    // document, and message handlers every page gets: what the application
    // adds to all its map pages.
    static void addSharedUserScript(const QString& source);
    static void addSharedScriptMessageHandler(const QString& name, MessageHandler handler);
    static void removeSharedScriptsAndHandlers();

    void load(const QString& htmlPath);
    bool isLoaded() const { return loaded_; }
    static QString errorDomain() { return QStringLiteral("org.lumetta.webmapkit.page"); }

    std::uint64_t generation() const override { return generation_; }
    ScriptObject windowObject() const override;
    QVariant callFunction(const QString& name, const QVariantList& arguments) override;
    QVariant evaluate(const QString& script) override;
    void setWindowObject(const QString& name, QObject* object) override;
    void setWindowValue(const QString& name, const QVariant& value) override;

    // Runs a local script file in the page; false when it cannot be read or threw.
    bool loadScript(const QString& path);
    void postMessage(const QString& handler, const QVariant& body);
    // Logs an exception the page left uncaught and hands it to window.onerror.
    void reportUncaught(const QJSValue& error, const QString& where);

private:
    // An exception a request's callback threw, which the engine caught.
    void reportEngineWarning(const QQmlError& warning);
    void handToOnError(const QString& message, const QJSValue& url, const QJSValue& line, const QJSValue& column,
        const QJSValue& error);

    void startPage(const QString& htmlPath, std::uint64_t generation);
    void makeEngine();
    bool runScript(const QString& path);
    void fail(const QString& text);
    QJSValue toScript(const QVariant& value) const;
    QVariant fromScript(const QJSValue& value) const;
    // The thrown value, logged, when the last run threw; false otherwise.
    bool takeException(const QString& where, const QJSValue& result);
    void runAtDocumentEnd();

    MapClock* clock_ = nullptr;
    QByteArray userAgent_;
    std::unique_ptr<JsNetworkFactory> factory_;
    std::unique_ptr<QQmlEngine> engine_;
    JsPageNative* native_ = nullptr;
    std::uint64_t generation_ = 0;
    bool loaded_ = false;
    bool reporting_ = false;
};
