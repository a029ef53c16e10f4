#pragma once

#include <QObject>

class QGuiApplication;

// Tells the kit when the application becomes active, resigns and quits, under
// the notification names the kit observes.
class TAVKitLifecycleBridge : public QObject {
public:
    explicit TAVKitLifecycleBridge(QGuiApplication* application);
};
