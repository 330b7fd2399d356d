#include "app/identity.h"

#include "platform/datafolder.h"
#include "platform/dialogs.h"
#include "platform/process.h"

#include <QDirIterator>
#include <QGuiApplication>

#include <cstdio>

QIcon ProgramIcon()
{
    // the build puts the icon theme's PNGs under :/icons/<size>/apps/
    QIcon icon;
    QDirIterator it(QStringLiteral(":/icons"), {QStringLiteral(QUILLET_APP_ID ".png")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        icon.addFile(it.next());
    return icon;
}

void PresentProgram()
{
    QGuiApplication::setApplicationName(QStringLiteral("quillet"));
    QGuiApplication::setDesktopFileName(QStringLiteral(QUILLET_APP_ID));
    QGuiApplication::setWindowIcon(ProgramIcon());
}

void EnterMenuDataFolder()
{
    const QString folder = platform::MenuDataFolder(qEnvironmentVariable("HOME"), qEnvironmentVariable("XDG_DATA_HOME"));
    QString problem;
    if (folder.isEmpty()) {
        problem = QStringLiteral("Quillet cannot keep its data anywhere: HOME is not set to the user's home folder "
                                 "(an absolute path other than /), and XDG_DATA_HOME is not set to an absolute "
                                 "folder either.");
    } else if (const QString reason = platform::EnterDataFolder(folder); !reason.isEmpty()) {
        problem = QStringLiteral("Quillet cannot keep its data in %1: %2.").arg(folder, reason);
    } else {
        return;
    }
    std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
    platform::ShowMessage(problem, nullptr, platform::MessageKind::Error);
    platform::ExitProgram(1);
}
