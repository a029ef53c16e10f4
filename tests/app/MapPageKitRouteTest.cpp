// An uncaught error of a map page ends up in the crash kit as a JavaScript
// exception, as the application routes it once its kit runs.
#include "app/TAVAppDelegate.h"
#include "kit/crash/CWContextConfiguration.h"
#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/CWRecordReader.h"
#include "kit/support/KBSerialQueue.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "support/TempFolder.h"
#include "webmapkit/GMKMapView.h"
#include "webmapkit/MapViewTestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// The crash context as the kit sets it up at launch, with what custom
// exceptions need.
bool initializeKitContext(const std::string& reportPath)
{
    CWContextConfiguration configuration;
    configuration.reportPath = reportPath.c_str();
    configuration.customExceptionsEnabled = 1;
    configuration.maxCustomExceptions = 8;
    configuration.logBufferSize = 65536;
    return CWContextInitialize(&configuration);
}

std::vector<nlohmann::json> exceptionRecords(const std::string& reportPath)
{
    CWContextLoggingQueue()->sync([] {});
    CWContextLoggingQueue()->sync([] {});
    return CWFileReadSections(
        (reportPath + "/custom_exception_a.cwrecord").c_str(), false, CWRecordKindFilter("exception"))
        .value_or(std::vector<nlohmann::json>());
}

} // namespace

TEST(MapPageKitRoute, APageThatThrowsLeavesAJavaScriptExceptionRecord)
{
    TempFolder folder;
    const std::string reportPath = folder.path().toStdString();
    ASSERT_TRUE(initializeKitContext(reportPath));

    TAVAppDelegate::routeMapPageErrorsToKit();
    const QString page = writeScriptPage(folder.path(), QStringLiteral("map.html"),
        {{QStringLiteral("page.js"),
            QStringLiteral("function selectSomething() { throw new TypeError('no such pin'); }\n")}});
    GMKMapView view(nullptr, page);
    ASSERT_TRUE(waitForLoad(view.host()));
    view.host()->callFunction(QStringLiteral("selectSomething"), {});

    const auto records = exceptionRecords(reportPath);
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0]["type"], "javascript");
    EXPECT_EQ(CWHexDecode(records[0]["name"].get<std::string>()), "exception");
    EXPECT_EQ(CWHexDecode(records[0]["reason"].get<std::string>()), "TypeError: no such pin");
    JsPageHost::removeSharedScriptsAndHandlers();
    CWContextTeardown();
}

// What a request's callbacks throw, when its answer comes or when it fails,
// is a page error like any other.
TEST(MapPageKitRoute, ErrorsThrownInARequestsCallbacksLeaveJavaScriptExceptionRecords)
{
    TempFolder folder;
    const std::string reportPath = folder.path().toStdString();
    ASSERT_TRUE(initializeKitContext(reportPath));
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    server.setHandler([](const LoopbackRequest&) { return LoopbackResponse::json("{}"); });

    TAVAppDelegate::routeMapPageErrorsToKit();
    const QString page
        = writeScriptPage(folder.path(), QStringLiteral("map.html"), {{QStringLiteral("page.js"), QStringLiteral(R"js(
var heard = [];
function ask(url) {
    var request = new XMLHttpRequest();
    request.onreadystatechange = function () {
        if (request.readyState === XMLHttpRequest.DONE) {
            heard.push(request.status);
            throw new RangeError("state " + request.status);
        }
    };
    request.onload = function () { missingHelper(); };
    request.open("GET", url);
    request.send();
}
)js")}});
    GMKMapView view(nullptr, page);
    ASSERT_TRUE(waitForLoad(view.host()));
    view.host()->callFunction(QStringLiteral("ask"), {server.url(QStringLiteral("/answer"))});
    ASSERT_TRUE(QTest::qWaitFor([&] { return exceptionRecords(reportPath).size() >= 2; }, kPatientMs));
    view.host()->callFunction(QStringLiteral("ask"), {LoopbackHttpServer::refusedUrl(QStringLiteral("/none"))});
    ASSERT_TRUE(QTest::qWaitFor([&] { return exceptionRecords(reportPath).size() >= 3; }, kPatientMs));

    const auto records = exceptionRecords(reportPath);
    ASSERT_EQ(records.size(), 3U);
    QStringList reasons;
    for (const nlohmann::json& record : records) {
        EXPECT_EQ(record["type"], "javascript");
        reasons.append(QString::fromStdString(CWHexDecode(record["reason"].get<std::string>())));
    }
    EXPECT_EQ(reasons.value(0), "RangeError: state 200");
    EXPECT_TRUE(reasons.value(1).startsWith("ReferenceError")) << reasons.value(1).toStdString();
    EXPECT_EQ(reasons.value(2), "RangeError: state 0") << "a failed request's callback";
    EXPECT_EQ(view.host()->evaluate(QStringLiteral("heard.join()")).toString(), "200,0");
    JsPageHost::removeSharedScriptsAndHandlers();
    CWContextTeardown();
}
