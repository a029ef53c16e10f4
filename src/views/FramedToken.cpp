#include "views/FramedToken.h"

#include "views/LayerShadow.h"
#include "views/RoundedRectangle.h"
#include "views/TokenAttributes.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cmath>

FramedToken::FramedToken(const RPCountedToken& token, float fontsize, const QRectF& bounds)
    : token_(token)
    , bounds_(bounds)
    , fontsize_(fontsize)
{
}

QFont FramedToken::fontOfSize(float size)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    return font;
}

QSizeF FramedToken::defaultMeasure(const QString& text, float fontSize)
{
    return QFontMetricsF(fontOfSize(fontSize)).size(Qt::TextSingleLine, text);
}

float FramedToken::widthPaddingForHeight(
    float height, float /*fontSize*/, float cornerRadiusFactor, float widthPaddingMultiplier)
{
    return height * cornerRadiusFactor * widthPaddingMultiplier;
}

QSizeF FramedToken::boxSizeForToken(const RPCountedToken& token, float fontSize, float cornerRadiusFactor,
    float widthPaddingMultiplier, bool appendCount, const TokenTextMeasure& measure)
{
    const QString text = appendCount ? token.textWithCountAppended() : token.text();
    const QSizeF textSize = measure ? measure(text, fontSize) : defaultMeasure(text, fontSize);
    const float padding = widthPaddingForHeight(
        static_cast<float>(textSize.height()), fontSize, cornerRadiusFactor, widthPaddingMultiplier);
    return QSizeF(textSize.width() + (padding + 4.0), textSize.height() + 4.0);
}

float FramedToken::distanceFrom(const QPointF& point) const
{
    if (bounds_.contains(point)) {
        return 0.0f;
    }
    const float dx = static_cast<float>(point.x() - midX());
    const float dy = static_cast<float>(point.y() - midY());
    return std::sqrt(dx * dx + dy * dy);
}

QString FramedToken::description() const
{
    return QStringLiteral("bounds={{%1, %2}, {%3, %4}}; fontSize=%5; count=%6; text=%7")
        .arg(bounds_.x())
        .arg(bounds_.y())
        .arg(bounds_.width())
        .arg(bounds_.height())
        .arg(double(fontsize_), 0, 'f', 6)
        .arg(token_.count())
        .arg(token_.text());
}

void FramedToken::drawWithAttributes(QPainter& painter, const TokenAttributes& attributes, bool appendCount) const
{
    const double x = bounds_.x();
    const double y = bounds_.y();
    const double h = bounds_.height();
    const QRectF box(x, y, bounds_.width() - 3.0, h - 3.0);
    const float c = attributes.cornerRadiusFactor();
    const float m = attributes.widthPaddingMultiplier();
    const QPainterPath path = RoundedRectangle::bezierPathWithRoundedRect(box, static_cast<float>((h - 3.0) * c));
    painter.save();
    if (const auto fill = attributes.fillColor()) {
        painter.fillPath(path, *fill);
    }
    if (const auto stroke = attributes.strokeColor()) {
        // Width 0 is the thinnest line the device draws.
        QPen pen(*stroke, 0.0);
        pen.setCosmetic(true);
        painter.strokePath(path, pen);
    }
    const double padding = (h - 3.0) * c * m;
    drawText(painter, QPointF(x + padding / 2.0, y + 1.0), appendCount ? token_.textWithCountAppended() : token_.text(),
        attributes);
    painter.restore();
}

void FramedToken::drawText(
    QPainter& painter, const QPointF& at, const QString& text, const TokenAttributes& attributes) const
{
    const QFont font = fontOfSize(fontsize_);
    const auto shadow = attributes.textShadow();
    if (!shadow) {
        painter.setFont(font);
        painter.setPen(attributes.textColor());
        painter.drawText(QRectF(at, QSizeF(1.0e6, 1.0e6)), Qt::AlignLeft | Qt::AlignTop, text);
        return;
    }
    // A soft text shadow needs the text's coverage: draw it into its own layer.
    const QSizeF size = QFontMetricsF(font).size(Qt::TextSingleLine, text);
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int margin = static_cast<int>(std::ceil(shadow->blur)) + 1;
    QImage layer(QSize(int(std::ceil((size.width() + 2 * margin) * ratio)),
                     int(std::ceil((size.height() + 2 * margin) * ratio))),
        QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    {
        QPainter textPainter(&layer);
        textPainter.setFont(font);
        textPainter.setPen(attributes.textColor());
        textPainter.drawText(QRectF(QPointF(margin, margin), size), Qt::AlignLeft | Qt::AlignTop, text);
    }
    LayerShadow::drawWithShadow(
        painter, layer, at - QPointF(margin, margin), shadow->offset, shadow->blur, shadow->colour);
}
