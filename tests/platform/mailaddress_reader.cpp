// Addresses and header texts built from thousands of damaged inputs: a
// refusal or a clean result, never a crash, a hang, or a line break that
// could reach the SMTP dialogue or the headers. And thousands of damaged
// server replies: a failure whose shown reply is one clean line, in time.
#include "platform/smtp.h"
#include "smtp_sink.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <random>

namespace {

QString randomText(std::mt19937& rng)
{
    static const QStringList pieces = {"@", "<", ">", "\"", ",", ";", "\\", " ", "\r", "\n", "\t", "a",
                                       "b.c", "x@y", "=?", "?=", QString::fromUtf8("ü"), QString::fromUtf8("你"),
                                       QString(QChar(0)), "-", "."};
    QString s;
    const int n = int(rng() % 24);
    for (int i = 0; i < n; ++i)
        s += pieces[int(rng() % pieces.size())];
    return s;
}

bool hasLineBreak(const QByteArray& b) { return b.contains('\r') || b.contains('\n'); }

TEST(MailAddressReader, DamagedInputsNeverReachTheWire)
{
    std::mt19937 rng(20261207);
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        const QString text = randomText(rng);
        const auto list = platform::ParseMailAddressList(text);
        if (list) {
            ++accepted;
            EXPECT_FALSE(list->isEmpty());
            for (const platform::MailAddress& a : *list) {
                QByteArray header = platform::EncodeAddressHeader(a);
                EXPECT_FALSE(header.replace("\r\n ", "").contains('\r')) << text.toStdString();
                EXPECT_FALSE(hasLineBreak(a.address.toUtf8())) << text.toStdString();
                const auto again = platform::ParseMailAddress(a.address);
                ASSERT_TRUE(again.has_value()) << text.toStdString();
                EXPECT_EQ(again->address, a.address);
            }
        }
        const QByteArray encoded = platform::EncodeHeaderText(text);
        EXPECT_FALSE(hasLineBreak(QByteArray(encoded).replace("\r\n ", ""))) << text.toStdString();
        if (!text.contains(QChar(0)) && !text.contains('\r') && !text.contains('\n') && !text.contains('\t') &&
            encoded.startsWith("=?")) {
            EXPECT_EQ(ParsedMail::decodeWords(encoded), text);
        }
        EXPECT_FALSE(hasLineBreak(platform::AttachmentDisposition(text)));
    }
    EXPECT_GT(accepted, 50) << "the inputs reach the accepting paths too";
}

// Reply bytes as a broken or hostile server might send them.
std::string randomReply(std::mt19937& rng)
{
    static const std::string pieces[] = {"250", "354", "421", "550", "220", "-", " ", "\r\n", "\n", "\r",
                                         "ok", std::string(1, '\0'), "\xff\xfe", "\xc3", "5", "2500", "\t",
                                         "\x1b[31m", std::string(700, 'x'), "=?", "4"};
    std::string s;
    const int n = int(rng() % 12);
    for (int i = 0; i < n; ++i)
        s += pieces[rng() % std::size(pieces)];
    return s;
}

TEST(MailReplyReader, DamagedRepliesEndInAFailureToldCleanly)
{
    using F = platform::SmtpFailure;
    static const char* const at[] = {"220", "EHLO", "NOOP", "MAIL", "RCPT", "DATA"};
    platform::MailMessage message;
    message.from = {"", "me@x"};
    message.recipients = {{"", "a@x"}};
    message.body = {"Hello."};
    std::mt19937 rng(20261208);
    int refusals = 0;
    for (int i = 0; i < 3000; ++i) {
        SmtpSink sink({.rawReplyOn = at[rng() % std::size(at)], .rawReply = randomReply(rng)});
        platform::SmtpClient client;
        client.host = "127.0.0.1";
        client.port = sink.port();
        client.timeouts = {1000, 1, 1};
        QElapsedTimer clock;
        clock.start();
        const bool sent = client.Connect() && client.Send(message);
        EXPECT_LT(clock.elapsed(), 3000);
        const F& f = client.Failure();
        EXPECT_EQ(f.kind == F::None, sent);
        EXPECT_LE(f.reply.size(), 300);
        for (QChar c : f.reply)
            ASSERT_GE(c.unicode(), 0x20) << f.reply.toStdString();
        if (f.kind == F::Temporary || f.kind == F::Refused) {
            ++refusals;
            EXPECT_TRUE(f.reply.startsWith(f.kind == F::Temporary ? '4' : '5')) << f.reply.toStdString();
        }
    }
    EXPECT_GT(refusals, 50) << "the damaged replies reach the refusal paths too";
}

}  // namespace
