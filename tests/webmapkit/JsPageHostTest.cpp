#include "webmapkit/JsPageHost.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"
#include "webmapkit/MapTestSupport.h"
#include "webmapkit/ScriptPageSupport.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kFirstScript = QStringLiteral(R"js(
var order = ["a"];
var counter = 0;
var thing = { name: "thing" };
function add(x, y) { return x + y; }
function bump() { counter += 1; return counter; }
function thrower() { throw new Error("boom"); }
function echo(value) { return value; }
function getThing() { return thing; }
function typeOf(value) { return typeof value; }
)js");

const QString kSecondScript = QStringLiteral(R"js(
order.push("b");
function fetchIt(url) {
    var request = new XMLHttpRequest();
    request.onreadystatechange = function () {
        if (request.readyState === 4) { window.result = request.status + ":" + request.responseText; }
    };
    request.open("GET", url);
    request.send();
}
)js");

// A native object with one invokable method among things a page must not see.
class NativeObject : public QObject {
    Q_OBJECT
    Q_PROPERTY(int level READ level CONSTANT)
public:
    Q_INVOKABLE int twice(int value) const { return 2 * value; }
    int level() const { return 7; }
public slots:
    void hidden() { }
signals:
    void changed();
};

class JsPageHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapClock::setDefaultClock(&clock);
        page = writeScriptPage(temp.path(), QStringLiteral("page.html"),
            {{QStringLiteral("first.js"), kFirstScript}, {QStringLiteral("second.js"), kSecondScript}});
    }
    void TearDown() override { MapClock::setDefaultClock(nullptr); }

    ManualMapClock clock;
    TempFolder temp;
    QString page;
};

} // namespace

TEST_F(JsPageHostTest, LoadsOnLaterTurnsInOrderAndCallsAreSynchronous)
{
    JsPageHost host;
    QStringList events;
    QObject::connect(&host, &ScriptBridge::willStartLoading, [&]() { events << "willStartLoading"; });
    QObject::connect(&host, &ScriptBridge::windowObjectCleared,
        [&]() { events << "windowObjectCleared:" + host.evaluate(QStringLiteral("typeof order")).toString(); });
    QObject::connect(&host, &ScriptBridge::loadFinished, [&]() { events << "loadFinished"; });
    host.load(page);
    EXPECT_TRUE(events.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&]() { return host.isLoaded(); }, kPatientMs));
    EXPECT_EQ(events, (QStringList{"willStartLoading", "windowObjectCleared:undefined", "loadFinished"}));
    EXPECT_EQ(host.evaluate(QStringLiteral("order.join()")).toString(), QStringLiteral("a,b"));

    EXPECT_EQ(host.callFunction(QStringLiteral("add"), {2, 3}).toInt(), 5);
    EXPECT_EQ(host.callFunction(QStringLiteral("bump"), {}).toInt(), 1);
    EXPECT_EQ(host.evaluate(QStringLiteral("counter")).toInt(), 1);
    EXPECT_FALSE(host.callFunction(QStringLiteral("noSuchFunction"), {1}).isValid());
    EXPECT_EQ(host.callFunction(QStringLiteral("echo"), {QVariant(QVariantList{1, "two", true})})
                  .value<ScriptObject>()
                  .value()
                  .property(1)
                  .toString(),
        QStringLiteral("two"));
    EXPECT_EQ(host.callFunction(QStringLiteral("typeOf"), {QVariant()}).toString(), QStringLiteral("undefined"));

    MapLogCapture log;
    EXPECT_FALSE(host.callFunction(QStringLiteral("thrower"), {}).isValid());
    EXPECT_EQ(log.count(QStringLiteral("script exception")), 1);
    EXPECT_TRUE(log.lines().first().contains(QStringLiteral("boom")));
}

TEST_F(JsPageHostTest, BrokenPagesFailToLoad)
{
    struct Case {
        const char* name;
        QString path;
    };
    const Case cases[] = {
        {"missing page", temp.filePath(QStringLiteral("nowhere.html"))},
        {"missing script",
            writeScriptPage(temp.path(), QStringLiteral("gap.html"),
                {{QStringLiteral("ok.js"), QStringLiteral("var ok = 1;")}}, {QStringLiteral("gone.js")})},
        {"syntax error",
            writeScriptPage(temp.path(), QStringLiteral("syntax.html"),
                {{QStringLiteral("bad.js"), QStringLiteral("function (")}})},
        {"top-level exception",
            writeScriptPage(temp.path(), QStringLiteral("throws.html"),
                {{QStringLiteral("throws.js"), QStringLiteral("var x = 1;\nthrow new Error('at load');")}})},
    };
    for (const Case& c : cases) {
        MapLogCapture log;
        JsPageHost host;
        QSignalSpy failed(&host, &ScriptBridge::loadFailed);
        EXPECT_FALSE(loadScriptPage(host, c.path)) << c.name;
        EXPECT_EQ(failed.size(), 1) << c.name;
        EXPECT_FALSE(host.isLoaded()) << c.name;
        EXPECT_GE(log.count(QStringLiteral("load failed")), 1) << c.name;
    }
}

TEST_F(JsPageHostTest, PageObjectsKeepTheirIdentityUntilTheNextLoad)
{
    JsPageHost host;
    ASSERT_TRUE(loadScriptPage(host, page));
    const ScriptObject thing = host.evaluate(QStringLiteral("thing")).value<ScriptObject>();
    const ScriptObject again = host.callFunction(QStringLiteral("getThing"), {}).value<ScriptObject>();
    const ScriptObject other = host.evaluate(QStringLiteral("({ name: 'thing' })")).value<ScriptObject>();
    EXPECT_TRUE(thing.isValid());
    EXPECT_EQ(thing, again);
    EXPECT_FALSE(thing == other);
    EXPECT_EQ(host.callFunction(QStringLiteral("echo"), {QVariant::fromValue(thing)}).value<ScriptObject>(), thing);
    EXPECT_FALSE(thing.isStale());

    const auto firstGeneration = host.generation();
    ASSERT_TRUE(loadScriptPage(host, page));
    EXPECT_GT(host.generation(), firstGeneration);
    EXPECT_TRUE(thing.isStale());
    const ScriptObject fresh = host.callFunction(QStringLiteral("getThing"), {}).value<ScriptObject>();
    EXPECT_FALSE(fresh == thing);
    EXPECT_EQ(host.callFunction(QStringLiteral("typeOf"), {QVariant::fromValue(thing)}).toString(),
        QStringLiteral("undefined"))
        << "an object of an earlier load reaches the new page as undefined";
}

TEST_F(JsPageHostTest, NativeObjectsShowOnlyTheirInvokableMethods)
{
    JsPageHost host;
    NativeObject native;
    native.setObjectName(QStringLiteral("secret"));
    QObject::connect(
        &host, &ScriptBridge::windowObjectCleared, [&]() { host.setWindowObject(QStringLiteral("native"), &native); });
    ASSERT_TRUE(loadScriptPage(host, page));
    EXPECT_EQ(host.evaluate(QStringLiteral("native.twice(21)")).toInt(), 42);
    for (const char* hidden : {"hidden", "level", "changed", "objectName", "deleteLater", "destroyed"}) {
        EXPECT_EQ(host.evaluate(QStringLiteral("typeof native.%1").arg(QLatin1String(hidden))).toString(),
            QStringLiteral("undefined"))
            << hidden;
    }
}

TEST_F(JsPageHostTest, TimersRunOnTheMapClock)
{
    JsPageHost host;
    ASSERT_TRUE(loadScriptPage(host, page));
    host.evaluate(QStringLiteral("var fired = 0; setTimeout(function (n) { fired += n; }, 500, 1);"
                                 "var id = setTimeout(function () { fired += 10; }, 100); clearTimeout(id);"
                                 "setTimeout(function () { throw new Error('late'); }, 50);"));
    MapLogCapture log;
    clock.advance(0.4);
    EXPECT_EQ(host.evaluate(QStringLiteral("fired")).toInt(), 0);
    EXPECT_EQ(log.count(QStringLiteral("script exception")), 1);
    clock.advance(0.2);
    EXPECT_EQ(host.evaluate(QStringLiteral("fired")).toInt(), 1);

    // A reload drops the old page's timers.
    host.evaluate(QStringLiteral("setTimeout(function () { order.push('stale'); }, 100);"));
    ASSERT_TRUE(loadScriptPage(host, page));
    clock.advance(1.0);
    EXPECT_EQ(host.evaluate(QStringLiteral("order.join()")).toString(), QStringLiteral("a,b"));
}

TEST_F(JsPageHostTest, PageRequestsCarryTheOwnersUserAgent)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    server.setHandler([](const LoopbackRequest&) { return LoopbackResponse::json("[1]"); });
    JsPageHost host;
    host.setUserAgent("Lumetta AppleWebKit");
    ASSERT_TRUE(loadScriptPage(host, page));
    host.callFunction(QStringLiteral("fetchIt"), {server.url(QStringLiteral("/geo?q=Main%20Street"))});
    ASSERT_TRUE(
        QTest::qWaitFor([&]() { return host.evaluate(QStringLiteral("window.result")).isValid(); }, kPatientMs));
    EXPECT_EQ(host.evaluate(QStringLiteral("window.result")).toString(), QStringLiteral("200:[1]"));
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].target, QByteArray("/geo?q=Main%20Street"));
    EXPECT_EQ(server.requests()[0].header("User-Agent"), QByteArray("Lumetta AppleWebKit"));
}

// The page's own requests follow redirects, each a request of the map network.
TEST_F(JsPageHostTest, PageRequestsFollowRedirects)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    server.setHandler([](const LoopbackRequest& request) {
        LoopbackResponse moved;
        moved.status = 302;
        moved.headers.append(qMakePair(QByteArray("Location"), QByteArray("/geo?q=2")));
        return request.path() == QLatin1String("/old") ? moved : LoopbackResponse::json("[2]");
    });
    JsPageHost host;
    ASSERT_TRUE(loadScriptPage(host, page));
    host.callFunction(QStringLiteral("fetchIt"), {server.url(QStringLiteral("/old"))});
    ASSERT_TRUE(
        QTest::qWaitFor([&]() { return host.evaluate(QStringLiteral("window.result")).isValid(); }, kPatientMs));
    EXPECT_EQ(host.evaluate(QStringLiteral("window.result")).toString(), QStringLiteral("200:[2]"));
    ASSERT_EQ(server.requestCount(), 2);
    EXPECT_EQ(server.requests()[1].target, QByteArray("/geo?q=2"));
}

#include "JsPageHostTest.moc"
