#include "batchprogress.h"

#include "batchsummary.h"
#include "i18n/shownnumbers.h"
#include "i18n/translation.h"

#include <QRegularExpression>
#include <algorithm>

std::optional<double> PercentageOf(const QString& line)
{
    // The upscaler writes its percentages with the decimal sign of its locale, a comma under a
    // German desktop, but always in ASCII digits.
    static const QRegularExpression percentage(
        QStringLiteral("^\\s*([0-9]{1,3})[.,]([0-9]+)%\\s*$"));
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

void TBatchProgress::Started(int row)
{
    running_[row] = 0;
}

void TBatchProgress::Advanced(int row, double fraction)
{
    const auto found = running_.find(row);
    if (found != running_.end())
        found->second = std::clamp(std::max(fraction, found->second), 0.0, 1.0);
}

void TBatchProgress::Finished(int row, std::int64_t pixels, bool enlarged,
                              std::uint32_t milliseconds)
{
    if (pixels > 0) {
        seenPixels_ += pixels;
        ++seen_;
        if (enlarged) {
            measuredPixels_ += pixels;
            measuredMs_ += milliseconds;
        }
    }
    running_.erase(row);
    ++done_;
    enlarged_ += enlarged;
}

double TBatchProgress::RunningShare() const
{
    double share = 0;
    for (const auto& [row, fraction] : running_)
        share += fraction;
    return share;
}

double TBatchProgress::Overall() const
{
    if (total_ <= 0)
        return 0;
    return std::clamp((done_ + RunningShare()) / total_, 0.0, 1.0);
}

std::optional<std::uint32_t> TBatchProgress::TimeLeft() const
{
    if (measuredPixels_ <= 0 || measuredMs_ <= 0 || seen_ == 0)
        return std::nullopt;
    const double msPerPixel = measuredMs_ / static_cast<double>(measuredPixels_);
    const double averagePixels = static_cast<double>(seenPixels_) / seen_;
    // The images to come are taken to be as large as those so far.
    const auto running = static_cast<int>(running_.size());
    const int waiting = std::max(0, total_ - done_ - running);
    const double imagesLeft = waiting + running - RunningShare();
    return static_cast<std::uint32_t>(std::min(imagesLeft * averagePixels * msPerPixel, 4.0e9));
}

QString ProgressText(const TBatchProgress& progress)
{
    const int current = std::min(progress.Done() + 1, progress.Total());
    QString text = ShownNumber(current) + QStringLiteral(" / ") + ShownNumber(progress.Total());
    if (const std::optional<std::uint32_t> left = progress.TimeLeft())
        text += QStringLiteral("  \u00b7  ") + TimeLeftText(*left);
    return text;
}

QString StoppedText(const TBatchProgress& progress)
{
    return FillTemplate(TranslateText("Stopped: %s of %s enlarged"),
                        {ShownNumber(progress.Enlarged()), ShownNumber(progress.Total())});
}

TThrottle::TThrottle(int intervalMs, std::function<void()> show)
    : intervalMs_(intervalMs), show_(std::move(show))
{
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Now(); });
}

void TThrottle::Changed()
{
    if (timer_.isActive())
        return;
    const qint64 since = shown_.isValid() ? shown_.elapsed() : intervalMs_;
    if (since >= intervalMs_)
        Now();
    else
        timer_.start(static_cast<int>(intervalMs_ - since));
}

void TThrottle::Now()
{
    timer_.stop();
    shown_.start();
    show_();
}
