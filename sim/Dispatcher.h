#pragma once
// The firmware's command loop: an OUT transfer is cut into 64-byte packets (the last may be
// short) and each goes to the handler registered for its byte 0. A handler may take the rest of
// its transfer, or claim a number of following bytes (across transfers) as raw data. Replies are
// units that the box queues whole on its IN endpoint.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sim {

inline constexpr std::size_t kPacketSize = 64;

class DispatchContext {
public:
    virtual ~DispatchContext() = default;
    // Queues one reply unit.
    virtual void Reply(std::vector<std::uint8_t> unit) = 0;
    // The bytes of this transfer after the current packet, which no handler then sees.
    virtual std::vector<std::uint8_t> TakeRest() = 0;
    // The next `bytes` bytes sent, in whatever transfers they come, go to `sink` instead of the
    // handlers; `last` is true on the final piece.
    virtual void ClaimFollowing(
        std::size_t bytes, std::function<void(const std::uint8_t*, std::size_t, bool last)> sink)
        = 0;
    // Work of the 8051 beyond moving the transfer's bytes (for the time model).
    virtual void AddBytesMoved(std::size_t bytes) = 0;
    virtual void ProtocolError(const std::string& what) = 0;
};

using Handler = std::function<void(DispatchContext& ctx, const std::uint8_t* packet, std::size_t length)>;

class Dispatcher {
public:
    // Registers (or replaces) the handler of a command code.
    void Register(std::uint8_t code, Handler handler);
    void Unregister(std::uint8_t code);
    bool Handles(std::uint8_t code) const;
    // Runs before the handler of `code`.
    void Observe(std::uint8_t code, std::function<void(const std::uint8_t*, std::size_t)> observer);

    // Hooks run by Reset (the algorithm state of later handlers).
    void AddResetHook(std::function<void()> hook);

    // Runs one OUT transfer through the handlers. Replies and errors go through `sink`.
    void Feed(const std::uint8_t* data, std::size_t length, DispatchContext& sink);

    // Drops a raw-data claim and runs the reset hooks.
    void Reset();

private:
    std::map<std::uint8_t, Handler> m_handlers;
    std::multimap<std::uint8_t, std::function<void(const std::uint8_t*, std::size_t)>> m_observers;
    std::vector<std::function<void()>> m_resetHooks;
    std::size_t m_claimLeft = 0;
    std::function<void(const std::uint8_t*, std::size_t, bool)> m_claimSink;
};

} // namespace sim
