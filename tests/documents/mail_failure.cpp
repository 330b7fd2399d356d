// The e-mail window when the server or the input fails: one message, the
// settings still written, nothing else changed.
#include "mail_fixture.h"

#include <QTimer>

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

TEST_F(MailTest, ARefusedMessageGivesTransmitErrorWithoutANewTry)
{
    SmtpSink sink({SmtpSink::Mode::Normal, false, 1});
    auto form = openForm(sink.port());
    form->mailTo->setText("m@x");
    form->sendButton->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Transmit error."});
    EXPECT_TRUE(sink.messages().empty());
    EXPECT_EQ(sink.connections(), 1);
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
