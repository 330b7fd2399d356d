// Spin edits: stepping each kind with keys and buttons, limits, reading text
// that does not convert, the character filter with its beeps, read-only
// stepping, the held button's repeat (also when a modal window takes its
// release), and the value check on leaving.
#include "grid/spinedit.h"

#include "platform/beep.h"
#include "release_behind_modal.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

using namespace grid;

namespace {

class SpinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        formatSettings().ShortDateFormat = "dd/MM/yyyy";
        formatSettings().DateSeparator = '/';
        form.resize(300, 80);
        spin.setGeometry(10, 10, 120, 26);
        other.setGeometry(150, 10, 60, 26);
        form.show();
        (void)QTest::qWaitForWindowExposed(&form);
        spin.setFocus();
    }
    void setText(const char* Text, int Caret)
    {
        spin.setText(QString::fromLatin1(Text));
        spin.setCursorPosition(Caret);
    }
    std::string text() const { return spin.text().toStdString(); }
    void key(Qt::Key K) { QTest::keyClick(&spin, K); }
    void type(const char* Text) { QTest::keyClicks(&spin, QString::fromLatin1(Text)); }
    TDateTime date(int Y, int M, int D) { return EncodeDate(Y, M, D); }

    QWidget form;
    TAsgSpinEdit spin{&form};
    QLineEdit other{&form};
};

}  // namespace

TEST_F(SpinTest, DefaultsAndIntegerSteps)
{
    EXPECT_EQ(text(), "0");
    EXPECT_EQ(spin.SpinType(), sptNormal);
    EXPECT_EQ(spin.Direction(), spVertical);
    EXPECT_EQ(spin.Increment, 1);
    EXPECT_EQ(spin.MinValue, 0);
    EXPECT_EQ(spin.MaxValue, 100);
    EXPECT_DOUBLE_EQ(spin.MaxFloatValue, 100.0);
    EXPECT_TRUE(spin.EditorEnabled);
    EXPECT_FALSE(spin.ReturnIsTab);

    spin.SetValue(99);
    key(Qt::Key_Up);
    EXPECT_EQ(text(), "100");
    key(Qt::Key_Up);
    EXPECT_EQ(text(), "100");
    key(Qt::Key_Down);
    EXPECT_EQ(text(), "99");
    spin.SetValue(-5);
    EXPECT_EQ(text(), "0");
    spin.MinValue = spin.MaxValue = 7;  // equal limits: no clamping
    spin.SetValue(-5);
    EXPECT_EQ(text(), "-5");

    spin.MinValue = 3;
    spin.MaxValue = 100;
    spin.setText(QStringLiteral("abc"));
    EXPECT_EQ(spin.Value(), 3);
    EXPECT_DOUBLE_EQ(spin.FloatValue(), 0.0);  // the float minimum, not the integer one
}

TEST_F(SpinTest, FloatValuesAndTheirFilter)
{
    spin.SetSpinType(sptFloat);
    spin.MinValue = 0;
    spin.MinFloatValue = 2.5;
    spin.setText(QStringLiteral("abc"));
    EXPECT_DOUBLE_EQ(spin.FloatValue(), 2.5);

    spin.SetPrecision(2);
    spin.IncrementFloat = 0.5;
    spin.SetFloatValue(3);
    EXPECT_EQ(text(), "3.00");
    key(Qt::Key_Up);
    EXPECT_EQ(text(), "3.50");

    setText("1.25", 4);
    const int beeps = platform::BeepCount();
    type("7");
    EXPECT_EQ(text(), "1.25");
    EXPECT_EQ(platform::BeepCount(), beeps + 1);
    spin.setCursorPosition(1);
    type("7");
    EXPECT_EQ(text(), "17.25");
    type(".");  // a second separator
    EXPECT_EQ(text(), "17.25");
    EXPECT_EQ(platform::BeepCount(), beeps + 2);
    setText("12", 2);
    type(",");  // the thousand separator becomes the decimal separator
    EXPECT_EQ(text(), "12.");
    type("a");
    EXPECT_EQ(text(), "12.");
    EXPECT_EQ(platform::BeepCount(), beeps + 3);
}

TEST_F(SpinTest, DatesStepTheFieldUnderTheCaret)
{
    spin.SetSpinType(sptDate);
    struct Case {
        const char* From;
        int Caret;
        Qt::Key Key;
        const char* To;
    } cases[] = {
        {"15/01/2024", 1, Qt::Key_Up, "16/01/2024"},   {"15/01/2024", 4, Qt::Key_Up, "15/02/2024"},
        {"31/01/2024", 3, Qt::Key_Up, "29/02/2024"},   {"29/02/2024", 7, Qt::Key_Up, "28/02/2025"},
        {"01/03/2024", 0, Qt::Key_Down, "29/02/2024"}, {"31/03/2024", 5, Qt::Key_Down, "29/02/2024"},
        {"15/06/2024", 10, Qt::Key_Down, "15/06/2023"},
    };
    for (const Case& c : cases) {
        setText(c.From, c.Caret);
        key(c.Key);
        EXPECT_EQ(text(), c.To) << c.From << " caret " << c.Caret;
        EXPECT_EQ(spin.cursorPosition(), c.Caret);
    }
    spin.setText(QStringLiteral("31/02/2024"));  // no such day
    EXPECT_DOUBLE_EQ(spin.DateValue(), spin.MinDateValue);
    spin.setText(QStringLiteral("0"));
    EXPECT_NEAR(spin.DateValue(), Now(), 1.0);

    // Limits hold when stepping and when leaving.
    spin.MinDateValue = date(2024, 1, 1);
    spin.MaxDateValue = date(2024, 12, 31);
    setText("31/12/2024", 0);
    key(Qt::Key_Up);
    EXPECT_EQ(text(), "31/12/2024");
    spin.setText(QStringLiteral("05/05/2030"));
    other.setFocus();
    EXPECT_EQ(text(), "31/12/2024");
}

TEST_F(SpinTest, TimesWrapWithinTheDay)
{
    spin.SetSpinType(sptTime);
    EXPECT_EQ(text(), "00:00:00");
    struct Case {
        const char* From;
        int Caret;
        Qt::Key Key;
        const char* To;
    } cases[] = {{"00:00:00", 0, Qt::Key_Down, "23:00:00"}, {"23:30:00", 1, Qt::Key_Up, "00:30:00"},
                 {"10:59:00", 4, Qt::Key_Up, "11:00:00"},   {"10:00:00", 7, Qt::Key_Down, "09:59:59"}};
    for (const Case& c : cases) {
        setText(c.From, c.Caret);
        key(c.Key);
        EXPECT_EQ(text(), c.To) << c.From;
    }
    const int beeps = platform::BeepCount();
    setText("10:30", 5);
    type(":");
    EXPECT_EQ(text(), "10:30:");
    type(":");  // a third separator
    EXPECT_EQ(text(), "10:30:");
    type("/");  // the date separator belongs to dates
    EXPECT_EQ(text(), "10:30:");
    EXPECT_EQ(platform::BeepCount(), beeps + 2);

    // A time is never held to the date limits.
    spin.MinDateValue = date(2020, 1, 1);
    spin.MaxDateValue = date(2030, 12, 31);
    spin.setText(QStringLiteral("13:30:00"));
    other.setFocus();
    EXPECT_EQ(text(), "13:30:00");
}

TEST_F(SpinTest, ReadOnlyAndSwitchedOffEditing)
{
    spin.SetValue(5);
    spin.setReadOnly(true);
    const int beeps = platform::BeepCount();
    key(Qt::Key_Up);
    spin.Button()->DownButton()->click();
    EXPECT_EQ(text(), "5");
    EXPECT_EQ(platform::BeepCount(), beeps + 2);

    spin.setReadOnly(false);
    spin.EditorEnabled = false;
    setText("5", 1);
    type("7");
    key(Qt::Key_Backspace);
    key(Qt::Key_Delete);
    EXPECT_EQ(text(), "5");
    key(Qt::Key_Up);
    EXPECT_EQ(text(), "6");
    EXPECT_EQ(spin.selectedText(), "6");
}

TEST_F(SpinTest, HeldButtonRepeats)
{
    spin.SetValue(0);
    QWidget* up = spin.Button()->UpButton();
    QElapsedTimer clock;
    QTest::mousePress(up, Qt::LeftButton);
    clock.start();
    EXPECT_TRUE(spin.hasFocus());
    QTest::qWait(300);
    EXPECT_EQ(spin.Value(), 0);  // nothing before 400 ms
    while (clock.elapsed() < 460)
        QTest::qWait(5);
    const int first = spin.Value();
    EXPECT_GE(first, 1);
    while (clock.elapsed() < 760)
        QTest::qWait(5);
    const int later = spin.Value();
    EXPECT_GE(later, first + 2);  // then every 100 ms
    EXPECT_LE(later, first + 4);
    QTest::mouseRelease(up, Qt::LeftButton);
    const int released = spin.Value();
    QTest::qWait(300);
    EXPECT_EQ(spin.Value(), released);
}

// A step that opens a modal window (a message on the value) takes the held
// button's release: the button comes up and steps no more.
TEST_F(SpinTest, AHeldButtonWhoseReleaseAModalWindowTookStopsRepeating)
{
    spin.SetValue(0);
    TGridTimerSpeedButton* up = spin.Button()->UpButton();
    int steps = 0;
    spin.Button()->OnUpClick = [&] {
        ++steps;
        spin.UpClick(&spin);
        ReleaseBehindModal(form.windowHandle(), up->mapTo(&form, up->rect().center()));
    };
    QTest::mousePress(up, Qt::LeftButton);
    QTRY_COMPARE(steps, 1);
    EXPECT_FALSE(up->isDown());
    EXPECT_EQ(spin.Value(), 1);
}

TEST_F(SpinTest, ButtonsAndLayout)
{
    spin.SetValue(10);
    QTest::mouseClick(spin.Button()->DownButton(), Qt::LeftButton);
    EXPECT_EQ(text(), "9");
    EXPECT_EQ(spin.Button()->FocusedButton(), spin.Button()->DownButton());
    const QRect pair = spin.Button()->geometry();
    EXPECT_LE(pair.right(), spin.width() - 1);
    EXPECT_LE(spin.EditRect().right(), pair.left());
    const QRect upRect = spin.Button()->UpButton()->geometry(), downRect = spin.Button()->DownButton()->geometry();
    EXPECT_EQ(downRect.top(), upRect.bottom());  // overlapping by one pixel

    spin.SetDirection(spHorizontal);
    EXPECT_LT(spin.Button()->DownButton()->x(), spin.Button()->UpButton()->x());

    spin.resize(120, 3);
    QApplication::processEvents();
    EXPECT_EQ(spin.height(), spin.MinHeight());

    spin.ReturnIsTab = true;
    key(Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(other.hasFocus());
}
