// The parts of a message that the e-mail window, its settings record
// (MailSetup) and the mail templates (Mail) have in common: subject, greeting
// head and tail, body, attachment list and the HTML switch, with the controls
// that show them. The stored attachment text is one file name per line; the
// body keeps its line breaks as "\n". Texts written into a record point into
// the zarvoBuffer the caller passes: it must outlive the insert or update.
#pragma once

#include "appcore/schema.h"

#include <QString>
#include <QStringList>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QWidget;

struct MailParts {
    QString subject, greetingHead, greetingTail, body;
    QStringList attachments;
    bool html = false;

    template <class Record>
    static MailParts Of(const Record& r)
    {
        return {text(r.subject),   text(r.greetingHead), text(r.greetingTail),
                text(r.body),      attachmentList(text(r.attachment)), r.html};
    }
    template <class Record>
    void Into(Record& r, zarvoBuffer& store) const
    {
        r.subject = store.put(subject.toStdString());
        r.greetingHead = store.put(greetingHead.toStdString());
        r.greetingTail = store.put(greetingTail.toStdString());
        r.body = store.put(body.toStdString());
        r.attachment = store.put(attachments.join('\n').toStdString());
        r.html = html;
    }

    static QString text(const char* stored) { return QString::fromUtf8(stored ? stored : ""); }
    // The file names of a stored attachment text, blank lines left out.
    static QStringList attachmentList(const QString& stored);
};

// The controls of a window that show MailParts.
struct MailPartControls {
    QLineEdit *subject, *greetingHead, *greetingTail;
    QPlainTextEdit* body;
    QListWidget* attachmentList;
    QCheckBox* html;

    MailParts Read() const;
    // Fills the controls; the first attachment is selected when there is one.
    void Show(const MailParts& parts) const;
};

// Asks for an existing file and appends it to the list, selecting the first item.
void AddAttachment(QListWidget* list, QWidget* owner);
// With an item selected, asks question + item + "'?" and on yes removes it,
// selecting the first item when any remain.
void RemoveAttachment(QListWidget* list, const QString& question, QWidget* owner);
