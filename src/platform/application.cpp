#include "platform/application.h"

#include "platform/dialogs.h"
#include "platform/process.h"

#include <QSocketNotifier>

#include <csignal>
#include <exception>
#include <fcntl.h>
#include <new>
#include <unistd.h>

namespace platform {

namespace {

int g_signalPipe[2] = {-1, -1};

// All a handler may do: tell the event loop through the pipe.
void tellEventLoop(int signal)
{
    const char byte = char(signal);
    (void)!::write(g_signalPipe[1], &byte, 1);
}

}  // namespace

void Application::EndOnSignals(std::function<void()> end)
{
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [end = std::move(end)] {
        char byte;
        while (::read(g_signalPipe[0], &byte, 1) == 1) {
        }
        end();
        ExitProgram(0);
    });
    struct sigaction action {};
    action.sa_handler = tellEventLoop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        sigaction(signal, &action, nullptr);
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

QString CurrentExceptionText()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory.");
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what());
        return text.isEmpty() ? QStringLiteral("An unexpected error occurred.") : text;
    } catch (...) {
        return QStringLiteral("An unexpected error occurred.");
    }
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ++caught_;
        ShowError(CurrentExceptionText(), activeWindow());
        return false;
    }
}

}  // namespace platform
