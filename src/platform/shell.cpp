#include "platform/shell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace platform {

namespace {

DesktopShell& desktopShell()
{
    static DesktopShell desktop;
    return desktop;
}

ShellService* g_shell = nullptr;

}  // namespace

bool IsOpenedScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp") ||
           scheme == QLatin1String("mailto");
}

QString AddressScheme(const QString& text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0) return {};
    const QString head = text.left(colon);
    if (!head[0].isLetter()) return {};
    for (QChar c : head)
        if (!(c.isLetterOrNumber() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.')))
            return {};
    // "host:port" has digits right after the colon and no "//".
    if (head.contains(QLatin1Char('.')) && !text.mid(colon + 1).startsWith(QLatin1String("//"))) return {};
    return head.toLower();
}

ShellService::~ShellService() = default;

ShellService& Shell() { return g_shell ? *g_shell : desktopShell(); }

ShellService* SetShell(ShellService* service)
{
    ShellService* previous = g_shell;
    g_shell = service;
    return previous;
}

QUrl AddressUrl(const QString& address)
{
    QString text = address.trimmed();
    if (text.isEmpty()) return {};
    QString scheme = AddressScheme(text);
    if (scheme.isEmpty()) {
        text.prepend(QLatin1String("http://"));
        scheme = QStringLiteral("http");
    }
    if (!IsOpenedScheme(scheme)) return {};
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().toLower() != scheme) return {};
    if (scheme != QLatin1String("mailto") && url.host().isEmpty()) return {};
    return url;
}

bool OpenAddress(const QString& address)
{
    const QUrl url = AddressUrl(address);
    return !url.isEmpty() && Shell().Launch(url);
}

bool OpenMail(const QString& address)
{
    const QString text = address.trimmed();
    if (text.isEmpty()) return false;
    if (text.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) return OpenAddress(text);
    return OpenAddress(QLatin1String("mailto:") + text);
}

bool IsProgramFile(const QString& path)
{
    static const QStringList programSuffixes{"exe", "com", "bat", "cmd", "sh", "desktop", "js", "vbs",
                                             "msi", "scr", "pif", "jar", "app", "run", "bin", "appimage"};
    const QFileInfo info(path);
    if (programSuffixes.contains(info.suffix().toLower())) return true;
    return info.exists() && info.isFile() && info.isExecutable();
}

bool OpenWrittenFile(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || !info.isFile() || IsProgramFile(path)) return false;
    return Shell().Launch(QUrl::fromLocalFile(info.absoluteFilePath()));
}

namespace {

QString& installedHelpOverride()
{
    static QString folder;
    return folder;
}

// The page inside a help folder; empty when it is not a plain file there.
QString pageIn(const QString& folder, const QString& page)
{
    const QString helpDir = QDir::cleanPath(folder);
    const QString target = QDir::cleanPath(helpDir + QLatin1Char('/') + page);
    if (!target.startsWith(helpDir + QLatin1Char('/'))) return {};  // "../" out of the help folder
    const QFileInfo info(target);
    if (!info.exists() || !info.isFile() || IsProgramFile(target)) return {};
    return target;
}

}  // namespace

QString HelpFolderOfProgram(const QString& programFolder)
{
    const QDir program(programFolder);
    for (const char* relative : {"../share/quillet/help", "help"}) {
        const QString folder = QDir::cleanPath(program.absoluteFilePath(QLatin1String(relative)));
        if (QFileInfo(folder).isDir()) return folder;
    }
    return {};
}

QString InstalledHelpFolder()
{
    if (!installedHelpOverride().isEmpty()) return installedHelpOverride();
    return HelpFolderOfProgram(QCoreApplication::applicationDirPath());
}

void SetInstalledHelpFolder(const QString& folder) { installedHelpOverride() = folder; }

QString HelpPagePath(const QString& base, const QString& page)
{
    const QString beside = pageIn(QDir(base).absoluteFilePath(QStringLiteral("help")), page);
    if (!beside.isEmpty()) return beside;
    const QString installed = InstalledHelpFolder();
    return installed.isEmpty() ? QString() : pageIn(installed, page);
}

bool OpenHelpPage(const QString& base, const QString& page)
{
    const QString path = HelpPagePath(base, page);
    return !path.isEmpty() && Shell().Launch(QUrl::fromLocalFile(path));
}

bool DesktopShell::Launch(const QUrl& url) { return QDesktopServices::openUrl(url); }

CapturingShell::CapturingShell() : previous_(SetShell(this)) {}
CapturingShell::~CapturingShell() { SetShell(previous_); }

bool CapturingShell::Launch(const QUrl& url)
{
    launched.push_back(url);
    return result;
}

}  // namespace platform
