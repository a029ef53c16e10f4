#include "views/CNBaseView.h"

#include <QEasingCurve>
#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QTimer>

namespace {

constexpr int fadeEffect = 1;

bool slides(int effect)
{
    return effect >= 2 && effect <= 5;
}

QGraphicsOpacityEffect* opacityEffectOf(QWidget* child, qreal opacity)
{
    auto* existing = qobject_cast<QGraphicsOpacityEffect*>(child->graphicsEffect());
    if (existing != nullptr) {
        return existing;
    }
    auto* effect = new QGraphicsOpacityEffect(child);
    effect->setOpacity(opacity);
    child->setGraphicsEffect(effect);
    return effect;
}

} // namespace

CNBaseView::CNBaseView(QWidget* parent)
    : QWidget(parent)
    , textBoxAttributes_(defaultTextAttributes())
{
}

CNBaseView::CNBaseView(const QPixmap& icon, const QString& text, QWidget* parent)
    : CNBaseView(parent)
{
    icon_ = icon;
    text_ = text.isNull() ? QStringLiteral("") : text;
}

// The caption's text and attributes come from the attributed text, so that a
// view made this way shows its caption.
CNBaseView::CNBaseView(const QPixmap& icon, const AttributedText& attributedText, QWidget* parent)
    : CNBaseView(parent)
{
    icon_ = icon;
    setAttributedText(attributedText);
}

CNBaseView::TextAttributes CNBaseView::defaultTextAttributes()
{
    static const TextAttributes attributes = [] {
        TextAttributes made;
        made.font.setPixelSize(18);
        made.font.setWeight(QFont::Medium);
        made.kerning = 0.95;
        made.font.setLetterSpacing(QFont::AbsoluteSpacing, made.kerning);
        made.foreground = QColor::fromRgbF(2.0f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f);
        made.shadowColor = Qt::white;
        // One pixel below the text.
        made.shadowOffset = QPointF(0, 1);
        made.alignment = Qt::AlignHCenter;
        return made;
    }();
    return attributes;
}

void CNBaseView::setText(const QString& text)
{
    const QString value = text.isNull() ? QStringLiteral("") : text;
    if (value == text_) {
        return;
    }
    text_ = value;
    attributedText_ = AttributedText{value, textBoxAttributes_};
    update();
}

void CNBaseView::setAttributedText(const std::optional<AttributedText>& attributedText)
{
    if (!attributedText || attributedText->string == text_) {
        return;
    }
    attributedText_ = attributedText;
    text_ = attributedText->string;
    if (!attributedText->string.isEmpty()) {
        textBoxAttributes_ = attributedText->attributes;
    }
    update();
}

void CNBaseView::setTextBoxWidth(double width)
{
    if (width != textBoxWidth_) {
        textBoxWidth_ = width;
        update();
    }
}

void CNBaseView::setIconVerticalOffset(double offset)
{
    if (offset != iconVerticalOffset_) {
        iconVerticalOffset_ = offset;
        update();
    }
}

void CNBaseView::setIconTextMargin(double margin)
{
    if (margin != iconTextMargin_) {
        iconTextMargin_ = margin;
        update();
    }
}

void CNBaseView::setBackgroundColor(const QColor& color)
{
    backgroundColor_ = color;
    update();
}

QRectF CNBaseView::calculatedTextBoxRect()
{
    if (hasText()) {
        const QFontMetricsF metrics(textBoxAttributes_.font);
        const QRectF measured = metrics.boundingRect(
            QRectF(0, 0, textBoxWidth_, 0), Qt::TextWordWrap | textBoxAttributes_.alignment, text_);
        calculatedTextBoxRect_ = QRectF(0, 0, measured.width(), measured.height());
    }
    return calculatedTextBoxRect_;
}

// Just outside the view's own bounds on the effect's side, so a child slides
// in from (and out to) exactly one view's width or height away.
QRect CNBaseView::frameForView(const QWidget*, int effect) const
{
    QRect frame = rect();
    switch (effect) {
    case 2:
        frame.moveTop(-height());
        break;
    case 3:
        frame.moveLeft(width());
        break;
    case 4:
        frame.moveTop(height());
        break;
    case 5:
        frame.moveLeft(-width());
        break;
    default:
        break;
    }
    return frame;
}

void CNBaseView::pushChildView(QWidget* child, int effect, std::function<void()> completion)
{
    pushChildView(child, effect, defaultAnimationDuration, std::move(completion));
}

void CNBaseView::pushChildView(QWidget* child, int effect, double duration, std::function<void()> completion)
{
    if (child == nullptr) {
        return;
    }
    child->setParent(this);
    childViewStack_.append(child);
    auto* group = new QParallelAnimationGroup(this);
    if (effect == fadeEffect) {
        QGraphicsOpacityEffect* opacity = opacityEffectOf(child, 0.0);
        opacity->setOpacity(0.0);
        auto* fade = new QPropertyAnimation(opacity, "opacity", group);
        fade->setEndValue(1.0);
    }
    child->setGeometry(frameForView(child, effect));
    child->show();
    child->raise();
    if (slides(effect)) {
        auto* slide = new QPropertyAnimation(child, "geometry", group);
        slide->setEndValue(rect());
    }
    isAnimating_ = true;
    QPointer<QWidget> guarded(child);
    runAnimations(group, effect == 0 ? 0.0 : duration, [this, guarded, effect, completion] {
        // A fully faded-in child needs no effect any more.
        if (effect == fadeEffect && guarded) {
            guarded->setGraphicsEffect(nullptr);
        }
        isAnimating_ = false;
        update();
        if (completion) {
            completion();
        }
    });
}

void CNBaseView::popChildView(int effect, std::function<void()> completion)
{
    popChildView(effect, defaultAnimationDuration, std::move(completion));
}

void CNBaseView::popChildView(int effect, double duration, std::function<void()> completion)
{
    // Popping unwinds the stack, so the next pop takes the child below.
    QPointer<QWidget> child = childViewStack_.isEmpty() ? nullptr : childViewStack_.takeLast();
    auto* group = new QParallelAnimationGroup(this);
    if (child) {
        if (effect == fadeEffect) {
            auto* fade = new QPropertyAnimation(opacityEffectOf(child, 1.0), "opacity", group);
            fade->setEndValue(0.0);
        }
        auto* slide = new QPropertyAnimation(child, "geometry", group);
        slide->setEndValue(frameForView(child, effect));
    }
    isAnimating_ = true;
    runAnimations(group, effect == 0 ? 0.0 : duration, [this, child, completion] {
        isAnimating_ = false;
        if (child) {
            child->hide();
            child->setParent(nullptr);
        }
        update();
        if (completion) {
            completion();
        }
    });
}

// Without a duration the group still ends through `finished`, one event-loop turn later.
void CNBaseView::runAnimations(QParallelAnimationGroup* group, double duration, std::function<void()> finished)
{
    const int milliseconds = qMax(0, qRound(duration * 1000));
    for (int i = 0; i < group->animationCount(); ++i) {
        auto* animation = static_cast<QPropertyAnimation*>(group->animationAt(i));
        animation->setDuration(milliseconds);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
    }
    connect(group, &QAbstractAnimation::finished, this, [group, finished] {
        group->deleteLater();
        finished();
    });
    if (milliseconds == 0 || group->animationCount() == 0) {
        QTimer::singleShot(0, group, [group] { group->start(); });
    } else {
        group->start();
    }
}

void CNBaseView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (backgroundColor_.alpha() > 0) {
        painter.fillRect(rect(), backgroundColor_);
    }
    const bool hasChild = !findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).isEmpty();
    if (hasChild && preventDrawingWithSubviews_ && !isAnimating_) {
        return;
    }
    const double w = width();
    const double h = height();
    QRectF box = calculatedTextBoxRect();
    box.moveLeft((w - box.width()) / 2);
    if (hasIcon()) {
        const QSizeF iconSize = icon_.deviceIndependentSize();
        QPointF iconOrigin((w - iconSize.width()) / 2, (h - iconSize.height()) / 2);
        if (hasText()) {
            // The icon is raised by the offset and the caption sits below it.
            iconOrigin.ry() -= iconVerticalOffset_;
            box.moveTop(iconOrigin.y() + iconSize.height() + iconTextMargin_);
        }
        painter.drawPixmap(iconOrigin, icon_);
    } else {
        box.moveTop((h - box.height()) / 2);
    }
    if (hasText()) {
        calculatedTextBoxRect_ = box;
        drawCaption(painter, box);
    }
}

void CNBaseView::drawCaption(QPainter& painter, const QRectF& box) const
{
    const int flags = Qt::TextWordWrap | static_cast<int>(textBoxAttributes_.alignment);
    painter.setFont(textBoxAttributes_.font);
    if (textBoxAttributes_.shadowColor.isValid()) {
        painter.setPen(textBoxAttributes_.shadowColor);
        painter.drawText(box.translated(textBoxAttributes_.shadowOffset), flags, text_);
    }
    painter.setPen(textBoxAttributes_.foreground);
    painter.drawText(box, flags, text_);
}
