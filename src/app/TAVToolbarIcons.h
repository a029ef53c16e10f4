#pragma once

#include <QIcon>
#include <QString>

// The main window's toolbar pictures, drawn at run time so they stay sharp
// at any scale: one per toolbar identifier, plus "drawer_open" and
// "drawer_close" for the item that shows or hides the photo list.
class TAVToolbarIcons {
public:
    // A null icon for an unknown name.
    static QIcon icon(const QString& name);
};
