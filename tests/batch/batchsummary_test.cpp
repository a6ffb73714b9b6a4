#include "batch/batchprogress.h"
#include "batch/batchsummary.h"
#include "i18n/translation.h"

#include "support/waitfor.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

// Runs the body under `name` as the user's locale.
class LocaleScope
{
public:
    explicit LocaleScope(const char* name) : saved_(QLocale())
    {
        QLocale::setDefault(QLocale(QLatin1String(name)));
    }
    ~LocaleScope() { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};

TEST(BatchSummary, FormatSizeKeepsAtMostTwoDecimalsInTheUnitAboveEachBoundary)
{
    const LocaleScope english("en_US");
    struct Case {
        std::int64_t bytes;
        const char* text;
    } cases[] = {
        {1, "1 bytes"},
        {1024, "1024 bytes"},
        {1025, "1 KB"},
        {1536, "1.5 KB"},
        {1048576, "1024 KB"},
        {5000000, "4.77 MB"},
        {3145728, "3 MB"},
        {1073741824, "1024 MB"},
        {1073741824LL * 5 / 2, "2.5 GB"},
        {1073741824LL * 2000, "2000 GB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatSize(c.bytes), QLatin1String(c.text)) << c.bytes;
}

TEST(BatchSummary, NumbersUseTheUsersDecimalSeparator)
{
    const LocaleScope german("de_DE");
    EXPECT_EQ(FormatSize(1536), QStringLiteral("1,5 KB"));
    EXPECT_EQ(ElapsedText(12345), QStringLiteral("12,3 seconds"));
    EXPECT_EQ(FormatSize(1073741824LL * 2000), QStringLiteral("2000 GB"));
    EXPECT_EQ(SizeChangeText(4000, 1184).value, QStringLiteral("2,75 KB (70%)"));
}

// Egyptian Arabic has digits of its own, in every figure that people read.
TEST(BatchSummary, NumbersUseTheUsersDigits)
{
    const LocaleScope arabic("ar_EG");
    EXPECT_EQ(FormatSize(28160), QStringLiteral("\u0662\u0667\u066b\u0665 KB"));
    EXPECT_EQ(ElapsedText(65000), QStringLiteral("\u0661 min \u0660\u0665 s"));
    EXPECT_EQ(SizeChangeText(3072, 1024).value, QStringLiteral("\u0662 KB (\u0666\u0667%)"));
    TBatchSummary summary;
    summary.completed = 12;
    EXPECT_EQ(ProcessedCountText(summary), QStringLiteral("\u0661\u0662"));
}

// The smallest unit speaks the user's language like the rest of the result window.
TEST(BatchSummary, BytesAreTranslated)
{
    const QString savedFolder = LanguageFolder;
    LanguageFolder = QStringLiteral(GRANDORA_LANGUAGE_FILES);
    LoadLanguageFile(QStringLiteral("German.lang.txt"));
    EXPECT_EQ(FormatSize(27), QStringLiteral("27 Bytes"));
    UnloadLanguageForTesting();
    LanguageFolder = savedFolder;
    EXPECT_EQ(FormatSize(27), QStringLiteral("27 bytes"));
}

TEST(BatchSummary, ElapsedTimeHasOneDecimalBelowAMinuteAndMinutesAbove)
{
    const LocaleScope english("en_US");
    const struct {
        std::uint32_t ms;
        const char* text;
    } cases[] = {
        {0, "0.0 seconds"},
        {12345, "12.3 seconds"},
        {59949, "59.9 seconds"},
        {59950, "1 min 00 s"},
        {725000, "12 min 05 s"},
        {3600000, "60 min 00 s"},
        {4000000000u, "66666 min 40 s"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ElapsedText(c.ms), QLatin1String(c.text)) << c.ms;
    EXPECT_EQ(TimeLeftText(0), QStringLiteral("About 0 s left"));
    EXPECT_EQ(TimeLeftText(1), QStringLiteral("About 1 s left"));
    EXPECT_EQ(TimeLeftText(59001), QStringLiteral("About 1 min 00 s left"));
    EXPECT_EQ(TimeLeftText(125000), QStringLiteral("About 2 min 05 s left"));
}

TEST(BatchProgress, ReadsTheUpscalersPercentagesWithADotOrAComma)
{
    const struct {
        const char* line;
        double fraction; // < 0: not a percentage
    } cases[] = {
        {"0.00%", 0},   {"42.50%", 0.425},   {"42,50%", 0.425},
        {"100.00%", 1}, {" 7.10% ", 0.071},  {"101.00%", -1},
        {"42%", -1},    {"done 42.50%", -1}, {"a.png -> b.png done", -1},
        {"", -1},
    };
    for (const auto& c : cases) {
        const std::optional<double> fraction = PercentageOf(QString::fromUtf8(c.line));
        if (c.fraction < 0) {
            EXPECT_FALSE(fraction) << c.line;
        } else {
            ASSERT_TRUE(fraction) << c.line;
            EXPECT_DOUBLE_EQ(*fraction, c.fraction) << c.line;
        }
    }
}

TEST(BatchProgress, FillsAcrossTheBatchAndEstimatesByPixels)
{
    TBatchProgress progress;
    progress.Begin(4);
    EXPECT_EQ(progress.Overall(), 0);
    EXPECT_EQ(ProgressText(progress), QStringLiteral("1 / 4"));
    progress.Started(0);
    progress.Advanced(0, 0.5);
    progress.Advanced(0, 0.25); // a later tile never moves it back
    EXPECT_DOUBLE_EQ(progress.Overall(), 0.125);
    EXPECT_FALSE(progress.TimeLeft()) << "nothing measured yet";

    // A failed image counts as done but says nothing about the cost of a pixel.
    progress.Finished(0, 1000, false, 5);
    EXPECT_EQ(progress.Done(), 1);
    EXPECT_FALSE(progress.TimeLeft());

    // 1000 pixels in 2000 ms: 2 ms a pixel; two images of about 1000 pixels to come.
    progress.Started(1);
    progress.Finished(1, 1000, true, 2000);
    EXPECT_DOUBLE_EQ(progress.Overall(), 0.5);
    EXPECT_EQ(progress.TimeLeft(), 4000u);
    EXPECT_EQ(ProgressText(progress), QStringLiteral("3 / 4  \u00b7  ") + TimeLeftText(4000));
    progress.Started(2);
    progress.Advanced(2, 0.5);
    EXPECT_EQ(progress.TimeLeft(), 3000u);

    // Images added during the batch lengthen it.
    progress.Grow(2);
    EXPECT_DOUBLE_EQ(progress.Overall(), 2.5 / 6);
    EXPECT_EQ(progress.TimeLeft(), 7000u);
    for (int row = 2; row < 6; ++row) {
        progress.Finished(row, 1000, true, 2000);
        progress.Started(row + 1);
    }
    progress.Advanced(6, 1);
    EXPECT_DOUBLE_EQ(progress.Overall(), 1.0);
    // The last image stays the one shown, never one past the end.
    progress.Finished(6, 1000, true, 2000);
    EXPECT_TRUE(ProgressText(progress).startsWith(QStringLiteral("6 / 6")));
    EXPECT_EQ(progress.Enlarged(), 6);
}

// The upscaler saves an image while it works on the next: both are on the way, each with its own
// share, and the bar never goes back when the next one starts or the saved one ends.
TEST(BatchProgress, TwoImagesOnTheWayEachCountTheirOwnShare)
{
    TBatchProgress progress;
    progress.Begin(4);
    progress.Started(0);
    progress.Advanced(0, 0.75);
    EXPECT_DOUBLE_EQ(progress.Overall(), 0.75 / 4);
    progress.Started(1);
    EXPECT_DOUBLE_EQ(progress.Overall(), 0.75 / 4);
    progress.Advanced(0, 1.0);
    progress.Advanced(1, 0.25);
    EXPECT_DOUBLE_EQ(progress.Overall(), 1.25 / 4);
    progress.Finished(0, 1000, true, 2000);
    EXPECT_DOUBLE_EQ(progress.Overall(), 1.25 / 4);
    EXPECT_EQ(ProgressText(progress).left(5), QStringLiteral("2 / 4"));
    // 2 ms a pixel: three quarters of the running image and two more to go.
    EXPECT_EQ(progress.TimeLeft(), 5500u);
    // A percentage of an image that has ended or never started moves nothing.
    progress.Advanced(0, 1.0);
    progress.Advanced(3, 0.5);
    EXPECT_DOUBLE_EQ(progress.Overall(), 1.25 / 4);
}

TEST(BatchProgress, StoppedTextCountsTheEnlargedImagesOfTheBatch)
{
    TBatchProgress progress;
    progress.Begin(10);
    progress.Grow(2); // added while it ran
    for (int row = 0; row < 9; ++row) {
        progress.Started(row);
        progress.Finished(row, 100, row % 4 != 3, 10); // rows 3 and 7 failed
    }
    progress.Started(9); // aborted: it never finishes
    EXPECT_EQ(StoppedText(progress), QStringLiteral("Stopped: 7 of 12 enlarged"));
}

// The first change shows at once; those within the interval after it show once, together, at its
// end; Now shows at once and Drop forgets what waits.
TEST(Throttle, ShowsTheFirstChangeAtOnceAndTheRestOnceAnInterval)
{
    int shown = 0;
    TThrottle throttle(200, [&] { ++shown; });
    throttle.Changed();
    EXPECT_EQ(shown, 1);
    for (int i = 0; i < 100; ++i)
        throttle.Changed();
    EXPECT_EQ(shown, 1);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(testenv::WaitFor([&] { return shown == 2; }, 5000));
    EXPECT_GE(clock.elapsed(), 150);
    QTest::qWait(300);
    EXPECT_EQ(shown, 2) << "nothing more was pending";

    throttle.Changed(); // the interval has passed: at once
    EXPECT_EQ(shown, 3);
    throttle.Changed();
    throttle.Drop();
    throttle.Now();
    EXPECT_EQ(shown, 4);
    QTest::qWait(300);
    EXPECT_EQ(shown, 4);
}

// The end of a batch says what failed and why, then what completed images lost, then advice.
TEST(BatchSummary, EndingTextSaysFailuresNotesAndAdviceInThatOrder)
{
    const QString note = QStringLiteral("Metadata could not be kept: /p/b.jpg");
    const QString advice = QStringLiteral("Use the other model");
    const struct {
        int failed;
        const char* commonFailure;
        int noted;
        bool advised;
        QString ending;
    } cases[] = {
        {0, "", 0, false, QStringLiteral("Completed")},
        {0, "", 1, false, QStringLiteral("Completed \u00b7 ") + note},
        {2, "", 1, false, QStringLiteral("2 failed; the reasons are on the rows \u00b7 ") + note},
        {2, "Disk full", 3, false,
         QStringLiteral("2 failed: Disk full \u00b7 3 notes, the last: ") + note},
        {1, "Damaged", 0, true, QStringLiteral("1 failed: Damaged \u00b7 ") + advice},
        {1, "", 2, true,
         QStringLiteral("1 failed; the reasons are on the rows \u00b7 2 notes, the last: ") + note +
             QStringLiteral(" \u00b7 ") + advice},
    };
    for (const auto& c : cases) {
        TBatchSummary summary;
        summary.completed = 2;
        summary.failed = c.failed;
        summary.commonFailure = QLatin1String(c.commonFailure);
        summary.noted = c.noted;
        summary.lastNote = c.noted ? note : QString();
        summary.advice = c.advised ? advice : QString();
        EXPECT_EQ(EndingText(summary), c.ending);
    }
}

TEST(BatchSummary, PercentRoundsHalvesToEven)
{
    struct Case {
        std::int64_t difference, input, percent;
    } cases[] = {
        {1, 200, 0},   // 0.5
        {3, 200, 2},   // 1.5
        {5, 200, 2},   // 2.5
        {-5, 200, -2}, // -2.5
        {-3145728, 1048576, -300},
        {10, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SizePercentOf(c.difference, c.input), c.percent)
            << c.difference << "/" << c.input;
}

TEST(BatchSummary, SizeRowSaysIncreaseOrSavingsWithPositiveFigures)
{
    const LocaleScope english("en_US");
    const TSizeChange increase = SizeChangeText(1048576, 4194304);
    EXPECT_EQ(increase.caption, QStringLiteral("Increase in Disk Space:"));
    EXPECT_EQ(increase.value, QStringLiteral("3 MB (300%)"));
    const TSizeChange savings = SizeChangeText(4096, 2560);
    EXPECT_EQ(savings.caption, QStringLiteral("Savings on Disk Space:"));
    EXPECT_EQ(savings.value, QStringLiteral("1.5 KB (38%)"));
    EXPECT_EQ(SizeChangeText(5000, 5000).value, QStringLiteral("0%"));
}

} // namespace
