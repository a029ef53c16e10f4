#include "views/GSGroupedTableView.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>

namespace {

// The look is made once, on first use, and shared by every grouped table.
struct GroupLook {
    QColor gradientTop = QColor::fromRgbF(0.49f, 0.556f, 0.6f, 0.9f);
    QColor gradientBottom = QColor::fromRgbF(0.665f, 0.706f, 0.738f, 0.9f);
    QColor shadow = QColor::fromRgbF(0.5f, 0.5f, 0.5f, 1.0f);
    QColor line = QColor::fromRgbF(0.5f, 0.5f, 0.5f, 1.0f);
    QColor text = Qt::white;
    QFont font;
    int textMargin = 3;

    GroupLook()
    {
        font = QFont(QApplication::font().family());
        font.setStyleHint(QFont::SansSerif);
        font.setBold(true);
        // Pixels, not points: points come out a third larger at 96 dpi.
        font.setPixelSize(16);
    }
};

const GroupLook& groupLook()
{
    static const GroupLook look;
    return look;
}

// Qt has no grid colour setter; the table asks its style for the colour.
class GroupedGridStyle : public QProxyStyle {
public:
    explicit GroupedGridStyle(const QString& baseKey)
        : QProxyStyle(baseKey)
    {
    }

    int styleHint(
        StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_Table_GridLineColor) {
            return static_cast<int>(QColor::fromRgbF(0.849f, 0.849f, 0.849f, 1.0f).rgba());
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// One style for all grouped tables, owned by the application: a widget does
// not own the style set on it, and must not outlive it.
QStyle* groupedGridStyle()
{
    static QPointer<QStyle> style;
    if (style.isNull()) {
        style = new GroupedGridStyle(QApplication::style()->name());
        style->setParent(qApp);
    }
    return style.data();
}

} // namespace

GSGroupedTableView::GSGroupedTableView(QWidget* parent)
    : GSStickyRowTableView(parent)
{
    setStyle(groupedGridStyle());
    setShowGrid(true);
    setGridStyle(Qt::SolidLine);
}

GSStickyRowTransition GSGroupedTableView::stickyRowHeaderTransition() const
{
    return GSStickyRowTransitionNone;
}

void GSGroupedTableView::drawRow(QPainter& painter, int row, const QRect& clipRect)
{
    if (!isRowSticky(row)) {
        return;
    }
    const GroupLook& look = groupLook();
    const QRect rowRect = rectOfRow(row);
    painter.save();
    painter.setClipRect(clipRect, Qt::IntersectClip);

    // Runs downwards: the darker colour at the top edge.
    QLinearGradient gradient(rowRect.topLeft(), rowRect.bottomLeft());
    gradient.setColorAt(0.0, look.gradientTop);
    gradient.setColorAt(1.0, look.gradientBottom);
    painter.fillRect(rowRect, gradient);

    painter.setFont(look.font);
    forEachCellInRow(row, [&](const QModelIndex& index, const QRect& cellRect) {
        const QString text = index.data(Qt::DisplayRole).toString();
        if (text.isEmpty()) {
            return;
        }
        const QVariant alignment = index.data(Qt::TextAlignmentRole);
        const int flags = alignment.isValid() ? alignment.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter);
        const QRect textRect = cellRect.adjusted(look.textMargin, 0, -look.textMargin, 0);
        painter.setPen(look.shadow);
        painter.drawText(textRect.translated(1, 1), flags, text);
        painter.setPen(look.text);
        painter.drawText(textRect, flags, text);
    });

    painter.setPen(look.line);
    painter.drawLine(rowRect.topLeft(), rowRect.topRight());
    painter.drawLine(rowRect.bottomLeft(), rowRect.bottomRight());
    painter.restore();
}

void GSGroupedTableView::drawStickyRow(QPainter& painter, int row, const QRect& clipRect)
{
    drawRow(painter, row, clipRect);
}

void GSGroupedTableView::drawRowsInPlace(QPainter& painter, const QRect& exposed)
{
    const int rows = model()->rowCount(rootIndex());
    const int first = rowAt(exposed.top());
    if (first < 0) {
        return;
    }
    const int below = rowAt(exposed.bottom());
    const int last = below < 0 ? rows - 1 : below;
    for (int row = first; row <= last; ++row) {
        if (isRowHidden(row) || !isRowSticky(row)) {
            continue;
        }
        // The gradient is translucent; the table's own cells must not show
        // through it.
        painter.fillRect(rectOfRow(row).intersected(exposed), palette().color(QPalette::Base));
        drawRow(painter, row, exposed);
    }
}
