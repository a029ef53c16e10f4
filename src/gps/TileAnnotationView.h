#pragma once

#include "webmapkit/GMKAnnotation.h"

#include <QImage>
#include <QPointF>
#include <QString>

#include <memory>

// How a tile map shows one annotation: a picture whose bottom centre stands on
// the coordinate (moved by centerOffset), or the user-location dot. The map
// keeps the view while its annotation is on the map.
class TileAnnotationView {
public:
    // The drag states a map reports to its delegate.
    enum DragState : unsigned { DragNone = 0, DragStarting = 1, DragDragging = 2, DragCanceling = 3, DragEnding = 4 };
    enum class Kind { Picture, UserLocation };

    TileAnnotationView(GMKAnnotationPtr annotation, const QString& reuseIdentifier, Kind kind = Kind::Picture);

    // The map's own pin: red, showing a callout.
    static std::shared_ptr<TileAnnotationView> defaultPin(GMKAnnotationPtr annotation);

    Kind kind() const { return kind_; }
    QString reuseIdentifier() const { return reuseIdentifier_; }
    GMKAnnotationPtr annotation() const { return annotation_; }
    void setAnnotation(GMKAnnotationPtr annotation) { annotation_ = std::move(annotation); }

    QImage image() const { return image_; }
    void setImage(const QImage& image) { image_ = image; }
    // Sets a compiled-in map picture by name ("MKPinAnnotationColorRed").
    void setImageNamed(const QString& name);
    QPointF centerOffset() const { return centerOffset_; }
    void setCenterOffset(const QPointF& offset) { centerOffset_ = offset; }

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted) { highlighted_ = highlighted; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected) { selected_ = selected; }
    bool canShowCallout() const { return canShowCallout_; }
    void setCanShowCallout(bool canShow) { canShowCallout_ = canShow; }
    bool isDraggable() const { return draggable_; }
    void setDraggable(bool draggable) { draggable_ = draggable; }
    unsigned dragState() const { return dragState_; }
    void setDragState(unsigned state) { dragState_ = state; }

private:
    Kind kind_;
    GMKAnnotationPtr annotation_;
    QString reuseIdentifier_;
    QImage image_;
    QPointF centerOffset_;
    bool enabled_ = true;
    bool highlighted_ = false;
    bool selected_ = false;
    bool canShowCallout_ = false;
    bool draggable_ = false;
    unsigned dragState_ = DragNone;
};

using TileAnnotationViewPtr = std::shared_ptr<TileAnnotationView>;
