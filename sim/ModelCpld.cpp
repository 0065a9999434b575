#include "sim/ModelCpld.h"

#include "platform/Trace.h"

#include <algorithm>

namespace sim {

namespace {

JtagDeviceSpec DeviceFacts(const ModelCpldSpec& cpld)
{
    JtagDeviceSpec facts;
    facts.irLength = 8;
    facts.idcode = cpld.idcode;
    facts.usercode = cpld.usercode;
    facts.idcodeInstruction = kCpldIdcode;
    facts.usercodeInstruction = kCpldUsercode;
    return facts;
}

} // namespace

ModelCpld::ModelCpld(ModelCpldSpec facts)
    : JtagDevice(DeviceFacts(facts))
    , m_cpld(facts)
    , m_rows(static_cast<std::size_t>(std::max(facts.rows, 1)))
    , m_usercode(facts.usercode)
{
    m_cpld.width = std::clamp(m_cpld.width, 1, 64);
    std::fill(m_rows.begin(), m_rows.end(), RowMask());
}

std::uint64_t ModelCpld::RowMask() const
{
    return m_cpld.width >= 64 ? ~std::uint64_t { 0 } : (std::uint64_t { 1 } << m_cpld.width) - 1;
}

void ModelCpld::SetRow(std::size_t row, std::uint64_t value)
{
    if (row < m_rows.size())
        m_rows[row] = value & RowMask();
}

void ModelCpld::Reset()
{
    JtagDevice::Reset();
    m_isp = false;
    m_pending = {};
}

void ModelCpld::PowerOff()
{
    m_isp = false;
    m_pending = {};
}

void ModelCpld::Start(Work work, TapState from, std::uint64_t need, std::uint64_t value)
{
    m_pending = { work, from, need, 0, m_pointer, value };
}

void ModelCpld::Tick(TapState state, bool tms, std::uint64_t count)
{
    if (m_pending.work == Work::None)
        return;
    if (state == TapState::RunTestIdle && !tms) {
        m_pending.done += count;
        if (m_pending.done >= m_pending.need)
            Complete();
        return;
    }
    // From the UPDATE that loaded it the TAP may go on to Run-Test/Idle; anywhere else, or out
    // of Run-Test/Idle before the work is done, leaves it undone.
    if (state == m_pending.from && !tms && m_pending.done == 0)
        return;
    Trace("virtual programmer: CPLD operation left undone after %llu of %llu clocks\n",
        static_cast<unsigned long long>(m_pending.done), static_cast<unsigned long long>(m_pending.need));
    m_pending = {};
}

void ModelCpld::Complete()
{
    switch (m_pending.work) {
    case Work::Erase:
        std::fill(m_rows.begin(), m_rows.end(), RowMask());
        m_usercode = 0xFFFFFFFF;
        break;
    case Work::Row:
        m_rows[m_pending.row] &= m_pending.value; // programming only clears bits
        break;
    case Work::Usercode:
        m_usercode &= static_cast<std::uint32_t>(m_pending.value);
        break;
    case Work::None:
        break;
    }
    m_pending = {};
}

void ModelCpld::Refused(const char* what)
{
    Trace("virtual programmer: CPLD %s outside ISP mode refused\n", what);
    Hazard(std::string("CPLD ") + what + " outside ISP mode");
}

JtagBits ModelCpld::Capture(std::uint32_t instruction)
{
    switch (instruction) {
    case kCpldAddress:
        return BitsOf(m_pointer, kCpldAddressBits);
    case kCpldProgram:
        return BitsOf(0, static_cast<std::size_t>(m_cpld.width));
    case kCpldRead: {
        const auto width = static_cast<std::size_t>(m_cpld.width);
        if (!m_isp)
            return BitsOf(0, width);
        JtagBits row = BitsOf(m_rows[m_pointer], width);
        m_pointer = (m_pointer + 1) % m_rows.size();
        return row;
    }
    case kCpldUsercodeProgram:
        return BitsOf(m_usercode, 32);
    case kCpldIspEnable:
    case kCpldIspDisable:
    case kCpldErase:
        return { false };
    default:
        return JtagDevice::Capture(instruction);
    }
}

void ModelCpld::Update(std::uint32_t instruction, const JtagBits& dr)
{
    switch (instruction) {
    case kCpldAddress:
        m_pointer = static_cast<std::size_t>(ValueOf(dr) % m_rows.size());
        break;
    case kCpldProgram:
        if (!m_isp) {
            Refused("program");
            break;
        }
        Start(Work::Row, TapState::UpdateDr, m_cpld.programClocks, ValueOf(dr) & RowMask());
        m_pointer = (m_pointer + 1) % m_rows.size();
        break;
    case kCpldUsercodeProgram:
        if (!m_isp) {
            Refused("USERCODE program");
            break;
        }
        Start(Work::Usercode, TapState::UpdateDr, m_cpld.programClocks, ValueOf(dr) & 0xFFFFFFFF);
        break;
    default:
        break;
    }
}

void ModelCpld::Loaded(std::uint32_t instruction)
{
    switch (instruction) {
    case kCpldIspEnable:
        m_isp = true;
        break;
    case kCpldIspDisable:
        m_isp = false;
        break;
    case kCpldErase:
        if (!m_isp) {
            Refused("erase");
            break;
        }
        Start(Work::Erase, TapState::UpdateIr, m_cpld.eraseClocks);
        break;
    default:
        break;
    }
}

} // namespace sim
