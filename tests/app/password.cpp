// The start-up login and the change-password action, driven on the real forms.
#include "app/login.h"

#include "appcore/dialogs.h"
#include "app/editor.h"
#include "documents/emailform.h"
#include "appcore/schema.h"
#include "flush_fails.h"
#include "platform/dialogs.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <vector>

namespace fs = std::filesystem;

inline void PrintTo(const QString& s, std::ostream* out) { *out << '"' << s.toStdString() << '"'; }

namespace {

int argc = 1;
char arg0[] = "test";
char* argv[] = {arg0, nullptr};
QApplication* app = new QApplication(argc, argv);

// Each modal run shows the form and hands it to the next scripted step; the
// step clicks or types, and the form's result is what the caller sees.
class Login : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetModalRunner([this](QDialog& form) {
            form.show();
            forms.push_back(&form);
            if (steps.empty()) {
                ADD_FAILURE() << "unscripted form " << form.windowTitle().toStdString();
                form.close();
                return 0;
            }
            auto step = steps.front();
            steps.pop_front();
            form.setResult(0);
            step(form);
            const int result = form.isVisible() ? -1 : form.result();
            form.hide();
            return result;
        });
    }
    void TearDown() override { SetModalRunner(nullptr); }

    platform::ScriptedDialogs dialogs;
    std::deque<std::function<void(QDialog&)>> steps;
    std::vector<QDialog*> forms;
};

void typeAndLogin(QDialog& form, const QString& text)
{
    auto& login = static_cast<TLoginForm&>(form);
    login.password->setText(text);
    QTest::keyClick(login.password, Qt::Key_Return);
}

} // namespace

TEST_F(Login, WrongThenRightPasswordOnTheSameForm)
{
    steps.push_back([](QDialog& f) { typeAndLogin(f, "secret"); });
    steps.push_back([](QDialog& f) { typeAndLogin(f, " Secret "); });
    EXPECT_TRUE(AskForPassword(" Secret ", nullptr));
    EXPECT_EQ(dialogs.Messages(), QStringList{"Wrong password"});
    ASSERT_EQ(forms.size(), 2u);
    EXPECT_EQ(forms[0], forms[1]);
}

TEST_F(Login, ExitEndsTheLogin)
{
    steps.push_back([](QDialog& f) { static_cast<TLoginForm&>(f).cancel->click(); });
    EXPECT_FALSE(AskForPassword("x", nullptr));
    EXPECT_TRUE(dialogs.Messages().isEmpty());
}

TEST_F(Login, PasswordEditMasksWithStars)
{
    TLoginForm form;
    EXPECT_EQ(form.password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form.windowTitle(), "Password");
    EXPECT_EQ(form.login->text(), "&Login");
    EXPECT_EQ(form.cancel->text(), "&Exit");
}

// What a screen reader is told of typing into a field: the texts inserted
// and removed. Qt hands these events to the update handler only while a
// reader listens, so the test hands them over as Qt does then; what the
// program passes on reaches the handler installed before any form.
std::vector<QString>* g_told = nullptr;
void tell(QAccessibleEvent* event)
{
    if (!g_told)
        return;
    if (event->type() == QAccessible::TextInserted)
        g_told->push_back("+" + static_cast<QAccessibleTextInsertEvent*>(event)->textInserted());
    if (event->type() == QAccessible::TextRemoved)
        g_told->push_back("-" + static_cast<QAccessibleTextRemoveEvent*>(event)->textRemoved());
    if (event->type() == QAccessible::TextUpdated) {
        auto* e = static_cast<QAccessibleTextUpdateEvent*>(event);
        g_told->push_back("-" + e->textRemoved() + "+" + e->textInserted());
    }
}
const QAccessible::UpdateHandler kBeforeForms = QAccessible::installUpdateHandler(tell);

TEST_F(Login, EveryPasswordFieldTellsAReaderOnlyItsMask)
{
    TLoginForm login;
    TPasswordForm change;
    TEmailForm mail;
    const QChar mailMask(mail.style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, mail.password));
    // each field and its mask (none: heard as typed)
    const std::pair<QLineEdit*, QChar> fields[] = {
        {login.password, u'*'},        {change.oldPassword, u'*'}, {change.newPassword, u'*'},
        {change.verifyPassword, u'*'}, {mail.password, mailMask},  {mail.username, QChar()},
    };
    std::vector<QString> told;
    g_told = &told;
    const QAccessible::UpdateHandler qtCalls = QAccessible::installUpdateHandler(nullptr);
    QAccessible::installUpdateHandler(qtCalls);
    for (const auto& [field, mask] : fields) {
        auto heard = [mask = mask](const QString& text) { return mask.isNull() ? text : QString(text.size(), mask); };
        told.clear();
        QAccessibleTextInsertEvent typed(field, 0, "abc");
        qtCalls(&typed);
        QAccessibleTextRemoveEvent deleted(field, 2, "c");
        qtCalls(&deleted);
        QAccessibleTextUpdateEvent replaced(field, 0, "ab", "xyz");
        qtCalls(&replaced);
        EXPECT_EQ(told, (std::vector<QString>{"+" + heard("abc"), "-" + heard("c"), "-" + heard("ab") + "+" + heard("xyz")}))
            << field->accessibleName().toStdString();
    }
    g_told = nullptr;
}

class PasswordChange : public Login {
protected:
    void SetUp() override
    {
        Login::SetUp();
        dir = fs::temp_directory_path() / ("quillet-login-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        old = fs::current_path();
        fs::current_path(dir);
        ASSERT_TRUE(database.open("Quillet"));
        Config c;
        c.password = "";
        c.version = 18;
        insert(c);
        ASSERT_TRUE(database.commit());
    }
    void TearDown() override
    {
        database.close();
        fs::current_path(old);
        fs::remove_all(dir);
        Login::TearDown();
    }
    std::string stored()
    {
        dbCursor<Config> c;
        EXPECT_EQ(c.select(), 1u);
        return c->password ? c->password : "";
    }
    fs::path dir, old;
};

void fill(QDialog& form, const QString& oldText, const QString& newText, const QString& again)
{
    auto& f = static_cast<TPasswordForm&>(form);
    f.oldPassword->setText(oldText);
    f.newPassword->setText(newText);
    f.verifyPassword->setText(again);
    f.login->click();
}

TEST_F(PasswordChange, SetChangeAndRemove)
{
    // no password yet: the old password is not asked
    steps.push_back([](QDialog& f) {
        EXPECT_TRUE(static_cast<TPasswordForm&>(f).oldPassword->isHidden());
        fill(f, "", "a", "a");
    });
    ChangePassword(nullptr);
    EXPECT_EQ(stored(), "a");

    // a one-character password must still be typed right; mismatches keep the form open
    steps.push_back([](QDialog& f) {
        EXPECT_FALSE(static_cast<TPasswordForm&>(f).oldPassword->isHidden());
        fill(f, "b", "new pass", "new pass");
        EXPECT_TRUE(f.isVisible());
        fill(f, "a", "new pass", "new pas");
        EXPECT_TRUE(f.isVisible());
        fill(f, "a", " new pass ", " new pass ");
    });
    ChangePassword(nullptr);
    EXPECT_EQ(stored(), " new pass ");

    // an empty new password removes it
    steps.push_back([](QDialog& f) { fill(f, " new pass ", "", ""); });
    ChangePassword(nullptr);
    EXPECT_EQ(stored(), "");

    EXPECT_EQ(dialogs.Messages(), (QStringList{"The password has been updated successfully.", "Old password incorrect.",
                                               "New password and re-enter password does not match.",
                                               "The password has been updated successfully.",
                                               "The password has been updated successfully."}));
}

TEST_F(PasswordChange, CancelChangesNothing)
{
    steps.push_back([](QDialog& f) {
        auto& form = static_cast<TPasswordForm&>(f);
        form.newPassword->setText("x");
        form.verifyPassword->setText("x");
        form.NoButton->click();
    });
    ChangePassword(nullptr);
    EXPECT_EQ(stored(), "");
    EXPECT_TRUE(dialogs.Messages().isEmpty());
}

TEST_F(PasswordChange, LongPasswordsWork)
{
    const QString longText(200, QChar('p'));
    steps.push_back([&](QDialog& f) { fill(f, "", longText, longText); });
    ChangePassword(nullptr);
    EXPECT_EQ(stored(), longText.toStdString());
}

TEST_F(PasswordChange, AChangeTheDiskRefusesIsNotReportedAsDone)
{
    {
        FlushFails failing;
        steps.push_back([](QDialog& f) { fill(f, "", "secret", "secret"); });
        ChangePassword(nullptr);
    }
    EXPECT_EQ(stored(), "") << "the old password still holds";
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_EQ(dialogs.Messages()[0], kNotStored);
}
