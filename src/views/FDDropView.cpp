#include "views/FDDropView.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>

namespace {

// Qt counts dash lengths in pen widths; the box's pen is 7 pixels wide.
constexpr double boxPenWidth = 7.0;
constexpr double arrowScale = 0.7;

const QColor& strokeGrey()
{
    static const QColor grey = QColor::fromRgbF(0.806f, 0.806f, 0.806f, 1.0f);
    return grey;
}

const QColor& shadowWhite()
{
    static const QColor white = QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.625f);
    return white;
}

QPainterPath arrowPath(const QPointF& c)
{
    const double s = arrowScale;
    QPainterPath arrow;
    arrow.moveTo(c.x() + 13 * s, c.y() + 3 * s);
    arrow.lineTo(c.x() + 41 * s, c.y() + 3 * s);
    arrow.lineTo(c.x(), c.y() + 56 * s);
    arrow.lineTo(c.x() - 41 * s, c.y() + 3 * s);
    arrow.lineTo(c.x() - 13 * s, c.y() + 3 * s);
    arrow.lineTo(c.x() - 13 * s, c.y() - 56 * s);
    arrow.lineTo(c.x() + 13 * s, c.y() - 56 * s);
    arrow.closeSubpath();
    return arrow;
}

// Box, arrow and prompt in one colour; drawn once as the shadow and once on top.
void drawArtwork(QPainter& painter, const QRectF& bounds, const QColor& color)
{
    const QPointF c = bounds.center();
    painter.save();
    QPen pen(color, boxPenWidth);
    pen.setDashPattern({15 / boxPenWidth, 15 / boxPenWidth, 15 / boxPenWidth, 15 / boxPenWidth});
    pen.setDashOffset(0.5 / boxPenWidth);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(c.x() - 75, c.y() - 75, 150, 150), 20, 20);
    painter.restore();

    painter.fillPath(arrowPath(c), color);

    QFont font = painter.font();
    font.setPixelSize(12);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(color);
    // Ten pixels below the box.
    painter.drawText(QRectF(c.x() - 100, c.y() + 85, 200, 40), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
        QString::fromLatin1(FDDropView::promptText));
}

} // namespace

FDDropView::FDDropView(QWidget* parent)
    : QWidget(parent)
{
    setAcceptDrops(true);
}

std::optional<QStringList> FDDropView::filePaths(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls()) {
        return std::nullopt;
    }
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            return std::nullopt;
        }
        paths.append(url.toLocalFile());
    }
    return paths;
}

bool FDDropView::conforms(const QString& path) const
{
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    QStringList names = type.allAncestors();
    names.prepend(type.name());
    for (const QString& allowed : *allowedFileTypes_) {
        if (allowed.endsWith(QStringLiteral("/*"))) {
            const QString major = allowed.chopped(1);
            if (std::any_of(names.cbegin(), names.cend(), [&](const QString& n) { return n.startsWith(major); })) {
                return true;
            }
        } else if (type.inherits(allowed) || type.inherits(database.mimeTypeForName(allowed).name())) {
            return true;
        }
    }
    return false;
}

bool FDDropView::isDragAllowed(const QStringList& paths) const
{
    if (!enabled_ || (paths.size() > 1 && !multipleFilesAllowed_)) {
        return false;
    }
    if (!allowedFileTypes_) {
        return true;
    }
    return std::all_of(paths.cbegin(), paths.cend(), [this](const QString& path) { return conforms(path); });
}

void FDDropView::dragEnterEvent(QDragEnterEvent* event)
{
    const std::optional<QStringList> paths = filePaths(event->mimeData());
    if (!paths) {
        event->ignore();
        return;
    }
    lastPaths_ = *paths;
    // A refused drag of files is still followed, so that its leaving is reported.
    event->accept();
    if (!isDragAllowed(*paths)) {
        event->setDropAction(Qt::IgnoreAction);
        return;
    }
    if (delegate_ != nullptr) {
        delegate_->dropViewDragDidEnter(this, *paths);
    }
    event->setDropAction(Qt::CopyAction);
}

void FDDropView::dragMoveEvent(QDragMoveEvent* event)
{
    const std::optional<QStringList> paths = filePaths(event->mimeData());
    if (!paths) {
        event->ignore();
        return;
    }
    lastPaths_ = *paths;
    if (isDragAllowed(*paths)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
    }
}

void FDDropView::dragLeaveEvent(QDragLeaveEvent*)
{
    if (delegate_ != nullptr) {
        delegate_->dropViewDragDidCancel(this, lastPaths_);
    }
}

void FDDropView::dropEvent(QDropEvent* event)
{
    const std::optional<QStringList> paths = filePaths(event->mimeData());
    if (!paths) {
        event->ignore();
        return;
    }
    if (delegate_ != nullptr) {
        delegate_->dropViewDropPerformed(this, *paths);
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FDDropView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The shadow lies one pixel above.
    painter.save();
    painter.translate(0, -1);
    drawArtwork(painter, rect(), shadowWhite());
    painter.restore();
    drawArtwork(painter, rect(), strokeGrey());
}
