#pragma once

#include "views/RPCountedToken.h"

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>

class QPainter;
class TokenAttributes;

// Measures a token text in the label font of a size: the text's width and
// height. Injectable so that layouts can be computed with exact numbers.
using TokenTextMeasure = std::function<QSizeF(const QString& text, float fontSize)>;

// A token placed by the token field's layout: its box in the control's y-down
// coordinates and its font size.
class FramedToken {
public:
    FramedToken() = default;
    FramedToken(const RPCountedToken& token, float fontsize, const QRectF& bounds);

    // The application font at that pixel size.
    static QFont fontOfSize(float size);
    // Measures with fontOfSize.
    static QSizeF defaultMeasure(const QString& text, float fontSize);
    static float widthPaddingForHeight(
        float height, float fontSize, float cornerRadiusFactor, float widthPaddingMultiplier);
    // The text (with its count when `appendCount`) plus padding and 4 points.
    static QSizeF boxSizeForToken(const RPCountedToken& token, float fontSize, float cornerRadiusFactor,
        float widthPaddingMultiplier, bool appendCount, const TokenTextMeasure& measure);

    const RPCountedToken& token() const { return token_; }
    const QRectF& bounds() const { return bounds_; }
    void setBounds(const QRectF& bounds) { bounds_ = bounds; }
    float fontsize() const { return fontsize_; }
    const QString& text() const { return token_.text(); }
    int64_t count() const { return token_.count(); }

    float topEdge() const { return static_cast<float>(bounds_.top()); }
    float bottomEdge() const { return static_cast<float>(bounds_.y() + bounds_.height()); }
    float midX() const { return static_cast<float>(bounds_.x() + bounds_.width() / 2.0); }
    float midY() const { return static_cast<float>(bounds_.y() + bounds_.height() / 2.0); }
    // 0 inside the box, else the distance from its centre.
    float distanceFrom(const QPointF& point) const;

    QString description() const;

    void drawWithAttributes(QPainter& painter, const TokenAttributes& attributes, bool appendCount) const;

private:
    void drawText(QPainter& painter, const QPointF& at, const QString& text, const TokenAttributes& attributes) const;

    RPCountedToken token_;
    QRectF bounds_;
    float fontsize_ = 0.0f;
};
