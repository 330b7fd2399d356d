// For tests of what a screen reader hears: Qt hands accessibility events to
// an installed update handler only while the platform's accessibility is
// switched on, which a screen reader's bridge does. The offscreen platform
// keeps Qt's plain one, switched off; ListenAsScreenReader switches it on
// and records the events until it goes. Qt has no public call for this: the
// declarations below name the functions of its platform interface (present
// in every Qt 6 library, not in its public headers).
#pragma once

#include <QAccessible>
#include <QList>
#include <QObject>
#include <QPointer>

class QPlatformAccessibility {
public:
    void setActive(bool active);
};
class QPlatformIntegration {
public:
    QPlatformAccessibility* accessibility() const;
};
class QGuiApplicationPrivate {
public:
    static QPlatformIntegration* platform_integration;
};

// One event as it was sent: its kind and the control it is about.
struct HeardEvent {
    QAccessible::Event type;
    QPointer<QObject> object;
};

class ListenAsScreenReader {
public:
    ListenAsScreenReader()
    {
        heard().clear();
        QAccessible::installUpdateHandler(&record);
        QGuiApplicationPrivate::platform_integration->accessibility()->setActive(true);
    }
    ~ListenAsScreenReader()
    {
        QGuiApplicationPrivate::platform_integration->accessibility()->setActive(false);
        QAccessible::installUpdateHandler(nullptr);
    }
    ListenAsScreenReader(const ListenAsScreenReader&) = delete;
    ListenAsScreenReader& operator=(const ListenAsScreenReader&) = delete;

    // How many events of one kind about `object` came since the last Clear.
    int Count(QAccessible::Event type, const QObject* object) const
    {
        int n = 0;
        for (const HeardEvent& e : heard())
            n += e.type == type && e.object == object;
        return n;
    }
    void Clear() { heard().clear(); }

private:
    static QList<HeardEvent>& heard()
    {
        static QList<HeardEvent> events;
        return events;
    }
    static void record(QAccessibleEvent* event) { heard().append({event->type(), event->object()}); }
};
