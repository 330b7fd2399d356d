// A small SMTP server for tests and benchmarks, on 127.0.0.1 at a port the
// kernel picks, served by a thread of its own until the sink is destroyed.
// It speaks EHLO/HELO, MAIL, RCPT, DATA, RSET, NOOP and QUIT, records every
// command line and every accepted message (envelope and raw data), and can
// refuse connections, withhold its greeting, offer AUTH, or answer 451 to the
// first messages, refuse all after some, answer late, stop answering at one
// command or stop reading after DATA, answer the first MAIL commands 421 and
// hang up, hang up without a word at one command, give raw bytes as the reply
// to one command and hang up, or refuse one recipient. Every wait is bounded (100 ms steps), so a stuck client
// never holds up the end of a test.
// Below the sink, ParsedMail takes a recorded message apart again (headers,
// encoded-words, parts, base64 and quoted-printable) for the checks.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class SmtpSinkMode { Normal, Refuse, Silent };
struct SmtpSinkOptions {
    SmtpSinkMode mode = SmtpSinkMode::Normal;
    bool offerAuth = false;   // EHLO lists AUTH PLAIN LOGIN
    int fail451 = 0;          // the data of this many messages is answered 451
    bool keepData = true;     // false: count messages, keep no data (benchmarks)
    std::string stallOn = {}; // this command ("DATA": the end of the data) is never answered;
                              // "354": DATA is answered, then nothing more is read
    int acceptOnly = -1;      // past this many accepted messages, the data of each is answered 554
    int replyDelayMs = 0;     // each message's data is answered this late
    int fail421 = 0;          // this many MAIL commands are answered 421, and the connection is closed
    std::string refuseRcpt = {};  // a RCPT whose address (as sent: "<b@x>") holds this text is answered 550
    std::string hangUpOn = {};  // this command ("DATA": the end of the data) is met by closing the
    int hangUps = 0;            // connection without a reply, this many times
    std::string rawReplyOn = {};  // at this command ("DATA": the end of the data; "220": the greeting)
    std::string rawReply = {};    // the reply is these bytes as they stand, and the connection is closed
};

class SmtpSink {
public:
    using Mode = SmtpSinkMode;
    using Options = SmtpSinkOptions;
    struct Message {
        std::string from;
        std::vector<std::string> to;
        std::string data;  // as sent, dots unstuffed, without the final "."
    };

    explicit SmtpSink(Options options = {}) : options_(options)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        if (options_.mode == Mode::Refuse) {
            ::close(listener_);  // nothing listens there now
            listener_ = -1;
            return;
        }
        if (options_.stallOn == "354") {
            const int small = 4096;  // inherited by the connections: the client soon has to wait
            ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        }
        ::listen(listener_, 16);
        thread_ = std::thread([this] { run(); });
    }
    ~SmtpSink()
    {
        stop_ = true;
        if (listener_ >= 0)
            ::shutdown(listener_, SHUT_RDWR);  // wakes the wait for a connection
        if (thread_.joinable())
            thread_.join();
        if (listener_ >= 0)
            ::close(listener_);
    }
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    uint16_t port() const { return port_; }
    std::vector<Message> messages() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    std::vector<std::string> commands() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }
    int connections() const { return connections_; }
    long accepted() const { return accepted_; }
    bool sawCommand(const std::string& prefix) const
    {
        for (const std::string& c : commands())
            if (c.compare(0, prefix.size(), prefix) == 0)
                return true;
        return false;
    }

private:
    void run()
    {
        while (!stop_) {
            pollfd p {listener_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++connections_;
            if (options_.mode == Mode::Silent) {
                held_.push_back(fd);  // open, and never a word back, until the sink ends
                continue;
            }
            serve(fd);
            ::close(fd);
        }
        for (int fd : held_)
            ::close(fd);
    }

    // Waits for more bytes; false when the peer left or the sink stops.
    bool fill(int fd, std::string& in)
    {
        char chunk[65536];
        while (!stop_) {
            pollfd p {fd, POLLIN, 0};
            const int r = ::poll(&p, 1, 100);
            if (r < 0)
                return false;
            if (r == 0)
                continue;
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return false;
            in.append(chunk, size_t(n));
            return true;
        }
        return false;
    }
    static void say(int fd, const std::string& s) { ::send(fd, s.data(), s.size(), MSG_NOSIGNAL); }

    void serve(int fd)
    {
        std::string in;
        if (options_.rawReplyOn == "220") {
            say(fd, options_.rawReply);
            return;
        }
        say(fd, "220 sink ESMTP\r\n");
        Message current;
        for (;;) {
            size_t eol;
            while ((eol = in.find("\r\n")) == std::string::npos)
                if (!fill(fd, in))
                    return;
            const std::string line = in.substr(0, eol);
            in.erase(0, eol + 2);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                commands_.push_back(line);
            }
            std::string verb = line.substr(0, line.find(' '));
            for (char& c : verb)
                c = char(toupper(uchar(c)));
            if (verb == options_.rawReplyOn && verb != "DATA") {
                say(fd, options_.rawReply);
                return;
            }
            if (verb == options_.stallOn && verb != "DATA") {
                while (fill(fd, in)) {
                }
                return;
            }
            if (verb == "EHLO")
                say(fd, std::string("250-sink\r\n") + (options_.offerAuth ? "250-AUTH PLAIN LOGIN\r\n" : "") +
                            "250 8BITMIME\r\n");
            else if (verb == "HELO" || verb == "NOOP")
                say(fd, "250 ok\r\n");
            else if (verb == "RSET") {
                current = Message();
                say(fd, "250 ok\r\n");
            } else if (verb == options_.hangUpOn && verb != "DATA" && hungUp_ < options_.hangUps) {
                ++hungUp_;
                return;
            } else if (verb == "MAIL" && failed421_ < options_.fail421) {
                ++failed421_;
                say(fd, "421 4.3.2 too busy, closing\r\n");
                return;
            } else if (verb == "MAIL") {
                current = Message();
                current.from = line.substr(line.find(':') + 1);
                say(fd, "250 ok\r\n");
            } else if (verb == "RCPT" && !options_.refuseRcpt.empty() &&
                       line.find(options_.refuseRcpt, line.find(':')) != std::string::npos) {
                say(fd, "550 5.1.1 No such user\r\n");
            } else if (verb == "RCPT") {
                current.to.push_back(line.substr(line.find(':') + 1));
                say(fd, "250 ok\r\n");
            } else if (verb == "DATA") {
                say(fd, "354 go on\r\n");
                if (options_.stallOn == "354") {
                    while (!stop_)
                        std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    return;
                }
                if (!readData(fd, in, current.data))
                    return;
                if (options_.rawReplyOn == "DATA") {
                    say(fd, options_.rawReply);
                    return;
                }
                if (options_.hangUpOn == "DATA" && hungUp_ < options_.hangUps) {
                    ++hungUp_;
                    return;
                }
                if (options_.stallOn == "DATA") {
                    while (fill(fd, in)) {
                    }
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(options_.replyDelayMs));
                if (options_.acceptOnly >= 0 && accepted_ >= options_.acceptOnly) {
                    say(fd, "554 refused\r\n");
                    continue;
                }
                if (failed_ < options_.fail451) {
                    ++failed_;
                    say(fd, "451 try again later\r\n");
                    continue;
                }
                ++accepted_;
                if (options_.keepData) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    messages_.push_back(current);
                }
                current.data.clear();
                say(fd, "250 queued\r\n");
            } else if (verb == "QUIT") {
                say(fd, "221 bye\r\n");
                return;
            } else if (verb == "AUTH")
                say(fd, "535 no\r\n");
            else
                say(fd, "500 unknown\r\n");
        }
    }

    // The data up to the line holding one dot; dot-stuffing undone.
    bool readData(int fd, std::string& in, std::string& data)
    {
        static const std::string end = "\r\n.\r\n";
        size_t from = 0;
        size_t at;
        in.insert(0, "\r\n");  // the end mark may come first
        while ((at = in.find(end, from)) == std::string::npos) {
            from = in.size() >= end.size() ? in.size() - end.size() + 1 : 0;
            if (!fill(fd, in))
                return false;
        }
        data.clear();
        if (options_.keepData) {
            data.reserve(at);
            for (size_t i = 2; i < at; ++i)
                if (!(in[i] == '.' && in[i - 1] == '\n' && in[i - 2] == '\r'))  // a stuffed dot
                    data += in[i];
            data += "\r\n";
        }
        in.erase(0, at + end.size());
        return true;
    }
    using uchar = unsigned char;

    Options options_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_ {false};
    std::atomic<int> connections_ {0};
    std::atomic<long> accepted_ {0};
    int failed_ = 0;
    int failed421_ = 0;
    int hungUp_ = 0;
    std::vector<int> held_;
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::vector<std::string> commands_;
};

// A recorded message taken apart: unfolded headers, and the parts of a
// multipart body with their content decoded.
struct ParsedMail {
    struct Part {
        QByteArray contentType, disposition, encoding;
        QByteArray content;  // decoded
    };
    QByteArrayList headerLines;
    std::vector<Part> parts;

    explicit ParsedMail(const std::string& raw)
    {
        const QByteArray all = QByteArray::fromStdString(raw);
        const qsizetype split = all.indexOf("\r\n\r\n");
        headerLines = unfold(all.left(split));
        const QByteArray type = header("Content-Type");
        const qsizetype b = type.indexOf("boundary=");
        const QByteArray body = all.mid(split + 4);
        if (b < 0) {
            parts.push_back(part(headerLines, body));
            return;
        }
        QByteArray boundary = type.mid(b + 9);
        boundary = boundary.left(boundary.indexOf(';') < 0 ? boundary.size() : boundary.indexOf(';'));
        boundary.replace('"', "");
        const QByteArray mark = "--" + boundary.trimmed();
        QByteArray rest = "\r\n" + body;
        for (;;) {
            const qsizetype s = rest.indexOf("\r\n" + mark);
            if (s < 0)
                break;
            rest = rest.mid(s + 2 + mark.size());
            if (rest.startsWith("--"))
                break;
            const qsizetype e = rest.indexOf("\r\n" + mark);
            const QByteArray whole = rest.left(e).mid(2);  // past the boundary line's CRLF
            const qsizetype hs = whole.indexOf("\r\n\r\n");
            parts.push_back(part(unfold(whole.left(hs)), whole.mid(hs + 4)));
        }
    }

    // A header's value (first of the name), folding undone, "" when missing.
    QByteArray header(const QByteArray& name) const { return find(headerLines, name); }
    // A header with its encoded-words decoded.
    QString text(const QByteArray& name) const { return decodeWords(header(name)); }

    static QByteArray find(const QByteArrayList& lines, const QByteArray& name)
    {
        for (const QByteArray& l : lines)
            if (l.toLower().startsWith(name.toLower() + ":"))
                return l.mid(name.size() + 1).trimmed();
        return {};
    }
    static QByteArrayList unfold(const QByteArray& block)
    {
        QByteArrayList out;
        for (const QByteArray& l : block.split('\n')) {
            const QByteArray line = l.endsWith('\r') ? l.chopped(1) : l;
            if (!out.isEmpty() && (line.startsWith(' ') || line.startsWith('\t')))
                out.last() += line;  // folding whitespace is the first blank of the line
            else
                out.append(line);
        }
        return out;
    }
    static QByteArray quotedPrintable(const QByteArray& in)
    {
        QByteArray out;
        for (qsizetype i = 0; i < in.size(); ++i) {
            if (in[i] != '=') {
                out += in[i];
            } else if (i + 2 < in.size() && in[i + 1] == '\r' && in[i + 2] == '\n') {
                i += 2;  // soft line break
            } else if (i + 2 < in.size()) {
                out += char(in.mid(i + 1, 2).toInt(nullptr, 16));
                i += 2;
            }
        }
        return out;
    }
    static QString decodeWords(const QByteArray& value)
    {
        QByteArray out;
        qsizetype i = 0;
        bool lastWasWord = false;
        while (i < value.size()) {
            const qsizetype s = value.indexOf("=?", i);
            if (s < 0) {
                out += value.mid(i);
                break;
            }
            const QByteArray between = value.mid(i, s - i);
            if (!(lastWasWord && between.trimmed().isEmpty()))
                out += between;
            const qsizetype q1 = value.indexOf('?', s + 2), q2 = value.indexOf('?', q1 + 1),
                            e = value.indexOf("?=", q2 + 1);
            const QByteArray enc = value.mid(q1 + 1, q2 - q1 - 1).toUpper(), data = value.mid(q2 + 1, e - q2 - 1);
            out += enc == "B" ? QByteArray::fromBase64(data) : quotedPrintable(QByteArray(data).replace('_', ' '));
            i = e + 2;
            lastWasWord = true;
        }
        return QString::fromUtf8(out);
    }

private:
    static Part part(const QByteArrayList& headers, const QByteArray& raw)
    {
        Part p;
        p.contentType = find(headers, "Content-Type");
        p.disposition = find(headers, "Content-Disposition");
        p.encoding = find(headers, "Content-Transfer-Encoding").toLower();
        p.content = p.encoding == "base64"             ? QByteArray::fromBase64(raw)
                    : p.encoding == "quoted-printable" ? quotedPrintable(raw)
                                                       : raw;
        return p;
    }
};
