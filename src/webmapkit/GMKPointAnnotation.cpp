#include "webmapkit/GMKPointAnnotation.h"

namespace {

QString orNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("(null)") : text;
}

} // namespace

QString GMKPointAnnotation::description() const
{
    return QString::asprintf("<GMKPointAnnotation: %p> <%f, %f> ", static_cast<const void*>(this), coordinate_.latitude,
               coordinate_.longitude)
        + orNull(title()) + QStringLiteral(" - ") + orNull(subtitle());
}
