#include "commlib/VXAboutWindowController.h"

#include "commlib/VXCommonWindow.h"
#include "foundation/AppInfo.h"

#include <QJsonObject>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

// Resources of a static library are registered by hand, at global scope.
static void registerCommonResources()
{
    Q_INIT_RESOURCE(commlib);
}

VXAboutWindowController::VXAboutWindowController(QObject* parent)
    : VXCommonWindowController(parent)
{
}

QImage VXAboutWindowController::applicationIcon()
{
    registerCommonResources();
    // The file keeps its platform name but holds a PNG; QImage reads it by content.
    return QImage(QStringLiteral(":/images/lumetta.icns"));
}

QWidget* VXAboutWindowController::makeWindow()
{
    auto* window = new VXCommonWindow();
    // A helper window: closing the main window still ends the application.
    window->setAttribute(Qt::WA_QuitOnClose, false);
    const QString name = AppInfo::builtIn().value(QStringLiteral("CFBundleName")).toString();
    window->setWindowTitle(QStringLiteral("About %1").arg(name));

    auto* icon = new QLabel(window);
    icon->setPixmap(
        QPixmap::fromImage(applicationIcon().scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    auto* title = new QLabel(name, window);
    QFont heading = title->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.6);
    title->setFont(heading);
    auto* version = new QLabel(QStringLiteral("Version %1").arg(AppInfo::version()), window);

    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(40, 24, 40, 24);
    for (QLabel* label : {icon, title, version}) {
        layout->addWidget(label, 0, Qt::AlignHCenter);
    }
    return window;
}
