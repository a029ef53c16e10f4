#pragma once

#include <QListView>

// The thumbnail browser's key handling: Space asks for a preview (when
// switched on), Delete and Backspace ask to remove the selected items.
class VXKeyPressImageBrowserView : public QListView {
    Q_OBJECT
public:
    explicit VXKeyPressImageBrowserView(QWidget* parent = nullptr);

    bool enableSpacePreview() const { return enableSpacePreview_; }
    void setEnableSpacePreview(bool enable) { enableSpacePreview_ = enable; }

signals:
    void previewRequested();
    void removeSelectionRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool enableSpacePreview_ = false;
};
