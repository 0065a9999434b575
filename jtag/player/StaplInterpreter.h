#pragma once
// The byte-code interpreter (jtag/BYTECODE.md): runs one action of a validated image against the
// JTAG packet layer. Every fetch, index, offset and stack access is checked; a fault ends the
// run with its result code and the failing opcode's offset, never with undefined behaviour.

#include "jtag/player/StaplPlayer.h"

#include <cstdint>
#include <limits>

class StaplInterpreter final : public IStaplInterpreter {
public:
    StaplExecution Execute(const StaplImage& image, std::span<std::uint8_t> workspace, const StaplRunOptions& options,
        JtagLayer& layer, const std::function<void(const std::string&)>& output, std::stop_token cancel) override;

    // Ends a run as cancelled after this many instructions (fuzzing).
    void SetInstructionBudget(std::uint64_t instructions) { m_budget = instructions; }

private:
    std::uint64_t m_budget = std::numeric_limits<std::uint64_t>::max();
};
