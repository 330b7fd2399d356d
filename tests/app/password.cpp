// The start-up login and the change-password action, driven on the real forms.
#include "app/login.h"

#include "appcore/dialogs.h"
#include "app/editor.h"
#include "appcore/schema.h"
#include "flush_fails.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

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
