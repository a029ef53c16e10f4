#pragma once

#include <QTableView>

class VXKeyPressTableViewDelegate;

// A table that hands its keys to an owner: Space asks for a preview (when
// switched on), Delete and Backspace remove the selection, Ctrl+Up/Down move
// through the list, Return may be taken before it opens an editor.
class VXKeyPressTableView : public QTableView {
    Q_OBJECT
public:
    explicit VXKeyPressTableView(QWidget* parent = nullptr);

    bool enableSpacePreview() const { return enableSpacePreview_; }
    void setEnableSpacePreview(bool enable) { enableSpacePreview_ = enable; }
    // Not owned; clear it when the delegate goes.
    void setKeyDelegate(VXKeyPressTableViewDelegate* delegate) { delegate_ = delegate; }

signals:
    void previewRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool enableSpacePreview_ = false;
    VXKeyPressTableViewDelegate* delegate_ = nullptr;
};
