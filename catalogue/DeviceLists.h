#pragma once
// Loading the device lists of the application-data folder: the shipped main list (devices.txt,
// or devicesQ8U.txt on the ZV-D) and the user's customdevices.txt.

#include <QByteArray>

#include <functional>
#include <string>
#include <vector>

struct ShippedDeviceList {
    std::string fileName;
    QByteArray contents;
};

// The lists the program ships (its Qt resources under ":/devices/"). Tests replace the source;
// an empty function restores the resources.
using ShippedDeviceListSource = std::function<std::vector<ShippedDeviceList>()>;
void SetShippedDeviceListSource(ShippedDeviceListSource source);

// Copies each shipped list into the application-data folder unless a file of that name is there.
void InstallShippedDeviceLists();

// Installs the shipped lists, frees all records when asked, loads the main list of the current
// model, then the user's list (created empty only when missing). A call made while a load runs
// (from a message box's event loop) or while reloads are deferred runs once afterwards.
void LoadDeviceLists(bool freeFirst);

// The program's own list that stood in for the main list `fileName` at the last load, the user's
// file holding no devices; empty when that file was read, or another main list loaded.
QByteArray StandInDeviceList(const std::string& fileName);

// Holds reloads back while it lives (the device selection dialog); the last one to end runs a
// reload that was asked for meanwhile.
class DeferDeviceListReloads {
public:
    DeferDeviceListReloads();
    ~DeferDeviceListReloads();
    DeferDeviceListReloads(const DeferDeviceListReloads&) = delete;
    DeferDeviceListReloads& operator=(const DeferDeviceListReloads&) = delete;
};
