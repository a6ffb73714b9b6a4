// A thumbnail of an image with the square a preview enlarges drawn on it. A click, or the arrow
// keys and Enter, choose where the square lies.
#pragma once

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QWidget>

class CropPicker : public QWidget
{
    Q_OBJECT

public:
    explicit CropPicker(QWidget* parent = nullptr);

    // `thumbnail` stands for an upright image of `imageSize`; the square goes to its middle.
    void setImage(const QImage& thumbnail, QSize imageSize);
    // Where the square's middle lies, as fractions of the image's width and height.
    QPointF centre() const { return centre_; }
    // The square as drawn on the widget; empty without an image.
    QRectF frameRect() const;
    // Whether there is a choice: the image is larger than the square.
    bool offersChoice() const;

    QSize sizeHint() const override;

signals:
    void centreChosen(QPointF centre);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Where the thumbnail is drawn.
    QRectF imageRect() const;
    // Moves the square's middle to the image point `point`, keeping the square inside the image.
    void placeAt(QPointF point);

    QImage thumbnail_;
    QSize imageSize_;
    QPointF centre_{0.5, 0.5};
};
