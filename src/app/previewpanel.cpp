#include "previewpanel.h"

#include "batch/outputcheck.h"
#include "comparisonwindow.h"
#include "croppicker.h"
#include "i18n/shownnumbers.h"
#include "i18n/translation.h"
#include "offthread.h"
#include "previewcrop.h"
#include "previewrun.h"
#include "widgetkit.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace
{

// The options a preview differs by; the rest decide only where a batch puts its files.
bool samePreview(const TBatchOptions& a, const TBatchOptions& b)
{
    return a.imageType == b.imageType && a.speed == b.speed && a.scale == b.scale &&
           ResolvedEngine(a) == ResolvedEngine(b);
}

} // namespace

PreviewPanel::PreviewPanel(const QString& folder, const QString& upscalerFolder,
                           ComparisonWindow* window)
    : QWidget(window), window_(window), upscalerFolder_(upscalerFolder),
      run_(new PreviewRun(folder, upscalerFolder, this))
{
    setObjectName(QStringLiteral("previewPanel"));
    AllowLargeImages();
    const int width = scaleDimension(216);
    setFixedWidth(width);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(scaleDimension(8), scaleDimension(8), scaleDimension(8),
                               scaleDimension(8));
    const auto makeText = [this](const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        return label;
    };
    nameLabel_ = makeText("previewNameLabel");
    layout->addWidget(nameLabel_);
    picker_ = new CropPicker(this);
    layout->addWidget(picker_, 0, Qt::AlignHCenter);
    hintLabel_ = makeText("previewHintLabel");
    hintLabel_->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(hintLabel_);
    statusLabel_ = makeText("previewStatusLabel");
    statusLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(statusLabel_);
    stopButton_ = new QPushButton(this);
    stopButton_->setObjectName(QStringLiteral("previewStopButton"));
    stopButton_->setIcon(namedIcon("stop"));
    stopButton_->setAutoDefault(false);
    stopButton_->setEnabled(false);
    layout->addWidget(stopButton_);
    compareWithLabel_ = makeText("compareWithLabel");
    compareWithBox_ = new QComboBox(this);
    compareWithBox_->setObjectName(QStringLiteral("compareWithBox"));
    compareWithLabel_->setBuddy(compareWithBox_);
    layout->addWidget(compareWithLabel_);
    layout->addWidget(compareWithBox_);
    layout->addStretch(1);
    setTabOrder(picker_, stopButton_);
    setTabOrder(stopButton_, compareWithBox_);
    translate();
    fillCompareChoices();

    connect(run_, &PreviewRun::progress, this, &PreviewPanel::onProgress);
    connect(run_, &PreviewRun::finished, this, &PreviewPanel::onFinished);
    connect(picker_, &CropPicker::centreChosen, this, &PreviewPanel::onCentreChosen);
    connect(stopButton_, &QPushButton::clicked, this, &PreviewPanel::stop);
    connect(compareWithBox_, &QComboBox::activated, this, &PreviewPanel::showComparison);
    window_->setSidePanel(this);
    window_->setTitle(TranslateText("Preview"));
    window_->showMessage(QString());
}

PreviewPanel::~PreviewPanel() = default;

void PreviewPanel::translate()
{
    hintLabel_->setText(
        TranslateText("Click the picture, or use the arrow keys and Enter, to choose the part "
                      "to enlarge."));
    stopButton_->setText(TranslateText("S&TOP"));
    compareWithLabel_->setText(TranslateText("Compare &with:"));
}

QString PreviewPanel::CaptionOf(const TBatchOptions& options)
{
    return QStringList{
        options.imageType == TImageType::Photo ? TranslateText("Photo") : TranslateText("Artwork"),
        options.speed == TSpeed::Fast ? TranslateText("Fast") : TranslateText("Best quality"),
        FillTemplate(TranslateText("%sx"), {ShownNumber(options.scale)})}
        .join(QStringLiteral(", "));
}

bool PreviewPanel::running() const
{
    return run_->isRunning();
}

void PreviewPanel::preview(const QString& image, const TOptionChoices& choices)
{
    if (image != image_) {
        stop();
        image_ = image;
        previews_.clear();
        fillCompareChoices();
        nameLabel_->setText(QFileInfo(image).fileName());
        window_->setTitle(TranslateText("Preview") + QStringLiteral(" \u2013 ") +
                          QFileInfo(image).fileName());
        picker_->setImage({}, {});
        hintLabel_->hide();
        DropOffThread(thumbnailWatcher_);
        const QSize largest = picker_->sizeHint();
        thumbnailWatcher_ = RunOffThread<TPreviewThumbnail>(
            this, [image, largest] { return ReadPreviewThumbnail(image, largest); },
            [this](const TPreviewThumbnail& thumbnail) {
                thumbnailWatcher_ = nullptr;
                picker_->setImage(thumbnail.thumbnail, thumbnail.imageSize);
                hintLabel_->setVisible(picker_->offersChoice());
            });
    }
    const TBatchOptions wanted = BatchOptionsOf(choices, upscalerFolder_);
    const auto same = [&](const TOptionChoices& other) {
        return samePreview(BatchOptionsOf(other, upscalerFolder_), wanted);
    };
    for (auto made = previews_.begin(); made != previews_.end(); ++made)
        if (same(made->choices)) {
            // Already made: it becomes the latest, compared with the one before.
            std::rotate(made, made + 1, previews_.end());
            fillCompareChoices();
            showComparison();
            return;
        }
    if ((run_->isRunning() && same(running_)) ||
        std::any_of(waiting_.begin(), waiting_.end(), same))
        return;
    waiting_.push_back(choices);
    if (!run_->isRunning())
        runNext();
}

void PreviewPanel::stop()
{
    waiting_.clear();
    restart_ = false;
    run_->stop();
}

void PreviewPanel::runNext()
{
    if (waiting_.empty() || run_->isRunning())
        return;
    running_ = waiting_.front();
    waiting_.pop_front();
    stopButton_->setEnabled(true);
    onProgress(0);
    if (previews_.empty())
        window_->showMessage(TranslateText("Enlarging the preview..."));
    run_->start(image_, picker_->centre(), running_);
}

void PreviewPanel::onProgress(double fraction)
{
    statusLabel_->setText(
        FillTemplate(TranslateText("Enlarging the preview: %s (%s%)"),
                     {CaptionOf(BatchOptionsOf(running_, upscalerFolder_)),
                      ShownNumber(std::lround(std::clamp(fraction, 0.0, 1.0) * 100))}));
}

void PreviewPanel::onFinished(const QString& part, const TImageResult& result)
{
    stopButton_->setEnabled(!waiting_.empty());
    const QString caption = CaptionOf(BatchOptionsOf(running_, upscalerFolder_));
    switch (result.outcome) {
    case TImageOutcome::Completed:
        previews_.push_back({running_, caption, part, result.target});
        statusLabel_->setText(FillTemplate(TranslateText("Preview ready: %s"), {caption}));
        fillCompareChoices();
        showComparison();
        break;
    case TImageOutcome::Failed:
    case TImageOutcome::Skipped: // a preview's result never has its name taken
        statusLabel_->setText(
            FillTemplate(TranslateText("The preview could not be made: %s"), {result.reason}));
        if (previews_.empty())
            window_->showMessage(statusLabel_->text());
        break;
    case TImageOutcome::Aborted:
        if (restart_)
            break;
        statusLabel_->setText(TranslateText("The preview was stopped."));
        if (previews_.empty())
            window_->showMessage(statusLabel_->text());
        break;
    }
    restart_ = false;
    runNext();
}

void PreviewPanel::onCentreChosen(QPointF)
{
    // Every preview is made again for the new part, in the order they were made.
    std::deque<TOptionChoices> again;
    for (const TPreview& made : previews_)
        again.push_back(made.choices);
    if (run_->isRunning())
        again.push_back(running_);
    again.insert(again.end(), waiting_.begin(), waiting_.end());
    previews_.clear();
    fillCompareChoices();
    waiting_ = std::move(again);
    if (run_->isRunning()) {
        restart_ = true;
        run_->stop();
    } else {
        runNext();
    }
}

void PreviewPanel::fillCompareChoices()
{
    const QSignalBlocker quiet(compareWithBox_);
    compareWithBox_->clear();
    compareWithBox_->addItem(OriginalCaption(), -1);
    for (size_t made = 0; made + 1 < previews_.size(); ++made)
        compareWithBox_->addItem(previews_[made].caption, static_cast<int>(made));
    // Two previews are compared with each other; a single one with the original.
    compareWithBox_->setCurrentIndex(compareWithBox_->count() - 1);
    compareWithBox_->setEnabled(previews_.size() >= 2);
}

void PreviewPanel::showComparison()
{
    if (previews_.empty())
        return;
    const TPreview& latest = previews_.back();
    const int other = compareWithBox_->currentData().toInt();
    if (other < 0 || static_cast<size_t>(other) >= previews_.size())
        window_->compare(latest.part, OriginalCaption(), latest.result, latest.caption);
    else
        window_->compare(previews_[static_cast<size_t>(other)].result,
                         previews_[static_cast<size_t>(other)].caption, latest.result,
                         latest.caption);
}
