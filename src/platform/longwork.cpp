#include "platform/longwork.h"

#include "platform/beep.h"

#include <QApplication>
#include <QDragLeaveEvent>
#include <QEvent>
#include <QInputMethodEvent>
#include <QWindow>

namespace platform {

namespace {

enum class Input { None, Quiet, Beep };

// The input method's questions to the focus widget (QEvent::InputMethodQuery)
// are no input and are answered as usual; what it types is input. A drag
// leaving passes, so that a target that took the drag before the work began
// takes its drop feedback away.
Input inputKind(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::InputMethod:  // composed text, a beep only when committed
        return static_cast<const QInputMethodEvent*>(event)->commitString().isEmpty() ? Input::Quiet : Input::Beep;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Close:
    case QEvent::Shortcut:  // a key press that a shortcut took
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
    case QEvent::Drop:
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
    case QEvent::DragEnter:
    case QEvent::DragMove:
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
        const Input kind = inputKind(event);
        if (kind == Input::None || allowed(target))
            return false;
        // taken here, so that it goes on to no parent; a close and a drag are
        // refused by being ignored (the drag's source then keeps its data)
        event->setAccepted(!refusedByIgnoring(event->type()));
        if (kind == Input::Beep)
            MessageBeep();
        if (event->type() == QEvent::Drop) {  // the end of the drag there
            QDragLeaveEvent leave;
            QCoreApplication::sendEvent(target, &leave);
        }
        return true;
    }

private:
    static bool refusedByIgnoring(QEvent::Type type)
    {
        return type == QEvent::Close || type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop;
    }
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
        // a shortcut goes to its action, which belongs where its widget is
        // (F10 of a question the work asks)
        if (!target->isWidgetType() && !target->isWindowType())
            for (QObject* owner = target->parent(); owner; owner = owner->parent())
                if (owner->isWidgetType()) {
                    target = owner;
                    break;
                }
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
