// The view's side of the device description files: which file a PIC reads, and what of it the
// current device keeps.

#include "operations/ui/TonrigView.h"

#include "catalogue/DeviceClass.h"
#include "operations/ui/ConfigGrid.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"

#include <QFileInfo>

namespace {

constexpr const char* kBuiltInUsedLine
    = "Description file %s is empty or unreadable; the built-in description is used.";
constexpr const char* kNotSetUpLine
    = "Description file %s is empty or unreadable and %s has no built-in description; the device is not set up.";

bool ClassHasConfigWords(int index)
{
    if (index < 0 || index >= kNoDeviceClass)
        return false;
    const CPicConfigInfo* info = g_DeviceClassTable[static_cast<std::size_t>(index)].m_pPicConfig.get();
    return info && info->m_nConfigBytes > 0;
}

// The name a device's description file has when its record names none: the device name up to
// its first "*" or blank, and ".dev".
std::string DerivedDeviceFileName(const std::string& deviceName)
{
    return deviceName.substr(0, deviceName.find_first_of("* ")) + ".dev";
}

} // namespace

bool CTonrigView::LoadDeviceFile(std::string* refusal)
{
    CDeviceClass& device = g_CurrentDevice;
    CPicConfigInfo* info = device.m_pPicConfig.get();
    if (!info)
        return false;

    if (device.m_strDeviceFile.empty()) {
        device.m_strDeviceFile = DerivedDeviceFileName(device.m_strName);
        const std::string path = CConfigDescription::DeviceFilePath(device.m_strDeviceFile);
        // One there that cannot be opened is read as an empty one: the built-in description stands in.
        if (path.empty() || !QFileInfo::exists(QString::fromStdString(path))) {
            const std::string shown = path.empty() ? GetAppDataFolder() + "/devices/" + device.m_strDeviceFile : path;
            MessageBox(platform::Format("File open error: %s device file", shown.c_str()), platform::kAppTitle, MB_OK);
            device.m_strDeviceFile.clear();
        }
    }

    const std::uint8_t programLatch = info->m_nProgramLatch;
    const std::uint8_t dataLatch = info->m_nDataLatch;
    const std::uint8_t configLatch = info->m_nConfigLatch;
    const std::int32_t codeSize = device.m_nCodeSize;

    bool loaded = false;
    if (!device.m_strDeviceFile.empty()) {
        CConfigDescription& description = m_ConfigGrid->Description();
        // What the file sets reaches the device only once the file is taken.
        CDeviceClass read = device;
        loaded = description.LoadDeviceFile(read);
        if (loaded && description.WordCount() == 0 && ClassHasConfigWords(g_nCurrentClass)) {
            const std::string path = CConfigDescription::DeviceFilePath(device.m_strDeviceFile);
            read = device;
            if (!description.LoadBuiltInDeviceFile(read) || description.WordCount() == 0) {
                description.ResetRecords();
                const std::string line = platform::Format(kNotSetUpLine, path.c_str(), device.m_strName.c_str());
                Log(line + "\r\n", kLogError);
                if (refusal)
                    *refusal = line;
                return false;
            }
            Log(platform::Format(kBuiltInUsedLine, path.c_str()) + "\r\n", kLogError);
        }
        if (loaded) {
            CConfigDescription::TakeFileValues(read, device);
            if (info->m_bConfigSupplied) {
                // Words someone gave (a file, a read, the grid) stay; the records follow them.
                m_ConfigGrid->Description().LoadFromDevice(device);
            } else if (m_ConfigGrid->Description().StoreWords(*info)) {
                // The file's defaults are words a write may program.
                info->m_bConfigSupplied = true;
            }
        }
    }

    if (g_nCurrentClass < 321) {
        info->m_nProgramLatch = programLatch;
        info->m_nDataLatch = dataLatch;
        info->m_nConfigLatch = configLatch;
        if (codeSize % 64 != 0)
            device.m_nCodeSize = codeSize;
    }
    return loaded;
}
