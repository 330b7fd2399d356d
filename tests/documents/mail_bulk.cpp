// The e-mail window mailing every contact selected in the contact list.
#include "mail_fixture.h"

namespace {

TEST_F(MailTest, MailsEachSelectedContactWithItsOwnGreeting)
{
    SmtpSink sink;
    addContact("Manager", "a@x");
    addContact("Ann", "bad");
    addContact("Zoe", "z@x", false);
    addContact("Bob", "b@x");
    auto form = openForm(sink.port());
    form->mainGrid = grid.get();
    form->greetingHead->setText("Dear ");
    form->greetingTail->setText(",");
    form->body->setPlainText("News.");
    const QString one = makeFile("one.txt", 700, 1), two = makeFile("two.bin", 900, 2);
    form->attachmentList->addItems({one, two});
    form->sendButton->click();

    EXPECT_EQ(dialogs.Messages(), QStringList{"Email has been sent to 2 persons."});
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->ProgressBar1->isHidden());
    EXPECT_EQ(sink.connections(), 1);
    const auto got = sink.messages();
    ASSERT_EQ(got.size(), 2u);
    const char* greetings[] = {"Dear Manager,", "Dear Bob,"};
    const char* to[] = {"<a@x>", "<b@x>"};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(got[i].to, std::vector<std::string>{to[i]});
        const ParsedMail m(got[i].data);
        ASSERT_EQ(m.parts.size(), 3u);
        EXPECT_EQ(m.parts[0].contentType, "text/plain; charset=UTF-8");
        EXPECT_EQ(m.parts[0].content, QByteArray(greetings[i]) + "\r\nNews.");
        EXPECT_EQ(m.parts[1].content, contents(one));
        EXPECT_EQ(m.parts[2].content, contents(two));
    }
}

TEST_F(MailTest, ARefusedMessageIsTriedAgainAndCountedOnce)
{
    SmtpSink sink({SmtpSink::Mode::Normal, false, 1});
    addContact("Manager", "a@x");
    addContact("Bob", "b@x");
    auto form = openForm(sink.port());
    form->mainGrid = grid.get();
    form->sendButton->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Email has been sent to 2 persons."});
    const auto got = sink.messages();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].to, std::vector<std::string>{"<a@x>"});
    EXPECT_EQ(got[1].to, std::vector<std::string>{"<b@x>"});
    EXPECT_EQ(sink.connections(), 2) << "the retry reconnects";
}

TEST_F(MailTest, AnAddressWithALineBreakIsPassedOver)
{
    SmtpSink sink;
    addContact("Carl", "c@x\r\nRCPT TO:<z@y>");
    addContact("Bob", "b@x");
    auto form = openForm(sink.port());
    form->mainGrid = grid.get();
    form->sendButton->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Email has been sent to 1 persons."});
    ASSERT_EQ(sink.messages().size(), 1u);
    for (const std::string& c : sink.commands())
        EXPECT_EQ(c.find("z@y"), std::string::npos) << c;
}

TEST_F(MailTest, RetriesComeToAnEnd)
{
    SmtpSink sink({SmtpSink::Mode::Normal, false, 1000});
    addContact("Manager", "a@x");
    addContact("Bob", "b@x");
    auto form = openForm(sink.port());
    form->mainGrid = grid.get();
    form->sendRetries = 2;
    form->sendButton->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Transmit error.\nThe server refused the message: 451 try again later\n"
                                              "0 of 2 messages were sent before the error."});
    EXPECT_EQ(sink.connections(), 3) << "one try and two new ones, each on a new connection";
    EXPECT_TRUE(sink.messages().empty());
}

TEST_F(MailTest, ManyRefusedRecipientsAreToldInAFewLines)
{
    SmtpSink sink({.refuseRcpt = "@gone"});
    for (int i = 1; i <= 7; ++i)
        addContact(("P" + std::to_string(i)).c_str(), ("p" + std::to_string(i) + "@gone").c_str());
    addContact("Bob", "b@x");
    auto form = openForm(sink.port());
    form->mainGrid = grid.get();
    form->sendButton->click();
    QStringList lines{"Transmit error."};
    for (int i = 1; i <= 5; ++i)
        lines.append(QString("The server refused the recipient p%1@gone: 550 5.1.1 No such user").arg(i));
    lines << "The server refused 2 more recipients." << "1 of 8 messages were sent.";
    EXPECT_EQ(dialogs.Messages(), QStringList{lines.join('\n')});
    ASSERT_EQ(sink.messages().size(), 1u);
    EXPECT_EQ(sink.messages()[0].to, std::vector<std::string>{"<b@x>"});
}

TEST_F(MailTest, AnUnreadableAttachmentStopsTheRunBeforeTheFirstMessage)
{
    SmtpSink sink;
    addContact("Manager", "a@x");
    auto form = openForm(sink.port());
    form->mainGrid = grid.get();
    form->attachmentList->addItem(makeFile("gone.txt", 10, 1));
    const QString gone = form->attachmentList->item(0)->text();
    QFile::remove(gone);
    form->sendButton->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Transmit error.\nThe attached file '" + gone + "' could not be read."});
    EXPECT_EQ(sink.connections(), 0);
}

}  // namespace
