#include "foundation/Workspace.h"

#include <atomic>

namespace {

std::atomic<Workspace*> sharedWorkspace{nullptr};

} // namespace

Workspace* Workspace::shared()
{
    return sharedWorkspace.load();
}

void Workspace::setShared(Workspace* workspace)
{
    sharedWorkspace.store(workspace);
}
