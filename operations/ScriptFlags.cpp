#include "operations/ScriptFlags.h"

std::atomic<bool> g_bScriptRunning { false };
std::atomic<bool> g_bScriptCommandDone { false };

void FailRunningScript()
{
    if (g_bScriptRunning.exchange(false))
        g_bScriptCommandDone = true;
}
