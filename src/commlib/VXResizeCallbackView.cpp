#include "commlib/VXResizeCallbackView.h"

#include <QResizeEvent>

VXResizeCallbackView::VXResizeCallbackView(QWidget* parent)
    : QWidget(parent)
{
}

void VXResizeCallbackView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    emit resized(event->size());
}
