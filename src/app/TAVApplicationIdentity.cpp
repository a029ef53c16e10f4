#include "app/TAVApplicationIdentity.h"

#include "foundation/AppInfo.h"

#include <QGuiApplication>

QString TAVApplicationIdentity::folderName()
{
    return QStringLiteral("lumetta");
}

QString TAVApplicationIdentity::displayName()
{
    return QStringLiteral("Lumetta");
}

QString TAVApplicationIdentity::desktopFileName()
{
    return AppInfo::bundleIdentifier();
}

void TAVApplicationIdentity::describeApplication()
{
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setApplicationName(folderName());
    QCoreApplication::setApplicationVersion(AppInfo::version());
    QGuiApplication::setApplicationDisplayName(displayName());
    QGuiApplication::setDesktopFileName(desktopFileName());
}

QIcon TAVApplicationIdentity::windowIcon()
{
    Q_INIT_RESOURCE(appicon);
    QIcon bundled;
    for (const int pixels : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        bundled.addFile(QStringLiteral(":/appicon/%1.png").arg(pixels), QSize(pixels, pixels));
    }
    return QIcon::fromTheme(desktopFileName(), bundled);
}
