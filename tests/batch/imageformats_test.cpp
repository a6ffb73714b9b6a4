#include "enginefixture.h"

#include "batch/imageformats.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <exiv2/exiv2.hpp>

namespace
{

// A GIF of 1 x 1 pixels with one frame, or two frames that play in a loop.
QByteArray gif(bool animated)
{
    QByteArray bytes("GIF89a\x01\x00\x01\x00\x80\x00\x00"
                     "\x00\x00\x00\xff\xff\xff",
                     19);
    if (animated)
        bytes += QByteArray("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    const QByteArray frame("\x21\xf9\x04\x00\x0a\x00\x00\x00"
                           "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00"
                           "\x02\x02\x44\x01\x00",
                           23);
    bytes += frame;
    if (animated)
        bytes += frame;
    return bytes + ";";
}

// Saves a `width` x `height` image with a little detail in `format` at `path`.
QString writeImage(const QString& path, const char* format, int width = 6, int height = 4)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 40, y * 60, 128));
    EXPECT_TRUE(image.save(path, format)) << path.toStdString();
    return path;
}

struct Metadata {
    Exiv2::ExifData exif;
    Exiv2::XmpData xmp;
    QByteArray icc;
    bool thumbnail = false;
};

Metadata metadataOf(const QString& path)
{
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    Metadata metadata{image->exifData(), image->xmpData(), {}, false};
    if (image->iccProfileDefined())
        metadata.icc = QByteArray(reinterpret_cast<const char*>(image->iccProfile()->pData_),
                                  static_cast<qsizetype>(image->iccProfile()->size_));
    metadata.thumbnail = Exiv2::ExifThumbC(metadata.exif).copy().size_ > 0;
    return metadata;
}

std::string exifValue(const Metadata& metadata, const char* key)
{
    const auto found = metadata.exif.findKey(Exiv2::ExifKey(key));
    return found == metadata.exif.end() ? std::string() : found->toString();
}

// A phone photo: a colour profile, the time it was taken, the camera, where, turned by its
// orientation tag, and a small preview.
QString writePhoneJpeg(const QString& path)
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(qRgb(200, 120, 40));
    image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    EXPECT_TRUE(image.save(path, "jpeg"));
    auto file = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    file->readMetadata();
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Phone Maker";
    exif["Exif.Image.Orientation"] = uint16_t(6);
    exif["Exif.Photo.DateTimeOriginal"] = "2026:05:17 14:03:21";
    exif["Exif.Photo.PixelXDimension"] = uint32_t(8);
    exif["Exif.Photo.PixelYDimension"] = uint32_t(6);
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLatitude"] = "48/1 8/1 0/1";
    Exiv2::ExifThumb(exif).setJpegThumbnail(
        reinterpret_cast<const Exiv2::byte*>(testenv::ReadFile(path).constData()),
        static_cast<long>(testenv::ReadFile(path).size()));
    file->setExifData(exif);
    file->writeMetadata();
    return path;
}

// The first value of a JPEG's first quantisation table, which the encoder's quality sets: 3 for
// quality 90 with the standard tables.
int firstQuantiser(const QByteArray& jpeg)
{
    const qsizetype table = jpeg.indexOf(QByteArray("\xff\xdb", 2));
    return table < 0 ? -1 : static_cast<unsigned char>(jpeg.at(table + 5));
}

class ImageFormatsTest : public BatchEngineTest
{
protected:
    void SetUp() override
    {
        BatchEngineTest::SetUp();
        destination = testenv::NewFolder(QStringLiteral("dest")) + QLatin1Char('/');
    }
    // Enlarges one image and returns its result.
    TImageResult enlarge(const QString& image)
    {
        const auto engine = run({image});
        return engine->seen.finished.count(0) ? engine->seen.finished.at(0) : TImageResult{};
    }
    void copiesInto()
    {
        options.action = TAction::CreateCopies;
        options.destination = destination;
    }

    QString destination;
};

// Every format Qt reads is enlarged, written back in its own format where Qt can write it; a
// replaced original never changes its name or format, and a failure leaves it as it was.
TEST_F(ImageFormatsTest, EveryReadableFormatIsEnlargedInItsOwnFormatWherePossible)
{
    const QString animationFailure = QStringLiteral("Animated images are not supported");
    struct Case {
        const char* file;
        const char* contentFormat; // how the file is written; empty: a GIF
        bool animated;
        const char* copyName;   // the copy's name; empty: the image fails
        const char* copyFormat; // and its format
        bool replaced;          // "Resize Original" replaces it in its own format
    } cases[] = {
        {"a.png", "png", false, "a.png", "png", true},
        {"b.jpg", "jpeg", false, "b.jpg", "jpeg", true},
        {"c.webp", "webp", false, "c.webp", "webp", true},
        {"d.bmp", "bmp", false, "d.bmp", "bmp", true},
        {"e.tif", "tiff", false, "e.tif", "tiff", true},
        {"f.gif", "", false, "f.png", "png", false},
        {"g.gif", "", true, "", "", false},
        {"h.jpg", "png", false, "h.jpg", "png", true}, // a PNG under a JPEG name
    };
    // All in one batch, so they share upscaler runs as a folder of mixed images would.
    for (const TAction action : {TAction::CreateCopies, TAction::ResizeOriginal}) {
        SCOPED_TRACE(action == TAction::CreateCopies ? "copies" : "replace");
        const QString photos = testenv::NewFolder(QStringLiteral("photos")) + QLatin1Char('/');
        QStringList originals;
        QList<QByteArray> before;
        QList<QSize> sizes;
        for (const Case& c : cases) {
            originals << photos + QLatin1String(c.file);
            if (*c.contentFormat)
                writeImage(originals.back(), c.contentFormat);
            else
                testenv::WriteFile(originals.back(), gif(c.animated));
            before << testenv::ReadFile(originals.back());
            sizes << testenv::ImageSize(originals.back());
        }
        options.action = action;
        options.disposal = TDisposal::DeletePermanently;
        options.destination = testenv::NewFolder(QStringLiteral("dest")) + QLatin1Char('/');

        const auto engine = run(originals);

        for (int row = 0; row < originals.size(); ++row) {
            const Case& c = cases[row];
            SCOPED_TRACE(c.file);
            const TImageResult& result = engine->seen.finished.at(row);
            const bool completes = action == TAction::CreateCopies ? *c.copyName : c.replaced;
            ASSERT_EQ(result.outcome, completes ? TImageOutcome::Completed : TImageOutcome::Failed)
                << result.reason.toStdString();
            if (!completes) {
                EXPECT_EQ(testenv::ReadFile(originals[row]), before[row]);
                if (c.animated)
                    EXPECT_EQ(result.reason, animationFailure);
                else
                    EXPECT_TRUE(result.reason.contains(originals[row]))
                        << result.reason.toStdString();
                continue;
            }
            const QString expected = action == TAction::CreateCopies
                                         ? options.destination + QLatin1String(c.copyName)
                                         : originals[row];
            EXPECT_EQ(result.target, expected);
            QImageReader reader(expected);
            reader.setDecideFormatFromContent(true);
            EXPECT_EQ(reader.format(),
                      QByteArray(action == TAction::CreateCopies ? c.copyFormat : c.contentFormat));
            EXPECT_EQ(reader.size(), sizes[row] * 4);
            if (action == TAction::CreateCopies) {
                EXPECT_EQ(testenv::ReadFile(originals[row]), before[row]);
            }
        }
        // Nothing but the completed copies landed in the destination.
        if (action == TAction::CreateCopies) {
            EXPECT_EQ(testenv::FolderEntries(options.destination).size(), 7);
        }
    }
}

TEST_F(ImageFormatsTest, ScaleGivesExactlyThatSize)
{
    copiesInto();
    const QString original = writeImage(folder + QStringLiteral("odd.png"), "png", 7, 5);
    for (const int scale : {2, 3, 4}) {
        options.scale = scale;
        const TImageResult result = enlarge(original);
        ASSERT_EQ(result.outcome, TImageOutcome::Completed) << result.reason.toStdString();
        EXPECT_EQ(testenv::ImageSize(result.target), QSize(7, 5) * scale) << scale;
    }
}

TEST_F(ImageFormatsTest, CopiesTakeTheChosenOutputFormat)
{
    copiesInto();
    const QString original = writeImage(folder + QStringLiteral("shot.png"), "png");
    options.outputFormat = TOutputFormat::Jpeg;
    options.jpegQuality = 90;
    TImageResult result = enlarge(original);
    ASSERT_EQ(result.outcome, TImageOutcome::Completed) << result.reason.toStdString();
    EXPECT_EQ(result.target, destination + QStringLiteral("shot.jpg"));
    EXPECT_EQ(QImageReader(result.target).format(), "jpeg");
    EXPECT_EQ(firstQuantiser(testenv::ReadFile(result.target)), 3) << "quality 90";
    options.jpegQuality = 50;
    EXPECT_EQ(firstQuantiser(testenv::ReadFile(enlarge(original).target)), 16) << "quality 50";

    options.outputFormat = TOutputFormat::WebP;
    result = enlarge(original);
    EXPECT_EQ(result.target, destination + QStringLiteral("shot.webp"));
    EXPECT_EQ(QImageReader(result.target).format(), "webp");
    EXPECT_EQ(testenv::ImageSize(result.target), QSize(24, 16));

    // A replaced original keeps its format whatever the option says.
    options.action = TAction::ResizeOriginal;
    options.disposal = TDisposal::DeletePermanently;
    result = enlarge(original);
    EXPECT_EQ(result.target, original);
    EXPECT_EQ(QImageReader(original).format(), "png");
}

// The upscaler writes its own JPEG near the highest quality, so at 4x in the original's format it
// is encoded again, copy or replacement alike.
TEST_F(ImageFormatsTest, EveryPlacedJpegHasTheQualityTheOptionsShow)
{
    options.disposal = TDisposal::DeletePermanently;
    for (const TAction action : {TAction::CreateCopies, TAction::ResizeOriginal}) {
        SCOPED_TRACE(action == TAction::CreateCopies ? "copy" : "replace");
        options.action = action;
        options.outputFormat = TOutputFormat::SameAsOriginal;
        for (const auto& [quality, quantiser] : {std::pair{90, 3}, std::pair{50, 16}}) {
            const QString original =
                writeImage(folder + QStringLiteral("photo.jpg"), "jpeg", 16, 12);
            options.jpegQuality = quality;
            const TImageResult result = enlarge(original);
            ASSERT_EQ(result.outcome, TImageOutcome::Completed) << result.reason.toStdString();
            EXPECT_EQ(testenv::ImageSize(result.target), QSize(64, 48));
            EXPECT_EQ(firstQuantiser(testenv::ReadFile(result.target)), quantiser) << quality;
        }
    }
}

TEST_F(ImageFormatsTest, APhotoKeepsItsMetadataWithItsNewSize)
{
    const QString original = writePhoneJpeg(folder + QStringLiteral("IMG_0001.jpg"));
    const Metadata before = metadataOf(original);
    ASSERT_FALSE(before.icc.isEmpty());
    ASSERT_TRUE(before.thumbnail);

    copiesInto();
    options.scale = 2;
    const TImageResult result = enlarge(original);
    ASSERT_EQ(result.outcome, TImageOutcome::Completed) << result.reason.toStdString();
    EXPECT_TRUE(result.note.isEmpty()) << result.note.toStdString();
    const Metadata after = metadataOf(result.target);
    for (const char* key : {"Exif.Image.Make", "Exif.Image.Orientation",
                            "Exif.Photo.DateTimeOriginal", "Exif.GPSInfo.GPSLatitude"})
        EXPECT_EQ(exifValue(after, key), exifValue(before, key)) << key;
    EXPECT_EQ(exifValue(after, "Exif.Image.Orientation"), "6");
    EXPECT_EQ(exifValue(after, "Exif.Photo.PixelXDimension"), "16");
    EXPECT_EQ(exifValue(after, "Exif.Photo.PixelYDimension"), "12");
    EXPECT_EQ(after.icc, before.icc);
    EXPECT_FALSE(after.thumbnail) << "the old preview is dropped";

    // Without its tags the photo is turned upright in its pixels instead, so it still shows the
    // way it was taken.
    options.keepMetadata = false;
    const QString bareCopy = enlarge(original).target;
    const Metadata bare = metadataOf(bareCopy);
    EXPECT_TRUE(bare.exif.empty());
    EXPECT_TRUE(bare.icc.isEmpty());
    EXPECT_EQ(testenv::ImageSize(bareCopy), QSize(12, 16));
}

// The XMP packet of a PNG, in an iTXt chunk, survives both a copy and a replacement that
// re-encodes the image.
TEST_F(ImageFormatsTest, APngKeepsItsXmpPacket)
{
    const QString original = writeImage(folder + QStringLiteral("drawing.png"), "png");
    {
        auto file = Exiv2::ImageFactory::open(QFile::encodeName(original).toStdString());
        file->readMetadata();
        Exiv2::XmpData xmp;
        xmp["Xmp.dc.creator"] = "Ayla";
        file->setXmpData(xmp);
        file->writeMetadata();
    }
    ASSERT_TRUE(testenv::ReadFile(original).contains("iTXt"));

    copiesInto();
    TImageResult result = enlarge(original);
    ASSERT_EQ(result.outcome, TImageOutcome::Completed) << result.reason.toStdString();
    Metadata after = metadataOf(result.target);
    EXPECT_NE(after.xmp.findKey(Exiv2::XmpKey("Xmp.dc.creator")), after.xmp.end());

    options.action = TAction::ResizeOriginal;
    options.disposal = TDisposal::DeletePermanently;
    options.scale = 3;
    result = enlarge(original);
    ASSERT_EQ(result.outcome, TImageOutcome::Completed) << result.reason.toStdString();
    after = metadataOf(original);
    EXPECT_NE(after.xmp.findKey(Exiv2::XmpKey("Xmp.dc.creator")), after.xmp.end());
    EXPECT_EQ(testenv::ImageSize(original), QSize(18, 12));
}

// A JPEG segment holds at most 64 KiB, so a PNG's large XMP packet cannot go into a JPEG copy:
// the copy is made all the same and says what it lost.
TEST_F(ImageFormatsTest, MetadataThatCannotBeKeptIsNotedNotFailed)
{
    const QString original = writeImage(folder + QStringLiteral("scan.png"), "png");
    {
        auto file = Exiv2::ImageFactory::open(QFile::encodeName(original).toStdString());
        Exiv2::XmpData xmp;
        xmp["Xmp.dc.description"] = std::string(70000, 'x');
        file->setXmpData(xmp);
        file->writeMetadata();
    }
    copiesInto();
    options.outputFormat = TOutputFormat::Jpeg;
    const auto engine = run({original});
    const TImageResult& result = engine->seen.finished.at(0);
    EXPECT_EQ(result.outcome, TImageOutcome::Completed);
    EXPECT_EQ(result.note, QStringLiteral("Metadata could not be kept: ") + original);
    EXPECT_EQ(QImageReader(result.target).size(), QSize(24, 16));
    ASSERT_EQ(engine->seen.summaries.size(), 1u);
    EXPECT_EQ(engine->seen.summaries[0].noted, 1);
    EXPECT_EQ(engine->seen.summaries[0].lastNote, result.note);
}

TEST_F(ImageFormatsTest, FastTakesTheImageTypesFastModel)
{
    copiesInto();
    const QString original = writeImage(folder + QStringLiteral("p.png"), "png");
    options.speed = TSpeed::Fast;
    EXPECT_EQ(enlarge(original).outcome, TImageOutcome::Completed);
    ASSERT_EQ(upscalerRuns().size(), 1);
    EXPECT_TRUE(upscalerRuns().front().contains(QLatin1String("-n\trealesrgan-x4fast")))
        << upscalerRuns().front().toStdString();

    // No fast anime model is laid out: Artwork at Fast says which file is missing.
    options.imageType = TImageType::Artwork;
    EXPECT_FALSE(FastModelInstalled(upscalerFolder, TImageType::Artwork));
    const TImageResult result = enlarge(original);
    EXPECT_EQ(result.outcome, TImageOutcome::Failed);
    EXPECT_TRUE(result.reason.contains(QLatin1String("realesr-animevideov3-x4.param")))
        << result.reason.toStdString();

    // Its files for 2x: that scale runs natively, and 3x names its own missing files.
    for (const char* suffix : {".param", ".bin"})
        testenv::WriteFile(upscalerFolder + QStringLiteral("models/realesr-animevideov3-x2") +
                               QLatin1String(suffix),
                           "model");
    options.scale = 2;
    EXPECT_TRUE(FastModelInstalled(upscalerFolder, TImageType::Artwork, 2));
    const TImageResult atTwo = enlarge(original);
    ASSERT_EQ(atTwo.outcome, TImageOutcome::Completed) << atTwo.reason.toStdString();
    EXPECT_TRUE(upscalerRuns().back().contains(QLatin1String("-s\t2\t-i")))
        << upscalerRuns().back().toStdString();
    EXPECT_TRUE(upscalerRuns().back().endsWith(QLatin1String("-n\trealesr-animevideov3")));
    EXPECT_EQ(testenv::ImageSize(atTwo.target), QSize(6, 4) * 2);
    options.scale = 3;
    const TImageResult atThree = enlarge(original);
    EXPECT_EQ(atThree.outcome, TImageOutcome::Failed);
    EXPECT_TRUE(atThree.reason.contains(QLatin1String("realesr-animevideov3-x3.param")))
        << atThree.reason.toStdString();
}

TEST(ImageFormats, OnlyImageNamesAreSupported)
{
    for (const char* name : {"a.png", "b.JPG", "c.jpeg", "d.WebP", "e.bmp", "f.tif", "g.tiff",
                             "h.gif", "dir.png/i.png"})
        EXPECT_TRUE(IsSupportedImageName(QLatin1String(name))) << name;
    for (const char* name : {"a.txt", "b.png.txt", "noextension", "dir.png/", "c.svg", "d.pdf"})
        EXPECT_FALSE(IsSupportedImageName(QLatin1String(name))) << name;
}

} // namespace
