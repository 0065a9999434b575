#include "link/LinkLease.h"

LinkLease g_LinkLease;

const char* LeaseHolderName(LeaseHolder holder)
{
    switch (holder) {
    case LeaseHolder::None:
        return "none";
    case LeaseHolder::Operation:
        return "an operation";
    case LeaseHolder::Setup:
        return "the device setup";
    case LeaseHolder::Identify:
        return "the programmer identification";
    case LeaseHolder::Jtag:
        return "the JTAG player";
    }
    return "?";
}

bool LinkLease::Take(LeaseHolder holder)
{
    LeaseHolder expected = LeaseHolder::None;
    if (holder == LeaseHolder::None || !m_holder.compare_exchange_strong(expected, holder))
        return false;
    m_linkLost = false;
    return true;
}

void LinkLease::Release(LeaseHolder holder)
{
    LeaseHolder expected = holder;
    if (holder == LeaseHolder::None || !m_holder.compare_exchange_strong(expected, LeaseHolder::None))
        return;
    if (auto callback = std::move(m_onFree)) {
        m_onFree = nullptr;
        callback();
    }
}

void LinkLease::WhenFree(std::function<void()> callback)
{
    if (!IsHeld()) {
        if (callback)
            callback();
        return;
    }
    m_onFree = std::move(callback);
}
