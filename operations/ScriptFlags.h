#pragma once
// The flags by which the script thread and the GUI thread hand a line over and wait for it
// (operations/script/README.md). Each flag is written by one side at a time.

#include <atomic>
#include <mutex>
#include <string>

// Set while a script runs.
extern std::atomic<bool> g_bScriptRunning;
// Set when the line handed over, or the command it started, has finished.
extern std::atomic<bool> g_bScriptCommandDone;
// Set while a script's MESSAGE box is open.
extern std::atomic<bool> g_bScriptMessageOpen;
// Set when the running script was ended by a failure (a failing line, a failed or refused
// operation, an unknown command) rather than by STOP, Stop Script or the shut-down.
extern std::atomic<bool> g_bScriptFailed;
// Set when Stop Script (the menu, Esc) or a typed STOP ended the running script.
extern std::atomic<bool> g_bScriptInterrupted;

// The line the script thread hands to the GUI thread, with its line number in the file.
class ScriptLineSlot {
public:
    void Set(std::string text, int line)
    {
        std::lock_guard lock(m_mutex);
        m_text = std::move(text);
        m_line = line;
    }
    std::string Text() const
    {
        std::lock_guard lock(m_mutex);
        return m_text;
    }
    int Line() const
    {
        std::lock_guard lock(m_mutex);
        return m_line;
    }

private:
    mutable std::mutex m_mutex;
    std::string m_text;
    int m_line = 0;
};
extern ScriptLineSlot g_strScriptLine;

// A failure, cancel, lost link or refused step ends a running script: it stops, and the line
// waiting on its command is released. Nothing changes when no script runs.
void FailRunningScript();
// STOP: the running script ends, as asked.
void StopRunningScript();
// Stop Script: as STOP, and a running script's end names the line it was on.
void InterruptRunningScript();
