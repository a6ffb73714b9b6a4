// The part of an image a preview enlarges: a small square the user places on a thumbnail, cut
// from the upright image into a file of its own. No widgets.
#pragma once

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>

// The side of the square a preview enlarges, in the image's pixels.
constexpr int PreviewCropSide = 128;

// The square of `side` around `centre` in an image of `imageSize`, moved inside it; as much of
// the image as there is where the image is smaller.
QRect PreviewCropRect(QSize imageSize, QPoint centre, int side = PreviewCropSide);

// An image as the preview shows it for choosing: a thumbnail no larger than asked, and the size
// of the upright image it stands for. Large images need AllowLargeImages() first. A null thumbnail
// when the image cannot be read. Safe off the user-interface thread.
struct TPreviewThumbnail {
    QImage thumbnail;
    QSize imageSize;
};
TPreviewThumbnail ReadPreviewThumbnail(const QString& path, QSize largest);

// Writes the square of PreviewCropRect around `centre` (fractions of the upright image's width
// and height) of the image at `path` to the PNG `cropFile`, keeping its bit depth, grey and
// transparency. Safe off the user-interface thread.
enum class TPreviewCut { Written, Unreadable, Unwritable };
TPreviewCut WritePreviewCrop(const QString& path, QPointF centre, const QString& cropFile);
