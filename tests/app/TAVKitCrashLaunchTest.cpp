// The application with the crash kit on: a running lumetta that dies by a
// SIGSEGV leaves its report, and the next lumetta sends it to the report service.
#include "support/LoopbackHttpServer.h"
#include "support/MapServiceEnvironment.h"
#include "support/Patience.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

QProcessEnvironment kitEnvironment(const TempFolder& home, const QString& endpoint)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : environment.keys()) {
        if (name.startsWith(QStringLiteral("LUMETTA_")) || name.endsWith(QStringLiteral("Endpoint"))) {
            environment.remove(name);
        }
    }
    MapServiceEnvironment::switchOff(environment);
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LUMETTA_APIKEY"), QStringLiteral("test-key"));
    environment.insert(QStringLiteral("CrashwatchReportsEndpoint"), endpoint);
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("handle_segv=0:detect_leaks=0"));
    return environment;
}

QStringList entries(const QString& path)
{
    return QDir(path).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
}

} // namespace

TEST(TAVKitCrashLaunch, ALumettaKilledBySIGSEGVHasItsReportSentByTheNext)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.start());
    server.setHandler([](const LoopbackRequest&) { return LoopbackResponse::json("{}"); });
    TempFolder home;
    const QString v3 = home.filePath(QStringLiteral("cache/org.lumetta.kit.crashwatch.data/org.lumetta.Lumetta/v3"));

    QProcess first;
    first.setProcessEnvironment(kitEnvironment(home, server.url()));
    first.start(QStringLiteral(LUMETTA_EXECUTABLE), {});
    ASSERT_TRUE(first.waitForStarted());
    // Set up and past its first main turn: the report folder is there and the marker gone.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return entries(v3 + QStringLiteral("/active")).size() == 1 && !QFileInfo::exists(v3 + "/launchmarker"); },
        kPatientMs));
    kill(static_cast<pid_t>(first.processId()), SIGSEGV);
    ASSERT_TRUE(first.waitForFinished(kPatientMs));
    EXPECT_EQ(first.exitStatus(), QProcess::CrashExit);
    const QString report = v3 + QStringLiteral("/active/") + entries(v3 + QStringLiteral("/active")).value(0);
    EXPECT_TRUE(QFileInfo::exists(report + QStringLiteral("/signal.cwrecord")));

    QProcess second;
    second.setProcessEnvironment(first.processEnvironment());
    second.start(QStringLiteral(LUMETTA_EXECUTABLE), {});
    ASSERT_TRUE(second.waitForStarted());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !server.requests().isEmpty(); }, kPatientMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return entries(v3 + QStringLiteral("/prepared")).isEmpty(); }, kPatientMs));
    second.terminate();
    second.waitForFinished(kPatientMs);
    ASSERT_EQ(server.requests().size(), 1);
    const LoopbackRequest request = server.requests().front();
    EXPECT_EQ(request.path(), QStringLiteral("/sdk-api/v1/platforms/linux/apps/org.lumetta.Lumetta/reports"));
    EXPECT_TRUE(request.body.contains("signal.cwrecord.gz"));
    EXPECT_FALSE(QFileInfo::exists(report));
}
