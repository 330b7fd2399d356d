// What a screen reader reads in every window, read in-process through Qt's
// accessibility interfaces, and how far the keyboard alone goes: every
// control that takes input has a name of its own (its label, or what its
// button does), Tab reaches each of them in the order the window shows them
// and shows where the focus is, and the print preview tells the page it
// shows and each change of it.
#include "mainwindow_fixture.h"

#include "accessibility_events.h"
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
#include "printing/pvpreview.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDateEdit>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace {

enum class Window {
    Main, Editor, Cheque, SaveCheque, Envelope, Card, Report, ListPrint, Email, MailTemplate, Setup, Login,
    Password, Message, Input, About
};
const Window kWindows[] = {Window::Main,     Window::Editor,       Window::Cheque, Window::SaveCheque,
                           Window::Envelope, Window::Card,         Window::Report, Window::ListPrint,
                           Window::Email,    Window::MailTemplate, Window::Setup,  Window::Login,
                           Window::Password, Window::Message,      Window::Input,  Window::About};
const char* const kWindowNames[] = {"main",  "editor",        "cheque", "save cheque", "envelope", "card",
                                    "report", "list print",    "e-mail", "mail template", "setup", "login",
                                    "password", "message",     "input",  "about"};

std::string nameOf(Window w) { return kWindowNames[int(w)]; }

// Each window as the program makes it, shown; `look` runs while it is up.
void showWindow(Window which, TMainListForm& main, const std::function<void(QWidget&)>& look)
{
    auto up = [&look](QWidget& w) {
        w.show();
        QApplication::setActiveWindow(&w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        look(w);
    };
    // the message and input boxes come from the dialog service, as the program shows them
    auto asShown = [&](const std::function<void()>& ask) {
        const ModalRunner before = SetModalRunner([&](QDialog& form) {
            up(form);
            return 2;
        });
        ask();
        SetModalRunner(before);
    };
    FormDialogs boxes;
    std::unique_ptr<QWidget> w;
    switch (which) {
    case Window::Main: up(main); return;
    case Window::Message: asShown([&] { boxes.AskQuestion("Exit the system?", {}, &main); }); return;
    case Window::Input:
        asShown([&] {
            QString text;
            boxes.AskText("Enter the category: ", text, {}, &main);
        });
        return;
    case Window::Editor: w = std::make_unique<TMainForm>(&main); break;
    case Window::Cheque: w = std::make_unique<TChequeForm>(&main); break;
    case Window::SaveCheque: w = std::make_unique<TSaveChequeForm>(&main); break;
    case Window::Envelope: w = std::make_unique<TEnvelopeForm>(&main); break;
    case Window::Card: w = std::make_unique<TCardForm>(&main); break;
    case Window::Report: w = std::make_unique<TReportForm>(&main); break;
    case Window::ListPrint: w = std::make_unique<TPrintPreviewForm>(&main); break;
    case Window::Email: w = std::make_unique<TEmailForm>(&main); break;
    case Window::MailTemplate: w = std::make_unique<TMailInsertForm>(&main); break;
    case Window::Setup: w = std::make_unique<TBackupForm>(&main); break;
    case Window::Login: w = std::make_unique<TLoginForm>(&main); break;
    case Window::Password: w = std::make_unique<TPasswordForm>(&main); break;
    case Window::About: w = std::make_unique<TAboutForm>(&main); break;
    }
    up(*w);
}

// A control of a window that a screen reader meets and the user works: a
// node that takes the focus, is edited or pressed. A widget that passes its
// focus to another stands back for it; a table's cells belong to the table's
// own reading; scroll bars move with their area's keys.
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
        const bool proxied = widget && widget->focusProxy();
        const QAccessibleActionInterface* actions = child->actionInterface();
        const bool takesInput = child->state().focusable || child->state().editable ||
                                (actions && !actions->actionNames().isEmpty());
        if (takesInput && !proxied && child->role() != QAccessible::ScrollBar)
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

std::string describe(const Input& input)
{
    return (input.widget ? input.widget->metaObject()->className() : "part") + std::string(" '") +
           input.node->text(QAccessible::Name).toStdString() + "'";
}


// The name a screen reader says for a control. On this platform Qt names a
// combo box by its entry and gives its label as a relation; the reader
// says the label, whose ":" it passes over.
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

// A stop of Tab, and whether the control looks otherwise with the focus
// than it did when the window came up (a window with one stop has it there
// from the start: nothing to tell apart).
struct Stop {
    QWidget* widget;
    bool focusShows;
};
// The controls Tab stops at, round the window from the first key on; a
// control that keeps Tab for itself ends the round.
QList<Stop> tabStops(QWidget& window)
{
    if (QApplication::focusWidget())
        QApplication::focusWidget()->clearFocus();
    std::map<QWidget*, QImage> atRest;
    for (QWidget* w : window.findChildren<QWidget*>())
        if (w->isVisible() && (w->focusPolicy() & Qt::TabFocus))
            atRest[w] = around(window, *w);
    // the first key shows the focus: until then the style may hide it, as
    // the desktop does for users of the mouse
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

TEST_F(Accessible, EveryControlThatTakesInputHasANameOfItsOwn)
{
    for (Window which : kWindows) {
        showWindow(which, *window, [&](QWidget& w) {
            SCOPED_TRACE(nameOf(which));
            std::map<QString, int> uses;
            const QList<Input> inputs = inputsOf(w);
            EXPECT_FALSE(inputs.isEmpty());
            for (const Input& input : inputs) {
                const QString name = heardName(input.node);
                EXPECT_FALSE(name.trimmed().isEmpty()) << describe(input);
                if (input.widget)  // a tab bar is named by its chosen tab
                    ++uses[name];
            }
            for (const auto& [name, count] : uses)
                EXPECT_EQ(count, 1) << "'" << name.toStdString() << "' names " << count << " controls";
        });
    }
}

// A control of a window, found in the window as the program made it.
using Field = std::function<QWidget*(QWidget&)>;
template <class W, class C>
Field field(C* W::*member)
{
    return [member](QWidget& window) -> QWidget* { return dynamic_cast<W&>(window).*member; };
}

struct Named {
    Window window;
    Field control;
    const char* name;
};
const Named kNames[] = {
    {Window::Main, field(&TMainListForm::id), "ID"},
    {Window::Main, field(&TMainListForm::category), "Category"},
    {Window::Main, field(&TMainListForm::sortBy), "Sort by"},
    {Window::Main, field(&TMainListForm::grid), "Customer list"},
    {Window::Editor, field(&TMainForm::cAddress1), "Address"},
    {Window::Editor, field(&TMainForm::cAddress3), "Address line 3"},
    {Window::Editor, field(&TMainForm::category), "Category"},
    {Window::Editor, field(&TMainForm::insertCategory), "Add new category"},
    {Window::Editor, field(&TMainForm::deleteCategory), "Delete category"},
    {Window::Editor, field(&TMainForm::updateCategory), "Edit category"},
    {Window::Editor, field(&TMainForm::cMailButton), "Send email to this customer"},
    {Window::Editor, field(&TMainForm::websiteButton), "Visit the website"},
    {Window::Editor, field(&TMainForm::amount), "Cheque Amount"},
    {Window::Editor, field(&TMainForm::cRemark), "Remark"},
    {Window::Cheque, field(&TChequeForm::name), "Pay"},
    {Window::Cheque, field(&TChequeForm::nameLeft), "Pay left"},
    {Window::Cheque, field(&TChequeForm::nameFont), "Pay font"},
    {Window::Cheque, field(&TChequeForm::amount2Top), "Words line 2 top"},
    {Window::Cheque, field(&TChequeForm::month), "Month"},
    {Window::Cheque, field(&TChequeForm::englishMonth), "Month in words"},
    {Window::Cheque, field(&TChequeForm::deleteImage2Button), "Delete image 2"},
    {Window::Cheque, field(&TChequeForm::separateLen), "Length"},
    {Window::Cheque, field(&TChequeForm::category), "Setting"},
    {Window::SaveCheque, field(&TSaveChequeForm::chequeNo), "Cheque No"},
    {Window::SaveCheque, field(&TSaveChequeForm::transDate), "Date"},
    {Window::Envelope, field(&TEnvelopeForm::title), "Title"},
    {Window::Envelope, field(&TEnvelopeForm::head), "Text before attention"},
    {Window::Envelope, field(&TEnvelopeForm::attention), "Attention"},
    {Window::Envelope, field(&TEnvelopeForm::address2Left), "Address line 2 left"},
    {Window::Envelope, field(&TEnvelopeForm::imageButton), "Add image 1"},
    {Window::Report, field(&TReportForm::fromDate), "Date From"},
    {Window::Report, field(&TReportForm::setting), "Setting"},
    {Window::Report, field(&TReportForm::grid), "Cheque list"},
    {Window::ListPrint, field(&TPrintPreviewForm::uFirst), "First page"},
    {Window::ListPrint, field(&TPrintPreviewForm::uPrevious), "Previous page"},
    {Window::ListPrint, field(&TPrintPreviewForm::uNext), "Next page"},
    {Window::ListPrint, field(&TPrintPreviewForm::uLast), "Last page"},
    {Window::ListPrint, field(&TPrintPreviewForm::PvPreview1), "Print preview"},
    {Window::Email, field(&TEmailForm::smtpServer), "SMTP Outgoing Server"},
    {Window::Email, field(&TEmailForm::attention), "Contact Person Name"},
    {Window::Email, field(&TEmailForm::attachmentList), "Additional Files"},
    {Window::MailTemplate, field(&TMailInsertForm::name), "Setting Name"},
    {Window::MailTemplate, field(&TMailInsertForm::greetingTail), "Greeting end"},
    {Window::Setup, field(&TBackupForm::category), "Category"},
    {Window::Setup, field(&TBackupForm::remainDay), "Remain"},
    {Window::Login, field(&TLoginForm::password), "Password"},
    {Window::Password, field(&TPasswordForm::verifyPassword), "Re-enter the password"},
    {Window::Input, field(&TInputForm::inputText), "Enter the category"},
};

TEST_F(Accessible, AFieldIsNamedByItsLabelAndASymbolButtonByWhatItDoes)
{
    for (Window which : kWindows) {
        showWindow(which, *window, [&](QWidget& w) {
            for (const Named& n : kNames)
                if (n.window == which)
                    EXPECT_EQ(heardName(n.control(w)).toStdString(), n.name) << nameOf(which);
        });
    }
}

TEST_F(Accessible, TabGoesThroughTheMainWindowAndTheEditorInTheOrderTheyShow)
{
    const std::map<Window, QStringList> orders = {
        {Window::Main,
         {"ID", "Name", "Contact", "Tel", "Mobile", "Email", "Category", "Sort by", "Descending", "Customer list",
          "Insert F2", "Delete F3", "Update F4", "Card F5", "Password F6", "Envelope F7", "Cheque F8", "Export F9",
          "Email F10", "Website F11", "Report Ctrl+R", "Help F1", "Import", "Setup", "Print", "Exit F12"}},
        {Window::Editor,
         {"Name", "Address", "Address line 2", "Address line 3", "Contact", "Category", "Add new category",
          "Delete category", "Edit category", "Tel", "Mobile", "ID", "Fax", "Email", "Send email to this customer",
          "Website", "Visit the website", "Cheque Amount", "Remark", "Card picture", "Open", "Delete", "Scan",
          "Save F10", "Cancel F12", "Help F1"}},
    };
    for (const auto& [which, order] : orders) {
        showWindow(which, *window, [&](QWidget& w) {
            QStringList heard;
            for (const Stop& stop : tabStops(w))
                heard << heardName(stop.widget);
            const qsizetype start = heard.indexOf(order.front());
            ASSERT_GE(start, 0) << nameOf(which);
            heard = heard.mid(start) + heard.mid(0, start);  // round from the first control
            EXPECT_EQ(heard.join(" | ").toStdString(), order.join(" | ").toStdString()) << nameOf(which);
        });
    }
}

TEST_F(Accessible, TabReachesEveryControlThatTakesInputAndShowsWhereTheFocusIs)
{
    for (Window which : kWindows) {
        showWindow(which, *window, [&](QWidget& w) {
            SCOPED_TRACE(nameOf(which));
            const QList<Stop> stops = tabStops(w);
            std::set<QWidget*> reached;
            for (const Stop& stop : stops) {
                reached.insert(stop.widget);
                EXPECT_TRUE(stop.focusShows) << heardName(stop.widget).toStdString();
            }
            for (const Input& input : inputsOf(w)) {
                if (!input.widget || !input.widget->isEnabled())
                    continue;  // a part is reached with its widget
                // of a group of radio buttons, Tab reaches the chosen one and the arrows the others
                const bool radio = input.node->role() == QAccessible::RadioButton;
                EXPECT_TRUE(reached.count(input.widget) || (radio && std::any_of(reached.begin(), reached.end(), [&](QWidget* r) {
                                return r->parentWidget() == input.widget->parentWidget() && r->inherits("QRadioButton");
                            })))
                    << describe(input);
            }
        });
    }
}

TEST_F(Accessible, ThePrintPreviewTellsThePageItShowsAndEachChange)
{
    ListenAsScreenReader reader;
    TPrintPreviewForm form(window.get());
    TPvPreview& preview = *form.PvPreview1;
    preview.NewPage();
    preview.NewPage();
    form.show();  // on the first page
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(&preview);
    struct Step {
        const char* what;
        std::function<void()> act;
        const char* heard;
        int told;  // description changes sent
    };
    const Step steps[] = {
        {"next", [&] { form.uNext->click(); }, "Page 2 of 3", 1},
        {"last", [&] { form.uLast->click(); }, "Page 3 of 3", 1},
        {"next on the last page", [&] { preview.NextPage(); }, "Page 3 of 3", 0},
        {"a page added", [&] { preview.NewPage(); }, "Page 4 of 4", 1},
        {"the page shown deleted", [&] { preview.DeletePage(4); }, "Page 3 of 3", 1},
        {"first", [&] { form.uFirst->click(); }, "Page 1 of 3", 1},
        {"another page deleted", [&] { preview.DeletePage(2); }, "Page 1 of 2", 1},
        {"every page deleted", [&] { preview.DeleteAllPages(false); }, "No pages", 1},
    };
    EXPECT_EQ(read->text(QAccessible::Description), "Page 1 of 3");
    for (const Step& step : steps) {
        reader.Clear();
        step.act();
        EXPECT_EQ(read->text(QAccessible::Description).toStdString(), step.heard) << step.what;
        EXPECT_EQ(reader.Count(QAccessible::DescriptionChanged, &preview), step.told) << step.what;
    }
}

TEST_F(Accessible, EnterOrSpaceOnTheCardPictureShowsItAsADoubleClickDoes)
{
    TMainForm editor(window.get());
    QImage card(40, 20, QImage::Format_RGB32);
    card.fill(Qt::red);
    editor.setPicture(card);
    QStringList shown;
    SetModalRunner([&](QDialog& form) {
        shown << form.windowTitle();
        return 2;
    });
    editor.show();
    QApplication::setActiveWindow(&editor);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    editor.Image->setFocus(Qt::TabFocusReason);
    QTest::keyClick(editor.Image, Qt::Key_Return);
    QTest::keyClick(editor.Image, Qt::Key_Space);
    EXPECT_EQ(shown, QStringList({"Card Image", "Card Image"}));
    editor.setPicture(QImage());
    QTest::keyClick(editor.Image, Qt::Key_Return);  // no picture, nothing to show
    EXPECT_EQ(shown.size(), 2);
}

}  // namespace
