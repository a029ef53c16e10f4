#pragma once

#include <QDialog>

#include <functional>

// The window a controller makes by default: a dialog that can be shown as a
// sheet. With a reject handler, Escape and the window's close button run the
// handler instead of closing, for sheets that must only end from their owner
// (a progress sheet whose loop still runs).
class VXCommonWindow : public QDialog {
    Q_OBJECT
public:
    explicit VXCommonWindow(QWidget* parent = nullptr);

    void setRejectHandler(std::function<void()> handler) { rejectHandler_ = std::move(handler); }

public slots:
    void reject() override;

private:
    std::function<void()> rejectHandler_;
};
