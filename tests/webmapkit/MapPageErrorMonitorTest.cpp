#include "webmapkit/MapPageErrorMonitor.h"
#include "support/TempFolder.h"
#include "webmapkit/JsPageHost.h"
#include "webmapkit/MapTestSupport.h"
#include "webmapkit/ScriptPageSupport.h"

#include <gtest/gtest.h>

// A page's uncaught errors reach the monitor's handler wherever they happen,
// and the page's own error handler still hears them.

namespace {

const QString kThrowingPage = QStringLiteral(R"js(
var heard = [];
window.onerror = function (msg) { heard.push("first " + msg); };
function failNow() { return missingFunction(); }
setTimeout(function () { throw new Error("late failure"); }, 10);
window.onload = function () {
    // A handler put in place as the page loads is kept for chaining too.
    window.onerror = function (msg) { heard.push("second " + msg); };
};
)js");

class MapPageErrorMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapClock::setDefaultClock(&clock);
        MapPageErrorMonitor::install([this](const QVariant& body) { messages.append(body); });
    }
    void TearDown() override
    {
        JsPageHost::removeSharedScriptsAndHandlers();
        MapClock::setDefaultClock(nullptr);
    }

    ManualMapClock clock;
    TempFolder temp;
    QVariantList messages;
};

} // namespace

TEST_F(MapPageErrorMonitorTest, ErrorsOfTimersCallsAndLoadedScriptsArePostedAndChained)
{
    JsPageHost host;
    const QString page
        = writeScriptPage(temp.path(), QStringLiteral("page.html"), {{QStringLiteral("page.js"), kThrowingPage}});
    ASSERT_TRUE(loadScriptPage(host, page));
    EXPECT_TRUE(messages.isEmpty());

    MapLogCapture log;
    clock.advance(0.02);
    host.callFunction(QStringLiteral("failNow"), {});
    QFile extra(temp.filePath(QStringLiteral("extra.js")));
    ASSERT_TRUE(extra.open(QIODevice::WriteOnly));
    extra.write("var fromExtra = 1;\nnull.property;\n");
    extra.close();
    host.evaluate(QStringLiteral("loadScript('%1')").arg(extra.fileName()));

    ASSERT_EQ(messages.size(), 3);
    const QVariantMap first = messages[0].toMap();
    EXPECT_EQ(first.value(QStringLiteral("msg")).toString(), QStringLiteral("Error: late failure"));
    EXPECT_TRUE(first.value(QStringLiteral("url")).toString().endsWith(QStringLiteral("page.js")));
    EXPECT_EQ(first.value(QStringLiteral("line")).toInt(), 5);
    EXPECT_TRUE(first.contains(QStringLiteral("column")));
    EXPECT_TRUE(
        messages[1].toMap().value(QStringLiteral("msg")).toString().startsWith(QStringLiteral("ReferenceError")));
    EXPECT_TRUE(messages[2].toMap().value(QStringLiteral("url")).toString().endsWith(QStringLiteral("extra.js")));
    EXPECT_EQ(host.evaluate(QStringLiteral("fromExtra")).toInt(), 1) << "the loaded script ran";
    EXPECT_EQ(host.evaluate(QStringLiteral("heard.length")).toInt(), 3);
    EXPECT_TRUE(host.evaluate(QStringLiteral("heard[0]")).toString().startsWith(QStringLiteral("second ")));
    EXPECT_EQ(log.count(QStringLiteral("script exception in")), 3);

    // Only local files load, and an alert is only logged.
    EXPECT_FALSE(host.evaluate(QStringLiteral("loadScript('http://127.0.0.1/x.js')")).toBool());
    host.evaluate(QStringLiteral("alert('hello')"));
    EXPECT_EQ(log.count(QStringLiteral("alert: hello")), 1);
}
