#include "platform/longwork.h"

#include "platform/beep.h"

#include <QApplication>
#include <QEvent>
#include <QWindow>

namespace platform {

namespace {

enum class Input { None, Quiet, Beep };

Input inputKind(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Close:
    case QEvent::Shortcut:  // a key press that a shortcut took
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
        return Input::Beep;
    case QEvent::KeyRelease:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
        return Input::Quiet;
    default:
        return Input::None;
    }
}

// Installed on the application while any LongWork lives.
class InputFilter : public QObject {
public:
    int depth = 0;
    QPointer<QWidget> cancel;        // of the innermost LongWork
    QPointer<QWidget> modalAtStart;  // the modal window when the innermost began

protected:
    bool eventFilter(QObject* target, QEvent* event) override
    {
        const Input kind = inputKind(event->type());
        if (kind == Input::None || allowed(target))
            return false;
        // taken here, so that it goes on to no parent; a close is refused by
        // being ignored
        event->setAccepted(event->type() != QEvent::Close);
        if (kind == Input::Beep)
            MessageBeep();
        return true;
    }

private:
    bool allowed(QObject* target) const
    {
        // a question the work itself asks (a modal window opened since it
        // began) is answered as usual
        QWidget* modal = QApplication::activeModalWidget();
        return inside(target, cancel) || (modal && modal != modalAtStart && inside(target, modal));
    }
    static bool inside(QObject* target, QWidget* area)
    {
        if (!area)
            return false;
        if (target->isWidgetType()) {
            auto* w = static_cast<QWidget*>(target);
            return w == area || area->isAncestorOf(w);
        }
        // the area's window passes its input on to the widgets, where it is
        // looked at again
        return target->isWindowType() && target == area->window()->windowHandle();
    }
};

InputFilter& filter()
{
    static InputFilter* f = new InputFilter;  // lives as long as the program
    return *f;
}

}  // namespace

LongWork::LongWork(QWidget* cancel)
{
    InputFilter& f = filter();
    outerCancel_ = f.cancel;
    outerModal_ = f.modalAtStart;
    f.cancel = cancel;
    f.modalAtStart = qobject_cast<QApplication*>(QCoreApplication::instance()) ? QApplication::activeModalWidget()
                                                                               : nullptr;
    if (f.depth++ == 0 && QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(&f);
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

LongWork::~LongWork()
{
    InputFilter& f = filter();
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::restoreOverrideCursor();
    f.cancel = outerCancel_;
    f.modalAtStart = outerModal_;
    if (--f.depth == 0 && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(&f);
}

void LongWork::Pump()
{
    if (sincePump_.isValid() && sincePump_.elapsed() < 30)
        return;
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    sincePump_.start();
}

}  // namespace platform
