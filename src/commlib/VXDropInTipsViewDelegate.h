#pragma once

#include <QStringList>

class VXDropInTipsView;

// Receives the files dropped on a tips view.
class VXDropInTipsViewDelegate {
public:
    virtual ~VXDropInTipsViewDelegate() = default;
    // True when the paths were taken.
    virtual bool didVXDropInTipsViewAcceptDrag(VXDropInTipsView* /*view*/, const QStringList& /*paths*/)
    {
        return false;
    }
};
