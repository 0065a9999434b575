#pragma once
// The last session at start-up: the device and the file the user had when the program last ran,
// read from the settings, set up and opened again. The file opens once that device's setup has
// ended, so it lands in buffers sized for the device.

#include <functional>
#include <string>

constexpr const char* kLastSessionKey = "Software\\Zelvo USB Programmer\\Settings";

struct LastSessionHost {
    // A line in the message log, as the script echo writes it.
    std::function<void(const std::string& text)> log;
    // Makes the named device current (its class entry, then its record over it); the class
    // index, or -1 for a name no device list holds.
    std::function<int(const std::string& upperName)> selectDevice;
    std::function<void(int classIndex)> startSetup;
    // Runs the callback once the setup started last has ended.
    std::function<void(std::function<void()>)> whenSetupDone;
    std::function<void(const std::string& path)> openFile;
};

// Reads "LastDevice" and "LastOpenedFileName"; an empty value is skipped. True when a device was
// found and its setup started.
bool LoadLastSession(const LastSessionHost& host);

// Selects a device by name from the device lists into g_CurrentDevice (the selectDevice of the
// program): FindDevice, the class entry, then the record over it.
int SelectDeviceByName(const std::string& upperName);
