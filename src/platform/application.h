// The program's application object. An exception that escapes an event handler
// never crosses Qt's event loop: notify() catches it, shows its text in the
// error box through the dialog seam, and the program goes on.
#pragma once

#include <QApplication>

#include <functional>

namespace platform {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    // How many exceptions notify() has caught so far.
    int CaughtExceptions() const { return caught_; }
    // From now on SIGTERM, SIGHUP and SIGINT end the program as its own exit
    // does: `end` runs on the event loop (of a box or form too), then the
    // program ends through ExitProgram(0).
    static void EndOnSignals(std::function<void()> end);

private:
    int caught_ = 0;
};

// The text the error box shows for the exception being handled (call from a catch block).
QString CurrentExceptionText();

// Themed drawing is never used: the grid and its editors take the classic look.
constexpr bool visualStylesActive() { return false; }

}  // namespace platform
