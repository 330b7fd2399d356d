// Sending mail: addresses as people type them, a MIME message of body lines
// and file attachments, and an SMTP client over libcurl that talks to one
// server without ever logging in. The client is used from one thread at a
// time; its calls block, every wait bounded by SmtpTimeouts. Nothing of a
// message reaches the server before Send has checked it: an address, sender
// or subject holding a line break or another control character is refused.
// A failure says what went wrong (SmtpFailure), so that the caller retries
// only what a new try can mend and never sends twice a message the server
// may already have delivered.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

struct MailAddress {
    QString name;     // display name, may be empty
    QString address;  // local@domain, printable ASCII without blanks
};

// One address: "a@x", "<a@x>", "Ann <a@x>" or "\"Smith, John\" <a@x>". Refused
// (nullopt): no '@' or more than one, text around or after the brackets that
// makes no name, a control character anywhere, blanks or specials inside the
// address, letters outside ASCII in the address.
std::optional<MailAddress> ParseMailAddress(const QString& text);
// Addresses separated by ',' or ';' outside quotes and angle brackets; a
// piece without '@' is part of the next one's name ("Smith, John <js@x>" is
// one address). Empty items are passed over. Refused when one item is
// refused or none remains.
std::optional<QList<MailAddress>> ParseMailAddressList(const QString& text);
// The bare addresses joined by ", ".
QString AddressesText(const QList<MailAddress>& list);

// A header text as it goes on the wire: printable ASCII as is, anything else
// as RFC 2047 encoded-words (UTF-8, base64), folded so that no word passes 75
// characters. Control characters are never passed through.
QByteArray EncodeHeaderText(const QString& text);
// An address for a From or To header: the name quoted or encoded as needed.
QByteArray EncodeAddressHeader(const MailAddress& a);
// The Content-Disposition of an attachment: "attachment; filename=\"x\"" for
// a plain ASCII name, else an RFC 2231 "filename*=UTF-8''..." parameter.
QByteArray AttachmentDisposition(const QString& fileName);

struct MailMessage {
    MailAddress from;
    QList<MailAddress> recipients;
    QString subject;
    QStringList body;         // lines; a line may itself hold line breaks
    bool html = false;        // text/html instead of text/plain (both UTF-8, quoted-printable)
    QStringList attachments;  // file paths, attached in this order (base64)

    // The first attachment that cannot be opened for reading, empty when all can.
    QString UnreadableAttachment() const;
};

struct SmtpTimeouts {
    int connectMs = 5000;       // one attempt: TCP connect, the greeting and EHLO
    int connectAttempts = 3;    // attempts of one Connect
    // each answer of the server once connected, and each stretch of that
    // long in which the server takes none of a message's bytes (at least 1)
    int responseSeconds = 30;
};

// Why the last Connect or Send failed.
struct SmtpFailure {
    enum Kind {
        None,
        Input,        // refused before anything went out: malformed sender, recipient or subject, or no connection
        Unreadable,   // an attachment could not be read; `detail` is its path
        Unreachable,  // no connection: `detail` says why in plain words
        Dropped,      // the connection broke while the server owed a reply
        Temporary,    // a 4xx reply: the server may take it later
        Refused,      // a 5xx reply
        Silent,       // no reply, or no byte of the message taken, for `waitMs`
    };
    // What the server was answering, or failing to answer.
    enum Step { Greeting, Sender, Recipient, Message };

    Kind kind = None;
    Step step = Greeting;
    QString reply;   // Temporary, Refused: the server's own reply, code first
    QString detail;  // Unreachable: why; Recipient step: the address; Unreadable: the file
    int waitMs = 0;  // Silent: the wait that ran out
    // The message's data went out whole and its reply did not come: the
    // server may have delivered it, so it must not be sent again.
    bool maybeDelivered = false;

    // A new try may mend it: no connection made (but not a silent server), the
    // connection lost before the message went out whole, or a 4xx reply.
    bool Retryable() const;
};

class SmtpClient {
public:
    SmtpClient();
    ~SmtpClient();
    SmtpClient(const SmtpClient&) = delete;
    SmtpClient& operator=(const SmtpClient&) = delete;

    QString host;          // name or IP address; anything else is refused by Connect
    uint16_t port = 25;
    SmtpTimeouts timeouts;

    // Connects and greets (EHLO, NOOP), trying again at once while the
    // failure is retryable, up to timeouts.connectAttempts attempts. A
    // connection already open is closed first.
    bool Connect();
    bool Connected() const { return handle_ != nullptr; }
    // Sends one message over the open connection, with a Date and a
    // Message-ID header of its own; false when it was refused or the
    // connection failed, and Failure() says why. A message that the server
    // did not take ends the connection at once, without waiting on a
    // goodbye: Connect again.
    bool Send(const MailMessage& message);
    // Says goodbye (QUIT) and closes the connection, when there is one.
    void Disconnect();
    // What went wrong last, for logs and tests.
    QString LastError() const { return error_; }
    // Why the last Connect or Send failed; kind None after a success.
    const SmtpFailure& Failure() const { return failure_; }
    // Connections made since this client was created.
    int Connections() const { return connections_; }

private:
    struct Dialogue;

    bool connectOnce(const QByteArray& url);
    bool fail(const QString& what, SmtpFailure failure);
    // The failure of the transfer that libcurl ended on `handle` with
    // `result`; `silent`: no reply or byte moved for `waitMs`; the message
    // sent is `messageBytes` long (-1: unknown).
    SmtpFailure failureOf(void* handle, int result, bool silent, int waitMs, int64_t messageBytes) const;
    // Closes the connection without QUIT: its sockets are shut first, so the
    // goodbye libcurl says on closing fails at once instead of awaiting a reply.
    void dropConnection();

    void* handle_ = nullptr;  // CURL easy handle of the open connection
    std::vector<int> sockets_;  // the sockets libcurl holds open for this client
    std::unique_ptr<Dialogue> dialogue_;  // what went over the connection in the current transfer
    QString error_;
    SmtpFailure failure_;
    int connections_ = 0;
};

}  // namespace platform
