// Which image files the program takes, how each reaches the upscaler, and in which format and
// under which name its enlarged image is saved. The upscaler itself reads only PNG, JPEG and
// WebP; everything else that Qt's image plugins read is handed to it as a lossless PNG.
#pragma once

#include "batchoptions.h"

#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>
#include <QSize>
#include <QString>
#include <QStringList>
#include <variant>

// The lower-case extensions (without the dot) of every raster format that Qt reads here, sorted.
// Vector and document formats are left out: they have no pixels to enlarge.
const QStringList& SupportedImageExtensions();
// Whether the name's extension is one of them, in any case. Only the name is tested.
bool IsSupportedImageName(const QString& path);

// How one image goes through the upscaler and what comes out.
struct TImagePlan {
    QByteArray contentFormat;  // Qt's name of the input's format, judged by its content
    bool convertInput = false; // the upscaler cannot read it and gets a PNG of it instead
    QString inputExtension;    // what the upscaler's input is named with: png, jpg or webp
    QString upscalerFormat;    // what the upscaler writes: png, jpg or webp
    QByteArray savedFormat;    // Qt's name of the format the result is saved in
    QString savedName;         // the result's file name, before a copy's is made unique
    QString copyFolder;        // where a copy goes, ending with '/'; empty when replacing
    bool reencode = false;     // the program scales or encodes the upscaler's output itself
    // How the pixels are turned when the orientation tag that would turn them is not kept.
    QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone;
};

// The plan for `input` with `options`, or why it cannot be enlarged, in the user's language.
std::variant<TImagePlan, QString> PlanImage(const QString& input, const TBatchOptions& options);

// Writes the PNG that the upscaler reads in place of `input`. False when it cannot be written.
bool WriteUpscalerInput(const QString& input, const QString& png);

// Turns the upscaler's 4x `image` into the saved form at `finished`: scaled to exactly `scale`
// times `originalSize`, turned upright when the plan says so, and encoded as the plan says. False
// when it cannot be done.
bool FinishImage(QImage image, const QString& finished, const TImagePlan& plan,
                 const TBatchOptions& options, QSize originalSize);
