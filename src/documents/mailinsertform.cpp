#include "documents/mailinsertform.h"

#include "appcore/dialogs.h"
#include "platform/accessibility.h"
#include "platform/screenroom.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

TMailInsertForm::TMailInsertForm(QWidget* owner)
    : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Email Setting"));
    platform::OpenWithinScreen(this, QSize(520, 460));
    QWidget* page = nullptr;
    QBoxLayout* outer = platform::ScrollingBody(this, page);
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    auto labelled = [&](const char* label, QWidget* w) {
        grid->addWidget(platform::NewLabelFor(QString::fromLatin1(label), w), row, 0, Qt::AlignTop);
        grid->addWidget(w, row++, 1, 1, 3);
    };
    name = new QLineEdit(this);
    subject = new QLineEdit(this);
    greetingHead = new QLineEdit(QStringLiteral("Dear "), this);
    greetingTail = new QLineEdit(QStringLiteral(","), this);
    body = new QPlainTextEdit(this);
    attachmentList = new QListWidget(this);
    html = new QCheckBox(QStringLiteral("HTML Format"), this);
    greetingTail->setAccessibleName(QStringLiteral("Greeting end"));  // beside the name, which it is not
    body->setTabChangesFocus(true);
    platform::ShowFocusFrame(attachmentList);
    labelled("Setting Name:", name);
    labelled("Subject:", subject);
    grid->addWidget(platform::NewLabelFor(QStringLiteral("Greeting:"), greetingHead), row, 0);
    grid->addWidget(greetingHead, row, 1);
    // what goes between the two parts of the greeting: read with the first,
    // not with the window
    auto* between = new QLabel(QStringLiteral("Contact Person Name"), this);
    platform::DescribeWith(between, greetingHead);
    grid->addWidget(between, row, 2);
    grid->addWidget(greetingTail, row++, 3);
    labelled("Message Content:", body);
    labelled("Attachment:", attachmentList);
    insertAttachment = new QPushButton(QStringLiteral("Add attachment"), this);
    deleteAttachment = new QPushButton(QStringLiteral("Delete Attachment"), this);
    grid->addWidget(insertAttachment, row, 1);
    grid->addWidget(deleteAttachment, row++, 2);
    grid->addWidget(html, row++, 1);

    saveButton = new QPushButton(QStringLiteral("Save F10"), this);
    cancelButton = new QPushButton(QStringLiteral("Cancel F12"), this);
    auto* buttons = new platform::ButtonRows;
    buttons->addWidget(saveButton);
    buttons->addWidget(cancelButton);
    outer->addLayout(buttons);
    platform::OrderFocus({attachmentList, insertAttachment, deleteAttachment, html, saveButton, cancelButton});
    platform::NoAutoDefaultButtons(this);  // Enter in a field presses no button

    auto action = [this](Qt::Key key, void (TMailInsertForm::*handler)(), QPushButton* button) {
        auto* a = new QAction(button->text(), this);
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, handler);
        connect(button, &QPushButton::clicked, a, &QAction::trigger);
        addAction(a);
        return a;
    };
    savelAction = action(Qt::Key_F10, &TMailInsertForm::savelActionExecute, saveButton);
    exitAction = action(Qt::Key_F12, &TMailInsertForm::exitActionExecute, cancelButton);
    connect(insertAttachment, &QPushButton::clicked, this, &TMailInsertForm::insertAttachmentClick);
    connect(deleteAttachment, &QPushButton::clicked, this, &TMailInsertForm::deleteAttachmentClick);
}

void TMailInsertForm::savelActionExecute()
{
    if (name->text().trimmed().isEmpty()) {
        ShowInfo(QStringLiteral("Please enter the Setting Name."), this);
        name->setFocus();
        return;
    }
    done(1);
}

void TMailInsertForm::exitActionExecute() { done(2); }

void TMailInsertForm::insertAttachmentClick() { AddAttachment(attachmentList, this); }

void TMailInsertForm::deleteAttachmentClick()
{
    RemoveAttachment(attachmentList, QStringLiteral("Delete filename '"), this);
}
