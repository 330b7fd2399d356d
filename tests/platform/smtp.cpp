// Addresses as typed, header encodings, and the SMTP client against the sink.
#include "platform/smtp.h"
#include "smtp_sink.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using platform::MailAddress;
using platform::MailMessage;
using platform::SmtpClient;

namespace {

TEST(MailAddresses, ParsedAsTyped)
{
    struct Case {
        const char* text;
        const char* name;
        const char* address;  // nullptr: refused
    } cases[] = {
        {"a@x", "", "a@x"},
        {"  <a@x> ", "", "a@x"},
        {"Ann <a@x>", "Ann", "a@x"},
        {"\"Smith, John\" <js@x.org>", "Smith, John", "js@x.org"},
        {"王小明 <w@x>", "王小明", "w@x"},
        {"o'brien+tag@ex-ample.org", "", "o'brien+tag@ex-ample.org"},
        {"info", "", nullptr},
        {"a@b@c", "", nullptr},
        {"a b@x", "", nullptr},
        {"Ann <a@x> tail", "", nullptr},
        {"Ann <a@x", "", nullptr},
        {"c@x\r\nRCPT TO:<z@y>", "", nullptr},
        {"c@x\n", "", nullptr},
        {"Ann\r <a@x>", "", nullptr},
        {"é@x", "", nullptr},
        {"a@x_y", "", nullptr},
        {"", "", nullptr},
    };
    for (const Case& c : cases) {
        const auto a = platform::ParseMailAddress(QString::fromUtf8(c.text));
        if (!c.address) {
            EXPECT_FALSE(a.has_value()) << c.text;
            continue;
        }
        ASSERT_TRUE(a.has_value()) << c.text;
        EXPECT_EQ(a->name, QString::fromUtf8(c.name)) << c.text;
        EXPECT_EQ(a->address, QString::fromUtf8(c.address)) << c.text;
    }
}

TEST(MailAddresses, ListsSplitOutsideQuotesAndBrackets)
{
    const auto list = platform::ParseMailAddressList("\"Smith, John\" <js@x>; b@y, ,Bob <b;o@z>");
    EXPECT_FALSE(list.has_value()) << "a ';' inside the brackets makes a malformed address";
    for (const char* text : {"\"Smith, John\" <js@x>; b@y, ,", "Smith, John <js@x>;b@y"}) {
        const auto ok = platform::ParseMailAddressList(text);
        ASSERT_TRUE(ok.has_value()) << text;
        ASSERT_EQ(ok->size(), 2);
        EXPECT_EQ((*ok)[0].name, "Smith, John");
        EXPECT_EQ(platform::AddressesText(*ok), "js@x, b@y");
    }
    EXPECT_FALSE(platform::ParseMailAddressList("info, b@y").has_value());
    EXPECT_FALSE(platform::ParseMailAddressList(" , ;").has_value());
    EXPECT_FALSE(platform::ParseMailAddressList("a@x,\r\nb@y").has_value());
    EXPECT_FALSE(platform::ParseMailAddressList("\"open <a@x>").has_value());
}

TEST(MailHeaders, EncodedWhereNeeded)
{
    EXPECT_EQ(platform::EncodeHeaderText("Hello there"), "Hello there");
    const QString long_ = QString::fromUtf8("Grüße 你好 ").repeated(12);
    const QByteArray encoded = platform::EncodeHeaderText(long_);
    for (const QByteArray& word : encoded.split('\n')) {
        EXPECT_LE(word.trimmed().size(), 75) << word.constData();
        EXPECT_TRUE(word.trimmed().startsWith("=?UTF-8?B?"));
    }
    EXPECT_EQ(ParsedMail::decodeWords(encoded), long_);
    EXPECT_EQ(platform::EncodeAddressHeader({"Smith, John", "js@x"}), "\"Smith, John\" <js@x>");
    EXPECT_EQ(platform::EncodeAddressHeader({"", "js@x"}), "js@x");
    EXPECT_EQ(ParsedMail::decodeWords(platform::EncodeAddressHeader({QString::fromUtf8("王"), "w@x"})),
              QString::fromUtf8("王 <w@x>"));
    EXPECT_EQ(platform::AttachmentDisposition("a \"b\".pdf"), "attachment; filename=\"a \\\"b\\\".pdf\"");
    EXPECT_EQ(platform::AttachmentDisposition(QString::fromUtf8("報價 1.pdf")),
              "attachment; filename*=UTF-8''%E5%A0%B1%E5%83%B9%201.pdf");
}

class Client : public ::testing::Test {
protected:
    void SetUp() override
    {
        client.host = "127.0.0.1";
        client.timeouts = {300, 3, 2};
        message.from = {"Me", "me@x"};
        message.recipients = {{"Ann", "a@x"}, {"", "b@y"}};
        message.subject = QString::fromUtf8("Grüße 你好");
        message.body = {"Dear Ann,", "line one\nline two with = sign\n.dot line"};
        for (int i = 0; i < 2; ++i) {
            const QString path = dir.filePath(i ? QString::fromUtf8("報價.bin") : "plain.txt");
            QFile f(path);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            QByteArray bytes;
            for (int b = 0; b < 5000 + i; ++b)
                bytes += char((b * 7 + i) & 0xff);
            f.write(bytes);
            files.push_back(bytes);
            message.attachments.append(path);
        }
    }
    QTemporaryDir dir;
    SmtpClient client;
    MailMessage message;
    std::vector<QByteArray> files;
};

TEST_F(Client, SendsTheMessageWithoutLoggingIn)
{
    SmtpSink sink({SmtpSink::Mode::Normal, true});
    client.port = sink.port();
    ASSERT_TRUE(client.Connect()) << client.LastError().toStdString();
    ASSERT_TRUE(client.Send(message)) << client.LastError().toStdString();
    message.html = true;
    message.attachments.clear();
    ASSERT_TRUE(client.Send(message)) << client.LastError().toStdString();
    client.Disconnect();

    EXPECT_EQ(sink.connections(), 1) << "both messages go over one connection";
    EXPECT_FALSE(sink.sawCommand("AUTH"));
    EXPECT_TRUE(sink.sawCommand("QUIT"));
    const auto got = sink.messages();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].from, "<me@x>");
    EXPECT_EQ(got[0].to, (std::vector<std::string>{"<a@x>", "<b@y>"}));
    const ParsedMail m(got[0].data);
    EXPECT_EQ(m.text("Subject"), QString::fromUtf8("Grüße 你好"));
    EXPECT_TRUE(m.header("Subject").startsWith("=?UTF-8?B?"));
    EXPECT_EQ(m.text("From"), "Me <me@x>");
    EXPECT_EQ(m.text("To"), "Ann <a@x>, b@y");
    EXPECT_FALSE(m.header("Date").isEmpty());
    ASSERT_EQ(m.parts.size(), 3u);
    EXPECT_EQ(m.parts[0].contentType, "text/plain; charset=UTF-8");
    EXPECT_EQ(m.parts[0].encoding, "quoted-printable");
    EXPECT_EQ(m.parts[0].content, "Dear Ann,\r\nline one\r\nline two with = sign\r\n.dot line");
    // a long line, letters outside ASCII and blanks at a line's end survive
    // the encoding, and no line on the wire passes 76 characters
    message.body = {QString::fromUtf8("Grüße, ").repeated(30) + " ", "\tend\t"};
    client.Connect();
    ASSERT_TRUE(client.Send(message)) << client.LastError().toStdString();
    const auto third = sink.messages().back();
    const ParsedMail long_(third.data);
    EXPECT_EQ(QString::fromUtf8(long_.parts[0].content), message.body.join("\r\n"));
    const QByteArray raw = QByteArray::fromStdString(third.data);
    const qsizetype text = raw.indexOf("\r\n\r\n", raw.indexOf("quoted-printable")) + 4;
    const QByteArrayList lines = raw.mid(text, raw.indexOf("\r\n--", text) - text).split('\n');
    EXPECT_GT(lines.size(), 6);
    for (const QByteArray& line : lines)
        EXPECT_LE(line.size(), 77) << line.constData();  // 76 and the CR
    EXPECT_EQ(m.parts[1].disposition, "attachment; filename=\"plain.txt\"");
    EXPECT_EQ(m.parts[1].content, files[0]);
    EXPECT_EQ(m.parts[2].encoding, "base64");
    EXPECT_TRUE(m.parts[2].disposition.contains("filename*=UTF-8''%E5%A0%B1%E5%83%B9.bin"));
    EXPECT_EQ(m.parts[2].content, files[1]);
    const ParsedMail html(got[1].data);
    ASSERT_EQ(html.parts.size(), 1u);
    EXPECT_EQ(html.parts[0].contentType, "text/html; charset=UTF-8");
}

TEST_F(Client, RefusesWhatCouldReachTheDialogue)
{
    SmtpSink sink;
    client.port = sink.port();
    ASSERT_TRUE(client.Connect());
    MailMessage bad = message;
    bad.recipients = {{"", "c@x\r\nRCPT TO:<z@y>"}};
    EXPECT_FALSE(client.Send(bad));
    bad = message;
    bad.subject = "Hi\r\nBcc: z@y";
    EXPECT_FALSE(client.Send(bad));
    bad = message;
    bad.from = {"Me\nX", "me@x"};
    EXPECT_FALSE(client.Send(bad));
    bad = message;
    bad.attachments.append(dir.filePath("gone.pdf"));
    EXPECT_EQ(bad.UnreadableAttachment(), dir.filePath("gone.pdf"));
    EXPECT_FALSE(client.Send(bad));
    client.Disconnect();
    EXPECT_TRUE(sink.messages().empty());
    for (const std::string& c : sink.commands())
        EXPECT_EQ(c.find("z@y"), std::string::npos) << c;
    client.host = "127.0.0.1/evil";
    EXPECT_FALSE(client.Connect());
    client.host = "user@127.0.0.1";
    EXPECT_FALSE(client.Connect());
}

TEST_F(Client, ConnectFailuresEndWithinTheTimeouts)
{
    using F = platform::SmtpFailure;
    struct Case {
        SmtpSinkOptions sink;
        F::Kind kind;
        int connections;  // a refused connection is tried again at once, a silent server is not
        int waitMs;       // the wait that ran out, as told
        int connectMs = 300;
    } cases[] = {
        {{.mode = SmtpSink::Mode::Refuse}, F::Unreachable, 0, 0},
        {{.mode = SmtpSink::Mode::Silent}, F::Silent, 1, 300},
        // greeted: the reply time-out holds, not added to the connect time-out
        {{.stallOn = "NOOP"}, F::Silent, 1, 2000, 3000},
    };
    for (const Case& c : cases) {
        SmtpSink sink(c.sink);
        client.port = sink.port();
        client.timeouts.connectMs = c.connectMs;
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(client.Connect());
        EXPECT_LT(clock.elapsed(), c.waitMs + 1100);  // the watch looks once a second
        EXPECT_FALSE(client.Connected());
        EXPECT_EQ(client.Failure().kind, c.kind);
        EXPECT_EQ(client.Failure().waitMs, c.waitMs);
        EXPECT_EQ(sink.connections(), c.connections);
    }
}

// Each way a send fails, told apart: a new try is made only where it may
// mend the failure, and never of a message the server may have delivered.
TEST_F(Client, SendFailuresSayWhatFailedAndWhetherToTryAgain)
{
    using F = platform::SmtpFailure;
    struct Case {
        SmtpSinkOptions sink;
        F::Kind kind;
        F::Step step;
        const char* reply;  // the server's own words
        bool maybeDelivered, retryable;
    } cases[] = {
        {{.stallOn = "MAIL"}, F::Silent, F::Sender, "", false, false},
        {{.stallOn = "DATA"}, F::Silent, F::Message, "", true, false},
        {{.replyDelayMs = 1500}, F::Silent, F::Message, "", true, false},
        {{.fail451 = 1}, F::Temporary, F::Message, "451 try again later", false, true},
        {{.acceptOnly = 0}, F::Refused, F::Message, "554 refused", false, false},
        {{.fail421 = 1}, F::Temporary, F::Sender, "421 4.3.2 too busy, closing", false, true},
        {{.hangUpOn = "MAIL", .hangUps = 1}, F::Dropped, F::Sender, "", false, true},
        {{.hangUpOn = "DATA", .hangUps = 1}, F::Dropped, F::Message, "", true, false},
        {{.refuseRcpt = "<b@y>"}, F::Refused, F::Recipient, "550 5.1.1 No such user", false, false},
    };
    client.timeouts.responseSeconds = 1;
    for (const Case& c : cases) {
        SmtpSink sink(c.sink);
        client.port = sink.port();
        ASSERT_TRUE(client.Connect());
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(client.Send(message));
        EXPECT_LT(clock.elapsed(), 2000) << "each answer is awaited for one second at most here";
        const F& f = client.Failure();
        EXPECT_EQ(f.kind, c.kind) << c.reply;
        EXPECT_EQ(f.step, c.step) << c.reply;
        EXPECT_EQ(f.reply, c.reply);
        EXPECT_EQ(f.maybeDelivered, c.maybeDelivered) << c.reply;
        EXPECT_EQ(f.Retryable(), c.retryable) << c.reply;
        EXPECT_EQ(f.detail, c.step == F::Recipient ? "b@y" : "");
        EXPECT_FALSE(client.Connected()) << "a failed send ends the connection";
        if (c.retryable) {
            ASSERT_TRUE(client.Connect());
            EXPECT_TRUE(client.Send(message));
            EXPECT_EQ(client.Failure().kind, F::None);
            EXPECT_EQ(sink.messages().size(), 1u);
        }
    }
}

}  // namespace
