// One preview at a time: a small part of an image cut into a file of the instance's own folder
// and enlarged there by the same job as a batch's image, judged the same way. Nothing is written
// anywhere else, and no row of the list hears of it.
#pragma once

#include "batch/upscalejob.h"
#include "optionchoices.h"
#include "previewcrop.h"

#include <QObject>
#include <QPointF>
#include <QString>

template <typename T> class QFutureWatcher;

class PreviewRun : public QObject
{
    Q_OBJECT

public:
    // `folder` (ending with '/') takes the parts, the upscaler's output and the results; it is
    // made when the first preview starts. `upscalerFolder` holds the upscaler and its models.
    PreviewRun(const QString& folder, const QString& upscalerFolder, QObject* parent = nullptr);
    // A running upscaler is killed.
    ~PreviewRun() override;

    // Cuts the square around `centre` (fractions of the upright image's width and height) out of
    // `image` and enlarges it with `choices`. Finished follows, also when it fails at once.
    // Precondition: !isRunning().
    void start(const QString& image, QPointF centre, const TOptionChoices& choices);
    // Ends a running preview: Finished follows with Aborted.
    void stop();
    bool isRunning() const { return cutting_ != nullptr || job_.IsRunning(); }
    // The upscaler's process id while it runs, else 0.
    std::uint32_t processId() const { return job_.ProcessId(); }

    // What a preview enlarges with: the image type, speed, scale and engine of `choices`, the
    // result kept as a PNG copy in `folder`.
    static TBatchOptions OptionsOf(const TOptionChoices& choices, const QString& upscalerFolder,
                                   const QString& folder);

signals:
    void progress(double fraction);
    // `part`: the cut-out square the result was enlarged from; empty when it could not be cut.
    void finished(const QString& part, const TImageResult& result);

private:
    void cut(TPreviewCut outcome);
    void end(const TImageResult& result);

    QString folder_;
    QString upscalerFolder_;
    TUpscaleJob job_;
    QString image_;
    TOptionChoices choices_;
    QString part_;
    int parts_ = 0;
    QFutureWatcher<TPreviewCut>* cutting_ = nullptr;
};
