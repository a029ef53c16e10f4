#pragma once

#include "webmapkit/MapError.h"
#include "webmapkit/ScriptObject.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <cstdint>

// A map page and its script, as native code sees it. Values cross as QVariant:
// numbers, booleans, text, lists (arrays) and ScriptObject for script objects;
// undefined comes back as an invalid QVariant. Calls are synchronous and run on
// the GUI thread. Every load makes a new window object and a new generation.
class ScriptBridge : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual std::uint64_t generation() const = 0;
    // The page's window (its global object); invalid before the first load.
    virtual ScriptObject windowObject() const = 0;
    // Calls window[name](args...); undefined when there is no such function or
    // it threw (the exception is logged).
    virtual QVariant callFunction(const QString& name, const QVariantList& arguments) = 0;
    // Runs script text in the page; its value, or undefined when it threw.
    virtual QVariant evaluate(const QString& script) = 0;
    // Puts a native object on the window; only its Q_INVOKABLE methods are visible.
    virtual void setWindowObject(const QString& name, QObject* object) = 0;
    // Puts a plain value (or a ScriptObject) on the window.
    virtual void setWindowValue(const QString& name, const QVariant& value) = 0;

signals:
    void willStartLoading();
    void windowObjectCleared();
    void loadFinished();
    void loadFailed(const MapError& error);
};
