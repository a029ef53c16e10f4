#include "webmapkit/MapPageErrorMonitor.h"

namespace {

// Keeps the page's onload and onerror, puts the listener in place, and as the
// page loads puts it back if the page replaced it: before the page's own
// onload runs and, since that onload is where a page sets its handlers, after
// it too.
const char* const kInstall = R"js(
(function () {
    var pageOnload = window.onload;
    function reinstall() {
        if (window.onerror !== crashwatchOnError) {
            window.crashwatchPageOnerror = window.onerror;
            window.onerror = crashwatchOnError;
        }
    }
    window.crashwatchPageOnerror = window.onerror;
    window.onerror = crashwatchOnError;
    window.onload = function () {
        reinstall();
        var result = typeof pageOnload === "function" ? pageOnload.apply(this, arguments) : undefined;
        reinstall();
        return result;
    };
})();
)js";

// The listener: the error to the native handler, then to the page's own.
const char* const kListener = R"js(
function crashwatchOnError(msg, url, line, column, error) {
    window.webkit.messageHandlers.crashwatch.postMessage({ msg: msg, url: url, line: line, column: column });
    if (typeof window.crashwatchPageOnerror === "function") {
        return window.crashwatchPageOnerror(msg, url, line, column, error);
    }
}
)js";

} // namespace

QString MapPageErrorMonitor::script()
{
    return QString::fromLatin1(kInstall) + QString::fromLatin1(kListener);
}

void MapPageErrorMonitor::install(JsPageHost::MessageHandler handler)
{
    JsPageHost::addSharedScriptMessageHandler(handlerName(), std::move(handler));
    JsPageHost::addSharedUserScript(script());
}
