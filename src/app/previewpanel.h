// The side of the comparison window that makes previews: the image's thumbnail to choose the part
// to enlarge, how the preview is coming on, STOP, and which earlier result the latest is compared
// with. Previews of one image with other options stay, so two results can be compared.
#pragma once

#include "optionchoices.h"

#include <QPointF>
#include <QWidget>
#include <deque>
#include <vector>

class ComparisonWindow;
class CropPicker;
class PreviewRun;
class QComboBox;
class QLabel;
class QPushButton;
struct TImageResult;
struct TPreviewThumbnail;
template <typename T> class QFutureWatcher;

class PreviewPanel : public QWidget
{
    Q_OBJECT

public:
    // Shows its results in `window`, which it becomes a part of. `folder`: where the parts and
    // results go (ending with '/'); `upscalerFolder` holds the upscaler and its models.
    PreviewPanel(const QString& folder, const QString& upscalerFolder, ComparisonWindow* window);
    ~PreviewPanel() override;

    // Enlarges the chosen part of `image` with `choices`. With another image than before, the
    // earlier previews go; with the same one, the result is compared with the one before.
    void preview(const QString& image, const TOptionChoices& choices);
    // Ends a running preview and those waiting.
    void stop();
    bool running() const;
    const QString& image() const { return image_; }

    // A preview's name: image type, speed and scale ("Photo, Fast, 4x").
    static QString CaptionOf(const TBatchOptions& options);

private:
    struct TPreview {
        TOptionChoices choices;
        QString caption;
        QString part;   // the square it was enlarged from
        QString result; // the enlarged square
    };

    void translate();
    void runNext();
    void onProgress(double fraction);
    void onFinished(const QString& part, const TImageResult& result);
    void onCentreChosen(QPointF centre);
    void onThumbnail(const TPreviewThumbnail& thumbnail);
    // The latest result against the one chosen in "Compare with".
    void showComparison();
    void fillCompareChoices();

    ComparisonWindow* window_;
    QString upscalerFolder_;
    PreviewRun* run_;
    QString image_;
    std::vector<TPreview> previews_;
    // Options still to preview, in order; the first runs.
    std::deque<TOptionChoices> waiting_;
    TOptionChoices running_;
    // The running preview was stopped to be made again for another part.
    bool restart_ = false;
    QFutureWatcher<TPreviewThumbnail>* thumbnailWatcher_ = nullptr;

    QLabel* nameLabel_ = nullptr;
    CropPicker* picker_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QLabel* compareWithLabel_ = nullptr;
    QComboBox* compareWithBox_ = nullptr;
    QPushButton* stopButton_ = nullptr;
};
