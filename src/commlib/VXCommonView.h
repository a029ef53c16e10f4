#pragma once

#include <QWidget>

class VXCommonViewDelegate;

// A plain container that, when drag and drop is on, takes dropped files for
// its window and hands their paths to its delegate.
class VXCommonView : public QWidget {
    Q_OBJECT
public:
    explicit VXCommonView(QWidget* parent = nullptr);

    bool enableDragAndDrop() const { return acceptDrops(); }
    void setEnableDragAndDrop(bool enable) { setAcceptDrops(enable); }
    // Not owned; clear it when the delegate goes.
    void setWndDelegate(VXCommonViewDelegate* delegate) { delegate_ = delegate; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    VXCommonViewDelegate* delegate_ = nullptr;
};
