// The program Quillet: the application object, its name and icon on the
// desktop, the program's own dialogs, the data folder when the menu starts it,
// and the main window, whose constructor opens the database and whose close
// ends the program.
#include "appcore/dialogs.h"
#include "app/identity.h"
#include "app/mainlist.h"
#include "platform/application.h"
#include "platform/dialogs.h"

int main(int argc, char** argv)
{
    platform::Application app(argc, argv);
    PresentProgram();
    InstallFormDialogs();
    if (app.arguments().contains(QLatin1String(kMenuStart)))
        EnterMenuDataFolder();
    try {
        TMainListForm window;
        window.show();
        app.exec();
    } catch (...) {
        platform::ShowError(platform::CurrentExceptionText(), nullptr);
    }
    return 0;
}
