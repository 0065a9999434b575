#include "operations/SetupLinkPort.h"

std::unique_ptr<ISetupLinkPort> MakeProgrammerLinkPort()
{
    // The programmer link is not part of the program yet.
    return std::make_unique<NullLinkPort>();
}
