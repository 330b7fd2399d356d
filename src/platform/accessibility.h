// What the program's self-drawn controls tell a screen reader goes out
// through here: to Qt's accessibility layer, which passes it on to the
// desktop's accessibility bus while a reader listens, and to one observer
// that a caller may install (the tests read the events through it, since Qt
// drops events while no reader listens). Controls ask AccessibilityListening() before
// they work out what changed, so nothing is spent while nobody listens.
//
// Beside them, what the windows use to be read by screen readers and worked from the
// keyboard alone: a label tied to the field it names, the Tab order in the
// order the window shows its controls, buttons that Enter in a field leaves
// alone, and a frame shown around a control while it has the keyboard focus,
// for controls whose own drawing does not show it. Call them on the
// user-interface thread, once the controls have their parents.
#pragma once

#include <QDeadlineTimer>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QAccessibleEvent;
class QLabel;
class QLineEdit;
class QTabWidget;
class QWidget;

namespace platform {

// True while Qt's accessibility layer is active or an observer is installed.
bool AccessibilityListening();

// Hands the event to Qt's accessibility layer and to the observer.
void SendAccessibleEvent(QAccessibleEvent& Event);

// Installs the observer (an empty one removes it); returns the one before.
using AccessibleEventObserver = std::function<void(QAccessibleEvent& Event)>;
AccessibleEventObserver SetAccessibleEventObserver(AccessibleEventObserver Observer);

// Says `text` to a screen reader once the current event is done: the result
// of what the user did, which a sighted user sees somewhere the focus is not.
// Readers speak no change of a name or a description, but they do speak an
// object with the role Notification when it is shown. Each window has one
// such object (an announcer: no size, nothing drawn, no focus, not in the
// window's layout), read with the last text given; it is hidden, given the
// text and shown again, and the observer gets its ObjectShow event. The
// announcer is that of the window of `near` or, while that is not shown (a
// window that prints unseen in a batch), of the nearest shown window that
// owns it; without `near` or such a window, that of the active window; with
// none, or while no reader listens, nothing is said. Of several texts for one
// window in one event, the last is said. Between windows (a box has just
// closed and no window is active yet) it is said once one is, after the
// reader has said where the user is, which would cut it off.
void Announce(const QString& text, QWidget* near = nullptr);

// A caption as it names a control: without its "&" marks (a doubled one
// stays as one "&") and without the trailing ":" and blanks that set a label
// before its field.
QString SpokenCaption(const QString& caption);

// Marks `message` as the text of the box it is in, a box that carries the
// same text as its accessible description: readers read the description with
// the box, and read its loose labels too, so the message says it labels the
// box and is read once. While the box has no description it reads as any
// label. Call it before the label is first shown.
void MarkBoxMessage(QLabel* message);

// Ties the label to its field: the label's text, as SpokenCaption gives it,
// becomes the field's name, and screen readers learn which label belongs to
// which field. The label's look does not change. A combo box also gets the
// entry it shows as its description, kept up to date, for readers that read
// no combo box's value, and the entry the user picks is said (Announce; a
// window that says more in the same event says it with its own text).
void TieLabel(QLabel* label, QWidget* field);
// A new label beside `field` (a child of the field's parent), tied to it.
QLabel* NewLabelFor(const QString& text, QWidget* field);
// Makes the label a note on `field` (a hint under a picture): its text
// becomes the field's description, read with the field, and the label says
// it belongs to the field, so that readers do not read it with the window
// as one of its loose labels. The field keeps its name.
void DescribeWith(QLabel* note, QWidget* field);

// The pages of `tabs` are read as the content of their tabs: the layer that
// holds them is passed over, where readers would say "layered pane" (a layer
// with no name) whenever the focus comes into a page. Call it once the tab
// widget is made.
void PassOverTabLayer(QTabWidget* tabs);

// Tab goes through the widgets in this order, where the window does not
// create them so; a widget that takes no focus itself (a row of controls)
// stands for those of its own controls that do. Controls made later come
// after them.
void OrderFocus(const QList<QWidget*>& order);

// The push buttons of `window` do not become its default button on taking
// the focus: Enter in a field presses none of them, and the focus shows on
// each (a default button looks as if it had the focus).
void NoAutoDefaultButtons(QWidget* window);

// Gives the keyboard focus back once a box or window shown over others has
// closed (make one before it is shown; it acts when it ends): to the widget
// that had the focus, its window made active again, or, when that window
// has closed meanwhile (a box that closes its window with it), to the
// nearest shown window that owned it. Window managers may leave no window
// active after a dialog, and then no key reaches the program; or give the
// focus back to a window that had it before, with no focus event, and then
// Qt takes no window for active and screen readers say nothing: a window the
// desktop's focus is on is made active in Qt itself (DesktopFocusFor). A
// window of another application the user has gone to keeps the focus.
class FocusReturn {
public:
    explicit FocusReturn(QWidget* owner = nullptr);
    ~FocusReturn();
    FocusReturn(const FocusReturn&) = delete;
    FocusReturn& operator=(const FocusReturn&) = delete;

private:
    QPointer<QWidget> widget_;
    QPointer<QWidget> window_;
    bool hadActive_;  // a window of the program was active as it began
};

// The window a FocusReturn gave the focus back to that is not active yet (the
// window manager has still to make it so), while it may still come: for a few
// moments after the box or window over it closed, until the next box or
// window opens. Null when there is none; `until` is when it is no longer
// waited for. Taking it forgets it.
QWidget* TakeWindowComingBack(QDeadlineTimer& until);

// Makes `edit` a password field: it shows a mask for each character, and a
// screen reader learns of typed and deleted characters only as that mask
// (Qt 6.4 hands it the inserted and removed text as typed, which a reader
// speaks). The masking covers every line edit whose echo mode is not Normal.
void MakePasswordField(QLineEdit* edit);

// Shows a frame around `widget` while it has the keyboard focus, unless the
// focus came with a mouse click. The frame lives as long as the widget.
void ShowFocusFrame(QWidget* widget);

}  // namespace platform
