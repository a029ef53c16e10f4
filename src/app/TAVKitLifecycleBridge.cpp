#include "app/TAVKitLifecycleBridge.h"

#include "kit/support/KBNotificationCenter.h"

#include <QGuiApplication>

TAVKitLifecycleBridge::TAVKitLifecycleBridge(QGuiApplication* application)
    : QObject(application)
{
    connect(application, &QGuiApplication::applicationStateChanged, this, [](Qt::ApplicationState state) {
        auto& center = KBNotificationCenter::defaultCenter();
        if (state == Qt::ApplicationActive) {
            center.post("NSApplicationWillBecomeActiveNotification");
            center.post("NSApplicationDidBecomeActiveNotification");
        } else {
            center.post("NSApplicationWillResignActiveNotification");
            center.post("NSApplicationDidResignActiveNotification");
        }
    });
    connect(application, &QCoreApplication::aboutToQuit, this,
        [] { KBNotificationCenter::defaultCenter().post("NSApplicationWillTerminateNotification"); });
}
