#include "platform/systeminfo.h"

#include <gtest/gtest.h>

TEST(SystemInfo, MachineIdIsWrittenInFiveGroups)
{
    EXPECT_EQ(platform::FormatMachineGuid(QStringLiteral("3D1219C7C4C5404AAA1F6D2A48ADFDA4\n")),
              QStringLiteral("3d1219c7-c4c5-404a-aa1f-6d2a48adfda4"));
    EXPECT_EQ(platform::FormatMachineGuid(QStringLiteral("3d1219c7c4c5404a")), QString());
    EXPECT_EQ(platform::FormatMachineGuid(QStringLiteral("uninitialized")), QString());
}

TEST(SystemInfo, OsDescriptionNamesDistributionKernelAndEdition)
{
    const QString debian =
        QStringLiteral("PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian "
                       "GNU/Linux\"\nVERSION_ID=\"12\"\n");
    EXPECT_EQ(platform::FormatOsDescription(debian, QStringLiteral("6.1.0-18-amd64"),
                                            QStringLiteral("x86_64")),
              QStringLiteral("Debian GNU/Linux 12 (Version 6.1, Build 0, 64-bit Edition)"));
    EXPECT_EQ(platform::FormatOsDescription(QStringLiteral("NAME=Arch Linux\n"),
                                            QStringLiteral("6.8.2-arch1-1"),
                                            QStringLiteral("i686")),
              QStringLiteral("Arch Linux (Version 6.8, Build 2, 32-bit Edition)"));
    EXPECT_EQ(
        platform::FormatOsDescription(QString(), QStringLiteral("5"), QStringLiteral("aarch64")),
        QStringLiteral("Linux (Version 5.0, Build 0, 64-bit Edition)"));
}

TEST(SystemInfo, LocaleNameIsLanguageHyphenRegion)
{
    const struct {
        const char* posix;
        const char* name;
    } cases[] = {{"en_US", "en-US"}, {"de_DE.UTF-8@euro", "de-DE"},
                 {"pt", "pt"},       {"C", "xx"},
                 {"POSIX", "xx"},    {"", "xx"}};
    for (const auto& c : cases)
        EXPECT_EQ(platform::FormatLocaleName(QLatin1String(c.posix)), QLatin1String(c.name))
            << c.posix;
}
