#include "operations/ScriptFlags.h"

std::atomic<bool> g_bScriptRunning { false };
std::atomic<bool> g_bScriptCommandDone { false };
std::atomic<bool> g_bScriptMessageOpen { false };
std::atomic<bool> g_bScriptFailed { false };
ScriptLineSlot g_strScriptLine;

void FailRunningScript()
{
    if (g_bScriptRunning.exchange(false)) {
        g_bScriptFailed = true;
        g_bScriptCommandDone = true;
    }
}

void StopRunningScript()
{
    g_bScriptRunning = false;
    g_bScriptCommandDone = true;
}
