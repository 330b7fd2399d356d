// Addresses and header texts built from thousands of damaged inputs: a
// refusal or a clean result, never a crash, a hang, or a line break that
// could reach the SMTP dialogue or the headers.
#include "platform/smtp.h"
#include "smtp_sink.h"

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
            encoded.startsWith("=?"))
            EXPECT_EQ(ParsedMail::decodeWords(encoded), text);
        EXPECT_FALSE(hasLineBreak(platform::AttachmentDisposition(text)));
    }
    EXPECT_GT(accepted, 50) << "the inputs reach the accepting paths too";
}

}  // namespace
