#pragma once

#include "views/CNSplitViewToolbarButtonCell.h"

#include <QAbstractButton>
#include <QMenu>
#include <QPixmap>
#include <QPointer>

#include <cstdint>

// A borderless gradient button for split-view toolbars: a standard image, a
// small centred title and, optionally, a menu that pops up at the press instead
// of a click. Every toolbar button of the process follows the enable and
// disable requests of any toolbar.
class CNSplitViewToolbarButton : public QAbstractButton {
    Q_OBJECT
public:
    // The width and height of the standard images.
    static constexpr int templateImageSize = 16;

    explicit CNSplitViewToolbarButton(QWidget* parent = nullptr);
    explicit CNSplitViewToolbarButton(QMenu* contextMenu, QWidget* parent = nullptr);
    ~CNSplitViewToolbarButton() override;

    void enableMe() { setEnabled(true); }
    void disableMe() { setEnabled(false); }
    void windowStatusChanged() { update(); }

    QString title() const { return text(); }
    void setTitle(const QString& title);
    QFont titleFont() const;
    int32_t imagePosition() const { return cell_.imagePosition(); }
    void setImagePosition(int32_t position);
    // 1 add, 2 remove, 3 quick look, 4 action, 5 share, 6 icon view, 7 list view,
    // 8 locked, 9 unlocked, 10 go right, 11 go left, 12 stop, 13 refresh; any
    // other number is stored and leaves the image as it is.
    int32_t imageTemplate() const { return imageTemplate_; }
    void setImageTemplate(int32_t imageTemplate);
    QPixmap image() const { return image_; }
    void setImage(const QPixmap& image);
    QMenu* itemContextMenu() const { return itemContextMenu_; }
    void setItemContextMenu(QMenu* menu) { itemContextMenu_ = menu; }
    const CNSplitViewToolbarButtonCell& cell() const { return cell_; }

    // Our own drawing of a standard image (null for unknown numbers).
    static QPixmap templateImage(int32_t imageTemplate);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void commonConfiguration();

    QPointer<QMenu> itemContextMenu_;
    int32_t imageTemplate_ = 0;
    QPixmap image_;
    CNSplitViewToolbarButtonCell cell_;
};
