#include "app/croppicker.h"
#include "app/previewcrop.h"
#include "support/testenv.h"

#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

TEST(PreviewPart, TheSquareStaysInsideTheImage)
{
    const struct {
        const char* name;
        QSize image;
        QPoint centre;
        QRect expected;
    } cases[] = {
        {"in the middle", {300, 200}, {150, 100}, {86, 36, 128, 128}},
        {"at the top left corner", {300, 200}, {0, 0}, {0, 0, 128, 128}},
        {"past the bottom right corner", {300, 200}, {400, 250}, {172, 72, 128, 128}},
        {"a narrow image", {60, 500}, {30, 480}, {0, 372, 60, 128}},
        {"an image smaller than the square", {40, 30}, {5, 5}, {0, 0, 40, 30}},
        {"exactly the square", {128, 128}, {100, 10}, {0, 0, 128, 128}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PreviewCropRect(c.image, c.centre), c.expected) << c.name;
}

TEST(PreviewPart, TheCutKeepsDepthGreyAndTheUprightPixels)
{
    const QString folder = testenv::NewFolder(QStringLiteral("part")) + QLatin1Char('/');
    QImage deep(200, 150, QImage::Format_Grayscale16);
    for (int y = 0; y < deep.height(); ++y)
        for (int x = 0; x < deep.width(); ++x)
            reinterpret_cast<quint16*>(deep.scanLine(y))[x] = static_cast<quint16>(x * 300 + y);
    ASSERT_TRUE(deep.save(folder + QStringLiteral("deep.png")));

    ASSERT_EQ(WritePreviewCrop(folder + QStringLiteral("deep.png"), QPointF(0.5, 0.5),
                               folder + QStringLiteral("part.png")),
              TPreviewCut::Written);
    const QImage part(folder + QStringLiteral("part.png"));
    EXPECT_EQ(part.format(), QImage::Format_Grayscale16);
    EXPECT_EQ(part, deep.copy(36, 11, 128, 128));

    testenv::WriteFile(folder + QStringLiteral("broken.png"), "not an image");
    EXPECT_EQ(WritePreviewCrop(folder + QStringLiteral("broken.png"), QPointF(0.5, 0.5),
                               folder + QStringLiteral("none.png")),
              TPreviewCut::Unreadable);
    EXPECT_EQ(WritePreviewCrop(folder + QStringLiteral("deep.png"), QPointF(0.5, 0.5),
                               folder + QStringLiteral("missing/part.png")),
              TPreviewCut::Unwritable);
}

TEST(PreviewPart, AClickOrTheArrowKeysPlaceTheSquareOnTheThumbnail)
{
    CropPicker picker;
    picker.resize(200, 200);
    // A 400 x 300 image shown 200 x 150, 25 pixels from the top.
    picker.setImage(QImage(200, 150, QImage::Format_RGB32), QSize(400, 300));
    EXPECT_EQ(picker.centre(), QPointF(0.5, 0.5));
    EXPECT_EQ(picker.frameRect(), QRectF(68, 68, 64, 64));

    QPointF chosen;
    QObject::connect(&picker, &CropPicker::centreChosen, [&](QPointF centre) { chosen = centre; });
    // Near the corner: the square stops at the image's edge.
    QTest::mouseClick(&picker, Qt::LeftButton, {}, QPoint(5, 30));
    EXPECT_EQ(chosen, QPointF(64.0 / 400, 64.0 / 300));
    EXPECT_EQ(picker.frameRect(), QRectF(0, 25, 64, 64));

    // A quarter of the square per key, and Enter chooses.
    QTest::keyClick(&picker, Qt::Key_Right);
    QTest::keyClick(&picker, Qt::Key_Down);
    EXPECT_EQ(chosen, QPointF(64.0 / 400, 64.0 / 300));
    QTest::keyClick(&picker, Qt::Key_Return);
    EXPECT_EQ(chosen, QPointF(96.0 / 400, 96.0 / 300));

    // A small image is enlarged whole: nothing to choose.
    picker.setImage(QImage(40, 30, QImage::Format_RGB32), QSize(40, 30));
    EXPECT_FALSE(picker.offersChoice());
}
