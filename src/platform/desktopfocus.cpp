#include "platform/desktopfocus.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <utility>

namespace platform {

namespace {

DesktopFocusReader& installedReader()
{
    static DesktopFocusReader reader;
    return reader;
}

template <class Reply>
using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

// True when `focus` is `window` or one of the windows around it (the frame a
// window manager puts it in), up to the root.
bool holds(xcb_connection_t* x, xcb_window_t window, xcb_window_t focus)
{
    for (int depth = 0; window != XCB_WINDOW_NONE && depth < 8; ++depth) {
        if (window == focus)
            return true;
        Owned<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x, xcb_query_tree(x, window), nullptr), &std::free);
        if (!tree || tree->parent == tree->root)
            return false;
        window = tree->parent;
    }
    return false;
}

// True when `focus` is the window the window manager names as its own
// (_NET_SUPPORTING_WM_CHECK on the root): where it parks the focus when it
// gives it to no window, as when the window it would give it to has closed
// too. No application has the focus then.
bool parkedByWindowManager(xcb_connection_t* x, xcb_window_t root, xcb_window_t focus)
{
    static constexpr char name[] = "_NET_SUPPORTING_WM_CHECK";
    Owned<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 1, sizeof name - 1, name), nullptr), &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    Owned<xcb_get_property_reply_t> check(
        xcb_get_property_reply(x, xcb_get_property(x, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr),
        &std::free);
    return check && check->type == XCB_ATOM_WINDOW && xcb_get_property_value_length(check.get()) == 4 &&
           *static_cast<const xcb_window_t*>(xcb_get_property_value(check.get())) == focus;
}

DesktopFocus readX11(const QWidget* window)
{
    // (other platforms may answer for X too, with no connection to it)
    auto* x11 = qGuiApp && QGuiApplication::platformName() == QLatin1String("xcb")
                    ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                    : nullptr;
    xcb_connection_t* x = x11 ? x11->connection() : nullptr;
    const QWindow* handle = window ? window->windowHandle() : nullptr;
    if (!x || !handle || !handle->handle())
        return DesktopFocus::Unknown;
    Owned<xcb_get_input_focus_reply_t> reply(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr),
                                             &std::free);
    if (!reply)
        return DesktopFocus::Unknown;
    const xcb_window_t focus = reply->focus;
    if (focus == XCB_WINDOW_NONE || focus == XCB_INPUT_FOCUS_POINTER_ROOT)
        return DesktopFocus::Nowhere;
    if (holds(x, xcb_window_t(handle->winId()), focus))
        return DesktopFocus::OnWindow;
    for (const QWindow* own : QGuiApplication::allWindows())
        if (own->handle() && holds(x, xcb_window_t(own->winId()), focus))
            return DesktopFocus::Nowhere;
    // the root itself holds nothing, nor the window manager's own window
    Owned<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x, xcb_query_tree(x, focus), nullptr), &std::free);
    if (!tree || tree->root == focus || parkedByWindowManager(x, tree->root, focus))
        return DesktopFocus::Nowhere;
    return DesktopFocus::Elsewhere;
}

}  // namespace

DesktopFocus DesktopFocusFor(const QWidget* window)
{
    const DesktopFocusReader& reader = installedReader();
    return reader ? reader(window) : readX11(window);
}

DesktopFocusReader SetDesktopFocusReader(DesktopFocusReader reader)
{
    return std::exchange(installedReader(), std::move(reader));
}

}  // namespace platform
