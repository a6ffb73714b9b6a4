// Whether an upscaler's output really is the enlarged image. The upscaler exits 0 when it failed,
// and a full disk leaves a file whose header still reads, so neither proves anything alone.
#pragma once

#include <QSize>
#include <QString>

// The size that the file's header gives, its format judged by its content; invalid when it cannot
// be read.
QSize ImageSizeOf(const QString& path);

// True when the file ends where its own format says it ends: a PNG with its IEND chunk, a JPEG
// with its end-of-image marker, a WebP where its RIFF size says. Other formats must decode whole.
bool ImageFileIsComplete(const QString& path);

// True when `output` is a complete image file larger than `input` in both dimensions. When the
// input's size cannot be read, any complete output image counts.
bool OutputIsEnlarged(const QString& input, const QString& output);
