#pragma once
// A small programmer behind the PumpChannel interface for the pump's loop rules: block reads
// (data, then [0] unless class 90), write blocks acknowledged at the next *_OK packet or read,
// scripted erase answers, a serial EEPROM that does not acknowledge, and faults by read number.
// And a PumpHost that records.

#include "link/ProgrammerCommand.h"
#include "operations/OperationPump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace pumptest {

struct Reply {
    std::vector<std::uint8_t> bytes;
};

class FakeChannel : public PumpChannel {
public:
    std::vector<std::uint8_t> chip;
    bool class90 = false;
    std::deque<Reply> queue;
    std::vector<std::vector<std::uint8_t>> sent; // every packet, in order
    int reads = 0;
    int requests = 0; // block requests
    int drains = 0;
    // Faults: the status a read returns instead of a reply, by read number (1 = the first).
    std::map<int, Status> readFault;
    // From this read on every read returns this status.
    int silentFrom = 0;
    Status silentStatus = Status::Timeout;
    std::optional<std::uint32_t> failWriteAt; // the device address whose write fails
    std::uint8_t failReadBack = 0xAA;
    std::vector<std::uint8_t> eraseAnswers { 2, 2, 0 };
    // Nothing acknowledges: reads bring 0xFF and the status [3], write blocks [3], nothing programs.
    bool noAcknowledge = false;
    std::function<void(FakeChannel&, const std::uint8_t*, int)> onSend;
    std::function<void(FakeChannel&, int read)> onRead;
    Status sendStatus = Status::Ok;
    // Address bits the command channel sets on main-memory packets (a DIP24/DIP28 power line).
    std::uint32_t forceBits = 0;
    int refuseAfterSends = -1;

    void Drain() override
    {
        ++drains;
        queue.clear();
    }

    Status SendCommand(const std::uint8_t* p, int size, bool batch) override
    {
        EXPECT_LE(size, 64);
        sent.emplace_back(p, p + size);
        if (onSend)
            onSend(*this, p, size);
        if (refuseAfterSends >= 0 && static_cast<int>(sent.size()) > refuseAfterSends)
            return sendStatus;
        (void)batch;
        std::uint32_t address = size >= 5 ? GetBe32(p + 1) : 0;
        if (p[0] >= P_READ && p[0] <= P_WRITE_OK)
            address |= forceBits;
        switch (p[0]) {
        case P_SETUP:
            queue.clear();
            m_blockOpen = false;
            break;
        case P_READ:
        case P_READ_DATA:
        case P_READ_CFG: {
            ++requests;
            const std::uint32_t length = GetBe32(p + 5);
            EXPECT_GE(length, 1u);
            EXPECT_LE(length, 32768u);
            Reply r;
            for (std::uint32_t j = 0; j < length; ++j)
                r.bytes.push_back(((address + j) & ~forceBits) < chip.size() && !noAcknowledge
                        ? chip[(address + j) & ~forceBits]
                        : 0xFF);
            queue.push_back(r);
            if (!class90)
                queue.push_back(Reply { { noAcknowledge ? kReplyNoAcknowledge : std::uint8_t { 0 } } });
            break;
        }
        case P_WRITE_OK:
        case P_WRITE_DATA_OK:
        case P_WRITE_CFG_OK:
            CloseBlock();
            m_blockOpen = true;
            Program(address, p + 5, size - 5);
            break;
        case P_WRITE:
        case P_WRITE_DATA:
        case P_WRITE_CFG:
            EXPECT_TRUE(m_blockOpen) << "a write packet outside a block";
            Program(address, p + 5, size - 5);
            break;
        case P_ERASE:
            for (std::uint8_t a : eraseAnswers)
                queue.push_back(Reply { { a } });
            break;
        default:
            break;
        }
        return Status::Ok;
    }

    int ReadResponse(std::uint8_t* buffer, int size, Status& status) override
    {
        ++reads;
        if (onRead)
            onRead(*this, reads);
        if (auto it = readFault.find(reads); it != readFault.end()) {
            status = it->second;
            return 0;
        }
        if (silentFrom && reads >= silentFrom) {
            status = silentStatus;
            return 0;
        }
        CloseBlock();
        if (queue.empty()) {
            status = Status::Timeout;
            return 0;
        }
        Reply& front = queue.front();
        const int n = std::min<int>(size, static_cast<int>(front.bytes.size()));
        std::copy_n(front.bytes.begin(), n, buffer);
        front.bytes.erase(front.bytes.begin(), front.bytes.begin() + n);
        if (front.bytes.empty())
            queue.pop_front();
        status = Status::Ok;
        return n;
    }

    Status SetProgramDelay(int, std::stop_token) override { return Status::Ok; }

    int CountSent(std::uint8_t code) const
    {
        return static_cast<int>(
            std::count_if(sent.begin(), sent.end(), [code](const auto& p) { return p[0] == code; }));
    }

private:
    void Program(std::uint32_t address, const std::uint8_t* data, int n)
    {
        if (noAcknowledge) {
            m_failure = std::vector<std::uint8_t> { kReplyNoAcknowledge };
            return;
        }
        for (int j = 0; j < n; ++j) {
            const std::uint32_t a = address + static_cast<std::uint32_t>(j);
            if (failWriteAt && *failWriteAt == a && !m_failure) {
                m_failure = std::vector<std::uint8_t> { 1, static_cast<std::uint8_t>(a >> 24),
                    static_cast<std::uint8_t>(a >> 16), static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a),
                    failReadBack, data[j] };
                continue;
            }
            const std::uint32_t at = a & ~forceBits;
            if (at >= chip.size())
                chip.resize(at + 1, 0xFF);
            chip[at] = data[j];
        }
    }

    void CloseBlock()
    {
        if (!m_blockOpen)
            return;
        m_blockOpen = false;
        queue.push_back(Reply { m_failure ? *m_failure : std::vector<std::uint8_t> { 0 } });
        m_failure.reset();
    }

    bool m_blockOpen = false;
    std::optional<std::vector<std::uint8_t>> m_failure;
};

class RecordingVoltages : public PumpVoltageSetter {
public:
    void SetVoltages(const PumpVoltages& v) override { calls.push_back(v); }
    std::vector<PumpVoltages> calls;
};

class RecordingHost : public PumpHost {
public:
    std::vector<std::uint8_t> data;
    std::vector<PumpResult> results;
    int lastProgress = -1;
    bool refuseDeliveries = false;
    bool runningAtComplete = true;
    bool cancelAtComplete = false;

    std::span<const std::uint8_t> buffer() override { return data; }
    bool deliver(std::uint32_t offset, std::span<const std::uint8_t> bytes) override
    {
        if (refuseDeliveries)
            return false;
        EXPECT_LE(offset + bytes.size(), data.size());
        std::copy(bytes.begin(), bytes.end(), data.begin() + offset);
        return true;
    }
    void progress(int position) override { lastProgress = position; }
    void complete(PumpResult result) override
    {
        runningAtComplete = g_bPumpRunning.load();
        cancelAtComplete = g_bCancelOperation.load() != 0;
        results.push_back(result);
    }
};

} // namespace pumptest
