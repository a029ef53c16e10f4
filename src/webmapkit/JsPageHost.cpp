#include "webmapkit/JsPageHost.h"

#include "webmapkit/JsNetworkFactory.h"
#include "webmapkit/JsPageNative.h"
#include "webmapkit/JsPageTimers.h"
#include "webmapkit/MapLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJSValueIterator>
#include <QMetaMethod>
#include <QQmlEngine>
#include <QQmlError>
#include <QRegularExpression>
#include <QTimer>

namespace {

// Builds window.setTimeout and window.clearTimeout over the native timers, and
// alert, loadScript and the message handlers over the host, which stay
// reachable only through these functions. A timer's uncaught exception goes
// to the host, which hands it to window.onerror.
const char* const kWindowShim = R"js(
(function (timers, native, handlerNames) {
    window.setTimeout = function (callback, delay) {
        var rest = Array.prototype.slice.call(arguments, 2);
        if (typeof callback !== "function") { return 0; }
        return timers.schedule(function () {
            try {
                callback.apply(window, rest);
            } catch (error) {
                native.uncaught(error, "a timer");
            }
        }, Number(delay) || 0);
    };
    window.clearTimeout = function (id) { timers.cancel(Number(id) || 0); };
    window.alert = function (message) { native.alert(String(message)); };
    window.loadScript = function (path) { return native.loadScript(String(path)); };
    window.webkit = { messageHandlers: {} };
    handlerNames.forEach(function (name) {
        window.webkit.messageHandlers[name] = {
            postMessage: function (body) { native.postMessage(name, body); }
        };
    });
})
)js";

struct SharedPageSetup {
    QStringList userScripts;
    std::map<QString, JsPageHost::MessageHandler> handlers;
};

SharedPageSetup& sharedSetup()
{
    static SharedPageSetup setup;
    return setup;
}

// A plain object whose functions forward to the native object's invokable
// methods, so that nothing else of it (properties, slots, signals) is visible.
const char* const kProxyMaker = R"js(
(function (target, names) {
    var proxy = {};
    names.forEach(function (name) {
        proxy[name] = function () { return target[name].apply(target, arguments); };
    });
    return proxy;
})
)js";

QString readText(const QString& path, bool* ok)
{
    QFile file(path);
    *ok = file.open(QIODevice::ReadOnly);
    return *ok ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList scriptsNamedIn(const QString& html)
{
    static const QRegularExpression script(
        QStringLiteral(R"(<script\b[^>]*\bsrc\s*=\s*["']([^"']+)["'])"), QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    for (auto it = script.globalMatch(html); it.hasNext();) {
        names.append(it.next().captured(1));
    }
    return names;
}

QStringList invokableNames(const QObject* object)
{
    QStringList names;
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        const QString name = QString::fromLatin1(method.name());
        if (method.methodType() == QMetaMethod::Method && method.access() == QMetaMethod::Public
            && !names.contains(name)) {
            names.append(name);
        }
    }
    return names;
}

} // namespace

JsPageHost::JsPageHost(QObject* parent)
    : ScriptBridge(parent)
    , clock_(MapClock::defaultClock())
{
}

JsPageHost::~JsPageHost() = default;

void JsPageHost::addSharedUserScript(const QString& source)
{
    sharedSetup().userScripts.append(source);
}

void JsPageHost::addSharedScriptMessageHandler(const QString& name, MessageHandler handler)
{
    sharedSetup().handlers[name] = std::move(handler);
}

void JsPageHost::removeSharedScriptsAndHandlers()
{
    sharedSetup() = SharedPageSetup{};
}

void JsPageNative::alert(const QString& message)
{
    qCWarning(lcMap).noquote() << "alert:" << message;
}

bool JsPageNative::loadScript(const QString& path)
{
    return host_->loadScript(path);
}

void JsPageNative::postMessage(const QString& handler, const QVariant& body)
{
    host_->postMessage(handler, body);
}

void JsPageNative::uncaught(const QJSValue& error, const QString& where)
{
    host_->reportUncaught(error, where);
}

void JsPageHost::load(const QString& htmlPath)
{
    const std::uint64_t generation = ++generation_;
    loaded_ = false;
    QTimer::singleShot(0, this, [this, htmlPath, generation]() {
        if (generation != generation_) {
            return;
        }
        emit willStartLoading();
        QTimer::singleShot(0, this, [this, htmlPath, generation]() {
            if (generation == generation_) {
                startPage(htmlPath, generation);
            }
        });
    });
}

void JsPageHost::makeEngine()
{
    // The old engine goes, and with it its timers and its objects.
    engine_.reset();
    factory_ = std::make_unique<JsNetworkFactory>(userAgent_);
    engine_ = std::make_unique<QQmlEngine>();
    engine_->setNetworkAccessManagerFactory(factory_.get());
    // What the engine only prints comes from the page's request callbacks: it
    // goes where the page's other uncaught errors go.
    engine_->setOutputWarningsToStandardError(false);
    connect(engine_.get(), &QQmlEngine::warnings, this, [this](const QList<QQmlError>& warnings) {
        for (const QQmlError& warning : warnings) {
            reportEngineWarning(warning);
        }
    });
    QJSValue global = engine_->globalObject();
    global.setProperty(QStringLiteral("window"), global);
    auto* timers = new JsPageTimers(clock_, engine_.get());
    QJSEngine::setObjectOwnership(timers, QJSEngine::CppOwnership);
    native_ = new JsPageNative(this, engine_.get());
    QJSEngine::setObjectOwnership(native_, QJSEngine::CppOwnership);
    QStringList handlerNames;
    for (const auto& [name, handler] : sharedSetup().handlers) {
        handlerNames.append(name);
    }
    engine_->evaluate(QString::fromLatin1(kWindowShim))
        .call({engine_->newQObject(timers), engine_->newQObject(native_), engine_->toScriptValue(handlerNames)});
}

void JsPageHost::startPage(const QString& htmlPath, std::uint64_t generation)
{
    bool ok = false;
    const QString html = readText(htmlPath, &ok);
    if (!ok) {
        fail(QStringLiteral("the page %1 cannot be read").arg(htmlPath));
        return;
    }
    makeEngine();
    emit windowObjectCleared();
    if (generation != generation_) {
        return;
    }
    const QDir folder = QFileInfo(htmlPath).dir();
    for (const QString& name : scriptsNamedIn(html)) {
        if (!runScript(folder.filePath(name)) || generation != generation_) {
            return;
        }
    }
    runAtDocumentEnd();
    if (generation != generation_) {
        return;
    }
    loaded_ = true;
    emit loadFinished();
}

void JsPageHost::runAtDocumentEnd()
{
    // A copy: a script may add to the shared list.
    const QStringList userScripts = sharedSetup().userScripts;
    for (const QString& source : userScripts) {
        takeException(QStringLiteral("a user script"), engine_->evaluate(source));
    }
    QJSValue onload = engine_->globalObject().property(QStringLiteral("onload"));
    if (onload.isCallable()) {
        takeException(QStringLiteral("onload"), onload.callWithInstance(engine_->globalObject()));
    }
}

bool JsPageHost::loadScript(const QString& path)
{
    // Only a local file; a page reaches nothing else.
    if (!engine_ || !QFileInfo(path).isAbsolute() || path.startsWith(QLatin1String(":"))) {
        qCWarning(lcMap).noquote() << "the page may load only local script files, not" << path;
        return false;
    }
    bool ok = false;
    const QString source = readText(path, &ok);
    if (!ok) {
        qCWarning(lcMap).noquote() << "the script" << path << "cannot be read";
        return false;
    }
    return !takeException(path, engine_->evaluate(source, path));
}

void JsPageHost::postMessage(const QString& handler, const QVariant& body)
{
    const auto found = sharedSetup().handlers.find(handler);
    if (found != sharedSetup().handlers.end() && found->second) {
        // A copy: the handler may replace itself. The body as plain values
        // (an object becomes a map), as a native handler reads it.
        const MessageHandler call = found->second;
        call(body.metaType() == QMetaType::fromType<QJSValue>() ? body.value<QJSValue>().toVariant() : body);
    }
}

void JsPageHost::reportUncaught(const QJSValue& error, const QString& where)
{
    qCWarning(lcMap).noquote() << "script exception in" << where << ":" << error.toString();
    handToOnError(error.toString(), error.property(QStringLiteral("fileName")),
        error.property(QStringLiteral("lineNumber")), QJSValue(0), error);
}

void JsPageHost::reportEngineWarning(const QQmlError& warning)
{
    // The engine catches what a request's callbacks throw and hands on only
    // its text: "TypeError: ...". The error is made again from it.
    const QString text = warning.description();
    static const QList<std::pair<QString, QJSValue::ErrorType>> kinds{
        {QStringLiteral("EvalError: "), QJSValue::EvalError}, {QStringLiteral("RangeError: "), QJSValue::RangeError},
        {QStringLiteral("ReferenceError: "), QJSValue::ReferenceError},
        {QStringLiteral("SyntaxError: "), QJSValue::SyntaxError}, {QStringLiteral("TypeError: "), QJSValue::TypeError},
        {QStringLiteral("URIError: "), QJSValue::URIError}, {QStringLiteral("Error: "), QJSValue::GenericError}};
    QJSValue error;
    for (const auto& [prefix, kind] : kinds) {
        if (text.startsWith(prefix)) {
            error = engine_->newErrorObject(kind, text.mid(prefix.size()));
            break;
        }
    }
    if (error.isUndefined()) {
        error = engine_->newErrorObject(QJSValue::GenericError, text);
    }
    qCWarning(lcMap).noquote() << "script exception in an XMLHttpRequest callback :" << warning.toString();
    handToOnError(
        text, QJSValue(warning.url().toString()), QJSValue(warning.line()), QJSValue(warning.column()), error);
}

void JsPageHost::handToOnError(
    const QString& message, const QJSValue& url, const QJSValue& line, const QJSValue& column, const QJSValue& error)
{
    if (!engine_ || reporting_) {
        return;
    }
    QJSValue onerror = engine_->globalObject().property(QStringLiteral("onerror"));
    if (!onerror.isCallable()) {
        return;
    }
    // An exception of the handler itself is only logged, never reported again.
    reporting_ = true;
    const QJSValue result
        = onerror.callWithInstance(engine_->globalObject(), {QJSValue(message), url, line, column, error});
    if (result.isError()) {
        qCWarning(lcMap).noquote() << "script exception in onerror:" << result.toString();
    }
    reporting_ = false;
}

bool JsPageHost::runScript(const QString& path)
{
    bool ok = false;
    const QString source = readText(path, &ok);
    if (!ok) {
        fail(QStringLiteral("the script %1 cannot be read").arg(path));
        return false;
    }
    const QJSValue result = engine_->evaluate(source, path);
    if (takeException(path, result)) {
        fail(QStringLiteral("the script %1 failed: %2").arg(path, result.toString()));
        return false;
    }
    return true;
}

void JsPageHost::fail(const QString& text)
{
    qCWarning(lcMap).noquote() << "map page load failed:" << text;
    emit loadFailed(MapError{errorDomain(), 1, text});
}

bool JsPageHost::takeException(const QString& where, const QJSValue& result)
{
    if (engine_->hasError()) {
        reportUncaught(engine_->catchError(), where);
        return true;
    }
    if (result.isError()) {
        reportUncaught(result, where);
        return true;
    }
    return false;
}

ScriptObject JsPageHost::windowObject() const
{
    return engine_ ? ScriptObject(engine_->globalObject(), generation_, const_cast<JsPageHost*>(this)) : ScriptObject();
}

QVariant JsPageHost::callFunction(const QString& name, const QVariantList& arguments)
{
    if (!engine_) {
        return QVariant();
    }
    QJSValue global = engine_->globalObject();
    QJSValue function = global.property(name);
    if (!function.isCallable()) {
        return QVariant();
    }
    QJSValueList values;
    for (const QVariant& argument : arguments) {
        values.append(toScript(argument));
    }
    const QJSValue result = function.callWithInstance(global, values);
    return takeException(name, result) ? QVariant() : fromScript(result);
}

QVariant JsPageHost::evaluate(const QString& script)
{
    if (!engine_) {
        return QVariant();
    }
    const QJSValue result = engine_->evaluate(script);
    return takeException(QStringLiteral("evaluated script"), result) ? QVariant() : fromScript(result);
}

void JsPageHost::setWindowObject(const QString& name, QObject* object)
{
    if (!engine_) {
        return;
    }
    if (object == nullptr) {
        engine_->globalObject().setProperty(name, QJSValue(QJSValue::NullValue));
        return;
    }
    QJSEngine::setObjectOwnership(object, QJSEngine::CppOwnership);
    const QJSValue maker = engine_->evaluate(QString::fromLatin1(kProxyMaker));
    const QJSValue proxy = maker.call({engine_->newQObject(object), engine_->toScriptValue(invokableNames(object))});
    engine_->globalObject().setProperty(name, proxy);
}

void JsPageHost::setWindowValue(const QString& name, const QVariant& value)
{
    if (engine_) {
        engine_->globalObject().setProperty(name, toScript(value));
    }
}

QJSValue JsPageHost::toScript(const QVariant& value) const
{
    if (!value.isValid()) {
        return QJSValue(QJSValue::UndefinedValue);
    }
    if (value.metaType() == QMetaType::fromType<ScriptObject>()) {
        const ScriptObject object = value.value<ScriptObject>();
        // An object of an earlier load means nothing to this page.
        return object.bridge() == this && object.generation() == generation_ ? object.value()
                                                                             : QJSValue(QJSValue::UndefinedValue);
    }
    if (value.metaType() == QMetaType::fromType<std::nullptr_t>()) {
        return QJSValue(QJSValue::NullValue);
    }
    if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        const QVariantList list = value.toList();
        QJSValue array = engine_->newArray(static_cast<uint>(list.size()));
        for (int i = 0; i < list.size(); ++i) {
            array.setProperty(static_cast<quint32>(i), toScript(list[i]));
        }
        return array;
    }
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
        const QVariantMap map = value.toMap();
        QJSValue object = engine_->newObject();
        for (auto it = map.begin(); it != map.end(); ++it) {
            object.setProperty(it.key(), toScript(it.value()));
        }
        return object;
    }
    return engine_->toScriptValue(value);
}

QVariant JsPageHost::fromScript(const QJSValue& value) const
{
    if (value.isUndefined()) {
        return QVariant();
    }
    if (value.isNull()) {
        return QVariant::fromValue(nullptr);
    }
    if (value.isObject()) {
        return QVariant::fromValue(ScriptObject(value, generation_, const_cast<JsPageHost*>(this)));
    }
    return value.toVariant();
}
