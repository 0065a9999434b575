#pragma once
// The script thread: reads a script file line by line and hands each line to the GUI thread,
// which runs it; it never touches a widget, a buffer or the programmer. It waits, in 10 ms steps
// of the platform clock that a stop request cuts short, for the line to be done, for a MESSAGE
// box to close and for a device setup to end.

#include <functional>
#include <stop_token>
#include <string>

struct ScriptStart {
    std::string file;
    // A GOTO's label: nothing runs until the line "LABEL " plus the label (upper-cased, blanks
    // around it ignored); empty for a run from the first line.
    std::string label;
    // The GOTO's line in the run before, named when the label is never found.
    int gotoLine = 0;
};

struct ScriptThreadHost {
    // Arms the GUI thread's timer 109 for the line in g_strScriptLine (through a post).
    std::function<void()> armLine;
    // A line for the message log, "\r\n" ended (through a post).
    std::function<void(const std::string&)> log;
    // A box through the message service.
    std::function<void(const std::string&)> box;
};

// Runs the script; returns 0. The starter sets g_bScriptRunning, and clears g_bScriptFailed and
// g_bScriptInterrupted, before the thread starts, so that a stop before the first line holds; the
// script runs while the flag is set, and the flag is cleared at its end. When the script ended by
// a failure (g_bScriptFailed: a failing line, a failed or refused operation, an unknown command,
// an over-long line, a missing label) or by Stop Script (g_bScriptInterrupted) it logs
// "Script stopped at line %d.". A file it cannot read (a folder too) gets "file open error: %s"
// in a box and in the log, and nothing runs.
int ScriptThreadProc(ScriptStart start, const ScriptThreadHost& host, std::stop_token stop);
