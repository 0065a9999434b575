#pragma once
// A small flash CPLD on the JTAG chain: an IEEE 1149.1 device with ISP instructions over an array
// of rows and a USERCODE, by flash rules. Its codes and registers are in sim/PROTOCOL.md (JTAG).

#include "sim/JtagChain.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

// Instructions (8-bit IR). Every code not listed is BYPASS.
inline constexpr std::uint32_t kCpldIdcode = 0x01;
inline constexpr std::uint32_t kCpldUsercode = 0x02;
inline constexpr std::uint32_t kCpldIspEnable = 0x10;
inline constexpr std::uint32_t kCpldIspDisable = 0x11;
inline constexpr std::uint32_t kCpldErase = 0x12;
inline constexpr std::uint32_t kCpldAddress = 0x13;
inline constexpr std::uint32_t kCpldProgram = 0x14;
inline constexpr std::uint32_t kCpldRead = 0x15;
inline constexpr std::uint32_t kCpldUsercodeProgram = 0x16;
inline constexpr int kCpldAddressBits = 8;

// IDCODEs: a CPLD in the socket, and the programmer's own.
inline constexpr std::uint32_t kSocketCpldIdcode = 0x2C4D6001;
inline constexpr std::uint32_t kProgrammerCpldIdcode = 0x2C4D7001;

struct ModelCpldSpec {
    std::uint32_t idcode = kSocketCpldIdcode;
    std::uint32_t usercode = 0xFFFFFFFF; // erased
    int rows = 16;
    int width = 32; // bits per row, at most 64
    std::uint64_t eraseClocks = 200000; // TCKs in Run-Test/Idle an erase needs
    std::uint64_t programClocks = 100; // and a row or the USERCODE
};

class ModelCpld final : public JtagDevice {
public:
    explicit ModelCpld(ModelCpldSpec facts = {});

    const ModelCpldSpec& CpldSpec() const { return m_cpld; }
    std::uint32_t Usercode() const override { return m_usercode; }
    void SetUsercode(std::uint32_t code) { m_usercode = code; }
    const std::vector<std::uint64_t>& Rows() const { return m_rows; }
    void SetRow(std::size_t row, std::uint64_t value);
    bool IspMode() const { return m_isp; }
    std::size_t Pointer() const { return m_pointer; }

    void Reset() override;
    void Tick(TapState state, bool tms, std::uint64_t count) override;
    void PowerOff() override;

protected:
    JtagBits Capture(std::uint32_t instruction) override;
    void Update(std::uint32_t instruction, const JtagBits& dr) override;
    void Loaded(std::uint32_t instruction) override;

private:
    enum class Work { None, Erase, Row, Usercode };
    struct Pending {
        Work work = Work::None;
        TapState from = TapState::UpdateDr; // the UPDATE state that loaded it
        std::uint64_t need = 0;
        std::uint64_t done = 0;
        std::size_t row = 0;
        std::uint64_t value = 0;
    };

    void Start(Work work, TapState from, std::uint64_t need, std::uint64_t value = 0);
    void Complete();
    void Refused(const char* what);
    std::uint64_t RowMask() const;

    ModelCpldSpec m_cpld;
    std::vector<std::uint64_t> m_rows;
    std::uint32_t m_usercode;
    std::size_t m_pointer = 0;
    bool m_isp = false;
    Pending m_pending;
};

} // namespace sim
