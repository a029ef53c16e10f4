#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class VXDropInTipsViewDelegate;

// The empty photo list's invitation: a prompt on a coloured ground that takes
// dropped files and hands their paths to its delegate. It brightens while
// files are dragged over it.
class VXDropInTipsView : public QWidget {
    Q_OBJECT
public:
    explicit VXDropInTipsView(QWidget* parent = nullptr);

    QString strPromot() const { return strPromot_; }
    void setStrPromot(const QString& prompt);
    QColor clrNorBg() const { return clrNorBg_; }
    void setClrNorBg(const QColor& colour);
    // Not owned; clear it when the delegate goes.
    void setDelegate(VXDropInTipsViewDelegate* delegate) { delegate_ = delegate; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setDragging(bool dragging);

    QString strPromot_;
    QColor clrNorBg_;
    bool dragging_ = false;
    VXDropInTipsViewDelegate* delegate_ = nullptr;
};
