// Splitting one command-line string into arguments, and quoting one argument so that it comes
// back out of the split unchanged, by the Windows command-line rules.
#pragma once

#include <QString>
#include <QStringList>

// Blanks and tabs separate arguments; double quotes group (a quoted part may be embedded in an
// argument, and "" inside quotes is one literal quote); backslashes are literal except before a
// quote, where 2n backslashes give n and start or end a quoted part, and 2n+1 give n and a literal
// quote. "" alone is an empty argument. Every other character, line breaks included, is ordinary.
QStringList SplitCommandLine(const QString& commandLine);

// `argument` written so that SplitCommandLine gives it back as exactly one argument, whatever it
// holds (blanks, quotes, backslashes, line breaks, nothing at all). It is quoted only when it has
// to be. A leading dash stays a leading dash: the called program decides what it means.
QString QuoteCommandLineArgument(const QString& argument);
