#include "restartscript.h"

#include "platform/oserror.h"

#include <QSaveFile>
#include <cerrno>

QString ShellQuote(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString RestartScriptText(const QString& programPath, const QStringList& arguments)
{
    QString command = ShellQuote(programPath);
    for (const QString& argument : arguments)
        command += QLatin1Char(' ') + ShellQuote(argument);
    return QStringLiteral("#!/bin/sh\n"
                          "# This file was created automatically to restart the program.\n"
                          "# It is safe to delete this file.\n"
                          "sleep 1\n"
                          "exec ") +
           command + QLatin1Char('\n');
}

QString WriteRestartScript(const QString& folder, const QString& programPath,
                           const QStringList& arguments)
{
    const QString path = folder + QStringLiteral("start.sh");
    // Written beside and renamed over the old script, so a link planted under its name is
    // replaced instead of followed.
    QSaveFile file(path);
    const QByteArray bytes = RestartScriptText(programPath, arguments).toUtf8();
    errno = 0;
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        const int code = errno != 0 ? errno : EIO;
        platform::RaiseOSError(code, QStringLiteral("Cannot write \"%1\"").arg(path));
    }
    return path;
}
