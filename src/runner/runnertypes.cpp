#include "runnertypes.h"

#include "platform/oserror.h"

QString ExceptionClassName(const std::exception& e)
{
    if (dynamic_cast<const EConsoleRunner*>(&e))
        return QStringLiteral("EConsoleRunner");
    if (dynamic_cast<const ECreatePipeError*>(&e))
        return QStringLiteral("ECreatePipeError");
    if (dynamic_cast<const ECreateProcessError*>(&e))
        return QStringLiteral("ECreateProcessError");
    if (dynamic_cast<const EProcessTimer*>(&e))
        return QStringLiteral("EProcessTimer");
    if (dynamic_cast<const platform::OSError*>(&e))
        return QStringLiteral("EOSError");
    return QStringLiteral("Exception");
}
