// What a screen reader reads in every window, read in-process through Qt's
// accessibility interfaces, and how far the keyboard alone goes: every
// control that takes input has a name of its own (its label, or what its
// button does), Tab reaches each of them in the order the window shows them
// and shows where the focus is, the print preview tells the page it shows
// and each change of it, and the contact list reads as a table.
#include "mainwindow_fixture.h"

#include "accessible_events.h"
#include "app/editor.h"
#include "app/login.h"
#include "backup/backupform.h"
#include "documents/cardform.h"
#include "documents/chequeform.h"
#include "documents/emailform.h"
#include "documents/envelopeform.h"
#include "documents/mailinsertform.h"
#include "documents/printpreviewform.h"
#include "documents/reportform.h"
#include "documents/savechequeform.h"
#include "platform/printer.h"
#include "platform/shell.h"
#include "printing/pvpreview.h"

#include <QAccessible>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

namespace {

using Look = std::function<void(QWidget&)>;

void showAndLook(QWidget& window, const Look& look)
{
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    look(window);
}

// Each window made as the program makes it, owned by the main window, and
// looked at while it is shown; the message and input boxes come from the
// dialog service, as the program shows them.
using Showing = std::function<void(TMainListForm&, const Look&)>;
template <class Form>
Showing made()
{
    return [](TMainListForm& main, const Look& look) {
        Form form(&main);
        showAndLook(form, look);
    };
}
Showing boxed(const std::function<void(FormDialogs&, QWidget*)>& ask)
{
    return [ask](TMainListForm& main, const Look& look) {
        const ModalRunner before = SetModalRunner([&look](QDialog& form) {
            showAndLook(form, look);
            return 2;
        });
        FormDialogs boxes;
        ask(boxes, &main);
        SetModalRunner(before);
    };
}
// Each window with the buttons whose work Enter and Escape do as it opens;
// none: the key does nothing there (Enter in a field of a window that has no
// default button, Escape in the main window).
struct Window {
    std::string name;
    Showing show;
    const char* enter;
    const char* escape;
};
const Window kWindows[] = {
    {"main", [](TMainListForm& main, const Look& look) { showAndLook(main, look); }, nullptr, nullptr},
    {"editor", made<TMainForm>(), nullptr, "&Cancel F12"},
    {"cheque", made<TChequeForm>(), nullptr, "&Close F12"},
    {"save cheque", made<TSaveChequeForm>(), nullptr, "&Cancel F12"},
    {"envelope", made<TEnvelopeForm>(), nullptr, "&Close F12"},
    {"card", made<TCardForm>(), nullptr, "&Close"},
    {"report", made<TReportForm>(), nullptr, "&Close F12"},
    {"list print", made<TPrintPreviewForm>(), nullptr, "&Close"},
    {"e-mail", made<TEmailForm>(), nullptr, "&Close"},
    {"mail template", made<TMailInsertForm>(), nullptr, "Cancel F12"},
    {"setup", made<TBackupForm>(), nullptr, "&Close"},
    {"login", made<TLoginForm>(), "&Login", "&Exit"},
    {"password", made<TPasswordForm>(), "&Done", "&Cancel"},
    {"about", made<TAboutForm>(), "Close", "Close"},
    {"message", boxed([](FormDialogs& boxes, QWidget* owner) { boxes.AskQuestion("Exit the system?", {}, owner); }),
     "&Yes F10", "&No F12"},
    {"input",
     boxed([](FormDialogs& boxes, QWidget* owner) {
         QString text;
         boxes.AskText("Enter the category: ", text, {}, owner);
     }),
     nullptr, "&Cancel F12"},
};

// A control that a screen reader meets and the user works: a node that takes
// the focus, is edited or pressed. A widget that passes its focus on stands
// back for the one it passes it to; a table's cells are the table's own
// reading; scroll bars move with their area's keys.
struct Input {
    QAccessibleInterface* node;
    QWidget* widget;  // null for a part of a widget (a tab of a tab bar)
};
void collectInputs(QAccessibleInterface* node, QList<Input>& out)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        if (!child || child->state().invisible)
            continue;
        auto* widget = qobject_cast<QWidget*>(child->object());
        const QAccessibleActionInterface* actions = child->actionInterface();
        const bool takesInput = child->state().focusable || child->state().editable ||
                                (actions && !actions->actionNames().isEmpty());
        if (takesInput && !(widget && widget->focusProxy()) && child->role() != QAccessible::ScrollBar)
            out.append({child, widget});
        if (!child->tableInterface())
            collectInputs(child, out);
    }
}
QList<Input> inputsOf(QWidget& window)
{
    QList<Input> inputs;
    collectInputs(QAccessible::queryAccessibleInterface(&window), inputs);
    return inputs;
}

// The name a screen reader says for a control. On this platform Qt names a
// combo box by its entry and gives its label as a relation; the reader says
// the label, passing over its ":".
QString heardName(QAccessibleInterface* node)
{
    if (node->role() != QAccessible::ComboBox)
        return node->text(QAccessible::Name);
    for (const auto& [label, relation] : node->relations(QAccessible::Label))
        return label->text(QAccessible::Name).remove(QRegularExpression("[:\\s]+$"));
    return {};
}
QString heardName(QWidget* w) { return heardName(QAccessible::queryAccessibleInterface(w)); }

// The pixels around a control, its focus frame included.
QImage around(QWidget& window, QWidget& control)
{
    const QRect r(control.mapTo(&window, QPoint(0, 0)), control.size());
    return window.grab(r.adjusted(-3, -3, 3, 3)).toImage();
}

// Presses Tab until the focus leaves the control that has it (a date takes a
// Tab for each of its day, month and year); the control that has it then.
QWidget* tabOn()
{
    QWidget* at = QApplication::focusWidget();
    for (int steps = 0; steps < 8 && QApplication::focusWidget() == at; ++steps)
        QTest::keyClick(at, Qt::Key_Tab);
    return QApplication::focusWidget();
}

// A stop of Tab, and whether the control looks otherwise with the focus than
// it did with none in the window (with one stop, the focus has nowhere else
// to be).
struct Stop {
    QWidget* widget;
    bool focusShows;
};
// The controls Tab stops at, round the window; one that keeps Tab for itself
// ends the round.
QList<Stop> tabStops(QWidget& window)
{
    if (QApplication::focusWidget())
        QApplication::focusWidget()->clearFocus();
    std::map<QWidget*, QImage> atRest;
    for (QWidget* w : window.findChildren<QWidget*>())
        if (w->isVisible() && (w->focusPolicy() & Qt::TabFocus))
            atRest[w] = around(window, *w);
    // a key, not the mouse, brings the focus: the style shows it from then on
    QTest::keyClick(&window, Qt::Key_Tab);
    QList<Stop> stops;
    for (QWidget* at = QApplication::focusWidget(); at && stops.size() < 200; at = tabOn()) {
        if (!stops.isEmpty() && (at == stops.front().widget || at == stops.back().widget))
            break;
        stops.append({at, atRest[at] != around(window, *at)});
    }
    if (stops.size() == 1)
        stops.front().focusShows = true;
    return stops;
}

class Accessible : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        QApplication::setCursorFlashTime(0);  // a caret that blinks would come and go between pictures
        ASSERT_EQ(start(), -1);
    }
    void TearDown() override
    {
        database.commit();
        MainWindowTest::TearDown();
    }
};

// A control of a window and its name, where no visible caption of its own
// gives it: the names made from a layout field's caption, and a label's
// caption without its ":" (the main window and the editor say theirs in the
// Tab order below).
template <class W, class C>
std::function<QWidget*(QWidget&)> field(C* W::*member)
{
    return [member](QWidget& window) -> QWidget* { return dynamic_cast<W&>(window).*member; };
}
const std::tuple<std::string, std::function<QWidget*(QWidget&)>, const char*> kNames[] = {
    {"cheque", field(&TChequeForm::nameLeft), "Pay left"},
    {"cheque", field(&TChequeForm::amountTextFont), "Words font"},
    {"cheque", field(&TChequeForm::deleteImage2Button), "Delete image 2"},
    {"save cheque", field(&TSaveChequeForm::chequeNo), "Cheque No"},
    {"input", field(&TInputForm::inputText), "Enter the category"},
};

TEST_F(Accessible, EveryControlThatTakesInputHasANameOfItsOwn)
{
    for (const auto& [name, show, enter, escape] : kWindows) {
        show(*window, [&, name = name](QWidget& w) {
            SCOPED_TRACE(name);
            std::map<QString, int> uses;
            for (const Input& input : inputsOf(w)) {
                const QString heard = heardName(input.node);
                EXPECT_FALSE(heard.trimmed().isEmpty()) << input.node->role();
                if (input.widget)  // a tab bar is named by its chosen tab
                    ++uses[heard];
            }
            EXPECT_FALSE(uses.empty());
            for (const auto& [heard, count] : uses)
                EXPECT_EQ(count, 1) << "'" << heard.toStdString() << "' names " << count << " controls";
            for (const auto& [window, control, heard] : kNames)
                if (window == name) {
                    EXPECT_EQ(heardName(control(w)).toStdString(), heard);
                }
        });
    }
}

// In the main window and the editor Tab goes in the order they show.
TEST_F(Accessible, TabReachesEveryControlThatTakesInputInOrderAndShowsWhereTheFocusIs)
{
    const std::map<std::string, QStringList> orders = {
        {"main",
         {"ID", "Name", "Contact", "Tel", "Mobile", "Email", "Category", "Sort by", "Descending", "Customer list",
          "Insert F2", "Delete F3", "Update F4", "Card F5", "Password F6", "Envelope F7", "Cheque F8", "Export F9",
          "Email F10", "Website F11", "Report Ctrl+R", "Help F1", "Import", "Setup", "Print", "Exit F12"}},
        {"editor",
         {"Name", "Address", "Address line 2", "Address line 3", "Contact", "Category", "Add new category",
          "Delete category", "Edit category", "Tel", "Mobile", "ID", "Fax", "Email", "Send email to this customer",
          "Website", "Visit the website", "Cheque Amount", "Remark", "Card picture", "Open", "Delete", "Scan",
          "Save F10", "Cancel F12", "Help F1"}},
    };
    for (const auto& [name, show, enter, escape] : kWindows) {
        show(*window, [&, name = name](QWidget& w) {
            SCOPED_TRACE(name);
            std::set<QWidget*> reached;
            QStringList heard;
            for (const Stop& stop : tabStops(w)) {
                reached.insert(stop.widget);
                heard << heardName(stop.widget);
                EXPECT_TRUE(stop.focusShows) << heard.back().toStdString();
            }
            if (orders.count(name)) {
                EXPECT_EQ(heard.join(" | ").toStdString(), orders.at(name).join(" | ").toStdString());
            }
            for (const Input& input : inputsOf(w)) {
                // a part comes with its widget; of radio buttons, Tab reaches the chosen one
                auto* radio = qobject_cast<QRadioButton*>(input.widget);
                if (input.widget && input.widget->isEnabled() && (!radio || radio->isChecked())) {
                    EXPECT_TRUE(reached.count(input.widget)) << heardName(input.node).toStdString();
                }
            }
        });
    }
}

// What a key or a button did to a window: whether it closed and accepted,
// what it asked or said, which windows it opened and which addresses it
// handed to the desktop.
struct Effect {
    bool open = true;
    bool accepted = false;
    QStringList told;
    bool operator==(const Effect&) const = default;
};
void PrintTo(const Effect& e, std::ostream* out)
{
    *out << (e.open ? "open" : e.accepted ? "accepted" : "closed") << " [" << e.told.join(" | ").toStdString()
         << "]";
}
Effect effectOf(QWidget& w, const std::function<void()>& act, platform::ScriptedDialogs& dialogs)
{
    platform::CapturingShell shell;
    Effect effect;
    const ModalRunner before = SetModalRunner([&effect](QDialog& form) {
        effect.told << "window " + form.windowTitle();
        return 2;
    });
    const std::size_t shown = dialogs.shown.size();
    act();
    SetModalRunner(before);
    effect.open = w.isVisible();
    auto* dialog = qobject_cast<QDialog*>(&w);
    effect.accepted = !effect.open && dialog && dialog->result() == 1;
    for (std::size_t i = shown; i < dialogs.shown.size(); ++i) effect.told << dialogs.shown[i].text;
    for (const QUrl& url : shell.launched) effect.told << "opened " + url.toString();
    return effect;
}
// The key pressed where the focus is as the window opens.
std::function<void()> pressing(QWidget& w, Qt::Key key)
{
    return [&w, key] {
        QWidget* at = QApplication::focusWidget();
        QTest::keyClick(at && at->window() == &w ? at : &w, key);
    };
}
QPushButton* buttonOf(QWidget& w, const QString& caption)
{
    for (QPushButton* b : w.findChildren<QPushButton*>())
        if (b->text() == caption && b->isVisible()) return b;
    return nullptr;
}

TEST_F(Accessible, EnterAndEscapeAsAWindowOpensDoWhatItsDefaultButtonAndCancelDo)
{
    for (const auto& [name, show, enter, escape] : kWindows) {
        for (const auto& [key, caption] : {std::pair{Qt::Key_Return, enter}, std::pair{Qt::Key_Escape, escape}}) {
            SCOPED_TRACE(name + (key == Qt::Key_Return ? " Enter" : " Escape"));
            Effect pressed, clicked;
            show(*window, [&](QWidget& w) { pressed = effectOf(w, pressing(w, key), dialogs); });
            if (caption) {
                show(*window, [&, caption = caption](QWidget& w) {
                    QPushButton* button = buttonOf(w, caption);
                    ASSERT_NE(button, nullptr) << caption;
                    clicked = effectOf(w, [button] { button->click(); }, dialogs);
                });
                EXPECT_FALSE(clicked == Effect{}) << caption << " does nothing";
            }
            EXPECT_EQ(pressed, clicked);
            window->show();  // a key that closed the main window
        }
    }
}

// A combo box with a label reads the entry it shows as its description, in
// every window, and the description follows the entry; the entry the user
// picks with a key is said (first, where the window says more).
TEST_F(Accessible, EveryLabelledComboBoxReadsItsEntry)
{
    HeardEvents heard;
    int boxes = 0;
    for (const auto& [name, show, enter, escape] : kWindows) {
        show(*window, [&, name = name](QWidget& w) {
            for (QComboBox* box : w.findChildren<QComboBox*>()) {
                const auto labels = accessibleOf(box)->relations(QAccessible::Label);
                if (labels.isEmpty()) continue;
                SCOPED_TRACE(name + " " + box->accessibleName().toStdString());
                ++boxes;
                box->addItem("Added entry");
                box->setCurrentIndex(box->count() - 1);
                EXPECT_EQ(accessibleOf(box)->text(QAccessible::Description), "Added entry");
                box->setCurrentIndex(box->count() - 2);
                EXPECT_EQ(accessibleOf(box)->text(QAccessible::Description), box->currentText());
                ASSERT_TRUE(giveFocus(box));
                heard.take();
                QTest::keyClick(box, Qt::Key_Down);
                const Strings told = said(heard.take());
                ASSERT_EQ(told.size(), 1u);
                EXPECT_EQ(told[0].rfind("Notification Added entry", 0), 0u) << told[0];
            }
        });
    }
    EXPECT_EQ(boxes, 7) << "main 2, editor, cheque, envelope, report, e-mail";
}

// The wheel turned over a widget as the window system hands it on: it may
// give the widget the focus, and goes on to the widgets around it while
// none takes it.
void turnWheel(QWidget* over, int delta)
{
    const QPointF at(over->width() / 2, over->height() / 2);
    QWheelEvent wheel(at, over->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    QApplication::instance()->notify(over, &wheel);
}

// In a window too small for its body, the wheel turned over a combo box
// scrolls the window, until the box has the focus; then it changes the entry.
TEST_F(Accessible, AWheelOverAComboBoxScrollsTheWindowUntilTheBoxHasTheFocus)
{
    QStringList boxes;
    for (const auto& [name, show, enter, escape] : kWindows) {
        show(*window, [&, name = name](QWidget& w) {
            w.setMinimumSize(0, 0);  // as on a screen smaller than the main window's least size
            w.resize(200, 100);
            for (QComboBox* box : w.findChildren<QComboBox*>()) {
                QScrollArea* area = nullptr;
                for (QWidget* up = box->parentWidget(); up && !area; up = up->parentWidget())
                    area = qobject_cast<QScrollArea*>(up);
                if (!area || !box->isVisibleTo(&w)) continue;
                SCOPED_TRACE(name + " " + box->accessibleName().toStdString());
                boxes << QString::fromStdString(name) + " " + box->accessibleName();
                box->addItem("One more");
                box->addItem("And another");
                box->setCurrentIndex(box->count() - 2);
                area->ensureWidgetVisible(box);
                QScrollBar* bar = area->verticalScrollBar();
                ASSERT_GT(bar->maximum(), 0);
                const int at = bar->value();
                box->clearFocus();
                turnWheel(box, at < bar->maximum() ? -120 : 120);
                EXPECT_NE(bar->value(), at);
                EXPECT_FALSE(box->hasFocus());
                EXPECT_EQ(box->currentIndex(), box->count() - 2);
                area->ensureWidgetVisible(box);
                ASSERT_TRUE(giveFocus(box));
                turnWheel(box, -120);
                EXPECT_EQ(box->currentIndex(), box->count() - 1);
            }
        });
    }
    EXPECT_EQ(boxes.join(", ").toStdString(),
              "main Category, main Sort by, editor Category, cheque Setting, envelope Setting, report Setting, "
              "e-mail Setting");
}

// The layout windows as the main window opens them for a contact: moving
// round one by Tab, with Enter at every stop, changes nothing, so Close asks
// nothing (Yes would store the layout and the amount on the contact); a
// character typed in an edit of the layout is a change, which Close and
// Escape ask about. Each with its action and the edit typed in.
template <class Form>
std::function<void(QWidget&)> typingIn(QLineEdit* Form::*edit)
{
    return [edit](QWidget& w) { QTest::keyClick(dynamic_cast<Form&>(w).*edit, Qt::Key_5); };
}
const std::tuple<std::string, QAction* TMainListForm::*, std::function<void(QWidget&)>> kLayoutWindows[] = {
    {"cheque", &TMainListForm::chequeAction, typingIn(&TChequeForm::separateLen)},
    {"envelope", &TMainListForm::envelopeAction, typingIn(&TEnvelopeForm::titleTop)},
};

TEST_F(Accessible, MovingRoundALayoutWindowChangesNothingTypingDoes)
{
    insert(Customer{.id = 1, .name = "Acme"});
    ASSERT_TRUE(database.commit());
    window->RefreshGrid();
    window->grid->SetRowSelect(1, true);
    for (const auto& [name, action, type] : kLayoutWindows) {
        for (const auto& [typed, escape] : {std::pair{false, false}, {true, false}, {true, true}}) {
            SCOPED_TRACE(name + (typed ? " typed in" : "") + (escape ? ", Escape" : ""));
            SetModalRunner([&, typed, escape, type = type](QDialog& form) {
                showAndLook(form, [&](QWidget& w) {
                    for (const Stop& stop : tabStops(w)) {
                        stop.widget->setFocus(Qt::TabFocusReason);
                        QTest::keyClick(stop.widget, Qt::Key_Return);
                    }
                    if (typed) type(w);
                    if (escape)
                        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                    else
                        buttonOf(w, "&Close F12")->click();
                });
                return form.result();
            });
            dialogs.shown.clear();
            (window.get()->*action)->trigger();
            EXPECT_EQ(dialogs.Questions().size(), typed ? 1 : 0);
        }
    }
}

TEST_F(Accessible, ThePrintPreviewTellsThePageItShowsAndEachChange)
{
    HeardEvents listening;
    TPrintPreviewForm form(window.get());
    TPvPreview& preview = *form.PvPreview1;
    preview.NewPage();
    preview.NewPage();
    form.show();  // on the first page
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(&preview);
    EXPECT_EQ(read->text(QAccessible::Description), "Page 1 of 3");
    // A page turned is also said, as the focus stays on the button.
    const std::tuple<const char*, std::function<void()>, const char*, int, Strings> steps[] = {
        {"next", [&] { form.uNext->click(); }, "Page 2 of 3", 1, {"Notification Page 2 of 3"}},
        {"last", [&] { form.uLast->click(); }, "Page 3 of 3", 1, {"Notification Page 3 of 3"}},
        {"next on the last page", [&] { preview.NextPage(); }, "Page 3 of 3", 0, {}},
        {"a page added", [&] { preview.NewPage(); }, "Page 4 of 4", 1, {}},
        {"the page shown deleted", [&] { preview.DeletePage(4); }, "Page 3 of 3", 1, {}},
        {"previous", [&] { form.uPrevious->click(); }, "Page 2 of 3", 1, {"Notification Page 2 of 3"}},
        {"first", [&] { form.uFirst->click(); }, "Page 1 of 3", 1, {"Notification Page 1 of 3"}},
        {"another page deleted", [&] { preview.DeletePage(2); }, "Page 1 of 2", 1, {}},
        {"every page deleted", [&] { preview.DeleteAllPages(false); }, "No pages", 1, {}},
    };
    for (const auto& [what, act, heard, told, spoken] : steps) {
        listening.take();
        act();
        EXPECT_EQ(read->text(QAccessible::Description).toStdString(), heard) << what;
        const Strings events = listening.take();
        EXPECT_EQ(std::count(events.begin(), events.end(), "DescriptionChanged"), told) << what;
        EXPECT_EQ(said(events), spoken) << what;
    }
    // A reader says the windows a notification is in before it, and the
    // preview's window with its labels each page anew: it is in none.
    for (QWidget* w : form.findChildren<QWidget*>()) {
        QAccessibleInterface* node = QAccessible::queryAccessibleInterface(w);
        if (node->role() != QAccessible::Notification)
            continue;
        for (QAccessibleInterface* up = node->parent(); up; up = up->parent())
            EXPECT_NE(up->role(), QAccessible::Dialog) << "the notification is read within the window";
    }
}

TEST_F(Accessible, EnterOrSpaceOnTheCardPictureShowsItAsADoubleClickDoes)
{
    QStringList shown;
    SetModalRunner([&](QDialog& form) {
        shown << form.windowTitle();
        return 2;
    });
    made<TMainForm>()(*window, [&](QWidget& w) {
        auto& editor = dynamic_cast<TMainForm&>(w);
        QImage card(40, 20, QImage::Format_RGB32);
        card.fill(Qt::red);
        for (const QImage& picture : {card, QImage()}) {  // with no picture, nothing to show
            editor.setPicture(picture);
            editor.Image->setFocus(Qt::TabFocusReason);
            QTest::keyClick(editor.Image, Qt::Key_Return);
            QTest::keyClick(editor.Image, Qt::Key_Space);
        }
    });
    EXPECT_EQ(shown, QStringList({"Card Image", "Card Image"}));
}

// The cheque report reads as the contact list does: before a query, its
// headers and no row; its date is a column read with the row, not a row header.
// A reader reads a window's loose labels of three words or more with the
// window, as if they described it (the status texts and hints of the other
// windows are), and says "layered pane" for a layer with no name that the
// focus comes into. The editor and the mail template have no such label (the
// editor's picture hint is read with the picture alone, the template's name
// between the greeting's parts with the greeting); no window has such a layer.
TEST_F(Accessible, NoWindowIsReadWithALooseLabelOrALayerWithNoName)
{
    const auto looksAt = [](QAccessibleInterface* node, const auto& self) -> void {
        for (int i = 0; i < node->childCount(); ++i) {
            QAccessibleInterface* child = node->child(i);
            if (!child || child->state().invisible) continue;
            EXPECT_FALSE(child->role() == QAccessible::LayeredPane && child->text(QAccessible::Name).isEmpty())
                << child->object()->metaObject()->className() << " is read as a layered pane";
            if (!child->tableInterface()) self(child, self);
        }
    };
    for (const auto& [name, show, enter, escape] : kWindows) {
        show(*window, [&, name = name](QWidget& w) {
            SCOPED_TRACE(name);
            for (QLabel* label : w.findChildren<QLabel*>()) {
                if (name != "editor" && name != "mail template") break;
                if (!label->isVisible() || label->text().split(' ', Qt::SkipEmptyParts).size() < 3) continue;
                EXPECT_FALSE(accessibleOf(label)->relations(QAccessible::Labelled).isEmpty())
                    << label->text().toStdString() << " is read with the window";
            }
            looksAt(accessibleOf(&w), looksAt);
            if (auto* editor = dynamic_cast<TMainForm*>(&w)) {
                EXPECT_EQ(accessibleOf(editor->Image)->text(QAccessible::Description), "(Click the image to display)");
            }
        });
    }
}

TEST_F(Accessible, TheChequeReportReadsItsColumnsAndRowsAsTheContactListDoes)
{
    HeardEvents heard;
    TReportForm report(window.get());
    showAndLook(report, [&](QWidget&) {
        QAccessibleTableInterface* table = accessibleOf(report.grid)->tableInterface();
        auto read = [&] {
            QStringList headers;
            for (int c = 0; c < table->columnCount(); ++c)
                headers << table->columnDescription(c);
            return QString("%1 rows: %2").arg(table->rowCount()).arg(headers.join(", "));
        };
        EXPECT_EQ(read(), "0 rows: Date, Setting, Cheque No, Pay, Description, Amount");
        Cheque cheque;
        cheque.chequeNo = "1001";
        cheque.customerName = "Zed Tester";
        cheque.transDate = dbDateTime::current();
        insert(cheque);
        ASSERT_TRUE(database.commit());
        report.queryActionExecute();
        EXPECT_EQ(read(), "1 rows: Date, Setting, Cheque No, Pay, Description, Amount");
        QAccessibleInterface* date = table->cellAt(0, 0);
        EXPECT_EQ(date->role(), QAccessible::Cell);
        EXPECT_TRUE(date->tableCellInterface()->rowHeaderCells().isEmpty());
        heard.take();
        ASSERT_TRUE(giveFocus(report.grid));
        EXPECT_EQ(heard.take(), (Strings{"Focus 0,0 " + report.grid->Cells(0, 1)}));
    });
}

// The contact list as a screen reader reads it, on a database of 300
// contacts (the grid's own reading is proven on a plain grid): the columns
// the main window shows, the list sorted by a header and filtered by the
// search panel, and what the reader hears as the user comes to the list,
// moves and selects all.
constexpr int kContacts = 300;

// "Contact 001" ... "Contact 300", IDs 1 to 300, listed by ID.
class AccessibleContactList : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_EQ(start(), -1);
        for (int id = 1; id <= kContacts; ++id) {
            char name[32];
            std::snprintf(name, sizeof name, "Contact %03d", id);
            insert(Customer{.id = id, .name = name});
        }
        ASSERT_TRUE(database.commit());
        window->RefreshGrid();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        heard.take();
    }
    grid::RIvuZuvuzoZuvu& grid() { return *window->grid; }
    QAccessibleTableInterface* table() { return accessibleOf(window->grid)->tableInterface(); }
    QString cell(int row, int column) { return nameOf(table()->cellAt(row, column)); }
    void key(Qt::Key k) { QTest::keyClick(window->grid, k); }

    HeardEvents heard;  // a reader listens from the start
};

}  // namespace

TEST_F(AccessibleContactList, TheListReadsAsATableOfTheColumnsShown)
{
    ASSERT_NE(table(), nullptr);
    EXPECT_EQ(table()->rowCount(), kContacts);
    // The object-id column (1 pixel) and the columns sized to nothing
    // (address, remark, amount) are not read.
    QStringList headers;
    for (int c = 0; c < table()->columnCount(); ++c)
        headers << table()->columnDescription(c);
    EXPECT_EQ(headers, (QStringList{"ID", "Name", "Contact", "Tel", "Mobile", "Fax", "Email", "Website", "Category"}));
    EXPECT_EQ(cell(0, 0), "1");  // the contact's ID, not its object id
    EXPECT_EQ(cell(kContacts - 1, 1), "Contact 300");
}

TEST_F(AccessibleContactList, SortedAndFilteredListsAreReadAsListed)
{
    // A click on the Name header sorts ascending, a second one descending.
    const platform::Rect header = grid().CellRect(2, 0);
    const QPoint at((header.Left + header.Right) / 2, (header.Top + header.Bottom) / 2);
    for (int click = 0; click < 2; ++click)  // sent to the widget: never a double click
        QTest::mouseClick(grid().viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(cell(0, 1), "Contact 300");
    EXPECT_EQ(cell(kContacts - 1, 0), "1");

    // The search panel: names from "Contact 1" on.
    window->name->setFocus();
    window->name->setText("contact 1");
    heard.take();
    QTest::keyClick(window->name, Qt::Key_Return);
    EXPECT_EQ(table()->rowCount(), 100);
    EXPECT_EQ(cell(0, 1), "Contact 100");
    // The list was refreshed while the focus stayed in the search panel, and
    // what was found is said there.
    EXPECT_EQ(heard.take(), (Strings{"ModelReset", "Notification 100 customers found."}));

    // Nothing found: the header row the list keeps is read as headers, never
    // as a contact.
    window->name->setText("nobody");
    QTest::keyClick(window->name, Qt::Key_Return);
    EXPECT_EQ(said(heard.take()), (Strings{"Notification No customer found."}));
    EXPECT_EQ(table()->rowCount(), 0);
    EXPECT_EQ(table()->columnDescription(1), "Name");
    EXPECT_EQ(accessibleOf(window->grid)->child(1)->role(), QAccessible::ColumnHeader);
}

TEST_F(AccessibleContactList, ComingMovingAndSelectingAreHeard)
{
    // Coming to the list by Tab: the reader hears the row the user stands
    // on, named by its ID (the current column is the object-id one).
    ASSERT_TRUE(giveFocus(window->grid));
    EXPECT_EQ(heard.take(), (Strings{"Focus 0,0 1"}));
    key(Qt::Key_Down);
    EXPECT_EQ(heard.take(), (Strings{"Focus 1,0 2", "Selection 1,0"}));
    key(Qt::Key_End);  // the row the user lands on is the row selected
    EXPECT_EQ(heard.take(), (Strings{"Focus 299,0 300", "Selection 299,0"}));
    EXPECT_TRUE(table()->cellAt(kContacts - 1, 0)->state().selected);
    // Right goes along the row to the next column read, its header with it.
    key(Qt::Key_Right);
    EXPECT_EQ(heard.take(), (Strings{"Focus 299,1 Contact 300"}));
    QAccessibleInterface* name = table()->cellAt(kContacts - 1, 1);
    EXPECT_EQ(nameOf(name->tableCellInterface()->columnHeaderCells().value(0)), "Name");
    EXPECT_EQ(table()->selectedRows(), QList<int>{kContacts - 1});
    window->selectAllAction->trigger();  // Ctrl+A
    EXPECT_EQ(heard.take(), (Strings{"SelectionWithin", "Notification 300 customers selected."}));
    EXPECT_EQ(table()->selectedRowCount(), kContacts);
}

// Shift with an arrow goes to the row that joins and says it as the arrow
// alone does; Ctrl+End, Ctrl+Home and Ctrl+Down are jumps to the row said.
TEST_F(AccessibleContactList, TheRowAKeyReachesIsTheRowHeardAndSelected)
{
    ASSERT_TRUE(giveFocus(window->grid));
    const std::tuple<const char*, Qt::Key, Qt::KeyboardModifiers, Strings> steps[] = {
        {"Shift+Down", Qt::Key_Down, Qt::ShiftModifier,
         {"Focus 1,0 2", "SelectionAdd 1,0", "Notification 2 customers selected."}},
        {"Ctrl+End", Qt::Key_End, Qt::ControlModifier,
         {"Focus 299,0 300", "Selection 299,0", "Notification 1 customer selected."}},
        {"Ctrl+Home", Qt::Key_Home, Qt::ControlModifier, {"Focus 0,0 1", "Selection 0,0"}},
        {"Ctrl+Down", Qt::Key_Down, Qt::ControlModifier, {"Focus 1,0 2", "Selection 1,0"}},
    };
    for (const auto& [what, k, mods, spoken] : steps) {
        heard.take();
        QTest::keyClick(window->grid, k, mods);
        EXPECT_EQ(heard.take(), spoken) << what;
    }
    EXPECT_EQ(table()->selectedRows(), QList<int>{1});
}

// What the user did to the selection or sent to the printer is said,
// wherever the focus is: the number of rows selected when it changed, and the
// printer a print reached.
TEST_F(AccessibleContactList, SelectionsChangedAndPrintsSentAreSaid)
{
    QTemporaryDir out;
    platform::PdfPrinterSetup laser;
    laser.folder = out.path();
    laser.printerName = "Office Laser";
    ASSERT_TRUE(giveFocus(window->grid));
    const auto ctrlClick = [&](int row) {
        const platform::Rect r = grid().CellRect(2, row);
        QTest::mouseClick(grid().viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(r.Left + 3, r.Top + 3));
    };
    const auto printEnvelopes = [&] {
        dialogs.AnswerQuestion(true);
        window->envelopeAction->trigger();
    };
    const std::tuple<const char*, std::function<void()>, Strings> steps[] = {
        {"Shift+Down", [&] { QTest::keyClick(window->grid, Qt::Key_Down, Qt::ShiftModifier); },
         {"Notification 2 customers selected."}},
        {"Space on a selected row", [&] { key(Qt::Key_Space); }, {"Notification 1 customer selected."}},
        {"Down, which moves the one selected row", [&] { key(Qt::Key_Down); }, {}},
        {"Ctrl and a click on another row", [&] { ctrlClick(6); }, {"Notification 2 customers selected."}},
        {"envelopes printed", [&] { platform::UsePdfPrinter(laser), printEnvelopes(); },
         {"Notification Sent to Office Laser."}},
        {"envelopes with no printer", [&] { platform::UseNoPrinter(), printEnvelopes(); }, {}},
    };
    for (const auto& [what, act, spoken] : steps) {
        heard.take();
        act();
        EXPECT_EQ(said(heard.take()), spoken) << what;
    }
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), 2) << "one envelope per selected row";

    // Said between windows (a box has just closed): once a window is
    // active, after what the reader says of it.
    {
        QDialog box;
        box.show();
        box.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
    }
    ASSERT_EQ(QGuiApplication::focusWindow(), nullptr);
    window->selectAllAction->trigger();
    EXPECT_EQ(said(heard.take()), Strings{});
    ASSERT_TRUE(giveFocus(window->grid));
    EXPECT_EQ(said(heard.take()), (Strings{"Notification 300 customers selected."}));

    // The announcer a reader was shown takes no room, no input and no focus.
    QWidget* announcer = nullptr;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (accessibleOf(w)->role() == QAccessible::Notification)
            announcer = w;
    ASSERT_NE(announcer, nullptr);
    EXPECT_EQ(nameOf(accessibleOf(announcer)), "300 customers selected.");
    EXPECT_TRUE(announcer->size().isEmpty());
    EXPECT_FALSE(accessibleOf(announcer)->state().focusable);
}
