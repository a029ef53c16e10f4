#include "webmapkit/GMKAnnotationView.h"

GMKAnnotationView::GMKAnnotationView(GMKAnnotationPtr annotation, const QString& reuseIdentifier)
    : annotation_(std::move(annotation))
    , reuseIdentifier_(reuseIdentifier)
{
}

void GMKAnnotationView::prepareDrawing(const ScriptObject& pageObject)
{
    if (annotation_ != nullptr) {
        latlngCenter_ = pageCoordinate(pageObject, annotation_->coordinate());
    }
}

QMap<QString, QVariant> GMKAnnotationView::options() const
{
    QMap<QString, QVariant> all = GMKView::options();
    const QString image = imageUrl();
    if (!image.isEmpty()) {
        all.insert(QStringLiteral("imageUrl"), image);
    }
    if (latlngCenter_.isValid()) {
        all.insert(QStringLiteral("position"), latlngCenter_);
    }
    if (annotation_ != nullptr && !annotation_->title().isEmpty()) {
        all.insert(QStringLiteral("title"), annotation_->title());
    }
    all.insert(QStringLiteral("draggable"), draggable_);
    return all;
}
