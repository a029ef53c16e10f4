#include "views/LayerShadow.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Box blur of one row or column of alpha values, radius in pixels.
void blurLine(std::vector<int>& values, int radius)
{
    const int n = static_cast<int>(values.size());
    std::vector<int> sums(n + 1, 0);
    for (int i = 0; i < n; ++i) {
        sums[i + 1] = sums[i] + values[i];
    }
    const int width = 2 * radius + 1;
    for (int i = 0; i < n; ++i) {
        const int lo = std::max(0, i - radius);
        const int hi = std::min(n, i + radius + 1);
        values[i] = (sums[hi] - sums[lo]) / width;
    }
}

QImage shadowMask(const QImage& layer, int radius, const QColor& colour)
{
    const int w = layer.width();
    const int h = layer.height();
    std::vector<int> alpha(size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            alpha[size_t(y) * w + x] = qAlpha(line[x]);
        }
    }
    if (radius > 0) {
        std::vector<int> row(w);
        for (int y = 0; y < h; ++y) {
            std::copy_n(alpha.begin() + ptrdiff_t(y) * w, w, row.begin());
            blurLine(row, radius);
            std::copy(row.begin(), row.end(), alpha.begin() + ptrdiff_t(y) * w);
        }
        std::vector<int> column(h);
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y) {
                column[y] = alpha[size_t(y) * w + x];
            }
            blurLine(column, radius);
            for (int y = 0; y < h; ++y) {
                alpha[size_t(y) * w + x] = column[y];
            }
        }
    }
    QImage mask(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(mask.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int a = alpha[size_t(y) * w + x] * colour.alpha() / 255;
            line[x] = qRgba(colour.red() * a / 255, colour.green() * a / 255, colour.blue() * a / 255, a);
        }
    }
    mask.setDevicePixelRatio(layer.devicePixelRatio());
    return mask;
}

} // namespace

void LayerShadow::drawWithShadow(QPainter& painter, const QImage& layer, const QPointF& origin, const QPointF& offset,
    double blur, const QColor& colour)
{
    const QImage source = layer.format() == QImage::Format_ARGB32_Premultiplied
        ? layer
        : layer.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int radius = static_cast<int>(std::lround(blur * source.devicePixelRatio()));
    painter.drawImage(origin + offset, shadowMask(source, radius, colour));
    painter.drawImage(origin, source);
}
