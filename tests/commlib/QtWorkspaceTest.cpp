#include "commlib/QtWorkspace.h"

#include "support/Patience.h"
#include "support/PrivateBus.h"
#include "support/TempFolder.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Stands in for the desktop: catches every URL instead of launching anything.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher()
    {
        for (const QString& scheme : {QStringLiteral("file"), QStringLiteral("https")}) {
            QDesktopServices::setUrlHandler(scheme, this, "open");
        }
    }
    ~UrlCatcher() override
    {
        for (const QString& scheme : {QStringLiteral("file"), QStringLiteral("https")}) {
            QDesktopServices::unsetUrlHandler(scheme);
        }
    }
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

// The file manager's D-Bus object, answering on a private bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;

public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown << uris; }
};

} // namespace

TEST(QtWorkspace, OpensFilesAndUrlsThroughTheDesktop)
{
    UrlCatcher desktop;
    QtWorkspace workspace(QDBusConnection(QStringLiteral("no bus")));
    EXPECT_TRUE(workspace.openFile(QStringLiteral("/photos/a b.jpg")));
    EXPECT_TRUE(workspace.openUrl(QUrl(QStringLiteral("https://photos.invalid/help"))));
    EXPECT_TRUE(workspace.revealFile(QStringLiteral("/photos/a b.jpg")));
    EXPECT_EQ(desktop.opened,
        QList<QUrl>({QUrl::fromLocalFile(QStringLiteral("/photos/a b.jpg")),
            QUrl(QStringLiteral("https://photos.invalid/help")), QUrl::fromLocalFile(QStringLiteral("/photos"))}))
        << "without a bus, revealing opens the folder";
}

TEST(QtWorkspace, RevealsThroughTheFileManagerOrOpensTheFolder)
{
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty());
    TempFolder folder;
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    const QString photos = folder.filePath(QStringLiteral("My Photos"));
    ASSERT_TRUE(QDir().mkpath(photos));
    const QString photo = photos + QStringLiteral("/Fjällräven été.jpg");

    UrlCatcher desktop;
    QtWorkspace workspace(bus.connect(QStringLiteral("workspace")));
    FakeFileManager fileManager;
    QDBusConnection server = bus.connect(QStringLiteral("file manager"));
    ASSERT_TRUE(server.registerObject(
        QStringLiteral("/org/freedesktop/FileManager1"), &fileManager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.FileManager1")));

    EXPECT_TRUE(workspace.revealFile(photo));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fileManager.shown.isEmpty(); }, kPatientMs));
    ASSERT_EQ(fileManager.shown.size(), 1);
    EXPECT_TRUE(fileManager.shown.first().startsWith(QStringLiteral("file:///")));
    EXPECT_TRUE(
        fileManager.shown.first().endsWith(QStringLiteral("/My%20Photos/Fj%C3%A4llr%C3%A4ven%20%C3%A9t%C3%A9.jpg")))
        << fileManager.shown.first().toStdString();
    EXPECT_TRUE(desktop.opened.isEmpty());

    server.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    EXPECT_TRUE(workspace.revealFile(photo));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.opened.isEmpty(); }, kPatientMs));
    EXPECT_EQ(desktop.opened, QList<QUrl>({QUrl::fromLocalFile(photos)}));
    EXPECT_EQ(fileManager.shown.size(), 1);
}

#include "QtWorkspaceTest.moc"
