#pragma once

#include "models/image/TAVImageObject.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QWidget>

class QLabel;
class QToolButton;

// A window that shows the selected images large, one at a time with its
// title, while the user keeps working in the photo list. With several images
// its buttons page through them and it shows the place, "2 of 5". Space (or
// Escape) closes it; every other key goes to the list's view, so the arrow
// keys move the list's selection and the window follows it.
class TAVPreviewWindow : public QWidget {
    Q_OBJECT

public:
    explicit TAVPreviewWindow(QWidget* parent = nullptr);

    // The view that receives the keys this window does not take.
    void setKeyTarget(QWidget* target) { keyTarget_ = target; }
    // Shows `image` alone (nothing for null).
    void showImage(const TAVImageObjectPtr& image);
    // Pages through `images`. The image shown stays when it is still among
    // them (the list changed around it), else the first is shown.
    void showImages(const QList<TAVImageObjectPtr>& images);
    const TAVImageObjectPtr& shownImage() const { return image_; }
    const QList<TAVImageObjectPtr>& images() const { return images_; }
    // The place of the shown image among them, from 0; -1 when none is shown.
    int shownIndex() const { return index_; }
    // "i of n"; empty when there is no more than one image.
    QString placeText() const;
    void showPrevious();
    void showNext();
    const QImage& picture() const { return picture_; }

signals:
    void closeRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // A closed window holds no image: a removed photo is not kept alive by
    // it, and the next opening starts at the first image.
    void hideEvent(QHideEvent* event) override;

private:
    void showIndex(int index);
    void placePager();

    QList<TAVImageObjectPtr> images_;
    int index_ = -1;
    TAVImageObjectPtr image_;
    QImage picture_;
    QPointer<QWidget> keyTarget_;
    QWidget* pager_ = nullptr;
    QToolButton* previous_ = nullptr;
    QToolButton* next_ = nullptr;
    QLabel* place_ = nullptr;
};
