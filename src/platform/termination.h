// The operating system asking the program to end: logout, shutdown, `kill`, Ctrl+C in a terminal.
#pragma once

#include <functional>

namespace platform
{

// From now on SIGTERM, SIGINT and SIGHUP no longer end the process at once: `handler` runs on the
// thread that called this, from its event loop, so that the program ends as closing its window
// does. A later call replaces the handler.
void OnTerminationRequest(std::function<void()> handler);

} // namespace platform
