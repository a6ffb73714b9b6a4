// The debugger-output channel: one line on standard error.
#pragma once

#include <QString>

namespace platform
{

void OutputDebugString(const QString& text);

} // namespace platform
