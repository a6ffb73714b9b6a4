// The geometry of the comparison view, free of widgets: which image a screen column shows, which
// part of the images the view shows at a zoom and place, and zooming about a point. Image
// coordinates are pixels of the enlarged image; the original lies over it stretched to the same
// size, so one place means the same spot in both.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>

enum class TComparisonSide { Before, After };

// The column the divider stands on in a view `width` wide, `fraction` of the way across
// (clamped to the view).
int DividerColumn(double fraction, int width);
// What column `x` shows: the original left of the divider, the enlarged image from it on.
TComparisonSide SideAtColumn(int x, int dividerColumn);

// Where the view looks: `zoom` view pixels per image pixel, `center` the image point at the
// middle of the view.
struct TViewPlace {
    double zoom = 1;
    QPointF center;
};

// The zoom at which the whole image just fits the view.
double FitZoom(QSizeF image, QSizeF view);
// `center` moved as little as needed so the view shows as much of the image as it can: along a
// side where the image is smaller than the view it is centred, else the view stays within it.
// The image's corner then falls on a whole view pixel, so enlarged pixels stay equal blocks.
QPointF ClampedCenter(QPointF center, double zoom, QSizeF image, QSizeF view);

QPointF ImagePointAt(QPointF viewPoint, const TViewPlace& place, QSizeF view);
QPointF ViewPointOf(QPointF imagePoint, const TViewPlace& place, QSizeF view);

// The place at `zoom` that keeps the image point under `viewPoint` where it is (not clamped).
TViewPlace ZoomedAt(const TViewPlace& place, double zoom, QPointF viewPoint, QSizeF view);

// What to draw of one image: `source` in that image's own pixels (whole pixels), `target` in
// the view. Both are empty when none of it shows.
struct TDrawRects {
    QRectF source;
    QRectF target;
};
// The part of an image of `pixels` laid over the enlarged image's `layout` size (stretched when
// they differ) that a view of `view` shows at `place`.
TDrawRects VisiblePart(const TViewPlace& place, QSizeF layout, QSize pixels, QSizeF view);

// The next zoom `steps` steps up (positive) or down from `zoom` on a ladder of round
// magnifications that also holds `fitZoom`; it stops at the smaller of `fitZoom` and 1 below
// and at 32 above.
double NextZoomStep(double zoom, int steps, double fitZoom);
