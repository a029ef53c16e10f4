#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>
#include <QStyledItemDelegate>

class TAVImageBrowserView;

// One thumbnail of the image browser: the picture fitted in a square that
// grows with the zoom, the file name below it, and the image's state badge
// near the lower right of the picture.
class TAVimageBrowserCell : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int kBadgeSide = 20;
    static constexpr int kPadding = 6;
    static constexpr int kTitleHeight = 20;

    explicit TAVimageBrowserCell(TAVImageBrowserView* browser);

    // Zoom 0..1 gives icons of 64..256 pixels.
    static int iconSide(double zoom);
    static QSize cellSize(double zoom);
    // The square the picture is fitted in, at the top of the cell.
    static QRect imageContainerRect(const QRect& cell, double zoom);
    // The picture of `imageSize` fitted and centred in the container.
    static QRectF imageRect(const QRect& container, const QSize& imageSize);
    // The badge: its right edge 5 x zoom inside the cell's, its bottom
    // 4 + 10 x zoom above the picture's.
    static QRectF badgeRect(const QRect& cell, const QRectF& image, double zoom);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TAVImageBrowserView* browser_;
};
