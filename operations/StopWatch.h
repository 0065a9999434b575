#pragma once
// Timing of one device operation on the platform's high-resolution counter (and so on the clock
// in force, which tests replace).
//
// Start() takes its count 100 ms after the call, without sleeping: an operation's first 100 ms
// are its power-up and prologue, which the elapsed time leaves out. The overhead of an empty
// Start and Stop, measured once at construction, is taken off every reading; a reading never
// goes below 0.

#include <cstdint>
#include <string>

class CStopWatch {
public:
    static constexpr std::int64_t kStartDelayMs = 100;

    CStopWatch();

    void Start();
    void Stop();
    bool IsRunning() const { return m_bRunning; }

    // Seconds from the start count to the stop (to now while running), less the overhead;
    // 0 before the first start.
    double ElapsedSeconds() const;

private:
    std::int64_t m_nStart = 0;
    std::int64_t m_nStop = 0;
    std::int64_t m_nOverhead = 0;
    bool m_bStarted = false;
    bool m_bRunning = false;
};

// The operation timing of the main view: started after the pump of each step starts, stopped in
// the completion.
extern CStopWatch g_StopWatch;

// The log line of an elapsed time: "Elapsed time: 1.23 seconds.\r\n" in the current language.
std::string ElapsedLine(double seconds);
