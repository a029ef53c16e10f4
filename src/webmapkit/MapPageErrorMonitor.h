#pragma once

#include "webmapkit/JsPageHost.h"

#include <QString>

// Hands the uncaught errors of every map page to one handler, as a crash
// reporter watches the pages of a web view: every page gets, at the end of its
// document, an error listener on window.onerror that posts {msg, url, line,
// column} to the message handler "crashwatch" and then calls the page's own
// onerror. When the page puts its own onerror in place before its onload, the
// listener takes its place again and keeps the page's for chaining.
class MapPageErrorMonitor {
public:
    static QString handlerName() { return QStringLiteral("crashwatch"); }
    // The two scripts, joined: the listener's installation, then the listener.
    static QString script();
    // From the next load of every page on.
    static void install(JsPageHost::MessageHandler handler);
};
