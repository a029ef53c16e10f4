#pragma once

#include "webmapkit/JsPageHost.h"
#include "webmapkit/MapClock.h"

#include <QWidget>

// The widget that carries a map page: it owns the page's script host and notes
// when the mouse last went down, which is how the map tells a click from a
// click-and-hold. It shows no context menu and accepts no drops.
class GMKWebView : public QWidget {
    Q_OBJECT
public:
    explicit GMKWebView(QWidget* parent = nullptr);

    JsPageHost* host() { return &host_; }
    // Time (on the map clock) of the last mouse press; 0 before the first.
    double lastHitTestDate() const { return lastHitTestDate_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    JsPageHost host_;
    MapClock* clock_;
    double lastHitTestDate_ = 0.0;
};
