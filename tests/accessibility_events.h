// For tests of what a screen reader hears. Qt hands accessibility events to
// an update handler only while the platform's accessibility is switched on,
// as a screen reader's bridge does; the offscreen platform keeps Qt's plain
// one, switched off. ListenAsScreenReader switches it on and records the
// events while it lives. Qt has no public call for this: the declarations
// below name functions of its platform interface (in every Qt 6 library,
// not in its public headers).
#pragma once

#include <QAccessible>
#include <QList>
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

class ListenAsScreenReader {
public:
    ListenAsScreenReader() { listen(true); }
    ~ListenAsScreenReader() { listen(false); }
    ListenAsScreenReader(const ListenAsScreenReader&) = delete;
    ListenAsScreenReader& operator=(const ListenAsScreenReader&) = delete;

    // How many events of one kind about `object` came since the last Clear.
    int Count(QAccessible::Event type, const QObject* object) const
    {
        int n = 0;
        for (const auto& [t, o] : heard())
            n += t == type && o == object;
        return n;
    }
    void Clear() { heard().clear(); }

private:
    static QList<std::pair<QAccessible::Event, QPointer<QObject>>>& heard()
    {
        static QList<std::pair<QAccessible::Event, QPointer<QObject>>> events;
        return events;
    }
    static void record(QAccessibleEvent* event) { heard().append({event->type(), event->object()}); }
    static void listen(bool on)
    {
        heard().clear();
        QAccessible::installUpdateHandler(on ? &record : nullptr);
        QGuiApplicationPrivate::platform_integration->accessibility()->setActive(on);
    }
};
