#pragma once
// The state behind the device header pane, free of widgets: which steps an automatic run takes,
// the double-write and temporary-unprotect options, the file and device offsets, the speed level
// and the delay factor. Options are stored; offsets start at 0 on every run, since a stale device
// offset would silently shift a write.
//
// The GUI thread owns it. The speed level may be read and set from any thread; workers otherwise
// read only a HeaderSnapshot taken on the GUI thread when their step starts.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Step types of an automatic run, as the operation control numbers them.
enum HeaderStep : int {
    kStepRead = 3,
    kStepWrite = 4,
    kStepErase = 5,
    kStepVerify = 6,
    kStepBlankCheck = 7,
    kStepIdCheck = 9,
    kStepLock = 10,
};

enum class HeaderOption : int {
    IdCheck,
    Read,
    Erase,
    BlankCheck,
    Write,
    Verify,
    Lock,
    DoubleWrite,
    TempUnprotect,
    Count
};

struct HeaderSnapshot {
    bool options[static_cast<int>(HeaderOption::Count)] {};
    std::int32_t fileOffset = 0;
    std::uint32_t deviceOffset = 0;
    int speedLevel = 5;
    int delayFactor = 1;

    bool Option(HeaderOption option) const { return options[static_cast<int>(option)]; }
    bool IsAutoStepEnabled(int type) const;
    bool DoubleWrite() const { return Option(HeaderOption::DoubleWrite); }
    bool TempUnprotect() const { return Option(HeaderOption::TempUnprotect); }
};

// An offset as the pane takes it: 1 to 8 hex digits (leading zeros aside) with an optional "0x",
// blanks around it ignored; nothing else.
std::optional<std::uint32_t> ParseHeaderOffset(std::string_view text);

class HeaderModel {
public:
    static constexpr const char* kKey = "Software\\Zelvo USB Programmer\\Settings\\Header";
    static constexpr int kMinSpeedLevel = 1;
    static constexpr int kMaxSpeedLevel = 5;
    static constexpr int kDefaultSpeedLevel = 5;
    static constexpr int kMinDelayFactor = 1;
    static constexpr int kMaxDelayFactor = 10;
    static constexpr std::uint32_t kMaxDeviceOffset = 0xFFFFFF; // the programmer takes 24 bits

    // Reads the stored options (defaults where a value is missing or out of range).
    HeaderModel();

    // The option an automatic step of `type` is governed by; false for any other type.
    static bool StepOption(int type, HeaderOption& option);
    // The stored value's name ("IDCheck", "Read", ...).
    static const char* OptionName(HeaderOption option);
    // The language text number of the option's caption.
    static int OptionTextNumber(HeaderOption option);

    bool IsAutoStepEnabled(int type) const;
    bool Option(HeaderOption option) const { return m_options[static_cast<int>(option)]; }
    // Sets the option and stores it.
    void SetOption(HeaderOption option, bool on);

    // Offsets as hexadecimal text. A text that is not 1 to 8 hex digits (an optional "0x" first)
    // is refused and the old value kept; so is a device offset above 24 bits.
    bool SetFileOffsetText(const std::string& text);
    bool SetDeviceOffsetText(const std::string& text);
    std::string FileOffsetText() const;
    std::string DeviceOffsetText() const;
    std::int32_t FileOffset() const { return m_fileOffset; }
    std::uint32_t DeviceOffset() const { return m_deviceOffset; }

    // Speed level 1 (slowest) to 5; any thread. A level out of range is refused.
    bool SetSpeedLevel(int level);
    int SpeedLevel() const { return m_speedLevel.load(); }
    // "-2", "-1", "0", "+1", "+2" for levels 1 to 5; "" for anything else.
    static const char* SpeedLevelText(int level);

    bool SetDelayFactor(int factor);
    int DelayFactor() const { return m_delayFactor.load(); }

    HeaderSnapshot Snapshot() const;

private:
    void Load();
    void Store(const char* name, std::uint32_t value);

    bool m_options[static_cast<int>(HeaderOption::Count)] {};
    std::int32_t m_fileOffset = 0;
    std::uint32_t m_deviceOffset = 0;
    std::atomic<int> m_speedLevel { kDefaultSpeedLevel };
    std::atomic<int> m_delayFactor { kMinDelayFactor };
};
