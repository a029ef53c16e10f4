#pragma once

#include <QLabel>
#include <QString>

// An image well that takes a dragged file and remembers its path. It does not
// load the dropped image: its owner reads strImgPath and decides.
class TAVImageView : public QLabel {
    Q_OBJECT
public:
    explicit TAVImageView(QWidget* parent = nullptr);

    // Null until a file was dropped (or the path set).
    QString strImgPath() const { return strImgPath_; }
    void setStrImgPath(const QString& path) { strImgPath_ = path; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QString strImgPath_;
};
