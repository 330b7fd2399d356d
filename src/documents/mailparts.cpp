#include "documents/mailparts.h"

#include "appcore/dialogs.h"
#include "platform/dialogs.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

QStringList MailParts::attachmentList(const QString& stored)
{
    QStringList out;
    for (QString line : stored.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            out.append(line);
    }
    return out;
}

MailParts MailPartControls::Read() const
{
    MailParts p;
    p.subject = subject->text();
    p.greetingHead = greetingHead->text();
    p.greetingTail = greetingTail->text();
    p.body = body->toPlainText();
    for (int i = 0; i < attachmentList->count(); ++i)
        p.attachments.append(attachmentList->item(i)->text());
    p.html = html->isChecked();
    return p;
}

void MailPartControls::Show(const MailParts& p) const
{
    subject->setText(p.subject);
    greetingHead->setText(p.greetingHead);
    greetingTail->setText(p.greetingTail);
    body->setPlainText(p.body);
    attachmentList->clear();
    attachmentList->addItems(p.attachments);
    if (attachmentList->count() > 0)
        attachmentList->setCurrentRow(0);
    html->setChecked(p.html);
}

void AddAttachment(QListWidget* list, QWidget* owner)
{
    platform::FileRequest request;
    request.mode = platform::FileRequest::Open;
    const QString file = platform::PickFile(request, owner);
    if (file.isEmpty())
        return;
    list->addItem(file);
    list->setCurrentRow(0);
}

void RemoveAttachment(QListWidget* list, const QString& question, QWidget* owner)
{
    QListWidgetItem* item = list->currentItem();
    if (!item || !AskYesNo(question + item->text() + "'?", owner))
        return;
    delete list->takeItem(list->row(item));
    if (list->count() > 0)
        list->setCurrentRow(0);
}
