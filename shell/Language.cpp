#include "shell/Language.h"

#include "platform/MessageBox.h"

CLanguage g_Language;
std::vector<std::string> g_LanguageTexts;
const std::string g_strLanguageFallback;

// Numbers 198 to 203 and 205 belong to no window; they stay empty so that the numbers after
// them keep their places.
// clang-format off
const std::array<std::string, kLanguageTextCount> g_LanguageDefaults = {
    "File", // 0
    "Edit", // 1
    "View", // 2
    "Device", // 3
    "Command", // 4
    "Test H/W", // 5
    "Setting", // 6
    "Help", // 7
    "Open...", // 8
    "Save", // 9
    "Save As...", // 10
    "Exit", // 11
    "Find", // 12
    "Find Next", // 13
    "Fill Buffer Hex", // 14
    "Tool Bar", // 15
    "Status Bar", // 16
    "Device List", // 17
    "Read", // 18
    "Write", // 19
    "Blank Check", // 20
    "Erase", // 21
    "Get ID", // 22
    "Verify", // 23
    "Lock", // 24
    "Buffer Byte Swap", // 25
    "Read Data", // 26
    "Detect Hardware", // 27
    "Test H/W", // 28
    "Voltage Diagnostic", // 29
    "Programmer History", // 30
    "Language", // 31
    "Supported List", // 32
    "About Tonrig", // 33
    "No device selected.", // 34
    "Speed", // 35
    "Device Location", // 36
    "Adapter", // 37
    "Auto Mode", // 38
    "DIP Setting", // 39
    "Message Log", // 40
    "Double Write", // 41
    "ID Check", // 42
    "No adapter required for DIP chip.", // 43
    "Available Language", // 44
    "Add", // 45
    "OK", // 46
    "Cancel", // 47
    "Not initialized", // 48
    "Did not get response from programmer.\r\nDemo only.", // 49
    "Error", // 50
    "Ready", // 51
    "Initialization failed. Please reconnect.", // 52
    "Blank check is cancelled at address:", // 53
    "Blank check is cancelled", // 54
    "Cancelled", // 55
    "Checksum", // 56
    "Read completed.", // 57
    "Read cancelled.", // 58
    "Erase completed.", // 59
    "The device data changed, to keep synced data you need reload the data from the device\r\n Do you want to reload the data from device?", // 60
    "Confirm", // 61
    "Buffer", // 62
    "Data", // 63
    "User ID", // 64
    "Not Supported.", // 65
    "Write OSCCAL Failed.", // 66
    "Erase Failed.", // 67
    "Function not supported on this device.", // 68
    "OR", // 69
    "This chip does not need erase.", // 70
    "Write failed", // 71
    "Are you sure?", // 72
    "Please wait...", // 73
    "Erasing...", // 74
    "Reading...", // 75
    "Writing...", // 76
    "Verifying...", // 77
    "Blank checking...", // 78
    "Detecting...", // 79
    "Offset setting wrong.", // 80
    "No device selected.", // 81
    "Device blank check failed at address: ", // 82
    "Chip is blank", // 83
    "Device is verified", // 84
    "Blank check failed", // 85
    "ID check skipped", // 86
    "ID check OK", // 87
    "ID check failed.", // 88
    "Please check device type, chip's orientation and pin contact.", // 89
    "Continue?", // 90
    "Some OEM chips may have compatible chip ID", // 91
    "Yes", // 92
    "No", // 93
    "Elapsed time", // 94
    "seconds", // 95
    "Time", // 96
    "Device write completed", // 97
    "Device write cancelled", // 98
    "Address", // 99
    "Buffer", // 100
    "Device verify completed", // 101
    "Device verify cancelled", // 102
    "Verify Failed", // 103
    "Initializing, please remove the chip from ZIF socket.....\r\nReconnect programmer if needed.", // 104
    "Device Selection/Search", // 105
    "Manufacture,", // 106
    "My Favorite Devices", // 107
    "Search Device For", // 108
    "Type", // 109
    "Tips: Always search for exact part number first. Then choose the closest part number.\r\n Example: Use AM2732A instead of 2732 if your chip is AM2732A", // 110
    "All", // 111
    "Device ID(Hex)", // 112
    "Revision", // 113
    "Device ID Information", // 114
    "Not in library", // 115
    "Unknown Device", // 116
    "Select", // 117
    "Data(Hex)", // 118
    "From Address(Hex) 0x", // 119
    "To Address(Hex) 0x", // 120
    "Fill Buffer With Data", // 121
    "Binary Search", // 122
    "Hex String(eg. E2 FB CD 00 21)", // 123
    "Text String(eg. Text String)", // 124
    "Direction", // 125
    "Up", // 126
    "Down", // 127
    "Match Case", // 128
    "New Search", // 129
    "Total programmed on this programmer", // 130
    "Most Recent List", // 131
    "File Offset", // 132
    "Device Offset", // 133
    "Protect and Unprotect", // 134
    "Sector Block Information", // 135
    "Single Sector", // 136
    "All Sectors", // 137
    "Clear", // 138
    "Protect", // 139
    "Unprotect", // 140
    "Protected", // 141
    "Unprotected", // 142
    "Address From", // 143
    "CFG Value(Hex)", // 144
    "Length In Byte(Dec)", // 145
    "Memory Type", // 146
    "Standard CFG Word Configuration", // 147
    "Direct Device Memory Access(DDMA)", // 148
    "(Absolate Byte Address)", // 149
    "Device Erase Options", // 150
    "Note: The OSCCAL value may be erased. \r\n Pls remember the OSCCAL value before erase.", // 151
    "Current OSCCAL = 0x", // 152
    "AVR Configuration Byte", // 153
    "Note: 0 will be writen on all checked box bit. \r\n 1 will be writen on all unchecked box bit.", // 154
    "Current Device:", // 155
    "Cal. Read", // 156
    "Write Completed", // 157
    "In correct clock source selected", // 158
    "Warning", // 159
    "Temp. Unprotect", // 160
    "JTAG Programming", // 161
    "User ID", // 162
    "File Information", // 163
    "Security", // 164
    "Read User Code", // 165
    "The device is not supported on this programmer version. \r\n You may need to upgrade the programmer or firmware.", // 166
    "Programmer", // 167
    "Software", // 168
    "USB Driver", // 169
    "Package", // 170
    "Unsupported programmer. Please try previous version software.", // 171
    "Background Color", // 172
    "ID", // 173
    "Configuration", // 174
    "Value", // 175
    "Category", // 176
    "OFFSET", // 177
    "Print", // 178
    "Print Preview", // 179
    "Print Setup", // 180
    "Recent File", // 181
    "Load Extended Algorithm", // 182
    "Font", // 183
    "Close current ZelvoScrip?", // 184
    "Split 16bit Buffer To Files", // 185
    "Combine Files To Buffer", // 186
    "New Script", // 187
    "Open Script", // 188
    "Save Script", // 189
    "Save Script As", // 190
    "Close Script", // 191
    "Other", // 192
    "Load last device and file when start up", // 193
    "File Format", // 194
    "Read Mode", // 195
    "Fill Mode", // 196
    "Ignore loaded file path.", // 197
    "", // 198
    "", // 199
    "", // 200
    "", // 201
    "", // 202
    "", // 203
    "Checking and updating firmware...", // 204
    "", // 205
    "Warranty Register", // 206
    "New device/chip support request", // 207
    "Not found?", // 208
    "Part Number:", // 209
    "Datasheet Link(http:):", // 210
    "Application:", // 211
    "Data size exceed size of device, data file has been truncated.", // 212
};
// clang-format on

std::string CLanguage::GetText(int number) const
{
    // The count does not follow later growth of the array, and the array may have been emptied
    // under it by a load in progress: both bounds are checked.
    if (number < 0 || number >= m_nCount || static_cast<size_t>(number) >= g_LanguageTexts.size())
        return g_strLanguageFallback;
    return g_LanguageTexts[static_cast<size_t>(number)];
}

std::string CLanguage::GetTextOrDefault(int number) const
{
    std::string text = GetText(number);
    if (text.empty() && number >= 0 && number < kLanguageTextCount)
        text = g_LanguageDefaults[static_cast<size_t>(number)];
    return text;
}

void CLanguage::SetTexts(const std::string* texts, int n)
{
    if (n > kLanguageTextCount) {
        MessageBox("Language Update Failed. #1");
        return;
    }
    for (int i = 0; i < n && texts; ++i)
        g_LanguageTexts.push_back(texts[i]);
    m_nCount = static_cast<int>(g_LanguageTexts.size());
}

void CLanguage::Reset()
{
    g_LanguageTexts.clear();
    m_nCount = 0;
}
