#include "comparisonview.h"

#include "i18n/shownnumbers.h"
#include "i18n/translation.h"
#include "widgetkit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace
{

const QColor background(0x2b, 0x2b, 0x2b);

int handleRadius()
{
    return scaleDimension(13);
}

// Behind transparent pixels, so they do not pass for black or for the window's colour.
const QBrush& checkerBrush()
{
    static const QBrush brush = [] {
        QImage tile(16, 16, QImage::Format_RGB32);
        tile.fill(QColor(0x99, 0x99, 0x99));
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if ((x < 8) != (y < 8))
                    tile.setPixel(x, y, qRgb(0x66, 0x66, 0x66));
        return QBrush(tile);
    }();
    return brush;
}

QWidget* makeSide(QWidget* parent, const char* name)
{
    // Only screen readers and tests see it: the view under it paints and takes the mouse.
    auto* side = new QWidget(parent);
    side->setObjectName(QLatin1String(name));
    side->setAttribute(Qt::WA_TransparentForMouseEvents);
    side->hide();
    return side;
}

} // namespace

ComparisonView::ComparisonView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("comparisonView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(scaleDimension(160), scaleDimension(120));
    beforeSide_ = makeSide(this, "beforeSide");
    afterSide_ = makeSide(this, "afterSide");
    dividerHandle_ = makeSide(this, "divider");
    dividerHandle_->setAccessibleName(TranslateText("Divider"));
}

void ComparisonView::showMessage(const QString& text)
{
    mode_ = TMode::Message;
    message_ = text;
    before_ = QImage();
    after_ = QImage();
    drag_ = TDrag::None;
    updateSides();
    update();
}

void ComparisonView::showPair(const QImage& before, const QImage& after)
{
    mode_ = TMode::Pair;
    before_ = before;
    after_ = after;
    message_.clear();
    if (fit_)
        fitToView();
    else
        setPlace({place_.zoom, QPointF(after.width() / 2.0, after.height() / 2.0)});
    updateSides();
    emit zoomChanged();
}

void ComparisonView::showAlone(const QImage& after)
{
    showPair(QImage(), after);
    mode_ = TMode::Alone;
    updateSides();
}

void ComparisonView::setCaptions(const QString& before, const QString& after)
{
    beforeCaption_ = before;
    afterCaption_ = after;
    beforeSide_->setAccessibleName(before);
    afterSide_->setAccessibleName(after);
    update();
}

double ComparisonView::zoom() const
{
    return place_.zoom * devicePixelRatioF();
}

void ComparisonView::fitToView()
{
    fit_ = true;
    setPlace(
        {FitZoom(after_.size(), size()), QPointF(after_.width() / 2.0, after_.height() / 2.0)});
    emit zoomChanged();
}

void ComparisonView::setZoom(double zoom)
{
    fit_ = false;
    setPlace({zoom / devicePixelRatioF(), place_.center});
    emit zoomChanged();
}

void ComparisonView::zoomBy(int steps, QPointF at)
{
    const double ratio = devicePixelRatioF();
    const double fit = FitZoom(after_.size(), size()) * ratio;
    const double next = NextZoomStep(zoom(), steps, fit);
    fit_ = std::abs(next - fit) <= fit * 1e-9;
    setPlace(ZoomedAt(place_, next / ratio, at, size()));
    emit zoomChanged();
}

void ComparisonView::setDividerFraction(double fraction)
{
    divider_ = std::clamp(fraction, 0.0, 1.0);
    updateSides();
    update();
}

void ComparisonView::moveDivider(int pixels)
{
    if (width() > 0)
        setDividerFraction(double(dividerColumn() + pixels) / width());
}

void ComparisonView::setPlace(TViewPlace place)
{
    place_.zoom = place.zoom;
    place_.center = ClampedCenter(place.center, place.zoom, after_.size(), size());
    update();
}

void ComparisonView::panBy(QPointF viewPixels)
{
    setPlace({place_.zoom, place_.center - viewPixels / place_.zoom});
}

bool ComparisonView::canPan() const
{
    return mode_ != TMode::Message && (after_.width() * place_.zoom > width() + 0.5 ||
                                       after_.height() * place_.zoom > height() + 0.5);
}

int ComparisonView::dividerColumn() const
{
    return DividerColumn(divider_, width());
}

bool ComparisonView::nearDivider(double x) const
{
    return mode_ == TMode::Pair && std::abs(x - dividerColumn()) <= handleRadius();
}

void ComparisonView::updateSides()
{
    const bool pair = mode_ == TMode::Pair;
    const int x = pair ? dividerColumn() : 0;
    beforeSide_->setGeometry(0, 0, x, height());
    afterSide_->setGeometry(x, 0, width() - x, height());
    dividerHandle_->setGeometry(x - handleRadius(), 0, 2 * handleRadius(), height());
    dividerHandle_->setAccessibleDescription(
        FillTemplate(TranslateText("%s%"), {ShownNumber(qRound(divider_ * 100))}));
    beforeSide_->setVisible(pair);
    dividerHandle_->setVisible(pair);
    afterSide_->setVisible(mode_ != TMode::Message);
}

void ComparisonView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (fit_) {
        const double before = place_.zoom;
        setPlace(
            {FitZoom(after_.size(), size()), QPointF(after_.width() / 2.0, after_.height() / 2.0)});
        if (place_.zoom != before)
            emit zoomChanged();
    } else {
        setPlace(place_);
    }
    updateSides();
}

void ComparisonView::mousePressEvent(QMouseEvent* event)
{
    if (mode_ == TMode::Message || drag_ != TDrag::None)
        return;
    const QPointF at = event->position();
    if (event->button() == Qt::LeftButton) {
        if (nearDivider(at.x())) {
            // Held where it was grabbed, so it does not jump under the pointer.
            drag_ = TDrag::Divider;
            grabOffset_ = at.x() - dividerColumn();
        } else if (mode_ == TMode::Pair && !canPan()) {
            // Nothing to pan: a drag anywhere moves the divider.
            drag_ = TDrag::Divider;
            grabOffset_ = 0;
            setDividerFraction(at.x() / width());
        } else {
            // A click moves the divider there, a drag pans; which one shows when it moves.
            drag_ = TDrag::Pending;
        }
    } else if (event->button() == Qt::MiddleButton) {
        drag_ = TDrag::Pan;
    }
    pressAt_ = lastAt_ = at;
    updateCursor(at);
}

void ComparisonView::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    switch (drag_) {
    case TDrag::Divider:
        setDividerFraction((at.x() - grabOffset_) / width());
        break;
    case TDrag::Pending:
        if ((at - pressAt_).manhattanLength() < QApplication::startDragDistance())
            break;
        drag_ = TDrag::Pan;
        panBy(at - lastAt_);
        break;
    case TDrag::Pan:
        panBy(at - lastAt_);
        break;
    case TDrag::None:
        break;
    }
    if (drag_ != TDrag::Pending)
        lastAt_ = at;
    updateCursor(at);
}

void ComparisonView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->buttons() != Qt::NoButton)
        return;
    if (drag_ == TDrag::Pending && mode_ == TMode::Pair)
        setDividerFraction(event->position().x() / width());
    drag_ = TDrag::None;
    updateCursor(event->position());
}

void ComparisonView::wheelEvent(QWheelEvent* event)
{
    event->accept();
    if (mode_ == TMode::Message)
        return;
    if (event->modifiers() & Qt::ControlModifier) {
        // A touchpad sends small parts of a notch; they add up to whole steps.
        wheelZoomRest_ += event->angleDelta().y();
        const int steps = wheelZoomRest_ / 120;
        wheelZoomRest_ -= steps * 120;
        if (steps != 0)
            zoomBy(steps, event->position());
        return;
    }
    QPointF delta = event->pixelDelta().isNull() ? QPointF(event->angleDelta()) / 2
                                                 : QPointF(event->pixelDelta());
    if ((event->modifiers() & Qt::ShiftModifier) && delta.x() == 0)
        delta = QPointF(delta.y(), 0);
    panBy(delta);
}

void ComparisonView::keyPressEvent(QKeyEvent* event)
{
    // A press moves the divider by a fiftieth of the view, with Shift by one pixel.
    const int step = event->modifiers() & Qt::ShiftModifier ? 1 : std::max(1, width() / 50);
    if (event->key() == Qt::Key_Left && mode_ == TMode::Pair)
        moveDivider(-step);
    else if (event->key() == Qt::Key_Right && mode_ == TMode::Pair)
        moveDivider(step);
    else
        QWidget::keyPressEvent(event);
}

void ComparisonView::updateCursor(QPointF at)
{
    if (drag_ == TDrag::Pan || drag_ == TDrag::Pending)
        setCursor(Qt::ClosedHandCursor);
    else if (drag_ == TDrag::Divider ||
             (mode_ == TMode::Pair && (nearDivider(at.x()) || !canPan())))
        setCursor(Qt::SplitHCursor);
    else if (canPan())
        setCursor(Qt::OpenHandCursor);
    else
        unsetCursor();
}

void ComparisonView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), background);
    if (mode_ == TMode::Message) {
        painter.setPen(QColor(0xe0, 0xe0, 0xe0));
        painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                         message_);
        return;
    }
    const int x = mode_ == TMode::Pair ? dividerColumn() : 0;
    const QRect beforeSide(0, 0, x, height());
    const QRect afterSide(x, 0, width() - x, height());
    if (mode_ == TMode::Pair)
        drawImagePart(painter, before_, beforeSide);
    drawImagePart(painter, after_, afterSide);
    if (mode_ == TMode::Pair) {
        drawCaption(painter, beforeCaption_, beforeSide, false);
        drawCaption(painter, afterCaption_, afterSide, true);
        drawDivider(painter, x);
    } else {
        drawCaption(painter, afterCaption_, afterSide, false);
    }
}

void ComparisonView::drawImagePart(QPainter& painter, const QImage& image, const QRect& clip)
{
    if (clip.isEmpty() || image.isNull())
        return;
    const TDrawRects part = VisiblePart(place_, after_.size(), image.size(), size());
    if (part.target.isEmpty())
        return;
    painter.save();
    painter.setClipRect(clip);
    if (image.hasAlphaChannel())
        painter.fillRect(part.target, checkerBrush());
    // Enlarged pixels are repeated, never blended: the original shows exactly what the model
    // had to work with. Only a view that shrinks an image smooths it.
    const bool shrunk = part.target.width() * devicePixelRatioF() < part.source.width() - 0.5;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, shrunk);
    painter.drawImage(part.target, image, part.source);
    painter.restore();
}

void ComparisonView::drawCaption(QPainter& painter, const QString& text, const QRect& side,
                                 bool alignRight)
{
    if (text.isEmpty() || side.isEmpty())
        return;
    const int margin = scaleDimension(8);
    const int padding = scaleDimension(5);
    const QFontMetrics metrics(font());
    QRect box(0, 0, metrics.horizontalAdvance(text) + 2 * padding, metrics.height() + padding);
    if (alignRight)
        box.moveTopRight(side.topRight() + QPoint(-margin, margin));
    else
        box.moveTopLeft(side.topLeft() + QPoint(margin, margin));
    painter.save();
    painter.setClipRect(side);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 160));
    painter.drawRoundedRect(box, padding, padding);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
    painter.restore();
}

void ComparisonView::drawDivider(QPainter& painter, int x)
{
    painter.save();
    painter.fillRect(QRect(x - 2, 0, 4, height()), QColor(0, 0, 0, 120));
    painter.fillRect(QRect(x - 1, 0, 2, height()), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    const double r = handleRadius();
    const QPointF middle(x, height() / 2.0);
    painter.setPen(QPen(QColor(0, 0, 0, 140), 1.5));
    painter.setBrush(hasFocus() ? palette().color(QPalette::Highlight) : QColor(Qt::white));
    painter.drawEllipse(middle, r, r);
    // Arrows that say it moves sideways.
    const double a = r * 0.35;
    QPainterPath arrows;
    arrows.moveTo(middle + QPointF(-r * 0.25, -a));
    arrows.lineTo(middle + QPointF(-r * 0.25 - a, 0));
    arrows.lineTo(middle + QPointF(-r * 0.25, a));
    arrows.closeSubpath();
    arrows.moveTo(middle + QPointF(r * 0.25, -a));
    arrows.lineTo(middle + QPointF(r * 0.25 + a, 0));
    arrows.lineTo(middle + QPointF(r * 0.25, a));
    arrows.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(hasFocus() ? palette().color(QPalette::HighlightedText)
                                : QColor(0x40, 0x40, 0x40));
    painter.drawPath(arrows);
    painter.restore();
}
