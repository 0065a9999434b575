#pragma once
// The TAP controller of IEEE 1149.1: sixteen states and the transition on one TCK. Written from
// the standard's diagram, apart from the host's tables, so that each checks the other.

#include <cstdint>

namespace sim {

enum class TapState : std::uint8_t {
    TestLogicReset,
    RunTestIdle,
    SelectDrScan,
    CaptureDr,
    ShiftDr,
    Exit1Dr,
    PauseDr,
    Exit2Dr,
    UpdateDr,
    SelectIrScan,
    CaptureIr,
    ShiftIr,
    Exit1Ir,
    PauseIr,
    Exit2Ir,
    UpdateIr,
};

// The state after one rising edge of TCK with `tms`.
TapState TapNext(TapState state, bool tms);
const char* TapStateName(TapState state);

// One TAP: where it is, moved one TCK at a time.
class JtagTap {
public:
    TapState State() const { return m_state; }
    void Set(TapState state) { m_state = state; }
    TapState Clock(bool tms)
    {
        m_state = TapNext(m_state, tms);
        return m_state;
    }

private:
    TapState m_state = TapState::TestLogicReset;
};

} // namespace sim
