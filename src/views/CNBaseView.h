#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QRectF>
#include <QWidget>

#include <functional>
#include <optional>

// A placeholder view: while it has no child it draws an optional icon with a
// centred caption below it (an empty-state panel); it can push a child view
// over itself with a fade or a slide from one side, and pop it again.
//
// Animation effects: 0 none, 1 fade, 2 slide from the top, 3 from the right,
// 4 from the bottom, 5 from the left; other numbers place the child at once
// but still take the given time.
class CNBaseView : public QWidget {
    Q_OBJECT
public:
    // How the caption is drawn; every character shares the same attributes.
    struct TextAttributes {
        QFont font;
        QColor foreground;
        QColor shadowColor;
        QPointF shadowOffset;
        Qt::Alignment alignment = Qt::AlignHCenter;
        double kerning = 0.0;
    };
    struct AttributedText {
        QString string;
        TextAttributes attributes;
    };

    static constexpr double defaultAnimationDuration = 0.3;

    explicit CNBaseView(QWidget* parent = nullptr);
    CNBaseView(const QPixmap& icon, const QString& text, QWidget* parent = nullptr);
    CNBaseView(const QPixmap& icon, const AttributedText& attributedText, QWidget* parent = nullptr);

    static TextAttributes defaultTextAttributes();

    QString text() const { return text_; }
    void setText(const QString& text);
    const std::optional<AttributedText>& attributedText() const { return attributedText_; }
    void setAttributedText(const std::optional<AttributedText>& attributedText);
    const TextAttributes& textBoxAttributes() const { return textBoxAttributes_; }
    double textBoxWidth() const { return textBoxWidth_; }
    void setTextBoxWidth(double width);
    // The caption's measured size; its origin is where it was last drawn.
    QRectF calculatedTextBoxRect();
    void setCalculatedTextBoxRect(const QRectF& rect) { calculatedTextBoxRect_ = rect; }
    double iconVerticalOffset() const { return iconVerticalOffset_; }
    void setIconVerticalOffset(double offset);
    double iconTextMargin() const { return iconTextMargin_; }
    void setIconTextMargin(double margin);
    QColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& color);
    QPixmap icon() const { return icon_; }
    void setIcon(const QPixmap& icon) { icon_ = icon; }
    bool preventDrawingWithSubviews() const { return preventDrawingWithSubviews_; }
    void setPreventDrawingWithSubviews(bool prevent) { preventDrawingWithSubviews_ = prevent; }
    bool hasIcon() const { return !icon_.isNull(); }
    bool hasText() const { return !text_.isEmpty(); }
    bool isAnimating() const { return isAnimating_; }
    const QList<QPointer<QWidget>>& childViewStack() const { return childViewStack_; }

    // Where a child starts (push) or ends (pop) for an effect: just outside the
    // view on the effect's side, or the view's bounds.
    QRect frameForView(const QWidget* view, int effect) const;

    // The view takes the child as its own; pop hands it back unparented.
    void pushChildView(QWidget* child, int effect, std::function<void()> completion = {});
    void pushChildView(QWidget* child, int effect, double duration, std::function<void()> completion);
    void popChildView(int effect, std::function<void()> completion = {});
    void popChildView(int effect, double duration, std::function<void()> completion);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawCaption(class QPainter& painter, const QRectF& box) const;
    void runAnimations(class QParallelAnimationGroup* group, double duration, std::function<void()> finished);

    TextAttributes textBoxAttributes_;
    QList<QPointer<QWidget>> childViewStack_;
    bool isAnimating_ = false;
    bool preventDrawingWithSubviews_ = true;
    QPixmap icon_;
    QString text_ = QStringLiteral("");
    std::optional<AttributedText> attributedText_;
    double textBoxWidth_ = 180.0;
    double iconVerticalOffset_ = 10.0;
    double iconTextMargin_ = 10.0;
    QColor backgroundColor_ = Qt::transparent;
    QRectF calculatedTextBoxRect_;
};
