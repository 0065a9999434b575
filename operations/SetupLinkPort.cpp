#include "operations/SetupLinkPort.h"

#include "link/ProgrammerCommand.h"
#include "link/ProgrammerLink.h"

bool ProgrammerLinkPort::Send(const std::uint8_t* data, int length)
{
    g_ProgrammerLink.SendData(data, length);
    return g_ProgrammerLink.LastStatus() == platform::usb::UsbStatus::Ok;
}

int ProgrammerLinkPort::Read(std::uint8_t* buffer, int size)
{
    return g_ProgrammerLink.ReadData(buffer, size);
}

int ProgrammerLinkPort::ReadFor(std::uint8_t* buffer, int size, int timeoutMs, std::stop_token stop)
{
    return g_ProgrammerLink.ReadData(buffer, size, timeoutMs, std::move(stop));
}

bool ProgrammerLinkPort::Open()
{
    return g_ProgrammerLink.Open();
}

int ProgrammerLinkPort::TransportMode() const
{
    return g_nTransportMode.load();
}

int ProgrammerLinkPort::UsbChipType() const
{
    return g_nUsbChipType.load();
}

int ProgrammerLinkPort::Exchange(const std::uint8_t* packet, int length, std::uint8_t* reply, int size)
{
    return g_ProgrammerLink.Exchange(packet, length, reply, size);
}

FirmwareLoad ProgrammerLinkPort::LoadFirmware(int number)
{
    switch (g_ProgrammerLink.LoadFirmwareIfReady(number).outcome) {
    case FirmwareLoadResult::Loaded:
        return FirmwareLoad::Loaded;
    case FirmwareLoadResult::NoProgrammer:
        return FirmwareLoad::NoProgrammer;
    case FirmwareLoadResult::Failed:
        break;
    }
    return FirmwareLoad::Failed;
}

bool ProgrammerLinkPort::LoadClassFile(const std::string& path)
{
    return g_ProgrammerLink.LoadClassFile(path);
}

void ProgrammerLinkPort::InvalidateSentCache()
{
    if (invalidateSentCache)
        invalidateSentCache();
}

void ProgrammerLinkPort::ApplySwitches(const CDeviceClass& device)
{
    if (applySwitches)
        applySwitches(device);
}

int ProgrammerLinkPort::SpeedLevel()
{
    return speedLevel ? speedLevel() : m_speed.load();
}

void ProgrammerLinkPort::SetSpeedLevel(int level)
{
    if (setSpeedLevel)
        setSpeedLevel(level);
    else
        m_speed = level;
}

std::unique_ptr<ISetupLinkPort> MakeProgrammerLinkPort()
{
    return std::make_unique<ProgrammerLinkPort>();
}
