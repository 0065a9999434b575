#pragma once
// The two flags by which a running script waits for its device commands. They live here until
// the script engine takes them over.

#include <atomic>

// Set while a script runs.
extern std::atomic<bool> g_bScriptRunning;
// Set when the command a script line started has finished.
extern std::atomic<bool> g_bScriptCommandDone;

// A failure, cancel, lost link or refused step ends a running script: it stops, and the line
// waiting on its command is released. Nothing changes when no script runs.
void FailRunningScript();
