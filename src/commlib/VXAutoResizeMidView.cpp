#include "commlib/VXAutoResizeMidView.h"

#include <QHBoxLayout>

VXAutoResizeMidView::VXAutoResizeMidView(QWidget* parent)
    : QWidget(parent)
    , layout_(new QHBoxLayout(this))
{
    layout_->setContentsMargins(0, 0, 0, 0);
}

int VXAutoResizeMidView::margin() const
{
    return layout_->contentsMargins().left();
}

void VXAutoResizeMidView::setMargin(int margin)
{
    layout_->setContentsMargins(margin, margin, margin, margin);
}

void VXAutoResizeMidView::place(int slot, QWidget* view)
{
    delete views_[slot];
    views_[slot] = view;
    if (view == nullptr) {
        return;
    }
    // Slots keep their order whichever view is set first.
    int position = 0;
    for (int before = 0; before < slot; ++before) {
        position += views_[before] != nullptr ? 1 : 0;
    }
    layout_->insertWidget(position, view, slot == 1 ? 1 : 0);
}
