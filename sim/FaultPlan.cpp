#include "sim/FaultPlan.h"

namespace sim {

void FaultPlan::Add(const Fault& fault)
{
    std::lock_guard lock(m_mutex);
    m_faults.push_back(fault);
}

void FaultPlan::Clear()
{
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

bool FaultPlan::Empty() const
{
    std::lock_guard lock(m_mutex);
    return m_faults.empty();
}

std::vector<Fault> FaultPlan::Fire(FaultTrigger trigger, std::uint64_t value)
{
    std::lock_guard lock(m_mutex);
    std::vector<Fault> fired;
    for (auto it = m_faults.begin(); it != m_faults.end();) {
        bool match = it->trigger == trigger;
        if (match)
            match = trigger == FaultTrigger::Transfer && it->persistent ? value >= it->value : value == it->value;
        if (!match) {
            ++it;
            continue;
        }
        fired.push_back(*it);
        if (it->persistent)
            ++it;
        else
            it = m_faults.erase(it);
    }
    return fired;
}

std::vector<Fault> FaultPlan::TakeTimed()
{
    std::lock_guard lock(m_mutex);
    std::vector<Fault> timed;
    for (auto it = m_faults.begin(); it != m_faults.end();) {
        if (it->trigger == FaultTrigger::Time) {
            timed.push_back(*it);
            it = m_faults.erase(it);
        } else {
            ++it;
        }
    }
    return timed;
}

} // namespace sim
