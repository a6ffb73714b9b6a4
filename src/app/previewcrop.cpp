#include "previewcrop.h"

#include <QImageReader>
#include <QImageWriter>
#include <algorithm>

QRect PreviewCropRect(QSize imageSize, QPoint centre, int side)
{
    const int width = std::min(side, imageSize.width());
    const int height = std::min(side, imageSize.height());
    const int left = std::clamp(centre.x() - width / 2, 0, imageSize.width() - width);
    const int top = std::clamp(centre.y() - height / 2, 0, imageSize.height() - height);
    return QRect(left, top, width, height);
}

TPreviewThumbnail ReadPreviewThumbnail(const QString& path, QSize largest)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (!size.isValid())
        return {};
    // The reader scales before it turns the image upright.
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        size.transpose();
    QSize shown = size.scaled(largest, Qt::KeepAspectRatio).boundedTo(size);
    QSize stored = shown;
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        stored.transpose();
    reader.setScaledSize(stored.expandedTo(QSize(1, 1)));
    QImage thumbnail = reader.read();
    if (thumbnail.isNull())
        return {};
    return {thumbnail, size};
}

TPreviewCut WritePreviewCrop(const QString& path, QPointF centre, const QString& cropFile)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull())
        return TPreviewCut::Unreadable;
    const QPoint middle(qRound(centre.x() * image.width()), qRound(centre.y() * image.height()));
    QImageWriter writer(cropFile, "png");
    return writer.write(image.copy(PreviewCropRect(image.size(), middle)))
               ? TPreviewCut::Written
               : TPreviewCut::Unwritable;
}
