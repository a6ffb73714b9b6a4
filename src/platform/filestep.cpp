#include "filestep.h"

namespace platform
{

namespace
{

std::function<void()>& hook()
{
    static std::function<void()> installed;
    return installed;
}

} // namespace

void BeforeFileStep()
{
    if (hook())
        hook()();
}

void SetFileStepHookForTesting(std::function<void()> hook_)
{
    hook() = std::move(hook_);
}

} // namespace platform
