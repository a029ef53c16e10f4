#include "app/TAVPreviewWindow.h"

#include "models/image/TAVImageCacheManager.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int kCaptionHeight = 30;
constexpr int kPagerHeight = 30;
const QColor kBackground(38, 38, 40);
const QColor kText(235, 235, 235);

QToolButton* pagerButton(const QString& arrow, const QString& name, const QString& tip, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(arrow);
    button->setToolTip(tip);
    button->setAutoRaise(true);
    QFont font = button->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    button->setFont(font);
    button->setFixedSize(36, 28);
    // Keys belong to the list: a focused button would take Space and the arrows.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

TAVPreviewWindow::TAVPreviewWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::Tool)
{
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setFocusPolicy(Qt::StrongFocus);
    resize(640, 520);
    setMinimumSize(200, 160);

    pager_ = new QWidget(this);
    auto* row = new QHBoxLayout(pager_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    previous_ = pagerButton(
        QStringLiteral("\u25C0"), QStringLiteral("btnPreviewPrevious"), QStringLiteral("Previous image"), pager_);
    next_
        = pagerButton(QStringLiteral("\u25B6"), QStringLiteral("btnPreviewNext"), QStringLiteral("Next image"), pager_);
    place_ = new QLabel(pager_);
    place_->setObjectName(QStringLiteral("lblPreviewPlace"));
    // Light on the dark window; an arrow that leads nowhere fades.
    QPalette palette = pager_->palette();
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText}) {
        palette.setColor(QPalette::Active, role, kText);
        palette.setColor(QPalette::Inactive, role, kText);
        palette.setColor(QPalette::Disabled, role, QColor(95, 95, 100));
    }
    pager_->setPalette(palette);
    row->addStretch();
    row->addWidget(previous_);
    row->addWidget(place_);
    row->addWidget(next_);
    row->addStretch();
    pager_->hide();
    connect(previous_, &QToolButton::clicked, this, &TAVPreviewWindow::showPrevious);
    connect(next_, &QToolButton::clicked, this, &TAVPreviewWindow::showNext);
}

void TAVPreviewWindow::showImage(const TAVImageObjectPtr& image)
{
    showImages(image ? QList<TAVImageObjectPtr>{image} : QList<TAVImageObjectPtr>());
}

void TAVPreviewWindow::showImages(const QList<TAVImageObjectPtr>& images)
{
    const qsizetype kept = image_ ? images.indexOf(image_) : -1;
    images_ = images;
    showIndex(kept >= 0 ? int(kept) : (images.isEmpty() ? -1 : 0));
}

void TAVPreviewWindow::showPrevious()
{
    if (index_ > 0)
        showIndex(index_ - 1);
}

void TAVPreviewWindow::showNext()
{
    if (index_ >= 0 && index_ + 1 < images_.size())
        showIndex(index_ + 1);
}

QString TAVPreviewWindow::placeText() const
{
    return images_.size() > 1 ? QStringLiteral("%1 of %2").arg(index_ + 1).arg(images_.size()) : QString();
}

void TAVPreviewWindow::showIndex(int index)
{
    index_ = index;
    image_ = index >= 0 ? images_.at(index) : TAVImageObjectPtr();
    // The window shows the picture at its own size at most: the cache keeps
    // pictures of that size for it while it shows one.
    const int side = image_ ? int(std::max(width(), height()) * devicePixelRatioF()) : 0;
    TAVImageCacheManager::sharedInstance().setShownSide(QStringLiteral("preview window"), side);
    picture_ = image_ ? TAVImageCacheManager::sharedInstance().getImage(image_->path(), side) : QImage();
    setWindowTitle(image_ ? image_->previewItemTitle() : QString());
    place_->setText(placeText());
    previous_->setEnabled(index_ > 0);
    next_->setEnabled(index_ >= 0 && index_ + 1 < images_.size());
    pager_->setVisible(images_.size() > 1);
    placePager();
    update();
}

void TAVPreviewWindow::placePager()
{
    pager_->setGeometry(0, height() - kPagerHeight - 4, width(), kPagerHeight);
}

void TAVPreviewWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placePager();
}

void TAVPreviewWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    showImages({});
}

void TAVPreviewWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.fillRect(rect(), kBackground);
    // The pager's row is kept free below the title only while it shows.
    const int pagerRoom = pager_->isVisible() ? kPagerHeight : 0;
    const QRect area = rect().adjusted(12, 12, -12, -12 - kCaptionHeight - pagerRoom);
    if (!picture_.isNull() && !area.isEmpty()) {
        QSizeF fitted = QSizeF(picture_.size());
        if (fitted.width() > area.width() || fitted.height() > area.height()) {
            fitted.scale(QSizeF(area.size()), Qt::KeepAspectRatio);
        }
        const QRectF target(area.left() + (area.width() - fitted.width()) / 2.0,
            area.top() + (area.height() - fitted.height()) / 2.0, fitted.width(), fitted.height());
        painter.drawImage(target, picture_);
    }
    painter.setPen(kText);
    const QRect caption(0, height() - kCaptionHeight - 6 - pagerRoom, width(), kCaptionHeight);
    painter.drawText(caption, Qt::AlignCenter, fontMetrics().elidedText(windowTitle(), Qt::ElideMiddle, width() - 24));
}

void TAVPreviewWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Escape) {
        emit closeRequested();
        event->accept();
        return;
    }
    if (keyTarget_) {
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text(), event->isAutoRepeat(),
            ushort(event->count()));
        QApplication::sendEvent(keyTarget_, &copy);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
