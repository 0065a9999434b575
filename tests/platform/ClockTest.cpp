#include "platform/Clock.h"
#include "platform/Event.h"

#include <gtest/gtest.h>

#include <thread>

using namespace platform;
using namespace std::chrono_literals;

namespace {

TEST(ManualClock, SleepsAndTimeOutsCostNoRealTime)
{
    auto clock = std::make_shared<ManualClock>();
    ScopedClock scoped(clock);
    const auto realStart = std::chrono::steady_clock::now();
    GetClock().SleepFor(20s);
    ManualResetEvent event;
    EXPECT_FALSE(event.Wait(5s));
    EXPECT_EQ(clock->Now(), 25s);
    EXPECT_EQ(GetClock().TickCount(), 25000u);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 2s);
}

TEST(ManualClock, ABlockedWaitStopsAtTheNextScheduledEvent)
{
    auto clock = std::make_shared<ManualClock>();
    ScopedClock scoped(clock);
    ManualResetEvent event;
    clock->Schedule(500ms, [&] { event.Set(); });
    EXPECT_TRUE(event.Wait(20s));
    EXPECT_EQ(clock->Now(), 500ms);
}

TEST(ManualClock, AdvanceRunsDueEventsInTimeOrder)
{
    ManualClock clock;
    std::vector<int> order;
    clock.Schedule(30ms, [&] { order.push_back(3); });
    clock.Schedule(10ms, [&] { order.push_back(1); });
    clock.Schedule(10ms, [&] { order.push_back(2); });
    clock.Schedule(100ms, [&] { order.push_back(9); });
    clock.Advance(50ms);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(clock.Now(), 50ms);
    // An event may schedule another that falls due within the same advance.
    clock.Schedule(60ms, [&] { clock.Schedule(70ms, [&] { order.push_back(7); }); });
    clock.Advance(30ms);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 7}));
}

TEST(ManualClock, AStopRequestEndsASleep)
{
    auto clock = std::make_shared<ManualClock>();
    clock->SetAutoAdvance(false);
    ScopedClock scoped(clock);
    std::stop_source stop;
    bool finished = true;
    std::thread sleeper([&] { finished = GetClock().SleepFor(1h, stop.get_token()); });
    stop.request_stop();
    sleeper.join();
    EXPECT_FALSE(finished);
}

TEST(ScaledClock, OneVirtualSecondPassesInAMillisecond)
{
    ScopedClock scoped(MakeScaledClock(1000.0));
    const auto realStart = std::chrono::steady_clock::now();
    const auto start = GetClock().Now();
    GetClock().SleepFor(2s);
    EXPECT_GE(GetClock().Now() - start, 2s);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 1s);
    EXPECT_NEAR(GetClock().TimerScale(), 0.001, 1e-9);
}

TEST(ScaledClock, ScheduledEventsRunOnTheClocksThread)
{
    ScopedClock scoped(MakeScaledClock(1000.0));
    ManualResetEvent event;
    GetClock().Schedule(GetClock().Now() + 3s, [&] { event.Set(); });
    EXPECT_TRUE(event.Wait(60s));
}

TEST(NamedEvents, OneNameOneEvent)
{
    auto a = CreateNamedEvent("IN1READY");
    auto b = CreateNamedEvent("IN1READY");
    auto c = CreateNamedEvent("IN2READY");
    a->Set();
    EXPECT_TRUE(b->IsSet());
    EXPECT_FALSE(c->IsSet());
    b->Reset();
    EXPECT_FALSE(a->IsSet());
}

TEST(Counter, FollowsTheClock)
{
    auto clock = std::make_shared<ManualClock>();
    ScopedClock scoped(clock);
    const auto before = QueryCounter();
    clock->Advance(1234ms);
    EXPECT_EQ(QueryCounter() - before, CounterFrequency() * 1234 / 1000);
}

} // namespace
