// The windows on a real X server with a window manager, where the keyboard
// focus and the active window are the window manager's to give: after the
// cheque window's question the main window is active again with the focus on
// the list, and a question asked at once after a file dialog stands over a
// window that is active again. The boxes and the file dialog are the
// program's own, run modally.
#include "contacts_fixture.h"

#include "app/spreadsheetactions.h"
#include "documents/chequeform.h"
#include "platform/desktopfocus.h"
#include "private_desktop.h"

#include <QFileDialog>
#include <QTimer>

#include <optional>

namespace {

PrivateDesktop* g_desktop = nullptr;

// The desktop comes up before the application object, which goes before it.
class DesktopEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_desktop = new PrivateDesktop;
        if (g_desktop->Missing().isEmpty())
            testApplication();
    }
    void TearDown() override
    {
        if (g_desktop->Missing().isEmpty())
            delete testApplication();
        delete g_desktop;
    }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

// True once the window is the one Qt takes for active (the window system's
// focus may come before Qt has taken it in: keys then find no shortcut).
bool becomesActive(QWidget& window)
{
    return QTest::qWaitFor([&window] { return QApplication::activeWindow() == &window; });
}

// Runs `step` on the modal form once it is active, as the user works it.
void onceActive(QDialog& form, std::function<void()> step)
{
    QTimer::singleShot(0, &form, [&form, step = std::move(step)] {
        if (becomesActive(form)) {
            step();
            return;
        }
        ADD_FAILURE() << form.windowTitle().toStdString() << " never became active";
        form.done(0);
    });
}

class Desktop : public ContactsTest {
protected:
    void SetUp() override
    {
        if (!g_desktop->Missing().isEmpty())
            GTEST_SKIP() << g_desktop->Missing().toStdString();
        ContactsTest::SetUp();
        platform::SetDialogs(&forms_);  // the program's own boxes, over the scripted ones
        contact_ = addCustomer(1, "Ann Lee");
        window->RefreshGrid();
        selectOnly({contact_});
        window->activateWindow();
        ASSERT_TRUE(becomesActive(*window));
        window->grid->setFocus();
    }
    void TearDown() override
    {
        if (!g_desktop->Missing().isEmpty())
            return;
        platform::SetDialogs(&dialogs);
        ContactsTest::TearDown();
    }
    // The main window is active, for Qt and for the window system (Qt may
    // take a window for active that the keys do not reach), with the focus on
    // the list.
    bool listActive() const
    {
        return QTest::qWaitFor([this] {
            return QApplication::activeWindow() == window.get() && QApplication::focusWidget() == window->grid &&
                   platform::DesktopFocusFor(window.get()) == platform::DesktopFocus::OnWindow;
        });
    }

    FormDialogs forms_;
    oid_t contact_ = 0;
};

}  // namespace

// The cheque window's question answered No or Escape closes the box and the
// window one after the other; where the window manager then gives the focus
// to no window (openbox parks it on its own), the main window is made active
// again with the focus on the list.
TEST_F(Desktop, AfterTheChequeWindowsQuestionTheListIsActiveAgain)
{
    for (const Qt::Key answer : {Qt::Key_F12, Qt::Key_Escape}) {
        SCOPED_TRACE(answer);
        SetModalRunner([answer](QDialog& form) {
            auto* cheque = dynamic_cast<TChequeForm*>(&form);
            onceActive(form, [&form, cheque, answer] {
                if (!cheque) {
                    QTest::keyClick(&form, answer);
                    return;
                }
                QTest::keyClicks(cheque->amountTop, "7");
                QTest::keyClick(cheque->amountTop, Qt::Key_F12);
            });
            const int result = form.exec();
            if (cheque) {
                EXPECT_TRUE(g_desktop->WaitUntilLetGo(form.winId()));
                g_desktop->ParkFocus();
            }
            return result;
        });
        window->chequeAction->trigger();
        EXPECT_TRUE(listActive());
    }
}

// Export's question comes once the save dialog is gone and the main window
// is active again, as the window manager has it, also when the window
// manager is held up as the dialog closes (it goes on once the program waits).
TEST_F(Desktop, AQuestionAfterAFileDialogStandsOverAnActiveWindow)
{
    const QString file = QDir::current().filePath("contacts.xlsx");
    QTimer save;
    QObject::connect(&save, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || QApplication::activeWindow() != dialog)
            return;
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        name->setText(file);
        g_desktop->HoldManager(true);
        QTimer::singleShot(0, [] { g_desktop->HoldManager(false); });
        QTest::keyClick(name, Qt::Key_Return);
    });
    save.start(20);
    std::optional<bool> windowBack;
    SetModalRunner([&](QDialog& form) {
        windowBack = QApplication::activeWindow() == window.get() &&
                     platform::DesktopFocusFor(window.get()) == platform::DesktopFocus::OnWindow;
        onceActive(form, [&form] { QTest::keyClick(&form, Qt::Key_F12); });
        return form.exec();
    });
    exportActionExecute(*window);
    EXPECT_EQ(windowBack, true);
    EXPECT_TRUE(listActive());
}
