#include "platform/datafolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// An absolute folder other than "/", cleaned; empty for any other text.
QString usableBase(const QString& folder)
{
    if (!folder.startsWith(QLatin1Char('/')))
        return {};
    const QString clean = QDir::cleanPath(folder);
    return clean == QLatin1String("/") ? QString() : clean;
}

}  // namespace

QString MenuDataFolder(const QString& home, const QString& dataHome)
{
    if (const QString base = usableBase(dataHome); !base.isEmpty())
        return base + QLatin1String("/quillet");
    if (const QString base = usableBase(home); !base.isEmpty())
        return base + QLatin1String("/.local/share/quillet");
    return {};
}

QString EnterDataFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
        if (::mkdir(path.left(slash).constData(), 0777) != 0 && errno != EEXIST)
            return qt_error_string(errno);
    // an existing file of that name is found out by the change of folder
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return qt_error_string(errno);
    if (::chdir(path.constData()) != 0)
        return qt_error_string(errno);
    // An install into the prefix of the data folder makes it for the help
    // pages, readable by all; the contacts in it are the user's alone. A
    // folder of another user is left as it is.
    struct stat entered {};
    if (::stat(".", &entered) == 0 && entered.st_uid == ::geteuid() && (entered.st_mode & 077) != 0)
        ::chmod(".", (entered.st_mode & 07700) | 0700);
    return {};
}

}  // namespace platform
