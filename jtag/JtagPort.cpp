#include "jtag/JtagPort.h"

#include "link/ProgrammerLink.h"

using platform::usb::UsbStatus;

bool LinkJtagPort::Send(std::span<const std::uint8_t> bytes)
{
    g_ProgrammerLink.SendData(bytes.data(), static_cast<int>(bytes.size()));
    return g_ProgrammerLink.LastStatus() == UsbStatus::Ok;
}

int LinkJtagPort::Read(std::uint8_t* buffer, int size)
{
    const int count = g_ProgrammerLink.ReadData(buffer, size);
    return g_ProgrammerLink.LastStatus() == UsbStatus::Ok ? count : 0;
}

std::string LinkJtagPort::StatusText() const
{
    return platform::usb::UsbStatusText(g_ProgrammerLink.LastStatus());
}
