// The e-mail window when the server or the input fails: one message, the
// settings still written, nothing else changed.
#include "mail_fixture.h"

#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <set>

namespace {

TEST_F(MailTest, NoServerGivesTransmitErrorInTime)
{
    struct Case {
        SmtpSink::Mode mode;
        const char* why;
        int connections;  // a silent server is not tried again: it would cost another wait
    } cases[] = {
        {SmtpSink::Mode::Refuse, "The server could not be reached: the connection was refused.", 0},
        {SmtpSink::Mode::Silent, "The server did not answer within 0.3 seconds.", 1},
    };
    for (const Case& c : cases) {
        dialogs.shown.clear();
        SmtpSink sink({c.mode});
        auto form = openForm(sink.port());
        form->mailTo->setText("m@x");
        form->subject->setText("kept");
        QElapsedTimer clock;
        clock.start();
        bool ticked = false;  // the window's thread goes on handling its events while it waits
        QTimer::singleShot(50, [&ticked] { ticked = true; });
        form->sendButton->click();
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_EQ(dialogs.Messages(), QStringList{QString("Transmit error.\n") + c.why});
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(storedSetup().subject, "kept") << "settings are written back";
        EXPECT_EQ(sink.connections(), c.connections);
        if (c.mode == SmtpSink::Mode::Silent) {
            EXPECT_TRUE(ticked);
        }
    }
}

TEST_F(MailTest, AServerThatStopsTakingTheMessageEndsTheSendInTime)
{
    struct Case {
        const char* stallOn;
        int attachmentBytes;  // 0: a one-line message
        const char* why;
    } cases[] = {
        // a short message goes out whole into the sockets: the server may have it
        {"354", 0, "The server stopped answering after 2 seconds.\nThe message may or may not have arrived."},
        {"354", 30 << 20, "The server stopped answering after 2 seconds."},
        {"MAIL", 0, "The server stopped answering after 2 seconds."},
    };
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
        EXPECT_EQ(dialogs.Messages(), QStringList{QString("Transmit error.\n") + c.why});
        EXPECT_FALSE(closed) << "the window stays while it sends";
        EXPECT_EQ(sink.connections(), 1);
    }
}

// Three contacts mailed through a server that fails in one way each: a
// message is sent again only where the server surely has not got it, and
// the window says why it failed and what was sent.
TEST_F(MailTest, ABulkSendSendsNoMessageTwiceAndSaysWhy)
{
    struct Case {
        SmtpSinkOptions sink;
        const char* shown;
        std::vector<std::string> received;  // the recipients of the messages the sink took, in order
        int connections;
    } cases[] = {
        {{.stallOn = "354"},
         "Transmit error.\nThe server stopped answering after 1 second.\n"
         "The message to A <a@x> may or may not have arrived.\n0 of 3 messages were sent before it.",
         {}, 1},
        {{.replyDelayMs = 1500},  // longer than the reply time-out: the message arrives, once
         "Transmit error.\nThe server stopped answering after 1 second.\n"
         "The message to A <a@x> may or may not have arrived.\n0 of 3 messages were sent before it.",
         {"<a@x>"}, 1},
        {{.fail421 = 1}, "Email has been sent to 3 persons.", {"<a@x>", "<b@x>", "<c@x>"}, 2},
        {{.refuseRcpt = "<b@x>"},
         "Transmit error.\nThe server refused the recipient b@x: 550 5.1.1 No such user\n2 of 3 messages were sent.",
         {"<a@x>", "<c@x>"}, 2},
        {{.acceptOnly = 1},  // a refused message is not tried again
         "Transmit error.\nThe server refused the message: 554 refused\n1 of 3 messages were sent before the error.",
         {"<a@x>"}, 1},
    };
    for (const char* person : {"A", "B", "C"})
        addContact(person, (QString(person).toLower() + "@x").toUtf8().constData());
    for (const Case& c : cases) {
        dialogs.shown.clear();
        SmtpSink sink(c.sink);
        auto form = openForm(sink.port());
        form->mainGrid = grid.get();
        QElapsedTimer clock;
        clock.start();
        form->sendButton->click();
        EXPECT_LT(clock.elapsed(), 1000 + 1000) << c.shown << ": one reply time-out at most";
        EXPECT_EQ(dialogs.Messages(), QStringList{c.shown});
        // a message taken late is counted once the sink has it
        for (QElapsedTimer late; sink.accepted() < long(c.received.size()) && late.elapsed() < 3000;)
            QTest::qWait(20);
        std::vector<std::string> received;
        std::set<QByteArray> ids;
        for (const SmtpSink::Message& m : sink.messages()) {
            received.insert(received.end(), m.to.begin(), m.to.end());
            // every message carries an identity of its own, named after the sender's domain
            const QByteArray id = ParsedMail(m.data).header("Message-ID");
            EXPECT_TRUE(QRegularExpression("^<[0-9a-f]{32}@x>$").match(QString::fromLatin1(id)).hasMatch()) << id.data();
            ids.insert(id);
        }
        EXPECT_EQ(received, c.received) << c.shown;
        EXPECT_EQ(ids.size(), c.received.size());
        EXPECT_EQ(sink.connections(), c.connections) << c.shown;
    }
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
    EXPECT_EQ(dialogs.Messages(), QStringList{"Transmit error.\nThe server refused the message: 451 try again later"});
    EXPECT_TRUE(sink.messages().empty());
    EXPECT_EQ(sink.connections(), 1);
    EXPECT_FALSE(sink.sawCommand("QUIT")) << "a failed transfer ends without a goodbye";
}

TEST_F(MailTest, MalformedInputNeverReachesTheServer)
{
    SmtpSink sink;
    struct Case {
        const char *from, *to, *subject, *why;
    } cases[] = {
        {"me@x", "info", "s", "The recipient address is not valid."},
        {"me@x", "c@x\r\nRCPT TO:<z@y>", "s", "The recipient address is not valid."},
        {"me@x\r\nX: y", "m@x", "s", "The sender address is not valid."},
        {"me@x", "m@x", "Hi\r\nBcc: z@y", "The subject must be a single line."},
    };
    for (const Case& c : cases) {
        dialogs.shown.clear();
        auto form = openForm(sink.port());
        form->mailFrom->setText(c.from);
        form->mailTo->setText(c.to);
        form->subject->setText(c.subject);
        form->sendButton->click();
        EXPECT_EQ(dialogs.Messages(), QStringList{QString("Transmit error.\n") + c.why}) << c.to;
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
