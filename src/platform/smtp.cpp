#include "platform/smtp.h"

#include <QByteArrayList>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>

namespace platform {
namespace {

bool isControl(QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }

bool hasControl(const QString& text)
{
    for (QChar c : text)
        if (isControl(c))
            return true;
    return false;
}

bool isPrintableAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

// local@domain with the characters an address may carry unquoted.
bool validAddress(const QString& a)
{
    static const QString localSpecials = QStringLiteral("!#$%&'*+/=?^_`{|}~.-");
    const qsizetype at = a.indexOf('@');
    if (at <= 0 || at != a.lastIndexOf('@') || at == a.size() - 1)
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QChar c = a[i];
        if (c.unicode() > 0x7e || i == at)
            continue;
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (alnum)
            continue;
        if (i < at ? !localSpecials.contains(c) : (c != '-' && c != '.'))
            return false;
    }
    return isPrintableAscii(a);
}

bool validName(const QString& name) { return !hasControl(name); }

// A display name: a quoted string loses its quotes and escapes.
std::optional<QString> displayName(QString t)
{
    t = t.trimmed();
    if (!t.startsWith('"'))
        return t.contains('"') ? std::nullopt : std::optional<QString>(t);
    if (t.size() < 2 || !t.endsWith('"'))
        return std::nullopt;
    QString out;
    for (qsizetype i = 1; i < t.size() - 1; ++i) {
        if (t[i] == '\\' && i + 1 < t.size() - 1)
            ++i;
        else if (t[i] == '"')
            return std::nullopt;
        out += t[i];
    }
    return out;
}

QByteArray quotedName(const QString& name)
{
    static const QString specials = QStringLiteral("()<>[]:;@\\,.\"");
    bool plain = true;
    for (QChar c : name)
        plain = plain && !specials.contains(c);
    if (plain)
        return name.toLatin1();
    QByteArray out = "\"";
    for (QChar c : name) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += char(c.unicode());
    }
    return out + '"';
}

// "Mon, 07 Dec 2026 11:10:25 +0000", whatever the process locale.
QByteArray dateHeader()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return (QLocale::c().toString(now, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss")) + " +0000").toLatin1();
}

// "<32 random hex digits@domain>": unique to the message, named after the
// sender's domain as mail filters expect.
QByteArray messageId(const QString& senderAddress)
{
    QRandomGenerator* random = QRandomGenerator::system();
    QByteArray id;
    for (int i = 0; i < 2; ++i)
        id += QByteArray::number(random->generate64(), 16).rightJustified(16, '0');
    return "<" + id + "@" + senderAddress.mid(senderAddress.indexOf('@') + 1).toLatin1() + ">";
}

// A host name or an IP address, nothing that could change the URL.
bool validHost(const QString& h)
{
    if (h.isEmpty() || h.size() > 253)
        return false;
    const bool ipv6 = h.contains(':');
    for (QChar c : h) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && c != '.' && c != '-' && !(ipv6 && c == ':'))
            return false;
    }
    return true;
}

void initCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

// The sockets of a client are followed from their creation to their closing,
// so that a failed send can shut them; libcurl still closes them itself.
int noteSocket(void* sockets, curl_socket_t fd, curlsocktype)
{
    static_cast<std::vector<int>*>(sockets)->push_back(fd);
    return CURL_SOCKOPT_OK;
}

int closeSocket(void* sockets, curl_socket_t fd)
{
    auto& open = *static_cast<std::vector<int>*>(sockets);
    open.erase(std::remove(open.begin(), open.end(), fd), open.end());
    return ::close(fd);
}

// Nothing more goes either way: a command libcurl still sends fails at once.
void shutSockets(const std::vector<int>& sockets)
{
    for (int fd : sockets)
        ::shutdown(fd, SHUT_RDWR);
}

// A send given up when no byte has gone either way for the reply time-out:
// the server stopped taking the message or answering. libcurl consults the
// watch at least once a second, also while awaiting a reply and when its own
// reply time-out has struck. Giving up shuts the sockets: libcurl says QUIT
// when it closes a failed connection, and would await that reply too.
struct Stall {
    std::chrono::milliseconds limit;
    const std::vector<int>* sockets;
    curl_off_t moved = -1;
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
    bool tripped = false;  // the watch gave up
    curl_off_t total = -1;  // the size of the message being sent, once libcurl knows it
};

int watchStall(void* data, curl_off_t, curl_off_t down, curl_off_t total, curl_off_t up)
{
    auto& stall = *static_cast<Stall*>(data);
    if (total > 0)
        stall.total = total;
    const auto now = std::chrono::steady_clock::now();
    if (down + up != stall.moved) {
        stall.moved = down + up;
        stall.since = now;
    }
    if (now - stall.since < stall.limit)
        return 0;
    stall.tripped = true;
    shutSockets(*stall.sockets);
    return 1;  // not 0: the transfer is aborted
}

CURL* easy(void* h) { return static_cast<CURL*>(h); }

// One transfer, with the stall watched.
CURLcode performWatched(CURL* c, Stall& stall)
{
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, watchStall);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &stall);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    const CURLcode res = curl_easy_perform(c);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, nullptr);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, nullptr);
    return res;
}

// A curl string list that frees itself.
struct StringList {
    curl_slist* list = nullptr;
    ~StringList() { curl_slist_free_all(list); }
    bool add(const QByteArray& s)
    {
        curl_slist* grown = curl_slist_append(list, s.constData());
        if (grown)
            list = grown;
        return grown != nullptr;
    }
};

// The lines of the body with every line break as CR LF.
QByteArray bodyText(const QStringList& lines)
{
    QString text = lines.join(QStringLiteral("\n"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace('\r', '\n');
    return text.toUtf8().replace("\n", "\r\n");
}

// Quoted-printable text (RFC 2045) whose line breaks are CR LF: lines of at
// most 76 characters with "=" soft breaks, '=', bytes outside printable
// ASCII and a blank before a line break encoded. Encoded here rather than
// by libcurl, so that libcurl knows the message's size in advance.
QByteArray quotedPrintable(const QByteArray& text)
{
    QByteArray out;
    qsizetype column = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const uchar c = uchar(text[i]);
        if (text.mid(i, 2) == "\r\n") {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        const bool blank = c == ' ' || c == '\t';
        const bool lineEnds = i + 1 == text.size() || text.mid(i + 1, 2) == "\r\n";
        const QByteArray piece = (c > 32 && c < 127 && c != '=') || (blank && !lineEnds)
                                     ? QByteArray(1, char(c))
                                     : "=" + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    }
    return out;
}

// A server's reply as it may be shown: control characters as blanks, not
// longer than a line or two.
QString shownReply(const QByteArray& reply)
{
    QString text = QString::fromUtf8(reply.left(300));
    for (QChar& c : text)
        if (isControl(c))
            c = ' ';
    return text.simplified();
}

}  // namespace

// What went over the connection in one transfer, as libcurl's debug hook
// tells it: the commands, the server's replies and the message's bytes.
struct SmtpClient::Dialogue {
    QByteArray command;        // the last command line sent, QUIT aside
    int code = 0;              // the code of the last whole reply
    QByteArray reply;          // that reply, code first, its lines joined
    QByteArrayList coming;     // the texts so far of a reply still coming
    bool owed = false;         // the server owes a reply to what was sent last
    bool inData = false;       // DATA was answered 354: the message itself went out
    curl_off_t dataBytes = 0;  // bytes of the message written since
    bool quitting = false;     // QUIT was sent
    // The watch of the transfer running now: a command or reply line ends a
    // silence as a byte of the message does, and a goodbye said inside a
    // transfer follows its failure, so its reply is not awaited.
    Stall* watch = nullptr;

    static int hook(CURL*, curl_infotype type, char* data, size_t size, void* self)
    {
        auto& d = *static_cast<Dialogue*>(self);
        const QByteArray text(data, qsizetype(size));
        if (d.quitting) {
            // the goodbye said on closing, and its reply, change nothing of what was owed
        } else if (type == CURLINFO_DATA_OUT && d.inData) {
            d.dataBytes += curl_off_t(size);
        } else if (type == CURLINFO_HEADER_OUT && text.toUpper().startsWith("QUIT")) {
            d.quitting = true;
            if (d.watch)
                shutSockets(*d.watch->sockets);
        } else if (type == CURLINFO_HEADER_OUT) {
            d.command = text.trimmed();
            d.owed = true;
            d.inData = false;
            d.heard();
        } else if (type == CURLINFO_HEADER_IN) {
            for (const QByteArray& line : text.split('\n'))
                if (!line.trimmed().isEmpty())
                    d.replyLine(line.trimmed());
            d.heard();
        }
        return 0;
    }
    // Runs one transfer of the connection, followed afresh and watched.
    CURLcode perform(CURL* c, Stall& stall)
    {
        *this = Dialogue();
        watch = &stall;
        const CURLcode result = performWatched(c, stall);
        watch = nullptr;
        return result;
    }
    void heard()
    {
        if (watch)
            watch->since = std::chrono::steady_clock::now();
    }
    // "250-first", ..., "250 last": the reply is whole at its last line.
    void replyLine(const QByteArray& line)
    {
        coming.append(line.mid(4).trimmed());
        if (line.size() > 3 && line[3] == '-')
            return;
        bool number = false;
        code = line.left(3).toInt(&number);
        code = number ? code : 0;
        reply = (line.left(3) + " " + coming.join(' ')).trimmed();
        coming.clear();
        owed = false;
        if (code == 354 && command.toUpper().startsWith("DATA")) {
            inData = true;  // the message goes out now, and its end is owed a reply
            dataBytes = 0;
            owed = true;
        }
    }
    SmtpFailure::Step step() const
    {
        const QByteArray verb = command.left(4).toUpper();
        if (inData || verb == "DATA")
            return SmtpFailure::Message;
        return verb == "MAIL" ? SmtpFailure::Sender : verb == "RCPT" ? SmtpFailure::Recipient : SmtpFailure::Greeting;
    }
    // The address of a RCPT command.
    QString recipient() const
    {
        QByteArray a = command.mid(command.indexOf(':') + 1).trimmed();
        if (a.startsWith('<') && a.endsWith('>'))
            a = a.mid(1, a.size() - 2);
        return QString::fromLatin1(a);
    }
};

namespace {

SmtpFailure failureKind(SmtpFailure::Kind kind, const QString& detail = {})
{
    SmtpFailure f;
    f.kind = kind;
    f.detail = detail;
    return f;
}

}  // namespace

bool SmtpFailure::Retryable() const
{
    return !maybeDelivered && (kind == Unreachable || kind == Dropped || kind == Temporary);
}

std::optional<MailAddress> ParseMailAddress(const QString& text)
{
    if (hasControl(text))
        return std::nullopt;
    const QString t = text.trimmed();
    MailAddress a;
    const qsizetype open = t.lastIndexOf('<');
    if (open >= 0) {
        if (!t.endsWith('>') || t.indexOf('>') != t.size() - 1)
            return std::nullopt;
        auto name = displayName(t.left(open));
        if (!name || name->contains('<'))
            return std::nullopt;
        a.name = *name;
        a.address = t.mid(open + 1, t.size() - open - 2).trimmed();
    } else {
        a.address = t;
    }
    if (!validAddress(a.address) || !validName(a.name))
        return std::nullopt;
    return a;
}

std::optional<QList<MailAddress>> ParseMailAddressList(const QString& text)
{
    if (hasControl(text))
        return std::nullopt;
    QList<MailAddress> out;
    QString item;
    bool quoted = false;
    int depth = 0;
    auto flush = [&] {
        if (item.trimmed().isEmpty())
            return true;
        auto a = ParseMailAddress(item);
        item.clear();
        if (a)
            out.append(*a);
        return a.has_value();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted && c == '\\' && i + 1 < text.size()) {
            item += c;
            item += text[++i];
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '<')
            ++depth;
        else if (!quoted && c == '>')
            depth = depth > 0 ? depth - 1 : 0;
        else if (!quoted && depth == 0 && (c == ',' || c == ';') &&
                 (item.contains('@') || item.trimmed().isEmpty())) {
            if (!flush())
                return std::nullopt;
            continue;
        }
        item += c;
    }
    if (quoted || depth != 0 || !flush() || out.isEmpty())
        return std::nullopt;
    return out;
}

QString AddressesText(const QList<MailAddress>& list)
{
    QStringList addresses;
    for (const MailAddress& a : list)
        addresses.append(a.address);
    return addresses.join(QStringLiteral(", "));
}

QByteArray EncodeHeaderText(const QString& text)
{
    QString clean = text;
    for (QChar& c : clean)
        if (isControl(c))
            c = ' ';
    if (isPrintableAscii(clean) && !clean.contains(QStringLiteral("=?")))
        return clean.toLatin1();
    // words of at most 45 bytes (60 base64 characters), never cutting a character
    const QByteArray utf8 = clean.toUtf8();
    QByteArray out;
    qsizetype start = 0;
    while (start < utf8.size()) {
        qsizetype end = std::min<qsizetype>(start + 45, utf8.size());
        while (end < utf8.size() && end > start + 1 && (uchar(utf8[end]) & 0xC0) == 0x80)
            --end;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + utf8.mid(start, end - start).toBase64() + "?=";
        start = end;
    }
    return out;
}

QByteArray EncodeAddressHeader(const MailAddress& a)
{
    if (a.name.isEmpty())
        return a.address.toLatin1();
    const QByteArray name = isPrintableAscii(a.name) && !a.name.contains(QStringLiteral("=?")) ? quotedName(a.name)
                                                                                             : EncodeHeaderText(a.name);
    return name + " <" + a.address.toLatin1() + ">";
}

QByteArray AttachmentDisposition(const QString& fileName)
{
    if (isPrintableAscii(fileName)) {
        QByteArray name;
        for (QChar c : fileName) {
            if (c == '"' || c == '\\')
                name += '\\';
            name += char(c.unicode());
        }
        return "attachment; filename=\"" + name + "\"";
    }
    static const QByteArray attrChars = "!#$&+-.^_`|~";
    QByteArray out = "attachment; filename*=UTF-8''";
    for (char b : fileName.toUtf8()) {
        const uchar u = uchar(b);
        const bool alnum = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
        if (alnum || attrChars.contains(b))
            out += b;
        else
            out += '%' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
    }
    return out;
}

QString MailMessage::UnreadableAttachment() const
{
    for (const QString& path : attachments) {
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
            return path;
    }
    return {};
}

SmtpClient::SmtpClient()
    : dialogue_(std::make_unique<Dialogue>())
{
    initCurl();
}

SmtpClient::~SmtpClient() { Disconnect(); }

bool SmtpClient::fail(const QString& what, SmtpFailure failure)
{
    error_ = what;
    failure_ = std::move(failure);
    return false;
}

SmtpFailure SmtpClient::failureOf(void* handle, int result, bool silent, int waitMs, int64_t messageBytes) const
{
    const Dialogue& d = *dialogue_;
    SmtpFailure f;
    f.step = d.step();
    if (f.step == SmtpFailure::Recipient)
        f.detail = d.recipient();
    if (!d.owed && d.code >= 400) {
        f.kind = d.code < 500 ? SmtpFailure::Temporary : SmtpFailure::Refused;
        f.reply = shownReply(d.reply);
        return f;
    }
    // No reply came to what was sent last. Once the message's bytes written
    // come to its size, the end mark has gone out after them; escaping only
    // adds bytes, so the count may run ahead of the message, never behind
    // it: a message in doubt, its size unknown included, may have arrived.
    f.maybeDelivered = d.inData && (messageBytes < 0 || d.dataBytes >= messageBytes);
    if (silent || result == CURLE_OPERATION_TIMEDOUT) {
        f.kind = SmtpFailure::Silent;
        f.waitMs = waitMs;
    } else if (f.step != SmtpFailure::Greeting) {
        f.kind = SmtpFailure::Dropped;
    } else {
        f.kind = SmtpFailure::Unreachable;
        long osError = 0;
        curl_easy_getinfo(easy(handle), CURLINFO_OS_ERRNO, &osError);
        f.detail = result == CURLE_COULDNT_RESOLVE_HOST ? QStringLiteral("no server has that name")
                   : result != CURLE_COULDNT_CONNECT    ? QStringLiteral("the connection was closed")
                   : osError == ECONNREFUSED            ? QStringLiteral("the connection was refused")
                                                        : QStringLiteral("no connection could be made");
    }
    return f;
}

bool SmtpClient::Connect()
{
    Disconnect();
    error_.clear();
    failure_ = {};
    const QString h = host.trimmed();
    if (!validHost(h))
        return fail(QStringLiteral("not a server name: ") + h,
                    failureKind(SmtpFailure::Unreachable, QStringLiteral("no server has that name")));
    if (port == 0)
        return fail(QStringLiteral("no port"), failureKind(SmtpFailure::Input));
    const QByteArray url = "smtp://" + (h.contains(':') ? "[" + h.toLatin1() + "]" : h.toLatin1()) + ":" +
                           QByteArray::number(port) + "/";
    // at once again after a refused or broken connection, not after a
    // silent server: that would only cost another full wait
    for (int attempt = 0; attempt < std::max(1, timeouts.connectAttempts); ++attempt)
        if (connectOnce(url))
            return true;
        else if (!failure_.Retryable())
            return false;
    return false;
}

bool SmtpClient::connectOnce(const QByteArray& url)
{
    CURL* c = curl_easy_init();
    if (!c)
        return fail(QStringLiteral("out of memory"), failureKind(SmtpFailure::Input));
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_SOCKOPTFUNCTION, noteSocket);
    curl_easy_setopt(c, CURLOPT_SOCKOPTDATA, &sockets_);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, closeSocket);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, &sockets_);
    // the dialogue is followed through the debug hook, which prints nothing
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, Dialogue::hook);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, dialogue_.get());
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    // the connect phase takes in the greeting and EHLO
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(std::max(1, timeouts.connectMs)));
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(std::max(1, timeouts.responseSeconds)));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "NOOP");
    // The greeting and EHLO are bounded by the connect time-out, NOOP's
    // reply by the reply time-out, each counted from the last line.
    const int connectMs = std::max(1, timeouts.connectMs), replyMs = std::max(1, timeouts.responseSeconds) * 1000;
    Stall stall{std::chrono::milliseconds(std::max(connectMs, replyMs)), &sockets_};
    const CURLcode res = dialogue_->perform(c, stall);
    if (res != CURLE_OK) {
        // the greeting and EHLO come within the connect time-out, NOOP's reply within the reply time-out
        const bool greeted = dialogue_->command.toUpper().startsWith("NOOP");
        const SmtpFailure failure = failureOf(c, res, stall.tripped, greeted ? replyMs : connectMs, -1);
        curl_easy_cleanup(c);
        return fail(QString::fromUtf8(curl_easy_strerror(res)), failure);
    }
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, nullptr);
    handle_ = c;
    ++connections_;
    return true;
}

bool SmtpClient::Send(const MailMessage& m)
{
    error_.clear();
    failure_ = {};
    if (!handle_)
        return fail(QStringLiteral("not connected"), failureKind(SmtpFailure::Input));
    if (!validAddress(m.from.address) || !validName(m.from.name) || hasControl(m.subject))
        return fail(QStringLiteral("malformed sender or subject"), failureKind(SmtpFailure::Input));
    if (m.recipients.isEmpty())
        return fail(QStringLiteral("no recipient"), failureKind(SmtpFailure::Input));
    StringList rcpt, headers;
    QByteArrayList to;
    for (const MailAddress& r : m.recipients) {
        if (!validAddress(r.address) || !validName(r.name))
            return fail(QStringLiteral("malformed recipient"), failureKind(SmtpFailure::Input));
        rcpt.add("<" + r.address.toLatin1() + ">");
        to.append(EncodeAddressHeader(r));
    }
    const QString unreadable = m.UnreadableAttachment();
    if (!unreadable.isEmpty())
        return fail(QStringLiteral("cannot read ") + unreadable,
                    failureKind(SmtpFailure::Unreadable, unreadable));
    headers.add("Date: " + dateHeader());
    headers.add("From: " + EncodeAddressHeader(m.from));
    headers.add("To: " + to.join(", "));
    headers.add("Subject: " + EncodeHeaderText(m.subject));
    headers.add("Message-ID: " + messageId(m.from.address));

    CURL* c = easy(handle_);
    curl_mime* mime = curl_mime_init(c);
    curl_mimepart* part = curl_mime_addpart(mime);
    const QByteArray body = quotedPrintable(bodyText(m.body));
    curl_mime_data(part, body.constData(), size_t(body.size()));
    curl_mime_type(part, m.html ? "text/html; charset=UTF-8" : "text/plain; charset=UTF-8");
    curl_slist* bodyHeaders = curl_slist_append(nullptr, "Content-Disposition: inline");
    curl_slist* both = bodyHeaders ? curl_slist_append(bodyHeaders, "Content-Transfer-Encoding: quoted-printable") : nullptr;
    curl_mime_headers(part, both ? both : bodyHeaders, 1);
    for (const QString& path : m.attachments) {
        part = curl_mime_addpart(mime);
        curl_mime_filedata(part, QFile::encodeName(path).constData());
        curl_mime_filename(part, nullptr);
        curl_mime_type(part, "application/octet-stream");
        curl_mime_encoder(part, "base64");
        const QByteArray disposition = "Content-Disposition: " + AttachmentDisposition(QFileInfo(path).fileName());
        curl_mime_headers(part, curl_slist_append(nullptr, disposition.constData()), 1);
    }
    const QByteArray from = "<" + m.from.address.toLatin1() + ">";
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.list);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(c, CURLOPT_MIMEPOST, mime);
    Stall stall{std::chrono::seconds(std::max(1, timeouts.responseSeconds)), &sockets_};
    const CURLcode res = dialogue_->perform(c, stall);
    curl_easy_setopt(c, CURLOPT_MIMEPOST, nullptr);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, nullptr);
    curl_mime_free(mime);
    if (res != CURLE_OK) {
        fail(QString::fromUtf8(curl_easy_strerror(res)),
             failureOf(c, res, stall.tripped, int(stall.limit.count()), stall.total));
        dropConnection();  // the server may be stuck: it gets no second wait
        return false;
    }
    return true;
}

void SmtpClient::dropConnection()
{
    shutSockets(sockets_);
    Disconnect();
}

void SmtpClient::Disconnect()
{
    if (handle_)
        curl_easy_cleanup(easy(handle_));
    handle_ = nullptr;
}

}  // namespace platform
