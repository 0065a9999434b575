#pragma once
// Who may use the programmer link right now. One worker kind at a time holds the lease: it is
// taken on the GUI thread before the worker starts and released by the worker's last posted
// message. While it is held, operations, device selection and loads into the active buffer
// refuse. The return to None runs one callback (a device setup that waited for the link).

#include <atomic>
#include <functional>

enum class LeaseHolder { None, Operation, Setup, Identify, Jtag };

const char* LeaseHolderName(LeaseHolder holder);

class LinkLease {
public:
    // False when another holder has the lease.
    bool Take(LeaseHolder holder);
    // Releases the lease if `holder` has it; then runs the callback set for the release, once.
    void Release(LeaseHolder holder);
    LeaseHolder Holder() const { return m_holder.load(); }
    bool IsHeld() const { return Holder() != LeaseHolder::None; }
    // The callback runs (on the releasing thread, the GUI thread) at the next return to None.
    // A later call replaces an earlier one; with the lease free it runs at once.
    void WhenFree(std::function<void()> callback);

    // The programmer went away while an operation held the lease: that operation ends in state 0.
    // Taken (and cleared) by the operation's end; a new Take clears a stale mark.
    void MarkLinkLost() { m_linkLost = true; }
    bool TakeLinkLost() { return m_linkLost.exchange(false); }

private:
    std::atomic<LeaseHolder> m_holder { LeaseHolder::None };
    std::function<void()> m_onFree;
    std::atomic<bool> m_linkLost { false };
};

extern LinkLease g_LinkLease;
