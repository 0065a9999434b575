#include "operations/VoltageTest.h"

#include "link/MonitorSink.h"
#include "link/ProgrammerCommand.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"

#include <array>
#include <initializer_list>

namespace {

using R = VoltageRail;

// Step 205 sets the 6.2 V code again, and step 206 the 5 V code with the "3.6V/5V" texts: the
// programmer's own table, kept as it is.
constexpr VoltageStep kSteps[] = {
    { 201, R::Vcc, 4, 0x6060, 0x5E5E, 0.2, "VCC 3.6V" },
    { 202, R::Vcc, 12, 0x81DB, 0x8080, 0.1, "VCC 5V" },
    { 203, R::Vcc, 15, 0x9494, 0x8888, 0.1, "VCC 5.5V" },
    { 204, R::Vcc, 19, 0xA8AC, 0x9797, 0.1, "VCC 6.2V" },
    { 205, R::Vcc, 19, 0xA8AC, 0x9797, 0.1, "VCC 6.5V" },
    { 206, R::Vpp, 4, 0x1919, 0x2D2C, 0.2, "VPP 3.6V/5V" },
    { 207, R::Vpp, 6, 0x4D4F, 0x6967, 0.2, "VPP 12V" },
    { 208, R::Vpp, 7, 0x5454, 0x6C6F, 0.2, "VPP 12.7V" },
    { 209, R::Vpp, 8, 0x6260, 0x7F81, 0.2, "VPP 15V" },
    { 210, R::Vpp, 10, 0x8484, 0xB3B4, 0.2, "VPP 21V" },
    { 211, R::Vpp, 11, 0x9C9B, 0xC4C4, 0.2, "VPP 25V" },
};

constexpr std::uint8_t kVccOn[] = { P_VCC, 1 };
constexpr std::uint8_t kVccOff[] = { P_VCC, 0 };
constexpr std::uint8_t kVppOn[] = { P_VPP, 1 };
constexpr std::uint8_t kVppOff[] = { P_VPP, 0 };
constexpr std::chrono::milliseconds kSettle { 500 };
constexpr std::chrono::milliseconds kReadTimeout { 1000 };

// The chain's packets and waits, and what of the end is still owed.
class Chain {
public:
    Chain(ExchangeLink& link, int model, std::stop_token stop, const std::function<void(const VoltageReading&)>& report)
        : m_link(link)
        , m_model(model)
        , m_stop(std::move(stop))
        , m_report(report)
    {
    }

    void Run()
    {
        m_link.Drain();
        Steps();
        if (m_gone)
            return;
        if (!m_vccOff)
            Send(kVccOff);
        if (!m_vppOff)
            Send(kVppOff);
        const std::uint8_t down[] = { P_POWER_DOWN };
        Send(down);
    }

private:
    bool Going() const { return !m_gone && !m_stop.stop_requested(); }

    bool Pause(std::chrono::milliseconds d) { return platform::GetClock().SleepFor(d, m_stop) && Going(); }

    bool Send(std::span<const std::uint8_t> bytes)
    {
        if (m_gone)
            return false;
        std::array<std::uint8_t, kReplyPacketBytes> packet {};
        std::copy(bytes.begin(), bytes.end(), packet.begin());
        const auto status = m_link.Send({ packet.data(), bytes.size() });
        m_gone = status == ExchangeLink::Status::Gone;
        return status == ExchangeLink::Status::Ok;
    }

    // [0x47] and its reply into a zeroed buffer; false when the chain is to end.
    bool Measure(const VoltageStep& step, bool keep)
    {
        const std::uint8_t ask[] = { P_READ_VCC_VPP_VALUE };
        Send(ask);
        if (!Going())
            return false;
        std::array<std::uint8_t, kReplyPacketBytes> reply {};
        auto status = ExchangeLink::Status::Ok;
        const int n = m_link.ReadFor(reply, kReadTimeout, m_stop, status);
        m_gone = m_gone || status == ExchangeLink::Status::Gone;
        if (!Going())
            return false;
        if (keep) {
            VoltageReading reading;
            reading.step = step.id;
            reading.answered = n >= (step.rail == VoltageRail::Vcc ? 2 : 6);
            reading.code = reading.answered ? VoltageCode(step.rail, reply) : 0;
            m_report(reading);
        }
        return true;
    }

    void Set(const VoltageStep& step)
    {
        if (step.rail == VoltageRail::Vcc)
            m_link.SetVcc(step.code);
        else
            m_link.SetVpp(step.code);
    }

    void Steps()
    {
        if (!Pause(std::chrono::milliseconds(50)))
            return;
        for (const VoltageStep& step : kSteps) {
            if (step.id != 201 && !Pause(std::chrono::milliseconds(step.id == 206 ? 1000 : 500)))
                return;
            if (m_model != 7 && m_model != 8) {
                ShowBoxFromWorker(kVoltageOutOfScope, platform::kAppTitle, MB_OK, m_stop);
                if (!Going())
                    return;
            }
            Set(step);
            if (step.id == 201) {
                // The first reading after switching on is thrown away; then the same code again.
                Send(kVccOn);
                if (!Pause(kSettle) || !Measure(step, false) || !Pause(kSettle))
                    return;
                Set(step);
                Send(kVccOn);
            } else if (step.id == 206) {
                Send(kVppOn);
            }
            if (!Pause(kSettle) || !Measure(step, true))
                return;
            if (step.id == 205) {
                Send(kVccOff);
                m_vccOff = true;
            } else if (step.id == 211) {
                Send(kVppOff);
                m_vppOff = true;
            }
        }
    }

    ExchangeLink& m_link;
    const int m_model;
    const std::stop_token m_stop;
    const std::function<void(const VoltageReading&)>& m_report;
    bool m_gone = false;
    bool m_vccOff = false;
    bool m_vppOff = false;
};

} // namespace

std::span<const VoltageStep> VoltageSteps()
{
    return kSteps;
}

const VoltageStep* FindVoltageStep(int id)
{
    for (const VoltageStep& step : kSteps)
        if (step.id == id)
            return &step;
    return nullptr;
}

std::uint16_t VoltageCode(VoltageRail rail, std::span<const std::uint8_t> reply)
{
    const std::size_t at = rail == VoltageRail::Vcc ? 0 : 4;
    if (reply.size() < at + 2)
        return 0;
    return static_cast<std::uint16_t>(reply[at] << 8 | reply[at + 1]);
}

VoltageLine JudgeVoltage(int id, int model, std::uint16_t code)
{
    const VoltageStep* step = FindVoltageStep(id);
    if (!step)
        return {};
    const double target = model == 8 ? step->targetZvD : step->targetZvCQ;
    const double value = code;
    const unsigned shown = code;
    if (target * (1 - step->tolerance) > value)
        return { platform::Format("%s test failed, too low (code:0x%x)\n", step->label, shown), kVoltageFailed };
    if (value > target * (1 + step->tolerance))
        return { platform::Format("%s test failed, too high (code:0x%x)\n", step->label, shown), kVoltageFailed };
    return { platform::Format("%s test passed (code:0x%x)%c\n", step->label, shown, value == target ? '-' : '+'),
        kVoltagePassed };
}

void RunVoltageChain(
    ExchangeLink& link, int model, std::stop_token stop, const std::function<void(const VoltageReading&)>& report)
{
    Chain(link, model, std::move(stop), report).Run();
}
