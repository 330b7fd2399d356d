#include "platform/startfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

namespace {

QString& lastPicked()
{
    static QString folder;
    return folder;
}

bool isFolder(const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

}  // namespace

QString FileRequestFolder()
{
    return isFolder(lastPicked()) ? lastPicked() : DocumentsFolder();
}

QString DocumentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return isFolder(documents) ? documents : QDir::homePath();
}

QString LastPickedFolder() { return lastPicked(); }

void SetLastPickedFolder(const QString& folder) { lastPicked() = folder; }

}  // namespace platform
