// Painting the token field: background, token boxes in their colour scheme,
// selection, shadows and reflections, placeholders, border and tooltips.
#include "views/RPTokenControl.h"

#include "views/FocusRing.h"
#include "views/LayerShadow.h"
#include "views/RoundedRectangle.h"
#include "views/TokenFieldLog.h"

#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

#include <cmath>

namespace {

using Key = TokenAttributes::Key;

constexpr qint64 reflectionsBit = 1;
constexpr qint64 shadowsBit = 2;

QColor rgb255(int r, int g, int b)
{
    return QColor::fromRgbF(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f);
}

QVariant colourOrNothing(const std::optional<QColor>& colour)
{
    return colour ? QVariant::fromValue(*colour) : QVariant();
}

} // namespace

TokenAttributes RPTokenControl::normalAttributes() const
{
    std::optional<QColor> fill;
    std::optional<QColor> stroke;
    if (tokenColorScheme_ == 0) {
        fill = rgb255(214, 224, 246);
        stroke = rgb255(147, 173, 231);
    } else if (tokenColorScheme_ == 1) {
        fill = QColor(Qt::white);
    }
    return TokenAttributes::fromOrderedList(
        {{Key::CornerRadiusFactor, cornerRadiusFactor_}, {Key::WidthPaddingMultiplier, widthPaddingMultiplier_},
            {Key::FillColor, colourOrNothing(fill)}, {Key::StrokeColor, colourOrNothing(stroke)}});
}

TokenAttributes RPTokenControl::selectedAttributes() const
{
    std::optional<QColor> fill;
    if (tokenColorScheme_ == 0) {
        fill = rgb255(72, 116, 231);
    } else if (tokenColorScheme_ == 1) {
        fill = palette().color(QPalette::Highlight);
    }
    QVariant shadow;
    if (fancyEffects_ & shadowsBit) {
        shadow = QVariant::fromValue(TokenAttributes::Shadow{QPointF(2.0, 2.0), 2.0, LayerShadow::defaultColour()});
    }
    return TokenAttributes::fromOrderedList({{Key::TextColor, QVariant::fromValue(QColor(Qt::white))},
        {Key::CornerRadiusFactor, cornerRadiusFactor_}, {Key::WidthPaddingMultiplier, widthPaddingMultiplier_},
        {Key::FillColor, colourOrNothing(fill)}, {Key::TextShadow, shadow}});
}

void RPTokenControl::paintEvent(QPaintEvent* event)
{
    const QRectF dirty = event->rect();
    QPainter painter(this);
    if (backgroundWhiteness_ <= 1.0f) {
        // Replaces the pixels, alpha included.
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(dirty,
            QColor::fromRgbF(backgroundWhiteness_, backgroundWhiteness_, backgroundWhiteness_, backgroundAlpha_));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    if (!framedTokens_.isEmpty()) {
        if (!useList_) {
            drawTokens(painter, dirty);
        }
    } else {
        drawPlaceholder(painter);
    }
    if (drawBorder_) {
        drawFocusRing2(painter);
    }
}

void RPTokenControl::drawTokens(QPainter& painter, const QRectF& dirty)
{
    const bool shadows = (fancyEffects_ & shadowsBit) != 0;
    const qreal ratio = devicePixelRatioF();
    QImage layer;
    QPainter layerPainter;
    QPainter* target = &painter;
    if (shadows) {
        // Everything drawn goes into one layer that gets one drop shadow.
        layer = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        layer.setDevicePixelRatio(ratio);
        layer.fill(Qt::transparent);
        layerPainter.begin(&layer);
        layerPainter.setRenderHint(QPainter::Antialiasing);
        target = &layerPainter;
    }
    target->setRenderHint(QPainter::Antialiasing);
    const TokenAttributes normal = normalAttributes();
    const TokenAttributes selected = selectedAttributes();
    for (qsizetype index = 0; index < framedTokens_.size(); ++index) {
        const FramedToken& token = framedTokens_[index];
        const QRectF bounds = token.bounds();
        if (index == indexOfFramedTokenBeingEdited_) {
            continue;
        }
        if (bounds.intersects(dirty)) {
            token.drawWithAttributes(*target, isSelectedIndex(index) ? selected : normal, appendCountsToStrings_);
        }
        if (fancyEffects_ & reflectionsBit) {
            const double h = bounds.height();
            const QRectF reflection(bounds.x() + 1.0, bounds.y() + h, bounds.width() - 3.0, h - 3.0);
            if (reflection.intersects(dirty)) {
                RoundedRectangle::shadow(*target,
                    RoundedRectangle::bezierPathWithRoundedRect(reflection, static_cast<float>((h - 3.0) * 0.2)));
            }
        }
    }
    if (shadows) {
        layerPainter.end();
        LayerShadow::drawWithShadow(
            painter, layer, QPointF(0.0, 0.0), QPointF(2.0, 2.0), 1.0, LayerShadow::defaultColour());
    }
}

void RPTokenControl::drawPlaceholder(QPainter& painter)
{
    const RPTokenValue value = objectValue();
    if (value.isCollection()) {
        return;
    }
    QString placeholder;
    switch (value.kind()) {
    case RPTokenValue::Kind::NoTokensMarker:
        placeholder = noTokensPlaceholder_;
        break;
    case RPTokenValue::Kind::NoSelectionMarker:
        placeholder = noSelectionPlaceholder_;
        break;
    case RPTokenValue::Kind::MultipleValuesMarker:
        placeholder = multipleValuesPlaceholder_;
        break;
    case RPTokenValue::Kind::NotApplicableMarker:
        placeholder = notApplicablePlaceholder_;
        break;
    default:
        qCWarning(lcTokenField).noquote() << "Internal Error 189-1847" << value.otherValue().toString();
        return;
    }
    if (placeholder.isNull()) {
        return;
    }
    const float fontSize = defaultFontSize();
    double whole = 0.0;
    const float grey = static_cast<float>(std::modf(double(backgroundWhiteness_) + 0.5, &whole));
    painter.save();
    painter.setFont(FramedToken::fontOfSize(fontSize));
    painter.setPen(QColor::fromRgbF(grey, grey, grey, 1.0f));
    painter.drawText(QRectF(QPointF(fontSize * 0.25 + 2.0, 2.0), QSizeF(size())),
        Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, placeholder);
    painter.restore();
}

void RPTokenControl::drawFocusRing2(QPainter& painter)
{
    FocusRing::drawFocusRing(painter, *this);
}

QString RPTokenControl::toolTipForToken(const FramedToken& token) const
{
    if (token.token().isEllipsisToken()) {
        QStringList lines;
        for (const RPCountedToken& hidden : truncatedTokens_) {
            lines.append(appendCountsToStrings_ ? hidden.textWithCountAppended() : hidden.text());
        }
        return lines.join(QChar(u'\n'));
    }
    if (showsCountsAsToolTips_) {
        return QString::number(token.count());
    }
    return toolTip();
}

QString RPTokenControl::toolTipTextAt(const QPointF& point) const
{
    const FramedToken* token = tokenAtPoint(point);
    return token != nullptr ? toolTipForToken(*token) : QString();
}

bool RPTokenControl::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipTextAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            const FramedToken* token = tokenAtPoint(help->pos());
            QToolTip::showText(help->globalPos(), text, this, token->bounds().toAlignedRect());
        }
        return true;
    }
    return QWidget::event(event);
}
