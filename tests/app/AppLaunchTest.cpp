#include "support/LoopbackHttpServer.h"
#include "support/MapServiceEnvironment.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Launch {
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString errors;
};

// Runs the built application in a private home, with its main window closed
// by the preloaded helper as soon as it shows. The kit's settings come from
// `settingsEndpoint` when one is given; `alsoSet` names more variables the
// helper reads, set to 1.
Launch launchAndCloseMainWindow(const TempFolder& home, const QByteArray& apiKey, const QByteArray& logRules = {},
    int closeAfterMs = 0, const QString& settingsEndpoint = {}, const QStringList& alsoSet = {})
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
    environment.insert(QStringLiteral("LUMETTA_APIKEY"), QString::fromUtf8(apiKey));
    environment.remove(QStringLiteral("QT_LOGGING_RULES"));
    if (!logRules.isEmpty()) {
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QString::fromUtf8(logRules));
    }
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(LUMETTA_LAUNCH_CLOSER));
    environment.insert(QStringLiteral("LUMETTA_CLOSE_AFTER_MS"), QString::number(closeAfterMs));
    if (!settingsEndpoint.isEmpty()) {
        environment.insert(QStringLiteral("SettingsEndpoint"), settingsEndpoint);
    }
    for (const QString& name : alsoSet) {
        environment.insert(name, QStringLiteral("1"));
    }
    // Sanitizer builds: the helper is loaded ahead of the sanitizer runtime.
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
        environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));

    QProcess application;
    application.setProcessEnvironment(environment);
    application.start(QStringLiteral(LUMETTA_EXECUTABLE), {});
    Launch launch;
    // The test's own servers answer on this thread meanwhile.
    if (!QTest::qWaitFor([&application] { return application.state() == QProcess::NotRunning; }, 60000)) {
        application.kill();
        application.waitForFinished();
    }
    launch.exitCode = application.exitCode();
    launch.status = application.exitStatus();
    launch.errors = QString::fromUtf8(application.readAllStandardError());
    return launch;
}

// What the kit recorded of a launch that crashed: the files of its active
// report, so that a failure says where the process was.
QString kitRecordOfCrash(const TempFolder& home)
{
    QString record;
    QDirIterator files(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (!path.contains(QStringLiteral("/active/"))) {
            continue;
        }
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            record += QStringLiteral("--- %1\n%2\n").arg(path, QString::fromUtf8(file.read(16384)));
        }
    }
    return record;
}

} // namespace

TEST(AppLaunch, ClosingTheMainWindowEndsTheApplicationWithTheKitOffOrOn)
{
    const QString kitStore = QStringLiteral("data/org.lumetta.Lumetta/org.lumetta.kit/CWUserDefaults.plist");

    TempFolder withoutKey;
    const Launch off = launchAndCloseMainWindow(withoutKey, QByteArray());
    EXPECT_EQ(off.status, QProcess::NormalExit) << off.errors.toStdString();
    EXPECT_EQ(off.exitCode, 0) << off.errors.toStdString();
    EXPECT_TRUE(off.errors.contains(QStringLiteral("closing the main window"))) << off.errors.toStdString();
    // The working copies' folder is in the cache folder, never in the data folder that backups copy.
    EXPECT_TRUE(QFileInfo(withoutKey.filePath(QStringLiteral("cache/lumetta/Temp/src_temp"))).isDir());
    EXPECT_FALSE(QFileInfo::exists(withoutKey.filePath(QStringLiteral("data/lumetta/Temp"))));
    // Nothing of the kit reaches the disk without a key, and no folder name is doubled.
    for (const QString& name :
        QDir(withoutKey.filePath(QStringLiteral("data"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries)) {
        EXPECT_EQ(name, QStringLiteral("lumetta"));
    }
    // The desktop finds the window's entry and icon.
    EXPECT_TRUE(off.errors.contains(QStringLiteral("desktop file name '%1', version '%2', window icon shown")
                                        .arg(QStringLiteral(LUMETTA_DESKTOP_ID), QStringLiteral(LUMETTA_VERSION))))
        << off.errors.toStdString();
    // Quiet by default: no debug or information lines, such as the kit's "no key" line.
    EXPECT_FALSE(off.errors.contains(QStringLiteral("No API key"))) << off.errors.toStdString();
    EXPECT_FALSE(off.errors.contains(QStringLiteral("Tab will active"))) << off.errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(withoutKey.filePath(QStringLiteral("cache/org.lumetta.kit.core.data"))));

    // With a key the kit runs. Closed at once, the window goes while the kit
    // starts and its settings request is in its TLS handshake; closed later,
    // the introduction (a window of its own) is up and must not keep the
    // application running. Without endpoints its requests fail at once.
    LoopbackHttpServer settings;
    ASSERT_TRUE(settings.startHttps());
    for (const int closeAfterMs : {0, 2500}) {
        SCOPED_TRACE(closeAfterMs);
        TempFolder withKey;
        const QString endpoint = closeAfterMs == 0 ? settings.url() : QString();
        const Launch on = launchAndCloseMainWindow(withKey, QByteArrayLiteral("test-key"), {}, closeAfterMs, endpoint);
        const std::string output = (on.errors + kitRecordOfCrash(withKey)).toStdString();
        EXPECT_EQ(on.status, QProcess::NormalExit) << output;
        EXPECT_EQ(on.exitCode, 0) << output;
        EXPECT_TRUE(on.errors.contains(QStringLiteral("closing the main window"))) << output;
        EXPECT_TRUE(QFileInfo::exists(withKey.filePath(kitStore))) << "the kit started and keeps its installation id";
    }
}

TEST(AppLaunch, TheLoggingRulesOfTheEnvironmentTurnTheDebugAndInformationLinesOn)
{
    TempFolder home;
    const Launch told = launchAndCloseMainWindow(home, QByteArray(), "lumetta.*.debug=true;lumetta.*.info=true");
    EXPECT_EQ(told.exitCode, 0) << told.errors.toStdString();
    EXPECT_TRUE(told.errors.contains(QStringLiteral("No API key is configured; the kit stays off")))
        << told.errors.toStdString();
    EXPECT_TRUE(told.errors.contains(QStringLiteral("Tab will active with title: Summary")))
        << told.errors.toStdString();
}

// The wheel rule for value controls is the application's own, put in place by
// its start-up: the launched application's window, with nothing chosen, lets
// a wheel turn over its pop-ups, spin boxes and sliders change none of them.
TEST(AppLaunch, TheWheelTurnsNoValueControlTheUserHasNotChosen)
{
    TempFolder home;
    const Launch launch
        = launchAndCloseMainWindow(home, QByteArray(), {}, 0, {}, {QStringLiteral("LUMETTA_PROBE_WHEEL")});
    const std::string output = launch.errors.toStdString();
    EXPECT_EQ(launch.exitCode, 0) << output;
    const QRegularExpressionMatch probe
        = QRegularExpression(QStringLiteral("wheel over (\\d+) value controls not chosen: (\\d+) changed"))
              .match(launch.errors);
    ASSERT_TRUE(probe.hasMatch()) << output;
    EXPECT_GE(probe.captured(1).toInt(), 2) << output;
    EXPECT_EQ(probe.captured(2).toInt(), 0) << output;
}
