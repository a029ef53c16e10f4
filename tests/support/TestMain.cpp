// The one main() of every test executable: an offscreen QApplication, Qt's test
// mode for standard paths, and a private home folder and no bus so that no test
// ever touches a real user's settings, files or desktop services.
#include "models/formats/ExivRuntime.h"
#include "support/MapServiceEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);

    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/lumetta-test-home-XXXXXX"));
    if (!home.isValid()) {
        return 2;
    }
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/.cache")).toUtf8());
    const QString runtime = home.path() + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    // No test reaches the machine's own buses or starts one: D-Bus tests run a
    // private daemon with fake services and name it themselves.
    const QByteArray noBus = "unix:path=" + (runtime + QStringLiteral("/no-bus")).toUtf8();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", noBus);
    qputenv("DBUS_SESSION_BUS_ADDRESS", noBus);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    MapServiceEnvironment::switchOff();
    QStandardPaths::setTestModeEnabled(true);

    QApplication application(argc, argv);
    // Named as the application names itself: no organisation, so that its
    // folders are ".../lumetta", not ".../Lumetta/Lumetta".
    QApplication::setApplicationName(QStringLiteral("lumetta"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path() + QStringLiteral("/settings"));

    ExivRuntime::initialize();

    return RUN_ALL_TESTS();
}
