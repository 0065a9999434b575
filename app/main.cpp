#include "app/VirtualSocket.h"
#include "platform/GuiThread.h"
#include "platform/ui/QtServices.h"
#include "platform/usb/UsbProviders.h"
#include "shell/ui/TonrigApp.h"
#include "sim/VirtualProgrammer.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tonrig");
    QApplication::setOrganizationName("Ostrand");
    platform::InstallQtMessageBoxes();
    platform::InstallQtDesktopOpener();
    // TONRIG_USB=virtual puts the virtual programmer on the bus in place of real hardware.
    // Its socket holds a blank chip of the selected device.
    platform::usb::SetVirtualBusSetup([](platform::usb::VirtualBus& bus) {
        const auto box = sim::PlugBoxFromEnvironment(bus);
        std::lock_guard lock(box->Mutex());
        WatchVirtualSocket(*box);
    });

    // Files named on the command line are not opened: the program starts with empty buffers.
    CTonrigApp theApp;
    if (!theApp.InitInstance())
        return 1;
    const int result = QApplication::exec();
    platform::BeginShutdown();
    theApp.ExitInstance();
    return result;
}
