// Faults of the chip in the socket, switched on while it sits there, as the host's end-to-end
// tests use them.

#include "tests/sim/ChipFixture.h"

#include <gtest/gtest.h>

#include <functional>

using namespace std::chrono_literals;
using namespace tonrig::test;
using sim::ChipConditions;
using sim::ChipMemory;
using sim::ChipSpec;
using Bytes = std::vector<std::uint8_t>;

namespace {

class ChipFaults : public ChipFixture {
protected:
    // Changes the conditions of the chip already in the socket.
    void Switch(const std::function<void(ChipConditions&)>& change)
    {
        std::lock_guard lock(box->Mutex());
        change(TheChip().Conditions());
    }

    // Sends [9, option] and reads replies to the final one: the [2]s, their clock times from the
    // start, and the final reply.
    struct EraseRun {
        std::vector<double> ticks; // seconds
        Bytes final;
        double seconds = 0;
    };
    EraseRun Erase(std::uint8_t option = 0)
    {
        EraseRun run;
        const auto start = clock->Now();
        Send({ 9, option });
        for (Bytes r = Read(); !r.empty(); r = Read()) {
            const double t = std::chrono::duration<double>(clock->Now() - start).count();
            if (r != Bytes { 2 }) {
                run.final = r;
                run.seconds = t;
                break;
            }
            run.ticks.push_back(t);
        }
        return run;
    }
};

TEST_F(ChipFaults, SlowAndFailingErases)
{
    Start();
    struct Case {
        const char* name;
        ChipSpec chipSpec;
        std::function<void(ChipConditions&)> fault;
        std::size_t ticks;
        double seconds;
        Bytes final;
        bool erased;
    };
    const Case cases[] = {
        { "PIC, 2.5 s", chips::Pic16F84A(), [](ChipConditions& c) { c.eraseTime = 2500ms; }, 2, 2.5, { 0 }, true },
        { "PIC, refused", chips::Pic16F84A(), [](ChipConditions& c) { c.eraseFails = true; }, 0, 0.01, { 1 }, false },
        { "PIC, slow and refused", chips::Pic16F84A(),
            [](ChipConditions& c) {
                c.eraseTime = 3200ms;
                c.eraseFails = true;
            },
            3, 3.2, { 1 }, false },
        { "flash, 3 s then refused", chips::Flash29F010(), [](ChipConditions& c) { c.eraseFails = true; }, 2, 3.0,
            { 1 }, false },
        { "8051, 40 s", chips::At89C51(), [](ChipConditions& c) { c.eraseTime = 40s; }, 39, 40.0, { 0 }, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Insert(c.chipSpec);
        EXPECT_EQ(WriteBlock(7, 0, { 0x00, 0x00 }), Bytes { 0 });
        Switch(c.fault);
        const EraseRun run = Erase();
        EXPECT_EQ(run.final, c.final);
        EXPECT_NEAR(run.seconds, c.seconds, 0.05);
        ASSERT_EQ(run.ticks.size(), c.ticks);
        for (std::size_t i = 0; i < run.ticks.size(); ++i)
            EXPECT_NEAR(run.ticks[i], i + 1.0, 0.05) << "keep-alive " << i;
        EXPECT_EQ(TheChip().Contents(ChipMemory::Main)[1], c.erased ? 0xFF : 0x00);
        EXPECT_TRUE(Read().empty()) << "nothing after the final reply";

        // Switched off, the same chip erases at its own pace.
        Switch([](ChipConditions& conditions) { conditions = ChipConditions {}; });
        EXPECT_EQ(Erase().final, Bytes { 0 });
    }
}

TEST_F(ChipFaults, OsccalWordThatDoesNotStickOrDoesNotAnswer)
{
    Start();
    Insert(chips::Pic12F675());
    EXPECT_EQ(PicRead(0x3FF, 2), (Bytes { 0x34, 0x80 }));

    // The write-back after an erase is answered as done, but the word stays blank.
    Switch([](ChipConditions& c) { c.osccalWriteIgnored = true; });
    EXPECT_EQ(Erase().final, Bytes { 0 });
    EXPECT_EQ(PicWrite(0x3FF, 7, { 0x34, 0x80 }), Bytes { 0 });
    EXPECT_EQ(PicRead(0x3FF, 2), (Bytes { 0x3F, 0xFF }));
    EXPECT_EQ(PicWrite(0x3FE, 7, { 0x12, 0x34 }), Bytes { 0 }) << "its neighbour programs";
    EXPECT_EQ(PicRead(0x3FE, 2), (Bytes { 0x12, 0x34 }));
    Switch([](ChipConditions& c) { c.osccalWriteIgnored = false; });
    EXPECT_EQ(PicWrite(0x3FF, 7, { 0x34, 0x80 }), Bytes { 0 });
    EXPECT_EQ(PicRead(0x3FF, 2), (Bytes { 0x34, 0x80 }));

    // A read that covers the OSCCAL word gets no reply; other words still answer, and the link
    // carries on.
    Switch([](ChipConditions& c) { c.osccalReadUnanswered = true; });
    EXPECT_TRUE(PicRead(0x3FF, 2).empty());
    EXPECT_TRUE(PicRead(0x3FC, 8).empty());
    EXPECT_EQ(PicRead(0x3FE, 2), (Bytes { 0x12, 0x34 }));
    EXPECT_EQ(PicRead(0x3FC, 6).size(), 6u) << "ends before it";
    Switch([](ChipConditions& c) { c.osccalReadUnanswered = false; });
    EXPECT_EQ(PicRead(0x3FF, 2), (Bytes { 0x34, 0x80 }));
}

TEST_F(ChipFaults, RefusedConfigurationWrites)
{
    Start();
    // 14-bit: [58] answers [1], a configuration-memory block fails at the word, and the word is
    // unchanged; program memory and the ID locations still program.
    Insert(chips::Pic16F84A());
    Switch([](ChipConditions& c) { c.configWriteRefused = true; });
    EXPECT_EQ(PicWrite(0x2007, 7, { 0x31, 0x84 }), Bytes { 1 });
    EXPECT_EQ(ReadBlock(90, 0x2007, 2), (Bytes { 0x3F, 0xFF }));
    EXPECT_EQ(WriteBlock(53, 0x200E, { 0x00, 0x00 }), (Bytes { 1, 0, 0, 0x20, 0x0E, 0x3F, 0x00 }));
    EXPECT_EQ(WriteBlock(53, 0x2000, Bytes(8, 0x00)), Bytes { 0 }) << "the ID locations";
    EXPECT_EQ(PicWrite(0x10, 7, { 0x12, 0x34 }), Bytes { 0 });

    // 16-bit: [93] answers the failure naming the first index; the bytes stay.
    Insert(chips::Pic18F452());
    Switch([](ChipConditions& c) { c.configWriteRefused = true; });
    Send({ 93, 2, 3, 0x0E, 0x0D });
    EXPECT_EQ(Read(), (Bytes { 1, 0, 0, 0, 2, 0xFF, 0x0E }));
    EXPECT_EQ(ReadBlock(4, 0x300002, 2), (Bytes { 0xFF, 0xFF }));
    Switch([](ChipConditions& c) { c.configWriteRefused = false; });
    Send({ 93, 2, 3, 0x0E, 0x0D });
    EXPECT_EQ(Read(), Bytes { 0 });
    EXPECT_EQ(ReadBlock(4, 0x300002, 2), (Bytes { 0x0D, 0x0E }));
}

TEST_F(ChipFaults, WritesThatPassAndVerifiesThatDoNot)
{
    Start();
    const Bytes data { 0x12, 0x34, 0x56, 0x78 };
    struct Case {
        const char* name;
        ChipSpec chipSpec;
        std::function<void(ChipConditions&)> fault;
        Bytes firstReply;
        Bytes afterFirst; // a read of the four bytes
        Bytes secondReply; // the same write again
        Bytes afterSecond;
    };
    const Case cases[] = {
        { "flash needing two passes", chips::Flash29F010(),
            [](ChipConditions& c) { c.weak.push_back(sim::WeakBits::NeedsTwoPasses(ChipMemory::Main, 0, 4)); }, { 0 },
            Bytes(4, 0xFF), { 0 }, data },
        { "PIC program words needing two passes", chips::Pic16F84A(),
            [](ChipConditions& c) { c.weak.push_back(sim::WeakBits::NeedsTwoPasses(ChipMemory::Main, 0, 4)); }, { 0 },
            { 0x3F, 0xFF, 0x3F, 0xFF }, { 0 }, { 0x12, 0x34, 0x16, 0x78 } }, // 14-bit words
        { "a byte flipped after its write", chips::Eeprom28C64(),
            [](ChipConditions& c) {
                c.flipAfterWrite.push_back({ ChipMemory::Main, 2, 0x01 });
            },
            { 0 }, { 0x12, 0x34, 0x57, 0x78 }, { 0 }, { 0x12, 0x34, 0x57, 0x78 } },
        { "a byte that never programs", chips::Flash29F010(), [](ChipConditions& c) { c.failAt = { 1 }; },
            { 1, 0, 0, 0, 1, 0xFF, 0x34 }, { 0x12, 0xFF, 0x56, 0x78 }, { 1, 0, 0, 0, 1, 0xFF, 0x34 },
            { 0x12, 0xFF, 0x56, 0x78 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Insert(c.chipSpec);
        Switch(c.fault);
        EXPECT_EQ(WriteBlock(7, 0, data), c.firstReply);
        EXPECT_EQ(ReadBlock(4, 0, 4), c.afterFirst);
        EXPECT_EQ(WriteBlock(7, 0, data), c.secondReply);
        EXPECT_EQ(ReadBlock(4, 0, 4), c.afterSecond);
        clock->Advance(10s);
        EXPECT_EQ(ReadBlock(4, 0, 4), c.afterSecond) << "and it holds";
    }
}

TEST_F(ChipFaults, ARefusedLockAndAnotherSignature)
{
    Start();
    Insert(chips::At89C51());
    Switch([](ChipConditions& c) {
        c.lockRefused = true;
        c.signature = Bytes { 0x1E, 0x52, 0x06 };
    });
    Send({ 12, 3 });
    EXPECT_EQ(Read(), Bytes { 1 });
    Send({ 11 });
    EXPECT_EQ(Read()[0], 1) << "still unlocked";
    Send({ 10 });
    const Bytes sig = Read();
    ASSERT_EQ(sig.size(), 64u);
    EXPECT_EQ(Bytes(sig.begin(), sig.begin() + 4), (Bytes { 0x1E, 0x52, 0x06, 0xFF }));
    Switch([](ChipConditions& c) { c = ChipConditions {}; });
    Send({ 12, 3 });
    EXPECT_EQ(Read(), Bytes { 0 });
    Send({ 10 });
    EXPECT_EQ(Read()[1], 0x51);
}

} // namespace
