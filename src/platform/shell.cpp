#include "platform/shell.h"

#include "platform/longwork.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <memory>

namespace platform {

namespace {

DesktopShell& desktopShell()
{
    static DesktopShell desktop;
    return desktop;
}

ShellService* g_shell = nullptr;

}  // namespace

ShellService::~ShellService() = default;

ShellService& Shell() { return g_shell ? *g_shell : desktopShell(); }

namespace {

constexpr int kWaitSliceMs = 20;  // the windows are painted between the waits

bool mouseButtonHeld()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) &&
           QGuiApplication::mouseButtons() != Qt::NoButton;
}

bool launchNow(const QUrl& url, const std::function<void()>& failed)
{
    const bool opened = Shell().Launch(url);
    if (!opened && failed)
        failed();
    return opened;
}

// Hands the address to the shell, once no mouse button is held (see the
// header). The buttons are looked at between the events: the one that lets
// go of the last button has then been handled.
bool launch(const QUrl& url, const std::function<void()>& failed)
{
    if (!mouseButtonHeld())
        return launchNow(url, failed);
    auto* watch = new QTimer(QCoreApplication::instance());
    QObject::connect(watch, &QTimer::timeout, watch, [watch, url, failed] {
        if (mouseButtonHeld())
            return;
        watch->stop();
        watch->deleteLater();
        launchNow(url, failed);
    });
    watch->start(kWaitSliceMs);
    return true;
}

}  // namespace

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

bool OpenAddress(const QString& address, const std::function<void()>& failed)
{
    const QUrl url = AddressUrl(address);
    return !url.isEmpty() && launch(url, failed);
}

bool OpenMail(const QString& address, const std::function<void()>& failed)
{
    const QString text = address.trimmed();
    if (text.isEmpty()) return false;
    if (text.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) return OpenAddress(text, failed);
    return OpenAddress(QLatin1String("mailto:") + text, failed);
}

bool IsProgramFile(const QString& path)
{
    static const QStringList programSuffixes{"exe", "com", "bat", "cmd", "sh", "desktop", "js", "vbs",
                                             "msi", "scr", "pif", "jar", "app", "run", "bin", "appimage"};
    const QFileInfo info(path);
    if (programSuffixes.contains(info.suffix().toLower())) return true;
    return info.exists() && info.isFile() && info.isExecutable();
}

bool OpenWrittenFile(const QString& path, const std::function<void()>& failed)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || !info.isFile() || IsProgramFile(path)) return false;
    return launch(QUrl::fromLocalFile(info.absoluteFilePath()), failed);
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

bool OpenHelpPage(const QString& base, const QString& page, const std::function<void()>& failed)
{
    const QString path = HelpPagePath(base, page);
    return !path.isEmpty() && launch(QUrl::fromLocalFile(path), failed);
}

namespace {

constexpr int kOpenerAnswerMs = 3000;  // the longest wait for the opener's answer

// Runs the desktop's opener on one address or file; true when it ended with
// status 0 or is still running after kOpenerAnswerMs.
bool runOpener(const QString& opener, const QString& argument)
{
    auto process = std::make_unique<QProcess>();
    process->setProgram(opener);
    process->setArguments({argument});
    // a browser the opener starts inherits these: no pipe that nobody reads
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted(-1))
        return false;
    LongWork busy;
    QElapsedTimer waited;
    waited.start();
    while (process->state() != QProcess::NotRunning && !process->waitForFinished(kWaitSliceMs)) {
        if (waited.elapsed() >= kOpenerAnswerMs) {
            QProcess* running = process.release();  // goes when it ends
            QObject::connect(running, &QProcess::finished, running, &QObject::deleteLater);
            return true;
        }
        busy.Pump();
    }
    return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
}

}  // namespace

bool DesktopShell::Launch(const QUrl& url)
{
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return QDesktopServices::openUrl(url);
    return runOpener(opener, url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded));
}

CapturingShell::CapturingShell() : previous_(SetShell(this)) {}
CapturingShell::~CapturingShell() { SetShell(previous_); }

bool CapturingShell::Launch(const QUrl& url)
{
    launched.push_back(url);
    return result;
}

}  // namespace platform
