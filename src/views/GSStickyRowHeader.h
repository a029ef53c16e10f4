#pragma once

#include <QImage>
#include <QRect>
#include <QRegion>

#include <functional>
#include <optional>

class QAbstractItemView;
class QModelIndex;
class QPainter;
class QStyleOptionViewItem;

// How the pinned header appears: 0 opaque at once, 1 fading in as its section
// scrolls under it. Subclasses may answer other values; the header then shows
// a warning text instead of the row.
using GSStickyRowTransition = unsigned int;
inline constexpr GSStickyRowTransition GSStickyRowTransitionNone = 0;
inline constexpr GSStickyRowTransition GSStickyRowTransitionFadeIn = 1;

// The pinned copy of a sticky row, shared by tables and outlines: where it
// stands, how far its section has scrolled past it, and its picture. The views
// find the rows; this class places and paints. All rectangles are in viewport
// coordinates, where the top of the visible area is y = 0.
//
// The header is painted over the viewport rather than being a child widget:
// a viewport's children scroll with its contents, and widgets must not be
// moved from inside a paint event.
class GSStickyRowHeader {
public:
    // The header's identifying tag (hexadecimal DF1817E). Nothing looks it up
    // here, since the header is painted rather than kept as a child view.
    static constexpr quint32 kTag = 233931134;

    static const char* badTransitionText();

    // The previous sticky row pinned to the top edge; an arriving next sticky
    // row pushes it up, bottom edge on the arriving row's top edge.
    static QRect placement(const QRect& previousRow, const std::optional<QRect>& nextRow);
    // How far the section has scrolled past its header row, in units of
    // 1.25 row heights: 0 while the header row itself is at the top.
    static double scrollFraction(const QRect& previousRow);
    // Clicks are taken once the section scrolled 0.625 row heights past the top.
    static bool isEnabledAt(double fraction);
    static double opacityFor(GSStickyRowTransition transition, double fraction);

    // Repaints the picture of the row at `rowRect`; `drawRow` draws the row at
    // its own viewport position. The picture's storage is kept while the row's
    // size stays the same, so scrolling repaints without allocating.
    void paint(const QRect& rowRect, GSStickyRowTransition transition, double fraction, qreal pixelRatio,
        const std::function<void(QPainter&)>& drawRow);
    // Draws the picture at `frame` and remembers where it went.
    void draw(QPainter& painter, const QRect& frame);
    // Nothing is pinned: forget the last frame.
    void hide();

    // The part of the viewport to repaint after its contents were scrolled by
    // (dx, dy): the old frame, where scrolling moved its picture, and `next`.
    QRegion areaToRefreshAfterScroll(int dx, int dy, const QRect& next) const;

    const QImage& picture() const { return m_picture; }
    QRect frame() const { return m_frame; }

    // The row's background in the pinned copy: the view's base colour, half
    // way to white.
    static QColor highlightedBackground(const QAbstractItemView* view);
    static QColor gridColor(const QAbstractItemView* view);
    // Paints one cell as the view would, without the selection look: the pinned
    // copy stands for the row, not for its selection.
    static void drawCellUnselected(QPainter& painter, const QAbstractItemView* view, QStyleOptionViewItem option,
        const QModelIndex& index, const QRect& cellRect);

private:
    static void prepare(QImage& image, const QSize& size, qreal pixelRatio);
    static void paintRow(QImage& image, const QRect& rowRect, const std::function<void(QPainter&)>& drawRow);

    QImage m_picture;
    QImage m_fullStrength; // the unfaded row, composed into m_picture
    QRect m_frame;
};
