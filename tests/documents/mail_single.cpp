// The e-mail window sending to the recipients typed in it, and its settings.
#include "mail_fixture.h"

#include "platform/shell.h"

namespace {

TEST_F(MailTest, SendsOneMessageWithItsAttachments)
{
    SmtpSink sink({SmtpSink::Mode::Normal, true});
    auto form = openForm(sink.port());
    form->username->setText("user");
    form->password->setText("secret");
    form->mailTo->setText("Manager <m@x>");
    form->attention->setText("Manager");
    form->subject->setText(QString::fromUtf8("Grüße 你好"));
    form->body->setPlainText("<p>Price list</p>");
    form->html->setChecked(true);
    const QString first = makeFile("list.pdf", 3000, 1), second = makeFile(QString::fromUtf8("價目.xls"), 5000, 2);
    dialogs.AnswerFile(first);
    dialogs.AnswerFile(second);
    form->insertAttachment->click();
    form->insertAttachment->click();
    form->sendButton->click();

    EXPECT_EQ(dialogs.Messages(), QStringList{"Email has sent to m@x"});
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), 1);
    EXPECT_FALSE(sink.sawCommand("AUTH")) << "no login, though the server offers it";
    const auto got = sink.messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].from, "<me@x>");
    EXPECT_EQ(got[0].to, std::vector<std::string>{"<m@x>"});
    const ParsedMail m(got[0].data);
    EXPECT_EQ(m.text("From"), "Me <me@x>");
    EXPECT_EQ(m.text("To"), "Manager <m@x>");
    EXPECT_TRUE(m.header("Subject").startsWith("=?UTF-8?B?"));
    EXPECT_EQ(m.text("Subject"), QString::fromUtf8("Grüße 你好"));
    ASSERT_EQ(m.parts.size(), 3u);
    EXPECT_EQ(m.parts[0].contentType, "text/html; charset=UTF-8");
    EXPECT_EQ(m.parts[0].content, "Dear Manager,\r\n<p>Price list</p>");
    for (int i : {1, 2}) {
        EXPECT_EQ(m.parts[i].encoding, "base64");
        EXPECT_EQ(m.parts[i].content, contents(i == 1 ? first : second));
    }
    EXPECT_EQ(m.parts[1].disposition, "attachment; filename=\"list.pdf\"");
    const StoredSetup s = storedSetup();
    EXPECT_EQ(s.attachment, first + "\n" + second);
    EXPECT_TRUE(s.html);
    EXPECT_EQ(s.password, "secret");
}

TEST_F(MailTest, RecipientsSplitOnlyBetweenAddresses)
{
    SmtpSink sink;
    auto form = openForm(sink.port());
    form->mailTo->setText("Smith, John <js@x>; b@y");
    form->sendButton->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Email has sent to js@x, b@y"});
    ASSERT_EQ(sink.messages().size(), 1u);
    EXPECT_EQ(sink.messages()[0].to, (std::vector<std::string>{"<js@x>", "<b@y>"}));
    EXPECT_EQ(ParsedMail(sink.messages()[0].data).text("To"), "\"Smith, John\" <js@x>, b@y");
}

TEST_F(MailTest, FirstUseStoresTheDefaultsAndCloseWritesTheSettings)
{
    SmtpSink sink;
    TEmailForm form;
    form.show();
    StoredSetup s = storedSetup();
    EXPECT_EQ(s.records, 1);
    EXPECT_EQ(s.port, 25);
    EXPECT_EQ(s.sender, "Enter you email address");
    EXPECT_EQ(s.subject, "Enter subject");
    EXPECT_EQ(s.body, "\nThis is a test mail.");
    EXPECT_EQ(form.windowTitle(), "Send Email ");
    platform::CapturingShell shell;
    const QString dir = QString::fromStdString(database.getDirectory());
    form.helpButton->click();  // no page: nothing
    ASSERT_TRUE(QDir(dir).mkpath("help"));
    QFile page(dir + "/help/email.htm");
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    form.helpButton->click();
    ASSERT_EQ(shell.launched.size(), 1);
    EXPECT_EQ(shell.launched[0].toLocalFile(), dir + "/help/email.htm");

    form.port->setText(QString::number(sink.port()));
    form.smtpServer->setText("127.0.0.1");
    form.mailTo->setText("m@x");
    form.sendButton->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Enter your email address."});
    EXPECT_TRUE(form.isVisible()) << "the window stays open";
    EXPECT_TRUE(form.mailFrom->hasSelectedText());
    EXPECT_EQ(sink.connections(), 0);

    form.mailFrom->setText("me@x");
    form.username->setText("u");
    form.password->setText("p*w");
    form.greetingHead->setText("Hi ");
    const QString file = makeFile("a.txt", 10, 3);
    dialogs.AnswerFile(file);
    form.insertAttachment->click();
    form.cCancel->click();
    EXPECT_FALSE(form.isVisible());
    s = storedSetup();
    EXPECT_EQ(s.records, 1);
    EXPECT_EQ(s.smtpServer, "127.0.0.1");
    EXPECT_EQ(s.port, sink.port());
    EXPECT_EQ(s.sender, "me@x");
    EXPECT_EQ(s.username, "u");
    EXPECT_EQ(s.password, "p*w");
    EXPECT_EQ(s.greetingHead, "Hi ");
    EXPECT_EQ(s.attachment, file);

    TEmailForm again;
    EXPECT_EQ(again.mailFrom->text(), "me@x");
    EXPECT_EQ(again.attachmentList->count(), 1);
    EXPECT_EQ(again.attachmentList->currentRow(), 0);
    dialogs.AnswerQuestion(false);
    dialogs.AnswerQuestion(true);
    again.deleteAttachment->click();
    EXPECT_EQ(again.attachmentList->count(), 1);
    again.deleteAttachment->click();
    EXPECT_EQ(again.attachmentList->count(), 0);
    EXPECT_EQ(dialogs.Questions(), (QStringList{"Delete file '" + file + "'?", "Delete file '" + file + "'?"}));
    EXPECT_EQ(sink.connections(), 0);
}

}  // namespace
