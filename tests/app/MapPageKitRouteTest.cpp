// An uncaught error of a map page ends up in the crash kit as a JavaScript
// exception, as the application routes it once its kit runs.
#include "app/TAVAppDelegate.h"
#include "kit/crash/CWContextConfiguration.h"
#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/CWRecordReader.h"
#include "kit/support/KBSerialQueue.h"
#include "support/TempFolder.h"
#include "webmapkit/GMKMapView.h"
#include "webmapkit/MapViewTestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

TEST(MapPageKitRoute, APageThatThrowsLeavesAJavaScriptExceptionRecord)
{
    TempFolder folder;
    const std::string reportPath = folder.path().toStdString();
    // The crash context as the kit sets it up at launch, with what custom
    // exceptions need.
    CWContextConfiguration configuration;
    configuration.reportPath = reportPath.c_str();
    configuration.customExceptionsEnabled = 1;
    configuration.maxCustomExceptions = 8;
    configuration.logBufferSize = 65536;
    ASSERT_TRUE(CWContextInitialize(&configuration));

    TAVAppDelegate::routeMapPageErrorsToKit();
    const QString page = writeScriptPage(folder.path(), QStringLiteral("map.html"),
        {{QStringLiteral("page.js"),
            QStringLiteral("function selectSomething() { throw new TypeError('no such pin'); }\n")}});
    GMKMapView view(nullptr, page);
    ASSERT_TRUE(waitForLoad(view.host()));
    view.host()->callFunction(QStringLiteral("selectSomething"), {});
    CWContextLoggingQueue()->sync([] {});
    CWContextLoggingQueue()->sync([] {});

    const auto records = CWFileReadSections(
        (reportPath + "/custom_exception_a.cwrecord").c_str(), false, CWRecordKindFilter("exception"))
                             .value_or(std::vector<nlohmann::json>());
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0]["type"], "javascript");
    EXPECT_EQ(CWHexDecode(records[0]["name"].get<std::string>()), "exception");
    EXPECT_EQ(CWHexDecode(records[0]["reason"].get<std::string>()), "TypeError: no such pin");
    JsPageHost::removeSharedScriptsAndHandlers();
    CWContextTeardown();
}
