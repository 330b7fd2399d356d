// The HTML hint window: sized to its measured text, kept on the screen,
// painted with its colour, frame and marked-up text.
#include "grid/hintwindow.h"
#include "grid/htmldraw.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <gtest/gtest.h>

using namespace grid;

namespace {

QRect screenRect() { return QGuiApplication::primaryScreen()->geometry(); }

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
