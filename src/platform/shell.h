// Opening things with the desktop: web addresses, "mailto:" links, the
// program's help pages and files the program itself wrote. Only http, https,
// ftp and mailto addresses are opened as given; text without a scheme is taken
// as a web address ("http://" is put in front). Local files are opened only
// through OpenHelpPage and OpenWrittenFile, and never when they are programs.
// Every request passes the checks here and then goes to the current
// ShellService; tests install a CapturingShell to see what would be opened.
//
// An open asked for while a mouse button is held (a link in a grid cell opens
// on the press, a double click acts on its second press) goes to the
// ShellService only once every button is up and the release has been
// handled: the desktop's opener is awaited, and the wait takes no input
// (platform/longwork.h), so a release met there would never reach the
// window that took the press. Such a call returns true at once; `failed`,
// when given, runs when the desktop could not open what it was given, now or
// then.
#pragma once

#include "platform/addressscheme.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace platform {

class ShellService {
public:
    virtual ~ShellService();
    // Hands an address that passed the checks to the desktop; true on success.
    virtual bool Launch(const QUrl& url) = 0;
};

ShellService& Shell();
ShellService* SetShell(ShellService* service);  // nullptr restores the desktop one

// A web or mail address as typed or as found in a cell or link. Refused
// (false, nothing launched): empty text, other schemes ("file:", "javascript:", ...).
// False also when the desktop could not open an address it was given.
bool OpenAddress(const QString& address, const std::function<void()>& failed = {});
// The address OpenAddress hands to the desktop; empty when it refuses the text.
QUrl AddressUrl(const QString& address);
// "mailto:" + address unless it already starts with it.
bool OpenMail(const QString& address, const std::function<void()>& failed = {});
// The help folder that comes with the program: <program folder>/../share/quillet/help
// where it is installed, <program folder>/help in its build tree; empty when
// neither is there. SetInstalledHelpFolder names another one (tests); an empty
// name goes back to the search.
QString InstalledHelpFolder();
void SetInstalledHelpFolder(const QString& folder);
// The search itself, for a program in programFolder.
QString HelpFolderOfProgram(const QString& programFolder);
// The help page a window opens, e.g. "index.htm": <base>/help/<page> when that
// file is there, else the page of the installed help folder. Empty when neither
// has it, or when the name leaves the help folder or names a program.
QString HelpPagePath(const QString& base, const QString& page);
// Opens HelpPagePath(base, page); false when there is no such page or the
// desktop could not open it.
bool OpenHelpPage(const QString& base, const QString& page, const std::function<void()>& failed = {});
// A document the program wrote (an exported workbook, ...). Refused when it does
// not exist or is a program (executable bit, or a name ending in .exe, .com,
// .bat, .cmd, .sh, .desktop, .js, .vbs, .msi, .scr, .pif, .jar, .app or .run).
bool OpenWrittenFile(const QString& path, const std::function<void()>& failed = {});
// Whether the desktop would run this file as a program.
bool IsProgramFile(const QString& path);

// The desktop: its opener, xdg-open, when it is on the PATH, else
// QDesktopServices::openUrl. The opener is awaited (the windows stay painted,
// platform/longwork.h) for its answer: it ends at once after handing the
// address on, and fails (any status but 0, or it cannot be started) when no
// program is set up for it, e.g. no web browser. One still running after a few
// seconds is a browser it started itself and waits on: that counts as opened,
// and it is left to run.
class DesktopShell : public ShellService {
public:
    bool Launch(const QUrl& url) override;
};

// Records instead of launching; installs itself while it lives.
class CapturingShell : public ShellService {
public:
    CapturingShell();
    ~CapturingShell() override;
    bool Launch(const QUrl& url) override;
    QList<QUrl> launched;
    bool result = true;  // what Launch reports

private:
    ShellService* previous_;
};

}  // namespace platform
