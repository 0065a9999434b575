#pragma once
// Byte-code programs for the model CPLD of sim/PROTOCOL.md (JTAG): its instruction codes, and an
// image with the actions Read_usercode, PROGRAM, VERIFY, ERASE and BLANKCHECK. Tests, benchmarks
// and the tool that writes the programmer's own CPLD programs build them here.

#include "jtag/builder/ImageBuilder.h"

#include <cstdint>
#include <vector>

namespace bytecode {

// The model CPLD's 8-bit instructions.
namespace cpld {
inline constexpr std::uint8_t kIdcode = 0x01;
inline constexpr std::uint8_t kUsercode = 0x02;
inline constexpr std::uint8_t kIspEnable = 0x10;
inline constexpr std::uint8_t kIspDisable = 0x11;
inline constexpr std::uint8_t kErase = 0x12;
inline constexpr std::uint8_t kAddress = 0x13;
inline constexpr std::uint8_t kProgram = 0x14;
inline constexpr std::uint8_t kRead = 0x15;
inline constexpr std::uint8_t kUsercodeProgram = 0x16;
inline constexpr std::uint8_t kBypass = 0xFF;
inline constexpr int kRows = 16;
inline constexpr int kRowBits = 32;
} // namespace cpld

struct CpldProgramPlan {
    std::uint32_t idcode = 0;
    std::uint32_t usercode = 0xFFFFFFFF;
    std::vector<std::uint32_t> rows = std::vector<std::uint32_t>(cpld::kRows, 0xFFFFFFFF);
    // Run-test clocks after the erase and after each row and the USERCODE, at level 5.
    std::uint32_t eraseClocks = 200000;
    std::uint32_t rowClocks = 1600;
    int shortRow = -1; // that row's wait is one clock short
    std::uint8_t eraseAttribute = kProcRecommended; // DO_ERASE in PROGRAM
    std::uint8_t verifyAttribute = kProcRecommended; // DO_VERIFY in PROGRAM
    bool readUsercodePrints = true; // Read_usercode prints "USERCODE code is XXXXXXXX"
    int programExitCode = 0; // non-zero: PROGRAM exits with it after its IDCODE check
    std::vector<std::pair<std::string, std::string>> notes;
};

// PROGRAM runs ENTER_ISP (the IDCODE check, exit 6 on a mismatch; ISP enable), DO_ERASE,
// DO_PROGRAM (the rows from a compressed array, then the USERCODE), DO_VERIFY (exit 11 on a
// mismatch) and LEAVE_ISP. VERIFY, ERASE and BLANKCHECK (exit 9 when not erased) run the one
// step between the two. Read_usercode checks the IDCODE and prints the USERCODE.
BuildResult BuildCpldProgram(const CpldProgramPlan& plan);

// A pattern of rows that differs from one seed to the next.
std::vector<std::uint32_t> CpldPatternRows(std::uint32_t seed);

} // namespace bytecode
