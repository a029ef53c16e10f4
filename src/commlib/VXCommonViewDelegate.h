#pragma once

#include <QStringList>

class QWidget;

// Receives the files dropped on a common view.
class VXCommonViewDelegate {
public:
    virtual ~VXCommonViewDelegate() = default;
    // True when the paths were taken.
    virtual bool didWindowAccepteDragFiles(QWidget* /*window*/, const QStringList& /*paths*/) { return false; }
};
