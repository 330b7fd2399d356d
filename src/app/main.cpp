// The program Quillet: the application object, its name and icon on the
// desktop, the program's own dialogs, the data folder when the menu starts it,
// and the main window, whose constructor opens the database and whose close
// ends the program; the signals that ask a program to end end it so too.
#include "appcore/dialogs.h"
#include "app/identity.h"
#include "app/mainlist.h"
#include "appcore/schema.h"
#include "platform/application.h"
#include "platform/dialogs.h"

int main(int argc, char** argv)
{
    platform::Application app(argc, argv);
    PresentProgram();
    InstallFormDialogs();
    if (app.arguments().contains(QLatin1String(kMenuStart)))
        EnterMenuDataFolder();
    // the log-out, a kill or Ctrl+C: what an action left unfinished is undone,
    // and the database closed as at the program's own end
    platform::Application::EndOnSignals([] {
        database.rollback();
        database.close();
    });
    try {
        TMainListForm window;
        window.show();
        app.exec();
    } catch (...) {
        platform::ShowError(platform::CurrentExceptionText(), nullptr);
    }
    return 0;
}
