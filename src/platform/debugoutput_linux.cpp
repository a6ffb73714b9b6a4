#include "debugoutput.h"

#include <cstdio>

namespace platform
{

void OutputDebugString(const QString& text)
{
    const QByteArray line = text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace platform
