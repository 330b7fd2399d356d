#include "app/newerversion.h"

#include "appcore/dialogs.h"
#include "appcore/schema.h"
#include "platform/process.h"

#include <QDir>
#include <QFileInfo>

namespace {

// What the user is told, naming the file and the folder it lies in.
QString newerVersionText(const QString& file, const QString& folder)
{
    return QString("The database file %1 in the folder %2 was made by a newer version of the program. "
                   "This version cannot open it and has left it unchanged. Please use the newer version.")
        .arg(file, QDir::toNativeSeparators(folder));
}

}  // namespace

void EndIfDatabaseOfNewerVersion(QWidget* owner)
{
    if (database.openFailure() != dbDatabase::dbFileNewerRelease)
        return;
    const QFileInfo file(QDir(QString::fromStdString(database.getDirectory())),
                         QString::fromStdString(database.getFileName()));
    ShowInfo(newerVersionText(file.fileName(), file.absolutePath()), owner);
    platform::ExitProgram(1);
}
