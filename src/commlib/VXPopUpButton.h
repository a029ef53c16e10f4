#pragma once

#include <QComboBox>

// A pop-up button that says it is about to open, so its owner can fill or
// enable the items just before the list shows.
class VXPopUpButton : public QComboBox {
    Q_OBJECT
public:
    explicit VXPopUpButton(QWidget* parent = nullptr);

    void showPopup() override;

signals:
    void willPopUp();
};
