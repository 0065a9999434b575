#pragma once
// An ExchangeLink for tests: records what is sent and the voltages set, and answers reads from a
// script (a time-out once the script is used up), with the clock time of every send.

#include "operations/StepExchange.h"
#include "platform/Clock.h"

#include <algorithm>
#include <deque>
#include <initializer_list>
#include <vector>

namespace tonrig::test {

class ScriptedLink : public ExchangeLink {
public:
    struct Answer {
        std::vector<std::uint8_t> bytes;
        Status status = Status::Ok;
    };

    std::vector<std::vector<std::uint8_t>> sent;
    std::vector<platform::Duration> sentAt;
    std::vector<Voltages> voltages;
    std::deque<Answer> reads;
    int goneAtSend = -1; // the send (0-based) at which the programmer leaves

    void SetVoltages(Voltages v) override { voltages.push_back(v); }
    Status Send(std::span<const std::uint8_t> packet) override
    {
        if (static_cast<int>(sent.size()) == goneAtSend)
            return Status::Gone;
        sent.emplace_back(packet.begin(), packet.end());
        sentAt.push_back(platform::GetClock().Now());
        return Status::Ok;
    }
    int Read(std::span<std::uint8_t> buffer, Status& status) override
    {
        if (reads.empty()) {
            status = Status::Timeout;
            return 0;
        }
        Answer a = reads.front();
        reads.pop_front();
        status = a.status;
        const std::size_t n = std::min(a.bytes.size(), buffer.size());
        std::copy_n(a.bytes.begin(), n, buffer.begin());
        return static_cast<int>(n);
    }
    // How many packets sent start with `code`.
    int Count(std::uint8_t code) const
    {
        int n = 0;
        for (const auto& p : sent)
            n += !p.empty() && p[0] == code;
        return n;
    }
};

// A 64-byte reply that starts with `head`, zero behind it.
inline std::vector<std::uint8_t> Packet(std::initializer_list<std::uint8_t> head, std::uint8_t fill = 0x00)
{
    std::vector<std::uint8_t> p(head);
    p.resize(64, fill);
    return p;
}

} // namespace tonrig::test
