// The moment before each step that changes a user's files or the trash: where a test stops the
// program's work as a kill at that moment would.
#pragma once

#include <functional>

namespace platform
{

// Called before every such step; does nothing unless a test has set a hook.
void BeforeFileStep();

// Test seam: `hook` runs at every BeforeFileStep(); it may throw to end the work right there.
void SetFileStepHookForTesting(std::function<void()> hook);

} // namespace platform
