#include "views/CNSplitViewToolbarButton.h"

#include "foundation/NotificationHub.h"

#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

CNSplitViewToolbarButton::CNSplitViewToolbarButton(QWidget* parent)
    : QAbstractButton(parent)
{
    commonConfiguration();
}

CNSplitViewToolbarButton::CNSplitViewToolbarButton(QMenu* contextMenu, QWidget* parent)
    : QAbstractButton(parent)
{
    commonConfiguration();
    itemContextMenu_ = contextMenu;
}

CNSplitViewToolbarButton::~CNSplitViewToolbarButton()
{
    NotificationHub::defaultHub().removeObserver(this);
}

void CNSplitViewToolbarButton::commonConfiguration()
{
    setTitle(QString());
    NotificationHub& hub = NotificationHub::defaultHub();
    hub.addObserver(
        this, QStringLiteral("ToolbarItemsEnableNotification"), [this](const Notification&) { enableMe(); });
    hub.addObserver(
        this, QStringLiteral("ToolbarItemsDisableNotification"), [this](const Notification&) { disableMe(); });
}

void CNSplitViewToolbarButton::setTitle(const QString& title)
{
    setText(title.isNull() ? QStringLiteral("") : title);
    update();
}

QFont CNSplitViewToolbarButton::titleFont() const
{
    QFont titleFont = font();
    titleFont.setPixelSize(11);
    return titleFont;
}

void CNSplitViewToolbarButton::setImagePosition(int32_t position)
{
    cell_.setImagePosition(position);
    update();
}

void CNSplitViewToolbarButton::setImageTemplate(int32_t imageTemplate)
{
    imageTemplate_ = imageTemplate;
    const QPixmap drawn = templateImage(imageTemplate);
    if (!drawn.isNull()) {
        setImage(drawn);
    }
}

void CNSplitViewToolbarButton::setImage(const QPixmap& image)
{
    image_ = image;
    update();
}

void CNSplitViewToolbarButton::paintEvent(QPaintEvent*)
{
    // Each button follows its own window's activation, from the first paint on.
    const bool active = isActiveWindow();
    QPainter painter(this);
    const QRect frame = rect();
    cell_.drawBezel(painter, frame, isDown(), active);
    const bool hasTitle = !text().isEmpty();
    QRect titleFrame
        = frame.adjusted(CNSplitViewToolbarButtonCell::margin, 0, -CNSplitViewToolbarButtonCell::margin, 0);
    if (!image_.isNull()) {
        const QRect imageRect = cell_.drawImage(painter, image_, frame, hasTitle, isDown(), isEnabled(), active);
        const int beside = imageRect.width() + CNSplitViewToolbarButtonCell::margin;
        titleFrame = cell_.imagePosition() == CNSplitViewToolbarButtonCell::imageRight
            ? titleFrame.adjusted(0, 0, -beside, 0)
            : titleFrame.adjusted(beside, 0, 0, 0);
    }
    if (hasTitle) {
        cell_.drawTitle(painter, text(), titleFont(), palette().color(QPalette::ButtonText), titleFrame, isDown());
    }
}

// A button with a menu shows it where it was pressed and sends no click.
void CNSplitViewToolbarButton::mousePressEvent(QMouseEvent* event)
{
    if (itemContextMenu_ && event->button() == Qt::LeftButton) {
        itemContextMenu_->popup(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QAbstractButton::mousePressEvent(event);
}

void CNSplitViewToolbarButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange) {
        windowStatusChanged();
    }
    QAbstractButton::changeEvent(event);
}
