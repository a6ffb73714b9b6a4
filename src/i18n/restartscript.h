// The small shell script that starts the program again after it has ended, so that a newly
// chosen language takes effect.
#pragma once

#include <QString>
#include <QStringList>

// `text` as one word for the POSIX shell: nothing in it is expanded or run.
QString ShellQuote(const QString& text);

// The script's text: it waits a second for this process to end, then runs `programPath` with
// `arguments`, each one word.
QString RestartScriptText(const QString& programPath, const QStringList& arguments = {});

// Writes the script as "start.sh" into `folder` (ending with '/'), replacing an earlier one,
// and returns its path. Raises platform::OSError when it cannot be written.
QString WriteRestartScript(const QString& folder, const QString& programPath,
                           const QStringList& arguments = {});
