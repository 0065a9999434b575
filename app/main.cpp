#include "platform/ui/QtServices.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tonrig");
    QApplication::setOrganizationName("Ostrand");
    platform::InstallQtMessageBoxes();
    platform::InstallQtDesktopOpener();

    QMainWindow frame;
    frame.setWindowTitle("Tonrig");
    frame.resize(940, 610);
    frame.show();
    return app.exec();
}
