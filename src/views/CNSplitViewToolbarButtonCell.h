#pragma once

#include <QColor>
#include <QLinearGradient>
#include <QRect>

#include <cstdint>

class QPainter;
class QPixmap;
class QString;
class QFont;

// Draws a split-view toolbar button: its bezel, image and title. The look
// follows the button's own window: full in an active window, toned down and
// with dimmed images in an inactive one.
class CNSplitViewToolbarButtonCell {
public:
    static constexpr int32_t imageLeft = 2;
    static constexpr int32_t imageRight = 3;
    static constexpr double fullOpacity = 1.0;
    static constexpr double dimmedOpacity = 0.42;
    // Space around the image and title.
    static constexpr int margin = 10;

    int32_t imagePosition() const { return imagePosition_; }
    void setImagePosition(int32_t position) { imagePosition_ = position; }

    void drawBezel(QPainter& painter, const QRect& frame, bool highlighted, bool activeWindow) const;
    // Answers the rectangle the image took.
    QRect drawImage(QPainter& painter, const QPixmap& image, const QRect& frame, bool hasTitle, bool highlighted,
        bool enabled, bool activeWindow) const;
    // Answers the frame the title was drawn in.
    QRect drawTitle(QPainter& painter, const QString& title, const QFont& font, const QColor& color, QRect frame,
        bool highlighted) const;

    static double imageOpacity(bool enabled, bool activeWindow);

private:
    int32_t imagePosition_ = imageLeft;
};
