#include "photometadata.h"

#include "outputcheck.h"

#include <QFile>

#include <exiv2/exiv2.hpp>
#include <mutex>

namespace
{

void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Its warnings about odd makernotes would go to the program's console.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

void setIfPresent(Exiv2::ExifData& exif, const char* key, int value)
{
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found != exif.end())
        found->setValue(std::to_string(value));
}

void setIfPresent(Exiv2::XmpData& xmp, const char* key, int value)
{
    const auto found = xmp.findKey(Exiv2::XmpKey(key));
    if (found != xmp.end())
        found->setValue(std::to_string(value));
}

} // namespace

bool CopyPhotoMetadata(const QString& original, const QString& enlarged, QString& error)
{
    initialiseOnce();
    try {
        auto source = Exiv2::ImageFactory::open(QFile::encodeName(original).toStdString());
        source->readMetadata();
        Exiv2::ExifData exif = source->exifData();
        Exiv2::XmpData xmp = source->xmpData();
        const Exiv2::IptcData& iptc = source->iptcData();
        const bool hasIcc = source->iccProfileDefined();
        if (exif.empty() && xmp.empty() && iptc.empty() && !hasIcc)
            return true;

        const QSize size = ImageSizeOf(enlarged);
        if (!size.isValid()) {
            error = QStringLiteral("the enlarged image cannot be read");
            return false;
        }
        Exiv2::ExifThumb(exif).erase();
        setIfPresent(exif, "Exif.Photo.PixelXDimension", size.width());
        setIfPresent(exif, "Exif.Photo.PixelYDimension", size.height());
        setIfPresent(exif, "Exif.Image.ImageWidth", size.width());
        setIfPresent(exif, "Exif.Image.ImageLength", size.height());
        setIfPresent(xmp, "Xmp.exif.PixelXDimension", size.width());
        setIfPresent(xmp, "Xmp.exif.PixelYDimension", size.height());
        setIfPresent(xmp, "Xmp.tiff.ImageWidth", size.width());
        setIfPresent(xmp, "Xmp.tiff.ImageLength", size.height());

        auto target = Exiv2::ImageFactory::open(QFile::encodeName(enlarged).toStdString());
        target->readMetadata();
        target->setExifData(exif);
        target->setXmpData(xmp);
        target->setIptcData(iptc);
        if (hasIcc)
            target->setIccProfile(*source->iccProfile(), false);
        target->writeMetadata();
        return true;
    } catch (const std::exception& failure) {
        error = QString::fromLocal8Bit(failure.what());
        return false;
    }
}
