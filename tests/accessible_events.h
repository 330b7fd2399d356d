// What a screen reader hears from the program's self-drawn controls, read in
// process: the events the controls send (through platform's observer; Qt
// itself drops them while no reader listens on the bus) written as short
// texts, the accessible interfaces of widgets and table cells, and the
// keyboard focus given as a key gives it.
#pragma once

#include "platform/accessibility.h"

#include <QAccessible>
#include <QApplication>
#include <QString>
#include <QTest>
#include <QWidget>

#include <string>
#include <vector>

using Strings = std::vector<std::string>;

// Every event sent while it lives, as text: "Focus 2,1 Smith" (table row and
// column of the cell, and its name), "Selection 2,1", "SelectionAdd 3,1",
// "ModelReset", "DataChanged 4-4", "SelectionWithin", and "Notification
// Page 2 of 3" for what a window's announcer was shown saying.
class HeardEvents {
public:
    HeardEvents()
    {
        platform::SetAccessibleEventObserver([this](QAccessibleEvent& e) { heard_.push_back(describe(e)); });
    }
    ~HeardEvents() { platform::SetAccessibleEventObserver({}); }
    HeardEvents(const HeardEvents&) = delete;
    HeardEvents& operator=(const HeardEvents&) = delete;

    // What was heard since the last call, posted work done first: work posted
    // once an event was handled may post what it says in turn.
    std::vector<std::string> take()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
        std::vector<std::string> out;
        out.swap(heard_);
        return out;
    }

    static std::string describe(QAccessibleEvent& e)
    {
        if (e.type() == QAccessible::TableModelChanged) {
            auto& m = static_cast<QAccessibleTableModelChangeEvent&>(e);
            switch (m.modelChangeType()) {
            case QAccessibleTableModelChangeEvent::ModelReset: return "ModelReset";
            case QAccessibleTableModelChangeEvent::DataChanged:
                return "DataChanged " + std::to_string(m.firstRow()) + "-" + std::to_string(m.lastRow());
            default: return "TableModelChanged";
            }
        }
        QAccessibleInterface* iface = e.accessibleInterface();
        if (e.type() == QAccessible::ObjectShow && iface && iface->role() == QAccessible::Notification)
            return "Notification " + iface->text(QAccessible::Name).toStdString();
        std::string text;
        switch (e.type()) {
        case QAccessible::Focus: text = "Focus"; break;
        case QAccessible::Selection: text = "Selection"; break;
        case QAccessible::SelectionAdd: text = "SelectionAdd"; break;
        case QAccessible::SelectionRemove: text = "SelectionRemove"; break;
        case QAccessible::SelectionWithin: text = "SelectionWithin"; break;
        case QAccessible::ValueChanged: {
            auto& v = static_cast<QAccessibleValueChangeEvent&>(e);
            return "ValueChanged " + v.value().toString().toStdString();
        }
        default: text = qAccessibleEventString(e.type()); break;
        }
        if (QAccessibleTableCellInterface* cell = iface ? iface->tableCellInterface() : nullptr) {
            text += " " + std::to_string(cell->rowIndex()) + "," + std::to_string(cell->columnIndex());
            if (e.type() == QAccessible::Focus)
                text += " " + iface->text(QAccessible::Name).toStdString();
        }
        return text;
    }

private:
    std::vector<std::string> heard_;
};

// Of the texts heard, what announcers said.
inline Strings said(const Strings& heard)
{
    Strings out;
    for (const std::string& h : heard)
        if (h.rfind("Notification ", 0) == 0)
            out.push_back(h);
    return out;
}

inline QAccessibleInterface* accessibleOf(QObject* o) { return QAccessible::queryAccessibleInterface(o); }

inline QString nameOf(QAccessibleInterface* iface) { return iface ? iface->text(QAccessible::Name) : QString(); }

// True when the label says it labels its window: a box whose description
// carries the label's text, which readers then read once.
inline bool labelsItsWindow(QWidget* label)
{
    for (const auto& [other, relation] : accessibleOf(label)->relations(QAccessible::Labelled))
        if (other->object() == label->window())
            return true;
    return false;
}

// The interface of the widget that has the keyboard focus.
inline QAccessibleInterface* focusedInterface() { return accessibleOf(QApplication::focusWidget()); }

// Gives the widget the keyboard focus, its window made active, as Tab does;
// false when the focus did not come.
inline bool giveFocus(QWidget* w)
{
    w->activateWindow();
    w->setFocus(Qt::TabFocusReason);
    return QTest::qWaitFor([w] { return w->hasFocus(); });
}
