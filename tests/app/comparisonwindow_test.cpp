#include "app/comparisongeometry.h"
#include "app/comparisonview.h"
#include "app/comparisonwindow.h"
#include "batch/batchsummary.h"
#include "support/namedchild.h"
#include "support/testenv.h"
#include "support/waitfor.h"

#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QLabel>
#include <QMap>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QThreadPool>
#include <gtest/gtest.h>

#include <stdexcept>

namespace
{

TEST(ComparisonGeometry, TheDividerDecidesWhichImageEachColumnShows)
{
    const struct {
        double fraction;
        int width;
        int divider;
    } cases[] = {{0.5, 400, 200}, {0.25, 101, 25}, {0, 400, 0},
                 {1, 400, 400},   {1.3, 400, 400}, {-0.2, 400, 0}};
    for (const auto& c : cases) {
        const int divider = DividerColumn(c.fraction, c.width);
        EXPECT_EQ(divider, c.divider) << c.fraction << " of " << c.width;
        for (int x = 0; x < c.width; ++x)
            ASSERT_EQ(SideAtColumn(x, divider),
                      x < c.divider ? TComparisonSide::Before : TComparisonSide::After)
                << "column " << x << " at " << c.fraction;
    }
}

TEST(ComparisonGeometry, ZoomAtAPointKeepsTheImagePointUnderIt)
{
    const QSizeF view(801, 600);
    const QSizeF image(4000, 3000);
    const struct {
        double from, to;
        QPointF at;
    } cases[] = {
        {0.25, 1, {100, 80}}, {1, 4, {700.5, 333}}, {4, 0.5, {400, 300}}, {2, 32, {12, 590}}};
    for (const auto& c : cases) {
        const TViewPlace place{c.from, QPointF(1800, 1300)};
        const QPointF under = ImagePointAt(c.at, place, view);
        const TViewPlace zoomed = ZoomedAt(place, c.to, c.at, view);
        EXPECT_DOUBLE_EQ(zoomed.zoom, c.to);
        const QPointF after = ImagePointAt(c.at, zoomed, view);
        EXPECT_NEAR(after.x(), under.x(), 1e-9) << c.from << " -> " << c.to;
        EXPECT_NEAR(after.y(), under.y(), 1e-9) << c.from << " -> " << c.to;
        // Held within the image and on whole view pixels, it moves by less than a view pixel.
        const TViewPlace clamped{c.to, ClampedCenter(zoomed.center, c.to, image, view)};
        EXPECT_LE(QLineF(ViewPointOf(under, clamped, view), c.at).length(), 0.75);
    }
}

TEST(ComparisonGeometry, TheViewShowsWholePixelsOfEachImageWhereTheyLie)
{
    // A 4 x 4 original over a 16 x 16 result at 400% in a 100 x 100 view: all of it, centred,
    // each original pixel a block of 16 view pixels.
    const TViewPlace centred{4, ClampedCenter(QPointF(3, 3), 4, QSizeF(16, 16), QSizeF(100, 100))};
    TDrawRects part = VisiblePart(centred, QSizeF(16, 16), QSize(4, 4), QSizeF(100, 100));
    EXPECT_EQ(part.source, QRectF(0, 0, 4, 4));
    EXPECT_EQ(part.target, QRectF(18, 18, 64, 64));

    // Zoomed into a corner of a large pair: whole source pixels that cover the view, each as
    // wide as zoom x stretch, on whole view pixels.
    const QSizeF view(801, 600);
    const TViewPlace place{2, ClampedCenter(QPointF(1000.3, 700.2), 2, QSizeF(4000, 3000), view)};
    part = VisiblePart(place, QSizeF(4000, 3000), QSize(1000, 750), view);
    EXPECT_EQ(part.source.topLeft(), part.source.toAlignedRect().topLeft());
    EXPECT_EQ(part.source.size(), part.source.toAlignedRect().size());
    EXPECT_LE(part.target.left(), 0);
    EXPECT_LE(part.target.top(), 0);
    EXPECT_GE(part.target.right(), view.width());
    EXPECT_GE(part.target.bottom(), view.height());
    EXPECT_GT(part.target.left(), -8); // no more than one source pixel beyond the view
    EXPECT_DOUBLE_EQ(part.target.width(), part.source.width() * 8);
    EXPECT_DOUBLE_EQ(part.target.left(), std::round(part.target.left()));
    EXPECT_EQ(ImagePointAt(part.target.topLeft(), place, view), part.source.topLeft() * 4);

    // Panned past the image's edge, the view stays within it; nothing shows of an empty image.
    const TViewPlace beyond{1, ClampedCenter(QPointF(-500, 9000), 1, QSizeF(4000, 3000), view)};
    part = VisiblePart(beyond, QSizeF(4000, 3000), QSize(4000, 3000), view);
    EXPECT_EQ(part.target.topLeft(), QPointF(0, view.height() - 600));
    EXPECT_EQ(part.source.left(), 0);
    EXPECT_EQ(part.source.bottom(), 3000);
    EXPECT_TRUE(VisiblePart(place, QSizeF(), QSize(), view).target.isEmpty());
}

TEST(ComparisonGeometry, ZoomStepsClimbARoundLadderThatHoldsFit)
{
    const struct {
        double zoom;
        int steps;
        double fit;
        double expected;
    } cases[] = {
        {1, 1, 0.2, 1.5},    {1, -1, 0.2, 2.0 / 3}, {4, 2, 0.2, 8},         {32, 1, 0.2, 32},
        {0.25, 1, 0.3, 0.3}, {0.3, -1, 0.3, 0.3},   {0.07, -3, 0.07, 0.07}, {2.5, -1, 0.5, 2},
        {0.2, 1, 0.2, 0.25}, {50, -1, 50, 32},      {1.2, 1, 2, 1.5},       {4, -1, 5, 3},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(NextZoomStep(c.zoom, c.steps, c.fit), c.expected)
            << c.zoom << " by " << c.steps << " with fit " << c.fit;
}

const QRgb red = qRgb(255, 0, 0);
const QRgb green = qRgb(0, 200, 0);
const QRgb blue = qRgb(0, 0, 255);

// The original: 4 x 4 in red and green squares, so a smoothed enlargement would show as mixed
// colours at every edge between them.
QString writeOriginal(const QString& path)
{
    QImage image(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            image.setPixel(x, y, (x + y) % 2 ? green : red);
    EXPECT_TRUE(image.save(path));
    return path;
}

QRgb originalAt(int x, int y)
{
    return (x + y) % 2 ? green : red;
}

QString writePlain(const QString& path, int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    EXPECT_TRUE(image.save(path));
    return path;
}

class ComparisonWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder_ = testenv::NewFolder(QStringLiteral("compare"));
        original_ = writeOriginal(folder_ + QStringLiteral("/original.png"));
        result_ = writePlain(folder_ + QStringLiteral("/result.png"), 16, 16, blue);
    }

    // A window with its settings in `settings_`, shown at a known size.
    ComparisonWindow* open()
    {
        auto* window = new ComparisonWindow(
            [this](const QString& key) { return settings_.value(key); },
            [this](const QString& key, const QString& value) { settings_[key] = value; });
        window_ = window;
        window->resize(520, 420);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        return window;
    }

    void waitLoaded(ComparisonWindow* window)
    {
        ASSERT_TRUE(testenv::WaitFor([window] { return !window->loading(); }, 20000));
        QApplication::processEvents();
    }

    // The view as the user sees it, through a PNG file.
    QImage shot(ComparisonView* view, const char* name)
    {
        const QString path =
            folder_ + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
        EXPECT_TRUE(view->grab().save(path));
        return QImage(path).convertToFormat(QImage::Format_RGB32);
    }

    void TearDown() override { delete window_.data(); }

    QString folder_;
    QString original_;
    QString result_;
    QMap<QString, QString> settings_;
    QPointer<ComparisonWindow> window_;
};

void sendMouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, QPointF at)
{
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, at, target->mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void drag(QWidget* target, Qt::MouseButton button, QPointF from, QPointF to)
{
    sendMouse(target, QEvent::MouseButtonPress, button, from);
    sendMouse(target, QEvent::MouseMove, button, (from + to) / 2);
    sendMouse(target, QEvent::MouseMove, button, to);
    sendMouse(target, QEvent::MouseButtonRelease, button, to);
}

// Checks the pixels of `shot` inside the image's area at `place`: left of the divider (minus
// the line's width) the original by pixel repetition, right of it the result.
void expectSides(const QImage& shot, const TViewPlace& place, int divider, const char* when)
{
    const QSizeF view = shot.size();
    const QRectF image(ViewPointOf(QPointF(0, 0), place, view),
                       ViewPointOf(QPointF(16, 16), place, view));
    int before = 0, after = 0;
    for (int y = 40; y < shot.height(); ++y) { // the captions are above
        for (int x = 0; x < shot.width(); ++x) {
            // The divider's line and handle lie over the images.
            if (std::abs(x - divider) <= 3 || std::abs(y - shot.height() / 2) <= 20 ||
                !image.contains(QPointF(x + 0.5, y + 0.5)))
                continue;
            // A view pixel that straddles two original pixels (blocks of a fractional size at
            // Fit) may show either.
            const QPointF first = ImagePointAt(QPointF(x, y), place, view) / 4;
            const QPointF last = ImagePointAt(QPointF(x + 0.999, y + 0.999), place, view) / 4;
            if (int(first.x()) != int(last.x()) || int(first.y()) != int(last.y()))
                continue;
            const QRgb expected = SideAtColumn(x, divider) == TComparisonSide::Before
                                      ? originalAt(int(first.x()), int(first.y()))
                                      : blue;
            ASSERT_EQ(shot.pixel(x, y), expected) << when << " at " << x << "," << y;
            ++(expected == blue ? after : before);
        }
    }
    EXPECT_GT(before, 100) << when;
    EXPECT_GT(after, 100) << when;
}

TEST_F(ComparisonWindowTest, DrawsTheOriginalByPixelRepetitionLeftOfTheDividerAtFitAnd400)
{
    ComparisonWindow* window = open();
    window->compare(original_, OriginalCaption(), result_, EnlargedCaption());
    auto* view = child<ComparisonView>(*window, "comparisonView");
    EXPECT_EQ(view->message(), QStringLiteral("Loading..."));
    waitLoaded(window);
    ASSERT_TRUE(view->message().isEmpty());

    EXPECT_TRUE(child<QPushButton>(*window, "fitButton")->isChecked());
    EXPECT_DOUBLE_EQ(view->zoom(), FitZoom(QSizeF(16, 16), view->size()));
    expectSides(shot(view, "fit"), view->place(), view->width() / 2, "fit");

    QTest::keyClick(window, Qt::Key_4, Qt::AltModifier);
    EXPECT_TRUE(testenv::WaitFor(
        [window] { return child<QPushButton>(*window, "zoom400Button")->isChecked(); }));
    EXPECT_DOUBLE_EQ(view->zoom(), 4);
    EXPECT_EQ(child<QLabel>(*window, "zoomLabel")->text(), QStringLiteral("400%"));
    expectSides(shot(view, "zoom400"), view->place(), view->width() / 2, "400%");

    // The keys move the divider, and so does dragging its handle.
    const int divider = view->width() / 2;
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
    const int moved = divider + view->width() / 50 + 1;
    EXPECT_EQ(DividerColumn(view->dividerFraction(), view->width()), moved);
    expectSides(shot(view, "keys"), view->place(), moved, "after the keys");
    drag(view, Qt::LeftButton, QPointF(moved + 2, view->height() / 2.0),
         QPointF(moved - 28, view->height() / 2.0));
    EXPECT_EQ(DividerColumn(view->dividerFraction(), view->width()), moved - 30);
    expectSides(shot(view, "dragged"), view->place(), moved - 30, "after a drag");
}

TEST_F(ComparisonWindowTest, ClickMovesTheDividerDragPansAndCtrlWheelZoomsAtThePointer)
{
    // A result larger than the view, so there is room to pan at 100%.
    result_ = writePlain(folder_ + QStringLiteral("/large.png"), 1600, 1200, blue);
    ComparisonWindow* window = open();
    window->compare(original_, OriginalCaption(), result_, EnlargedCaption());
    waitLoaded(window);
    auto* view = child<ComparisonView>(*window, "comparisonView");
    child<QPushButton>(*window, "zoom100Button")->click();
    EXPECT_FALSE(child<QPushButton>(*window, "fitButton")->isChecked());

    const QPointF center = view->place().center;
    drag(view, Qt::LeftButton, QPointF(60, 60), QPointF(100, 90));
    EXPECT_EQ(view->place().center, center - QPointF(40, 30));
    EXPECT_DOUBLE_EQ(view->dividerFraction(), 0.5);
    drag(view, Qt::MiddleButton, QPointF(300, 100), QPointF(280, 100));
    EXPECT_EQ(view->place().center, center - QPointF(20, 30));

    sendMouse(view, QEvent::MouseButtonPress, Qt::LeftButton, QPointF(50, 70));
    sendMouse(view, QEvent::MouseButtonRelease, Qt::LeftButton, QPointF(50, 70));
    EXPECT_EQ(DividerColumn(view->dividerFraction(), view->width()), 50);
    EXPECT_EQ(view->place().center, center - QPointF(20, 30));

    const QPointF at(333, 121);
    const QPointF under = ImagePointAt(at, view->place(), view->size());
    QWheelEvent wheel(at, view->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    EXPECT_DOUBLE_EQ(view->zoom(), 2); // two steps up from 100%: 150%, 200%
    EXPECT_TRUE(child<QPushButton>(*window, "zoom200Button")->isChecked());
    EXPECT_LE(QLineF(ViewPointOf(under, view->place(), view->size()), at).length(), 0.75);

    QTest::keyClick(window, Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(view->zoom(), 1.5);
    EXPECT_EQ(child<QPushButton>(*window, "zoom100Button")->isChecked() ||
                  child<QPushButton>(*window, "zoom200Button")->isChecked() ||
                  child<QPushButton>(*window, "zoom400Button")->isChecked() ||
                  child<QPushButton>(*window, "fitButton")->isChecked(),
              false);
}

TEST_F(ComparisonWindowTest, NamesBothSidesWithTheirSizesForEyesAndScreenReaders)
{
    ComparisonWindow* window = open();
    window->compare(original_, QStringLiteral("Photo"), result_, QStringLiteral("Artwork"));
    waitLoaded(window);

    EXPECT_EQ(child<QLabel>(*window, "beforeInfo")->text(),
              QStringLiteral("Photo: 4 x 4, ") + FormatSize(QFileInfo(original_).size()));
    EXPECT_EQ(child<QLabel>(*window, "afterInfo")->text(),
              QStringLiteral("Artwork: 16 x 16, ") + FormatSize(QFileInfo(result_).size()));
    EXPECT_EQ(child<QWidget>(*window, "beforeSide")->accessibleName(), QStringLiteral("Photo"));
    EXPECT_EQ(child<QWidget>(*window, "afterSide")->accessibleName(), QStringLiteral("Artwork"));
    EXPECT_EQ(child<QWidget>(*window, "divider")->accessibleName(), QStringLiteral("Divider"));
    EXPECT_TRUE(child<QWidget>(*window, "divider")->isVisible());
    EXPECT_FALSE(child<QLabel>(*window, "noteLabel")->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Compare \u2013 result.png"));

    // Tab goes from the picture to the zoom choices, the arrows pick among them, Tab goes back.
    auto* view = child<ComparisonView>(*window, "comparisonView");
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), child<QPushButton>(*window, "fitButton"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), child<QPushButton>(*window, "zoom100Button"));
    EXPECT_TRUE(child<QPushButton>(*window, "zoom100Button")->isChecked());
    EXPECT_DOUBLE_EQ(view->zoom(), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), view);
}

TEST_F(ComparisonWindowTest, WithoutTheOriginalTheNoteShowsAndOnlyTheResultIsDrawn)
{
    ComparisonWindow* window = open();
    window->showAlone(result_, EnlargedCaption(), DeletedOriginalNote());
    waitLoaded(window);
    auto* view = child<ComparisonView>(*window, "comparisonView");

    auto* note = child<QLabel>(*window, "noteLabel");
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(),
              QStringLiteral("The original was deleted permanently; only the enlarged image is "
                             "shown."));
    EXPECT_FALSE(child<QWidget>(*window, "beforeSide")->isVisible());
    EXPECT_FALSE(child<QWidget>(*window, "divider")->isVisible());
    EXPECT_TRUE(child<QWidget>(*window, "afterSide")->isVisible());
    EXPECT_TRUE(child<QLabel>(*window, "beforeInfo")->text().isEmpty());
    EXPECT_TRUE(child<QLabel>(*window, "afterInfo")
                    ->text()
                    .startsWith(QStringLiteral("Enlarged: 16 x 16, ")));

    // Result all across, no divider: every pixel of the image's area below the caption is blue.
    const QImage pixels = shot(view, "alone");
    const TViewPlace place = view->place();
    const QRect image = QRectF(ViewPointOf(QPointF(0, 0), place, view->size()),
                               ViewPointOf(QPointF(16, 16), place, view->size()))
                            .toAlignedRect()
                            .adjusted(0, 40, 0, 0);
    int counted = 0;
    for (int y = image.top(); y <= image.bottom(); y += 2)
        for (int x = image.left(); x <= image.right(); ++x, ++counted)
            ASSERT_EQ(pixels.pixel(x, y), blue) << x << "," << y;
    EXPECT_GT(counted, 1000);

    // An original that cannot be read leaves the result alone too, and says so.
    window->compare(folder_ + QStringLiteral("/gone.png"), OriginalCaption(), result_,
                    EnlargedCaption());
    waitLoaded(window);
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().startsWith(QStringLiteral("Original cannot be read: ")));
    EXPECT_FALSE(child<QWidget>(*window, "divider")->isVisible());
    // And a result that cannot be read leaves nothing to draw but why.
    window->compare(original_, OriginalCaption(), folder_ + QStringLiteral("/gone.png"),
                    EnlargedCaption());
    waitLoaded(window);
    EXPECT_TRUE(view->message().startsWith(QStringLiteral("Enlarged cannot be read: ")));
}

TEST_F(ComparisonWindowTest, AResultWithoutTheOriginalsOrientationTagIsTurnedLikeIt)
{
    // Stored 4 x 2 with an orientation tag that turns it upright to 2 x 4, like a phone's photo.
    QImage stored(4, 2, QImage::Format_RGB32);
    stored.fill(red);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(stored.save(&buffer, "JPEG"));
    const QByteArray exif("Exif\0\0MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0",
                          32);
    jpeg.insert(2, QByteArray("\xff\xe1\0", 3) + char(exif.size() + 2) + exif);
    testenv::WriteFile(folder_ + QStringLiteral("/phone.jpg"), jpeg);
    const struct {
        int width, height;
        const char* shown;
    } results[] = {{16, 8, "8 x 16"},  // the stored grid, its tag lost
                   {8, 16, "8 x 16"}}; // already upright
    ComparisonWindow* window = open();
    for (const auto& result : results) {
        window->compare(
            folder_ + QStringLiteral("/phone.jpg"), OriginalCaption(),
            writePlain(folder_ + QStringLiteral("/big.png"), result.width, result.height, blue),
            EnlargedCaption());
        waitLoaded(window);
        EXPECT_TRUE(child<QLabel>(*window, "beforeInfo")
                        ->text()
                        .startsWith(QStringLiteral("Original: 2 x 4, ")));
        EXPECT_TRUE(child<QLabel>(*window, "afterInfo")
                        ->text()
                        .startsWith(QStringLiteral("Enlarged: ") + QLatin1String(result.shown)))
            << result.width << "x" << result.height << " "
            << child<QLabel>(*window, "afterInfo")->text().toStdString();
    }
}

TEST_F(ComparisonWindowTest, OpensWhereItWasLeftAndEscapeClosesAndRemembersIt)
{
    settings_[QStringLiteral("ComparePlacement")] = QStringLiteral("30,40,500,380,0");
    auto* window = new ComparisonWindow(
        [this](const QString& key) { return settings_.value(key); },
        [this](const QString& key, const QString& value) { settings_[key] = value; });
    window_ = window;
    EXPECT_EQ(window->geometry(), QRect(30, 40, 500, 380));
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->setGeometry(20, 30, 460, 360);
    QTest::keyClick(window, Qt::Key_Escape);
    ASSERT_TRUE(testenv::WaitFor([this] { return window_.isNull(); }));
    EXPECT_EQ(settings_.value(QStringLiteral("ComparePlacement")),
              QStringLiteral("20,30,460,360,0"));

    // The next one opens there.
    ComparisonWindow next([this](const QString& key) { return settings_.value(key); }, {});
    EXPECT_EQ(next.geometry(), QRect(20, 30, 460, 360));
}

TEST_F(ComparisonWindowTest, ClosingWhileTheImagesAreReadIsSafe)
{
    const QString large = writePlain(folder_ + QStringLiteral("/large.png"), 3000, 2000, blue);
    for (int i = 0; i < 3; ++i) {
        ComparisonWindow* window = open();
        window->compare(original_, OriginalCaption(), large, EnlargedCaption());
        if (i == 1) // a second comparison replaces the first one still being read
            window->compare(original_, OriginalCaption(), result_, EnlargedCaption());
        EXPECT_TRUE(window->loading());
        window->close();
        ASSERT_TRUE(testenv::WaitFor([this] { return window_.isNull(); }));
    }
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));
    QApplication::processEvents();
}

} // namespace
