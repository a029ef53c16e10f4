#pragma once

#include "commlib/VXCommonWindowController.h"

#include <QImage>

// The about window: the application's icon, name and version.
class VXAboutWindowController : public VXCommonWindowController {
    Q_OBJECT
public:
    explicit VXAboutWindowController(QObject* parent = nullptr);

    void showWindow() { showNormalWindow(); }

    // The application icon as the resources carry it ("images/lumetta.icns").
    static QImage applicationIcon();

protected:
    QWidget* makeWindow() override;
};
