#include "app/TAVPreviewWindow.h"

#include "models/TAVImageCacheManager.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>

namespace {

constexpr int kCaptionHeight = 30;

} // namespace

TAVPreviewWindow::TAVPreviewWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::Tool)
{
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setFocusPolicy(Qt::StrongFocus);
    resize(640, 520);
    setMinimumSize(200, 160);
}

void TAVPreviewWindow::showImage(const TAVImageObjectPtr& image)
{
    image_ = image;
    picture_ = image ? TAVImageCacheManager::sharedInstance().getImage(image->path()) : QImage();
    setWindowTitle(image ? image->previewItemTitle() : QString());
    update();
}

void TAVPreviewWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.fillRect(rect(), QColor(38, 38, 40));
    const QRect area = rect().adjusted(12, 12, -12, -12 - kCaptionHeight);
    if (!picture_.isNull() && !area.isEmpty()) {
        QSizeF fitted = QSizeF(picture_.size());
        if (fitted.width() > area.width() || fitted.height() > area.height()) {
            fitted.scale(QSizeF(area.size()), Qt::KeepAspectRatio);
        }
        const QRectF target(area.left() + (area.width() - fitted.width()) / 2.0,
            area.top() + (area.height() - fitted.height()) / 2.0, fitted.width(), fitted.height());
        painter.drawImage(target, picture_);
    }
    painter.setPen(QColor(235, 235, 235));
    const QRect caption(0, height() - kCaptionHeight - 6, width(), kCaptionHeight);
    painter.drawText(caption, Qt::AlignCenter, fontMetrics().elidedText(windowTitle(), Qt::ElideMiddle, width() - 24));
}

void TAVPreviewWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Escape) {
        emit closeRequested();
        event->accept();
        return;
    }
    if (keyTarget_) {
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text(), event->isAutoRepeat(),
            ushort(event->count()));
        QApplication::sendEvent(keyTarget_, &copy);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
