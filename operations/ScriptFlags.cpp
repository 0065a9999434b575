#include "operations/ScriptFlags.h"

std::atomic<bool> g_bScriptRunning { false };
std::atomic<bool> g_bScriptCommandDone { false };
std::atomic<bool> g_bScriptMessageOpen { false };
std::atomic<bool> g_bScriptFailed { false };
std::atomic<bool> g_bScriptInterrupted { false };
ScriptLineSlot g_strScriptLine;

// The reason is set before the script is told to end: its thread reads it once it has ended.
void FailRunningScript()
{
    if (g_bScriptRunning) {
        g_bScriptFailed = true;
        g_bScriptRunning = false;
        g_bScriptCommandDone = true;
    }
}

void StopRunningScript()
{
    g_bScriptRunning = false;
    g_bScriptCommandDone = true;
}

void InterruptRunningScript()
{
    if (g_bScriptRunning)
        g_bScriptInterrupted = true;
    StopRunningScript();
}
