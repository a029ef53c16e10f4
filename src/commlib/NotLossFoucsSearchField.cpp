#include "commlib/NotLossFoucsSearchField.h"

#include <QAction>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace {

// A small magnifier drawn here, so the field needs no image resource.
QIcon magnifierIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.6));
    painter.drawEllipse(QRectF(2.5, 2.5, 8, 8));
    painter.setPen(QPen(QColor(0x70, 0x70, 0x70), 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(9.5, 9.5), QPointF(13.5, 13.5));
    return QIcon(pixmap);
}

} // namespace

NotLossFoucsSearchField::NotLossFoucsSearchField(QWidget* parent)
    : QLineEdit(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setClearButtonEnabled(true);
    setPlaceholderText(tr("Search"));
    addAction(magnifierIcon(), QLineEdit::LeadingPosition);
}

void NotLossFoucsSearchField::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    QLineEdit::mousePressEvent(event);
}
