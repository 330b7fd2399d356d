// A mouse button let go while a modal window is up, as a person lets go of a
// press that opened a dialog: the modal window blocks the window that took
// the press, and Qt drops the release sent to it there. The control pressed
// never gets its release.
#pragma once

#include <QDialog>
#include <QTest>
#include <QWindow>

// Shows `modal` (a dialog of its own when none) application-modal, lets go
// of `button` at `at` in `window` (window coordinates) and hides it again.
inline void ReleaseBehindModal(QWindow* window, QPoint at, Qt::MouseButton button = Qt::LeftButton,
                               QWidget* modal = nullptr)
{
    QDialog own;
    QWidget& shown = modal ? *modal : own;
    shown.setWindowModality(Qt::ApplicationModal);
    shown.show();
    QTest::mouseRelease(window, button, {}, at);
    shown.hide();
}
