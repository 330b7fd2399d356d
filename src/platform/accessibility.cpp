#include "platform/accessibility.h"

#include "platform/desktopfocus.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFocusFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QStyle>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <utility>
#include <vector>

namespace platform {

namespace {
AccessibleEventObserver& observer()
{
    static AccessibleEventObserver installed;
    return installed;
}
}  // namespace

bool AccessibilityListening() { return QAccessible::isActive() || static_cast<bool>(observer()); }

void SendAccessibleEvent(QAccessibleEvent& Event)
{
    QAccessible::updateAccessibility(&Event);
    if (observer())
        observer()(Event);
}

AccessibleEventObserver SetAccessibleEventObserver(AccessibleEventObserver Observer)
{
    return std::exchange(observer(), std::move(Observer));
}

// The object a window's announcements are read from (see Announce).
class Announcer : public QWidget {
    Q_OBJECT
public:
    explicit Announcer(QWidget* window);
    const QString& Text() const { return text_; }
    // Takes the text; the reader is told once the current event is done and a
    // window is active.
    void Say(const QString& text);

private:
    void showAgain();
    QString text_;
    bool pending_ = false;
    std::vector<QMetaObject::Connection> waiting_;  // for a window to be active
};

namespace {

class AnnouncerAccessible : public QAccessibleWidget {
public:
    explicit AnnouncerAccessible(Announcer* announcer) : QAccessibleWidget(announcer, QAccessible::Notification) {}
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? static_cast<Announcer*>(widget())->Text() : QString();
    }
    // Readers say the windows a notification is in before it, as if the
    // user had come to them anew (a dialog with its loose labels): it
    // stands directly under the application, in no window.
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(qApp); }
};

QAccessibleInterface* announcerFactory(const QString& key, QObject* object)
{
    auto* announcer = key == QLatin1String(Announcer::staticMetaObject.className()) ? qobject_cast<Announcer*>(object)
                                                                                     : nullptr;
    return announcer ? new AnnouncerAccessible(announcer) : nullptr;
}

}  // namespace

Announcer::Announcer(QWidget* window) : QWidget(window)
{
    // before Qt is first asked for this object's interface, which it keeps once made
    static const bool readable = [] {
        QAccessible::installFactory(announcerFactory);
        return true;
    }();
    (void)readable;
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(0, 0, 0, 0);
    hide();
}

void Announcer::Say(const QString& text)
{
    text_ = text;
    if (pending_)
        return;
    pending_ = true;
    QMetaObject::invokeMethod(this, &Announcer::showAgain, Qt::QueuedConnection);
}

void Announcer::showAgain()
{
    // a window is active for the window system, or for the widgets alone
    // (made so after a box closed, the window system telling nothing)
    auto windowActive = [] { return QGuiApplication::focusWindow() || QApplication::activeWindow(); };
    if (!windowActive()) {
        // Between windows (a box has just closed): said once a window is
        // active, after what the reader says of it, which would cut it off.
        if (waiting_.empty()) {
            auto come = [this, windowActive] {
                if (!windowActive())
                    return;
                for (const QMetaObject::Connection& c : std::exchange(waiting_, {}))
                    disconnect(c);
                QMetaObject::invokeMethod(this, &Announcer::showAgain, Qt::QueuedConnection);
            };
            waiting_ = {connect(qApp, &QGuiApplication::focusWindowChanged, this, come),
                        connect(qApp, &QApplication::focusChanged, this, come)};
        }
        return;
    }
    pending_ = false;
    hide();
    show();  // Qt tells the reader
    if (isVisible() && observer()) {
        QAccessibleEvent shown(this, QAccessible::ObjectShow);
        observer()(shown);
    }
}

void Announce(const QString& text, QWidget* near)
{
    if (!AccessibilityListening())
        return;
    QWidget* window = near ? near->window() : nullptr;
    while (window && !window->isVisible())
        window = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    if (!window)
        window = QApplication::activeWindow();
    if (!window)
        return;
    auto* announcer = window->findChild<Announcer*>(QString(), Qt::FindDirectChildrenOnly);
    if (!announcer)
        announcer = new Announcer(window);
    announcer->Say(text);
}

namespace {

// Follows the widget's focus and puts the frame around it or takes it away.
class FocusFrameKeeper : public QObject {
public:
    explicit FocusFrameKeeper(QWidget* widget) : QObject(widget), widget_(widget) { widget->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != widget_)
            return false;
        if (event->type() == QEvent::FocusIn) {
            if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason)
                return false;
            if (!frame_)
                frame_ = new QFocusFrame(widget_->parentWidget());
            frame_->setWidget(widget_);
            frame_->show();
        } else if (event->type() == QEvent::FocusOut && frame_) {
            frame_->setWidget(nullptr);
        }
        return false;
    }

private:
    QWidget* widget_;
    QPointer<QFocusFrame> frame_;
};

// The first widget after the window in its focus chain that Tab stops at.
QWidget* firstStop(QWidget* window)
{
    for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            return w;
    return nullptr;
}

}  // namespace

QString SpokenCaption(const QString& caption)
{
    QString spoken;
    spoken.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != u'&') {
            spoken += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == u'&') {
            spoken += u'&';
            ++i;
        }
    }
    spoken = spoken.trimmed();
    while (spoken.endsWith(u':'))
        spoken = spoken.chopped(1).trimmed();
    return spoken;
}

namespace {

const char* const kBoxMessage = "quilletBoxMessage";

class BoxMessageAccessible : public QAccessibleWidget {
public:
    explicit BoxMessageAccessible(QLabel* message) : QAccessibleWidget(message, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<QLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(QAccessible::Relation match) const override
    {
        auto found = QAccessibleWidget::relations(match);
        QWidget* box = widget()->window();
        if ((match & QAccessible::Labelled) && !box->accessibleDescription().isEmpty())
            found.append({QAccessible::queryAccessibleInterface(box), QAccessible::Labelled});
        return found;
    }
};

QAccessibleInterface* boxMessageFactory(const QString& key, QObject* object)
{
    auto* label = key == QLatin1String("QLabel") ? qobject_cast<QLabel*>(object) : nullptr;
    return label && label->property(kBoxMessage).toBool() ? new BoxMessageAccessible(label) : nullptr;
}

// Marks `object` with `mark`, for which `factory` makes its interface (the
// factory is installed on first use). Qt keeps an interface it made for the
// object before (a reader listened while it was set up): one that `made`
// does not take for the factory's is made again, through the factory.
void readThroughFactory(QObject* object, const char* mark, QAccessible::InterfaceFactory factory,
                        bool (*made)(QAccessibleInterface*))
{
    static std::vector<QAccessible::InterfaceFactory> installed;
    if (std::find(installed.begin(), installed.end(), factory) == installed.end()) {
        QAccessible::installFactory(factory);
        installed.push_back(factory);
    }
    object->setProperty(mark, true);
    QAccessibleInterface* kept = QAccessible::queryAccessibleInterface(object);
    if (kept && !made(kept))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(kept));
}

}  // namespace

void MarkBoxMessage(QLabel* message)
{
    readThroughFactory(message, kBoxMessage, boxMessageFactory,
                       [](QAccessibleInterface* i) { return dynamic_cast<BoxMessageAccessible*>(i) != nullptr; });
}

namespace {

const char* const kDescribedByEntry = "quilletDescribedByEntry";

// The entry a closed combo box shows becomes its description, kept as the
// entry changes: readers read a combo box's name and description, and some
// (Orca with Qt 6.4) never its value. Nor do they speak a description that
// changed, so the entry the user picks is also said.
void describeByEntry(QComboBox* box)
{
    if (box->property(kDescribedByEntry).toBool())
        return;
    box->setProperty(kDescribedByEntry, true);
    box->setAccessibleDescription(box->currentText());
    QObject::connect(box, &QComboBox::currentTextChanged, box,
                     [box](const QString& entry) { box->setAccessibleDescription(entry); });
    QObject::connect(box, &QComboBox::activated, box, [box] { Announce(box->currentText(), box); });
}

}  // namespace

void TieLabel(QLabel* label, QWidget* field)
{
    label->setBuddy(field);
    field->setAccessibleName(SpokenCaption(label->text()));
    if (auto* box = qobject_cast<QComboBox*>(field))
        describeByEntry(box);
}

QLabel* NewLabelFor(const QString& text, QWidget* field)
{
    auto* label = new QLabel(text, field->parentWidget());
    TieLabel(label, field);
    return label;
}

void DescribeWith(QLabel* note, QWidget* field)
{
    note->setBuddy(field);  // the relation readers look for
    field->setAccessibleDescription(SpokenCaption(note->text()));
}

namespace {

const char* const kTabLayer = "quilletTabLayer";

// A tab widget's page layer, read as a plain container, which readers pass
// over when it has no name.
QAccessibleInterface* tabLayerFactory(const QString& key, QObject* object)
{
    auto* layer = key == QLatin1String("QStackedWidget") ? qobject_cast<QStackedWidget*>(object) : nullptr;
    return layer && layer->property(kTabLayer).toBool() ? new QAccessibleWidget(layer, QAccessible::Client) : nullptr;
}

}  // namespace

void PassOverTabLayer(QTabWidget* tabs)
{
    if (auto* layer = tabs->findChild<QStackedWidget*>(QString(), Qt::FindDirectChildrenOnly))
        readThroughFactory(layer, kTabLayer, tabLayerFactory,
                           [](QAccessibleInterface* i) { return i->role() == QAccessible::Client; });
}

void OrderFocus(const QList<QWidget*>& order)
{
    QList<QWidget*> stops;
    for (QWidget* w : order) {
        if (w->focusPolicy() & Qt::TabFocus) {
            stops.append(w);
            continue;
        }
        for (QWidget* control : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (control->focusPolicy() & Qt::TabFocus)
                stops.append(control);
    }
    if (stops.size() < 2)
        return;
    // Qt leaves a widget that stands first in the chain where it is when it
    // is to follow the last one (Tab goes round either way), so that controls
    // made later would come between them: such widgets move behind the first.
    QWidget* window = stops.front()->window();
    for (qsizetype moved = 0; moved < stops.size(); ++moved) {
        QWidget* head = firstStop(window);
        if (head == stops.front() || !stops.contains(head))
            break;
        QWidget::setTabOrder(stops.front(), head);
    }
    for (qsizetype i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1], stops[i]);
}

void NoAutoDefaultButtons(QWidget* window)
{
    for (QPushButton* button : window->findChildren<QPushButton*>())
        button->setAutoDefault(false);
}

void ShowFocusFrame(QWidget* widget) { new FocusFrameKeeper(widget); }

namespace {

// Counts the boxes and windows opened or closed over others: a retry to give
// the focus back stands only while none has been since it was asked for (a
// window opened meanwhile is the user's to focus, and a retry made for an
// earlier one would put the focus behind it).
unsigned g_focusChanges = 0;

// The window given the focus back that is not active yet, and until when it
// may come (see TakeWindowComingBack).
QPointer<QWidget> g_comingBack;
QDeadlineTimer g_comingBackUntil;
constexpr int kComingBackMs = 2500;  // past the last retry below

}  // namespace

FocusReturn::FocusReturn(QWidget* owner)
    : widget_(QApplication::focusWidget()), hadActive_(QApplication::activeWindow() != nullptr)
{
    ++g_focusChanges;
    g_comingBack = nullptr;  // this box or window comes first
    if (widget_)
        window_ = widget_->window();
    else if (owner)
        window_ = owner->window();
    else
        window_ = QApplication::activeWindow();
}

namespace {

// Gives the focus back to `widget` and makes `window` active again. When the
// desktop's focus is on the window already, the window manager has nothing
// to do and sends no focus event: Qt is told itself. When it is on another
// application's window, the user has gone there and keeps it.
void takeBack(QWidget* window, QWidget* widget)
{
    if (widget && widget->isVisible() && widget->isEnabled())
        widget->setFocus(Qt::OtherFocusReason);
    switch (DesktopFocusFor(window)) {
    case DesktopFocus::OnWindow:
        QApplication::setActiveWindow(window);
        break;
    case DesktopFocus::Elsewhere:
        break;
    case DesktopFocus::Nowhere:
    case DesktopFocus::Unknown:
        window->activateWindow();
        break;
    }
}

}  // namespace

FocusReturn::~FocusReturn()
{
    QWidget* window = window_;
    while (window && !window->isVisible())
        window = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    if (!window)
        return;
    QPointer<QWidget> widget = widget_ && widget_->window() == window ? widget_ : nullptr;
    takeBack(window, widget);
    if (hadActive_ && QApplication::activeWindow() != window) {
        g_comingBack = window;
        g_comingBackUntil = QDeadlineTimer(kComingBackMs);
    }
    // The window manager may still be busy with the window that closed and
    // drop the request, or give the focus back unseen: asked again while no
    // window of the program is active, a few times over the next moments
    // (never once another box or window has opened or closed).
    const unsigned asked = ++g_focusChanges;
    for (const int ms : {50, 150, 400, 1000, 2000})
        QTimer::singleShot(ms, window, [window = QPointer<QWidget>(window), widget, asked] {
            if (asked != g_focusChanges || QApplication::activeWindow() || !window || !window->isVisible())
                return;
            takeBack(window, widget);
        });
}

QWidget* TakeWindowComingBack(QDeadlineTimer& until)
{
    QWidget* window = g_comingBackUntil.hasExpired() ? nullptr : g_comingBack.data();
    until = g_comingBackUntil;
    g_comingBack = nullptr;
    return window;
}

namespace {

QAccessible::UpdateHandler g_beforeMasking = nullptr;

// Hands the event on to whoever got it before this handler was installed
// (Qt's bridge to the reader when nobody).
void passOn(QAccessibleEvent* event)
{
    if (g_beforeMasking) {
        g_beforeMasking(event);
        return;
    }
    QAccessible::UpdateHandler self = QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(self);
}

// The password field an event is about, when it is one.
QLineEdit* passwordFieldOf(QAccessibleEvent* event)
{
    QObject* object = event->object();
    if (!object)
        if (QAccessibleInterface* iface = event->accessibleInterface())
            object = iface->object();
    auto* edit = qobject_cast<QLineEdit*>(object);
    return edit && edit->echoMode() != QLineEdit::Normal ? edit : nullptr;
}

// Text changes of password fields go on with the text masked.
void maskPasswordText(QAccessibleEvent* event)
{
    QLineEdit* edit = nullptr;
    switch (event->type()) {
    case QAccessible::TextInserted:
    case QAccessible::TextRemoved:
    case QAccessible::TextUpdated:
        edit = passwordFieldOf(event);
        break;
    default:
        break;
    }
    if (!edit) {
        passOn(event);
        return;
    }
    const QChar mask(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit));
    auto masked = [&](const QString& text) {
        return edit->echoMode() == QLineEdit::NoEcho ? QString() : QString(text.size(), mask);
    };
    if (event->type() == QAccessible::TextInserted) {
        auto* e = static_cast<QAccessibleTextInsertEvent*>(event);
        QAccessibleTextInsertEvent hidden(edit, e->changePosition(), masked(e->textInserted()));
        passOn(&hidden);
    } else if (event->type() == QAccessible::TextRemoved) {
        auto* e = static_cast<QAccessibleTextRemoveEvent*>(event);
        QAccessibleTextRemoveEvent hidden(edit, e->changePosition(), masked(e->textRemoved()));
        passOn(&hidden);
    } else {
        auto* e = static_cast<QAccessibleTextUpdateEvent*>(event);
        QAccessibleTextUpdateEvent hidden(edit, e->changePosition(), masked(e->textRemoved()),
                                          masked(e->textInserted()));
        passOn(&hidden);
    }
}

}  // namespace

void MakePasswordField(QLineEdit* edit)
{
    static const bool masking = [] {
        g_beforeMasking = QAccessible::installUpdateHandler(maskPasswordText);
        return true;
    }();
    (void)masking;
    edit->setEchoMode(QLineEdit::Password);
}

}  // namespace platform

#include "accessibility.moc"
