// The voltage self-test's judging, and its chain on a scripted link where only a script can make
// the programmer vanish at a chosen packet.

#include "operations/VoltageTest.h"

#include "ScriptedExchangeLink.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

namespace {

TEST(VoltageTest, JudgingAtTheBandsEdges)
{
    struct Case {
        int step;
        int model;
        std::uint16_t code;
        const char* text;
        COLORREF colour;
    };
    const Case cases[] = {
        { 206, 7, 0x1414, "VPP 3.6V/5V test passed (code:0x1414)+\n", kVoltagePassed },
        { 206, 7, 0x1413, "VPP 3.6V/5V test failed, too low (code:0x1413)\n", kVoltageFailed },
        { 206, 7, 0x1E1E, "VPP 3.6V/5V test passed (code:0x1e1e)+\n", kVoltagePassed },
        { 206, 7, 0x1E1F, "VPP 3.6V/5V test failed, too high (code:0x1e1f)\n", kVoltageFailed },
        { 204, 7, 0x97CE, "VCC 6.2V test passed (code:0x97ce)+\n", kVoltagePassed },
        { 204, 7, 0x97CD, "VCC 6.2V test failed, too low (code:0x97cd)\n", kVoltageFailed },
        { 204, 7, 0xB98A, "VCC 6.2V test passed (code:0xb98a)+\n", kVoltagePassed }, // bound 47498.00000000001
        { 204, 7, 0xB98B, "VCC 6.2V test failed, too high (code:0xb98b)\n", kVoltageFailed },
        { 205, 7, 0xA8AC, "VCC 6.5V test passed (code:0xa8ac)-\n", kVoltagePassed },
        { 202, 7, 0x81DB, "VCC 5V test passed (code:0x81db)-\n", kVoltagePassed },
        { 202, 7, 0x81DC, "VCC 5V test passed (code:0x81dc)+\n", kVoltagePassed },
        { 201, 8, 0x5E5E, "VCC 3.6V test passed (code:0x5e5e)-\n", kVoltagePassed },
        { 201, 5, 0x6060, "VCC 3.6V test passed (code:0x6060)-\n", kVoltagePassed }, // the model-7 column
        { 211, 8, 0, "VPP 25V test failed, too low (code:0x0)\n", kVoltageFailed },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.step << " model " << c.model << " code " << c.code);
        const VoltageLine line = JudgeVoltage(c.step, c.model, c.code);
        EXPECT_EQ(line.text, c.text);
        EXPECT_EQ(line.colour, c.colour);
    }
    EXPECT_TRUE(JudgeVoltage(212, 7, 0).text.empty());
}

TEST(VoltageTest, TheTableAndTheCodes)
{
    std::vector<int> ids;
    for (const VoltageStep& s : VoltageSteps())
        ids.push_back(s.id);
    EXPECT_EQ(ids, (std::vector<int> { 201, 202, 203, 204, 205, 206, 207, 208, 209, 210, 211 }));
    EXPECT_EQ(FindVoltageStep(205)->code, 19);
    EXPECT_EQ(FindVoltageStep(206)->code, 4);
    const std::uint8_t reply[6] = { 0x97, 0xCE, 0, 0, 0x14, 0x13 };
    EXPECT_EQ(VoltageCode(VoltageRail::Vcc, reply), 0x97CE);
    EXPECT_EQ(VoltageCode(VoltageRail::Vpp, reply), 0x1413);
}

TEST(VoltageTest, AProgrammerGoneEndsTheChainAtOnce)
{
    auto clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped(clock);
    tonrig::test::ScriptedLink link;
    for (int i = 0; i < 4; ++i)
        link.reads.push_back({ std::vector<std::uint8_t>(64, 0x60) });
    link.goneAtSend = 4; // 201's packets, 202's measurement, then nothing
    std::vector<VoltageReading> readings;
    RunVoltageChain(link, 7, {}, [&](const VoltageReading& r) { readings.push_back(r); });
    EXPECT_EQ(link.sent.size(), 4u);
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].step, 201);
    EXPECT_EQ(readings[0].code, 0x6060);
}

} // namespace
