#pragma once

#include <QStringList>

class FDDropView;

// What a drop view reports about drags of files. Each event does nothing
// unless a subclass overrides it; `paths` are the dragged files' paths.
class FDDropViewDelegate {
public:
    virtual ~FDDropViewDelegate() = default;

    // An acceptable drag entered the view.
    virtual void dropViewDragDidEnter(FDDropView*, const QStringList&) { }
    // Any drag left the view without a drop.
    virtual void dropViewDragDidCancel(FDDropView*, const QStringList&) { }
    // The files were dropped on the view.
    virtual void dropViewDropPerformed(FDDropView*, const QStringList&) { }
};
