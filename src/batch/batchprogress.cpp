#include "batchprogress.h"

#include "batchsummary.h"

#include <QRegularExpression>
#include <algorithm>

std::optional<double> PercentageOf(const QString& line)
{
    static const QRegularExpression percentage(QStringLiteral("^\\s*(\\d{1,3})[.,](\\d+)%\\s*$"));
    const QRegularExpressionMatch match = percentage.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    const double value =
        (match.captured(1) + QLatin1Char('.') + match.captured(2)).toDouble() / 100.0;
    if (value > 1.0)
        return std::nullopt;
    return value;
}

void TBatchProgress::Begin(int total)
{
    *this = {};
    total_ = total;
}

void TBatchProgress::Started()
{
    running_ = true;
    fraction_ = 0;
}

void TBatchProgress::Advanced(double fraction)
{
    fraction_ = std::clamp(std::max(fraction, fraction_), 0.0, 1.0);
}

void TBatchProgress::Finished(std::int64_t pixels, bool enlarged, std::uint32_t milliseconds)
{
    if (pixels > 0) {
        seenPixels_ += pixels;
        ++seen_;
        if (enlarged) {
            measuredPixels_ += pixels;
            measuredMs_ += milliseconds;
        }
    }
    running_ = false;
    fraction_ = 0;
    ++done_;
}

double TBatchProgress::Overall() const
{
    if (total_ <= 0)
        return 0;
    return std::clamp((done_ + (running_ ? fraction_ : 0.0)) / total_, 0.0, 1.0);
}

std::optional<std::uint32_t> TBatchProgress::TimeLeft() const
{
    if (measuredPixels_ <= 0 || measuredMs_ <= 0 || seen_ == 0)
        return std::nullopt;
    const double msPerPixel = measuredMs_ / static_cast<double>(measuredPixels_);
    const double averagePixels = static_cast<double>(seenPixels_) / seen_;
    // The images to come are taken to be as large as those so far.
    const int waiting = std::max(0, total_ - done_ - (running_ ? 1 : 0));
    const double imagesLeft = waiting + (running_ ? 1.0 - fraction_ : 0.0);
    return static_cast<std::uint32_t>(std::min(imagesLeft * averagePixels * msPerPixel, 4.0e9));
}

QString ProgressText(const TBatchProgress& progress)
{
    const int current = std::min(progress.Done() + 1, progress.Total());
    QString text = QStringLiteral("%1 / %2").arg(current).arg(progress.Total());
    if (const std::optional<std::uint32_t> left = progress.TimeLeft())
        text += QStringLiteral("  \u00b7  ") + TimeLeftText(*left);
    return text;
}
