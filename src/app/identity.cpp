#include "app/identity.h"

#include <QDirIterator>
#include <QGuiApplication>

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
