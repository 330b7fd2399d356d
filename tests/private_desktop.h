// A desktop of the test program's own, for what only a real X server and a
// window manager show: where the keyboard focus goes and which window is
// active. Xvfb takes a free display and openbox manages it; DISPLAY and
// QT_QPA_PLATFORM=xcb name it from construction on, so build it before the
// application object. Both programs are ended by their pids on destruction.
// Where one is missing or does not come up, Missing() says so and the tests
// that need it skip.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

class PrivateDesktop {
public:
    PrivateDesktop()
    {
        for (const char* program : {"Xvfb", "openbox"})
            if (QStandardPaths::findExecutable(program).isEmpty()) {
                missing_ = QString("%1 is not installed").arg(program);
                return;
            }
        // the server writes the display it took on its standard output
        server_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp"});
        QByteArray number;
        while (!number.contains('\n') && server_.waitForReadyRead(10000))
            number += server_.readAllStandardOutput();
        if (!number.contains('\n')) {
            missing_ = "Xvfb gave no display";
            return;
        }
        const QByteArray display = ":" + number.trimmed();
        qputenv("DISPLAY", display);
        qputenv("QT_QPA_PLATFORM", "xcb");
        manager_.start("openbox", {});
        x_ = xcb_connect(display.constData(), nullptr);
        for (int i = 0; i < 200 && managerWindow() == XCB_WINDOW_NONE; ++i)
            QThread::msleep(50);
        if (managerWindow() == XCB_WINDOW_NONE)
            missing_ = "openbox did not take the display";
    }
    ~PrivateDesktop()
    {
        if (x_)
            xcb_disconnect(x_);
        for (QProcess* p : {&manager_, &server_})
            if (p->state() != QProcess::NotRunning) {
                ::kill(pid_t(p->processId()), SIGCONT);  // one held ends too
                ::kill(pid_t(p->processId()), SIGTERM);
                p->waitForFinished(10000);
            }
    }
    PrivateDesktop(const PrivateDesktop&) = delete;
    PrivateDesktop& operator=(const PrivateDesktop&) = delete;

    // Why the desktop cannot be had; empty when it is there.
    const QString& Missing() const { return missing_; }

    // Waits until the window manager has let go of the top-level window (it
    // is hidden or gone and no longer listed as one it manages).
    bool WaitUntilLetGo(unsigned long window)
    {
        for (int i = 0; i < 200 && manages(xcb_window_t(window)); ++i)
            QThread::msleep(25);
        return !manages(xcb_window_t(window));
    }

    // Stops and goes on with the window manager, as a busy machine holds it
    // up: what it is asked meanwhile waits.
    void HoldManager(bool held) { ::kill(pid_t(manager_.processId()), held ? SIGSTOP : SIGCONT); }

    // Gives the keyboard focus to the window manager's own window, where
    // openbox parks it when it gives it to no window (a box and the window
    // under it have closed one after the other).
    void ParkFocus()
    {
        xcb_set_input_focus(x_, XCB_INPUT_FOCUS_POINTER_ROOT, managerWindow(), XCB_CURRENT_TIME);
        free(xcb_get_input_focus_reply(x_, xcb_get_input_focus(x_), nullptr));  // done once answered
    }

private:
    template <class Reply>
    using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

    xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(x_)).data->root; }

    // The windows of a WINDOW-list property of the root.
    std::vector<xcb_window_t> rootWindows(const char* name) const
    {
        Owned<xcb_intern_atom_reply_t> atom(
            xcb_intern_atom_reply(x_, xcb_intern_atom(x_, 1, uint16_t(strlen(name)), name), nullptr), &std::free);
        if (!atom || atom->atom == XCB_ATOM_NONE)
            return {};
        Owned<xcb_get_property_reply_t> list(
            xcb_get_property_reply(x_, xcb_get_property(x_, 0, root(), atom->atom, XCB_ATOM_WINDOW, 0, 4096),
                                   nullptr),
            &std::free);
        if (!list || list->type != XCB_ATOM_WINDOW)
            return {};
        const auto* first = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
        return {first, first + xcb_get_property_value_length(list.get()) / 4};
    }

    xcb_window_t managerWindow() const
    {
        if (!x_ || xcb_connection_has_error(x_))
            return XCB_WINDOW_NONE;
        const std::vector<xcb_window_t> check = rootWindows("_NET_SUPPORTING_WM_CHECK");
        return check.empty() ? xcb_window_t(XCB_WINDOW_NONE) : check.front();
    }

    bool manages(xcb_window_t window) const { return std::ranges::count(rootWindows("_NET_CLIENT_LIST"), window) > 0; }

    QProcess server_, manager_;
    xcb_connection_t* x_ = nullptr;
    QString missing_;
};
