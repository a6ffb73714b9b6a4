// The drawing surface of the comparison window: the original and the enlarged image one over the
// other, split by a divider, zoomed and panned together. Only the part in view is drawn, straight
// from the decoded images, so a very large result costs no more than a small one.
#pragma once

#include "comparisongeometry.h"

#include <QImage>
#include <QWidget>

class QPainter;

class ComparisonView : public QWidget
{
    Q_OBJECT

public:
    explicit ComparisonView(QWidget* parent = nullptr);

    // A text in place of the images ("Loading...", or why there is nothing to show).
    void showMessage(const QString& text);
    // The text shown in place of the images; empty while images are shown.
    QString message() const { return message_; }
    // `before` laid over `after` at its size by pixel repetition, split by the divider.
    void showPair(const QImage& before, const QImage& after);
    // `after` alone, without a divider.
    void showAlone(const QImage& after);
    // The names of the two sides, drawn in their corners and given to screen readers.
    void setCaptions(const QString& before, const QString& after);

    bool fitting() const { return fit_; }
    // Screen pixels per image pixel: 1 is 100%.
    double zoom() const;
    void fitToView();
    // Zooms about the middle of the view.
    void setZoom(double zoom);
    // Zooms `steps` steps in (positive) or out, keeping the image point under `at` in place.
    void zoomBy(int steps, QPointF at);

    double dividerFraction() const { return divider_; }
    void setDividerFraction(double fraction);
    // Moves the divider by `pixels` view pixels.
    void moveDivider(int pixels);

    // Where the view looks, for tests and the window's zoom at the cursor.
    TViewPlace place() const { return place_; }

signals:
    void zoomChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class TMode { Message, Pair, Alone };
    enum class TDrag { None, Divider, Pending, Pan };

    void setPlace(TViewPlace place);
    void panBy(QPointF viewPixels);
    bool canPan() const;
    bool nearDivider(double x) const;
    int dividerColumn() const;
    void updateSides();
    void updateCursor(QPointF at);
    void drawImagePart(QPainter& painter, const QImage& image, const QRect& clip);
    void drawCaption(QPainter& painter, const QString& text, const QRect& side, bool alignRight);
    void drawDivider(QPainter& painter, int x);

    TMode mode_ = TMode::Message;
    QString message_;
    QImage before_;
    QImage after_;
    QString beforeCaption_;
    QString afterCaption_;
    TViewPlace place_;
    bool fit_ = true;
    double divider_ = 0.5;
    TDrag drag_ = TDrag::None;
    QPointF pressAt_;
    QPointF lastAt_;
    double grabOffset_ = 0;
    int wheelZoomRest_ = 0;
    // Children only screen readers and tests see: the two sides and the divider.
    QWidget* beforeSide_ = nullptr;
    QWidget* afterSide_ = nullptr;
    QWidget* dividerHandle_ = nullptr;
};
