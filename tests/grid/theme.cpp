// The visual-style layer: what a new grid and its editors get, and the flat
// combo's button, the spin pair and the grid's check boxes drawn through the
// layer once their flags are set by hand.
#include "whitegrid.h"

#include "platform/theme.h"

#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

using namespace grid;

TEST(Theme, NewControlsKeepTheClassicLook)
{
    EXPECT_TRUE(platform::ThemesLoaded());
    EXPECT_FALSE(platform::IsThemeActive());
    RIvuZuvuzoZuvu g;
    EXPECT_FALSE(g.IsWinXP());
    EXPECT_FALSE(g.Combo()->IsWinXP);
    EXPECT_FALSE(g.Spin()->IsWinXP());
    EXPECT_FALSE(g.Spin()->Button()->UpButton()->IsWinXP);
}

TEST(Theme, LayerDrawsTheClassesItKnows)
{
    QWidget w;
    QImage image(40, 40, QImage::Format_RGB32);
    QPainter p(&image);
    EXPECT_EQ(platform::OpenThemeData(&w, QStringLiteral("window")), nullptr);
    EXPECT_FALSE(platform::DrawThemeBackground(nullptr, &p, 1, 1, QRect(0, 0, 20, 20)));
    struct Case {
        const char* ClassName;
        int Part, State;
        bool Drawn;
    } cases[] = {{"button", 3, 1, true},   {"button", 3, 8, true},   {"button", 2, 5, true},  {"button", 1, 3, true},
                 {"button", 4, 1, false},  {"combobox", 1, 3, true}, {"combobox", 2, 1, false}, {"spin", 2, 2, true},
                 {"spin", 4, 3, true},     {"spin", 5, 1, false}};
    for (const Case& c : cases) {
        platform::HTHEME theme = platform::OpenThemeData(&w, QString::fromLatin1(c.ClassName));
        ASSERT_NE(theme, nullptr) << c.ClassName;
        const int before = platform::ThemeDrawCount();
        image.fill(Qt::white);
        EXPECT_EQ(platform::DrawThemeBackground(theme, &p, c.Part, c.State, QRect(2, 2, 20, 20)), c.Drawn)
            << c.ClassName << " " << c.Part;
        EXPECT_EQ(platform::ThemeDrawCount(), before + (c.Drawn ? 1 : 0));
        if (c.Drawn) {
            EXPECT_EQ(platform::LastThemeDrawing().ClassName, QString::fromLatin1(c.ClassName));
            EXPECT_EQ(platform::LastThemeDrawing().State, c.State);
            int marked = 0;
            for (int y = 2; y < 22; ++y)
                for (int x = 2; x < 22; ++x)
                    marked += image.pixel(x, y) != qRgb(255, 255, 255);
            EXPECT_GT(marked, 10) << "nothing drawn for " << c.ClassName;
        }
        platform::CloseThemeData(theme);
    }
}

TEST(Theme, FlatComboButtonIsThemedAndPressedLooksDifferent)
{
    QWidget form;
    form.resize(200, 60);
    TASGComboBox combo(&form);
    combo.addItems({"one", "two"});
    combo.setGeometry(10, 10, 150, 24);
    combo.IsWinXP = true;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    const int before = platform::ThemeDrawCount();
    const QImage up = combo.grab().toImage().copy(combo.ButtonRect());
    EXPECT_GT(platform::ThemeDrawCount(), before);
    EXPECT_EQ(platform::LastThemeDrawing().ClassName, "combobox");
    EXPECT_EQ(platform::LastThemeDrawing().State, 1);

    QTest::mousePress(&combo, Qt::LeftButton, Qt::NoModifier, combo.ButtonRect().center());
    const QImage down = combo.grab().toImage().copy(combo.ButtonRect());
    EXPECT_EQ(platform::LastThemeDrawing().State, 3);
    EXPECT_NE(up, down);
    combo.hidePopup();
}

TEST(Theme, SpinPairAndCheckBoxGoThroughTheLayer)
{
    QWidget form;
    form.resize(200, 60);
    TAsgSpinEdit spin(&form);
    spin.setGeometry(10, 10, 80, 24);
    spin.SetIsWinXP(true);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const int before = platform::ThemeDrawCount();
    (void)spin.grab();
    EXPECT_GE(platform::ThemeDrawCount(), before + 2);  // the up and the down button
    EXPECT_EQ(platform::LastThemeDrawing().ClassName, "spin");

    RIvuZuvuzoZuvu g;
    layOutWhiteGrid(g, 3, 3, 60, 30);
    g.SetCells(1, 1, "");
    g.AddCheckBox(1, 1, true, false);
    g.ControlLook->ControlStyle = csTheme;
    const platform::Rect cell = g.CellRect(1, 1);
    // Without the grid's flag a themed check box draws nothing.
    EXPECT_EQ(countPixels(grabCells(g), cell, isDarkPixel), 0);
    g.SetIsWinXP(true);
    const int drawn = platform::ThemeDrawCount();
    const QImage image = grabCells(g);
    EXPECT_GT(platform::ThemeDrawCount(), drawn);
    EXPECT_EQ(platform::LastThemeDrawing().ClassName, "button");
    EXPECT_EQ(platform::LastThemeDrawing().Part, 3);
    EXPECT_EQ(platform::LastThemeDrawing().State, 5);
    EXPECT_GT(countPixels(image, cell, isDarkPixel), 5);
}
