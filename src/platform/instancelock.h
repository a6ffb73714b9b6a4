// Marks a running instance by name, like a named mutex: a lock file held open for the life of the
// process. A second instance starts all the same; the mark only tells that one is running.
#pragma once

#include <QString>

namespace platform
{

// Opens (creating when needed) the lock file for `name` in $XDG_RUNTIME_DIR (or the private
// temporary folder) and keeps it open until the process ends. Returns false when it could not.
bool CreateNamedMutex(const QString& name);

} // namespace platform
