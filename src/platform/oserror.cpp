#include "oserror.h"

#include <cstring>

namespace platform
{

OSError::OSError(int code, const QString& message)
    : std::runtime_error(message.toStdString()), code_(code)
{
}

void RaiseOSError(int code, const QString& context)
{
    const QString system = QString::fromLocal8Bit(std::strerror(code));
    QString text = QStringLiteral("System Error.  Code: %1.\n%2").arg(code).arg(system);
    if (!context.isEmpty())
        text = context + QStringLiteral(": ") + text;
    throw OSError(code, text);
}

} // namespace platform
