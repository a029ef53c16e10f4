#pragma once

#include "commlib/VXCustomBgColorView.h"

// The application's coloured view: white until told otherwise, with the
// optional frame line of its base.
class TAVCustomBgColorView : public VXCustomBgColorView {
    Q_OBJECT
public:
    explicit TAVCustomBgColorView(QWidget* parent = nullptr);
};
