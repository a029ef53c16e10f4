#include "views/GSStickyRowHeader.h"

#include "views/GSImageDrawing.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <cmath>

namespace {

// Past this the header stays slightly translucent, so the rows scrolling
// beneath it remain faintly visible.
constexpr double kMaximumFadeOpacity = 0.9;

// The fraction is measured against a little more than one row, so the header
// is fully faded in shortly after its row has left the view.
constexpr double kFractionRowHeights = 1.25;

constexpr double kEnableFraction = 0.5;

} // namespace

const char* GSStickyRowHeader::badTransitionText()
{
    return "You returned a bad GSStickyRowTransition value. Tsk. Tsk.";
}

QRect GSStickyRowHeader::placement(const QRect& previousRow, const std::optional<QRect>& nextRow)
{
    QRect frame = previousRow;
    frame.moveTop(0);
    if (nextRow && frame.top() + frame.height() > nextRow->top()) {
        frame.moveTop(nextRow->top() - frame.height());
    }
    return frame;
}

double GSStickyRowHeader::scrollFraction(const QRect& previousRow)
{
    if (previousRow.height() <= 0) {
        return 0.0;
    }
    return (0.0 - previousRow.top()) / (kFractionRowHeights * previousRow.height());
}

bool GSStickyRowHeader::isEnabledAt(double fraction)
{
    return fraction >= kEnableFraction;
}

double GSStickyRowHeader::opacityFor(GSStickyRowTransition transition, double fraction)
{
    if (transition == GSStickyRowTransitionFadeIn) {
        return std::clamp(fraction, 0.0, kMaximumFadeOpacity);
    }
    return 1.0;
}

void GSStickyRowHeader::prepare(QImage& image, const QSize& size, qreal pixelRatio)
{
    const QSize pixels(static_cast<int>(std::ceil(size.width() * pixelRatio)),
        static_cast<int>(std::ceil(size.height() * pixelRatio)));
    if (image.size() != pixels || image.devicePixelRatio() != pixelRatio) {
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(pixelRatio);
    }
    image.fill(Qt::transparent);
}

void GSStickyRowHeader::paintRow(QImage& image, const QRect& rowRect, const std::function<void(QPainter&)>& drawRow)
{
    QPainter painter(&image);
    painter.translate(-rowRect.x(), -rowRect.y());
    drawRow(painter);
}

void GSStickyRowHeader::paint(const QRect& rowRect, GSStickyRowTransition transition, double fraction, qreal pixelRatio,
    const std::function<void(QPainter&)>& drawRow)
{
    prepare(m_picture, rowRect.size(), pixelRatio);
    if (transition == GSStickyRowTransitionNone) {
        paintRow(m_picture, rowRect, drawRow);
    } else if (transition == GSStickyRowTransitionFadeIn) {
        prepare(m_fullStrength, rowRect.size(), pixelRatio);
        paintRow(m_fullStrength, rowRect, drawRow);
        QPainter painter(&m_picture);
        gsDrawAdjustedAtPoint(painter, m_fullStrength, QPointF(0, 0), QRectF(), QPainter::CompositionMode_SourceOver,
            opacityFor(transition, fraction));
    } else {
        QPainter painter(&m_picture);
        painter.drawText(QRect(QPoint(0, 0), rowRect.size()), 0, QString::fromLatin1(badTransitionText()));
    }
}

void GSStickyRowHeader::draw(QPainter& painter, const QRect& frame)
{
    m_frame = frame;
    painter.drawImage(frame.topLeft(), m_picture);
}

void GSStickyRowHeader::hide()
{
    m_frame = QRect();
}

QRegion GSStickyRowHeader::areaToRefreshAfterScroll(int dx, int dy, const QRect& next) const
{
    QRegion area(next);
    if (!m_frame.isEmpty()) {
        area += m_frame;
        area += m_frame.translated(dx, dy);
    }
    return area;
}

QColor GSStickyRowHeader::highlightedBackground(const QAbstractItemView* view)
{
    const QColor base = view->palette().color(QPalette::Base);
    const auto halfway = [](int channel) { return (channel + 255 + 1) / 2; };
    return QColor(halfway(base.red()), halfway(base.green()), halfway(base.blue()), base.alpha());
}

QColor GSStickyRowHeader::gridColor(const QAbstractItemView* view)
{
    QStyleOptionViewItem option;
    option.initFrom(view);
    return QColor::fromRgba(static_cast<QRgb>(view->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, view)));
}

void GSStickyRowHeader::drawCellUnselected(QPainter& painter, const QAbstractItemView* view,
    QStyleOptionViewItem option, const QModelIndex& index, const QRect& cellRect)
{
    option.rect = cellRect;
    option.index = index;
    option.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    if (!(index.flags() & Qt::ItemIsEnabled)) {
        option.state &= ~QStyle::State_Enabled;
        option.palette.setCurrentColorGroup(QPalette::Disabled);
    }
    if (view->alternatingRowColors() && index.row() % 2 == 1) {
        option.features |= QStyleOptionViewItem::Alternate;
    }
    view->style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &option, &painter, view);
    view->itemDelegateForIndex(index)->paint(&painter, option, index);
}
