#pragma once

#include <QColor>
#include <QList>
#include <QWidget>

// A view filled with a vertical gradient through the given colours, first at
// the top; one colour fills it plainly, none leaves it unpainted.
class VXGradientView : public QWidget {
    Q_OBJECT
public:
    explicit VXGradientView(QWidget* parent = nullptr);

    QList<QColor> aryBgColors() const { return aryBgColors_; }
    void setAryBgColors(const QList<QColor>& colours);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<QColor> aryBgColors_;
};
