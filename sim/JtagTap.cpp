#include "sim/JtagTap.h"

namespace sim {

TapState TapNext(TapState state, bool tms)
{
    using S = TapState;
    switch (state) {
    case S::TestLogicReset:
        return tms ? S::TestLogicReset : S::RunTestIdle;
    case S::RunTestIdle:
        return tms ? S::SelectDrScan : S::RunTestIdle;
    case S::SelectDrScan:
        return tms ? S::SelectIrScan : S::CaptureDr;
    case S::CaptureDr:
    case S::ShiftDr:
        return tms ? S::Exit1Dr : S::ShiftDr;
    case S::Exit1Dr:
        return tms ? S::UpdateDr : S::PauseDr;
    case S::PauseDr:
        return tms ? S::Exit2Dr : S::PauseDr;
    case S::Exit2Dr:
        return tms ? S::UpdateDr : S::ShiftDr;
    case S::UpdateDr:
    case S::UpdateIr:
        return tms ? S::SelectDrScan : S::RunTestIdle;
    case S::SelectIrScan:
        return tms ? S::TestLogicReset : S::CaptureIr;
    case S::CaptureIr:
    case S::ShiftIr:
        return tms ? S::Exit1Ir : S::ShiftIr;
    case S::Exit1Ir:
        return tms ? S::UpdateIr : S::PauseIr;
    case S::PauseIr:
        return tms ? S::Exit2Ir : S::PauseIr;
    case S::Exit2Ir:
        return tms ? S::UpdateIr : S::ShiftIr;
    }
    return S::TestLogicReset;
}

const char* TapStateName(TapState state)
{
    static const char* const names[] = { "Test-Logic-Reset", "Run-Test/Idle", "Select-DR-Scan", "Capture-DR",
        "Shift-DR", "Exit1-DR", "Pause-DR", "Exit2-DR", "Update-DR", "Select-IR-Scan", "Capture-IR", "Shift-IR",
        "Exit1-IR", "Pause-IR", "Exit2-IR", "Update-IR" };
    const auto i = static_cast<unsigned>(state);
    return i < sizeof names / sizeof names[0] ? names[i] : "?";
}

} // namespace sim
