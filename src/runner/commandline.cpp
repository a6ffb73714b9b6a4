#include "commandline.h"

#include <algorithm>

namespace
{

bool IsSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

} // namespace

QStringList SplitCommandLine(const QString& commandLine)
{
    QStringList arguments;
    QString current;
    bool inArgument = false; // a quote makes an argument even when it stays empty
    bool quoted = false;
    const qsizetype length = commandLine.size();
    qsizetype i = 0;
    while (i < length) {
        const QChar c = commandLine.at(i);
        if (!quoted && IsSeparator(c)) {
            if (inArgument) {
                arguments.append(current);
                current.clear();
                inArgument = false;
            }
            ++i;
            continue;
        }
        inArgument = true;
        if (c == QLatin1Char('\\')) {
            qsizetype backslashes = 0;
            while (i < length && commandLine.at(i) == QLatin1Char('\\')) {
                ++backslashes;
                ++i;
            }
            if (i < length && commandLine.at(i) == QLatin1Char('"')) {
                current.append(QString(backslashes / 2, QLatin1Char('\\')));
                if (backslashes % 2 == 1) {
                    current.append(QLatin1Char('"'));
                    ++i;
                }
                // With an even count the quote is handled by the next turn of the loop.
            } else {
                current.append(QString(backslashes, QLatin1Char('\\')));
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            if (quoted && i + 1 < length && commandLine.at(i + 1) == QLatin1Char('"')) {
                current.append(QLatin1Char('"'));
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        current.append(c);
        ++i;
    }
    if (inArgument)
        arguments.append(current);
    return arguments;
}

QString QuoteCommandLineArgument(const QString& argument)
{
    const bool plain =
        !argument.isEmpty() && std::none_of(argument.begin(), argument.end(), [](QChar c) {
            return IsSeparator(c) || c == QLatin1Char('"') || c == QLatin1Char('\n') ||
                   c == QLatin1Char('\r') || c == QLatin1Char('\v');
        });
    if (plain)
        return argument;
    QString quoted = QStringLiteral("\"");
    const qsizetype length = argument.size();
    for (qsizetype i = 0; i < length; ++i) {
        qsizetype backslashes = 0;
        while (i < length && argument.at(i) == QLatin1Char('\\')) {
            ++backslashes;
            ++i;
        }
        if (i == length) {
            // They stand before the closing quote, so each one is doubled.
            quoted.append(QString(backslashes * 2, QLatin1Char('\\')));
            break;
        }
        if (argument.at(i) == QLatin1Char('"')) {
            quoted.append(QString(backslashes * 2 + 1, QLatin1Char('\\')));
            quoted.append(QLatin1Char('"'));
        } else {
            quoted.append(QString(backslashes, QLatin1Char('\\')));
            quoted.append(argument.at(i));
        }
    }
    quoted.append(QLatin1Char('"'));
    return quoted;
}
