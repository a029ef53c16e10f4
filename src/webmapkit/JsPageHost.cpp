#include "webmapkit/JsPageHost.h"

#include "webmapkit/JsNetworkFactory.h"
#include "webmapkit/JsPageTimers.h"
#include "webmapkit/MapLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJSValueIterator>
#include <QMetaMethod>
#include <QQmlEngine>
#include <QRegularExpression>
#include <QTimer>

namespace {

// Builds window.setTimeout and window.clearTimeout over the native timers, which
// stay reachable only through these two functions.
const char* const kTimerShim = R"js(
(function (timers) {
    window.setTimeout = function (callback, delay) {
        var rest = Array.prototype.slice.call(arguments, 2);
        if (typeof callback !== "function") { return 0; }
        return timers.schedule(function () { callback.apply(window, rest); }, Number(delay) || 0);
    };
    window.clearTimeout = function (id) { timers.cancel(Number(id) || 0); };
})
)js";

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
    QJSValue global = engine_->globalObject();
    global.setProperty(QStringLiteral("window"), global);
    auto* timers = new JsPageTimers(clock_, engine_.get());
    QJSEngine::setObjectOwnership(timers, QJSEngine::CppOwnership);
    engine_->evaluate(QString::fromLatin1(kTimerShim)).call({engine_->newQObject(timers)});
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
    loaded_ = true;
    emit loadFinished();
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
        const QJSValue thrown = engine_->catchError();
        qCWarning(lcMap).noquote() << "script exception in" << where << ":" << thrown.toString();
        return true;
    }
    if (result.isError()) {
        qCWarning(lcMap).noquote() << "script exception in" << where << ":" << result.toString();
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
