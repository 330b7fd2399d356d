#include "platform/application.h"

#include "platform/dialogs.h"

#include <exception>
#include <new>

namespace platform {

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
