#pragma once
// The last session at start-up: the device and the file the user had when the program last ran,
// read from the settings and run as the script lines "DEVICE " plus the device and "Load " plus
// the file. The file opens once the DEVICE line has ended (its setup with it), so it lands in
// buffers sized for the device; after "Device not found!" it does not open.

#include <functional>
#include <string>

constexpr const char* kLastSessionKey = "Software\\Zelvo USB Programmer\\Settings";
// In place of the last session's lines when the buffers hold edits.
constexpr const char* kLastSessionSkippedLine = "The last session was not loaded: the buffers hold unsaved changes.";

struct LastSessionHost {
    // Runs a line through the script engine; `done(ok)` once it has ended (false for a DEVICE
    // line whose name no device list holds).
    std::function<void(const std::string& line, std::function<void(bool ok)> done)> runLine;
};

// Reads "LastDevice" and "LastOpenedFileName"; an empty value is skipped, and with both empty
// nothing runs. True when a DEVICE line ran.
bool LoadLastSession(const LastSessionHost& host);

// Selects a device by name from the device lists into g_CurrentDevice (the selectDevice of the
// program): FindDevice, the class entry, then the record over it.
int SelectDeviceByName(const std::string& upperName);
