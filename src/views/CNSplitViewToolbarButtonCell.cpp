#include "views/CNSplitViewToolbarButtonCell.h"

#include "views/CNSplitViewToolbar.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QString>

namespace {

// Light above, darker below; pressed buttons get a deeper gradient.
QLinearGradient bezelGradient(const QRect& frame, const QColor& top, const QColor& bottom)
{
    QLinearGradient gradient(QRectF(frame).topLeft(), QRectF(frame).bottomLeft());
    gradient.setColorAt(0.0, top);
    gradient.setColorAt(1.0, bottom);
    return gradient;
}

} // namespace

double CNSplitViewToolbarButtonCell::imageOpacity(bool enabled, bool activeWindow)
{
    if (!enabled) {
        return dimmedOpacity;
    }
    return activeWindow ? fullOpacity : dimmedOpacity;
}

void CNSplitViewToolbarButtonCell::drawBezel(
    QPainter& painter, const QRect& frame, bool highlighted, bool activeWindow) const
{
    if (highlighted) {
        painter.fillRect(frame,
            bezelGradient(frame, QColor::fromRgbF(0.95f, 0.95f, 0.95f), QColor::fromRgbF(0.664f, 0.664f, 0.664f)));
        return;
    }
    painter.fillRect(frame,
        bezelGradient(frame, CNSplitViewToolbar::lookColor(0.95, 1.0, activeWindow),
            CNSplitViewToolbar::lookColor(0.75, 1.0, activeWindow)));
}

QRect CNSplitViewToolbarButtonCell::drawImage(QPainter& painter, const QPixmap& image, const QRect& frame,
    bool hasTitle, bool highlighted, bool enabled, bool activeWindow) const
{
    const int w = image.width();
    const int h = image.height();
    const int y = (frame.height() - h) / 2;
    QRect target((frame.width() - w) / 2, y, w, h);
    if (hasTitle) {
        target.moveLeft(imagePosition_ == imageRight ? frame.width() - w - margin : margin);
    }
    if (enabled && highlighted) {
        target.translate(0, 1);
    }
    painter.save();
    painter.setOpacity(imageOpacity(enabled, activeWindow));
    painter.drawPixmap(target, image);
    painter.restore();
    return target;
}

QRect CNSplitViewToolbarButtonCell::drawTitle(QPainter& painter, const QString& title, const QFont& font,
    const QColor& color, QRect frame, bool highlighted) const
{
    if (highlighted) {
        frame.translate(0, 1);
    }
    painter.save();
    painter.setFont(font);
    // A white shadow one pixel below the text.
    painter.setPen(Qt::white);
    painter.drawText(frame.translated(0, 1), Qt::AlignCenter, title);
    painter.setPen(color);
    painter.drawText(frame, Qt::AlignCenter, title);
    painter.restore();
    return frame;
}
