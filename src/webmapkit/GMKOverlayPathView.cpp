#include "webmapkit/GMKOverlayPathView.h"

#include "webmapkit/GMKColorAdditions.h"

namespace {

void addColour(
    QMap<QString, QVariant>& options, const QString& colourKey, const QString& opacityKey, const QColor& colour)
{
    const QString text = GMKColorAdditions::hexString(colour);
    if (text.isNull()) {
        return;
    }
    options.insert(colourKey, text);
    options.insert(opacityKey, static_cast<float>(colour.alphaF()));
}

} // namespace

GMKOverlayPathView::GMKOverlayPathView(GMKOverlayPtr overlay)
    : GMKOverlayView(std::move(overlay))
{
    fillColor_ = QColor(Qt::red);
    fillColor_.setAlphaF(0.3f);
    strokeColor_ = QColor(Qt::red);
}

QMap<QString, QVariant> GMKOverlayPathView::options() const
{
    QMap<QString, QVariant> all = GMKOverlayView::options();
    all.insert(QStringLiteral("strokeWeight"), static_cast<float>(lineWidth_));
    all.insert(QStringLiteral("clickable"), false);
    addColour(all, QStringLiteral("fillColor"), QStringLiteral("fillOpacity"), fillColor_);
    addColour(all, QStringLiteral("strokeColor"), QStringLiteral("strokeOpacity"), strokeColor_);
    return all;
}
