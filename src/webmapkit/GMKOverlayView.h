#pragma once

#include "webmapkit/GMKOverlay.h"
#include "webmapkit/GMKView.h"

// The view of one overlay.
class GMKOverlayView : public GMKView {
public:
    explicit GMKOverlayView(GMKOverlayPtr overlay)
        : overlay_(std::move(overlay))
    {
    }
    GMKOverlayPtr overlay() const { return overlay_; }

private:
    GMKOverlayPtr overlay_;
};

using GMKOverlayViewPtr = std::shared_ptr<GMKOverlayView>;
