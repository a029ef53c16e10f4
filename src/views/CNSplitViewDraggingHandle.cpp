#include "views/CNSplitViewDraggingHandle.h"

#include "views/CNSplitView.h"
#include "views/CNSplitViewToolbar.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitterHandle>

#include <cmath>

namespace {

constexpr int gripLines = 3;
constexpr double gripSpacing = 4.0;
constexpr double gripLineWidth = 1.0;

} // namespace

CNSplitViewDraggingHandle::CNSplitViewDraggingHandle(QWidget* parent)
    : QWidget(parent)
{
    setVertical(false);
}

void CNSplitViewDraggingHandle::setVertical(bool vertical)
{
    vertical_ = vertical;
    setCursor(vertical ? Qt::SplitHCursor : Qt::SplitVCursor);
    update();
}

void CNSplitViewDraggingHandle::paintEvent(QPaintEvent*)
{
    const bool active = isActiveWindow();
    QPainter painter(this);
    const QRectF b = rect();
    for (int i = 0; i < gripLines; ++i) {
        QRectF line;
        QLinearGradient gradient;
        if (vertical_) {
            // Upright lines 5, 9 and 13 pixels from the right edge.
            line = QRectF(b.x() + b.width() - (5 + gripSpacing * i), b.y() + 3, gripLineWidth, b.height() - 6);
            gradient = QLinearGradient(line.bottomLeft(), line.topLeft());
        } else {
            // Lying lines centred vertically, the gradient running diagonally.
            const double top = std::ceil((1 + b.height() - (gripLines * gripLineWidth + 2 * gripSpacing)) / 2);
            const double fromBottom = top + gripSpacing * i;
            line = QRectF(b.x() + 3, b.height() - fromBottom - gripLineWidth, b.width() - 6, gripLineWidth);
            gradient = QLinearGradient(line.bottomRight(), line.topLeft());
        }
        gradient.setColorAt(0.0, CNSplitViewToolbar::lookColor(0.93, 1.0, active));
        gradient.setColorAt(0.4, CNSplitViewToolbar::lookColor(0.42, 1.0, active));
        gradient.setColorAt(1.0, CNSplitViewToolbar::lookColor(0.93, 1.0, active));
        painter.fillRect(line, gradient);
    }
}

void CNSplitViewDraggingHandle::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange) {
        update();
    }
    QWidget::changeEvent(event);
}

void CNSplitViewDraggingHandle::mousePressEvent(QMouseEvent* event)
{
    forwardToDivider(event);
}

void CNSplitViewDraggingHandle::mouseMoveEvent(QMouseEvent* event)
{
    forwardToDivider(event);
}

void CNSplitViewDraggingHandle::mouseReleaseEvent(QMouseEvent* event)
{
    forwardToDivider(event);
}

// The grip is part of the divider below or beside the toolbar's pane: hand the
// mouse to that divider at the same screen position.
void CNSplitViewDraggingHandle::forwardToDivider(QMouseEvent* event)
{
    const auto* toolbar = qobject_cast<const CNSplitViewToolbar*>(parentWidget());
    CNSplitView* splitView = toolbar != nullptr ? toolbar->enclosingSplitView() : nullptr;
    if (splitView == nullptr || splitView->attachedSubviewIndex() + 1 >= static_cast<uint64_t>(splitView->count())) {
        event->ignore();
        return;
    }
    QSplitterHandle* divider = splitView->handle(static_cast<int>(splitView->attachedSubviewIndex()) + 1);
    QMouseEvent forwarded(event->type(), divider->mapFromGlobal(event->globalPosition()), event->globalPosition(),
        event->button(), event->buttons(), event->modifiers());
    QCoreApplication::sendEvent(divider, &forwarded);
    event->setAccepted(forwarded.isAccepted());
}
