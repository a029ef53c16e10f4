#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

struct ProcessRun {
    int exitCode = -1;
    QString output;
    QString errors;
};

ProcessRun run(const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ProcessRun result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        result.errors = QStringLiteral("timed out");
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromUtf8(process.readAllStandardOutput());
    result.errors += QString::fromUtf8(process.readAllStandardError());
    return result;
}

// The "Desktop Entry" group's keys and values, read as the desktop reads them.
QMap<QString, QString> desktopEntryKeys(const QString& path)
{
    QMap<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return keys;
    }
    bool inEntry = false;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
        } else if (inEntry && line.contains(QLatin1Char('='))) {
            keys.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
        }
    }
    return keys;
}

std::string said(const ProcessRun& result)
{
    return (result.output + result.errors).toStdString();
}

// The environment of a machine with no display at all.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QString::fromLatin1(name));
    }
    return environment;
}

// The build installed into a staging prefix, once for every test here.
class DesktopInstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        staging_ = new TempFolder;
        installed_ = new ProcessRun(run(QStringLiteral(LUMETTA_CMAKE_COMMAND),
            {QStringLiteral("--install"), QStringLiteral(LUMETTA_BUILD_DIR), QStringLiteral("--prefix"),
                staging_->path()}));
    }
    static void TearDownTestSuite()
    {
        delete installed_;
        delete staging_;
    }
    void SetUp() override { ASSERT_EQ(installed_->exitCode, 0) << said(*installed_); }

    static QString installed(const QString& relative) { return staging_->filePath(relative); }
    static QString desktopEntry()
    {
        return installed(QStringLiteral("share/applications/" LUMETTA_DESKTOP_ID ".desktop"));
    }
    static QString program() { return installed(QStringLiteral("bin/lumetta")); }

    static inline TempFolder* staging_ = nullptr;
    static inline ProcessRun* installed_ = nullptr;
};

} // namespace

TEST_F(DesktopInstallTest, TheDesktopEntryIsValidAndNamesTheInstalledProgramAndIcon)
{
    const ProcessRun validated = run(QStringLiteral("desktop-file-validate"), {desktopEntry()});
    EXPECT_EQ(validated.exitCode, 0) << said(validated);
    EXPECT_TRUE(validated.output.isEmpty() && validated.errors.isEmpty()) << "no hints either: " << said(validated);

    const QMap<QString, QString> entry = desktopEntryKeys(desktopEntry());
    EXPECT_EQ(entry.value("Name"), QStringLiteral("Lumetta"));
    EXPECT_EQ(entry.value("GenericName"), QStringLiteral("Photo Metadata Editor"));
    EXPECT_FALSE(entry.value("Comment").isEmpty());
    EXPECT_EQ(entry.value("Categories"), QStringLiteral("Graphics;Photography;Qt;"));
    EXPECT_TRUE(entry.value("Keywords").split(QLatin1Char(';')).contains(QStringLiteral("EXIF")));
    // The program the menu starts is the one installed beside it.
    const QString exec = entry.value("Exec").section(QLatin1Char(' '), 0, 0);
    EXPECT_EQ(exec, QStringLiteral("lumetta"));
    EXPECT_TRUE(QFileInfo(installed(QStringLiteral("bin/") + exec)).isExecutable());
    // The icon it names is in the hicolor theme at every size desktops ask for.
    const QString icon = entry.value("Icon");
    EXPECT_EQ(icon, QStringLiteral(LUMETTA_DESKTOP_ID));
    for (const int pixels : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString path = installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(pixels).arg(icon));
        const QImage picture(path);
        EXPECT_EQ(picture.size(), QSize(pixels, pixels)) << path.toStdString();
        // Drawn, not empty: its centre is opaque.
        if (!picture.isNull()) {
            EXPECT_EQ(qAlpha(picture.pixel(pixels / 2, pixels / 2)), 255) << path.toStdString();
        }
    }
}

TEST_F(DesktopInstallTest, TheMetainfoIsValidAndLaunchesTheDesktopEntry)
{
    const QString metainfo = installed(QStringLiteral("share/metainfo/" LUMETTA_DESKTOP_ID ".metainfo.xml"));
    const ProcessRun validated = run(QStringLiteral("appstreamcli"),
        {QStringLiteral("validate"), QStringLiteral("--no-net"), QStringLiteral("--strict"), metainfo});
    EXPECT_EQ(validated.exitCode, 0) << said(validated);

    QFile file(metainfo);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("<id>" LUMETTA_DESKTOP_ID "</id>")));
    EXPECT_TRUE(text.contains(
        QStringLiteral("<launchable type=\"desktop-id\">%1</launchable>").arg(QFileInfo(desktopEntry()).fileName())));
    EXPECT_TRUE(text.contains(QStringLiteral("<release version=\"" LUMETTA_VERSION "\"")));
    EXPECT_TRUE(text.contains(QStringLiteral("<binary>lumetta</binary>")));
}

TEST_F(DesktopInstallTest, HelpAndVersionAnswerOnTheTerminalWithoutADisplay)
{
    const ProcessRun version = run(program(), {QStringLiteral("--version")}, withoutDisplay());
    EXPECT_EQ(version.exitCode, 0) << said(version);
    EXPECT_EQ(version.output, QStringLiteral("Lumetta " LUMETTA_VERSION "\n"));
    EXPECT_TRUE(version.errors.isEmpty()) << said(version);

    const ProcessRun shortVersion = run(program(), {QStringLiteral("-v")}, withoutDisplay());
    EXPECT_EQ(shortVersion.exitCode, 0) << said(shortVersion);
    EXPECT_EQ(shortVersion.output, version.output);

    for (const char* option : {"--help", "-h"}) {
        const ProcessRun help = run(program(), {QString::fromLatin1(option)}, withoutDisplay());
        EXPECT_EQ(help.exitCode, 0) << option << ": " << said(help);
        EXPECT_TRUE(help.output.startsWith(QStringLiteral("Usage: lumetta [options]\n"))) << said(help);
        EXPECT_TRUE(help.output.contains(QStringLiteral("--version"))) << said(help);
        EXPECT_TRUE(help.output.contains(QStringLiteral("Edit the EXIF, IPTC and XMP metadata"))) << said(help);
    }
}

// Without a display the application object would end the program at once:
// our options are answered before it is made, Qt's own passed over.
TEST_F(DesktopInstallTest, AnUnknownOptionIsRefusedWithoutADisplay)
{
    for (const QStringList& arguments : {QStringList{"--bogus"}, QStringList{"-platform", "xcb", "-reverse", "-bogus"},
             QStringList{"--style=fusion", "-x"}}) {
        const ProcessRun refused = run(program(), arguments, withoutDisplay());
        EXPECT_EQ(refused.exitCode, 2) << said(refused);
        const QString option = arguments.last().mid(arguments.last().lastIndexOf(QLatin1Char('-')) + 1);
        EXPECT_TRUE(refused.errors.contains(QStringLiteral("Unknown option '%1'").arg(option))) << said(refused);
        EXPECT_TRUE(refused.errors.contains(QStringLiteral("--help"))) << said(refused);
        EXPECT_FALSE(refused.errors.contains(QStringLiteral("platform plugin"))) << said(refused);
        EXPECT_TRUE(refused.output.isEmpty()) << said(refused);
    }
}

TEST_F(DesktopInstallTest, AnUnknownOptionIsRefusedWithAHintAndNoWindow)
{
    QProcessEnvironment offscreen = QProcessEnvironment::systemEnvironment();
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    TempFolder home;
    offscreen.insert(QStringLiteral("HOME"), home.path());
    offscreen.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    offscreen.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    offscreen.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    // Qt's own option is taken by Qt, ours is refused.
    const ProcessRun refused = run(program(),
        {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--frobnicate")}, offscreen);
    EXPECT_EQ(refused.exitCode, 2) << said(refused);
    EXPECT_TRUE(refused.errors.contains(QStringLiteral("Unknown option 'frobnicate'"))) << said(refused);
    EXPECT_TRUE(refused.errors.contains(QStringLiteral("--help"))) << said(refused);
    // Refused before any folder was made.
    EXPECT_FALSE(QFileInfo::exists(home.filePath(QStringLiteral("cache/lumetta"))));
}
