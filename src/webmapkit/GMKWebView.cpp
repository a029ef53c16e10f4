#include "webmapkit/GMKWebView.h"

#include <QMouseEvent>
#include <QPainter>

GMKWebView::GMKWebView(QWidget* parent)
    : QWidget(parent)
    , clock_(MapClock::defaultClock())
{
    host_.setClock(clock_);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
}

void GMKWebView::mousePressEvent(QMouseEvent* event)
{
    lastHitTestDate_ = clock_->now();
    QWidget::mousePressEvent(event);
}

void GMKWebView::paintEvent(QPaintEvent*)
{
    // The page draws nothing here; a plain background stands for it.
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
}
