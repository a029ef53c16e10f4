#pragma once

#include "models/TAVImageObject.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

// A window that shows one image large, with its title, while the user keeps
// working in the photo list: Space (or Escape) closes it, every other key goes
// to the list's view, so the arrow keys move the selection and the window
// follows it.
class TAVPreviewWindow : public QWidget {
    Q_OBJECT

public:
    explicit TAVPreviewWindow(QWidget* parent = nullptr);

    // The view that receives the keys this window does not take.
    void setKeyTarget(QWidget* target) { keyTarget_ = target; }
    // Shows `image` (nothing for null) with its title.
    void showImage(const TAVImageObjectPtr& image);
    const TAVImageObjectPtr& shownImage() const { return image_; }
    const QImage& picture() const { return picture_; }

signals:
    void closeRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    TAVImageObjectPtr image_;
    QImage picture_;
    QPointer<QWidget> keyTarget_;
};
