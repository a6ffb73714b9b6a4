#include "batchsummary.h"

#include "i18n/shownnumbers.h"
#include "i18n/translation.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace
{

// The number with at most two decimals, without trailing zeros or a bare separator.
QString upToTwoDecimals(double value)
{
    const QLocale locale = ShownLocale();
    QString text = ShownDecimal(value, 2);
    const QString separator = locale.decimalPoint();
    if (text.contains(separator)) {
        while (text.endsWith(locale.zeroDigit()))
            text.chop(locale.zeroDigit().size());
        if (text.endsWith(separator))
            text.chop(separator.size());
    }
    return text;
}

} // namespace

QString FormatSize(std::int64_t a)
{
    constexpr std::int64_t KB = 1024, MB = KB * 1024, GB = MB * 1024;
    const auto value = static_cast<double>(a);
    if (a > GB)
        return upToTwoDecimals(value / GB) + QStringLiteral(" GB");
    if (a > MB)
        return upToTwoDecimals(value / MB) + QStringLiteral(" MB");
    if (a > KB)
        return upToTwoDecimals(value / KB) + QStringLiteral(" KB");
    return upToTwoDecimals(value) + QLatin1Char(' ') + TranslateText("bytes");
}

std::int64_t SizePercentOf(std::int64_t sizeDifference, std::int64_t totalInputBytes)
{
    if (totalInputBytes <= 0)
        return 0;
    // std::nearbyint rounds in the current mode, which is to nearest with ties to even.
    return static_cast<std::int64_t>(std::nearbyint(static_cast<double>(sizeDifference) /
                                                    static_cast<double>(totalInputBytes) * 100.0));
}

QString MinutesAndSeconds(std::uint32_t seconds)
{
    return FillTemplate(
        TranslateText("%s min %s s"),
        {ShownNumber(seconds / 60), ShownLocale()
                                        .toString(seconds % 60)
                                        .rightJustified(2, ShownLocale().zeroDigit().front())});
}

QString ElapsedText(std::uint32_t milliseconds)
{
    // "65.3 seconds" makes the reader do the sums; a minute and more reads as minutes. The
    // switch comes where one decimal would round up to "60.0".
    if (milliseconds >= 59950)
        return MinutesAndSeconds((milliseconds + 500) / 1000);
    return ShownDecimal(milliseconds / 1000.0, 1) + QLatin1Char(' ') + TranslateText("seconds");
}

QString TimeLeftText(std::uint32_t milliseconds)
{
    const std::uint32_t seconds = (milliseconds + 999) / 1000;
    const QString time = seconds >= 60
                             ? MinutesAndSeconds(seconds)
                             : FillTemplate(TranslateText("%s s"), {ShownNumber(seconds)});
    return FillTemplate(TranslateText("About %s left"), {time});
}

TSizeChange SizeChangeText(std::int64_t totalInputBytes, std::int64_t totalOutputBytes)
{
    std::int64_t difference = totalInputBytes - totalOutputBytes;
    std::int64_t percent = SizePercentOf(difference, totalInputBytes);
    TSizeChange change;
    if (difference < 0) {
        change.caption = TranslateText("Increase in Disk Space:");
        difference = -difference;
        percent = -percent;
    } else {
        change.caption = TranslateText("Savings on Disk Space:");
    }
    const QString percentText = ShownNumber(percent) + QLatin1Char('%');
    change.value = difference != 0 ? FormatSize(difference) + QStringLiteral(" (") + percentText +
                                         QLatin1Char(')')
                                   : percentText;
    return change;
}

QString EndingText(const TBatchSummary& summary)
{
    const QString separator = QStringLiteral(" \u00b7 ");
    const QString failed = ShownNumber(summary.failed);
    QString ending;
    if (summary.failed == 0)
        ending = TranslateText("Completed");
    else if (!summary.commonFailure.isEmpty())
        ending = FillTemplate(TranslateText("%s failed: %s"), {failed, summary.commonFailure});
    else
        ending = FillTemplate(TranslateText("%s failed; the reasons are on the rows"), {failed});
    if (summary.skipped > 0)
        ending +=
            separator + FillTemplate(TranslateText("%s skipped"), {ShownNumber(summary.skipped)});
    if (summary.noted == 1)
        ending += separator + summary.lastNote;
    else if (summary.noted > 1)
        ending += separator + FillTemplate(TranslateText("%s notes, the last: %s"),
                                           {ShownNumber(summary.noted), summary.lastNote});
    if (!summary.advice.isEmpty())
        ending += separator + summary.advice;
    return ending;
}

QString ProcessedCountText(const TBatchSummary& summary)
{
    if (summary.completedInList < 0 || summary.completedInList == summary.completed)
        return ShownNumber(summary.completed);
    return FillTemplate(TranslateText("%s (%s in this run)"),
                        {ShownNumber(summary.completedInList), ShownNumber(summary.completed)});
}

QString FailuresText(const std::vector<TFailedImage>& failures, std::size_t limit)
{
    // The reasons mostly name the whole path already; the name leads so the list reads at a glance.
    QString text;
    const std::size_t listed = std::min(failures.size(), limit);
    for (std::size_t i = 0; i < listed; ++i) {
        if (i > 0)
            text += QLatin1Char('\n');
        text += QFileInfo(failures[i].file).fileName() + QStringLiteral(" \u2014 ") +
                failures[i].reason;
    }
    if (listed < failures.size())
        text += QLatin1Char('\n') + FillTemplate(TranslateText("%s more failed"),
                                                 {ShownNumber(qint64(failures.size() - listed))});
    return text;
}
