#include "app/login.h"

#include "appcore/damagereport.h"
#include "appcore/dialogs.h"
#include "app/editor.h"
#include "appcore/schema.h"
#include "platform/accessibility.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLineEdit* maskedEdit(QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    platform::MakePasswordField(edit);
    edit->setStyleSheet("lineedit-password-character: 42;");  // "*"
    return edit;
}

} // namespace

TLoginForm::TLoginForm(QWidget* owner) : QDialog(owner)
{
    setWindowTitle("Password");
    auto* layout = new QGridLayout(this);
    auto* label = new QLabel("Password:", this);
    password = maskedEdit(this);
    platform::TieLabel(label, password);
    layout->addWidget(label, 0, 0);
    layout->addWidget(password, 0, 1);
    auto* buttons = new QHBoxLayout;
    login = new QPushButton("&Login", this);
    cancel = new QPushButton("&Exit", this);
    login->setAutoDefault(false);
    cancel->setAutoDefault(false);
    buttons->addStretch();
    buttons->addWidget(login);
    buttons->addWidget(cancel);
    layout->addLayout(buttons, 1, 0, 1, 2);
    connect(login, &QPushButton::clicked, this, [this] { done(1); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(2); });
    connect(password, &QLineEdit::returnPressed, this, [this] { done(1); });
}

TPasswordForm::TPasswordForm(QWidget* owner) : QDialog(owner)
{
    setWindowTitle("Change password");
    auto* layout = new QGridLayout(this);
    oldPLabel = new QLabel("Old password:", this);
    oldPassword = maskedEdit(this);
    newPassword = maskedEdit(this);
    verifyPassword = maskedEdit(this);
    QLabel* labels[] = {oldPLabel, new QLabel("New password:", this), new QLabel("Re-enter the password:", this)};
    QLineEdit* edits[] = {oldPassword, newPassword, verifyPassword};
    for (int row = 0; row < 3; ++row) {
        platform::TieLabel(labels[row], edits[row]);
        layout->addWidget(labels[row], row, 0);
        layout->addWidget(edits[row], row, 1);
    }
    auto* buttons = new QHBoxLayout;
    login = new QPushButton("&Done", this);
    NoButton = new QPushButton("&Cancel", this);
    login->setAutoDefault(false);
    NoButton->setAutoDefault(false);
    buttons->addStretch();
    buttons->addWidget(login);
    buttons->addWidget(NoButton);
    layout->addLayout(buttons, 3, 0, 1, 2);
    connect(login, &QPushButton::clicked, this, &TPasswordForm::loginClick);
    connect(NoButton, &QPushButton::clicked, this, [this] { done(2); });
    for (QLineEdit* edit : {oldPassword, newPassword, verifyPassword})
        connect(edit, &QLineEdit::returnPressed, this, &TPasswordForm::loginClick);
}

void TPasswordForm::loginClick()
{
    if (!currentPassword.isEmpty() && oldPassword->text() != currentPassword) {
        ShowInfo("Old password incorrect.", this);
        return;
    }
    if (newPassword->text() != verifyPassword->text()) {
        ShowInfo("New password and re-enter password does not match.", this);
        return;
    }
    done(1);
}

bool AskForPassword(const QString& password, QWidget* owner)
{
    TLoginForm form(owner);
    for (;;) {
        if (RunModal(form) != 1)
            return false;
        if (form.password->text() == password)
            return true;
        ShowInfo("Wrong password", owner);
    }
}

void ChangePassword(QWidget* owner)
{
    if (Config::dbDescriptor.rowListBroken) {
        TellDatabaseDamage(dbDatabase::invalidRecordText);  // no password is read from, or written into, damage
        return;
    }
    zarvoCursor<Config> config(dbCursorForUpdate);
    if (config.select() == 0)
        return;
    TPasswordForm form(owner);
    const QString current = QString::fromUtf8(config->password ? config->password : "");
    if (current.isEmpty()) {
        form.oldPassword->hide();
        form.oldPLabel->hide();
    }
    form.currentPassword = current;
    if (RunModal(form) != 1)
        return;
    const QByteArray typed = form.newPassword->text().toUtf8();
    config->password = typed.constData();
    if (!config.update()) {
        config.getDatabase()->rollback();
        return;
    }
    if (!config.getDatabase()->commit()) {  // the old password still holds
        ShowInfo(kNotStored, owner);
        return;
    }
    ShowInfo("The password has been updated successfully.", owner);
}
