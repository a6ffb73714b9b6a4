#include "croppicker.h"

#include "i18n/translation.h"
#include "previewcrop.h"
#include "widgetkit.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

CropPicker::CropPicker(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("cropPicker"));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(TranslateText("Part to enlarge"));
}

QSize CropPicker::sizeHint() const
{
    return QSize(scaleDimension(200), scaleDimension(200));
}

void CropPicker::setImage(const QImage& thumbnail, QSize imageSize)
{
    thumbnail_ = thumbnail;
    imageSize_ = imageSize;
    centre_ = QPointF(0.5, 0.5);
    if (imageSize_.isValid())
        placeAt(QPointF(imageSize_.width() / 2.0, imageSize_.height() / 2.0));
    update();
}

bool CropPicker::offersChoice() const
{
    return imageSize_.width() > PreviewCropSide || imageSize_.height() > PreviewCropSide;
}

QRectF CropPicker::imageRect() const
{
    if (thumbnail_.isNull() || !imageSize_.isValid())
        return {};
    const QSizeF shown = QSizeF(imageSize_).scaled(QSizeF(size()), Qt::KeepAspectRatio);
    return QRectF(QPointF((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
}

QRectF CropPicker::frameRect() const
{
    const QRectF shown = imageRect();
    if (shown.isEmpty())
        return {};
    const QPoint middle(qRound(centre_.x() * imageSize_.width()),
                        qRound(centre_.y() * imageSize_.height()));
    const QRect crop = PreviewCropRect(imageSize_, middle);
    const double scale = shown.width() / imageSize_.width();
    return QRectF(shown.left() + crop.x() * scale, shown.top() + crop.y() * scale,
                  crop.width() * scale, crop.height() * scale);
}

void CropPicker::placeAt(QPointF point)
{
    const QRect crop = PreviewCropRect(imageSize_, point.toPoint());
    const QPointF middle = QRectF(crop).center();
    centre_ = QPointF(middle.x() / imageSize_.width(), middle.y() / imageSize_.height());
    update();
}

void CropPicker::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Mid));
    const QRectF shown = imageRect();
    if (shown.isEmpty())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(shown, thumbnail_);
    const QRectF frame = frameRect();
    // Light and dark lines, so the square shows on any picture.
    painter.setPen(QPen(Qt::black, 3));
    painter.drawRect(frame);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(frame);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::DotLine));
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}

void CropPicker::mousePressEvent(QMouseEvent* event)
{
    const QRectF shown = imageRect();
    if (event->button() != Qt::LeftButton || shown.isEmpty() || !offersChoice())
        return;
    const double scale = imageSize_.width() / shown.width();
    placeAt((event->position() - shown.topLeft()) * scale);
    emit centreChosen(centre_);
}

void CropPicker::keyPressEvent(QKeyEvent* event)
{
    if (!imageSize_.isValid() || !offersChoice()) {
        QWidget::keyPressEvent(event);
        return;
    }
    // A quarter of the square per press; the square itself with Shift.
    const double step = PreviewCropSide / (event->modifiers() & Qt::ShiftModifier ? 1.0 : 4.0);
    QPointF middle(centre_.x() * imageSize_.width(), centre_.y() * imageSize_.height());
    switch (event->key()) {
    case Qt::Key_Left:
        middle.rx() -= step;
        break;
    case Qt::Key_Right:
        middle.rx() += step;
        break;
    case Qt::Key_Up:
        middle.ry() -= step;
        break;
    case Qt::Key_Down:
        middle.ry() += step;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        emit centreChosen(centre_);
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    placeAt(middle);
}
