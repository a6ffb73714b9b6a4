#include "runner/commandline.h"
#include "runner/consolerunner.h"

#include <QTest>
#include <gtest/gtest.h>

namespace
{

struct SplitCase {
    const char* commandLine;
    std::vector<const char*> arguments;
};

TEST(CommandLine, SplitsByTheWindowsRules)
{
    const std::vector<SplitCase> cases = {
        {"", {}},
        {"   \t ", {}},
        {"prog a  b\tc", {"prog", "a", "b", "c"}},
        {"\"C:\\Program Files\\x.exe\" -i", {"C:\\Program Files\\x.exe", "-i"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {""}},
        {"a \"\" b", {"a", "", "b"}},
        {"\"a\"\"b\"", {"a\"b"}},
        {"a\\\\b", {"a\\\\b"}},
        {"a\\\"b", {"a\"b"}},
        {"a\\\\\"b c\"", {"a\\b c"}},
        {"a\\\\\\\"b", {"a\\\"b"}},
        {"\"trailing\\\\\"", {"trailing\\"}},
        {"\"unclosed quote", {"unclosed quote"}},
        {"line\nbreak x", {"line\nbreak", "x"}},
    };
    for (const SplitCase& c : cases) {
        QStringList expected;
        for (const char* argument : c.arguments)
            expected << QString::fromUtf8(argument);
        EXPECT_EQ(SplitCommandLine(QString::fromUtf8(c.commandLine)), expected)
            << "command line: " << c.commandLine;
    }
}

const QStringList& AwkwardArguments()
{
    static const QStringList arguments = {
        QString(),
        QStringLiteral("plain"),
        QStringLiteral("with blank"),
        QStringLiteral("\ttab"),
        QStringLiteral("quote\"inside"),
        QStringLiteral("\""),
        QStringLiteral("ends with backslash\\"),
        QStringLiteral("\\\\server\\share\\"),
        QStringLiteral("back\\\"slash quote"),
        QStringLiteral("-leading-dash.png"),
        QStringLiteral("--"),
        QStringLiteral("line\nbreak\r\n"),
        QStringLiteral("\"\"  \\\\\" \""),
        QStringLiteral("ünïcödé ✓ 画像.png"),
    };
    return arguments;
}

TEST(CommandLine, QuotedArgumentsSplitBackUnchanged)
{
    QString commandLine = QStringLiteral("prog");
    for (const QString& argument : AwkwardArguments())
        commandLine += QLatin1Char(' ') + QuoteCommandLineArgument(argument);
    EXPECT_EQ(SplitCommandLine(commandLine),
              QStringList{QStringLiteral("prog")} + AwkwardArguments());
    EXPECT_EQ(QuoteCommandLineArgument(QStringLiteral("plain")), QStringLiteral("plain"));
}

TEST(CommandLine, EveryQuotedArgumentReachesTheChildAsOneArgument)
{
    QString commandLine =
        QuoteCommandLineArgument(QStringLiteral(RUNNER_CHILD)) + QStringLiteral(" args");
    for (const QString& argument : AwkwardArguments())
        commandLine += QLatin1Char(' ') + QuoteCommandLineArgument(argument);
    TConsoleRunner runner;
    runner.SetCommandLine(commandLine);
    bool ended = false;
    runner.OnTerminated = [&](TConsoleRunner*) { ended = true; };
    runner.Execute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 10000));
    QStringList received;
    for (const QString& line : runner.Lines())
        received << QString::fromUtf8(QByteArray::fromHex(line.toLatin1()));
    EXPECT_EQ(received, AwkwardArguments());
}

} // namespace
