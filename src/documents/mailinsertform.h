// TMailInsertForm, "Email Setting": the modal dialog in which one mail
// template is typed in or changed. It only checks that the template has a
// name; the e-mail window reads and stores the record. Save (F10) ends it with
// modal result 1, Cancel (F12) with 2.
#pragma once

#include "documents/mailparts.h"

#include <QDialog>

class QAction;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

class TMailInsertForm : public QDialog {
    Q_OBJECT
public:
    explicit TMailInsertForm(QWidget* owner = nullptr);

    QLineEdit *name, *subject, *greetingHead, *greetingTail;
    QPlainTextEdit* body;
    QListWidget* attachmentList;
    QPushButton *insertAttachment, *deleteAttachment;
    QCheckBox* html;
    QPushButton *saveButton, *cancelButton;
    QAction *savelAction, *exitAction;

    void savelActionExecute();
    void exitActionExecute();
    void insertAttachmentClick();
    void deleteAttachmentClick();

    MailPartControls Parts() const { return {subject, greetingHead, greetingTail, body, attachmentList, html}; }
};
