// A mouse button let go while a modal window is up, as a person lets go of a
// press that opened a dialog: the modal window blocks the window that took
// the press, and Qt drops the release sent to it there. The control pressed
// never gets its release.
#pragma once

#include <QDialog>
#include <QTest>
#include <QWindow>

// Shows `modal` application-modal, lets go of `button` at `at` in `window`
// (window coordinates) and hides `modal` again.
inline void ReleaseBehindModal(QWidget& modal, QWindow* window, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    modal.setWindowModality(Qt::ApplicationModal);
    modal.show();
    QTest::mouseRelease(window, button, {}, at);
    modal.hide();
}

// The same with a dialog of its own.
inline void ReleaseBehindModal(QWindow* window, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    QDialog modal;
    ReleaseBehindModal(modal, window, at, button);
}
