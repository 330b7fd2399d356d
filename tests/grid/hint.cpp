// The HTML hint window: sized to its measured text, kept on the screen,
// painted with its colour, frame and marked-up text; and the grid's hints
// (cell, comment, size and scroll hints) shown in it.
#include "inputfixture.h"
#include "grid/hintwindow.h"
#include "grid/htmldraw.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace grid;

namespace {

QRect screenRect() { return QGuiApplication::primaryScreen()->geometry(); }

// Visible hint windows of ours, and Qt tool tips.
int shownHints()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += w->isVisible() && qobject_cast<THTMLHintWindow*>(w) != nullptr;
    return n;
}
int shownToolTips()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += w->isVisible() && w->inherits("QTipLabel");
    return n;
}

// The pointer rests at P over the grid until a hint shows (or a while passes).
void rest(InputGrid& t, QPoint P)
{
    QTest::mouseMove(t.view(), P);
    for (int i = 0; i < 30 && !t.g.HintWindow()->isVisible(); ++i)
        QTest::qWait(50);
    if (!t.g.HintWindow()->isVisible()) {  // no hover timer on this platform: the event it would send
        QHelpEvent help(QEvent::ToolTip, P, t.view()->mapToGlobal(P));
        QApplication::sendEvent(t.view(), &help);
    }
}

void moveWithButton(QWidget* W, QPoint P)
{
    QMouseEvent e(QEvent::MouseMove, P, W->mapToGlobal(P), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(W, &e);
}

}  // namespace

TEST(HintWindow, SizedToItsTextAndKeptOnTheScreen)
{
    THTMLHintWindow hint;
    const std::string text = "<B>Name</B>: <FONT COLOR=\"clRed\">Chan Tai Man</FONT>";
    hint.ActivateHint({100, 100, 100, 100}, text);
    QApplication::processEvents();
    EXPECT_TRUE(hint.isVisible());
    EXPECT_GT(hint.TextWidth(), 0);
    EXPECT_EQ(hint.geometry(), QRect(100, 100, hint.TextWidth() + 16, hint.TextHeight() + 4));
    const platform::Rect need = hint.CalcHintRect(1008, text);
    EXPECT_EQ(need.Width(), hint.TextWidth());
    EXPECT_EQ(need.Height(), hint.TextHeight());
    // A narrow maximum wraps the text onto more lines.
    EXPECT_GT(hint.CalcHintRect(40, text).Height(), need.Height());

    // Near the right edge it ends 2 pixels before it; near the bottom, 2 pixels above it.
    const QRect s = screenRect();
    hint.ActivateHint({s.right() - 10, s.bottom() - 3, 0, 0}, text);
    EXPECT_EQ(hint.geometry().right() + 1, s.x() + s.width() - 2);
    EXPECT_EQ(hint.geometry().bottom() + 1, s.y() + s.height() - 2);
    EXPECT_EQ(hint.width(), hint.TextWidth() + 16);

    // A new caption repaints without resizing.
    const QSize size = hint.size();
    hint.SetCaption("a much longer caption than the one measured before");
    EXPECT_EQ(hint.size(), size);
    hint.hide();
}

TEST(HintWindow, PaintsColourFrameAndText)
{
    THTMLHintWindow hint;
    hint.SetColor(0x00E1FFFF);
    hint.ActivateHint({50, 50, 50, 50}, "<FONT COLOR=\"#0000FF\">MMMM</FONT>");
    QApplication::processEvents();
    const QImage img = hint.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(img.isNull());
    // The frame's dark bottom line, the background inside, and blue text.
    EXPECT_EQ(img.pixel(img.width() / 2, img.height() - 1), platform::ToQColor(platform::cl3DDkShadow).rgb());
    EXPECT_EQ(img.pixel(2, 2), qRgb(0xFF, 0xFF, 0xE1));
    int blue = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            blue += c.blue() > 200 && c.red() < 60 && c.green() < 60;
        }
    EXPECT_GT(blue, 10);
    hint.hide();
}

TEST(GridHints, CellAndCommentHintsShowInTheHintWindow)
{
    InputGrid t(4, 4);
    t.g.HintShowCells = true;
    t.g.HintColor = 0x00C0FFC0;
    t.g.SetCells(1, 1, "<b>x</b>");
    rest(t, t.center(1, 1));
    THTMLHintWindow* hint = t.g.HintWindow();
    ASSERT_TRUE(hint->isVisible());
    EXPECT_EQ(shownHints(), 1);
    EXPECT_EQ(shownToolTips(), 0);
    const platform::Rect cell = t.g.CellRect(1, 1);
    EXPECT_EQ(hint->pos(), t.view()->mapToGlobal(QPoint(cell.Left, cell.Top)));
    EXPECT_EQ(hint->Caption(), "<b>x</b>");
    const QImage img = hint->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(img.pixel(2, 2), qRgb(0xC0, 0xFF, 0xC0));
    const int boldWidth = hint->TextWidth();
    EXPECT_EQ(t.g.HintCell(), QPoint(1, 1));

    // Another cell hides it; a press or a key does too.
    QTest::mouseMove(t.view(), t.center(2, 2));
    EXPECT_FALSE(hint->isVisible());
    rest(t, t.center(1, 1));
    ASSERT_TRUE(hint->isVisible());
    t.key(Qt::Key_Down);
    EXPECT_FALSE(hint->isVisible());

    // Without EnableHTML the text shows as typed, markup characters and all.
    t.g.EnableHTML = false;
    t.g.SetCells(1, 2, "Tom </ Jerry");
    rest(t, t.center(1, 1));
    ASSERT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->Caption(), "&lt;b&gt;x&lt;/b&gt;");
    EXPECT_GT(hint->TextWidth(), boldWidth);
    QTest::mouseMove(t.view(), t.center(3, 3));
    rest(t, t.center(1, 2));
    EXPECT_EQ(hint->Caption(), "Tom &lt;/ Jerry");
    QTest::mouseMove(t.view(), t.center(3, 3));

    // A comment shows at the cell's top-right corner; an empty hint shows nothing.
    t.g.HintShowCells = false;
    t.g.AddComment(2, 1, "a note");
    rest(t, t.center(2, 1));
    ASSERT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->Caption(), "a note");
    EXPECT_EQ(hint->pos(), t.view()->mapToGlobal(QPoint(t.g.CellRect(2, 1).Right, t.g.CellRect(2, 1).Top)));
    QTest::mouseMove(t.view(), t.center(3, 3));
    rest(t, t.center(3, 2));
    EXPECT_EQ(shownHints(), 0);
    t.g.hide();
    EXPECT_EQ(shownHints(), 0);
}

TEST(GridHints, SizeAndScrollHints)
{
    InputGrid t(100, 4);
    t.g.HintShowSizing = true;
    THTMLHintWindow* hint = t.g.HintWindow();
    const QPoint border = t.headerBorder(1, -1);
    QTest::mousePress(t.view(), Qt::LeftButton, {}, border);
    moveWithButton(t.view(), border + QPoint(20, 0));
    ASSERT_TRUE(hint->isVisible());
    const int width = border.x() + 20 - t.g.CellRect(1, 0).Left + 1;
    EXPECT_NEAR(std::stoi(hint->Caption().substr(6)), width, 1);
    EXPECT_EQ(hint->Caption().substr(0, 6), "cw=<b>");
    EXPECT_EQ(hint->Caption().substr(hint->Caption().size() - 4), "</b>");
    EXPECT_EQ(hint->pos(), t.view()->mapToGlobal(QPoint(t.g.CellRect(1, 0).Left, 0)));
    QTest::mouseRelease(t.view(), Qt::LeftButton, {}, border + QPoint(20, 0));
    EXPECT_FALSE(hint->isVisible());
    EXPECT_NEAR(t.g.ColWidths(1), width, 1);

    t.g.ScrollHints = shVertical;
    QScrollBar* bar = t.g.verticalScrollBar();
    bar->setSliderDown(true);
    bar->setSliderPosition(10);
    ASSERT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->Caption(), "Row : 11");
    EXPECT_EQ(hint->pos().x(), QCursor::pos().x() + 10);
    EXPECT_EQ(shownHints(), 1);
    EXPECT_EQ(shownToolTips(), 0);
    bar->setSliderDown(false);
    EXPECT_FALSE(hint->isVisible());
}

TEST(HintWindow, AnyTextIsMeasuredWithinTheScreen)
{
    THTMLHintWindow hint;
    const QRect s = screenRect();
    std::string longText;
    for (int i = 0; i < 3000; ++i)
        longText += "<b>word</b> <i>" + std::to_string(i) + "</i><BR>";
    for (const std::string& text : {longText, std::string(20000, 'W'), std::string("<<<>>><b><i><u>"),
                                     std::string("<FONT SIZE=\"999\">big</FONT>")}) {
        hint.ActivateHint({10, 10, 10, 10}, text);
        EXPECT_TRUE(s.contains(hint.geometry())) << text.substr(0, 40);
    }
    hint.ActivateHint({10, 10, 10, 10}, "");
    EXPECT_FALSE(hint.isVisible());
}
