#pragma once
// The programmer's supply (Vcc) and programming (Vpp) voltage selection and its pin-driver switch
// bytes, and the sending of them to the box. Setters store a byte and refresh the box when the
// value changed; on ZV-CQ and ZV-D a refresh sends only what differs from the bytes last sent.
//
// Every item the box holds (switch bytes, each rail's code or potentiometer, the ZIF48
// configuration) can be marked dirty: InvalidateSentCache marks them all, a failed send marks
// what it carried. A marked item is never skipped as "unchanged"; its mark clears once it was
// sent successfully. The six-byte sent cache changes only after a successful send.
//
// Callers: the GUI and device-setup threads. One mutex covers each public call, its waits
// included; a DeferRefresh scope holds it from its start to the single refresh at its end.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

class CCFG_Manager {
public:
    CCFG_Manager();
    CCFG_Manager(const CCFG_Manager&) = delete;
    CCFG_Manager& operator=(const CCFG_Manager&) = delete;

    void SetVcc(std::uint8_t code);
    void SetVpp(std::uint8_t code);
    void SetVccVpp(std::uint8_t vcc, std::uint8_t vpp);
    void SetVccSwitch(std::uint8_t value);
    void SetVppSwitch(std::uint8_t value);
    void SetSwitchB(std::uint8_t value);
    void SetZIF48_U9_Byte(std::uint8_t value);
    void SetZIF48_CFG_Byte(std::uint8_t value);
    void SetSwitchA(std::uint8_t value);
    void SetGNDSwitch(std::uint8_t bits);
    // Twelve '0'/'1' characters: 1-8 are switch B (bit 7 first), 9-12 bits 7-4 ORed into switch A.
    void SetCPLD_DIP(std::string_view text);
    void SetCPLD_DIP(const char* text) { SetCPLD_DIP(text ? std::string_view(text) : std::string_view()); }
    void SetAllCFG(
        std::uint8_t vcc, std::uint8_t vpp, std::uint8_t vccSwitch, std::uint8_t vppSwitch, std::uint8_t switchA);
    void SetVccAdjustQ8U(std::uint8_t value);
    // Writes the calibration potentiometers, RAM and EEPROM; 0 when all four read back, else 1.
    int SetB003VCCVPPValue(std::uint8_t vcc, std::uint8_t vpp);
    void RefreshCFG();
    void InvalidateSentCache();
    // Initial values and an invalidated cache: the programmer came back in its boot state.
    void ResetState();

    static const char* GetVccText(int code);
    static const char* GetVppText(int code);
    void GetSentCFGBytes(std::uint8_t out[6]) const;

    // Setters inside the scope only store; one refresh runs at its end, so the socket sees one
    // change. Holds the manager's mutex throughout; scopes nest.
    class DeferRefresh {
    public:
        explicit DeferRefresh(CCFG_Manager& manager);
        ~DeferRefresh();
        DeferRefresh(const DeferRefresh&) = delete;
        DeferRefresh& operator=(const DeferRefresh&) = delete;

    private:
        CCFG_Manager& m_manager;
    };

    // The stored state (for dialogs and tests).
    std::uint8_t SwitchA() const;
    std::uint8_t SwitchB() const;
    std::uint8_t VccSwitch() const;
    std::uint8_t VppSwitch() const;
    std::uint8_t VccVppSelect() const;
    std::uint8_t ZIF48_U9() const;
    std::uint8_t ZIF48_CFG() const;
    std::uint8_t VccAdjust() const;
    std::uint8_t Vcc() const;
    std::uint8_t Vpp() const;
    bool VccCustom() const; // an adjust was sent after the last code

private:
    // Items the box holds, for the dirty marks.
    enum Item : unsigned {
        kSwitchB = 1u << 0,
        kSwitchA = 1u << 1,
        kVccSwitch = 1u << 2,
        kVppSwitch = 1u << 3,
        kFifth = 1u << 4, // the select byte, or U9 on ZV-D
        kZif48Cfg = 1u << 5,
        kVccRail = 1u << 6,
        kVppRail = 1u << 7,
        kAll = 0xFF,
    };

    bool Dirty(unsigned items) const { return (m_dirty & items) != 0; }
    bool Send(const std::uint8_t* packet, int length);
    void Wait(int ms);
    void Refresh(); // stores only while deferred
    void RefreshNow();
    void RefreshZvd();
    void RefreshZvcq();
    void RefreshOthers(int model);
    void SendVccPot();
    void SendVppPot();
    bool AcceptVcc(std::uint8_t code, int model);
    bool AcceptVpp(std::uint8_t code);
    static std::uint8_t NormalisedVpp(std::uint8_t code, int model);
    static std::uint8_t NormalisedSwitchA(std::uint8_t value, int model);
    void SetByte(std::uint8_t& field, std::uint8_t value, unsigned item);
    void StoreInitialValues();

    mutable std::recursive_mutex m_mutex;
    int m_deferDepth = 0;
    bool m_vccPotPending = false; // ZV-D: a Vcc/Vpp potentiometer value stored while deferred
    bool m_vppPotPending = false;
    bool m_dipBoxPending = false; // a faulty DIP text met inside a DeferRefresh scope

    std::uint8_t m_nSwitchA = 0xA0;
    std::uint8_t m_nSwitchB = 0;
    std::uint8_t m_nVccSwitch = 8;
    std::uint8_t m_nVppSwitch = 0x80;
    std::uint8_t m_nVccVppSelect = 0xE0;
    std::uint8_t m_nZIF48_U9 = 0;
    std::uint8_t m_nZIF48_CFG = 0;
    std::uint8_t m_nVccAdjust = 0;
    std::uint8_t m_nVcc = 0;
    std::uint8_t m_nVpp = 0;
    bool m_vccCustom = false;

    // Switch B, switch A, Vcc switch, Vpp switch, fifth byte, ZIF48 configuration.
    std::uint8_t m_sent[6];
    unsigned m_dirty = 0;
};

extern CCFG_Manager g_CFGManager;
