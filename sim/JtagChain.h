#pragma once
// A JTAG chain: IEEE 1149.1 devices from TDI to TDO on one TMS and TCK. Bits shifted first travel
// furthest, so the devices nearest TDO are the first bits of a scan. Registers shift least
// significant bit first; a register's bit 0 faces TDO.

#include "sim/JtagTap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sim {

using JtagBits = std::vector<bool>;

JtagBits BitsOf(std::uint64_t value, std::size_t length);
std::uint64_t ValueOf(const JtagBits& bits);

struct JtagDeviceSpec {
    int irLength = 8;
    std::uint32_t idcode = 0x00000001; // bit 0 is 1, as the standard wants
    std::uint32_t usercode = 0xFFFFFFFF;
    std::uint32_t idcodeInstruction = 0x01;
    std::uint32_t usercodeInstruction = 0x02;
};

// A device with BYPASS (all ones, and every code it does not know), IDCODE (selected at
// Test-Logic-Reset) and USERCODE. The IR captures ...01; data registers capture at CAPTURE-DR
// and update at UPDATE-DR.
class JtagDevice {
public:
    explicit JtagDevice(JtagDeviceSpec facts);
    virtual ~JtagDevice();
    JtagDevice(const JtagDevice&) = delete;
    JtagDevice& operator=(const JtagDevice&) = delete;

    const JtagDeviceSpec& Facts() const { return m_facts; }
    std::uint32_t Instruction() const { return m_instruction; }
    virtual std::uint32_t Usercode() const { return m_facts.usercode; }

    // --- driven by the chain
    void CaptureIr();
    void UpdateIr();
    void CaptureDr();
    void UpdateDr();
    // Shifts the selected register one bit toward TDO: `in` enters at the top, bit 0 leaves.
    bool ShiftIr(bool in);
    bool ShiftDr(bool in);
    bool IrOut() const { return m_ir.empty() || m_ir.front(); }
    bool DrOut() const { return m_dr.empty() || m_dr.front(); }
    // Test-Logic-Reset: IDCODE.
    virtual void Reset();
    // `count` TCKs in `state` with `tms`, before the TAP moves.
    virtual void Tick(TapState state, bool tms, std::uint64_t count);
    virtual void PowerOn();
    virtual void PowerOff();
    // Where the device tells what it refused to do (the box's hazard log).
    void SetHazardSink(std::function<void(const std::string&)> sink) { m_hazard = std::move(sink); }

protected:
    void Hazard(const std::string& what)
    {
        if (m_hazard)
            m_hazard(what);
    }
    // The register an instruction selects, as it captures.
    virtual JtagBits Capture(std::uint32_t instruction);
    virtual void Update(std::uint32_t instruction, const JtagBits& dr);
    virtual void Loaded(std::uint32_t instruction);
    std::uint32_t BypassCode() const;

private:
    JtagDeviceSpec m_facts;
    std::uint32_t m_instruction;
    JtagBits m_ir;
    JtagBits m_dr;
    std::function<void(const std::string&)> m_hazard;
};

class JtagChain {
public:
    // From TDI to TDO.
    void Add(std::unique_ptr<JtagDevice> device);
    void Clear();
    std::size_t Size() const { return m_devices.size(); }
    JtagDevice& Device(std::size_t i) { return *m_devices[i]; }

    // One TCK; the TDO sampled before it (1 from an empty or unpowered chain, and outside the
    // shift states).
    bool Clock(bool tms, bool tdi);
    // `count` TCKs with `tms` and TDI 1, those in a stable state counted at once.
    void Run(bool tms, std::uint64_t count);
    TapState State() const { return m_tap.State(); }

    // Power: a chain comes up in Test-Logic-Reset; without power it ignores TCK.
    void SetPowered(bool on);
    bool Powered() const { return m_powered; }
    // Given to every device, now and when added.
    void SetHazardSink(std::function<void(const std::string&)> sink);

private:
    std::function<void(const std::string&)> m_hazard;
    std::vector<std::unique_ptr<JtagDevice>> m_devices;
    JtagTap m_tap;
    bool m_powered = false;
};

} // namespace sim
