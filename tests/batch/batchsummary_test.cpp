#include "batch/batchsummary.h"

#include <QLocale>
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
}

TEST(BatchSummary, ElapsedTimeHasOneDecimal)
{
    const LocaleScope english("en_US");
    EXPECT_EQ(ElapsedText(12345), QStringLiteral("12.3 seconds"));
    EXPECT_EQ(ElapsedText(0), QStringLiteral("0.0 seconds"));
    EXPECT_EQ(ElapsedText(4000000000u), QStringLiteral("4000000.0 seconds"));
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
