#pragma once

#include "views/RPTokenControl.h"

#include <QImage>
#include <QSizeF>
#include <QString>

#include <memory>

// A text measure with exact numbers: each character is half the font size
// wide, and a line is one font size high. A one-letter token at size 10 is a
// box of 5 + 15 (padding) + 4 = 24 by 14 points with the default factors.
inline QSizeF fixedMeasure(const QString& text, float fontSize)
{
    return QSizeF(text.size() * fontSize * 0.5, fontSize);
}

// A shown control of the given size that measures with fixedMeasure.
inline std::unique_ptr<RPTokenControl> makeTokenControl(int width, int height, QWidget* parent = nullptr)
{
    auto control = std::make_unique<RPTokenControl>(parent);
    control->setTextMeasure(fixedMeasure);
    control->resize(width, height);
    control->show();
    return control;
}

// The control drawn on a transparent picture (child widgets left out).
inline QImage renderedControl(RPTokenControl& control)
{
    QImage image(control.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    control.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

inline QStringList framedTexts(const RPTokenControl& control)
{
    QStringList texts;
    for (const FramedToken& token : control.framedTokens()) {
        texts.append(token.text());
    }
    return texts;
}
