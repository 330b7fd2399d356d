#include "platform/shell.h"

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

bool OpenHelpPage(const QString& base, const QString& page)
{
    const QString helpDir = QDir::cleanPath(QDir(base).absoluteFilePath(QStringLiteral("help")));
    const QString target = QDir::cleanPath(helpDir + QLatin1Char('/') + page);
    if (!target.startsWith(helpDir + QLatin1Char('/'))) return false;  // "../" out of the help folder
    const QFileInfo info(target);
    if (!info.exists() || !info.isFile() || IsProgramFile(target)) return false;
    return Shell().Launch(QUrl::fromLocalFile(target));
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
