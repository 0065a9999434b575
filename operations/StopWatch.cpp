#include "operations/StopWatch.h"

#include "platform/Clock.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"

CStopWatch g_StopWatch;

CStopWatch::CStopWatch()
{
    // The cost of the two counter reads an empty Start and Stop make.
    const std::int64_t first = platform::QueryCounter();
    const std::int64_t second = platform::QueryCounter();
    m_nOverhead = second > first ? second - first : 0;
}

void CStopWatch::Start()
{
    m_nStart = platform::QueryCounter() + kStartDelayMs * platform::CounterFrequency() / 1000;
    m_nStop = m_nStart;
    m_bStarted = true;
    m_bRunning = true;
}

void CStopWatch::Stop()
{
    if (!m_bRunning)
        return;
    m_nStop = platform::QueryCounter();
    m_bRunning = false;
}

double CStopWatch::ElapsedSeconds() const
{
    if (!m_bStarted)
        return 0.0;
    const std::int64_t end = m_bRunning ? platform::QueryCounter() : m_nStop;
    const std::int64_t ticks = end - m_nStart - m_nOverhead;
    if (ticks <= 0)
        return 0.0;
    return static_cast<double>(ticks) / static_cast<double>(platform::CounterFrequency());
}

std::string ElapsedLine(double seconds)
{
    if (!(seconds > 0.0)) // also NaN
        seconds = 0.0;
    return platform::Format(
        "%s: %.2f %s.\r\n", g_Language.GetText(94).c_str(), seconds, g_Language.GetText(95).c_str());
}
