#include "comparisongeometry.h"

#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <vector>

namespace
{

// Sums of fractions land a hair beside whole numbers; that must not add a pixel.
constexpr double slack = 1e-9;

// The image's first view pixel along one side where it is `span` long in a view `view` long:
// centred when it is shorter, else held so the view stays within it; always a whole pixel.
double imageStart(double wanted, double span, double view)
{
    if (span <= view)
        return std::round((view - span) / 2);
    return std::clamp(std::round(wanted), std::ceil(view - span), 0.0);
}

} // namespace

int DividerColumn(double fraction, int width)
{
    return std::clamp(static_cast<int>(std::lround(fraction * width)), 0, std::max(width, 0));
}

TComparisonSide SideAtColumn(int x, int dividerColumn)
{
    return x < dividerColumn ? TComparisonSide::Before : TComparisonSide::After;
}

double FitZoom(QSizeF image, QSizeF view)
{
    if (image.isEmpty() || view.isEmpty())
        return 1;
    return std::min(view.width() / image.width(), view.height() / image.height());
}

QPointF ClampedCenter(QPointF center, double zoom, QSizeF image, QSizeF view)
{
    const double left =
        imageStart(view.width() / 2 - center.x() * zoom, image.width() * zoom, view.width());
    const double top =
        imageStart(view.height() / 2 - center.y() * zoom, image.height() * zoom, view.height());
    return {(view.width() / 2 - left) / zoom, (view.height() / 2 - top) / zoom};
}

QPointF ImagePointAt(QPointF viewPoint, const TViewPlace& place, QSizeF view)
{
    return place.center + (viewPoint - QPointF(view.width() / 2, view.height() / 2)) / place.zoom;
}

QPointF ViewPointOf(QPointF imagePoint, const TViewPlace& place, QSizeF view)
{
    return (imagePoint - place.center) * place.zoom + QPointF(view.width() / 2, view.height() / 2);
}

TViewPlace ZoomedAt(const TViewPlace& place, double zoom, QPointF viewPoint, QSizeF view)
{
    const QPointF fixed = ImagePointAt(viewPoint, place, view);
    return {zoom, fixed - (viewPoint - QPointF(view.width() / 2, view.height() / 2)) / zoom};
}

TDrawRects VisiblePart(const TViewPlace& place, QSizeF layout, QSize pixels, QSizeF view)
{
    if (layout.isEmpty() || pixels.isEmpty() || view.isEmpty() || place.zoom <= 0)
        return {};
    const QPointF origin = ImagePointAt(QPointF(0, 0), place, view);
    const QRectF shown =
        QRectF(origin, view / place.zoom).intersected(QRectF(QPointF(0, 0), layout));
    if (shown.isEmpty())
        return {};
    // Whole source pixels only: a pixel cut at the view's edge is drawn whole and clipped, so
    // every pixel keeps its full block.
    const double sx = pixels.width() / layout.width();
    const double sy = pixels.height() / layout.height();
    const double left = std::max(0.0, std::floor(shown.left() * sx + slack));
    const double top = std::max(0.0, std::floor(shown.top() * sy + slack));
    const double right = std::min<double>(pixels.width(), std::ceil(shown.right() * sx - slack));
    const double bottom = std::min<double>(pixels.height(), std::ceil(shown.bottom() * sy - slack));
    if (right <= left || bottom <= top)
        return {};
    const QRectF source(QPointF(left, top), QPointF(right, bottom));
    const QRectF target(ViewPointOf(QPointF(left / sx, top / sy), place, view),
                        ViewPointOf(QPointF(right / sx, bottom / sy), place, view));
    return {source, target};
}

double NextZoomStep(double zoom, int steps, double fitZoom)
{
    const double lowest = std::min(fitZoom, 1.0);
    const double highest = std::max(fitZoom, 32.0);
    std::vector<double> ladder = {1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 0.25, 1.0 / 3, 0.5,
                                  2.0 / 3,  1,        1.5,     2,       3,    4,       6,
                                  8,        12,       16,      24,      32,   fitZoom};
    std::erase_if(ladder, [&](double z) { return z < lowest || z > highest; });
    std::sort(ladder.begin(), ladder.end());
    for (; steps > 0; --steps) {
        const auto next = std::find_if(ladder.begin(), ladder.end(),
                                       [zoom](double z) { return z > zoom * (1 + 1e-6); });
        zoom = next == ladder.end() ? highest : *next;
    }
    for (; steps < 0; ++steps) {
        const auto previous = std::find_if(ladder.rbegin(), ladder.rend(),
                                           [zoom](double z) { return z < zoom * (1 - 1e-6); });
        zoom = previous == ladder.rend() ? lowest : *previous;
    }
    return zoom;
}
