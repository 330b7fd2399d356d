// Long work: the user's input while the program is busy, and helper programs
// run as children: their output arrives in order, and one that stays silent
// or runs too long, or crashes, is reported so and never outlives the call.
#include "platform/beep.h"
#include "platform/childprocess.h"
#include "platform/longwork.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using platform::ChildResult;

TEST(ChildProcess, OutputSilenceCrashAndStop)
{
    QByteArray out;
    auto keep = [&](const QByteArray& piece) {
        out += piece;
        return true;
    };
    ChildResult r = platform::RunChild("/bin/sh", {"-c", "echo one; sleep 0.2; echo two >&2; echo three; exit 3"}, {5s, 5s}, keep);
    EXPECT_EQ(r.end, ChildResult::Finished);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(out, "one\nthree\n");
    EXPECT_EQ(r.standardError, "two\n");

    QElapsedTimer clock;
    clock.start();
    r = platform::RunChild("/bin/sh", {"-c", "echo alive; sleep 30"}, {300ms, 5s}, keep);
    EXPECT_EQ(r.end, ChildResult::Silent);
    EXPECT_LT(clock.elapsed(), 5000);
    clock.restart();
    r = platform::RunChild("/bin/sh", {"-c", "while :; do echo alive; sleep 0.05; done"}, {5s, 400ms}, keep);
    EXPECT_EQ(r.end, ChildResult::TooLong);
    EXPECT_LT(clock.elapsed(), 5000);

    EXPECT_EQ(platform::RunChild("/bin/sh", {"-c", "kill -SEGV $$"}, {5s, 5s}, keep).end, ChildResult::Crashed);
    EXPECT_EQ(platform::RunChild("/bin/sh", {"-c", "yes"}, {5s, 5s}, [](const QByteArray&) { return false; }).end,
              ChildResult::Stopped);
    EXPECT_EQ(platform::RunChild("/nonexistent/program", {}, {5s, 5s}, keep).end, ChildResult::NotStarted);
}

TEST(LongWork, InputIsDroppedWithABeepButCancelAndAQuestionTheWorkAsksTakeIt)
{
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* cancel = new QPushButton("Cancel", &window);
    window.show();
    int cancels = 0;
    QObject::connect(cancel, &QPushButton::clicked, [&] { ++cancels; });
    const int beeps = platform::BeepCount();
    platform::LongWork busy(cancel);
    QTest::keyClick(edit, Qt::Key_A);
    QInputMethodEvent composed({}, {});
    composed.setCommitString("b");
    QApplication::sendEvent(edit, &composed);
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(window.close());
    QInputDialog question;
    QTimer::singleShot(0, [&] {
        QTest::keyClicks(question.findChild<QLineEdit*>(), "yes");
        question.accept();
    });
    question.exec();
    EXPECT_EQ(question.textValue(), "yes");
    EXPECT_EQ(edit->text(), "");
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(platform::BeepCount() - beeps, 3) << "the key, the composed text and the close";
}
