#pragma once
// The voltage self-test of Tools -> "Test H/W Voltage": with an empty socket the programmer's
// supply (Vcc) and programming (Vpp) generators are stepped through eleven settings, each one
// measured (P_READ_VCC_VPP_VALUE) and judged against the model's target. The chain runs as one
// exchange on the view's exchange helper; the dialog judges and logs on the GUI thread.

#include "operations/StepExchange.h"
#include "platform/Colour.h"

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <string>

enum class VoltageRail { Vcc, Vpp };

struct VoltageStep {
    int id; // 201 to 211
    VoltageRail rail;
    std::uint8_t code; // of CCFG_Manager::SetVcc or SetVpp
    std::uint16_t targetZvCQ; // model 7, and every model but 8
    std::uint16_t targetZvD; // model 8
    double tolerance; // a fraction of the target
    const char* label; // "VCC 3.6V": its line says the step passed, or failed too low or too high
};

// The eleven steps in order.
std::span<const VoltageStep> VoltageSteps();
// The step of an id; null for another.
const VoltageStep* FindVoltageStep(int id);

// The rail's code from a P_READ_VCC_VPP_VALUE reply: Vcc bytes 0 and 1, Vpp bytes 4 and 5, high first.
std::uint16_t VoltageCode(VoltageRail rail, std::span<const std::uint8_t> reply);

inline constexpr COLORREF kVoltageHeading = RGB(0, 0, 255);
inline constexpr COLORREF kVoltagePassed = RGB(0, 63, 0);
inline constexpr COLORREF kVoltageFailed = RGB(255, 0, 0);

struct VoltageLine {
    std::string text;
    COLORREF colour = kVoltageFailed;
};
// The line of a step's reading; an unknown step gives an empty line.
VoltageLine JudgeVoltage(int step, int model, std::uint16_t code);

// One reading as the chain reports it: `answered` false when fewer bytes came than the rail's
// code needs (the code is then 0).
struct VoltageReading {
    int step = 0;
    std::uint16_t code = 0;
    bool answered = false;
};

// The whole chain: a drain, then each step's settings, packets and waits, a reading reported as it
// comes, and P_POWER_DOWN. Runs on a worker; every pause and read ends at `stop`, after which no
// step runs and only the switch-offs not yet sent and the power-down go out. A programmer gone
// ends it at once. Another model than 7 and 8 gets "Voltage not in test scope!" before each step.
void RunVoltageChain(
    ExchangeLink& link, int model, std::stop_token stop, const std::function<void(const VoltageReading&)>& report);

// The dialog's texts beside the steps'.
inline constexpr const char* kVoltageDialogCaption = "Voltage Diagnostic";
inline constexpr const char* kVoltageTestButton = "Test";
inline constexpr const char* kVoltageExitButton = "Exit";
inline constexpr const char* kVoltageWarning = "Please remove any chip from the ZIF socket!\r\n\r\n";
inline constexpr const char* kVoltageVccHeading
    = "*****************************\r\n* Testing VCC Without Load *\r\n*****************************\r\n";
inline constexpr const char* kVoltageVppHeading
    = "*****************************\r\n* Testing VPP  Without Load *\r\n*****************************\r\n";
inline constexpr const char* kVoltageDoneHeading
    = "*****************************\r\n*\tTest\t Completed     *\r\n*****************************\r\n";
inline constexpr const char* kVoltageOutOfScope = "Voltage not in test scope!";
inline constexpr const char* kVoltageNoReply = "No reply from the programmer.\r\n";
inline constexpr const char* kVoltageBusy = "The programmer is busy; try again.\r\n";
