#include "oserror.h"

#include <cstring>

namespace platform
{

OSError::OSError(int code, const QString& message)
    : std::runtime_error(message.toStdString()), code_(code)
{
}

QString SystemErrorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

void RaiseOSError(int code, const QString& context)
{
    QString text =
        QStringLiteral("System Error.  Code: %1.\n%2").arg(code).arg(SystemErrorText(code));
    if (!context.isEmpty())
        text = context + QStringLiteral(": ") + text;
    throw OSError(code, text);
}

} // namespace platform
