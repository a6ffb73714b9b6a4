// What makes a photo a photo besides its pixels: EXIF (capture date, camera, place, orientation),
// XMP, IPTC and the colour profile. The upscaler writes pixels only, so they are carried over.
#pragma once

#include <QString>

// Copies the metadata of `original` to `enlarged`. The pixel-dimension tags are set to the
// enlarged size and an embedded EXIF thumbnail is dropped, since it would show the old picture
// at the old size; the orientation tag is kept as it is, because the pixels keep their stored
// orientation too. An original without metadata leaves `enlarged` as it is. False, with `error`
// set, when the metadata could not be read or written.
bool CopyPhotoMetadata(const QString& original, const QString& enlarged, QString& error);
