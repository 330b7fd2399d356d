// The e-mail window when the server or the input fails: one message, the
// settings still written, nothing else changed.
#include "mail_fixture.h"

#include <QRegularExpression>
#include <QTimer>

#include <set>

namespace {

TEST_F(MailTest, NoServerGivesTransmitErrorInTime)
{
    for (SmtpSink::Mode mode : {SmtpSink::Mode::Refuse, SmtpSink::Mode::Silent}) {
        dialogs.shown.clear();
        SmtpSink sink({mode});
        auto form = openForm(sink.port());
        form->mailTo->setText("m@x");
        form->subject->setText("kept");
        QElapsedTimer clock;
        clock.start();
        bool ticked = false;  // the window's thread goes on handling its events while it waits
        QTimer::singleShot(50, [&ticked] { ticked = true; });
        form->sendButton->click();
        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_EQ(dialogs.Messages(), QStringList{"Transmit error."});
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(storedSetup().subject, "kept") << "settings are written back";
        if (mode == SmtpSink::Mode::Silent) {
            EXPECT_EQ(sink.connections(), 3);
            EXPECT_TRUE(ticked);
        }
    }
}

TEST_F(MailTest, AServerThatStopsTakingTheMessageEndsTheSendInTime)
{
    struct Case {
        const char* stallOn;
        int attachmentBytes;  // 0: a one-line message
    } cases[] = {{"354", 0}, {"354", 30 << 20}, {"MAIL", 0}};
    for (const Case& c : cases) {
        dialogs.shown.clear();
        SmtpSink sink({SmtpSink::Mode::Normal, false, 0, true, c.stallOn});
        auto form = openForm(sink.port());
        form->timeouts.responseSeconds = 2;
        form->mailTo->setText("m@x");
        if (c.attachmentBytes > 0)
            form->attachmentList->addItem(makeFile("big.bin", c.attachmentBytes, 3));  // more than the sockets hold
        bool closed = true;
        QTimer::singleShot(300, [&] { closed = form->close(); });
        QElapsedTimer clock;
        clock.start();
        form->sendButton->click();
        EXPECT_LT(clock.elapsed(), 3000) << c.stallOn << " " << c.attachmentBytes
                                         << ": the reply time-out and 1 s, the goodbye included";
        EXPECT_EQ(dialogs.Messages(), QStringList{"Transmit error."});
        EXPECT_FALSE(closed) << "the window stays while it sends";
    }
}

TEST_F(MailTest, ABulkSendThatFailsSaysHowManyWereSent)
{
    SmtpSink sink({SmtpSink::Mode::Normal, false, 0, true, "", 2});
    for (const char* person : {"A", "B", "Passed over", "C", "D", "E"})
        addContact(person, person == std::string("Passed over") ? "none" : (std::string(person) + "@x").c_str());
    auto form = openForm(sink.port());
    form->mainGrid = grid.get();
    form->sendRetries = 0;
    form->sendButton->click();
    EXPECT_EQ(dialogs.Messages(), (QStringList{"Transmit error.", "2 of 5 messages were sent before the error."}));
    // every message carries an identity of its own, named after the sender's domain
    std::set<QByteArray> ids;
    for (const SmtpSink::Message& m : sink.messages()) {
        const QByteArray id = ParsedMail(m.data).header("Message-ID");
        EXPECT_TRUE(QRegularExpression("^<[0-9a-f]{32}@x>$").match(QString::fromLatin1(id)).hasMatch()) << id.data();
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 2u);
}

TEST_F(MailTest, TheProgressCountsTheMessagesBeforeTheOneBeingSent)
{
    SmtpSink sink({SmtpSink::Mode::Normal, false, 0, true, "", -1, 300});
    for (const char* person : {"A", "B", "C"})
        addContact(person, (std::string(person) + "@x").c_str());
    auto form = openForm(sink.port());
    form->mainGrid = grid.get();
    std::set<int> duringSecond;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (sink.accepted() == 1)
            duringSecond.insert(form->ProgressBar1->value());
    });
    watch.start(10);
    form->sendButton->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Email has been sent to 3 persons."});
    EXPECT_TRUE(duringSecond.count(33));
    EXPECT_FALSE(duringSecond.count(66));
}

TEST_F(MailTest, ARefusedMessageGivesTransmitErrorWithoutANewTry)
{
    SmtpSink sink({SmtpSink::Mode::Normal, false, 1});
    auto form = openForm(sink.port());
    form->mailTo->setText("m@x");
    form->sendButton->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Transmit error."});
    EXPECT_TRUE(sink.messages().empty());
    EXPECT_EQ(sink.connections(), 1);
    EXPECT_FALSE(sink.sawCommand("QUIT")) << "a failed transfer ends without a goodbye";
}

TEST_F(MailTest, MalformedInputNeverReachesTheServer)
{
    SmtpSink sink;
    struct Case {
        const char *from, *to, *subject;
    } cases[] = {
        {"me@x", "info", "s"},
        {"me@x", "c@x\r\nRCPT TO:<z@y>", "s"},
        {"me@x\r\nX: y", "m@x", "s"},
        {"me@x", "m@x", "Hi\r\nBcc: z@y"},
    };
    for (const Case& c : cases) {
        dialogs.shown.clear();
        auto form = openForm(sink.port());
        form->mailFrom->setText(c.from);
        form->mailTo->setText(c.to);
        form->subject->setText(c.subject);
        form->sendButton->click();
        EXPECT_EQ(dialogs.Messages(), QStringList{"Transmit error."}) << c.to;
    }
    EXPECT_EQ(sink.connections(), 0);
}

TEST_F(MailTest, PortsRoundTripAndBadOnesAreRefused)
{
    SmtpSink sink;
    {
        auto form = openForm(sink.port());
        form->port->setText("40000");
        form->cCancel->click();
    }
    EXPECT_EQ(storedSetup().port, 40000);
    TEmailForm form;
    form.show();
    EXPECT_EQ(form.port->text(), "40000");
    form.mailFrom->setText("me@x");
    for (const char* bad : {"70000", "0", "abc", "-25", ""}) {
        dialogs.shown.clear();
        form.port->setText(bad);
        form.sendButton->click();
        EXPECT_EQ(dialogs.Errors().size(), 1) << bad;
        EXPECT_TRUE(form.isVisible()) << bad;
    }
    form.port->setText("70000");
    form.subject->setText("still written");
    form.cCancel->click();
    EXPECT_EQ(storedSetup().port, 40000);
    EXPECT_EQ(storedSetup().subject, "still written");
    EXPECT_EQ(TEmailForm::PortNumber(" 65535 "), 65535);
    EXPECT_EQ(sink.connections(), 0);
}

}  // namespace
