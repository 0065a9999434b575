// Replies leave the box in the order of their times, equal times in the order they were made, also
// on a clock that moves by itself between two replies of the same command.

#include "sim/Box.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using platform::Duration;
using namespace std::chrono_literals;

// A clock the test moves by hand, whose scheduled events run only when the test says so: time
// can pass between two calls without anything due running, as on a real clock.
class SteppedClock final : public platform::Clock {
public:
    Duration Now() override { return now; }
    bool WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable_any&, Duration,
        const std::function<bool()>& pred, std::stop_token) override
    {
        return pred();
    }
    void Schedule(Duration at, std::function<void()> fn) override { events.emplace(at, std::move(fn)); }
    void RunDue()
    {
        while (!events.empty() && events.begin()->first <= now) {
            auto fn = std::move(events.begin()->second);
            events.erase(events.begin());
            fn();
        }
    }

    Duration now { 0 };
    std::multimap<Duration, std::function<void()>> events;
};

std::vector<std::vector<std::uint8_t>> Drain(sim::Box& box)
{
    std::vector<std::vector<std::uint8_t>> out;
    while (const auto* packet = box.PeekIn(box.InEndpoint())) {
        out.push_back(*packet);
        box.PopIn(box.InEndpoint());
    }
    return out;
}

TEST(BoxReplyOrder, AReplyAlreadyDueWaitsBehindOneScheduledBeforeIt)
{
    auto clock = std::make_shared<SteppedClock>();
    platform::ScopedClock scoped(clock);
    auto box = std::make_shared<sim::Box>();

    // A block's data and its status, both due at 10 ms; the clock passes 10 ms in between.
    box->QueueReplyAt(10ms, { 0x37, 0x5C });
    clock->now = 20ms;
    box->QueueReplyAt(10ms, { 0x00 });
    EXPECT_TRUE(Drain(*box).empty()) << "the status may not overtake the data";
    clock->RunDue();
    EXPECT_EQ(Drain(*box), (std::vector<std::vector<std::uint8_t>> { { 0x37, 0x5C }, { 0x00 } }));

    // With nothing scheduled a reply due now goes out at once.
    box->QueueReplyAt(5ms, { 0x01 });
    EXPECT_EQ(Drain(*box), (std::vector<std::vector<std::uint8_t>> { { 0x01 } }));
}

} // namespace
