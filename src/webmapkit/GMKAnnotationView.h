#pragma once

#include "webmapkit/GMKAnnotation.h"
#include "webmapkit/GMKView.h"

#include <QPointF>

// An annotation on the page ("AnnotationOverlay"): its picture, its place
// (made anew at every drawing), its title and whether it can be dragged.
class GMKAnnotationView : public GMKView {
public:
    GMKAnnotationView(GMKAnnotationPtr annotation, const QString& reuseIdentifier);

    QString viewPrototypeName() const override { return QStringLiteral("AnnotationOverlay"); }
    QMap<QString, QVariant> options() const override;

    QString reuseIdentifier() const { return reuseIdentifier_; }
    GMKAnnotationPtr annotation() const { return annotation_; }
    void setAnnotation(GMKAnnotationPtr annotation) { annotation_ = std::move(annotation); }
    virtual QString imageUrl() const { return imageUrl_; }
    void setImageUrl(const QString& url) { imageUrl_ = url; }
    QPointF centerOffset() const { return centerOffset_; }
    void setCenterOffset(const QPointF& offset) { centerOffset_ = offset; }
    QPointF calloutOffset() const { return calloutOffset_; }
    void setCalloutOffset(const QPointF& offset) { calloutOffset_ = offset; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted) { highlighted_ = highlighted; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected, bool animated = false)
    {
        Q_UNUSED(animated);
        selected_ = selected;
    }
    bool canShowCallout() const { return canShowCallout_; }
    void setCanShowCallout(bool canShow) { canShowCallout_ = canShow; }
    bool isDraggable() const { return draggable_; }
    void setDraggable(bool draggable) { draggable_ = draggable; }
    unsigned dragState() const { return dragState_; }
    void setDragState(unsigned state) { dragState_ = state; }
    void prepareForReuse() { }

protected:
    void prepareDrawing(const ScriptObject& pageObject) override;

private:
    GMKAnnotationPtr annotation_;
    QString reuseIdentifier_;
    QString imageUrl_;
    QPointF centerOffset_;
    QPointF calloutOffset_;
    bool enabled_ = true;
    bool highlighted_ = false;
    bool selected_ = false;
    bool canShowCallout_ = false;
    bool draggable_ = false;
    unsigned dragState_ = 0;
    QVariant latlngCenter_;
};

using GMKAnnotationViewPtr = std::shared_ptr<GMKAnnotationView>;
