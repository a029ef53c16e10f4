#include "commlib/VXDropInTipsView.h"

#include "commlib/VXDragFiles.h"
#include "commlib/VXDropInTipsViewDelegate.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QPainter>
#include <QPen>

VXDropInTipsView::VXDropInTipsView(QWidget* parent)
    : QWidget(parent)
    , clrNorBg_(QColor(246, 246, 246))
{
    setAcceptDrops(true);
}

void VXDropInTipsView::setStrPromot(const QString& prompt)
{
    strPromot_ = prompt;
    update();
}

void VXDropInTipsView::setClrNorBg(const QColor& colour)
{
    clrNorBg_ = colour;
    update();
}

void VXDropInTipsView::setDragging(bool dragging)
{
    dragging_ = dragging;
    update();
}

void VXDropInTipsView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), dragging_ ? clrNorBg_.lighter(112) : clrNorBg_);

    const QColor ink = palette().color(QPalette::PlaceholderText);
    QPen border(dragging_ ? palette().color(QPalette::Highlight) : ink, 2, Qt::DashLine);
    painter.setPen(border);
    painter.drawRoundedRect(QRectF(rect()).adjusted(12, 12, -12, -12), 10, 10);

    QFont font = painter.font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    painter.setFont(font);
    painter.setPen(ink);
    painter.drawText(rect().adjusted(24, 24, -24, -24), Qt::AlignCenter | Qt::TextWordWrap, strPromot_);
}

void VXDropInTipsView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!VXDragFiles::carriesFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setDragging(true);
}

void VXDropInTipsView::dragLeaveEvent(QDragLeaveEvent*)
{
    setDragging(false);
}

void VXDropInTipsView::dropEvent(QDropEvent* event)
{
    setDragging(false);
    const QStringList paths = VXDragFiles::localPaths(event->mimeData());
    if (!paths.isEmpty() && delegate_ != nullptr && delegate_->didVXDropInTipsViewAcceptDrag(this, paths)) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}
