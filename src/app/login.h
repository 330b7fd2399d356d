// The start-up password: the login form that start-up shows until the right
// password is typed, and the change-password form behind the main window's
// password action. The password is Config.password; an empty text means none.
// Texts are compared exactly (case and blanks count).
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// "Password": one masked edit; Login (or Enter) ends with 1, Exit with 2.
class TLoginForm : public QDialog {
    Q_OBJECT
public:
    explicit TLoginForm(QWidget* owner = nullptr);

    QLineEdit* password;
    QPushButton* login;
    QPushButton* cancel;
};

// "Change password": old, new and repeated password. Done (or Enter in any
// edit) checks them and ends with 1; Cancel ends with 2.
class TPasswordForm : public QDialog {
    Q_OBJECT
public:
    explicit TPasswordForm(QWidget* owner = nullptr);

    QLabel* oldPLabel;
    QLineEdit* oldPassword;
    QLineEdit* newPassword;
    QLineEdit* verifyPassword;
    QPushButton* login;
    QPushButton* NoButton;
    // The password in force, set by the caller before showing the form.
    QString currentPassword;

    void loginClick();
};

// Shows the login form, on the same form each time, until it ends with Login
// and the typed text equals `password` ("Wrong password" after each other
// text). False when the user exits instead.
bool AskForPassword(const QString& password, QWidget* owner);

// The main window's password action: sets, changes or removes
// Config.password through TPasswordForm, and commits.
void ChangePassword(QWidget* owner);
