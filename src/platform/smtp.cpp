#include "platform/smtp.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
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
};

int watchStall(void* data, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up)
{
    auto& stall = *static_cast<Stall*>(data);
    const auto now = std::chrono::steady_clock::now();
    if (down + up != stall.moved) {
        stall.moved = down + up;
        stall.since = now;
    }
    if (now - stall.since < stall.limit)
        return 0;
    shutSockets(*stall.sockets);
    return 1;  // not 0: the transfer is aborted
}

CURL* easy(void* h) { return static_cast<CURL*>(h); }

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

}  // namespace

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

SmtpClient::SmtpClient() { initCurl(); }

SmtpClient::~SmtpClient() { Disconnect(); }

bool SmtpClient::fail(const QString& what)
{
    error_ = what;
    return false;
}

bool SmtpClient::Connect()
{
    Disconnect();
    error_.clear();
    const QString h = host.trimmed();
    if (!validHost(h))
        return fail(QStringLiteral("not a server name: ") + h);
    if (port == 0)
        return fail(QStringLiteral("no port"));
    const QByteArray url = "smtp://" + (h.contains(':') ? "[" + h.toLatin1() + "]" : h.toLatin1()) + ":" +
                           QByteArray::number(port) + "/";
    for (int attempt = 0; attempt < std::max(1, timeouts.connectAttempts); ++attempt)
        if (connectOnce(url))
            return true;
    return false;
}

bool SmtpClient::connectOnce(const QByteArray& url)
{
    CURL* c = curl_easy_init();
    if (!c)
        return fail(QStringLiteral("out of memory"));
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_SOCKOPTFUNCTION, noteSocket);
    curl_easy_setopt(c, CURLOPT_SOCKOPTDATA, &sockets_);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, closeSocket);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, &sockets_);
    // the connect phase takes in the greeting and EHLO
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(std::max(1, timeouts.connectMs)));
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(std::max(1, timeouts.responseSeconds)));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "NOOP");
    const CURLcode res = curl_easy_perform(c);
    if (res != CURLE_OK) {
        curl_easy_cleanup(c);
        return fail(QString::fromUtf8(curl_easy_strerror(res)));
    }
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, nullptr);
    handle_ = c;
    ++connections_;
    return true;
}

bool SmtpClient::Send(const MailMessage& m)
{
    error_.clear();
    if (!handle_)
        return fail(QStringLiteral("not connected"));
    if (!validAddress(m.from.address) || !validName(m.from.name) || hasControl(m.subject))
        return fail(QStringLiteral("malformed sender or subject"));
    if (m.recipients.isEmpty())
        return fail(QStringLiteral("no recipient"));
    StringList rcpt, headers;
    QByteArrayList to;
    for (const MailAddress& r : m.recipients) {
        if (!validAddress(r.address) || !validName(r.name))
            return fail(QStringLiteral("malformed recipient"));
        rcpt.add("<" + r.address.toLatin1() + ">");
        to.append(EncodeAddressHeader(r));
    }
    const QString unreadable = m.UnreadableAttachment();
    if (!unreadable.isEmpty())
        return fail(QStringLiteral("cannot read ") + unreadable);
    headers.add("Date: " + dateHeader());
    headers.add("From: " + EncodeAddressHeader(m.from));
    headers.add("To: " + to.join(", "));
    headers.add("Subject: " + EncodeHeaderText(m.subject));
    headers.add("Message-ID: " + messageId(m.from.address));

    CURL* c = easy(handle_);
    curl_mime* mime = curl_mime_init(c);
    curl_mimepart* part = curl_mime_addpart(mime);
    const QByteArray body = bodyText(m.body);
    curl_mime_data(part, body.constData(), size_t(body.size()));
    curl_mime_type(part, m.html ? "text/html; charset=UTF-8" : "text/plain; charset=UTF-8");
    curl_mime_encoder(part, "quoted-printable");
    curl_slist* inlineHeader = curl_slist_append(nullptr, "Content-Disposition: inline");
    curl_mime_headers(part, inlineHeader, 1);
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
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, watchStall);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &stall);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    const CURLcode res = curl_easy_perform(c);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, nullptr);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(c, CURLOPT_MIMEPOST, nullptr);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, nullptr);
    curl_mime_free(mime);
    if (res != CURLE_OK) {
        fail(QString::fromUtf8(curl_easy_strerror(res)));
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
