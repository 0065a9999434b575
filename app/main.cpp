#include "platform/GuiThread.h"
#include "platform/ui/QtServices.h"
#include "shell/ui/TonrigApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tonrig");
    QApplication::setOrganizationName("Ostrand");
    platform::InstallQtMessageBoxes();
    platform::InstallQtDesktopOpener();

    // Files named on the command line are not opened: the program starts with empty buffers.
    CTonrigApp theApp;
    if (!theApp.InitInstance())
        return 1;
    const int result = QApplication::exec();
    platform::BeginShutdown();
    theApp.ExitInstance();
    return result;
}
