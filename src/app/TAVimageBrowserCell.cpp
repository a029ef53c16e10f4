#include "app/TAVimageBrowserCell.h"

#include "app/TAVImageBrowserView.h"
#include "app/TAVPhotoListModel.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>

TAVimageBrowserCell::TAVimageBrowserCell(TAVImageBrowserView* browser)
    : QStyledItemDelegate(browser)
    , browser_(browser)
{
}

int TAVimageBrowserCell::iconSide(double zoom)
{
    return 64 + int(std::lround(192.0 * std::clamp(zoom, 0.0, 1.0)));
}

QSize TAVimageBrowserCell::cellSize(double zoom)
{
    const int side = iconSide(zoom);
    return QSize(side + 2 * kPadding, side + 3 * kPadding + kTitleHeight);
}

QRect TAVimageBrowserCell::imageContainerRect(const QRect& cell, double zoom)
{
    const int side = iconSide(zoom);
    return QRect(cell.left() + (cell.width() - side) / 2, cell.top() + kPadding, side, side);
}

QRectF TAVimageBrowserCell::imageRect(const QRect& container, const QSize& imageSize)
{
    if (imageSize.isEmpty()) {
        return QRectF(container);
    }
    const QSizeF fitted = QSizeF(imageSize).scaled(QSizeF(container.size()), Qt::KeepAspectRatio);
    const QPointF topLeft(container.left() + (container.width() - fitted.width()) / 2.0,
        container.top() + (container.height() - fitted.height()) / 2.0);
    return QRectF(topLeft, fitted);
}

QRectF TAVimageBrowserCell::badgeRect(const QRect& cell, const QRectF& image, double zoom)
{
    // QRect::right() is one pixel short of the edge; work with the edge itself.
    const double cellRightEdge = cell.left() + cell.width();
    const double imageBottomEdge = image.top() + image.height();
    return QRectF(cellRightEdge - 5.0 * zoom - kBadgeSide, imageBottomEdge - (4.0 + 10.0 * zoom) - kBadgeSide,
        kBadgeSide, kBadgeSide);
}

void TAVimageBrowserCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const double zoom = browser_->zoomValue();
    const QRect cell = option.rect;
    const QRect container = imageContainerRect(cell, zoom);
    const QImage thumbnail = index.data(TAVPhotoListModel::ThumbnailRole).value<QImage>();
    const QRectF picture = imageRect(container, thumbnail.size());
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette& palette = option.palette;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (selected) {
        QColor ground = palette.color(QPalette::Highlight);
        ground.setAlpha(60);
        painter->setPen(Qt::NoPen);
        painter->setBrush(ground);
        painter->drawRoundedRect(QRectF(container).adjusted(-4, -4, 4, 4), 6, 6);
    }
    painter->drawImage(picture, thumbnail);

    const QRect title(cell.left() + 2, container.bottom() + kPadding, cell.width() - 4, kTitleHeight);
    const QString text = option.fontMetrics.elidedText(
        index.data(TAVPhotoListModel::TitleRole).toString(), Qt::ElideMiddle, title.width() - 8);
    if (selected) {
        const int width = std::min(title.width(), option.fontMetrics.horizontalAdvance(text) + 12);
        const QRectF pill(title.left() + (title.width() - width) / 2.0, title.top() + 1, width, title.height() - 2);
        painter->setPen(Qt::NoPen);
        painter->setBrush(palette.color(QPalette::Highlight));
        painter->drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);
        painter->setPen(palette.color(QPalette::HighlightedText));
    } else {
        painter->setPen(palette.color(QPalette::Text));
    }
    painter->drawText(title, Qt::AlignCenter, text);

    const QImage badge = index.data(TAVPhotoListModel::StateImageRole).value<QImage>();
    if (!badge.isNull()) {
        painter->drawImage(badgeRect(cell, picture, zoom), badge);
    }
    painter->restore();
}

QSize TAVimageBrowserCell::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return cellSize(browser_->zoomValue());
}
