// TEmailForm, "Send Email ": sends one message over SMTP to the recipients
// typed in `mailTo`, or (bulk mode, when the caller sets `mainGrid`) one
// message to every contact selected in the contact list, each opening with a
// greeting that carries the contact person's name. The window keeps its
// settings in the one MailSetup record (created on first use, written back
// on every close) and offers the stored mail templates (Mail records), each
// list item keeping the record it names.
// The caller creates it for one modal use, may preset `mailTo`, `attention`
// and `mainGrid`, shows it and frees it; the database must be open. Send
// ends with the window closed, whatever the outcome; a failure is told in
// one message that opens with "Transmit error." and says why under it. A
// message the server may have delivered is never sent again: a bulk send
// stops there.
#pragma once

#include "appcore/schema.h"
#include "documents/mailparts.h"
#include "platform/smtp.h"

#include <QDialog>

#include <cstdint>
#include <optional>

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace grid {
class RIvuZuvuzoZuvu;
}
namespace platform {
class LongWork;
}

class TEmailForm : public QDialog {
    Q_OBJECT
public:
    explicit TEmailForm(QWidget* owner = nullptr);
    ~TEmailForm() override;

    QLineEdit *smtpServer, *port, *username, *password, *mailFrom, *mailTo, *attention;
    QLineEdit *subject, *greetingHead, *greetingTail;
    QPlainTextEdit* body;
    QListWidget* attachmentList;
    QPushButton *insertAttachment, *deleteAttachment;
    QCheckBox* html;
    QComboBox* mailSetting;
    QPushButton *insertCategory, *updateCategory, *deleteCategory;
    QProgressBar* ProgressBar1;
    QPushButton *sendButton, *cCancel, *helpButton;

    // The contact list whose selected rows bulk mode mails (object id in
    // column 0); null: single mode.
    grid::RIvuZuvuzoZuvu* mainGrid = nullptr;

    // The waits of a send; tests shorten them.
    platform::SmtpTimeouts timeouts;
    int retryPauseMs = 3000;  // before each new try of a failed bulk message
    int sendRetries = 3;      // new tries of one bulk message, when a new try may mend its failure

    void sendButtonClick();
    void cCancelClick();
    // Writes the settings back; every close runs it once.
    void FormClose();
    void insertAttachmentClick();
    void deleteAttachmentClick();
    void helpButtonClick();
    void mailSettingChange(int index);
    void insertCategoryClick();
    void updateCategoryClick();
    void deleteCategoryClick();

    MailPartControls Parts() const { return {subject, greetingHead, greetingTail, body, attachmentList, html}; }
    // A port as typed: a whole number from 1 to 65535.
    static std::optional<uint16_t> PortNumber(const QString& text);

    // Every close writes the settings back and ends with modal result 1;
    // while a send runs the window cannot be closed.
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void loadSetup();
    // The lines of the message shown at the end of a send.
    QStringList sendSingle(platform::LongWork& busy, platform::SmtpClient& client, platform::MailMessage& message);
    QStringList sendBulk(platform::LongWork& busy, platform::SmtpClient& client, platform::MailMessage& message);
    // On the sending thread: the message, over a new connection when there
    // is none, and while the failure is one a new try may mend, up to
    // sendRetries new tries, each after a pause and on a new connection.
    // What failed last; kind None: sent.
    platform::SmtpFailure sendWithRetries(platform::SmtpClient& client, const platform::MailMessage& message) const;

    zarvoBuffer store_;
    bool sending_ = false;
    bool closed_ = false;
};
