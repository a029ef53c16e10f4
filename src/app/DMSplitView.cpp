#include "app/DMSplitView.h"

#include <QPainter>
#include <QSplitterHandle>
#include <QVariantAnimation>

namespace {

bool gAnimationsEnabled = true;
constexpr int kAnimationMs = 250;
constexpr int kHandleWidth = 6;

// A dark grey divider with three dots in its middle as the grip.
class DividerHandle : public QSplitterHandle {
public:
    DividerHandle(Qt::Orientation orientation, QSplitter* parent)
        : QSplitterHandle(orientation, parent)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::darkGray);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(235, 235, 235));
        const QPointF centre = QRectF(rect()).center();
        for (int i = -1; i <= 1; ++i)
            painter.drawEllipse(QPointF(centre.x(), centre.y() + i * 6.0), 1.5, 1.5);
    }
};

} // namespace

DMSplitView::DMSplitView(QWidget* parent)
    : QSplitter(Qt::Horizontal, parent)
{
    setHandleWidth(kHandleWidth);
    setChildrenCollapsible(true);
    setOpaqueResize(true);
    connect(this, &QSplitter::splitterMoved, this, [this](int, int) { userMovedSplitter(); });
}

DMSplitView::~DMSplitView()
{
    delegate_ = nullptr;
}

void DMSplitView::setAnimationsEnabled(bool enabled)
{
    gAnimationsEnabled = enabled;
}

QSplitterHandle* DMSplitView::createHandle()
{
    return new DividerHandle(orientation(), this);
}

bool DMSplitView::isSubviewCollapsed(int index) const
{
    const QList<int> list = sizes();
    return index >= 0 && index < list.size() && list.at(index) == 0;
}

void DMSplitView::toggleSubviewZero()
{
    if (count() < 2 || (animation_ && animation_->state() == QAbstractAnimation::Running))
        return;
    const int width0 = sizes().at(0);
    if (width0 > 0) {
        lastOpenWidth_ = width0;
        animateSubviewZero(width0, 0);
    } else {
        animateSubviewZero(0, qMax(lastOpenWidth_, widget(0)->minimumWidth()));
    }
}

void DMSplitView::animateSubviewZero(int from, int to)
{
    QWidget* pane = widget(0);
    const int minimum = pane->minimumWidth();
    const int total = sizes().at(0) + sizes().at(1);
    auto apply = [this, total](int width) { setSizes({width, qMax(0, total - width)}); };
    if (!gAnimationsEnabled) {
        apply(to);
        animationEnded();
        return;
    }
    if (!animation_)
        animation_ = new QVariantAnimation(this);
    animation_->disconnect(this);
    animation_->setDuration(kAnimationMs);
    animation_->setEasingCurve(QEasingCurve::InOutQuad);
    animation_->setStartValue(from);
    animation_->setEndValue(to);
    // The pane's minimum would make the splitter jump over the narrow widths
    // in between; it is set back once the pane is where it goes.
    pane->setMinimumWidth(0);
    connect(animation_, &QVariantAnimation::valueChanged, this, [apply](const QVariant& v) { apply(v.toInt()); });
    connect(animation_, &QVariantAnimation::finished, this, [this, pane, minimum, apply, to] {
        pane->setMinimumWidth(minimum);
        apply(to);
        animationEnded();
    });
    animation_->start();
}

void DMSplitView::animationEnded()
{
    lastCollapsed_ = isSubviewCollapsed(0);
    if (delegate_)
        delegate_->splitViewIsAnimating(this, false);
}

void DMSplitView::userMovedSplitter()
{
    const bool collapsed = isSubviewCollapsed(0);
    if (!collapsed)
        lastOpenWidth_ = sizes().at(0);
    if (collapsed == lastCollapsed_)
        return;
    lastCollapsed_ = collapsed;
    if (delegate_)
        delegate_->splitViewSubviewStateChanged(this, 0, collapsed);
}
