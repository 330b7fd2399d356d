#include "documents/emailform.h"

#include "appcore/dialogs.h"
#include "documents/mailinsertform.h"
#include "grid/listgrid.h"
#include "platform/accessibility.h"
#include "platform/longwork.h"
#include "platform/screenroom.h"
#include "platform/dialogs.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <atomic>
#include <charconv>
#include <chrono>
#include <thread>

namespace {

const char* const kTransmitError = "Transmit error.";

QString stored(const char* s) { return MailParts::text(s); }

// The template a combo item names (its record id is the item's data),
// fetched; null when that record is gone or no longer carries the item's
// name (another process deleted it, and its id may name a newer template).
Mail* templateAt(zarvoCursor<Mail>& cursor, const QComboBox& box, int index)
{
    if (index < 0 || index >= box.count())
        return nullptr;
    Mail* t = cursor.at(dbReference<Mail>(box.itemData(index).toUInt()));
    return t != nullptr && stored(t->name) == box.itemText(index) ? t : nullptr;
}

// Says that a listed template is no longer stored and takes it off the list;
// the transaction is rolled back, nothing is written.
void templateGone(QComboBox& box, int index, QWidget* owner)
{
    database.rollback();
    const QString name = box.itemText(index);
    box.removeItem(index);
    ShowInfo("The setting '" + name + "' is no longer stored; another user may have changed or deleted it.",
             owner);
}

QString secondsText(int ms)
{
    const double seconds = ms / 1000.0;
    return QString::number(seconds) + (seconds == 1 ? " second" : " seconds");
}

// Why a send failed, in plain words: the line under "Transmit error.".
QString failureText(const platform::SmtpFailure& f)
{
    using F = platform::SmtpFailure;
    switch (f.kind) {
    case F::None:
        break;
    case F::Input:
        return QStringLiteral("The message could not be sent as it stands.");
    case F::Unreadable:
        return "The attached file '" + f.detail + "' could not be read.";
    case F::Unreachable:
        return "The server could not be reached: " + f.detail + ".";
    case F::Dropped:
        return QStringLiteral("The connection to the server was lost.");
    case F::Silent:
        return (f.step == F::Greeting ? "The server did not answer within " : "The server stopped answering after ") +
               secondsText(f.waitMs) + ".";
    case F::Temporary:
    case F::Refused: {
        const QString what = f.step == F::Greeting    ? QStringLiteral("the connection")
                             : f.step == F::Sender    ? QStringLiteral("the sender")
                             : f.step == F::Recipient ? "the recipient " + f.detail
                                                      : QStringLiteral("the message");
        return "The server refused " + what + ": " + f.reply;
    }
    }
    return {};
}

// What keeps a message from being sent at all; empty when nothing does.
QString inputFault(const std::optional<platform::MailAddress>& from, const platform::MailMessage& message)
{
    if (!from)
        return QStringLiteral("The sender address is not valid.");
    if (message.subject.contains('\r') || message.subject.contains('\n'))
        return QStringLiteral("The subject must be a single line.");
    const QString unreadable = message.UnreadableAttachment();
    if (unreadable.isEmpty())
        return {};
    platform::SmtpFailure failure;
    failure.kind = platform::SmtpFailure::Unreadable;
    failure.detail = unreadable;
    return failureText(failure);
}

}  // namespace

TEmailForm::TEmailForm(QWidget* owner)
    : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Send Email "));
    platform::OpenWithinScreen(this, QSize(620, 640));
    QWidget* page = nullptr;
    QBoxLayout* outer = platform::ScrollingBody(this, page);
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    // the label that names a field
    auto label = [&](const char* text, int r, int c, QWidget* field) {
        grid->addWidget(platform::NewLabelFor(QString::fromLatin1(text), field), r, c, Qt::AlignTop);
    };
    smtpServer = new QLineEdit(QStringLiteral("localhost"), this);
    port = new QLineEdit(QStringLiteral("25"), this);
    username = new QLineEdit(this);
    password = new QLineEdit(this);
    platform::MakePasswordField(password);
    mailFrom = new QLineEdit(QStringLiteral("Enter you email address"), this);
    mailTo = new QLineEdit(this);
    attention = new QLineEdit(this);
    subject = new QLineEdit(QStringLiteral("Enter subject"), this);
    greetingHead = new QLineEdit(QStringLiteral("Dear "), this);
    greetingTail = new QLineEdit(QStringLiteral(","), this);
    body = new QPlainTextEdit(QStringLiteral("\nThis is a test mail."), this);
    attachmentList = new QListWidget(this);
    html = new QCheckBox(QStringLiteral("HTML format"), this);
    mailSetting = new QComboBox(this);
    // the greeting's name and end have no label of their own
    attention->setAccessibleName(QStringLiteral("Contact Person Name"));
    greetingTail->setAccessibleName(QStringLiteral("Greeting end"));
    body->setTabChangesFocus(true);
    platform::ShowFocusFrame(attachmentList);

    label("SMTP Outgoing Server: ", row, 0, smtpServer);
    grid->addWidget(smtpServer, row, 1, 1, 2);
    label("Port:", row, 3, port);
    grid->addWidget(port, row++, 4);
    label("User:", row, 0, username);
    grid->addWidget(username, row, 1, 1, 2);
    label("Password:", row, 3, password);
    grid->addWidget(password, row++, 4);
    label("Setting:", row, 0, mailSetting);
    grid->addWidget(mailSetting, row, 1, 1, 2);
    insertCategory = new QPushButton(QStringLiteral("Add"), this);
    updateCategory = new QPushButton(QStringLiteral("Edit"), this);
    deleteCategory = new QPushButton(QStringLiteral("Delete"), this);
    insertCategory->setToolTip(QStringLiteral("Add a new setting"));
    updateCategory->setToolTip(QStringLiteral("Edit a setting"));
    deleteCategory->setToolTip(QStringLiteral("Delete a setting"));
    auto* settingButtons = new QHBoxLayout;
    for (QPushButton* b : {insertCategory, updateCategory, deleteCategory})
        settingButtons->addWidget(b);
    grid->addLayout(settingButtons, row++, 3, 1, 2);
    label("Sender:", row, 0, mailFrom);
    grid->addWidget(mailFrom, row++, 1, 1, 4);
    label("Receipt:", row, 0, mailTo);
    grid->addWidget(mailTo, row++, 1, 1, 4);
    label("Subject:", row, 0, subject);
    grid->addWidget(subject, row++, 1, 1, 4);
    label("Greeting:", row, 0, greetingHead);
    grid->addWidget(greetingHead, row, 1);
    grid->addWidget(attention, row, 2, 1, 2);
    grid->addWidget(greetingTail, row++, 4);
    label("Message Content:", row, 0, body);
    grid->addWidget(body, row++, 1, 1, 4);
    label("Additional Files:", row, 0, attachmentList);
    grid->addWidget(attachmentList, row, 1, 1, 3);
    insertAttachment = new QPushButton(QStringLiteral("Attach file"), this);
    deleteAttachment = new QPushButton(QStringLiteral("Remove attached files"), this);
    auto* fileButtons = new QVBoxLayout;
    fileButtons->addWidget(insertAttachment);
    fileButtons->addWidget(deleteAttachment);
    fileButtons->addStretch();
    grid->addLayout(fileButtons, row++, 4);
    grid->addWidget(html, row++, 1);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->hide();
    outer->addWidget(ProgressBar1);
    sendButton = new QPushButton(QStringLiteral("&Send"), this);
    cCancel = new QPushButton(QStringLiteral("&Close"), this);
    helpButton = new QPushButton(QStringLiteral("&Help"), this);
    auto* buttons = new platform::ButtonRows;
    for (QPushButton* b : {sendButton, cCancel, helpButton})
        buttons->addWidget(b);
    outer->addLayout(buttons);
    platform::OrderFocus({smtpServer, port, username, password, mailSetting, insertCategory, updateCategory,
                          deleteCategory, mailFrom, mailTo, subject, greetingHead, attention, greetingTail, body,
                          attachmentList, insertAttachment, deleteAttachment, html, sendButton, cCancel, helpButton});

    connect(sendButton, &QPushButton::clicked, this, &TEmailForm::sendButtonClick);
    connect(cCancel, &QPushButton::clicked, this, &TEmailForm::cCancelClick);
    connect(helpButton, &QPushButton::clicked, this, &TEmailForm::helpButtonClick);
    connect(insertAttachment, &QPushButton::clicked, this, &TEmailForm::insertAttachmentClick);
    connect(deleteAttachment, &QPushButton::clicked, this, &TEmailForm::deleteAttachmentClick);
    connect(insertCategory, &QPushButton::clicked, this, &TEmailForm::insertCategoryClick);
    connect(updateCategory, &QPushButton::clicked, this, &TEmailForm::updateCategoryClick);
    connect(deleteCategory, &QPushButton::clicked, this, &TEmailForm::deleteCategoryClick);
    connect(mailSetting, &QComboBox::activated, this, &TEmailForm::mailSettingChange);

    platform::NoAutoDefaultButtons(this);  // Enter in a field presses no button
    loadSetup();
}

TEmailForm::~TEmailForm() = default;

std::optional<uint16_t> TEmailForm::PortNumber(const QString& text)
{
    const std::string s = text.trimmed().toStdString();
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || value < 1 || value > 65535)
        return std::nullopt;
    return uint16_t(value);
}

// ---------------------------------------------------------------- settings

void TEmailForm::loadSetup()
{
    dbCursor<MailSetup> setup;
    if (setup.select() > 0) {
        smtpServer->setText(stored(setup->smtpServer));
        port->setText(QString::number(uint16_t(setup->port)));
        username->setText(stored(setup->username));
        password->setText(stored(setup->password));
        mailFrom->setText(stored(setup->sender));
        Parts().Show(MailParts::Of(*setup));
    } else {
        MailSetup fresh;
        store_.clear();
        fresh.smtpServer = store_.put(smtpServer->text().toStdString());
        fresh.port = int2(*PortNumber(port->text()));
        fresh.username = store_.put(username->text().toStdString());
        fresh.password = store_.put(password->text().toStdString());
        fresh.sender = store_.put(mailFrom->text().toStdString());
        Parts().Read().Into(fresh, store_);
        insert(fresh);
    }
    zarvoCursor<Mail> templates;
    if (templates.select() > 0) {
        do
            mailSetting->addItem(stored(templates->name), templates.currentId().getOid());
        while (templates.next());
    }
    database.commit();
}

void TEmailForm::FormClose()
{
    dbCursor<MailSetup> setup(dbCursorForUpdate);
    if (setup.select() > 0) {
        store_.clear();
        setup->smtpServer = store_.put(smtpServer->text().toStdString());
        if (auto number = PortNumber(port->text()))
            setup->port = int2(*number);  // 1 to 65535 kept as the 16 bits of the field
        setup->username = store_.put(username->text().toStdString());
        setup->password = store_.put(password->text().toStdString());
        setup->sender = store_.put(mailFrom->text().toStdString());
        Parts().Read().Into(*setup, store_);
        if (!setup.update()) {
            database.rollback();
            ShowInfo(QStringLiteral("The e-mail settings could not be stored."), this);
            return;
        }
    }
    if (!database.commit())
        ShowInfo(QStringLiteral("The e-mail settings could not be stored."), this);
}

void TEmailForm::done(int)
{
    if (sending_)
        return;
    if (!closed_) {
        closed_ = true;
        FormClose();
    }
    QDialog::done(1);
}

void TEmailForm::closeEvent(QCloseEvent* event)
{
    if (sending_)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void TEmailForm::cCancelClick() { close(); }

void TEmailForm::helpButtonClick()
{
    OpenHelp(QStringLiteral("email.htm"), this);
}

void TEmailForm::insertAttachmentClick() { AddAttachment(attachmentList, this); }

void TEmailForm::deleteAttachmentClick()
{
    RemoveAttachment(attachmentList, QStringLiteral("Delete file '"), this);
}

// ---------------------------------------------------------------- sending

void TEmailForm::sendButtonClick()
{
    if (sending_)
        return;
    if (!mailFrom->text().contains('@')) {
        ShowInfo(QStringLiteral("Enter your email address."), this);
        mailFrom->selectAll();
        mailFrom->setFocus();
        return;
    }
    const auto portNumber = PortNumber(port->text());
    if (!portNumber) {
        platform::ShowError("'" + port->text() + "' is not a valid port number (1 to 65535).", this);
        return;
    }
    const MailParts parts = Parts().Read();
    platform::MailMessage message;
    message.html = parts.html;
    message.attachments = parts.attachments;
    message.subject = parts.subject;
    const auto from = platform::ParseMailAddress(mailFrom->text());

    platform::SmtpClient client;
    client.host = smtpServer->text();
    client.port = *portNumber;
    client.timeouts = timeouts;

    QStringList outcome{kTransmitError};
    {
        // the window stays open and busy until the run is over, also when it throws
        struct Running {
            bool& flag;
            explicit Running(bool& f) : flag(f) { flag = true; }
            ~Running() { flag = false; }
        } running(sending_);
        platform::LongWork busy;
        // nothing malformed or unreadable gets as far as the server
        const QString fault = inputFault(from, message);
        if (fault.isEmpty()) {
            message.from = *from;
            outcome = mainGrid ? sendBulk(busy, client, message) : sendSingle(busy, client, message);
        } else {
            outcome.append(fault);
        }
        ProgressBar1->hide();
        if (client.Connected())
            busy.Run([&client] { client.Disconnect(); });
    }
    ShowInfo(outcome.join('\n'), this);
    close();
}

QStringList TEmailForm::sendSingle(platform::LongWork& busy, platform::SmtpClient& client,
                                   platform::MailMessage& message)
{
    const auto recipients = platform::ParseMailAddressList(mailTo->text());
    if (!recipients)
        return {kTransmitError, QStringLiteral("The recipient address is not valid.")};
    message.recipients = *recipients;
    message.body = QStringList{greetingHead->text() + attention->text() + greetingTail->text(), body->toPlainText()};
    const bool sent = busy.Run([&] { return client.Connect() && client.Send(message); });
    if (!sent) {
        QStringList lines{kTransmitError, failureText(client.Failure())};
        if (client.Failure().maybeDelivered)
            lines.append(QStringLiteral("The message may or may not have arrived."));
        return lines;
    }
    return {"Email has sent to " + platform::AddressesText(message.recipients)};
}

QStringList TEmailForm::sendBulk(platform::LongWork& busy, platform::SmtpClient& client,
                                 platform::MailMessage& message)
{
    // The contacts are read here, on the window's thread (the database's);
    // the exchange with the server runs on one thread of its own.
    struct Recipient {
        QList<platform::MailAddress> addresses;  // empty: passed over
        QString person;
    };
    std::vector<Recipient> rows;
    int usable = 0;  // the messages this send sets out to send
    for (int r = 1; r < mainGrid->RowCount(); ++r) {
        if (!mainGrid->GetRowSelect(r))
            continue;
        const std::string& idText = mainGrid->Cells(0, r);
        oid_t oid = 0;
        std::from_chars(idText.data(), idText.data() + idText.size(), oid);
        dbCursor<Customer> contact;
        if (oid == 0 || !contact.at(dbReference<Customer>(oid))) {
            database.commit();
            return {kTransmitError, QStringLiteral("A selected contact is no longer stored.")};
        }
        const QString email = stored(contact->email);
        // a contact without a usable address is passed over
        const auto addresses = platform::ParseMailAddressList(email);
        rows.push_back({email.contains('@') && addresses ? *addresses : QList<platform::MailAddress>(),
                        stored(contact->person)});
        usable += rows.back().addresses.isEmpty() ? 0 : 1;
    }
    database.commit();

    const QString head = greetingHead->text(), tail = greetingTail->text(), text = body->toPlainText();
    const int selected = int(rows.size());
    std::atomic<int> handled {0};
    // Filled on the sending thread, read here once it is over.
    int sent = 0;
    std::vector<platform::SmtpFailure> refused;  // recipients the server refused: passed over
    platform::SmtpFailure stop;                  // what ended the run early
    const Recipient* stoppedAt = nullptr;        // the contact it ended at; null: before the first
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    busy.Run(
        [&] {
            if (!client.Connect()) {
                stop = client.Failure();
                return;
            }
            for (const Recipient& row : rows) {
                if (!row.addresses.isEmpty()) {
                    message.recipients = row.addresses;
                    message.body = QStringList{head + row.person + tail, text};
                    const platform::SmtpFailure failure = sendWithRetries(client, message);
                    if (failure.kind == platform::SmtpFailure::None) {
                        ++sent;
                    } else if (failure.kind == platform::SmtpFailure::Refused &&
                               failure.step == platform::SmtpFailure::Recipient) {
                        refused.push_back(failure);  // that address only: the others may go
                    } else {
                        stop = failure;
                        stoppedAt = &row;
                        return;
                    }
                }
                ++handled;  // the position shows the rows handled before the current one
            }
            client.Disconnect();
        },
        [&] { ProgressBar1->setValue(selected > 0 ? handled * 100 / selected : 0); });
    if (stop.kind == platform::SmtpFailure::None && refused.empty()) {
        ProgressBar1->setValue(100);
        return {"Email has been sent to " + QString::number(sent) + " persons."};
    }
    // the user must not send the same mail again to those who have it
    QStringList lines{kTransmitError};
    const size_t shownRefusals = 5;
    for (size_t i = 0; i < refused.size() && i < shownRefusals; ++i)
        lines.append(failureText(refused[i]));
    if (refused.size() > shownRefusals)
        lines.append(QString("The server refused %1 more recipients.").arg(refused.size() - shownRefusals));
    const QString count = QString("%1 of %2 messages were sent").arg(sent).arg(usable);
    if (stop.kind == platform::SmtpFailure::None)
        return lines << count + ".";
    lines.append(failureText(stop));
    if (!stop.maybeDelivered || !stoppedAt)
        return lines << count + " before the error.";
    lines.append("The message to " + stoppedAt->person + " <" + platform::AddressesText(stoppedAt->addresses) +
                 "> may or may not have arrived.");
    return lines << count + " before it.";
}

platform::SmtpFailure TEmailForm::sendWithRetries(platform::SmtpClient& client,
                                                  const platform::MailMessage& message) const
{
    for (int retry = 0;; ++retry) {
        if ((client.Connected() || client.Connect()) && client.Send(message))
            return {};
        // a silent server would only cost another full wait, and a message
        // that may have arrived would arrive twice
        if (retry >= sendRetries || !client.Failure().Retryable())
            return client.Failure();
        std::this_thread::sleep_for(std::chrono::milliseconds(retryPauseMs));
    }
}

// ---------------------------------------------------------------- templates

void TEmailForm::mailSettingChange(int index)
{
    if (index < 0)
        return;
    zarvoCursor<Mail> cursor;
    const Mail* t = templateAt(cursor, *mailSetting, index);
    if (!t) {
        templateGone(*mailSetting, index, this);
        return;
    }
    Parts().Show(MailParts::Of(*t));
    database.commit();
}

void TEmailForm::insertCategoryClick()
{
    TMailInsertForm form(this);
    if (RunModal(form) != 1)
        return;
    Mail record;
    zarvoBuffer texts;
    record.name = texts.put(form.name->text().toStdString());
    form.Parts().Read().Into(record, texts);
    const oid_t added = insert(record).getOid();
    if (added == 0 || !database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, this);
        return;
    }
    mailSetting->addItem(form.name->text(), added);
    mailSetting->setCurrentIndex(mailSetting->count() - 1);
    mailSettingChange(mailSetting->currentIndex());
}

void TEmailForm::updateCategoryClick()
{
    const int index = mailSetting->currentIndex();
    if (index < 0)
        return;
    TMailInsertForm form(this);
    {
        zarvoCursor<Mail> cursor;
        const Mail* t = templateAt(cursor, *mailSetting, index);
        if (!t) {
            templateGone(*mailSetting, index, this);
            return;
        }
        form.name->setText(stored(t->name));
        form.Parts().Show(MailParts::Of(*t));
        database.commit();
    }
    if (RunModal(form) != 1)
        return;
    zarvoCursor<Mail> cursor(dbCursorForUpdate);
    zarvoBuffer texts;
    Mail* t = templateAt(cursor, *mailSetting, index);
    if (!t) {
        templateGone(*mailSetting, index, this);
        return;
    }
    t->name = texts.put(form.name->text().toStdString());
    form.Parts().Read().Into(*t, texts);
    if (!cursor.update() || !database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, this);
        return;
    }
    mailSetting->setItemText(index, form.name->text());
    mailSetting->setCurrentIndex(index);
    mailSettingChange(index);
}

void TEmailForm::deleteCategoryClick()
{
    const int index = mailSetting->currentIndex();
    if (index < 0 || !AskYesNo("Delete Setting '" + mailSetting->itemText(index) + "'?", this))
        return;
    zarvoCursor<Mail> cursor(dbCursorForUpdate);
    if (!templateAt(cursor, *mailSetting, index)) {
        templateGone(*mailSetting, index, this);
        return;
    }
    cursor.remove();
    if (!database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, this);
        return;
    }
    mailSetting->removeItem(index);
}
